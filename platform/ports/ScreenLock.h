#pragma once

#include <functional>

namespace pelmora::platform {

// Whether the user's screen is locked or blanked by the screen saver: nothing on it can be seen
// then, whatever the windows' state says.
class ScreenLock {
public:
    virtual ~ScreenLock() = default;
    // `changed` is called with the new state each time it changes, on the thread that set it; an
    // empty function stops the calls. Until the first call the screen counts as unlocked.
    virtual void setListener(std::function<void(bool locked)> changed) = 0;
};

} // namespace pelmora::platform
