#include "bench/BenchCheck.h"

#include "mail/MailCheck.h"
#include "settings/ProgramValues.h"
#include "settings/SettingsStore.h"

#include "profile/ProfileEngine.h"
#include "platform/adapters/system/Utf8Cp932Codec.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

namespace pelmora::bench {

using platform::MailBuffer;
using platform::MailLibrary;

namespace {

// Passes every call on to the library under test and keeps what the check itself throws away:
// the count the login reported and the header bytes every message call reported.
class CountingLibrary final : public MailLibrary {
public:
    explicit CountingLibrary(MailLibrary& real) : m_real(real) {}
    CheckResult result;

    std::int32_t NMailInitializeWinSock() override { return m_real.NMailInitializeWinSock(); }
    std::int32_t NMailSetOption(std::int32_t option, std::int32_t value) override
    {
        return m_real.NMailSetOption(option, value);
    }
    std::int32_t NMailEndWinSock() override { return m_real.NMailEndWinSock(); }
    std::int32_t NMailPop3Connect(const QByteArray& server) override
    {
        return m_real.NMailPop3Connect(server);
    }
    std::int32_t NMailPop3Authenticate(std::int32_t handle, const QByteArray& userId,
                                       const QByteArray& password, std::int32_t apop) override
    {
        result.count = m_real.NMailPop3Authenticate(handle, userId, password, apop);
        result.ok = result.count > 0;
        return result.count;
    }
    std::int32_t NMailPop3GetMailStatus(std::int32_t handle, std::int32_t number, MailBuffer& a,
                                        MailBuffer& b, MailBuffer& c, MailBuffer& d,
                                        std::int32_t flag) override
    {
        return m_real.NMailPop3GetMailStatus(handle, number, a, b, c, d, flag);
    }
    std::int32_t NMailPop3GetMailSize(std::int32_t handle, std::int32_t number) override
    {
        const std::int32_t size = m_real.NMailPop3GetMailSize(handle, number);
        if (size < 0)
            result.ok = false;
        return size;
    }
    std::int32_t NMailPop3GetMail(std::int32_t handle, std::int32_t number, MailBuffer& a,
                                  MailBuffer& b, MailBuffer& c, MailBuffer& d, MailBuffer& body,
                                  std::int32_t flag, std::int32_t reserved) override
    {
        const std::int32_t got =
            m_real.NMailPop3GetMail(handle, number, a, b, c, d, body, flag, reserved);
        if (got < 0)
            result.ok = false;
        else
            result.bytes += got;
        return got;
    }
    std::int32_t NMailGetMessage(std::int32_t id, MailBuffer& buffer,
                                 std::int32_t& capacity) override
    {
        return m_real.NMailGetMessage(id, buffer, capacity);
    }
    std::int32_t NMailPop3Close(std::int32_t handle) override
    {
        return m_real.NMailPop3Close(handle);
    }

private:
    MailLibrary& m_real;
};

// The windows and desktop services as a check with mail sees them, doing nothing: the benchmark
// measures the check, not the alert. "Start the mail program" is ticked with none chosen, so new
// mail shows nothing at all.
struct QuietDesktop final : mail::CheckWindowView, mail::AccountDialogView,
                            mail::NoticeBoardView, platform::MessageBox, platform::ProgramLauncher,
                            platform::TrayIcon, platform::TickCounter, mail::AccountSignIn {
    bool Check2() const override { return true; }
    QString Text7() const override { return QString::fromUtf16(settings::kMailProgramNotSet); }
    void Command2_Click() override {}
    void Command5_Click() override {}
    bool isShown() const override { return false; }
    void setIdText(const QString&) override {}
    void setPassText(const QString&) override {}
    void show() override {}
    void setText1(const QString&) override {}
    void setText2(const QString&) override {}
    void unload() override {}
    int msgBox(const QString&, int, const QString&) override { return platform::msgbox::kAnswerOk; }
    void msgBoxModeless(const QString&, int, const QString&) override {}
    bool shell(const QString&, int) override { return true; }
    void setIcon(const QString&) override {}
    void setTipText(const QString&) override {}
    void showIcon() override {}
    bool isAvailable() const override { return false; }
    void setEventHandler(EventHandler) override {}
    bool showMessage(const QString&, const QString&) override { return false; }
    std::uint32_t timeGetTime() override { return 0; }
    // The bench account logs in with its password.
    bool signsIn() const override { return false; }
    QString server() const override { return {}; }
    QString loginName() const override { return {}; }
    bool signedIn() const override { return false; }
    Token accessToken(bool) override { return {}; }
    void showSignInWindow() override {}
};

} // namespace

CheckResult runCheck(MailLibrary& library, const BenchServer& server)
{
    // The account comes from the data folder as it does for the program.
    static QTemporaryDir programFolder;
    static profile::ProfileEngine profiles;
    static platform::Utf8Cp932Codec codec;
    static settings::SettingsStore store(profiles, codec, programFolder.path());
    static BenchServer stored;
    if (server.user != stored.user || server.password != stored.password) {
        QDir(programFolder.path()).mkpath(QStringLiteral("★MailData"));
        store.writeKey(settings::ProfileFile::Account, settings::kAccountIdKey,
                       QString::fromUtf8(server.user));
        store.writeKey(settings::ProfileFile::Account, settings::kAccountPasswordKey,
                       QString::fromUtf8(server.password));
        stored = server;
    }

    settings::ProgramValues values;
    values.Pop3Server = QString::fromUtf8(server.address);
    values.ApopFlag = server.apop ? 1 : 0;
    CountingLibrary counting(library);
    QuietDesktop desktop;
    const settings::Preferences preferences; // no hang-up, the board stays
    mail::MailCheck check({counting, desktop, desktop, desktop, desktop, desktop},
                          {desktop, desktop, desktop}, preferences, store, values);

    QElapsedTimer clock;
    clock.start();
    check.CheckMail();
    counting.result.seconds = double(clock.nsecsElapsed()) / 1e9;
    return counting.result;
}

} // namespace pelmora::bench
