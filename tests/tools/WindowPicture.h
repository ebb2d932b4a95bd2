#pragma once

// Saves the picture of a window the screenshot tools show, once the window system has it on
// screen, and prints where it went.

#include <QDir>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include <cstdio>

namespace pelmora::tools {

inline bool saveWindowPicture(QWidget& window, const QString& file)
{
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    QTest::qWait(200); // let the window system settle before grabbing
    if (!window.grab().save(file, "PNG"))
        return false;
    std::printf("%s\n", qPrintable(QDir::toNativeSeparators(file)));
    return true;
}

} // namespace pelmora::tools
