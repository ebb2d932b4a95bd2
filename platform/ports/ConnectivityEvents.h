#pragma once

#include <functional>

namespace pelmora::platform {

// Moments after which a connection kept open to the mail server is likely dead and mail may have
// come meanwhile: the computer has woken from sleep, or the network has come back.
class ConnectivityEvents {
public:
    virtual ~ConnectivityEvents() = default;
    // `backOnline` is called at each such moment, on the thread that set it; an empty function
    // stops the calls.
    virtual void setListener(std::function<void()> backOnline) = 0;
};

} // namespace pelmora::platform
