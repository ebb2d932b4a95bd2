// The record of announced messages in its file: what a restart, a crash while writing, a change
// of account and a hand-edited or oversized file leave of it.

#include "mail/AnnouncedMessages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pelmora::mail;
using namespace Qt::StringLiterals;

namespace {

const MailAccount kTaro{u"pop.example.jp"_s, u"taro"_s};
const QList<qsizetype> kNone;

QList<QByteArray> ids(int from, int to)
{
    QList<QByteArray> list;
    for (int n = from; n <= to; ++n)
        list.append("000000" + QByteArray::number(n) + "6b181970");
    return list;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeRaw(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class AnnouncedMessagesTest : public QObject {
    Q_OBJECT
private slots:
    // What was announced survives a restart; ids gone from the server leave the file; a message
    // deleted and another added (the same count) is new.
    void restartKeepsWhatWasAnnounced()
    {
        QTemporaryDir folder;
        const AnnouncedMessages before(folder.path());
        QVERIFY(!before.remembers(kTaro));
        QCOMPARE(before.newMessages(kTaro, ids(1, 3)), (QList<qsizetype>{0, 1, 2}));
        QVERIFY(before.markAnnounced(kTaro, ids(1, 3), ids(1, 3)));

        const AnnouncedMessages after(folder.path());
        QVERIFY(after.remembers(kTaro));
        QCOMPARE(after.newMessages(kTaro, ids(1, 5)), (QList<qsizetype>{3, 4}));
        QList<QByteArray> changed = ids(2, 3) + ids(7, 7);
        QCOMPARE(after.newMessages(kTaro, changed), QList<qsizetype>{2});
        QVERIFY(after.markAnnounced(kTaro, changed, ids(7, 7)));
        QCOMPARE(contents(after.path()), "account pop.example.jp taro\n" + changed.join('\n') + '\n');
        QFileInfo info(after.path());
        QCOMPARE(info.permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser
                                        | QFile::WriteUser),
                 QFile::Permissions());
        QCOMPARE(info.fileName(), u"announced.txt"_s);
    }

    // Turning "only new mail" on takes what is there as announced; forgetting makes it new again.
    void allAnnouncedAndForgotten()
    {
        QTemporaryDir folder;
        const AnnouncedMessages record(folder.path());
        QVERIFY(record.markAllAnnounced(kTaro, ids(1, 5000)));
        QCOMPARE(record.newMessages(kTaro, ids(1, 5001)), QList<qsizetype>{5000});
        QVERIFY(record.forget());
        QVERIFY(!QFile::exists(record.path()));
        QVERIFY(record.forget());
        QCOMPARE(record.newMessages(kTaro, ids(1, 2)), (QList<qsizetype>{0, 1}));
        QVERIFY(record.markAllAnnounced(kTaro, {}));
        QVERIFY(record.remembers(kTaro));
        QCOMPARE(record.newMessages(kTaro, ids(1, 1)), QList<qsizetype>{0});
    }

    // Another server or user ID: what was announced is forgotten, and the next record replaces
    // it. Names with spaces and non-ASCII letters round-trip.
    void accountChangeForgets()
    {
        QTemporaryDir folder;
        const AnnouncedMessages record(folder.path());
        QVERIFY(record.markAllAnnounced(kTaro, ids(1, 3)));
        for (const MailAccount& other : {MailAccount{u"pop.example.jp"_s, u"hanako"_s},
                                         MailAccount{u"pop3s://pop.example.jp"_s, u"taro"_s},
                                         MailAccount{u"pop.example.jp taro"_s, u""_s}}) {
            QVERIFY(!record.remembers(other));
            QCOMPARE(record.newMessages(other, ids(1, 3)), (QList<qsizetype>{0, 1, 2}));
        }
        const MailAccount japanese{u"pop.example.jp"_s, u"山田 太郎\n"_s};
        QVERIFY(record.markAllAnnounced(japanese, ids(1, 1)));
        QCOMPARE(record.newMessages(japanese, ids(1, 2)), QList<qsizetype>{1});
        QVERIFY(!record.remembers(kTaro));
        QCOMPARE(record.newMessages(kTaro, ids(1, 1)), QList<qsizetype>{0});
    }

    // A hand edit gone wrong, an over-long line, a file larger than any record: nothing is
    // remembered (every message is new), and the next record is written whole.
    void brokenFilesReadAsNothing()
    {
        QTemporaryDir folder;
        const AnnouncedMessages record(folder.path());
        const QByteArray good = "account pop.example.jp taro\n" + ids(1, 2).join('\n') + '\n';
        const QByteArray broken[] = {
            good + "not an id\n",
            good + QByteArray(71, 'x') + '\n',
            good + QByteArray(10'000'000, 'x'),
            good + QByteArray("\x00\xff\n", 3),
            QByteArray(AnnouncedMessages::kMaxFileBytes + 1, '\n'),
            "account pop.example.jp taro extra\n" + ids(1, 2).join('\n'),
            QByteArray(),
        };
        for (const QByteArray& bytes : broken) {
            writeRaw(record.path(), bytes);
            QVERIFY(!record.remembers(kTaro));
            QCOMPARE(record.newMessages(kTaro, ids(1, 2)), (QList<qsizetype>{0, 1}));
        }
        // An editor's CR LF line ends are read as well.
        writeRaw(record.path(), QByteArray(good).replace("\n", "\r\n"));
        QCOMPARE(record.newMessages(kTaro, ids(1, 3)), QList<qsizetype>{2});
        writeRaw(record.path(), broken[0]);
        QVERIFY(record.markAnnounced(kTaro, ids(1, 3), ids(3, 3)));
        QCOMPARE(record.newMessages(kTaro, ids(1, 3)), (QList<qsizetype>{0, 1}));
    }

    // A program killed while it writes the record (a crash, a logout, the power going) leaves the
    // old record or the new one, never a torn one; the temporary files it leaves behind are not
    // read.
    void writerKilledAtAnyMomentLeavesOldOrNew()
    {
        QTemporaryDir folder;
        const AnnouncedMessages record(folder.path());
        const QList<QByteArray> first = ids(1, 20'000);
        const QList<QByteArray> second = ids(10'001, 30'000);
        QVERIFY(record.markAllAnnounced(kTaro, first));
        writeRaw(record.path() + u".Xy12Zw"_s, "account pop.example.jp taro\n");
        for (int round = 0; round < 30; ++round) {
            const pid_t writer = ::fork();
            QVERIFY(writer >= 0);
            if (writer == 0) {
                for (int i = 0;; ++i)
                    (void)record.markAllAnnounced(kTaro, i % 2 ? first : second);
            }
            ::usleep(useconds_t(2000 + round * 700));
            ::kill(writer, SIGKILL);
            ::waitpid(writer, nullptr, 0);
            const bool firstWhole = record.newMessages(kTaro, first).isEmpty()
                && record.newMessages(kTaro, second).size() == 10'000;
            const bool secondWhole = record.newMessages(kTaro, second).isEmpty()
                && record.newMessages(kTaro, first).size() == 10'000;
            QVERIFY2(firstWhole || secondWhole, qPrintable(u"round %1"_s.arg(round)));
        }
    }
};

QTEST_GUILESS_MAIN(AnnouncedMessagesTest)
#include "announced_messages_test.moc"
