// The POP3 figures of scripts/bench, against the private Dovecot of tests/servers/dovecot-fixture
// (started with --bench --plain) whose information file is INFO:
//
//   pop3_bench speed INFO USER_KEY ROUNDS [VIA_PORT]
//       One warm-up round, then ROUNDS rounds of, side by side: the check's calls through the
//       library (runCheck), curl reading the same messages over one connection, and the server's
//       floor (every RETR written at once). VIA_PORT: connect through 127.0.0.1:VIA_PORT (the
//       delay proxy) instead of straight to Dovecot.
//   pop3_bench memory INFO USER_KEY CHECKS
//       CHECKS checks in a row in this process: resident memory after the 10th and the last, and
//       the peak.
//
// USER_KEY names the mailbox in INFO (BENCH_USER: 1000 x 51,200 bytes; SMALL_USER: 100 small
// messages). Results go to stdout as "RESULT key=value" lines for scripts/bench.

#include "bench/BenchCheck.h"
#include "bench/Pop3Floor.h"
#include "pop3/Pop3Mailbox.h"
#include "tests/servers/DovecotInfo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace pelmora;
using namespace Qt::StringLiterals;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// A field of /proc/self/status in kB.
long long statusKilobytes(const char* field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').front().toLongLong();
    }
    return -1;
}

struct Mailbox {
    QByteArray host = "127.0.0.1";
    quint16 port = 0;
    QByteArray user;
    QByteArray password;
    int count = 0;
};

bool runCurl(const Mailbox& box, double* seconds)
{
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    curl.start(u"curl"_s, {u"-s"_s, u"-u"_s, QString::fromUtf8(box.user + ':' + box.password),
                          u"pop3://%1:%2/[1-%3]"_s.arg(QString::fromUtf8(box.host)).arg(box.port)
                              .arg(box.count)});
    const bool ok = curl.waitForFinished(300'000) && curl.exitStatus() == QProcess::NormalExit
        && curl.exitCode() == 0;
    *seconds = double(clock.nsecsElapsed()) / 1e9;
    return ok;
}

bench::BenchServer serverOf(const Mailbox& box)
{
    return {box.host + ':' + QByteArray::number(box.port), box.user, box.password, false};
}

int speed(const Mailbox& box, int rounds)
{
    pop3::Pop3Mailbox library;
    const bench::BenchServer server = serverOf(box);
    // Dovecot builds its index and the page cache fills on the first reading.
    const auto warm = bench::runCheck(library, server);
    if (!warm.ok || warm.count != box.count) {
        std::fprintf(stderr, "pop3_bench: the library could not read the mailbox (%d messages)\n",
                     warm.count);
        return 1;
    }
    double ignored = 0;
    runCurl(box, &ignored);
    bench::runFloor(box.host, box.port, box.user, box.password, box.count);

    std::vector<double> ours, curls, floors;
    for (int round = 1; round <= rounds; ++round) {
        // Each client goes first in turn, so that none always finds the server just warmed up.
        bench::CheckResult check;
        double curlSeconds = 0;
        bool curlOk = false;
        bench::FloorResult floor;
        for (int turn = 0; turn < 3; ++turn) {
            switch ((round + turn) % 3) {
            case 0: check = bench::runCheck(library, server); break;
            case 1: curlOk = runCurl(box, &curlSeconds); break;
            default:
                floor = bench::runFloor(box.host, box.port, box.user, box.password, box.count);
                break;
            }
        }
        if (!check.ok || !curlOk || !floor.ok) {
            std::fprintf(stderr, "pop3_bench: round %d failed (library %d, curl %d, floor %d)\n",
                         round, check.ok, curlOk, floor.ok);
            return 1;
        }
        std::printf("round %d: library %.3f s (%lld message bytes), curl %.3f s, floor %.3f s\n",
                    round, check.seconds, static_cast<long long>(check.bytes), curlSeconds,
                    floor.seconds);
        std::fflush(stdout);
        ours.push_back(check.seconds);
        curls.push_back(curlSeconds);
        floors.push_back(floor.seconds);
    }
    std::printf("RESULT messages=%d\nRESULT rounds=%d\nRESULT library=%.4f\nRESULT curl=%.4f\n"
                "RESULT floor=%.4f\nRESULT peak_kb=%lld\n",
                box.count, rounds, median(ours), median(curls), median(floors),
                statusKilobytes("VmHWM:"));
    return 0;
}

int memory(const Mailbox& box, int checks)
{
    pop3::Pop3Mailbox library;
    const bench::BenchServer server = serverOf(box);
    const long long atStart = statusKilobytes("VmRSS:");
    long long afterTenth = -1;
    long long afterFirstPeak = -1;
    for (int i = 1; i <= checks; ++i) {
        const auto check = bench::runCheck(library, server);
        if (!check.ok) {
            std::fprintf(stderr, "pop3_bench: check %d failed\n", i);
            return 1;
        }
        if (i == 1)
            afterFirstPeak = statusKilobytes("VmHWM:");
        if (i == std::min(10, checks))
            afterTenth = statusKilobytes("VmRSS:");
    }
    std::printf("RESULT checks=%d\nRESULT rss_start_kb=%lld\nRESULT peak_first_kb=%lld\n"
                "RESULT rss_10_kb=%lld\nRESULT rss_end_kb=%lld\nRESULT peak_kb=%lld\n",
                checks, atStart, afterFirstPeak, afterTenth, statusKilobytes("VmRSS:"),
                statusKilobytes("VmHWM:"));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5 || (args[1] != u"speed"_s && args[1] != u"memory"_s)) {
        std::fprintf(stderr, "usage: pop3_bench speed INFO USER_KEY ROUNDS [VIA_PORT]\n"
                             "       pop3_bench memory INFO USER_KEY CHECKS\n");
        return 2;
    }
    qputenv("PELMORA_DOVECOT_INFO", args[2].toUtf8());
    const auto info = tests::DovecotInfo::load();
    if (!info.ready()) {
        std::fprintf(stderr, "pop3_bench: %s\n", qPrintable(info.reason));
        return 1;
    }
    Mailbox box;
    box.port = info[u"PORT"_s].toUShort();
    box.user = info[args[3]].toUtf8();
    box.password = info[u"PASSWORD"_s].toUtf8();
    if (box.user.isEmpty()) {
        std::fprintf(stderr, "pop3_bench: no %s in %s\n", qPrintable(args[3]), qPrintable(args[2]));
        return 1;
    }
    // The number of messages, from a login of our own.
    {
        pop3::Pop3Mailbox probe;
        const auto session =
            probe.open(QString::fromUtf8(box.host + ':' + QByteArray::number(box.port)), nullptr);
        const auto login = session ? session->logIn({QString::fromUtf8(box.user),
                                                     QString::fromUtf8(box.password)})
                                   : platform::MailboxAnswer<int>{-1, {}, {}};
        box.count = login.ok() ? login.value : -1;
        if (box.count <= 0) {
            std::fprintf(stderr, "pop3_bench: cannot log in as %s\n", box.user.constData());
            return 1;
        }
    }
    const int number = std::max(1, args[4].toInt());
    if (args[1] == u"memory"_s)
        return memory(box, number);
    if (args.size() > 5)
        box.port = args[5].toUShort();
    return speed(box, number);
}
