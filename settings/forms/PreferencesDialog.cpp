#include "settings/forms/PreferencesDialog.h"

#include "platform/forms/JapaneseFont.h"
#include "platform/forms/Widgets.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace pelmora::settings {

using namespace Qt::StringLiterals;
using platform::makeButton;
using platform::makeCheckBox;
using platform::makeLabel;
using platform::makeTextBox;

namespace {
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
} // namespace

PreferencesDialog::PreferencesDialog(Preferences& preferences, const SettingsStore& store,
                 MainWindowIntervalView& mainWindow, IntervalSwitch& scheduler,
                 DialogOpener& dialogs,
                 platform::MessageBox& messageBox, QWidget* parent)
    : Form(parent),
      m_preferences(preferences),
      m_rules(preferences, store, mainWindow, scheduler),
      m_dialogs(dialogs),
      m_messageBox(messageBox)
{
    buildLayout();
    connect(m_hangUpBox, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.hangUpAfterCheck = on; });
    connect(m_intervalBox, &QLineEdit::textChanged, this, [this] { intervalEdited(); });
    connect(m_boardBox, &QCheckBox::toggled, this,
            [this](bool on) { m_preferences.boardErasesItself = on; });
    connect(m_accountButton, &QPushButton::clicked, this, [this] { showAccountDialog(); });
    connect(m_serverButton, &QPushButton::clicked, this, [this] { showServerDialog(); });
}

void PreferencesDialog::buildLayout()
{
    setUpFixedFrame(u"SetForm"_s, u"設定"_s, Frame::Dialog, 3825, 3315);
    platform::setBackgroundColor(this, QColor(192, 192, 192));

    m_serverButton = makeButton(this, u"Command2"_s, u"POPサーバー"_s, {1920, 120, 1455, 375});
    platform::setButtonFace(m_serverButton, QColor(128, 128, 255));
    m_accountButton = makeButton(this, u"Command1"_s, u"ID/PASS"_s, {480, 120, 1455, 375});
    platform::setButtonFace(m_accountButton, QColor(255, 128, 0));

    m_hangUpBox = makeCheckBox(this, u"Check1"_s, QString(), {480, 600, 255, 255});
    QLabel* label1 = makeLabel(this, u"Label1"_s, u"新着チェック後接続を切断する。"_s,
                               {840, 645, 2535, 255});
    platform::setTextColor(label1, kBlue);
    m_hangUpBox->setAccessibleName(label1->text());

    platform::makeHorizontalLine(this, u"Line1_0"_s, 360, 3480, 960, Qt::black);

    QLabel* label5 = makeLabel(this, u"Label5"_s, u"インターバルメールチェック"_s,
                               {480, 1080, 2775, 375});
    label5->setFont(platform::japaneseGothicFont(9, true));
    platform::setTextColor(label5, kRed);

    QLabel* label3 = makeLabel(
        this, u"Label3"_s,
        u"０以上の数字を入力すると、その間隔で自動的にメールチェックを行います。チェックの都度"
        "手動で行う場合は０にしておいて下さい。（単位は分です。）"_s,
        {480, 1440, 2895, 855});
    label3->setWordWrap(true);
    label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    platform::setTextColor(label3, kBlue);

    m_intervalBox = makeTextBox(this, u"Text2"_s, {2400, 2280, 375, 270});
    m_intervalBox->setAccessibleName(label5->text());
    QLabel* label2 = makeLabel(this, u"Label2"_s, u"分"_s, {2880, 2325, 495, 255});
    platform::setTextColor(label2, kRed);

    platform::makeHorizontalLine(this, u"Line1_1"_s, 240, 3360, 2760, Qt::black);

    m_boardBox = makeCheckBox(this, u"Check2"_s, u"新着お知らせボードを１秒で自動消去させる"_s,
                            {120, 2880, 3735, 495});

    setTabOrder(m_serverButton, m_accountButton);
    setTabOrder(m_accountButton, m_hangUpBox);
    setTabOrder(m_hangUpBox, m_intervalBox);
    setTabOrder(m_intervalBox, m_boardBox);
    for (QLabel* label : findChildren<QLabel*>())
        label->setFocusPolicy(Qt::NoFocus);
}

void PreferencesDialog::loadContents()
{
    // Filling the boxes is no edit: the interval takes no effect again, and nothing is stored.
    const QSignalBlocker hangUp(m_hangUpBox);
    const QSignalBlocker interval(m_intervalBox);
    const QSignalBlocker board(m_boardBox);
    m_hangUpBox->setChecked(m_preferences.hangUpAfterCheck);
    m_intervalBox->setText(m_preferences.interval);
    m_boardBox->setChecked(m_preferences.boardErasesItself);
}

bool PreferencesDialog::hangsUpAfterCheck() const { return m_hangUpBox->isChecked(); }
void PreferencesDialog::setHangsUpAfterCheck(bool on) { m_hangUpBox->setChecked(on); }
QString PreferencesDialog::intervalText() const { return m_intervalBox->text(); }
void PreferencesDialog::setIntervalText(const QString& text) { m_intervalBox->setText(text); }
bool PreferencesDialog::boardErasesItself() const { return m_boardBox->isChecked(); }
void PreferencesDialog::setBoardErasesItself(bool on) { m_boardBox->setChecked(on); }

void PreferencesDialog::intervalEdited()
{
    // An empty box becomes "0". Setting it runs this handler again, nested, for "0"; this run
    // then goes on and handles "0" a second time.
    if (m_intervalBox->text().isEmpty())
        m_intervalBox->setText(u"0"_s);

    m_rules.setInterval(m_intervalBox->text());
}

void PreferencesDialog::saveAndClose()
{
    const auto failure = m_rules.saveAndReload();
    if (failure) {
        tellSaveFailure(m_messageBox, *failure);
        return;
    }
    unload();
}

void PreferencesDialog::showAccountDialog()
{
    m_dialogs.showAccountDialog();
}

void PreferencesDialog::showServerDialog()
{
    m_dialogs.showServerDialog();
}

} // namespace pelmora::settings
