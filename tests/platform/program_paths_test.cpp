// The program folder: the executable's own, unless PELMORA_PROGRAM_FOLDER names another one.

#include "platform/ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::platform::programFolder;

class ProgramPathsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { qunsetenv("PELMORA_PROGRAM_FOLDER"); }

    // A per-user folder of links is taken as it is named, not where its links point.
    void aNamedFolderReplacesTheExecutablesFolder()
    {
        QTemporaryDir scratch;
        const QString shared = scratch.filePath(u"shared"_s);
        const QString user = scratch.filePath(u"user ★"_s);
        QVERIFY(QDir().mkpath(shared));
        QVERIFY(QFile::link(shared, user));

        qputenv("PELMORA_PROGRAM_FOLDER", (user + u'/').toUtf8());
        QCOMPARE(programFolder(), user);
        QCOMPARE(pelmora::platform::programFilePath(programFolder(), u"\\★MailData\\ini.ini"_s),
                 user + u"/★MailData/ini.ini"_s);
    }

    void anythingElseLeavesTheExecutablesFolder_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("unset") << QString();
        QTest::newRow("empty") << u""_s;
        QTest::newRow("relative") << u"."_s;
        QTest::newRow("missing") << u"/nonexistent/pelmora"_s;
        QTest::newRow("a file") << QCoreApplication::applicationFilePath();
    }

    void anythingElseLeavesTheExecutablesFolder()
    {
        QFETCH(QString, value);
        if (!value.isNull())
            qputenv("PELMORA_PROGRAM_FOLDER", value.toUtf8());
        QCOMPARE(programFolder(), QCoreApplication::applicationDirPath());
    }
};

QTEST_GUILESS_MAIN(ProgramPathsTest)
#include "program_paths_test.moc"
