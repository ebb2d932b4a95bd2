#pragma once

#include "platform/ports/ScreenLock.h"

namespace pelmora::platform {

// On a build without D-Bus the program does not hear of the screen's lock: the window's own state
// (hidden, minimised, not exposed) is all it goes by.
class NoScreenLock final : public ScreenLock {
public:
    void setListener(std::function<void(bool)>) override {}
};

} // namespace pelmora::platform
