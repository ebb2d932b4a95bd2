#pragma once

#include "mail/CheckReport.h"
#include "mail/MailViews.h"

#include "alert/AlertPresenter.h"
#include "settings/NoticeOptions.h"
#include "settings/Preferences.h"

#include "platform/ports/DesktopNotifications.h"
#include "platform/ports/MessageBox.h"
#include "platform/ports/ProgramLauncher.h"
#include "platform/ports/TickCounter.h"
#include "platform/ports/TrayIcon.h"

#include <optional>

namespace pelmora::mail {

// Tells the user what a check found. A failure: the server's or the sign-in's words in an
// "エラー" box, which the check waits for. New mail: the mail program is started when the main
// window says so (nothing happens while none is chosen); otherwise the notice board shows the
// count (and closes itself after a second when the preferences say so), then the alert starts.
// Once the user was told, and the options say so, a desktop notification names the senders and
// subjects of the newest messages; clicking it starts the mail program when one is chosen.
class CheckAnnouncer final : public CheckReport {
public:
    struct Ports {
        platform::MessageBox& messageBox;
        platform::ProgramLauncher& launcher;
        platform::TrayIcon& tray;
        platform::TickCounter& ticks;
        platform::DesktopNotifications& notifications;
    };
    // The messages a notification names at most, the newest first.
    static constexpr qsizetype kMaxMessagesNamed = platform::DesktopNotifications::kMaxLines;

    // The preferences are read when the board is shown.
    CheckAnnouncer(Ports ports, MailProgramView& mailProgram, NoticeBoardView& board,
                   alert::AlertPresenter& alert, const settings::Preferences& preferences,
                   const settings::NoticeOptionsFile& options);

    void failed(const QString& text) override;
    bool newMail(const NewMail& mail) override;
    // Told once in a run of the program, without stopping the check.
    void withoutMessageIds() override;
    void noNewMail() override {}

private:
    // The chosen mail program's path, or nothing while none is chosen.
    std::optional<QString> chosenMailProgram() const;
    bool startMailProgram(const QString& path);
    void notifySenders(const NewMail& mail);
    // A balloon at the tray icon, else a box that does not wait.
    void tellWithoutWaiting(const QString& text);

    Ports m_ports;
    MailProgramView& m_mailProgram;
    NoticeBoardView& m_board;
    alert::AlertPresenter& m_alert;
    const settings::Preferences& m_preferences;
    const settings::NoticeOptionsFile& m_options;
    bool m_toldWithoutIds = false;
};

} // namespace pelmora::mail
