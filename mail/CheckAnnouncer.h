#pragma once

#include "mail/CheckReport.h"
#include "mail/MailViews.h"

#include "alert/AlertPresenter.h"
#include "settings/Preferences.h"

#include "platform/ports/MessageBox.h"
#include "platform/ports/ProgramLauncher.h"
#include "platform/ports/TickCounter.h"
#include "platform/ports/TrayIcon.h"

namespace pelmora::mail {

// Tells the user what a check found. A failure: the server's or the sign-in's words in an
// "エラー" box, which the check waits for. New mail: the mail program is started when the main
// window says so (nothing happens while none is chosen); otherwise the notice board shows the
// count (and closes itself after a second when the preferences say so), then the alert starts.
class CheckAnnouncer final : public CheckReport {
public:
    struct Ports {
        platform::MessageBox& messageBox;
        platform::ProgramLauncher& launcher;
        platform::TrayIcon& tray;
        platform::TickCounter& ticks;
    };

    // The preferences are read when the board is shown.
    CheckAnnouncer(Ports ports, MailProgramView& mailProgram, NoticeBoardView& board,
                   alert::AlertPresenter& alert, const settings::Preferences& preferences);

    void failed(const QString& text) override;
    void newMail(const NewMail& mail) override;
    void noNewMail() override {}

private:
    void startMailProgram(const QString& path);

    Ports m_ports;
    MailProgramView& m_mailProgram;
    NoticeBoardView& m_board;
    alert::AlertPresenter& m_alert;
    const settings::Preferences& m_preferences;
};

} // namespace pelmora::mail
