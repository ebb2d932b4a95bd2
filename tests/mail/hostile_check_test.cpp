// The whole check against servers that lie or attack: the real main window and dialogs
// (offscreen), the real POP3 library, a scripted server on 127.0.0.1. What counts is what the user
// sees (the error box, the notice board) and that the program keeps answering, a request to end
// it (SIGTERM) included.

#include "app/Application.h"

#include "alert/forms/NoticeBoard.h"
#include "settings/forms/AccountDialog.h"
#include "settings/forms/ServerDialog.h"
#include "settings/forms/PreferencesDialog.h"
#include "signin/forms/SignInWindow.h"

#include "platform/adapters/widgets/QtDialogs.h"
#include "platform/adapters/system/TerminationSignals.h"
#include "mail/MailCheck.h"
#include "pop3/FailureText.h"
#include "pop3/Pop3Mailbox.h"

#include "tests/fakes/FakePlatform.h"
#include "tests/mail/CheckingProgram.h"
#include "tests/servers/ScriptedPop3Server.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace pelmora;
using fakes::FakePlatform;
using tests::ScriptedServer;

namespace {

const QByteArray kHostileRefusal =
    "-ERR <b>expired</b> <a href='http://phish.invalid/renew'>renew your password here</a> "
    "<img src='file:///usr/share/pixmaps/debian-logo.png'>";

// The program with the server and an account saved. Replies time out only after ten minutes, so
// a check that ends early did not end by a timeout.
struct Program : tests::CheckingProgram {
    explicit Program(const QByteArray& server, platform::MessageBox* messageBox = nullptr,
                     std::chrono::milliseconds whole = std::chrono::minutes(30))
        : CheckingProgram("POP3=" + server + "\r\nAPOP=0\r\n", FakePlatform::kStoredAccountFile,
                          pop3::Timeouts{std::chrono::seconds(5), std::chrono::minutes(10), 1024,
                                         whole},
                          FakePlatform::Replacements().withIfGiven(messageBox))
    {
    }
    QString boardCount() { return app.forms().get<alert::NoticeBoard>().count(); }
};

// A server that claims the largest count there is, then answers no message request: it closes
// the connection at the first one, or stays silent. At that moment the program is asked to end.
ScriptedServer::Handler lyingCount(bool closeAtFirstRequest)
{
    return [closeAtFirstRequest](QTcpSocket& socket, const QByteArray& command) {
        if (command == "STAT") {
            socket.write("+OK 2147483647 0\r\n");
            return true;
        }
        if (command.startsWith("TOP") || command.startsWith("LIST") || command.startsWith("RETR")) {
            ::kill(::getpid(), SIGTERM);
            if (closeAtFirstRequest)
                socket.disconnectFromHost();
            return true;
        }
        return false;
    };
}

// A server of two messages without TOP: its CAPA leaves TOP out, or it has no CAPA and refuses TOP.
ScriptedServer::Handler withoutTop(bool listsCapabilities)
{
    return [listsCapabilities](QTcpSocket& socket, const QByteArray& command) {
        if (command == "CAPA" && listsCapabilities)
            socket.write("+OK\r\nUSER\r\nUIDL\r\n.\r\n");
        else if (command == "STAT")
            socket.write("+OK 2 200\r\n");
        else if (command.startsWith("LIST "))
            socket.write("+OK " + command.sliced(5) + " 100\r\n");
        else if (command.startsWith("TOP"))
            socket.write("-ERR no such command\r\n");
        else
            return false;
        return true;
    };
}

QList<QByteArray> commandsStartingWith(const ScriptedServer& server, const QByteArray& verb)
{
    QList<QByteArray> found;
    for (const QByteArray& command : server.commands()) {
        if (command.toUpper().startsWith(verb))
            found << command;
    }
    return found;
}

int messageRequests(const ScriptedServer& server)
{
    int n = 0;
    for (const QByteArray& command : server.commands())
        n += command.startsWith("TOP") || command.startsWith("LIST") || command.startsWith("RETR");
    return n;
}

} // namespace

class HostileCheckTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void refusalWithMarkupIsShownAsPlainText();
    void everyLabelShowsPlainText();
    void lyingCountEndsWhenTheServerCloses();
    void endRequestDuringAWaitEndsTheCheck();
    void checkThatWouldNeverEndIsBounded();
    void withoutTopTheCheckCountsAndTakesNothing_data();
    void withoutTopTheCheckCountsAndTakesNothing();
};

// The server's text reaches the genuine error box as it was sent: tags shown, nothing to click.
void HostileCheckTest::refusalWithMarkupIsShownAsPlainText()
{
    ScriptedServer server("+OK ready\r\n", [](QTcpSocket& socket, const QByteArray& command) {
        if (!command.startsWith("PASS"))
            return false;
        socket.write(kHostileRefusal + "\r\n");
        return true;
    });
    platform::QtMessageBox realBox;
    Program program(server.address(), &realBox);

    QString shown;
    Qt::TextFormat format = Qt::RichText;
    Qt::TextInteractionFlags interaction = Qt::LinksAccessibleByMouse;
    QString title;
    auto* answer = new QTimer(this);
    connect(answer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        answer->stop();
        title = box->windowTitle();
        if (auto* label = box->findChild<QLabel*>(u"qt_msgbox_label"_s)) {
            shown = label->text();
            format = label->textFormat();
            interaction = label->textInteractionFlags();
        }
        box->accept();
    });
    answer->start(20);
    program.app.mainWindow().checkNow();
    delete answer;

    QCOMPARE(title, u"エラー"_s);
    QVERIFY2(shown.contains(QString::fromLatin1(kHostileRefusal)), qPrintable(shown));
    QCOMPARE(format, Qt::PlainText);
    QVERIFY(!(interaction & (Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard)));
}

// Labels show file names and settings: none of them may read its text as a page.
void HostileCheckTest::everyLabelShowsPlainText()
{
    FakePlatform fake;
    fake.storeServerAndAccount();
    FakePlatform::writeFile(fake.mainProfile(), "[EXEINI]\r\nNAME=/opt/<b>x</b>/<a href='y'>z</a>\r\n");
    app::Application app(fake.services());
    app.start();
    QList<QWidget*> windows{&app.mainWindow(), &app.forms().get<settings::PreferencesDialog>(),
                            &app.forms().get<settings::AccountDialog>(),
                            &app.forms().get<settings::ServerDialog>(),
                            &app.forms().get<alert::NoticeBoard>(),
                            &app.forms().get<signin::SignInWindow>()};
    int labels = 0;
    for (QWidget* window : windows) {
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue; // pictures
            ++labels;
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
        }
    }
    QVERIFY(labels > 5);
}

// Once the connection is gone the check asks no more and ends as any check does; the board shows
// the count the server claimed; the request to end the program is acted on.
void HostileCheckTest::lyingCountEndsWhenTheServerCloses()
{
    ScriptedServer server("+OK ready\r\n", lyingCount(true));
    Program program(server.address());
    platform::TerminationSignals termination([&] { program.app.mainWindow().quit(); });
    QVERIFY(termination.isActive());

    program.app.mainWindow().checkNow();
    QCOMPARE(messageRequests(server), 1);
    QCOMPARE(program.boardCount(), u"2147483647"_s);
    QCOMPARE(program.alertsStarted, 1);
    QTRY_VERIFY(program.fake.processExit.ended);
    QVERIFY(FakePlatform::readFile(program.fake.mainProfile()).contains("NUMBER3=0"));
}

// A server that stays silent keeps the check waiting, but the program still answers: the request
// to end it arrives mid-check, shut-down saves and closes the connection, and the check ends.
void HostileCheckTest::endRequestDuringAWaitEndsTheCheck()
{
    ScriptedServer server("+OK ready\r\n", lyingCount(false));
    Program program(server.address());
    platform::TerminationSignals termination([&] { program.app.mainWindow().quit(); });
    QVERIFY(termination.isActive());

    program.app.mainWindow().checkNow();
    QVERIFY(program.fake.processExit.ended);
    QVERIFY(FakePlatform::readFile(program.fake.mainProfile()).contains("NUMBER3=0"));
    QCOMPARE(messageRequests(server), 1);
}

// Two servers that would keep one check going for days: one claims two billion messages and
// answers every header at once, one feeds a header a byte at a time for ever. The first check
// ends after the messages no real mailbox has; the second once it has taken longer than any real
// check, with an "エラー" box that says so. Both boards show the claimed count, and the program
// answers throughout.
void HostileCheckTest::checkThatWouldNeverEndIsBounded()
{
    ScriptedServer endless("+OK ready\r\n", [](QTcpSocket& socket, const QByteArray& command) {
        if (command == "CAPA")
            socket.write("+OK\r\nPIPELINING\r\nTOP\r\n.\r\n");
        else if (command == "STAT")
            socket.write("+OK 2147483647 0\r\n");
        else if (command.startsWith("TOP"))
            socket.write("+OK\r\nSubject: again\r\n\r\n.\r\n");
        else
            return false;
        return true;
    });
    Program program(endless.address());
    program.app.mainWindow().checkNow();
    QCOMPARE(program.boardCount(), u"2147483647"_s);
    QVERIFY(messageRequests(endless) >= mail::MailCheck::kMaxMessagesRead);
    QVERIFY(messageRequests(endless) < 2 * mail::MailCheck::kMaxMessagesRead);
    QVERIFY(program.fake.log.withPrefix(u"MsgBox"_s).isEmpty());

    ScriptedServer feeding("+OK ready\r\n", [](QTcpSocket& socket, const QByteArray& command) {
        if (command == "STAT") {
            socket.write("+OK 3 300\r\n");
        } else if (command.startsWith("TOP")) {
            socket.write("+OK\r\nX-Slow: ");
            auto* timer = new QTimer(&socket);
            connect(timer, &QTimer::timeout, &socket, [&socket] { socket.write("x"); });
            timer->start(10);
        } else {
            return false;
        }
        return true;
    });
    const auto whole = std::chrono::milliseconds(1500);
    Program slow(feeding.address(), nullptr, whole);
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(20);
    slow.app.mainWindow().checkNow();
    QCOMPARE(slow.fake.log.withPrefix(u"MsgBox"_s),
             QStringList{u"MsgBox(%1, 0, エラー)"_s.arg(pop3::failure::checkTookTooLong(whole))});
    QCOMPARE(slow.boardCount(), u"3"_s);
    QCOMPARE(slow.alertsStarted, 1);
    QVERIFY(ticks > 20); // the window kept answering while the check waited
}

void HostileCheckTest::withoutTopTheCheckCountsAndTakesNothing_data()
{
    QTest::addColumn<bool>("listsCapabilities");
    QTest::newRow("CAPA without TOP") << true;
    QTest::newRow("TOP refused") << false;
}

// A server without TOP still gets its mail announced, and keeps every message as it was: the
// check neither retrieves (which marks a message read) nor deletes one, nor asks for TOP where
// CAPA said there is none.
void HostileCheckTest::withoutTopTheCheckCountsAndTakesNothing()
{
    QFETCH(bool, listsCapabilities);
    ScriptedServer server("+OK ready\r\n", withoutTop(listsCapabilities));
    Program program(server.address());

    program.checkFromTheMenu();
    QVERIFY(program.board());
    QCOMPARE(program.board()->count(), u"2"_s);
    QCOMPARE(program.alertsStarted, 1);
    QVERIFY(program.fake.log.withPrefix(u"MsgBox"_s).isEmpty());
    QCOMPARE(commandsStartingWith(server, "RETR"), QList<QByteArray>());
    QCOMPARE(commandsStartingWith(server, "DELE"), QList<QByteArray>());
    if (listsCapabilities)
        QCOMPARE(commandsStartingWith(server, "TOP"), QList<QByteArray>());
    QVERIFY(server.commands().contains("QUIT"));
}

QTEST_MAIN(HostileCheckTest)
#include "hostile_check_test.moc"
