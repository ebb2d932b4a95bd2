#pragma once

namespace pelmora::platform {

// Ends the process at once: no window runs its own unload handling and no further event is
// handled. The last step of shutting down.
class ProcessExit {
public:
    virtual ~ProcessExit() = default;
    virtual void endProcess() = 0;
};

} // namespace pelmora::platform
