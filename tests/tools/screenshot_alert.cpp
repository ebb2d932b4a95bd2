// Saves pictures of the alert: the main window after "吠える♪" (the new-mail animation, the lamp,
// the mail program's name scrolling by) as OUTDIR/alert.png, and the notice board with a message
// count as OUTDIR/board.png: pelmora-screenshot-alert OUTDIR.
// Run it on a real X server (xvfb-run -a, QT_QPA_PLATFORM=xcb) with a Japanese font installed.
#include "app/Application.h"

#include "alert/forms/NoticeBoard.h"

#include "platform/forms/JapaneseFont.h"
#include "platform/adapters/widgets/MovieAnimationPane.h"
#include "platform/adapters/widgets/QtWindowPositioner.h"
#include "platform/adapters/system/SteadyTickCounter.h"

#include "tests/fakes/FakePlatform.h"
#include "tests/tools/WindowPicture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;
using pelmora::fakes::FakePlatform;


int main(int argc, char** argv)
{
    QApplication qtApp(argc, argv);
    QApplication::setFont(pelmora::platform::japaneseGothicFont(9));
    if (argc != 2) {
        std::fputs("usage: pelmora-screenshot-alert OUTDIR\n", stderr);
        return 2;
    }
    const QString folder = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(folder);

    // A program folder of its own with the real pictures; an interval and a mail program stored.
    FakePlatform fake;
    const QString dist = QString::fromUtf8(PELMORA_DIST_DIR);
    for (const QString& sub : {u"Sound"_s, u"画像データ"_s}) {
        QDir(fake.programFolder()).mkpath(sub);
        for (const QString& name : QDir(dist + u'/' + sub).entryList(QDir::Files))
            QFile::copy(dist + u'/' + sub + u'/' + name,
                        fake.programFolder() + u'/' + sub + u'/' + name);
    }
    fake.storeServerAndAccount();
    FakePlatform::writeFile(fake.mainProfile(),
                            "[EXEINI]\r\nNUMBER2=5\r\nNAME=/usr/bin/thunderbird\r\n");

    // The real animation pane, window positioner and clock; everything else stays silent.
    pelmora::platform::QtWindowPositioner positioner;
    pelmora::platform::SteadyTickCounter ticks;
    pelmora::platform::PlatformServices services{
        fake.mailbox, fake.profileFiles, fake.codec, fake.multimedia, ticks, positioner,
        fake.remoteAccess, fake.trayIcon, fake.fileDialog, fake.fileTitle, fake.messageBox,
        fake.programLauncher, fake.homepageBrowser, fake.processExit, fake.secretStore,
        fake.desktopNotifications, fake.connectivity, fake.screenLock,
        [](QWidget* frame) -> pelmora::platform::AnimationPane& {
            return *new pelmora::platform::MovieAnimationPane(frame);
        },
        fake.programFolder(), pelmora::platform::TimerPace{}};
    pelmora::app::Application app(services);
    app.start();

    auto& window = app.mainWindow();
    window.move(20, 20);
    window.findChild<QAbstractButton*>(u"Command2"_s)->click();
    // The animation runs a moment; the picture is taken when the name has scrolled well into
    // the strip.
    QTest::qWait(1000);
    for (int waited = 0; waited < 10000 && (window.captionLeft() < 300 || window.captionLeft() > 500);
         waited += 5)
        QTest::qWait(5);
    bool ok = pelmora::tools::saveWindowPicture(window, QDir(folder).filePath(u"alert.png"_s));

    auto& board = app.forms().get<pelmora::alert::NoticeBoard>();
    board.setMessage(u"新着メールが有ります"_s);
    board.setCount(u"3"_s);
    QTest::qWait(200);
    ok = pelmora::tools::saveWindowPicture(board, QDir(folder).filePath(u"board.png"_s)) && ok;
    if (!ok) {
        std::fputs("pelmora-screenshot-alert: could not save every picture\n", stderr);
        return 1;
    }
    return 0;
}
