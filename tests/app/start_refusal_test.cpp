// The box the installed program shows when the Debian package's launcher refuses to start it
// ("pelmora --start-refused TEXT"): the real message box, as the user sees it.

#include "app/StartRefusal.h"

#include "platform/adapters/widgets/QtDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using pelmora::app::showStartRefusal;
using pelmora::app::startRefusalText;

class StartRefusalTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void onlyTheOptionWithOneTextAsksForTheBox();
    void theBoxShowsTheTextAsItIsAndTheStartFails();
};

void StartRefusalTest::onlyTheOptionWithOneTextAsksForTheBox()
{
    const QString program = u"pelmora"_s;
    const QString option = u"--start-refused"_s;
    QVERIFY(!startRefusalText({program}));
    QVERIFY(!startRefusalText({program, option}));
    QVERIFY(!startRefusalText({program, option, u"a"_s, u"b"_s}));
    QVERIFY(!startRefusalText({program, u"a"_s, option}));
    QCOMPARE(startRefusalText({program, option, u"起動しません"_s}), u"起動しません"_s);

    // Whoever calls it chooses the text: a box never gets more than it can show.
    const QString huge(1'000'000, u'x');
    const auto cut = startRefusalText({program, option, huge});
    QVERIFY(cut && !cut->isEmpty() && cut->size() < 20'000);
}

void StartRefusalTest::theBoxShowsTheTextAsItIsAndTheStartFails()
{
    // Folder names are the users' own: tags in one are shown, not taken as markup.
    const QString text = u"ペルモラを起動しませんでした。設定を置くフォルダ\n/srv/<b>共有</b>/pelmora\nは…"_s;
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible())
                continue;
            shown = box->text();
            format = box->textFormat();
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start(20);

    pelmora::platform::QtMessageBox box;
    QCOMPARE(showStartRefusal(box, text), 1);
    QCOMPARE(shown, text);
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(icon, QMessageBox::Critical);
}

QTEST_MAIN(StartRefusalTest)
#include "start_refusal_test.moc"
