// Saves a picture of each settings window (server, account, preferences, sign-in, options),
// filled with plausible values, as OUTDIR/<the window's object name>.png:
// pelmora-screenshot-dialogs OUTDIR.
// Run it on a real X server (xvfb-run -a, QT_QPA_PLATFORM=xcb) with a Japanese font installed.
#include "app/Application.h"

#include "settings/forms/AccountDialog.h"
#include "settings/forms/NoticeOptionsWindow.h"
#include "settings/NoticeOptions.h"
#include "settings/forms/ServerDialog.h"
#include "settings/forms/PreferencesDialog.h"
#include "signin/forms/SignInWindow.h"

#include "platform/forms/JapaneseFont.h"

#include "tests/fakes/FakePlatform.h"
#include "tests/tools/WindowPicture.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;
using pelmora::fakes::FakePlatform;

namespace {
bool save(QWidget& dialog, const QString& folder)
{
    dialog.show();
    dialog.activateWindow();
    return pelmora::tools::saveWindowPicture(
        dialog, QDir(folder).filePath(dialog.objectName() + u".png"_s));
}
} // namespace

int main(int argc, char** argv)
{
    QApplication qtApp(argc, argv);
    // As the program itself does.
    QApplication::setFont(pelmora::platform::japaneseGothicFont(9));
    if (argc != 2) {
        std::fputs("usage: pelmora-screenshot-dialogs OUTDIR\n", stderr);
        return 2;
    }
    const QString folder = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(folder);

    FakePlatform fake;
    FakePlatform::writeFile(fake.serverFile(), "SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\n"
                                               "MAIL=taro@example.jp\r\nAPOP=1\r\n");
    FakePlatform::writeFile(fake.accountProfile(),
                            "[EXEINI]\r\nNAME=taro\r\nNAME2=himitsu\r\nNAME3=1\r\n");
    FakePlatform::writeFile(fake.mainProfile(),
                            "[EXEINI]\r\nNUMBER=1\r\nNUMBER2=15\r\nNUMBER4=1\r\n");
    // The sign-in window shows a saved choice, as the user finds it.
    FakePlatform::writeFile(fake.dataFolder() + u"/iniSignIn.ini"_s,
                            "[SIGNIN]\r\nPROVIDER=microsoft\r\n"
                            "CLIENTID=00000000-1111-2222-3333-444444444444\r\n"
                            "LOGINNAME=taro@outlook.jp\r\n");
    pelmora::app::Application app(fake.services());
    app.start();

    bool ok = save(app.forms().show<pelmora::settings::ServerDialog>(), folder);
    auto& account = app.forms().show<pelmora::settings::AccountDialog>();
    if (auto* saveBox = account.findChild<QCheckBox*>(u"Check1"_s))
        saveBox->setChecked(true);
    ok = save(account, folder) && ok;
    ok = save(app.forms().show<pelmora::settings::PreferencesDialog>(), folder) && ok;
    ok = save(app.forms().show<pelmora::signin::SignInWindow>(), folder) && ok;
    pelmora::settings::NoticeOptionsFile(fake.dataFolder()).write({true, true});
    ok = save(app.forms().show<pelmora::settings::NoticeOptionsWindow>(), folder) && ok;
    if (!ok) {
        std::fputs("pelmora-screenshot-dialogs: could not save every picture\n", stderr);
        return 1;
    }
    return 0;
}
