// The fake mail library answers as the real one does: one short session, run against the real
// library talking to Dovecot and against the fake scripted with the same mailbox (read from
// Dovecot's own mail folder), must give the same answers, texts and message bytes.

#include "pop3/FailureText.h"
#include "pop3/Pop3MailLibrary.h"

#include "tests/fakes/FakePorts.h"
#include "tests/servers/DovecotInfo.h"

#include <QDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using platform::MailBuffer;
using platform::MailLibrary;

namespace {

MailBuffer textBuffer() { return MailBuffer(MailLibrary::kTextBufferCapacity, ' '); }
QString text(const MailBuffer& buffer) { return QString::fromUtf8(buffer.c_str()); }

// Every answer of the session, in order, as text.
QStringList session(MailLibrary& library, const QByteArray& server, const QByteArray& user,
                    const QByteArray& password)
{
    QStringList said;
    const auto lastFailure = [&] {
        MailBuffer buffer = textBuffer();
        std::int32_t capacity = MailLibrary::kTextBufferCapacity;
        const std::int32_t length = library.NMailGetMessage(0, buffer, capacity);
        return u"%1 %2"_s.arg(length).arg(text(buffer));
    };
    MailBuffer subject = textBuffer(), from = textBuffer(), date = textBuffer(),
               header = textBuffer();

    said << u"bad name: %1"_s.arg(library.NMailPop3Connect("pop3://")) << lastFailure();

    std::int32_t handle = library.NMailPop3Connect(server);
    said << u"connect: %1"_s.arg(handle);
    said << u"wrong password: %1"_s.arg(library.NMailPop3Authenticate(handle, user, "wrong", 0))
         << lastFailure();
    said << u"status: %1"_s.arg(library.NMailPop3GetMailStatus(handle, 1, subject, from, date,
                                                               header, 0))
         << lastFailure();
    said << u"close: %1"_s.arg(library.NMailPop3Close(handle));

    handle = library.NMailPop3Connect(server);
    said << u"connect: %1"_s.arg(handle);
    const std::int32_t count = library.NMailPop3Authenticate(handle, user, password, -1);
    said << u"apop: %1"_s.arg(count);
    for (std::int32_t n = 1; n <= count; ++n) {
        said << u"status %1: %2"_s.arg(n).arg(
                    library.NMailPop3GetMailStatus(handle, n, subject, from, date, header, 0))
             << text(subject) << text(from) << text(date) << text(header);
        const std::int32_t size = library.NMailPop3GetMailSize(handle, n);
        MailBuffer body(std::size_t(size) + 1, ' ');
        said << u"size %1: %2"_s.arg(n).arg(size);
        said << u"message %1: %2"_s.arg(n).arg(library.NMailPop3GetMail(
                    handle, n, subject, from, date, header, body, 0, 0))
             << text(body) << text(subject);
    }
    said << u"size %1: %2"_s.arg(count + 1).arg(library.NMailPop3GetMailSize(handle, count + 1))
         << lastFailure();
    said << u"close: %1"_s.arg(library.NMailPop3Close(handle));
    said << u"close again: %1"_s.arg(library.NMailPop3Close(handle)) << lastFailure();
    return said;
}

// The messages of a Maildir as the server sends them (CRLF line ends), in the server's order.
QList<fakes::FakeMailLibrary::Message> mailbox(const QString& maildir)
{
    QMap<QString, QString> files; // by the name the message was delivered under
    for (const char* sub : {"new", "cur"}) {
        const QDir dir(maildir + u'/' + QString::fromLatin1(sub));
        for (const QString& name : dir.entryList(QDir::Files))
            files.insert(name.section(u':', 0, 0), dir.filePath(name));
    }
    QList<fakes::FakeMailLibrary::Message> messages;
    for (const QString& path : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            messages.append({file.readAll().replace("\n", "\r\n"), std::nullopt});
    }
    return messages;
}

} // namespace

class MailLibraryContractTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fakeAnswersLikeTheRealLibrary()
    {
        const auto info = tests::DovecotInfo::load();
        PELMORA_REQUIRE_DOVECOT(info);
        qputenv("SSL_CERT_FILE", info[u"CA_CERT"_s].toUtf8());
        const QByteArray user = info[u"THREE_USER"_s].toUtf8();
        const QByteArray password = info[u"PASSWORD"_s].toUtf8();

        pop3::Pop3MailLibrary real(
            pop3::Timeouts{std::chrono::seconds(5), std::chrono::seconds(10)});
        const QStringList fromDovecot =
            session(real, "127.0.0.1:" + info[u"PORT"_s].toUtf8(), user, password);

        fakes::CallLog log;
        fakes::FakeMailLibrary fake(log);
        fake.host = u"127.0.0.1"_s;
        fake.userId = user;
        fake.password = password;
        fake.mailbox = mailbox(info[u"BASE"_s] + u"/home/"_s + QString::fromUtf8(user) +
                               u"/Maildir"_s);
        QCOMPARE(fake.mailbox.size(), 3);
        const QStringList fromFake = session(fake, "127.0.0.1", user, password);

        QCOMPARE(fromFake, fromDovecot);
        // And the session said what it should (the real library's own tests hold the details).
        QVERIFY(fromDovecot.contains(u"apop: 3"_s));
        QVERIFY(fromDovecot.contains(
            u"%1 %2"_s.arg(pop3::failure::notLoggedIn().toUtf8().size())
                .arg(pop3::failure::notLoggedIn())));
    }
};

QTEST_GUILESS_MAIN(MailLibraryContractTest)
#include "mail_library_contract_test.moc"
