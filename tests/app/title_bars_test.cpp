// The title bars as a window manager shows them. The real program runs on a private X server
// (Xvfb) from a fresh program folder, driven with the mouse and keyboard (xdotool); every window
// it opens, dialogs and message boxes included, must carry its caption and nothing else.

#include "XWindowList.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;
using pelmora::tests::TopLevelWindow;
using pelmora::tests::XWindowList;

namespace {

constexpr int kTimeoutMs = 20000;
constexpr int kTwipsPerPixel = 15;
constexpr int kMainClientHeight = 1470 / kTwipsPerPixel;

const QString kMainCaption = u"ペルモラ　Ver 1.0"_s;

// A copy of the distribution folder with an empty data folder, as on a first run.
bool copyProgramFolder(const QString& to)
{
    const QDir from(QStringLiteral(PELMORA_DIST_DIR));
    QDirIterator it(from.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        const QString relative = from.relativeFilePath(entry.filePath());
        if (relative.startsWith(u"★MailData"_s))
            continue;
        const QString target = to + u'/' + relative;
        const bool copied = entry.isDir() ? QDir().mkpath(target)
                                          : QFile::copy(entry.filePath(), target) &&
                                                QFile::setPermissions(target, entry.permissions());
        if (!copied)
            return false;
    }
    return QDir(to).mkdir(u"★MailData"_s);
}

} // namespace

class TitleBarsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void everyWindowShowsItsCaptionAlone();

private:
    // Waits for a window showing `caption`, alone or with something added; VERIFY_TITLE then
    // checks that both of its title properties hold the caption exactly.
    TopLevelWindow windowTitled(const QString& caption);
    bool noWindowTitled(const QString& caption);
    // Everything the program shows is recorded on every look, so a stray title is caught too.
    QList<TopLevelWindow> look();
    void xdotool(const QStringList& arguments);
    void openMenuItem(int downPresses);

    std::unique_ptr<QTemporaryDir> m_folders;
    QProcess m_xserver;
    QProcess m_program;
    QProcessEnvironment m_environment;
    std::unique_ptr<XWindowList> m_windows;
    TopLevelWindow m_main;
    QSet<QString> m_seen;
};

void TitleBarsTest::init()
{
    QStringList missing;
    for (const QString& tool : {u"Xvfb"_s, u"xdotool"_s})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            missing.append(tool);
    if (!missing.isEmpty()) {
        const QString why = missing.join(u", "_s) + u" not installed (scripts/setup test)"_s;
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL(qPrintable(why));
        QSKIP(qPrintable(why));
    }

    // Qt Test does not clean up after a failed init.
    auto cleanUpOnFailure = qScopeGuard([this] {
        if (QTest::currentTestFailed())
            cleanup();
    });
    m_folders = std::make_unique<QTemporaryDir>();
    const QString programFolder = m_folders->filePath(u"program"_s);
    const QString workFolder = m_folders->filePath(u"work"_s);
    const QString runtimeFolder = m_folders->filePath(u"runtime"_s);
    QVERIFY(copyProgramFolder(programFolder));
    QVERIFY(QDir().mkpath(workFolder) && QDir().mkpath(runtimeFolder));
    QFile::setPermissions(runtimeFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // vbmail.ini is a folder here, so saving the server settings fails and tells why.
    QVERIFY(QDir(workFolder).mkdir(u"vbmail.ini"_s));

    // The server writes its display number once it accepts clients.
    m_xserver.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"800x600x24"_s,
                                u"-nolisten"_s, u"tcp"_s});
    QVERIFY(m_xserver.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(m_xserver.canReadLine() || m_xserver.state() != QProcess::Running,
                             kTimeoutMs);
    const QByteArray number = m_xserver.readLine().trimmed();
    QVERIFY2(!number.isEmpty(), m_xserver.readAllStandardError().constData());
    const QByteArray display = ':' + number;
    m_windows = std::make_unique<XWindowList>(display);
    QVERIFY(m_windows->isConnected());

    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(u"DISPLAY"_s, QString::fromLatin1(display));
    m_environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    m_environment.insert(u"XDG_RUNTIME_DIR"_s, runtimeFolder);
    m_environment.remove(u"WAYLAND_DISPLAY"_s);
    m_program.setProcessEnvironment(m_environment);
    m_program.setWorkingDirectory(workFolder);
    m_program.setProcessChannelMode(QProcess::ForwardedChannels);
    m_program.start(programFolder + u"/pelmora"_s, {});
    QVERIFY(m_program.waitForStarted());
}

void TitleBarsTest::cleanup()
{
    // The program ends through its main window's unloading on SIGTERM; the server goes last,
    // once nothing is connected to it.
    const auto end = [](QProcess& process) {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished();
        }
    };
    end(m_program);
    m_windows.reset();
    end(m_xserver);
    m_folders.reset();
    m_seen.clear();
}

QList<TopLevelWindow> TitleBarsTest::look()
{
    const QList<TopLevelWindow> windows = m_windows->framedWindows();
    for (const TopLevelWindow& window : windows)
        m_seen.insert(window.netWmName);
    return windows;
}

TopLevelWindow TitleBarsTest::windowTitled(const QString& caption)
{
    const auto find = [&] {
        for (const TopLevelWindow& window : look())
            if (window.wmName.startsWith(caption) || window.netWmName.startsWith(caption))
                return window;
        return TopLevelWindow{};
    };
    TopLevelWindow found;
    if (!QTest::qWaitFor([&] { return (found = find()).id != 0; }, kTimeoutMs))
        qWarning("no window titled %s; the program is %s", qPrintable(caption),
                 m_program.state() == QProcess::Running ? "running" : "not running");
    return found;
}

bool TitleBarsTest::noWindowTitled(const QString& caption)
{
    return QTest::qWaitFor(
        [&] {
            const QList<TopLevelWindow> windows = look();
            return std::none_of(windows.begin(), windows.end(), [&](const TopLevelWindow& w) {
                return w.wmName == caption || w.netWmName.startsWith(caption);
            });
        },
        kTimeoutMs);
}

void TitleBarsTest::xdotool(const QStringList& arguments)
{
    QProcess tool;
    tool.setProcessEnvironment(m_environment);
    tool.start(u"xdotool"_s, arguments);
    QVERIFY(tool.waitForFinished(kTimeoutMs));
    QCOMPARE(tool.exitCode(), 0);
}

// Clicks the menu "ファイル(&F)" of the main window and walks down to an item.
void TitleBarsTest::openMenuItem(int downPresses)
{
    const int menuBarHeight = m_main.geometry.height() - kMainClientHeight;
    const QPoint menu = m_main.geometry.topLeft() + QPoint(15, menuBarHeight / 2);
    xdotool({u"mousemove"_s, u"--sync"_s, QString::number(menu.x()), QString::number(menu.y()),
             u"click"_s, u"1"_s});
    QTRY_VERIFY_WITH_TIMEOUT(m_windows->popupOpen(), kTimeoutMs);
    QStringList keys{u"key"_s};
    for (int i = 0; i < downPresses; ++i)
        keys.append(u"Down"_s);
    xdotool(keys + QStringList{u"Return"_s});
}

#define VERIFY_TITLE(window, caption)                                                              \
    do {                                                                                           \
        QVERIFY2((window).id != 0, qPrintable(caption));                                           \
        QCOMPARE((window).netWmName, caption);                                                     \
        QCOMPARE((window).wmName, caption);                                                        \
    } while (false)

void TitleBarsTest::everyWindowShowsItsCaptionAlone()
{
    // A first run: no server and no account stored, so both dialogs open by themselves.
    m_main = windowTitled(kMainCaption);
    VERIFY_TITLE(m_main, kMainCaption);
    const TopLevelWindow server = windowTitled(u"サーバー設定"_s);
    VERIFY_TITLE(server, u"サーバー設定"_s);
    VERIFY_TITLE(windowTitled(u"ID,PASS"_s), u"ID,PASS"_s);

    openMenuItem(4); // "設定"
    VERIFY_TITLE(windowTitled(u"設定"_s), u"設定"_s);
    openMenuItem(5); // "サインイン"
    VERIFY_TITLE(windowTitled(u"サインイン"_s), u"サインイン"_s);
    openMenuItem(6); // "オプション"
    VERIFY_TITLE(windowTitled(u"オプション"_s), u"オプション"_s);

    // A double click on "分" tells about the program.
    const QPoint minutes = m_main.geometry.bottomLeft() + QPoint(190, -kMainClientHeight + 16);
    xdotool({u"mousemove"_s, u"--sync"_s, QString::number(minutes.x()),
             QString::number(minutes.y()), u"click"_s, u"--repeat"_s, u"2"_s, u"--delay"_s,
             u"80"_s, u"1"_s});
    VERIFY_TITLE(windowTitled(u"Pelmora について"_s), u"Pelmora について"_s);
    xdotool({u"key"_s, u"Escape"_s});
    QVERIFY(noWindowTitled(u"Pelmora について"_s));

    // "設定" of the server dialog cannot save vbmail.ini: an error box, the dialog stays.
    const QPoint ok = server.geometry.topLeft() +
                      QPoint((660 + 972 / 2) / kTwipsPerPixel, (2520 + 372 / 2) / kTwipsPerPixel);
    xdotool({u"mousemove"_s, u"--sync"_s, QString::number(ok.x()), QString::number(ok.y()),
             u"click"_s, u"1"_s});
    VERIFY_TITLE(windowTitled(u"エラー"_s), u"エラー"_s);
    xdotool({u"key"_s, u"Escape"_s});
    QVERIFY(noWindowTitled(u"エラー"_s));
    QCOMPARE(windowTitled(u"サーバー設定"_s).id, server.id);

    openMenuItem(9); // "作者のホームページ": a question first
    VERIFY_TITLE(windowTitled(u"確認"_s), u"確認"_s);
    xdotool({u"key"_s, u"Escape"_s});
    QVERIFY(noWindowTitled(u"確認"_s));

    QStringList seen = m_seen.values();
    seen.sort();
    QStringList captions{kMainCaption, u"サーバー設定"_s, u"ID,PASS"_s, u"設定"_s, u"サインイン"_s,
                         u"オプション"_s, u"Pelmora について"_s, u"エラー"_s, u"確認"_s};
    captions.sort();
    QCOMPARE(seen, captions);
}

QTEST_GUILESS_MAIN(TitleBarsTest)
#include "title_bars_test.moc"
