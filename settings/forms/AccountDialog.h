#pragma once

#include "settings/ProgramValues.h"
#include "settings/SettingsStore.h"

#include "platform/forms/Form.h"
#include "platform/ports/MessageBox.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace pelmora::settings {

// The account dialog "ID,PASS": the POP3 user ID and password, and whether OK saves them.
// Start-up and the mail check also use its two text boxes while it is hidden.
class AccountDialog : public platform::Form {
    Q_OBJECT
public:
    AccountDialog(const SettingsStore& store, ProgramValues& values, platform::MessageBox& messageBox,
               QWidget* parent = nullptr);

    // Fills the ID and password boxes from iniIdPass.ini; the save box stays unticked.
    void loadContents() override;

    QString IdText() const;
    void setIdText(const QString& text);
    QString PassText() const;
    void setPassText(const QString& text);

    // With the save box ticked stores the account, else only that it was not saved; then sets the
    // program's account and unloads. A write that fails is told, and the dialog stays open.
    void ok();
    // Unloads, changing nothing.
    void cancel();

protected:
    void closeBoxPressed() override { cancel(); }
    void escapePressed() override { cancel(); }

private:
    void buildLayout();

    const SettingsStore& m_store;
    ProgramValues& m_values;
    platform::MessageBox& m_messageBox;

    QLineEdit* m_idText = nullptr;
    QLineEdit* m_passText = nullptr;
    QCheckBox* m_saveBox = nullptr;
    QPushButton* m_okCommand = nullptr;
    QPushButton* m_cancelCommand = nullptr;
};

} // namespace pelmora::settings
