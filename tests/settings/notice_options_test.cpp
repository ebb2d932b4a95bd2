// The window "オプション" through the program's own wiring: what its boxes show of the options'
// file (missing, hand-edited), that each change is saved at once and owner-only, and what turning
// "only new mail" on and "通知済みを忘れる" leave in the record of announced mail.

#include "app/Application.h"
#include "app/MainWindow.h"
#include "settings/NoticeOptions.h"
#include "settings/forms/NoticeOptionsWindow.h"

#include "tests/fakes/FakePlatform.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace pelmora;
using fakes::FakePlatform;

namespace {

struct OptionsWindowProgram {
    OptionsWindowProgram() { fake.storeServerAndAccount(); app.start(); }
    settings::NoticeOptionsWindow& open()
    {
        app.mainWindow().findChild<QAction*>(u"moptions"_s)->trigger();
        return *app.forms().peek<settings::NoticeOptionsWindow>();
    }
    QString file(const char16_t* name) const { return fake.dataFolder() + u'/' + QString::fromUtf16(name); }
    FakePlatform fake;
    app::Application app{fake.services()};
};

bool ticked(QWidget& window, const QString& name)
{
    return window.findChild<QCheckBox*>(name)->isChecked();
}

} // namespace

class NoticeOptionsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void missingOrHandEditedFilesReadAsOff()
    {
        OptionsWindowProgram program;
        settings::NoticeOptionsWindow& first = program.open();
        QCOMPARE(first.windowTitle(), u"オプション"_s);
        QVERIFY(!ticked(first, u"Check1"_s) && !ticked(first, u"Check2"_s));
        first.unload();
        QTest::qWait(0);

        FakePlatform::writeFile(program.file(settings::NoticeOptionsFile::kFileName),
                                "[OPTIONS]\r\nONLYNEW=yes\r\nNOTIFY=10\r\n\x01\xff garbage");
        settings::NoticeOptionsWindow& second = program.open();
        QVERIFY(!ticked(second, u"Check1"_s) && !ticked(second, u"Check2"_s));
    }

    void changesAreSavedAtOnceAndTheRecordBeginsAfresh()
    {
        OptionsWindowProgram program;
        const QString record = program.file(mail::AnnouncedMessages::kFileName);
        FakePlatform::writeFile(record, "account old%20server someone\nid-1\n");
        settings::NoticeOptionsWindow& window = program.open();

        window.findChild<QCheckBox*>(u"Check2"_s)->click();
        const QString options = program.file(settings::NoticeOptionsFile::kFileName);
        QCOMPARE(settings::NoticeOptionsFile(program.fake.dataFolder()).read(),
                 (settings::NoticeOptions{false, true}));
        QCOMPARE(QFileInfo(options).permissions() & 0x0077, QFileDevice::Permissions());
        QVERIFY(QFileInfo::exists(record)); // not touched by the notification's box

        // Turning "only new mail" on: the next check takes the server's mail as announced.
        window.findChild<QCheckBox*>(u"Check1"_s)->click();
        QVERIFY(!QFileInfo::exists(record));
        QVERIFY(FakePlatform::readFile(options).contains("ONLYNEW=1"));

        // Forgetting: a record of the account with nothing announced, so everything is new.
        window.findChild<QAbstractButton*>(u"Command1"_s)->click();
        QCOMPARE(FakePlatform::readFile(record), "account pop.example taro\n");
        QVERIFY(program.fake.log.withPrefix(u"MsgBox"_s).isEmpty());
    }
};

QTEST_MAIN(NoticeOptionsTest)
#include "notice_options_test.moc"
