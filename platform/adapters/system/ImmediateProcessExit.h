#pragma once

#include "platform/ports/ProcessExit.h"

namespace pelmora::platform {

// Ends the process on the spot, after flushing standard output and error. Settings files are
// already complete on disk (every write replaces its file whole), so nothing is lost.
class ImmediateProcessExit final : public ProcessExit {
public:
    [[noreturn]] void endProcess() override;
};

} // namespace pelmora::platform
