// The animation pane and the path helper: a "file://" address with backslash separators shows
// the GIF it names; anything else leaves the frame empty.

#include "platform/ProgramPaths.h"
#include "platform/adapters/widgets/MovieAnimationPane.h"

#include <QDir>
#include <QFile>
#include <QMovie>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::platform::localFileFromFileUrl;
using pelmora::platform::MovieAnimationPane;
using pelmora::platform::programFilePath;

class AnimationPaneTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void backslashLiteralsBecomeNativePaths();
    void showsTheAnimationTheAddressNames();
    void unusableAddressesLeaveTheFrameEmpty();
    void animationRestsWhileNotOnScreen(); // hidden, or behind a locked screen
};

void AnimationPaneTest::backslashLiteralsBecomeNativePaths()
{
    QCOMPARE(programFilePath(u"/opt/pelmora"_s, u"\\★MailData\\ini.ini"_s),
             u"/opt/pelmora/★MailData/ini.ini"_s);
    QCOMPARE(localFileFromFileUrl(u"file:///opt/pelmora\\画像データ\\MoveDog.gif"_s),
             u"/opt/pelmora/画像データ/MoveDog.gif"_s);
    QCOMPARE(localFileFromFileUrl(u"http://example.com/dog.gif"_s), QString());
}

void AnimationPaneTest::showsTheAnimationTheAddressNames()
{
    QWidget frame;
    frame.resize(89, 81);
    MovieAnimationPane pane(&frame);
    const QString folder = QString::fromUtf8(PELMORA_DIST_DIR);
    pane.navigate(u"file://"_s + folder + u"\\画像データ\\MoveDog.gif"_s);
    QCOMPARE(pane.currentFile(), folder + u"/画像データ/MoveDog.gif"_s);
    QVERIFY(pane.isAnimating());
    QCOMPARE(pane.geometry(), frame.rect());

    // Switching to the new-mail animation replaces the resting one.
    pane.navigate(u"file://"_s + folder + u"\\画像データ\\ShintyakuMove.gif"_s);
    QCOMPARE(pane.currentFile(), folder + u"/画像データ/ShintyakuMove.gif"_s);
    QVERIFY(pane.isAnimating());
}

void AnimationPaneTest::unusableAddressesLeaveTheFrameEmpty()
{
    QTemporaryDir dir;
    QFile corrupt(dir.filePath(u"broken.gif"_s));
    QVERIFY(corrupt.open(QIODevice::WriteOnly));
    corrupt.write("GIF89a this is not an image");
    corrupt.close();

    QWidget frame;
    MovieAnimationPane pane(&frame);
    const QString folder = QString::fromUtf8(PELMORA_DIST_DIR);
    for (const QString& url : QStringList{u"file://"_s + dir.path() + u"\\missing.gif"_s,
                               u"file://"_s + dir.path() + u"\\broken.gif"_s,
                               u"file://"_s + dir.path(), u"about:blank"_s, QString()}) {
        pane.navigate(u"file://"_s + folder + u"\\画像データ\\MoveDog.gif"_s);
        QVERIFY(pane.isAnimating());
        pane.navigate(url);
        QVERIFY2(pane.currentFile().isEmpty(), qPrintable(url));
        QVERIFY(!pane.isAnimating());
        QVERIFY(!pane.movie());
    }
}

// Hidden in the tray, the dog does not move, so the idle program does not wake to draw it; shown
// again, it moves on.
void AnimationPaneTest::animationRestsWhileNotOnScreen()
{
    QWidget window;
    window.resize(89, 81);
    MovieAnimationPane pane(&window);
    const QString folder = QString::fromUtf8(PELMORA_DIST_DIR);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    pane.navigate(u"file://"_s + folder + u"\\画像データ\\MoveDog.gif"_s);
    QMovie& movie = *pane.movie();
    const int shownAt = movie.currentFrameNumber();
    QTRY_VERIFY(movie.currentFrameNumber() != shownAt);

    window.hide();
    const int hiddenAt = movie.currentFrameNumber();
    QTest::qWait(1500);
    QCOMPARE(movie.currentFrameNumber(), hiddenAt);

    window.show();
    QTRY_VERIFY(movie.currentFrameNumber() != hiddenAt);
    QVERIFY(pane.isAnimating());

    // Behind a locked screen it rests too, shown or not.
    pane.setScreenLocked(true);
    const int lockedAt = movie.currentFrameNumber();
    QTest::qWait(1500);
    QCOMPARE(movie.currentFrameNumber(), lockedAt);
    pane.setScreenLocked(false);
    QTRY_VERIFY(movie.currentFrameNumber() != lockedAt);
}

QTEST_MAIN(AnimationPaneTest)
#include "animation_pane_test.moc"
