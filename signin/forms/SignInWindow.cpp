#include "signin/forms/SignInWindow.h"

#include "signin/SignInService.h"

#include "platform/forms/Widgets.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace pelmora::signin {

using namespace Qt::StringLiterals;
using platform::makeButton;
using platform::makeLabel;
using platform::makeTextBox;

namespace {
const QString kCustomKey = u"custom"_s;
// The margins of the other windows: the fields end as far from the right edge as the labels begin
// from the left.
constexpr int kMargin = 240;
constexpr int kLabelLeft = kMargin;
constexpr int kLabelWidth = 2040;
constexpr int kBoxLeft = 2340;
constexpr int kBoxWidth = 3660;
constexpr int kWidth = kBoxLeft + kBoxWidth + kMargin;
constexpr int kRowHeight = 300;
constexpr int kRowStep = 420;
} // namespace

SignInWindow::SignInWindow(SignInService& service, QWidget* parent)
    : Form(parent), m_service(service)
{
    buildLayout();
    connect(m_provider, &QComboBox::currentIndexChanged, this, [this] { providerChanged(); });
    connect(m_signIn, &QPushButton::clicked, this, [this] { startSignIn(); });
    connect(m_signOut, &QPushButton::clicked, this, [this] { signOut(); });
    connect(&m_service, &SignInService::stateChanged, this, [this] { showState(); });
    connect(&m_service, &SignInService::finished, this, [this](bool, const QString& text) {
        setBusy(false);
        showState();
        if (!text.isEmpty())
            showText(text);
    });
}

void SignInWindow::buildLayout()
{
    setUpFixedFrame(u"SignInForm"_s, u"サインイン"_s, Frame::Dialog, kWidth, 4980);

    int top = kMargin;
    const auto row = [&](const char* name, const QString& caption) {
        QLineEdit* box = makeTextBox(this, QString::fromLatin1(name), {kBoxLeft, top, kBoxWidth, kRowHeight});
        QLabel* label = makeLabel(this, QString::fromLatin1(name) + u"Label"_s, caption,
                                  {kLabelLeft, top + 30, kLabelWidth, 255});
        label->setBuddy(box);
        top += kRowStep;
        return box;
    };

    m_provider = new QComboBox(this);
    platform::placeControl(m_provider, u"Combo1"_s, {kBoxLeft, top, kBoxWidth, kRowHeight});
    for (const ProviderPreset& preset : providerPresets())
        m_provider->addItem(preset.caption, preset.key);
    m_provider->addItem(u"その他"_s, kCustomKey);
    makeLabel(this, u"Combo1Label"_s, u"プロバイダー"_s, {kLabelLeft, top + 30, kLabelWidth, 255})
        ->setBuddy(m_provider);
    top += kRowStep;

    m_clientId = row("Text1", u"クライアント ID"_s);
    m_clientSecret = row("Text2", u"クライアント シークレット"_s);
    m_clientSecret->setEchoMode(QLineEdit::Password);
    m_loginName = row("Text3", u"ログイン名"_s);
    m_authorizationUrl = row("Text4", u"認可 URL"_s);
    m_tokenUrl = row("Text5", u"トークン URL"_s);
    m_scope = row("Text6", u"スコープ"_s);
    m_server = row("Text7", u"サーバー"_s);

    m_state = makeLabel(this, u"Label1"_s, QString(), {kLabelLeft, top + 60, kWidth - 2 * kMargin, 600});
    m_state->setWordWrap(true);
    m_state->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    top += 720;

    m_signIn = makeButton(this, u"Command1"_s, u"サインイン"_s, {kBoxLeft, top, 1680, 360});
    m_signIn->setDefault(true);
    m_signOut = makeButton(this, u"Command2"_s, u"サインアウト"_s,
                           {kBoxLeft + kBoxWidth - 1680, top, 1680, 360});
}

void SignInWindow::loadContents()
{
    SignInChoice choice = m_service.choice();
    if (choice.provider.isEmpty())
        choice.provider = providerPresets().front().key;
    showChoice(choice);
    showState();
}

void SignInWindow::showChoice(const SignInChoice& choice)
{
    const int index = m_provider->findData(choice.provider);
    m_provider->setCurrentIndex(index < 0 ? m_provider->findData(kCustomKey) : index);
    m_clientId->setText(choice.clientId);
    m_clientSecret->setText(choice.clientSecret);
    m_loginName->setText(choice.loginName);
    if (!findPreset(choice.provider)) {
        m_authorizationUrl->setText(choice.authorizationUrl);
        m_tokenUrl->setText(choice.tokenUrl);
        m_scope->setText(choice.scope);
        m_server->setText(choice.server);
    }
    providerChanged();
}

// A preset's endpoints, scope and server are shown as they are and cannot be edited; another
// provider's are the user's to enter.
void SignInWindow::providerChanged()
{
    const ProviderPreset* preset = findPreset(m_provider->currentData().toString());
    for (QLineEdit* box : {m_authorizationUrl, m_tokenUrl, m_scope, m_server})
        box->setReadOnly(preset != nullptr);
    if (preset) {
        m_authorizationUrl->setText(preset->authorizationUrl);
        m_tokenUrl->setText(preset->tokenUrl);
        m_scope->setText(preset->scope);
        m_server->setText(preset->server);
    }
    // Long texts (a client ID, addresses) are read from their beginning.
    for (QLineEdit* box : {m_clientId, m_clientSecret, m_loginName, m_authorizationUrl, m_tokenUrl,
                           m_scope, m_server})
        box->setCursorPosition(0);
}

SignInChoice SignInWindow::enteredChoice() const
{
    SignInChoice choice;
    choice.provider = m_provider->currentData().toString();
    choice.clientId = m_clientId->text().trimmed();
    choice.clientSecret = m_clientSecret->text().trimmed();
    choice.loginName = m_loginName->text().trimmed();
    choice.authorizationUrl = m_authorizationUrl->text().trimmed();
    choice.tokenUrl = m_tokenUrl->text().trimmed();
    choice.scope = m_scope->text().trimmed();
    choice.server = m_server->text().trimmed();
    return choice;
}

void SignInWindow::startSignIn()
{
    const SignInChoice choice = enteredChoice();
    if (!choice.complete()) {
        showText(u"クライアント ID、ログイン名、認可 URL、トークン URL、スコープ、サーバーを入力してください。"_s);
        return;
    }
    setBusy(true);
    showText(u"ブラウザーでサインインしてください…"_s);
    m_service.signIn(choice);
}

void SignInWindow::signOut()
{
    m_service.signOut();
    setBusy(false);
    showState();
}

void SignInWindow::showState()
{
    showText(m_service.state().text);
}

void SignInWindow::showText(const QString& text)
{
    m_state->setText(text);
}

void SignInWindow::setBusy(bool busy)
{
    m_signIn->setEnabled(!busy);
}

} // namespace pelmora::signin
