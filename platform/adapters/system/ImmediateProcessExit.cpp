#include "platform/adapters/system/ImmediateProcessExit.h"

#include <cstdio>
#include <cstdlib>

namespace pelmora::platform {

void ImmediateProcessExit::endProcess()
{
    std::fflush(nullptr);
    std::_Exit(EXIT_SUCCESS);
}

} // namespace pelmora::platform
