#pragma once

#include <QString>

class QWidget;

namespace pelmora::alert {

// What the alert (Command2, Command3, Timer2) touches of the main window.
class AlertWindowView {
public:
    virtual ~AlertWindowView() = default;
    virtual void navigateAnimation(const QString& url) = 0; // WebBrowser1.Navigate
    virtual int Check1() const = 0;                         // the loop flag, 1 = repeat
    virtual void setSoundWatchEnabled(bool on) = 0;         // Timer2.Enabled
};

// What the status lamp (Timer5) touches of the main window.
class LampWindowView {
public:
    virtual ~LampWindowView() = default;
    virtual int Check3() const = 0;                          // 1 while interval checking is on
    // Shows the picture in this file as the lamp; a file that cannot be read leaves the lamp as
    // it is.
    virtual void setImage1Picture(const QString& pictureFile) = 0;
    // Starts the lamp timer's period afresh, so its next tick is a full period away.
    virtual void restartLampTimer() = 0;
    // Visible and not minimised: only then is anything painted.
    virtual bool isShownOnScreen() const = 0;
};

// What the mail program choice (Command7, Timer4) touches of the main window. The caption's
// position and text are kept even while the window is hidden; they are painted once it shows.
class MailProgramWindowView {
public:
    virtual ~MailProgramWindowView() = default;
    virtual QString Text7() const = 0; // the mail program's path
    virtual void setText7(const QString& path) = 0;
    virtual QString Text8() const = 0; // its file title
    virtual void setText8(const QString& title) = 0;
    virtual void setLabel1Caption(const QString& caption) = 0;
    virtual int Label1Left() const = 0; // in twips, within the bottom strip
    virtual void setLabel1Left(int twips) = 0;
    virtual QWidget* dialogOwner() = 0; // the window the file dialog belongs to
};

} // namespace pelmora::alert
