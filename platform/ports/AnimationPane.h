#pragma once

#include <QString>

namespace pelmora::platform {

// The pane that shows the dog animation. It is told what to show the way a web-browser control
// is: with a "file://" address whose path may use backslashes as folder separators.
class AnimationPane {
public:
    virtual ~AnimationPane() = default;
    virtual void navigate(const QString& url) = 0;
    // While the screen is locked the animation rests, as it does while the pane is not on screen.
    virtual void setScreenLocked(bool locked) = 0;
};

} // namespace pelmora::platform
