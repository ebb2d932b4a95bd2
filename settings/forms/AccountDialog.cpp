#include "settings/forms/AccountDialog.h"

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

AccountDialog::AccountDialog(const SettingsStore& store, ProgramValues& values,
                       platform::MessageBox& messageBox, QWidget* parent)
    : Form(parent), m_store(store), m_values(values), m_messageBox(messageBox)
{
    buildLayout();
    connect(m_okCommand, &QPushButton::clicked, this, [this] { ok(); });
    connect(m_cancelCommand, &QPushButton::clicked, this, [this] { cancel(); });
}

void AccountDialog::buildLayout()
{
    setUpFixedFrame(u"IdPassForm"_s, u"ID,PASS"_s, Frame::Dialog, 2880, 1785);

    QLabel* idLabel = makeLabel(this, u"Label1"_s, u"ID"_s, {120, 180, 675, 255});
    m_idText = makeTextBox(this, u"IdText"_s, {960, 120, 1632, 264});
    idLabel->setBuddy(m_idText);

    QLabel* passLabel = makeLabel(this, u"Label2_0"_s, u"Password"_s, {120, 600, 795, 255});
    m_passText = makeTextBox(this, u"PassText"_s, {960, 600, 1632, 264});
    m_passText->setEchoMode(QLineEdit::Password);
    // Every character shows as "*", whatever the style's own password character is.
    m_passText->setStyleSheet(u"QLineEdit { lineedit-password-character: 42; }"_s);
    passLabel->setBuddy(m_passText);

    // Only the box itself toggles: its caption is a separate label with no buddy.
    m_saveBox = platform::makeCheckBox(this, u"Check1"_s, QString(), {420, 1020, 255, 255});
    QLabel* saveLabel =
        makeLabel(this, u"Label2_1"_s, u"IDパスワードを保存する"_s, {780, 1020, 1875, 255});
    platform::setTextColor(saveLabel, QColor(0, 0, 255));
    m_saveBox->setAccessibleName(saveLabel->text());

    m_okCommand = makeButton(this, u"OKCommand"_s, u"OK"_s, {900, 1380, 852, 312});
    m_okCommand->setDefault(true); // Enter presses OK
    m_cancelCommand = makeButton(this, u"CancelCommand"_s, u"Cancel"_s, {1860, 1380, 852, 312});

    setTabOrder(m_idText, m_passText);
    setTabOrder(m_passText, m_okCommand);
    setTabOrder(m_okCommand, m_cancelCommand);
    setTabOrder(m_cancelCommand, m_saveBox);
}

void AccountDialog::loadContents()
{
    setIdText(m_store.readText(ProfileFile::Account, kAccountIdKey, QString()));
    setPassText(m_store.readText(ProfileFile::Account, kAccountPasswordKey, QString()));
}

QString AccountDialog::IdText() const { return m_idText->text(); }
void AccountDialog::setIdText(const QString& text) { m_idText->setText(text); }
QString AccountDialog::PassText() const { return m_passText->text(); }
void AccountDialog::setPassText(const QString& text) { m_passText->setText(text); }

void AccountDialog::ok()
{
    // Unticked, the earlier saved account stays in the file and stays in use by the mail check.
    const auto failure =
        m_saveBox->isChecked()
            ? m_store.writeKeys(ProfileFile::Account,
                                {{kAccountIdKey, IdText()},
                                 {kAccountPasswordKey, PassText()},
                                 {kAccountSavedKey, SettingsStore::flagText(true)}})
            : m_store.writeKeys(ProfileFile::Account,
                                {{kAccountSavedKey, SettingsStore::flagText(false)}});
    if (failure) {
        tellSaveFailure(m_messageBox, *failure);
        return;
    }
    m_values.UserId = IdText();
    m_values.UserPassword = PassText();
    unload();
}

void AccountDialog::cancel()
{
    unload();
}

} // namespace pelmora::settings
