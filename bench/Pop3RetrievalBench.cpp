// How long the POP3 library takes to read a whole mailbox the way the check does (status, size
// and retrieval for every message), side by side with curl reading the same messages over one
// connection. Run through scripts/bench-pop3, which starts Dovecot with 1000 messages of 51,200
// bytes and passes the fixture's information file.
//
//   pop3_retrieval_bench INFO_FILE [ROUNDS]

#include "platform/pop3/Pop3MailLibrary.h"
#include "tests/servers/DovecotInfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pelmora::platform;
using namespace Qt::StringLiterals;

namespace {

struct Round {
    double seconds = 0;
    std::int64_t bytes = 0;
    bool ok = false;
};

Round runLibrary(const QByteArray& server, const QByteArray& user, const QByteArray& password)
{
    Pop3MailLibrary library;
    library.NMailInitializeWinSock();
    library.NMailSetOption(1, 8192);
    QElapsedTimer clock;
    clock.start();
    Round round;
    const std::int32_t handle = library.NMailPop3Connect(server);
    const std::int32_t count = handle < 0 ? -1 : library.NMailPop3Authenticate(handle, user, password, 0);
    if (count <= 0)
        return round;
    round.ok = true;
    for (std::int32_t n = 1; n <= count; ++n) {
        MailBuffer b1(8192, ' '), b2(8192, ' '), b3(8192, ' '), b4(8192, ' ');
        library.NMailPop3GetMailStatus(handle, n, b1, b2, b3, b4, 0);
        const std::int32_t size = library.NMailPop3GetMailSize(handle, n);
        if (size < 0) {
            round.ok = false;
            continue;
        }
        MailBuffer body(std::size_t(size) + 1, ' ');
        const std::int32_t got = library.NMailPop3GetMail(handle, n, b1, b2, b3, b4, body, 0, 0);
        if (got < 0)
            round.ok = false;
        else
            round.bytes += got;
    }
    library.NMailPop3Close(handle);
    round.seconds = double(clock.nsecsElapsed()) / 1e9;
    library.NMailEndWinSock();
    return round;
}

Round runCurl(const QString& port, const QString& user, const QString& password, int count)
{
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    curl.start(u"curl"_s, {u"-s"_s, u"-u"_s, user + u':' + password,
                          u"pop3://127.0.0.1:%1/[1-%2]"_s.arg(port).arg(count)});
    Round round;
    round.ok = curl.waitForFinished(120'000) && curl.exitStatus() == QProcess::NormalExit
        && curl.exitCode() == 0;
    round.seconds = double(clock.nsecsElapsed()) / 1e9;
    return round;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: pop3_retrieval_bench INFO_FILE [ROUNDS]\n");
        return 2;
    }
    qputenv("PELMORA_DOVECOT_INFO", args[1].toUtf8());
    const auto info = pelmora::tests::DovecotInfo::load();
    if (!info.ready()) {
        std::fprintf(stderr, "%s\n", qPrintable(info.reason));
        return 1;
    }
    const int rounds = args.size() > 2 ? std::max(1, args[2].toInt()) : 5;
    const QString port = info[u"PORT"_s];
    const QString user = info[u"BENCH_USER"_s];
    const QString password = info[u"PASSWORD"_s];
    const QByteArray server = "127.0.0.1:" + port.toUtf8();

    // One round each first, so that both find Dovecot's index built and the files cached.
    const Round warm = runLibrary(server, user.toUtf8(), password.toUtf8());
    if (!warm.ok) {
        std::fprintf(stderr, "the library could not read the mailbox\n");
        return 1;
    }
    const int count = 1000;
    runCurl(port, user, password, count);

    std::vector<double> ours, curls;
    for (int i = 0; i < rounds; ++i) {
        const Round library = runLibrary(server, user.toUtf8(), password.toUtf8());
        const Round curl = runCurl(port, user, password, count);
        if (!library.ok || !curl.ok) {
            std::fprintf(stderr, "round %d failed (library %d, curl %d)\n", i + 1, library.ok, curl.ok);
            return 1;
        }
        std::printf("round %d: library %.3f s (%lld bytes), curl %.3f s\n", i + 1, library.seconds,
                    static_cast<long long>(library.bytes), curl.seconds);
        ours.push_back(library.seconds);
        curls.push_back(curl.seconds);
    }
    const double a = median(ours), b = median(curls);
    std::printf("median of %d rounds, %d messages of 51,200 bytes, plain POP3 (no TLS offered):\n",
                rounds, count);
    std::printf("  library (status + size + retrieval per message): %.3f s\n", a);
    std::printf("  curl (RETR per message, one connection):         %.3f s\n", b);
    std::printf("  ratio library / curl: %.2f\n", a / b);
    return 0;
}
