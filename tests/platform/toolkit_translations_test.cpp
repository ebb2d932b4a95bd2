// The toolkit's own texts follow the desktop's language: on a Japanese desktop a question's
// buttons read はい / いいえ, as the system's boxes do; on an English one they stay as they are.

#include "platform/adapters/widgets/ToolkitTranslations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

using namespace Qt::StringLiterals;

class ToolkitTranslationsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void questionButtonsFollowTheDesktopLanguage()
    {
        const auto buttonTexts = [] {
            QMessageBox box;
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            return std::pair{box.button(QMessageBox::Yes)->text(),
                             box.button(QMessageBox::No)->text()};
        };
        const auto english = buttonTexts();

        // English is the toolkit's own language: nothing to install, nothing changes.
        QVERIFY(!pelmora::platform::installToolkitTranslations(*qApp, QLocale(QLocale::English)));
        QCOMPARE(buttonTexts(), english);

        const QLocale japanese(QLocale::Japanese, QLocale::Japan);
        QVERIFY(pelmora::platform::installToolkitTranslations(*qApp, japanese));
        const auto [yes, no] = buttonTexts();
        QVERIFY2(yes.contains(u"はい"_s), qPrintable(yes));
        QVERIFY2(no.contains(u"いいえ"_s), qPrintable(no));
    }
};

QTEST_MAIN(ToolkitTranslationsTest)
#include "toolkit_translations_test.moc"
