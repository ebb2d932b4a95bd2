#include "bench/BenchCheck.h"

#include "mail/MailCheck.h"
#include "settings/ProgramValues.h"
#include "settings/SettingsStore.h"

#include "profile/ProfileEngine.h"
#include "platform/adapters/system/NoRemoteAccess.h"
#include "platform/adapters/system/Utf8Cp932Codec.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>

namespace pelmora::bench {

namespace {

// Passes every call on to the mailbox under test and keeps what the check itself throws away:
// the count the login reported and the bytes of the headers read.
class CountingSession final : public platform::MailboxSession {
public:
    CountingSession(std::unique_ptr<platform::MailboxSession> real, CheckResult& result)
        : m_real(std::move(real)), m_result(result)
    {
    }
    platform::MailboxAnswer<int> logIn(const platform::MailboxCredentials& credentials) override
    {
        const auto answer = m_real->logIn(credentials);
        m_result.count = answer.value;
        m_result.ok = answer.ok() && answer.value > 0;
        return answer;
    }
    platform::MailboxAnswer<platform::MailHeader> header(int number) override
    {
        const auto answer = m_real->header(number);
        if (!answer.ok())
            m_result.ok = false;
        else
            m_result.bytes += answer.value.raw.size();
        return answer;
    }
    platform::MailboxAnswer<QList<QByteArray>> messageIds() override
    {
        return m_real->messageIds();
    }
    void close() override { m_real->close(); }

private:
    std::unique_ptr<platform::MailboxSession> m_real;
    CheckResult& m_result;
};

class CountingMailbox final : public platform::Mailbox {
public:
    explicit CountingMailbox(platform::Mailbox& real) : m_real(real) {}
    CheckResult result;

    std::unique_ptr<platform::MailboxSession> open(const QString& server,
                                                   QString* failure) override
    {
        auto session = m_real.open(server, failure);
        if (!session)
            return nullptr;
        return std::make_unique<CountingSession>(std::move(session), result);
    }
    void closeAll() override { m_real.closeAll(); }

private:
    platform::Mailbox& m_real;
};

// The windows and the sign-in as a check sees them, and its report, doing nothing: the benchmark
// measures the check, not what is shown of it.
struct QuietDesktop final : mail::AccountDialogView, mail::AccountSignIn, mail::CheckReport {
    bool isShown() const override { return false; }
    void setIdText(const QString&) override {}
    void setPassText(const QString&) override {}
    void show() override {}
    // The bench account logs in with its password.
    bool signsIn() const override { return false; }
    QString server() const override { return {}; }
    QString loginName() const override { return {}; }
    bool signedIn() const override { return false; }
    Token accessToken(bool) override { return {}; }
    void showSignInWindow() override {}
    void failed(const QString&) override {}
    bool newMail(const mail::NewMail&) override { return true; }
    void withoutMessageIds() override {}
    void noNewMail() override {}
};

} // namespace

CheckResult runCheck(platform::Mailbox& mailbox, const BenchServer& server)
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
    CountingMailbox counting(mailbox);
    QuietDesktop desktop;
    const settings::Preferences preferences; // no hang-up, the board stays
    platform::NoRemoteAccess noDialUp;
    mail::DialUpHangUp hangUp(noDialUp);
    // No options' file: the check counts every message, as the program does by default.
    const QString dataFolder = programFolder.filePath(QStringLiteral("★MailData"));
    const settings::NoticeOptionsFile options(dataFolder);
    mail::AnnouncedMessages announced(dataFolder);
    mail::MailCheck check({counting, desktop, desktop, hangUp, desktop, options, announced},
                          preferences, store, values);

    QElapsedTimer clock;
    clock.start();
    check.run();
    counting.result.seconds = double(clock.nsecsElapsed()) / 1e9;
    return counting.result;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace pelmora::bench
