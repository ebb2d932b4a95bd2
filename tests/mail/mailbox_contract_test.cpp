// The fake mailbox answers as the real one does: one short conversation, run against the real
// POP3 mailbox talking to Dovecot and against the fake scripted with the same mailbox (read from
// Dovecot's own mail folder), must give the same answers, texts and header bytes.

#include "pop3/FailureText.h"
#include "pop3/Pop3Mailbox.h"

#include "tests/fakes/FakePorts.h"
#include "tests/servers/DovecotInfo.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using namespace pelmora::platform;

namespace {

QString said(const MailboxAnswer<int>& answer)
{
    return answer.ok() ? QString::number(answer.value)
                       : u"failed %1: %2"_s.arg(int(answer.failure)).arg(answer.text);
}
QString said(const MailboxAnswer<QList<QByteArray>>& answer)
{
    return answer.ok() ? QString::fromLatin1(answer.value.join(' '))
                       : u"failed %1: %2"_s.arg(int(answer.failure)).arg(answer.text);
}
QString said(const MailboxAnswer<MailHeader>& answer)
{
    if (!answer.ok())
        return u"failed %1: %2"_s.arg(int(answer.failure)).arg(answer.text);
    return QStringList{answer.value.subject, answer.value.from, answer.value.date,
                       QString::fromUtf8(answer.value.raw), answer.value.sender}
        .join(u" | "_s);
}

// What a mailbox says through one check-like conversation, as text lines to compare.
QStringList session(Mailbox& mailbox, const QString& server, const QString& user,
                    const QString& password)
{
    QStringList lines;
    QString failure;
    lines << u"bad name: %1 %2"_s.arg(mailbox.open(u"pop3://"_s, &failure) != nullptr).arg(failure);

    auto session = mailbox.open(server, &failure);
    lines << u"open: %1"_s.arg(session != nullptr);
    if (!session)
        return lines << failure;
    lines << u"wrong password: "_s + said(session->logIn({user, u"wrong"_s}));
    lines << u"header: "_s + said(session->header(1));
    lines << u"ids: "_s + said(session->messageIds());
    session->close();

    session = mailbox.open(server, &failure);
    const auto count = session->logIn({user, password, LoginMethod::Apop});
    lines << u"apop: "_s + said(count);
    lines << u"ids: "_s + said(session->messageIds());
    for (int n = 1; n <= count.value; ++n)
        lines << u"header %1: "_s.arg(n) + said(session->header(n));
    lines << u"header %1: "_s.arg(count.value + 1) + said(session->header(count.value + 1));
    session->close();
    lines << u"after close: "_s + said(session->header(1));
    lines << u"ids after close: "_s + said(session->messageIds());
    return lines;
}

// The messages of a Maildir as the server sends them (CRLF line ends), in the server's order.
QList<fakes::FakeMailbox::Message> mailbox(const QString& maildir)
{
    QMap<QString, QString> files; // by the name the message was delivered under
    for (const char* sub : {"new", "cur"}) {
        const QDir dir(maildir + u'/' + QString::fromLatin1(sub));
        for (const QString& name : dir.entryList(QDir::Files))
            files.insert(name.section(u':', 0, 0), dir.filePath(name));
    }
    QList<fakes::FakeMailbox::Message> messages;
    const QList<QByteArray> ids = tests::dovecotUidls(maildir);
    for (const QString& path : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            messages.append({file.readAll().replace("\n", "\r\n"), ids.value(messages.size())});
    }
    return messages;
}

} // namespace

class MailboxContractTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fakeAnswersLikeTheRealLibrary()
    {
        const auto info = tests::DovecotInfo::load();
        PELMORA_REQUIRE_DOVECOT(info);
        qputenv("SSL_CERT_FILE", info[u"CA_CERT"_s].toUtf8());
        const QString user = info[u"THREE_USER"_s];
        const QString password = info[u"PASSWORD"_s];

        pop3::Pop3Mailbox real(
            pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)});
        const QStringList fromDovecot =
            session(real, u"127.0.0.1:"_s + info[u"PORT"_s], user, password);

        fakes::CallLog log;
        fakes::FakeMailbox fake(log);
        fake.host = u"127.0.0.1"_s;
        fake.userId = user;
        fake.password = password;
        fake.mailbox = mailbox(info[u"BASE"_s] + u"/home/"_s + user + u"/Maildir"_s);
        QCOMPARE(fake.mailbox.size(), 3);
        const QStringList fromFake = session(fake, u"127.0.0.1"_s, user, password);

        QCOMPARE(fromFake, fromDovecot);
        // And the session said what it should (the real library's own tests hold the details).
        QVERIFY(fromDovecot.contains(u"apop: 3"_s));
        QVERIFY(!fake.mailbox[0].id.isEmpty());
        QVERIFY(fromDovecot.contains(u"ids: "_s + QString::fromLatin1(fake.mailbox[0].id) + u' '
                                     + QString::fromLatin1(fake.mailbox[1].id) + u' '
                                     + QString::fromLatin1(fake.mailbox[2].id)));
        QVERIFY(fromDovecot.contains(u"header: failed %1: %2"_s.arg(int(MailboxFailure::MessageFailed))
                                         .arg(pop3::failure::notLoggedIn())));
    }
};

QTEST_GUILESS_MAIN(MailboxContractTest)
#include "mailbox_contract_test.moc"
