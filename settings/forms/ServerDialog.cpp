#include "settings/forms/ServerDialog.h"

#include "settings/SaveFailure.h"

#include "platform/forms/Widgets.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace pelmora::settings {

using namespace Qt::StringLiterals;
using platform::makeButton;
using platform::makeLabel;
using platform::makeTextBox;

ServerDialog::ServerDialog(ProgramValues& values, const ServerSettingsFile& serverFile,
                       platform::WindowPositioner& positioner, platform::MessageBox& messageBox,
                       QWidget* parent)
    : Form(parent),
      m_values(values),
      m_serverFile(serverFile),
      m_positioner(positioner),
      m_messageBox(messageBox)
{
    buildLayout();
    connect(m_okCommand, &QPushButton::clicked, this, [this] { ok(); });
    connect(m_cancelCommand, &QPushButton::clicked, this, [this] { cancel(); });
}

void ServerDialog::buildLayout()
{
    setUpFixedFrame(u"OptionForm"_s, u"サーバー設定"_s, Frame::Dialog, 2895, 3015);
    const QColor blue(0, 0, 255);

    QLabel* smtpLabel =
        makeLabel(this, u"Label1"_s, u"SMTPサーバー名(&S)"_s, {120, 120, 1575, 195});
    m_smtpText = makeTextBox(this, u"SmtpText"_s, {120, 360, 2652, 264});
    QLabel* pop3Label =
        makeLabel(this, u"Label2"_s, u"POP3サーバー名(&P)"_s, {120, 720, 1635, 195});
    m_pop3Text = makeTextBox(this, u"Pop3Text"_s, {120, 960, 2652, 264});
    QLabel* mailLabel =
        makeLabel(this, u"Label3"_s, u"メールアドレス(&M)"_s, {120, 1320, 1635, 195});
    m_mailText = makeTextBox(this, u"MailText"_s, {120, 1560, 2652, 264});
    for (QLabel* label : {smtpLabel, pop3Label, mailLabel})
        platform::setTextColor(label, blue);
    // Each label's access key leads to the box below it.
    smtpLabel->setBuddy(m_smtpText);
    pop3Label->setBuddy(m_pop3Text);
    mailLabel->setBuddy(m_mailText);

    m_apopCheck = platform::makeCheckBox(this, u"ApopCheck"_s, u"APOP を使用する(&A)"_s,
                                         {480, 2040, 2172, 252});
    platform::setTextColor(m_apopCheck, blue);

    // Neither button is the default: Enter in a text box presses nothing. Esc is "中止".
    m_okCommand = makeButton(this, u"OkCommand"_s, u"設定"_s, {660, 2520, 972, 372});
    m_cancelCommand = makeButton(this, u"CancelCommand"_s, u"中止"_s, {1860, 2520, 912, 372});

    // The mail address comes last, after the buttons.
    setTabOrder(m_smtpText, m_pop3Text);
    setTabOrder(m_pop3Text, m_apopCheck);
    setTabOrder(m_apopCheck, m_okCommand);
    setTabOrder(m_okCommand, m_cancelCommand);
    setTabOrder(m_cancelCommand, m_mailText);
}

void ServerDialog::loadContents()
{
    m_positioner.setWindowPos(this, platform::InsertAfter::Topmost, 0, 0, 0, 0,
                              platform::kSwpKeepGeometryAndShow);
    m_smtpText->setText(m_values.SmtpServer);
    m_pop3Text->setText(m_values.Pop3Server);
    m_mailText->setText(m_values.MailAddress);
    m_apopCheck->setChecked(m_values.ApopFlag != 0);
}

void ServerDialog::ok()
{
    ProgramValues typed = m_values;
    typed.SmtpServer = m_smtpText->text();
    typed.Pop3Server = m_pop3Text->text();
    typed.MailAddress = m_mailText->text();
    typed.ApopFlag = m_apopCheck->isChecked() ? 1 : 0;
    if (const platform::WriteResult saved = m_serverFile.save(typed); !saved) {
        // Nothing changes until it is saved: "中止" then still leaves everything as it was.
        tellSaveFailure(m_messageBox, {m_serverFile.path(), saved.reason});
        return;
    }
    m_values = typed;
    unload();
}

void ServerDialog::cancel()
{
    unload();
}

} // namespace pelmora::settings
