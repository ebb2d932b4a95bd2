#pragma once

// The program started with a stored server and account, its sound and pictures in its program
// folder, its main window on the (offscreen) screen and a tick counter that follows real time.

#include "app/Application.h"
#include "platform/forms/CaptionLabel.h"

#include "tests/fakes/FakePlatform.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>

namespace pelmora::tests {

struct AlertProgram {
    AlertProgram()
    {
        fake.storeServerAndAccount();
        const QString dist = QString::fromUtf8(PELMORA_DIST_DIR);
        for (const QString& sub : {QStringLiteral("Sound"), QStringLiteral("画像データ")}) {
            QDir(fake.programFolder()).mkpath(sub);
            const QDir from(dist + u'/' + sub);
            for (const QString& name : from.entryList(QDir::Files))
                QFile::copy(from.filePath(name), fake.programFolder() + u'/' + sub + u'/' + name);
        }
        fake.tickCounter.runFrom(0);
    }
    // Starts the program and shows its main window.
    [[nodiscard]] bool start()
    {
        app.start();
        window().show();
        const bool exposed = QTest::qWaitForWindowExposed(&window());
        fake.log.clear();
        return exposed;
    }
    app::MainWindow& window() { return app.mainWindow(); }
    QString asset(const QString& path) const { return fake.programFolder() + u'/' + path; }
    QLabel& image1() { return *window().findChild<QLabel*>(QStringLiteral("Image1")); }
    pelmora::platform::CaptionLabel& captionLabel()
    {
        return *window().findChild<pelmora::platform::CaptionLabel*>(QStringLiteral("Label1"));
    }

    fakes::FakePlatform fake;
    app::Application app{fake.services()};
};

} // namespace pelmora::tests
