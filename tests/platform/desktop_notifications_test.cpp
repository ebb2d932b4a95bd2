// Desktop notifications through the freedesktop Notifications service: the real adapter against
// python3-dbusmock's notification daemon on a private D-Bus, which records every Notify call as
// the desktop received it and sends ActionInvoked as the desktop does when the user clicks.

#include "platform/adapters/dbus/FreedesktopNotifications.h"

#include "tests/servers/DbusMock.h"

#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::platform::DesktopNotifications;
using pelmora::platform::FreedesktopNotifications;
using pelmora::tests::DbusMock;
using pelmora::tests::PrivateBus;

namespace {

using Desktop = pelmora::tests::NotificationDesktop;
using pelmora::tests::shown;
using pelmora::tests::click;
using pelmora::tests::Shown;

} // namespace

class DesktopNotificationsTest : public QObject {
    Q_OBJECT
private slots:
    // A desktop that reads markup in bodies gets the subject's markup escaped, so it shows as
    // written; texts are bounded; a click on the notification runs the handler, a click on
    // another program's notification does not.
    void markupIsShownAsWrittenAndClicksArrive()
    {
        Desktop desktop;
        PELMORA_REQUIRE_PEER(desktop.start());
        FreedesktopNotifications notifications(desktop.bus.address);
        int clicks = 0;
        QStringList lines{u"山田太郎: <b>会議</b> & 資料"_s, u"line\nbreak\r\nand\ttab"_s,
                          u"あ"_s.repeated(300)};
        for (int n = 4; n <= 7; ++n)
            lines.append(u"message %1"_s.arg(n));
        notifications.notify(u"新着メール 7 通"_s.repeated(30), lines, [&] { ++clicks; });
        QTRY_COMPARE(shown(*desktop.daemon).size(), 1);
        const Shown first = shown(*desktop.daemon).front();
        QCOMPARE(first.app, u"ペルモラ"_s);
        QCOMPARE(first.summary.size(), DesktopNotifications::kMaxTitleChars);
        QVERIFY(first.summary.startsWith(u"新着メール 7 通新着メール"_s));
        QVERIFY(first.summary.endsWith(u'…'));
        QCOMPARE(first.body, u"山田太郎: &lt;b&gt;会議&lt;/b&gt; &amp; 資料\nline break  and tab\n"_s
                                 + u"あ"_s.repeated(DesktopNotifications::kMaxLineChars - 1)
                                 + u"…\nmessage 4\nmessage 5"_s);
        QCOMPARE(first.actions, (QStringList{u"default"_s, u"開く"_s}));

        click(*desktop.daemon, 99); // someone else's
        click(*desktop.daemon, 1);
        QTRY_COMPARE(clicks, 1);
        QTest::qWait(100);
        QCOMPARE(clicks, 1);

        // The next one takes the first one's place.
        notifications.notify(u"新着メール 1 通"_s, {u"鈴木花子: 再送"_s}, [&] { clicks += 10; });
        QTRY_COMPARE(shown(*desktop.daemon).size(), 2);
        QCOMPARE(shown(*desktop.daemon).back().replaces, 1u);
        click(*desktop.daemon, 1);
        QTRY_COMPARE(clicks, 11);
    }

    // A desktop that shows bodies as plain text gets them as they are; without a handler the
    // notification offers no click.
    void plainDesktopGetsTextAsItIs()
    {
        Desktop desktop;
        PELMORA_REQUIRE_PEER(desktop.start(u"body actions"_s));
        FreedesktopNotifications notifications(desktop.bus.address);
        notifications.notify(u"<i>2</i> 通"_s, {u"<b>会議</b> & 資料"_s, u"x"_s}, {});
        QTRY_COMPARE(shown(*desktop.daemon).size(), 1);
        const Shown first = shown(*desktop.daemon).front();
        QCOMPARE(first.summary, u"<i>2</i> 通"_s);
        QCOMPARE(first.body, u"<b>会議</b> & 資料\nx"_s);
        QVERIFY(first.actions.isEmpty());
    }

    // Where no notification service answers, nothing happens and nothing waits.
    void noServiceShowsNothing()
    {
        PrivateBus bus;
        PELMORA_REQUIRE_PEER(bus.start());
        FreedesktopNotifications notifications(bus.address);
        bool clicked = false;
        notifications.notify(u"t"_s, {u"l"_s}, [&] { clicked = true; });
        QTest::qWait(200);
        QVERIFY(!clicked);
    }
};

QTEST_GUILESS_MAIN(DesktopNotificationsTest)
#include "desktop_notifications_test.moc"
