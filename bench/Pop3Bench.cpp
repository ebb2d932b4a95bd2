// The POP3 figures of scripts/bench, against the private Dovecot of tests/servers/dovecot-fixture
// (started with --bench --plain) whose information file is INFO:
//
//   pop3_bench speed INFO USER_KEY ROUNDS [curl] [VIA_PORT]
//       One warm-up round, then ROUNDS rounds of, side by side: the check's calls through the
//       library (runCheck), the server's floor (STAT and every TOP n 0 written at once),
//       and with "curl" curl reading the same headers over one connection. VIA_PORT: connect
//       through 127.0.0.1:VIA_PORT (the delay proxy) instead of straight to Dovecot.
//   pop3_bench bytes INFO USER_KEY VIA_PORT
//       One check, then one floor, both through 127.0.0.1:VIA_PORT (the proxy with no delay,
//       which counts the bytes of each connection): the floor's count of the headers and of all
//       it read, and the header bytes the check was handed.
//   pop3_bench memory INFO USER_KEY CHECKS
//       CHECKS checks in a row in this process: resident memory after the 10th and the last, and
//       the peak.
//
// USER_KEY names the mailbox in INFO (BENCH_USER: 1000 x 51,200 bytes; SMALL_USER: 100 small
// messages; LARGE_USER: 10,000 small messages). Results go to stdout as "RESULT key=value" lines
// for scripts/bench.

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
#include <functional>
#include <vector>

using namespace pelmora;
using namespace Qt::StringLiterals;

namespace {

using bench::median;

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

// curl reading every header with "TOP n 0", one request after another over one connection (it
// has no command for a header, hence one custom request per message, from a config file).
bool runCurl(const Mailbox& box, double* seconds)
{
    QByteArray config;
    for (int n = 1; n <= box.count; ++n) {
        if (n > 1)
            config += "next\n";
        config += "user = \"" + box.user + ':' + box.password
            + "\"\nurl = \"pop3://" + box.host + ':' + QByteArray::number(box.port)
            + "/\"\nrequest = \"TOP " + QByteArray::number(n) + " 0\"\n";
    }
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    curl.start(u"curl"_s, {u"-s"_s, u"-K"_s, u"-"_s});
    curl.write(config);
    curl.closeWriteChannel();
    const bool ok = curl.waitForFinished(300'000) && curl.exitStatus() == QProcess::NormalExit
        && curl.exitCode() == 0;
    *seconds = double(clock.nsecsElapsed()) / 1e9;
    return ok;
}

bench::BenchServer serverOf(const Mailbox& box)
{
    return {box.host + ':' + QByteArray::number(box.port), box.user, box.password, false};
}

// One client of a speed round: its name, how it reads the mailbox once, and its times.
struct Client {
    const char* name;
    std::function<bool(double*)> run; // answers whether it read everything; sets the seconds
    std::vector<double> times;
};

int speed(const Mailbox& box, int rounds, bool withCurl)
{
    pop3::Pop3Mailbox library;
    const bench::BenchServer server = serverOf(box);
    std::vector<Client> clients;
    clients.push_back({"library", [&](double* seconds) {
                           const auto check = bench::runCheck(library, server);
                           *seconds = check.seconds;
                           return check.ok && check.count == box.count;
                       }, {}});
    if (withCurl)
        clients.push_back({"curl", [&](double* seconds) { return runCurl(box, seconds); }, {}});
    clients.push_back({"floor", [&](double* seconds) {
                           const auto floor = bench::runFloor(box.host, box.port, box.user,
                                                              box.password, box.count);
                           *seconds = floor.seconds;
                           return floor.ok;
                       }, {}});
    // Dovecot builds its index and the page cache fills on the first reading.
    for (Client& client : clients) {
        double ignored = 0;
        if (!client.run(&ignored)) {
            std::fprintf(stderr, "pop3_bench: %s could not read the mailbox\n", client.name);
            return 1;
        }
    }
    const std::size_t n = clients.size();
    for (int round = 1; round <= rounds; ++round) {
        // Each client goes first in turn, so that none always finds the server just warmed up.
        for (std::size_t turn = 0; turn < n; ++turn) {
            Client& client = clients[(std::size_t(round) + turn) % n];
            double seconds = 0;
            if (!client.run(&seconds)) {
                std::fprintf(stderr, "pop3_bench: round %d: %s failed\n", round, client.name);
                return 1;
            }
            client.times.push_back(seconds);
        }
        std::printf("round %d:", round);
        for (const Client& client : clients)
            std::printf(" %s %.3f s", client.name, client.times.back());
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("RESULT messages=%d\nRESULT rounds=%d\n", box.count, rounds);
    for (const Client& client : clients)
        std::printf("RESULT %s=%.4f\n", client.name, median(client.times));
    std::printf("RESULT peak_kb=%lld\n", statusKilobytes("VmHWM:"));
    return 0;
}

int bytes(const Mailbox& box)
{
    pop3::Pop3Mailbox library;
    const auto check = bench::runCheck(library, serverOf(box));
    const auto floor = bench::runFloor(box.host, box.port, box.user, box.password, box.count);
    if (!check.ok || !floor.ok) {
        std::fprintf(stderr, "pop3_bench: library %d, floor %d\n", check.ok, floor.ok);
        return 1;
    }
    std::printf("RESULT messages=%d\nRESULT header_bytes=%lld\nRESULT floor_bytes=%lld\n"
                "RESULT check_header_bytes=%lld\n",
                box.count, static_cast<long long>(floor.headerBytes),
                static_cast<long long>(floor.bytes), static_cast<long long>(check.bytes));
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
    if (args.size() < 5
        || (args[1] != u"speed"_s && args[1] != u"bytes"_s && args[1] != u"memory"_s)) {
        std::fprintf(stderr, "usage: pop3_bench speed INFO USER_KEY ROUNDS [curl] [VIA_PORT]\n"
                             "       pop3_bench bytes INFO USER_KEY VIA_PORT\n"
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
    if (args[1] == u"bytes"_s) {
        box.port = args[4].toUShort();
        return bytes(box);
    }
    const bool withCurl = args.size() > 5 && args[5] == u"curl"_s;
    if (args.size() > (withCurl ? 6 : 5))
        box.port = args.back().toUShort();
    return speed(box, number, withCurl);
}
