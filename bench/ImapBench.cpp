// The IMAP figure of scripts/bench, against the private Dovecot of tests/servers/dovecot-fixture
// (started with --bench --plain; dovecot-imapd serves IMAP beside POP3) whose information file is
// INFO:
//
//   imap_bench INFO USER_KEY ROUNDS [VIA_PORT]
//       One warm-up check, then ROUNDS checks of imap://127.0.0.1:IMAP_PORT as the program makes
//       them (runCheck: log in, count the unseen messages, read their headers, close), or
//       through 127.0.0.1:VIA_PORT (the delay proxy, which counts the round trips after the
//       login and times them).
//
// USER_KEY names the mailbox in INFO (IMAPBENCH_USER: an INBOX of 10,000 small messages, 10 of
// them unseen). Results go to stdout as "RESULT key=value" lines for scripts/bench: the unseen
// messages the check counted, the rounds, and the median seconds of a whole check, from the
// connect to the end of the close.

#include "bench/BenchCheck.h"
#include "imap/ImapMailbox.h"
#include "tests/servers/DovecotInfo.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pelmora;
using namespace Qt::StringLiterals;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: imap_bench INFO USER_KEY ROUNDS [VIA_PORT]\n");
        return 2;
    }
    qputenv("PELMORA_DOVECOT_INFO", args[1].toUtf8());
    const auto info = tests::DovecotInfo::load();
    if (!info.ready() || info[u"IMAP_PORT"_s].isEmpty() || info[args[2]].isEmpty()) {
        std::fprintf(stderr, "imap_bench: no IMAP or no %s in %s (%s)\n", qPrintable(args[2]),
                     qPrintable(args[1]), qPrintable(info.reason));
        return 1;
    }
    const QString port = args.size() > 4 ? args[4] : info[u"IMAP_PORT"_s];
    const bench::BenchServer server{"imap://127.0.0.1:" + port.toUtf8(), info[args[2]].toUtf8(),
                                    info[u"PASSWORD"_s].toUtf8(), false};
    imap::ImapMailbox mailbox;
    // Dovecot builds its index and the page cache fills on the first reading.
    const auto warmUp = bench::runCheck(mailbox, server);
    if (!warmUp.ok) {
        std::fprintf(stderr, "imap_bench: the check could not read %s\n", server.address.constData());
        return 1;
    }
    const int rounds = std::max(1, args[3].toInt());
    std::vector<double> times;
    for (int round = 1; round <= rounds; ++round) {
        const auto check = bench::runCheck(mailbox, server);
        if (!check.ok || check.count != warmUp.count) {
            std::fprintf(stderr, "imap_bench: round %d failed\n", round);
            return 1;
        }
        times.push_back(check.seconds);
        std::printf("round %d: %.4f s\n", round, check.seconds);
        std::fflush(stdout);
    }
    std::printf("RESULT unseen=%d\nRESULT rounds=%d\nRESULT check=%.4f\n", warmUp.count, rounds,
                bench::median(times));
    return 0;
}
