// The alert's parts the user sees on the running program: the command strings of the alert, the
// notice board, the status lamp and the scrolling name of the mail program.

#include "tests/alert/AlertProgram.h"

#include "alert/MailProgramChoice.h"
#include "alert/forms/NoticeBoard.h"
#include "settings/forms/PreferencesDialog.h"

#include "platform/forms/Twips.h"
#include "platform/adapters/widgets/QtWindowPositioner.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>

using namespace Qt::StringLiterals;
using pelmora::alert::MailProgramChoice;
using pelmora::alert::NoticeBoard;
using pelmora::platform::VbTimer;
using pelmora::tests::AlertProgram;

namespace {
// Which lamp the picture is: "G", "R", or "?" for anything else.
QString lampOf(const AlertProgram& program, const QPixmap& picture)
{
    const QImage shown = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    for (const auto& [name, file] : {std::pair{u"G"_s, u"画像データ/Green.gif"_s},
                                     std::pair{u"R"_s, u"画像データ/Red.gif"_s}})
        if (shown == QImage(program.asset(file)).convertToFormat(QImage::Format_ARGB32))
            return name;
    return u"?"_s;
}

// Records the lamp as it is painted, each change once: "GRGR…".
struct LampWatch : QObject {
    explicit LampWatch(AlertProgram& p) : program(p) { program.image1().installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const QString lamp = lampOf(program, program.image1().pixmap());
            if (!painted.endsWith(lamp))
                painted += lamp;
        }
        return false;
    }
    QString now() const { return lampOf(program, program.image1().pixmap()); }
    AlertProgram& program;
    QString painted;
};

void setInterval(AlertProgram& program, const QString& minutes)
{
    program.app.forms().get<pelmora::settings::PreferencesDialog>().setIntervalText(minutes);
}

} // namespace

class AlertTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void oneBoardUpdatedInPlaceUntilTheUserClosesIt();
    void lampBlinksWhileIntervalCheckingIsOn();
    void lampTicksByHand();
    void lampStaysRedWhileTheWatchIsDown();
    void captionNamesTheChosenProgramAndKeepsMoving();
    void captionRunsRightToLeftAndStartsOverWhereItBegan();
};

void AlertTest::oneBoardUpdatedInPlaceUntilTheUserClosesIt()
{
    AlertProgram program;
    QVERIFY(program.start());
    pelmora::platform::QtWindowPositioner positioner;
    program.fake.windowPositioner.passTo = &positioner;
    auto& forms = program.app.forms();
    const auto boardsOnScreen = [] {
        int count = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            count += w->objectName() == u"MsgForm"_s && w->isVisible();
        return count;
    };

    // New mail: the board appears at once, on top.
    NoticeBoard& board = forms.get<NoticeBoard>();
    board.setCount(u"3"_s);
    QVERIFY(board.isVisible());
    QVERIFY(board.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(board.windowTitle(), u"新着お知らせボード"_s);

    // More new mail while it is open: the same board shows the new count.
    forms.get<NoticeBoard>().setCount(u"5"_s);
    QCOMPARE(board.findChild<QLineEdit*>(u"Text2"_s)->text(), u"5"_s);
    QCOMPARE(boardsOnScreen(), 1);
    QCOMPARE(program.fake.log.withPrefix(u"SetWindowPos(MsgForm"_s).size(), 1);

    // The user closes it; the next new mail brings a fresh board, on top again.
    board.close();
    QTRY_COMPARE(boardsOnScreen(), 0);
    NoticeBoard& fresh = forms.get<NoticeBoard>();
    QVERIFY(fresh.isVisible());
    QCOMPARE(fresh.message(), u"新着メールがあります。"_s);
    QCOMPARE(program.fake.log.withPrefix(u"SetWindowPos(MsgForm"_s).size(), 2);
    QTest::keyClick(&fresh, Qt::Key_Escape); // Esc closes it too
    QTRY_COMPARE(boardsOnScreen(), 0);
    QVERIFY(!program.fake.processExit.ended);
}

void AlertTest::lampBlinksWhileIntervalCheckingIsOn()
{
    AlertProgram program;
    QVERIFY(program.start());
    LampWatch lamp(program);
    setInterval(program, u"3"_s);
    QTRY_VERIFY_WITH_TIMEOUT(lamp.painted.contains(u"RGR"_s), 20000);

    // Switched off: green soon, and it stays green tick after tick.
    setInterval(program, u"0"_s);
    QTRY_VERIFY_WITH_TIMEOUT(lamp.painted.endsWith(u"G"_s), 10000);
    lamp.painted.clear();
    QSignalSpy ticks(&program.window().lampTimer(), &VbTimer::ticked);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 3, 10000);
    QVERIFY(!lamp.painted.contains(u"R"_s));
    QCOMPARE(lamp.now(), u"G"_s);
}

// While the connection that watches the mailbox is down, each tick shows red and never green;
// once it watches again the lamp blinks as before.
void AlertTest::lampStaysRedWhileTheWatchIsDown()
{
    AlertProgram program;
    program.fake.mailbox.watchable = true;
    QVERIFY(program.start());
    VbTimer& lampTimer = program.window().lampTimer();
    lampTimer.setEnabled(false); // the test ticks by hand
    LampWatch lamp(program);
    setInterval(program, u"3"_s);
    QCOMPARE(program.fake.mailbox.openWatches, 1);

    program.fake.mailbox.tellWatch(pelmora::platform::MailboxWatch::Health::Lost);
    lamp.painted.clear();
    lampTimer.tick();
    lampTimer.tick();
    QCOMPARE(lamp.now(), u"R"_s);
    QTRY_VERIFY(lamp.painted.endsWith(u"R"_s));
    QVERIFY(!lamp.painted.contains(u"G"_s));

    QTRY_COMPARE(program.fake.mailbox.watched.size(), 2); // made again after its pause
    program.fake.mailbox.tellWatch(pelmora::platform::MailboxWatch::Health::Watching);
    lampTimer.tick();
    QCOMPARE(lamp.now(), u"G"_s);
    QTRY_COMPARE_WITH_TIMEOUT(lamp.now(), u"R"_s, 5000);
}

void AlertTest::lampTicksByHand()
{
    AlertProgram program;
    QVERIFY(program.start());
    VbTimer& timer5 = program.window().lampTimer();
    timer5.setEnabled(false); // the test ticks by hand
    LampWatch lamp(program);
    setInterval(program, u"3"_s);

    // Green for two seconds: a second tick meanwhile changes nothing. Then interval checking goes
    // off: the first tick still ends red, two seconds after it began.
    QElapsedTimer green;
    green.start();
    timer5.tick();
    QCOMPARE(lamp.now(), u"G"_s);
    QTest::qWait(300);
    timer5.tick();
    QCOMPARE(lamp.now(), u"G"_s);
    setInterval(program, u"0"_s);
    QTRY_COMPARE_WITH_TIMEOUT(lamp.now(), u"R"_s, 5000);
    QVERIFY2(green.elapsed() >= 1900, qPrintable(QString::number(green.elapsed())));
    QTRY_VERIFY(lamp.painted.endsWith(u"R"_s)); // and red gets painted
    timer5.tick();
    QCOMPARE(lamp.now(), u"G"_s);

    // A picture that cannot be read leaves the lamp as it was.
    QFile::remove(program.asset(u"画像データ/Red.gif"_s));
    setInterval(program, u"3"_s);
    timer5.tick();
    QTest::qWait(2500);
    QCOMPARE(lamp.now(), u"G"_s);

    // (Hidden, the lamp does nothing: main_window_test counts no timer event then.)
    QVERIFY(!program.fake.processExit.ended);
}

void AlertTest::captionNamesTheChosenProgramAndKeepsMoving()
{
    AlertProgram program;
    QVERIFY(program.start());
    pelmora::app::MainWindow& window = program.window();
    pelmora::platform::CaptionLabel& caption = program.captionLabel();
    QSignalSpy ticks(&window.captionTimer(), &VbTimer::ticked);

    // Never chosen: the stored "未設定" is the name shown.
    QTRY_COMPARE(caption.text(), u"未設定"_s);

    // Cancelled before any choice: the dialog's empty file name says nothing is set.
    program.fake.fileDialog.nextFileName.clear();
    window.findChild<QAction*>(u"mset"_s)->trigger();
    QCOMPARE(window.mailProgramPath(), QString());
    ticks.clear();
    QTRY_VERIFY(!ticks.isEmpty());
    QCOMPARE(caption.text(), u"設定されていません。"_s);

    // Chosen: the file's name shows within one tick.
    program.fake.fileDialog.nextFileName = u"/opt/メール/Sylpheed"_s;
    window.findChild<QAction*>(u"mset"_s)->trigger();
    QCOMPARE(window.mailProgramTitle(), u"Sylpheed"_s);
    ticks.clear();
    QTRY_VERIFY(!ticks.isEmpty());
    QCOMPARE(caption.text(), u"Sylpheed"_s);
    const int x = caption.textBox().x();
    QTRY_VERIFY(caption.textBox().x() != x);

    // A name too long for the title buffer gives an empty caption.
    window.setMailProgramPath(u"/opt/"_s + QString(250, u'a'));
    ticks.clear();
    QTRY_VERIFY(!ticks.isEmpty());
    QCOMPARE(caption.text(), QString());

    // Hidden in the tray its timer rests, so the process can sleep; back on screen, the caption
    // stands where the ticks it missed would have moved it.
    constexpr int start = MailProgramChoice::kCaptionStart;
    constexpr int step = MailProgramChoice::kCaptionStep;
    window.setCaptionLeft(start);
    QElapsedTimer away;
    away.start();
    window.moveToTray();
    QVERIFY(!window.isShownOnScreen());
    ticks.clear();
    QTest::qWait(300);
    QVERIFY(ticks.isEmpty());
    QCOMPARE(window.captionLeft(), start);
    window.showFromTray();
    const qint64 mostTicks = away.elapsed() / 20;
    const int moved = (start - window.captionLeft()) / step;
    QVERIFY2(moved >= 300 / 20, qPrintable(QString::number(moved)));
    if (mostTicks < (start - MailProgramChoice::kCaptionEnd) / step) // no lap completed
        QVERIFY2(moved <= mostTicks, qPrintable(QString::number(moved)));
    QCOMPARE(caption.textBox().x(), pelmora::platform::twipsToPixels(window.captionLeft()));
    QTRY_VERIFY(!ticks.isEmpty()); // and it ticks again
}

void AlertTest::captionRunsRightToLeftAndStartsOverWhereItBegan()
{
    AlertProgram program;
    VbTimer& timer4 = program.window().captionTimer();
    timer4.setEnabled(false); // the test ticks by hand
    QVERIFY(program.start());
    pelmora::platform::CaptionLabel& caption = program.captionLabel();
    // Where the caption's text stands in the strip, in pixels.
    const auto left = [&caption] { return caption.textBox().x(); };
    const int start = left();
    QVERIFY(start < caption.width()); // it begins at the strip's right end

    // Ticks until it starts over, each step a little to the left; and the leftmost place.
    const auto lap = [&] {
        int leftmost = left();
        for (int ticks = 1, before = left(); ticks < 10000; ++ticks, before = left()) {
            timer4.tick();
            if (left() > before)
                return std::pair{ticks, leftmost};
            if (before - left() > 2) // about 1.3 pixels a tick
                break;
            leftmost = std::min(leftmost, left());
        }
        return std::pair{-1, leftmost};
    };
    const auto [ticks, leftmost] = lap();
    QVERIFY(ticks > 0);
    QCOMPARE(left(), start);
    QVERIFY(leftmost < 0); // it leaves by the left end…
    QVERIFY(leftmost + caption.textBox().width() > 0); // …but is not yet gone when it starts over
    QCOMPARE(lap().first, ticks);
    QCOMPARE(left(), start);

    // Making up for missed ticks at once lands where ticking one by one does, across lap ends,
    // also from places only a hand could set: right of the start, and off the steps' grid.
    pelmora::app::MainWindow& window = program.window();
    const auto catchUpMatchesTicking = [&](int missed) {
        const int from = window.captionLeft();
        for (int i = 0; i < missed; ++i)
            timer4.tick();
        return MailProgramChoice::captionLeftAfter(from, missed) == window.captionLeft();
    };
    for (const int missed : {1, ticks - 1, ticks, ticks + 1, 5 * ticks + 7})
        QVERIFY(catchUpMatchesTicking(missed));
    const int right = MailProgramChoice::kCaptionStart + 3 * MailProgramChoice::kCaptionStep;
    for (const auto& [from, missed] : {std::pair{right, 2}, {right, ticks + 5}, {7, ticks}}) {
        window.setCaptionLeft(from);
        QVERIFY(catchUpMatchesTicking(missed));
    }
}

QTEST_MAIN(AlertTest)
#include "alert_test.moc"
