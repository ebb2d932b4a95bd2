#pragma once

#include "platform/ports/ConnectivityEvents.h"

namespace pelmora::platform {

// On a build without D-Bus the program does not hear of sleep or the network: a connection that
// died meanwhile is found by its own timeouts, and the interval's checks go on.
class NoConnectivityEvents final : public ConnectivityEvents {
public:
    void setListener(std::function<void()>) override {}
};

} // namespace pelmora::platform
