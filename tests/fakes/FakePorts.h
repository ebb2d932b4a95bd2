#pragma once

// Recording fakes for the platform ports. Each writes what it was asked into a shared CallLog and
// answers from a script the test sets up.

#include "tests/fakes/CallLog.h"

#include "platform/ports/AnimationPane.h"
#include "platform/ports/ConnectivityEvents.h"
#include "platform/ports/DesktopNotifications.h"
#include "platform/ports/ScreenLock.h"
#include "platform/ports/FileDialog.h"
#include "platform/ports/FileTitle.h"
#include "platform/ports/HomepageBrowser.h"
#include "platform/ports/Mailbox.h"
#include "platform/ports/MessageBox.h"
#include "platform/ports/Multimedia.h"
#include "platform/ports/ProcessExit.h"
#include "platform/ports/ProfileFiles.h"
#include "platform/ports/ProgramLauncher.h"
#include "platform/ports/RemoteAccess.h"
#include "platform/ports/SecretStore.h"
#include "platform/ports/TickCounter.h"
#include "platform/ports/TrayIcon.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QQueue>

#include <functional>
#include <map>
#include <optional>
#include <set>

namespace pelmora::fakes {

// The mailbox with a scripted POP3 server behind it. It answers every call with the values and
// failure texts the real mailbox (Pop3Mailbox) gives for a server in the same state: the server
// name that reaches it, the one account it accepts, and the messages in the mailbox.
class FakeMailbox final : public platform::Mailbox {
public:
    explicit FakeMailbox(CallLog& log) : m_log(log) {}

    struct Message {
        QByteArray content; // the whole message as sent (CRLF line ends)
        QByteArray id;      // its unique id (UIDL); when empty, its number is answered
    };
    // A message with the usual header fields and this subject and body, and an id of its own.
    static Message message(const QByteArray& subject, const QByteArray& body);

    // Script: the server.
    QString host = QStringLiteral("pop.example"); // the one host name that reaches the server
    QString userId = QStringLiteral("taro");
    QString password = QStringLiteral("secret");
    bool offersApop = true; // the greeting carries an APOP timestamp
    QByteArray loginRejection = "-ERR [AUTH] Authentication failed.";
    QList<Message> mailbox;
    bool offersIds = true; // the server offers UIDL
    // Runs inside every call that talks to the server, as window events run while the real
    // mailbox waits for the network.
    std::function<void()> whileWaiting;
    // The server drops the connection when message `connectionLostAt` is asked for (0: never):
    // that call and every later one answer ConnectionLost, as the real mailbox does.
    int connectionLostAt = 0;

    std::unique_ptr<platform::MailboxSession> open(const QString& server,
                                                   QString* failure) override;
    void closeAll() override;

    // Sessions open now.
    qsizetype openSessions() const { return qsizetype(m_open.size()); }

    // Script: whether the server can be watched (IMAP with IDLE). The test tells what the watch
    // would through its listener.
    bool watchable = false;
    bool canWatch(const QString&) const override { return watchable; }
    std::unique_ptr<platform::MailboxWatch> watch(const QString& server,
                                                  const platform::MailboxCredentials& credentials,
                                                  platform::MailboxWatch::Listener listener) override;
    void tellWatch(platform::MailboxWatch::Health health)
    {
        watchListener.healthChanged(health, QStringLiteral("why"));
    }
    platform::MailboxWatch::Listener watchListener; // of the last watch asked for
    QStringList watched;  // "server secret" of every watch asked for
    int openWatches = 0;  // watches not yet destroyed

private:
    class Session;
    void waiting() const;

    CallLog& m_log;
    std::set<Session*> m_open;
};

class FakeMultimedia final : public platform::Multimedia {
public:
    explicit FakeMultimedia(CallLog& log) : m_log(log) {}
    // Script: the answer and reply per command; unknown commands answer `defaultResult`.
    QHash<QString, QString> replies;
    std::uint32_t defaultResult = 0;
    // When set, every command is recorded and then passed on to this real interface, whose
    // answers count instead of the script's.
    platform::Multimedia* passTo = nullptr;
    // The answer to every command, in order.
    QList<std::uint32_t> results;

    std::uint32_t mciSendString(const QString& command, QString* reply,
                                std::uint32_t replyCapacity) override;

private:
    CallLog& m_log;
};

// A tick counter the test controls: either fixed values it sets, or an offset real clock that
// starts at `base` and advances with real time, to cross the 32-bit wrap in real waits.
class FakeTickCounter final : public platform::TickCounter {
public:
    void setValue(std::uint32_t value) { m_value = value; m_realClock = false; }
    void runFrom(std::uint32_t base);
    std::uint32_t timeGetTime() override;

    // Every value answered, in order.
    const QList<std::uint32_t>& answered() const { return m_answered; }

private:
    std::uint32_t m_value = 0;
    bool m_realClock = false;
    QElapsedTimer m_clock;
    QList<std::uint32_t> m_answered;
};

class FakeRemoteAccess final : public platform::RemoteAccess {
public:
    explicit FakeRemoteAccess(CallLog& log) : m_log(log) {}
    QList<std::uint32_t> activeHandles;
    std::uint32_t enumResult = kSuccess;

    std::uint32_t rasEnumConnections(std::span<platform::RasConnection> table,
                                     std::uint32_t& bufferSize, std::uint32_t& count) override;
    std::uint32_t rasHangUp(std::uint32_t handle) override;

private:
    CallLog& m_log;
};

class FakeAnimationPane final : public platform::AnimationPane {
public:
    explicit FakeAnimationPane(CallLog& log) : m_log(log) {}
    void navigate(const QString& url) override;
    void setScreenLocked(bool locked) override { screenLocked = locked; }
    QString currentUrl;
    bool screenLocked = false;

private:
    CallLog& m_log;
};

class FakeTrayIcon final : public platform::TrayIcon {
public:
    explicit FakeTrayIcon(CallLog& log) : m_log(log) {}
    bool available = true;
    QString tipText;
    bool iconShown = false;

    void setIcon(const QString& pictureFile) override;
    void setTipText(const QString& tip) override;
    void showIcon() override;
    bool isAvailable() const override { return available; }
    void setEventHandler(EventHandler handler) override { m_handler = std::move(handler); }
    // Shown only where the icon is in an available notification area, as the real one.
    bool showMessage(const QString& title, const QString& text) override;
    // The user acting on the icon.
    void raiseEvent(std::int16_t code);

private:
    CallLog& m_log;
    EventHandler m_handler;
};

// Records every notification ("notify: <title> | <line> / <line> | click" or "| no click") and
// keeps the last one's click handler, which the test runs as the user's click.
class FakeDesktopNotifications final : public platform::DesktopNotifications {
public:
    explicit FakeDesktopNotifications(CallLog& log) : m_log(log) {}
    void notify(const QString& title, const QStringList& lines,
                std::function<void()> onClicked) override;
    // The user clicks the notification shown last; false when it offers no click.
    bool click();

private:
    CallLog& m_log;
    std::function<void()> m_onClicked;
};

// The computer's waking or the network's return, when the test says so.
class FakeConnectivityEvents final : public platform::ConnectivityEvents {
public:
    void setListener(std::function<void()> backOnline) override { m_backOnline = std::move(backOnline); }
    void comeBackOnline()
    {
        if (m_backOnline)
            m_backOnline();
    }

private:
    std::function<void()> m_backOnline;
};

// The screen's lock, when the test says so.
class FakeScreenLock final : public platform::ScreenLock {
public:
    void setListener(std::function<void(bool)> changed) override { m_changed = std::move(changed); }
    void setLocked(bool locked)
    {
        if (m_changed)
            m_changed(locked);
    }

private:
    std::function<void(bool)> m_changed;
};

class FakeFileDialog final : public platform::FileDialog {
public:
    explicit FakeFileDialog(CallLog& log) : m_log(log) {}
    QString nextFileName;
    QString showOpen(QWidget* parent) override;

private:
    CallLog& m_log;
};

class FakeFileTitle final : public platform::FileTitle {
public:
    explicit FakeFileTitle(CallLog& log) : m_log(log) {}
    std::int16_t getFileTitle(std::string_view path, std::span<char> title) override;

private:
    CallLog& m_log;
};

class FakeMessageBox final : public platform::MessageBox {
public:
    explicit FakeMessageBox(CallLog& log) : m_log(log) {}
    // Answers given in order; an empty queue answers OK.
    QQueue<int> answers;
    // Runs while the box is "open", as events run inside a real one.
    std::function<void()> whileOpen;
    int msgBox(const QString& prompt, int style, const QString& title) override;
    void msgBoxModeless(const QString& prompt, int style, const QString& title) override;

private:
    CallLog& m_log;
};

class FakeProgramLauncher final : public platform::ProgramLauncher {
public:
    explicit FakeProgramLauncher(CallLog& log) : m_log(log) {}
    bool result = true;
    bool shell(const QString& path, int windowStyle) override;

private:
    CallLog& m_log;
};

class FakeHomepageBrowser final : public platform::HomepageBrowser {
public:
    explicit FakeHomepageBrowser(CallLog& log) : m_log(log) {}
    bool result = true;
    bool navigate(const QUrl& address) override;

private:
    CallLog& m_log;
};

// A keyring in memory that answers at once. Records every call by name (never the secret);
// `available` false makes it answer as a desktop without a keyring does.
class FakeSecretStore final : public platform::SecretStore {
public:
    explicit FakeSecretStore(CallLog& log) : m_log(log) {}
    bool available = true;
    QHash<QString, QByteArray> secrets;

    void read(const QString& name, QObject* context, Answer answer) override;
    void write(const QString& name, const QByteArray& secret, QObject* context,
               Answer answer) override;
    void remove(const QString& name, QObject* context, Answer answer) override;

private:
    CallLog& m_log;
};

// Records the end of the process instead of ending it; the test checks nothing runs afterwards.
class FakeProcessExit final : public platform::ProcessExit {
public:
    explicit FakeProcessExit(CallLog& log) : m_log(log) {}
    bool ended = false;
    void endProcess() override;

private:
    CallLog& m_log;
};

// Passes every call on to a real profile engine and records the writes (and, when asked, the
// reads), so tests see both the files' bytes and the order of the writes.
class RecordingProfileFiles final : public platform::ProfileFiles {
public:
    RecordingProfileFiles(platform::ProfileFiles& real, CallLog& log) : m_real(real), m_log(log) {}
    bool recordReads = false;

    std::uint32_t getPrivateProfileInt(Text section, Text key, std::int32_t defaultValue,
                                       const QString& path) override;
    std::uint32_t getPrivateProfileString(Text section, Text key, Text defaultValue,
                                          std::span<char> buffer, const QString& path) override;
    platform::WriteResult writePrivateProfileString(Text section, Text key, Text value,
                                                    const QString& path) override;
    void keepOwnerOnly(const QString& path) override { m_real.keepOwnerOnly(path); }

private:
    platform::ProfileFiles& m_real;
    CallLog& m_log;
};

} // namespace pelmora::fakes
