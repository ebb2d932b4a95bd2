// The three settings dialogs driven from the keyboard and mouse, on real widgets inside the whole
// program (fake platform, real settings files): layout, focus order, Enter and Esc, what their
// buttons and close boxes do to the program-wide values and to the files' bytes, how the
// interval box drives the main window, and what a save that cannot be written tells the user.

#include "app/Application.h"

#include "settings/forms/AccountDialog.h"
#include "settings/forms/ServerDialog.h"
#include "settings/forms/PreferencesDialog.h"

#include "platform/forms/JapaneseFont.h"
#include "platform/forms/Twips.h"

#include "tests/fakes/FakePlatform.h"

#include "PrivateMounts.h"

#include <QApplication>
#include <QCheckBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cerrno>
#include <memory>

using namespace Qt::StringLiterals;
using pelmora::app::Application;
using pelmora::fakes::FakePlatform;
using pelmora::platform::Form;
using pelmora::platform::twipsRect;
using pelmora::platform::twipsToPixels;
using pelmora::settings::AccountDialog;
using pelmora::settings::ServerDialog;
using pelmora::settings::PreferencesDialog;

namespace {
const QByteArray& kServerFile = FakePlatform::kStoredServerFile;
const QByteArray& kAccountFile = FakePlatform::kStoredAccountFile;
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

// The whole program on a fake platform whose files already hold a server, an account and an
// interval of 15 minutes, so no dialog opens by itself.
struct Program {
    explicit Program(const QByteArray& account = kAccountFile)
    {
        FakePlatform::writeFile(fake.serverFile(), kServerFile);
        if (!account.isEmpty())
            FakePlatform::writeFile(fake.accountProfile(), account);
        FakePlatform::writeFile(fake.mainProfile(), "[EXEINI]\r\nNUMBER2=15\r\n");
        restart();
    }
    // A new run of the program in the same folders.
    void restart()
    {
        app.reset();
        app = std::make_unique<Application>(fake.services());
        app->start();
    }
    Application& operator*() { return *app; }
    Application* operator->() { return app.get(); }

    FakePlatform fake;
    std::unique_ptr<Application> app;
};

template <typename T = QWidget>
T& child(QWidget& parent, const QString& name)
{
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return *found;
}

QString focusName()
{
    QWidget* w = QApplication::focusWidget();
    return w ? w->objectName() : u"<no focus>"_s;
}

bool activate(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Types one key per character, as a keyboard (or an input method, for Japanese) would.
void type(QWidget& w, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, &w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Selects the whole text of a box and types over it.
void retype(QWidget& w, const QString& text)
{
    QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(&w, Qt::Key_Backspace);
    type(w, text);
}

// Replaces the whole text of a box in one change, as an input method commit does.
void commitOver(QWidget& w, const QString& text)
{
    QTest::keyClick(&w, Qt::Key_A, Qt::ControlModifier);
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(&w, &event);
}

// The one message box a failed save showed: naming the file and the system's reason.
bool toldSaveFailure(const FakePlatform& fake, const QString& file, int error)
{
    const QStringList boxes = fake.log.withPrefix(u"MsgBox("_s);
    if (boxes.size() != 1) {
        qWarning() << "message boxes:" << boxes;
        return false;
    }
    const QString& box = boxes.first();
    const bool told = box.contains(u'/' + file + u'\n') && box.contains(qt_error_string(error)) &&
                      box.endsWith(u", 48, エラー)"_s);
    if (!told)
        qWarning() << box;
    return told;
}

Form& formNamed(Application& app, const QString& name)
{
    if (name == u"OptionForm"_s)
        return app.forms().get<ServerDialog>();
    if (name == u"IdPassForm"_s)
        return app.forms().get<AccountDialog>();
    return app.forms().get<PreferencesDialog>();
}
} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void controlsSitWhereTheLayoutSays_data();
    void controlsSitWhereTheLayoutSays();
    void captionsFitTheirControls_data() { controlsSitWhereTheLayoutSays_data(); }
    void captionsFitTheirControls();
    void preferencesColours();
    void tabWalksTheControlsInOrder_data();
    void tabWalksTheControlsInOrder();
    void enterPressesOnlyTheFocusedOrDefaultButton();

    void serverDialogStoresWhatWasTypedExactly();
    void emptyPop3ServerIsSavedAndAskedForAgain();
    void serverDialogCancelChangesNothing_data();
    void serverDialogCancelChangesNothing();

    void accountDialogLoadsAndMasksTheAccount();
    void saveBoxTogglesOnlyByItself();
    void accountOkStoresTheAccount_data();
    void accountOkStoresTheAccount();
    void accountCancelChangesNothing_data();
    void accountCancelChangesNothing();

    void intervalTextDrivesTheMainWindow_data();
    void intervalTextDrivesTheMainWindow();
    void preferencesAreStoredOnlyByTheCloseBox();
    void endingTheProgramDropsOpenPreferences();
    void preferencesButtonsOpenTheOtherDialogsModeless();
    void hiddenDialogsAreShownWithoutLoadingAgain();

    void serverSaveThatFailsIsToldAndKeepsTheTyping();
    void preferencesOnAFullDiskAreToldOnceOnClosing();
    void accountSaveThatFailsIsToldAndKeepsTheTyping();
    void noDataFolderSavesNothingAndTellsNothing();
};

void DialogsTest::initTestCase()
{
    QApplication::setFont(pelmora::platform::japaneseGothicFont(9)); // as the program does
}

void DialogsTest::controlsSitWhereTheLayoutSays_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("name"); // empty: the dialog itself
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips"); // a line has height 0
    QTest::addColumn<QColor>("textColor");
    const auto row = [](const QString& form, const QString& name, const QString& caption,
                        QRect twips, QColor color = QColor()) {
        const QString tag = form + u' ' + (name.isEmpty() ? u"itself"_s : name);
        QTest::newRow(qPrintable(tag)) << form << name << caption << twips << color;
    };
    const QString opt = u"OptionForm"_s, acc = u"IdPassForm"_s, set = u"SetForm"_s;
    row(opt, {}, u"サーバー設定"_s, {0, 0, 2895, 3015});
    row(opt, u"Label1"_s, u"SMTPサーバー名(&S)"_s, {120, 120, 1575, 195}, kBlue);
    row(opt, u"SmtpText"_s, {}, {120, 360, 2652, 264});
    row(opt, u"Label2"_s, u"POP3サーバー名(&P)"_s, {120, 720, 1635, 195}, kBlue);
    row(opt, u"Pop3Text"_s, {}, {120, 960, 2652, 264});
    row(opt, u"Label3"_s, u"メールアドレス(&M)"_s, {120, 1320, 1635, 195}, kBlue);
    row(opt, u"MailText"_s, {}, {120, 1560, 2652, 264});
    row(opt, u"ApopCheck"_s, u"APOP を使用する(&A)"_s, {480, 2040, 2172, 252}, kBlue);
    row(opt, u"OkCommand"_s, u"設定"_s, {660, 2520, 972, 372});
    row(opt, u"CancelCommand"_s, u"中止"_s, {1860, 2520, 912, 372});

    row(acc, {}, u"ID,PASS"_s, {0, 0, 2880, 1785});
    row(acc, u"Label1"_s, u"ID"_s, {120, 180, 675, 255});
    row(acc, u"IdText"_s, {}, {960, 120, 1632, 264});
    row(acc, u"Label2_0"_s, u"Password"_s, {120, 600, 795, 255});
    row(acc, u"PassText"_s, {}, {960, 600, 1632, 264});
    row(acc, u"Check1"_s, {}, {420, 1020, 255, 255});
    row(acc, u"Label2_1"_s, u"IDパスワードを保存する"_s, {780, 1020, 1875, 255}, kBlue);
    row(acc, u"OKCommand"_s, u"OK"_s, {900, 1380, 852, 312});
    row(acc, u"CancelCommand"_s, u"Cancel"_s, {1860, 1380, 852, 312});

    row(set, {}, u"設定"_s, {0, 0, 3825, 3315});
    row(set, u"Command2"_s, u"POPサーバー"_s, {1920, 120, 1455, 375});
    row(set, u"Command1"_s, u"ID/PASS"_s, {480, 120, 1455, 375});
    row(set, u"Check1"_s, {}, {480, 600, 255, 255});
    row(set, u"Label1"_s, u"新着チェック後接続を切断する。"_s, {840, 645, 2535, 255}, kBlue);
    row(set, u"Line1_0"_s, {}, {360, 960, 3480 - 360, 0});
    row(set, u"Label5"_s, u"インターバルメールチェック"_s, {480, 1080, 2775, 375}, kRed);
    row(set, u"Label3"_s, u"*"_s, {480, 1440, 2895, 855}, kBlue);
    row(set, u"Text2"_s, {}, {2400, 2280, 375, 270});
    row(set, u"Label2"_s, u"分"_s, {2880, 2325, 495, 255}, kRed);
    row(set, u"Line1_1"_s, {}, {240, 2760, 3360 - 240, 0});
    row(set, u"Check2"_s, u"新着お知らせボードを１秒で自動消去させる"_s, {120, 2880, 3735, 495});
}

void DialogsTest::controlsSitWhereTheLayoutSays()
{
    QFETCH(QString, form);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(QColor, textColor);
    Program program;
    Form& dialog = formNamed(*program, form);
    if (name.isEmpty()) {
        QCOMPARE(dialog.windowTitle(), caption);
        QCOMPARE(dialog.size(), twipsRect(0, 0, twips.width(), twips.height()).size());
        QVERIFY(!dialog.isSizeGripEnabled());
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        return;
    }
    QWidget& control = child(dialog, name);
    QVERIFY(control.isVisibleTo(&dialog));
    const QRect expected =
        twips.height() == 0
            ? QRect(twipsToPixels(twips.x()), twipsToPixels(twips.y()),
                    twipsToPixels(twips.width()) + 1, 1)
            : twipsRect(twips.x(), twips.y(), twips.width(), twips.height());
    QCOMPARE(control.geometry(), expected);

    QString shown;
    if (auto* label = qobject_cast<QLabel*>(&control))
        shown = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(&control))
        shown = button->text();
    if (caption == u"*"_s) // the wrapping help text: any text
        QVERIFY(!shown.isEmpty() && qobject_cast<QLabel*>(&control)->wordWrap());
    else if (!qobject_cast<QLineEdit*>(&control)) // a text box shows its value, not a caption
        QCOMPARE(shown, caption);
    if (textColor.isValid())
        QCOMPARE(control.palette().color(QPalette::WindowText), textColor);
}

void DialogsTest::captionsFitTheirControls()
{
    QFETCH(QString, form);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    Program program;
    Form& dialog = formNamed(*program, form);
    if (name.isEmpty() || caption.isEmpty())
        return;
    QWidget& control = child(dialog, name);
    QString text = caption == u"*"_s ? qobject_cast<QLabel*>(&control)->text() : caption;
    text.remove(u'&');
    const QFontMetrics metrics = control.fontMetrics();
    if (auto* label = qobject_cast<QLabel*>(&control); label && label->wordWrap()) {
        QVERIFY2(label->heightForWidth(label->width()) <= label->height(), "help text cut off");
    } else if (auto* box = qobject_cast<QCheckBox*>(&control)) {
        QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(text));
    } else {
        QVERIFY2(metrics.horizontalAdvance(text) <= control.width(), qPrintable(text));
        QVERIFY2(metrics.ascent() <= control.height(), qPrintable(text));
    }
}

void DialogsTest::preferencesColours()
{
    Program program;
    PreferencesDialog& prefs = program->forms().show<PreferencesDialog>();
    QVERIFY(QTest::qWaitForWindowExposed(&prefs));
    const QImage picture = prefs.grab().toImage();
    QCOMPARE(picture.pixelColor(4, 4), QColor(192, 192, 192));
    // Inside each coloured button, just within its border.
    const auto face = [&](const char* name) {
        const QRect r = child(prefs, QString::fromLatin1(name)).geometry();
        return picture.pixelColor(r.left() + 3, r.top() + 3);
    };
    QCOMPARE(face("Command1"), QColor(255, 128, 0));
    QCOMPARE(face("Command2"), QColor(128, 128, 255));
    const QFont heading = child(prefs, u"Label5"_s).font();
    QVERIFY(heading.bold());
    QCOMPARE(heading.pointSizeF(), 9.0);
}

void DialogsTest::tabWalksTheControlsInOrder_data()
{
    QTest::addColumn<QString>("form");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("server") << u"OptionForm"_s
                            << QStringList{u"SmtpText"_s, u"Pop3Text"_s, u"ApopCheck"_s,
                                           u"OkCommand"_s, u"CancelCommand"_s, u"MailText"_s};
    QTest::newRow("account") << u"IdPassForm"_s
                             << QStringList{u"IdText"_s, u"PassText"_s, u"OKCommand"_s,
                                            u"CancelCommand"_s, u"Check1"_s};
    QTest::newRow("prefs") << u"SetForm"_s
                           << QStringList{u"Command2"_s, u"Command1"_s, u"Check1"_s, u"Text2"_s,
                                          u"Check2"_s};
}

void DialogsTest::tabWalksTheControlsInOrder()
{
    QFETCH(QString, form);
    QFETCH(QStringList, order);
    Program program;
    Form& dialog = formNamed(*program, form);
    QVERIFY(activate(dialog));
    QStringList walked{focusName()};
    for (qsizetype i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked.append(focusName());
    }
    QCOMPARE(walked, order + QStringList{order.first()});
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(focusName(), order.last());
}

void DialogsTest::enterPressesOnlyTheFocusedOrDefaultButton()
{
    Program program;
    // Server dialog: Enter in a text box presses nothing; on a focused button it presses that one.
    auto& server = program->forms().show<ServerDialog>();
    QVERIFY(activate(server));
    for (const QString& box : {u"SmtpText"_s, u"Pop3Text"_s, u"MailText"_s}) {
        retype(child(server, box), u"changed"_s);
        QTest::keyClick(&child(server, box), Qt::Key_Return);
        QTest::keyClick(&child(server, box), Qt::Key_Enter, Qt::KeypadModifier);
    }
    QCOMPARE(program->forms().peek<ServerDialog>(), &server);
    QCOMPARE(FakePlatform::readFile(program.fake.serverFile()), kServerFile);
    child(server, u"OkCommand"_s).setFocus();
    QTest::keyClick(&child(server, u"OkCommand"_s), Qt::Key_Return);
    QVERIFY(!program->forms().peek<ServerDialog>());
    QCOMPARE(program->values().SmtpServer, u"changed"_s);

    // Account dialog: OK is the default, but Enter on the focused Cancel cancels.
    auto& account = program->forms().show<AccountDialog>();
    QVERIFY(activate(account));
    child(account, u"CancelCommand"_s).setFocus();
    QTest::keyClick(&child(account, u"CancelCommand"_s), Qt::Key_Return);
    QVERIFY(!program->forms().peek<AccountDialog>());
    QVERIFY(program->values().UserId.isEmpty());
    QCOMPARE(FakePlatform::readFile(program.fake.accountProfile()), kAccountFile);

    // Preferences: Enter in the interval box does nothing; on a focused button it presses it.
    auto& prefs = program->forms().show<PreferencesDialog>();
    QVERIFY(activate(prefs));
    QTest::keyClick(&child(prefs, u"Text2"_s), Qt::Key_Return);
    QVERIFY(prefs.isVisible() && !prefs.isUnloaded());
    child(prefs, u"Command1"_s).setFocus();
    QTest::keyClick(&child(prefs, u"Command1"_s), Qt::Key_Return);
    auto* opened = program->forms().peek<AccountDialog>();
    QVERIFY(opened && opened->isVisible());
}

void DialogsTest::serverDialogStoresWhatWasTypedExactly()
{
    Program program;
    auto& server = program->forms().show<ServerDialog>();
    QVERIFY(program.fake.log.calls().contains(u"SetWindowPos(OptionForm, -1, 0, 0, 0, 0, 0x43)"_s));
    QVERIFY(activate(server));
    QCOMPARE(child<QLineEdit>(server, u"SmtpText"_s).text(), u"smtp.example"_s);
    QVERIFY(!child<QCheckBox>(server, u"ApopCheck"_s).isChecked());

    const QString smtp = u" 送信.example.jp "_s;
    const QString pop3 = QString(100, u'p') + QString(50, u'q');
    const QString mail = u"太郎@例え.jp"_s;
    retype(child(server, u"SmtpText"_s), smtp);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    retype(*QApplication::focusWidget(), pop3);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // APOP box
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_M, Qt::AltModifier); // Label3's key
    QCOMPARE(focusName(), u"MailText"_s);
    retype(*QApplication::focusWidget(), mail);
    QTest::mouseClick(&child(server, u"OkCommand"_s), Qt::LeftButton);

    const auto& values = program->values();
    QCOMPARE(values.SmtpServer, smtp);
    QCOMPARE(values.Pop3Server, pop3);
    QCOMPARE(values.MailAddress, mail);
    QCOMPARE(values.ApopFlag, 1);
    QCOMPARE(FakePlatform::readFile(program.fake.serverFile()),
             (u"SMTP="_s + smtp + u"\r\nPOP3="_s + pop3 + u"\r\nMAIL="_s + mail +
              u"\r\nAPOP=1\r\n"_s)
                 .toUtf8());
    QVERIFY(!program->forms().peek<ServerDialog>());

    // The next run loads the values back, a long one cut to its first 100 characters.
    program.restart();
    QCOMPARE(program->values().SmtpServer, smtp);
    QCOMPARE(program->values().Pop3Server, pop3.left(100));
    QCOMPARE(program->values().MailAddress, mail);
    QVERIFY(!program->forms().peek<ServerDialog>());
    auto& again = program->forms().show<ServerDialog>();
    QCOMPARE(child<QLineEdit>(again, u"MailText"_s).text(), mail);
    QVERIFY(child<QCheckBox>(again, u"ApopCheck"_s).isChecked());
}

void DialogsTest::emptyPop3ServerIsSavedAndAskedForAgain()
{
    Program program;
    auto& server = program->forms().show<ServerDialog>();
    QVERIFY(activate(server));
    retype(child(server, u"Pop3Text"_s), QString());
    QTest::mouseClick(&child(server, u"OkCommand"_s), Qt::LeftButton);
    QVERIFY(program->values().Pop3Server.isEmpty());
    QCOMPARE(FakePlatform::readFile(program.fake.serverFile()),
             "SMTP=smtp.example\r\nPOP3=\r\nMAIL=a@example\r\nAPOP=0\r\n");

    program.restart();
    auto* asked = program->forms().peek<ServerDialog>();
    QVERIFY(asked && asked->isVisible() && !asked->isModal());
}

void DialogsTest::serverDialogCancelChangesNothing_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("中止 clicked") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("close box") << 2;
}

void DialogsTest::serverDialogCancelChangesNothing()
{
    QFETCH(int, how);
    Program program;
    auto& server = program->forms().show<ServerDialog>();
    QVERIFY(activate(server));
    for (const QString& box : {u"SmtpText"_s, u"Pop3Text"_s, u"MailText"_s})
        retype(child(server, box), u"別の値"_s);
    QTest::mouseClick(&child(server, u"ApopCheck"_s), Qt::LeftButton);
    if (how == 0)
        QTest::mouseClick(&child(server, u"CancelCommand"_s), Qt::LeftButton);
    else if (how == 1)
        QTest::keyClick(&child(server, u"MailText"_s), Qt::Key_Escape);
    else
        server.close();

    QVERIFY(!program->forms().peek<ServerDialog>());
    QCOMPARE(program->values().SmtpServer, u"smtp.example"_s);
    QCOMPARE(program->values().Pop3Server, u"pop.example"_s);
    QCOMPARE(program->values().ApopFlag, 0);
    QCOMPARE(FakePlatform::readFile(program.fake.serverFile()), kServerFile);
    auto& again = program->forms().show<ServerDialog>();
    QCOMPARE(child<QLineEdit>(again, u"Pop3Text"_s).text(), u"pop.example"_s);
    QCOMPARE(child<QLineEdit>(again, u"MailText"_s).text(), u"a@example"_s);
    QVERIFY(!child<QCheckBox>(again, u"ApopCheck"_s).isChecked());
}

void DialogsTest::accountDialogLoadsAndMasksTheAccount()
{
    Program program;
    auto& account = program->forms().show<AccountDialog>();
    QVERIFY(activate(account));
    auto& id = child<QLineEdit>(account, u"IdText"_s);
    auto& pass = child<QLineEdit>(account, u"PassText"_s);
    QCOMPARE(id.text(), u"taro"_s);
    QCOMPARE(pass.text(), u"secret"_s);
    // Saved with NAME3=1, yet the save box starts unticked.
    QVERIFY(!child<QCheckBox>(account, u"Check1"_s).isChecked());

    QCOMPARE(pass.echoMode(), QLineEdit::Password);
    QCOMPARE(pass.displayText(), u"******"_s);
    retype(pass, u"ひみつ pw"_s);
    QCOMPARE(pass.text(), u"ひみつ pw"_s);
    QCOMPARE(pass.displayText(), QString(6, u'*'));
    QCOMPARE(id.displayText(), u"taro"_s);
}

void DialogsTest::saveBoxTogglesOnlyByItself()
{
    Program program;
    auto& account = program->forms().show<AccountDialog>();
    QVERIFY(activate(account));
    auto& box = child<QCheckBox>(account, u"Check1"_s);
    QTest::mouseClick(&child(account, u"Label2_1"_s), Qt::LeftButton);
    QTest::mouseClick(&child(account, u"Label2_1"_s), Qt::LeftButton, {}, QPoint(2, 8));
    QVERIFY(!box.isChecked());
    QTest::mouseClick(&box, Qt::LeftButton);
    QVERIFY(box.isChecked());
    QTest::keyClick(&box, Qt::Key_Space);
    QVERIFY(!box.isChecked());
    QCOMPARE(box.accessibleName(), u"IDパスワードを保存する"_s);
}

void DialogsTest::accountOkStoresTheAccount_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray typed = u"NAME=花子\r\nNAME2=ひみつ pw\r\n"_s.toUtf8();
    QTest::newRow("ticked, no file yet") << QByteArray() << true
                                         << QByteArray("[EXEINI]\r\n" + typed + "NAME3=1\r\n");
    QTest::newRow("ticked, account stored")
        << kAccountFile << true << QByteArray("[EXEINI]\r\n" + typed + "NAME3=1\r\n");
    QTest::newRow("unticked, no file yet") << QByteArray() << false
                                           << QByteArray("[EXEINI]\r\nNAME3=0\r\n");
    QTest::newRow("unticked, old account stays")
        << kAccountFile << false
        << QByteArray("[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\nNAME3=0\r\n");
}

void DialogsTest::accountOkStoresTheAccount()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, tick);
    QFETCH(QByteArray, expected);
    Program program(stored);
    auto& account = program->forms().show<AccountDialog>();
    QVERIFY(activate(account));
    QCOMPARE(focusName(), u"IdText"_s);
    retype(*QApplication::focusWidget(), u"花子"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    retype(*QApplication::focusWidget(), u"ひみつ pw"_s);
    if (tick)
        QTest::mouseClick(&child(account, u"Check1"_s), Qt::LeftButton);
    QTest::keyClick(&child(account, u"PassText"_s), Qt::Key_Return); // Enter presses OK

    QVERIFY(!program->forms().peek<AccountDialog>());
    QCOMPARE(program->values().UserId, u"花子"_s);
    QCOMPARE(program->values().UserPassword, u"ひみつ pw"_s);
    QCOMPARE(FakePlatform::readFile(program.fake.accountProfile()), expected);
    // The next use loads the account dialog anew from the file.
    auto& again = program->forms().get<AccountDialog>();
    QCOMPARE(again.IdText(), tick ? u"花子"_s : stored.isEmpty() ? QString() : u"taro"_s);
    QCOMPARE(again.PassText(), tick ? u"ひみつ pw"_s : stored.isEmpty() ? QString() : u"secret"_s);
    QVERIFY(!child<QCheckBox>(again, u"Check1"_s).isChecked());
}

void DialogsTest::accountCancelChangesNothing_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel clicked") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("close box") << 2;
}

void DialogsTest::accountCancelChangesNothing()
{
    QFETCH(int, how);
    Program program;
    auto& account = program->forms().show<AccountDialog>();
    QVERIFY(activate(account));
    retype(child(account, u"IdText"_s), u"jiro"_s);
    retype(child(account, u"PassText"_s), u"other"_s);
    QTest::mouseClick(&child(account, u"Check1"_s), Qt::LeftButton);
    if (how == 0)
        QTest::mouseClick(&child(account, u"CancelCommand"_s), Qt::LeftButton);
    else if (how == 1)
        QTest::keyClick(&child(account, u"PassText"_s), Qt::Key_Escape);
    else
        account.close();
    QVERIFY(!program->forms().peek<AccountDialog>());
    QVERIFY(program->values().UserId.isEmpty() && program->values().UserPassword.isEmpty());
    QCOMPARE(FakePlatform::readFile(program.fake.accountProfile()), kAccountFile);
    QCOMPARE(program->forms().get<AccountDialog>().IdText(), u"taro"_s);
}

void DialogsTest::intervalTextDrivesTheMainWindow_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("inOneChange");
    QTest::addColumn<QString>("label4");   // main window afterwards
    QTest::addColumn<QString>("text5");
    QTest::addColumn<QByteArray>("storedAtOnce"); // NUMBER2 before the dialog closes
    QTest::addColumn<QString>("reloaded");         // Text2 of the dialog loaded anew
    QTest::newRow("whole minutes") << u"30"_s << false << u"ON"_s << u"30"_s
                                   << QByteArray("15") << u"30"_s;
    QTest::newRow("number then letters") << u"5abc"_s << false << u"ON"_s << u"5abc"_s
                                         << QByteArray("15") << u"5"_s;
    QTest::newRow("fraction") << u"1.5"_s << false << u"ON"_s << u"1.5"_s << QByteArray("15")
                              << u"1"_s;
    QTest::newRow("letters only") << u"abc"_s << false << u"OFF"_s << u"abc"_s
                                  << QByteArray("abc") << u"0"_s;
    QTest::newRow("emptied") << QString() << false << u"OFF"_s << u"0"_s << QByteArray("0")
                             << u"0"_s;
    QTest::newRow("negative") << u"-3"_s << true << u"ON"_s << u"15"_s << QByteArray("15")
                              << u"-3"_s;
    QTest::newRow("Japanese") << u"１５分"_s << false << u"OFF"_s << u"１５分"_s
                              << u"１５分"_s.toUtf8() << u"0"_s;
}

void DialogsTest::intervalTextDrivesTheMainWindow()
{
    QFETCH(QString, typed);
    QFETCH(bool, inOneChange);
    QFETCH(QString, label4);
    QFETCH(QString, text5);
    QFETCH(QByteArray, storedAtOnce);
    QFETCH(QString, reloaded);
    Program program;
    auto& main = program->mainWindow();
    QCOMPARE(child<QLabel>(main, u"Label4"_s).text(), u"ON"_s);

    PreferencesDialog& prefs = program->forms().show<PreferencesDialog>();
    QVERIFY(activate(prefs));
    auto& text2 = child<QLineEdit>(prefs, u"Text2"_s);
    if (inOneChange)
        commitOver(text2, typed);
    else
        retype(text2, typed);

    const QString shown = typed.isEmpty() ? u"0"_s : typed;
    QCOMPARE(text2.text(), shown); // kept as typed while the dialog is loaded
    const bool on = label4 == u"ON"_s;
    QCOMPARE(child<QLabel>(main, u"Label4"_s).text(), label4);
    QCOMPARE(child<QCheckBox>(main, u"Check3"_s).isChecked(), on);
    QCOMPARE(child<QLineEdit>(main, u"Text5"_s).text(), text5);
    // The seconds count exactly while interval checking is on.
    const auto counters = [&]() -> QString {
        return program->scheduler().minutes() + u'/' + program->scheduler().seconds();
    };
    const QString counted = counters();
    if (on) {
        QTRY_VERIFY_WITH_TIMEOUT(counters() != counted, 5000);
    } else {
        QTest::qWait(1500);
        QCOMPARE(counters(), counted);
    }
    const QByteArray stored = FakePlatform::readFile(program.fake.mainProfile());
    QVERIFY2(stored.contains(QByteArray("NUMBER2=" + storedAtOnce + "\r\n")), stored.constData());

    program.fake.log.clear();
    prefs.close();
    QVERIFY(program.fake.log.calls().contains(u"profile: write ini.ini [EXEINI] NUMBER2="_s + shown));
    // From then on the program uses the interval as stored and read back, and the dialog shows
    // it when it is opened again.
    QCOMPARE(program->preferences().interval, reloaded);
    PreferencesDialog& next = program->forms().show<PreferencesDialog>();
    QVERIFY(&next != &prefs);
    QCOMPARE(next.intervalText(), reloaded);
}

void DialogsTest::preferencesAreStoredOnlyByTheCloseBox()
{
    Program program;
    PreferencesDialog& prefs = program->forms().show<PreferencesDialog>();
    QVERIFY(activate(prefs));
    QVERIFY(!prefs.hangsUpAfterCheck() && !prefs.boardErasesItself());
    QCOMPARE(prefs.intervalText(), u"15"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // Check1
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    retype(*QApplication::focusWidget(), u"20"_s);
    QTest::mouseClick(&child(prefs, u"Check2"_s), Qt::LeftButton);
    QVERIFY(prefs.hangsUpAfterCheck() && prefs.boardErasesItself());

    // Esc neither closes nor stores.
    program.fake.log.clear();
    QTest::keyClick(&child(prefs, u"Text2"_s), Qt::Key_Escape);
    QVERIFY(prefs.isVisible() && program->forms().peek<PreferencesDialog>() == &prefs);
    QVERIFY(program.fake.log.withPrefix(u"profile: write"_s).isEmpty());

    prefs.close();
    QCOMPARE(program.fake.log.withPrefix(u"profile: write"_s),
             (QStringList{u"profile: write ini.ini [EXEINI] NUMBER=1"_s,
                          u"profile: write ini.ini [EXEINI] NUMBER2=20"_s,
                          u"profile: write ini.ini [EXEINI] NUMBER4=1"_s}));
    QCOMPARE(FakePlatform::readFile(program.fake.mainProfile()),
             "[EXEINI]\r\nNUMBER2=20\r\nNUMBER=1\r\nNUMBER4=1\r\n");
    PreferencesDialog& next = program->forms().get<PreferencesDialog>();
    QVERIFY(next.hangsUpAfterCheck() && next.boardErasesItself());
    QCOMPARE(next.intervalText(), u"20"_s);
}

void DialogsTest::endingTheProgramDropsOpenPreferences()
{
    Program program;
    PreferencesDialog& prefs = program->forms().show<PreferencesDialog>();
    QVERIFY(activate(prefs));
    QTest::mouseClick(&child(prefs, u"Check1"_s), Qt::LeftButton);
    QTest::mouseClick(&child(prefs, u"Check2"_s), Qt::LeftButton);
    retype(child(prefs, u"Text2"_s), u"7"_s);
    QVERIFY(prefs.hangsUpAfterCheck() && prefs.boardErasesItself());
    program->mainWindow().quit();
    // Shut-down stores only the mail program and its flag.
    QCOMPARE(FakePlatform::readFile(program.fake.mainProfile()),
             u"[EXEINI]\r\nNUMBER2=15\r\nNAME=未設定\r\nNUMBER3=0\r\n"_s.toUtf8());
}

void DialogsTest::preferencesButtonsOpenTheOtherDialogsModeless()
{
    Program program;
    program->mainWindow().showPreferences();
    PreferencesDialog& prefs = *program->forms().peek<PreferencesDialog>();
    QVERIFY(prefs.isVisible() && !prefs.isModal());
    QTest::mouseClick(&child(prefs, u"Command1"_s), Qt::LeftButton);
    QTest::mouseClick(&child(prefs, u"Command2"_s), Qt::LeftButton);
    for (Form* dialog : std::initializer_list<Form*>{program->forms().peek<AccountDialog>(),
                                                     program->forms().peek<ServerDialog>()}) {
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    }
    QVERIFY(prefs.isVisible());
    QVERIFY(!QApplication::activeModalWidget());
}

void DialogsTest::hiddenDialogsAreShownWithoutLoadingAgain()
{
    Program program;
    // Loaded hidden at start-up; a change not yet confirmed survives being shown.
    AccountDialog& account = program->forms().get<AccountDialog>();
    QVERIFY(!account.isVisible());
    account.setIdText(u"unsaved"_s);
    QCOMPARE(&program->forms().show<AccountDialog>(), &account);
    QCOMPARE(account.IdText(), u"unsaved"_s);

    ServerDialog& server = program->forms().show<ServerDialog>();
    retype(child(server, u"SmtpText"_s), u"unsaved"_s);
    server.hide();
    program.fake.log.clear();
    QCOMPARE(&program->forms().show<ServerDialog>(), &server);
    QVERIFY(server.isVisible());
    QCOMPARE(child<QLineEdit>(server, u"SmtpText"_s).text(), u"unsaved"_s);
    QVERIFY(program.fake.log.withPrefix(u"SetWindowPos"_s).isEmpty()); // no second load
}

void DialogsTest::serverSaveThatFailsIsToldAndKeepsTheTyping()
{
    Program program;
    PrivateMounts mounts;
    PELMORA_REQUIRE_MOUNTS(mounts);
    auto& server = program->forms().show<ServerDialog>();
    QVERIFY(activate(server));
    retype(child(server, u"Pop3Text"_s), u"new.example"_s);
    QTest::mouseClick(&child(server, u"ApopCheck"_s), Qt::LeftButton);
    QVERIFY(mounts.makeReadOnly(QDir::currentPath()));
    program.fake.log.clear();
    QTest::mouseClick(&child(server, u"OkCommand"_s), Qt::LeftButton);

    QVERIFY(toldSaveFailure(program.fake, u"vbmail.ini"_s, EROFS));
    QCOMPARE(program->forms().peek<ServerDialog>(), &server);
    QVERIFY(server.isVisible());
    QCOMPARE(child<QLineEdit>(server, u"Pop3Text"_s).text(), u"new.example"_s);
    QVERIFY(child<QCheckBox>(server, u"ApopCheck"_s).isChecked());
    QCOMPARE(program->values().Pop3Server, u"pop.example"_s); // nothing saved, nothing changed
    QCOMPARE(FakePlatform::readFile(program.fake.serverFile()), kServerFile);

    // Once the folder can be written again, "設定" saves and closes.
    QVERIFY(mounts.undo(QDir::currentPath()));
    QTest::mouseClick(&child(server, u"OkCommand"_s), Qt::LeftButton);
    QVERIFY(!program->forms().peek<ServerDialog>());
    QCOMPARE(program->values().Pop3Server, u"new.example"_s);
    QCOMPARE(FakePlatform::readFile(program.fake.serverFile()),
             "SMTP=smtp.example\r\nPOP3=new.example\r\nMAIL=a@example\r\nAPOP=1\r\n");
    QCOMPARE(program.fake.log.withPrefix(u"MsgBox("_s).size(), 1);
}

void DialogsTest::preferencesOnAFullDiskAreToldOnceOnClosing()
{
    Program program;
    PrivateMounts mounts;
    PELMORA_REQUIRE_MOUNTS(mounts);
    PreferencesDialog& prefs = program->forms().show<PreferencesDialog>();
    QVERIFY(activate(prefs));
    const QByteArray stored = FakePlatform::readFile(program.fake.mainProfile());
    QVERIFY(mounts.makeFullDisk(program.fake.dataFolder()));
    program.fake.log.clear();

    // Every change to 0 is stored at once and fails, without a word.
    retype(child(prefs, u"Text2"_s), u"00"_s);
    QTest::mouseClick(&child(prefs, u"Check1"_s), Qt::LeftButton);
    QCOMPARE(child<QLabel>(program->mainWindow(), u"Label4"_s).text(), u"OFF"_s);
    QCOMPARE(program.fake.log.withPrefix(u"profile: write"_s).size(), 2);
    QVERIFY(program.fake.log.withPrefix(u"MsgBox("_s).isEmpty());

    // Closing tells once and keeps the dialog as it is.
    prefs.close();
    QVERIFY(toldSaveFailure(program.fake, u"ini.ini"_s, ENOSPC));
    QCOMPARE(program->forms().peek<PreferencesDialog>(), &prefs);
    QVERIFY(prefs.isVisible());
    QCOMPARE(prefs.intervalText(), u"00"_s);
    QVERIFY(prefs.hangsUpAfterCheck());
    QCOMPARE(FakePlatform::readFile(program.fake.mainProfile()), stored);

    QVERIFY(mounts.freeSpace(program.fake.dataFolder()));
    const auto writesBefore = program.fake.log.withPrefix(u"profile: write"_s).size();
    prefs.close();
    QVERIFY(!program->forms().peek<PreferencesDialog>());
    // "00" is stored as typed, reads back as 0, and an interval of 0 is stored at once.
    QCOMPARE(program.fake.log.withPrefix(u"profile: write"_s).mid(writesBefore),
             (QStringList{u"profile: write ini.ini [EXEINI] NUMBER=1"_s,
                          u"profile: write ini.ini [EXEINI] NUMBER2=00"_s,
                          u"profile: write ini.ini [EXEINI] NUMBER4=0"_s,
                          u"profile: write ini.ini [EXEINI] NUMBER2=0"_s}));
    QCOMPARE(FakePlatform::readFile(program.fake.mainProfile()),
             "[EXEINI]\r\nNUMBER2=0\r\nNUMBER=1\r\nNUMBER4=0\r\n");
    QCOMPARE(program.fake.log.withPrefix(u"MsgBox("_s).size(), 1);
}

void DialogsTest::accountSaveThatFailsIsToldAndKeepsTheTyping()
{
    Program program;
    PrivateMounts mounts;
    PELMORA_REQUIRE_MOUNTS(mounts);
    auto& account = program->forms().show<AccountDialog>();
    QVERIFY(activate(account));
    retype(child(account, u"IdText"_s), u"花子"_s);
    retype(child(account, u"PassText"_s), u"pw"_s);
    QTest::mouseClick(&child(account, u"Check1"_s), Qt::LeftButton);
    QVERIFY(mounts.makeReadOnly(program.fake.accountProfile()));
    program.fake.log.clear();
    QTest::keyClick(&child(account, u"PassText"_s), Qt::Key_Return); // OK

    QVERIFY(toldSaveFailure(program.fake, u"iniIdPass.ini"_s, EROFS));
    QCOMPARE(program->forms().peek<AccountDialog>(), &account);
    QVERIFY(account.isVisible());
    QCOMPARE(account.IdText(), u"花子"_s);
    QCOMPARE(account.PassText(), u"pw"_s);
    QVERIFY(child<QCheckBox>(account, u"Check1"_s).isChecked());
    QVERIFY(program->values().UserId.isEmpty());
    QCOMPARE(FakePlatform::readFile(program.fake.accountProfile()), kAccountFile);

    QVERIFY(mounts.undo(program.fake.accountProfile()));
    QTest::keyClick(&child(account, u"PassText"_s), Qt::Key_Return);
    QVERIFY(!program->forms().peek<AccountDialog>());
    QCOMPARE(program->values().UserId, u"花子"_s);
    QCOMPARE(FakePlatform::readFile(program.fake.accountProfile()),
             u"[EXEINI]\r\nNAME=花子\r\nNAME2=pw\r\nNAME3=1\r\n"_s.toUtf8());
}

void DialogsTest::noDataFolderSavesNothingAndTellsNothing()
{
    FakePlatform fake(FakePlatform::DataFolder::Missing);
    FakePlatform::writeFile(fake.serverFile(), kServerFile);
    Application app(fake.services());
    app.start();
    PreferencesDialog& prefs = app.forms().show<PreferencesDialog>();
    QTest::mouseClick(&child(prefs, u"Check1"_s), Qt::LeftButton);
    prefs.close();
    QVERIFY(!app.forms().peek<PreferencesDialog>());

    AccountDialog& account = app.forms().show<AccountDialog>();
    account.setIdText(u"taro"_s);
    QTest::mouseClick(&child(account, u"Check1"_s), Qt::LeftButton);
    QTest::mouseClick(&child(account, u"OKCommand"_s), Qt::LeftButton);
    QVERIFY(!app.forms().peek<AccountDialog>());
    QCOMPARE(app.values().UserId, u"taro"_s);

    QVERIFY(fake.log.withPrefix(u"MsgBox("_s).isEmpty());
    QVERIFY(!QFileInfo::exists(fake.dataFolder()));
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
