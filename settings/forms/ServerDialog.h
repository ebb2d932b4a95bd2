#pragma once

#include "settings/ProgramValues.h"
#include "settings/ServerSettingsFile.h"

#include "platform/forms/Form.h"
#include "platform/ports/MessageBox.h"
#include "platform/ports/WindowPositioner.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace pelmora::settings {

// The server settings dialog "サーバー設定": SMTP server, POP3 server, mail address and APOP.
// It edits the four program-wide server values; "設定" stores and saves them to vbmail.ini.
// A save that fails is told in a message box, and the dialog stays open with what was typed.
class ServerDialog : public platform::Form {
    Q_OBJECT
public:
    ServerDialog(ProgramValues& values, const ServerSettingsFile& serverFile,
               platform::WindowPositioner& positioner, platform::MessageBox& messageBox,
               QWidget* parent = nullptr);

    // Puts the dialog above other windows and fills the boxes from the program-wide values.
    void loadContents() override;

    // Saves the boxes exactly as typed to vbmail.ini; once saved, they become the program-wide
    // values and the dialog unloads.
    void ok();
    // Unloads, changing nothing.
    void cancel();

protected:
    void closeBoxPressed() override { cancel(); }
    void escapePressed() override { cancel(); }

private:
    void buildLayout();

    ProgramValues& m_values;
    const ServerSettingsFile& m_serverFile;
    platform::WindowPositioner& m_positioner;
    platform::MessageBox& m_messageBox;

    QLineEdit* m_smtpText = nullptr;
    QLineEdit* m_pop3Text = nullptr;
    QLineEdit* m_mailText = nullptr;
    QCheckBox* m_apopCheck = nullptr;
    QPushButton* m_okCommand = nullptr;
    QPushButton* m_cancelCommand = nullptr;
};

} // namespace pelmora::settings
