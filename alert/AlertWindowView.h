#pragma once

#include <QString>

class QWidget;

namespace pelmora::alert {

// What the alert (the buttons 吠える♪ and 戻す, the sound watch) touches of the main window.
class AlertWindowView {
public:
    virtual ~AlertWindowView() = default;
    virtual void navigateAnimation(const QString& url) = 0; // WebBrowser1.Navigate
    virtual int soundLoopFlag() const = 0;                  // "ループ", 1 = repeat
    virtual void setSoundWatchEnabled(bool on) = 0;         // the sound watch runs
};

// What the status lamp (the picture at the left end of the bottom strip, ticked every second)
// touches of the main window.
class LampWindowView {
public:
    virtual ~LampWindowView() = default;
    virtual int intervalCheckingFlag() const = 0; // 1 while interval checking is on
    // Shows the picture in this file as the lamp; a file that cannot be read leaves the lamp as
    // it is.
    virtual void setLampPicture(const QString& pictureFile) = 0;
    // Starts the lamp timer's period afresh, so its next tick is a full period away.
    virtual void restartLampTimer() = 0;
    // Visible, not minimised, and the screen not locked: only then is anything painted.
    virtual bool isShownOnScreen() const = 0;
};

// What the mail program choice (the menu item 起動メーラーの設定, the scrolling caption) touches of the main window. The caption's
// position and text are kept even while the window is hidden; they are painted once it shows.
class MailProgramWindowView {
public:
    virtual ~MailProgramWindowView() = default;
    virtual QString mailProgramPath() const = 0; // the mail program's path
    virtual void setMailProgramPath(const QString& path) = 0;
    virtual QString mailProgramTitle() const = 0; // its file title
    virtual void setMailProgramTitle(const QString& title) = 0;
    virtual void setCaption(const QString& caption) = 0;
    virtual int captionLeft() const = 0; // in twips, within the bottom strip
    virtual void setCaptionLeft(int twips) = 0;
    virtual QWidget* dialogOwner() = 0; // the window the file dialog belongs to
};

} // namespace pelmora::alert
