#include "platform/PromptAcknowledgement.h"

#if defined(Q_OS_LINUX)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace pelmora::platform {

bool AcknowledgePromptly(qintptr descriptor)
{
#if defined(Q_OS_LINUX) && defined(TCP_QUICKACK)
    const int on = 1;
    return descriptor >= 0
        && ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on) == 0;
#else
    // A Windows build sets SIO_TCP_SET_ACK_FREQUENCY here.
    Q_UNUSED(descriptor);
    return false;
#endif
}

} // namespace pelmora::platform
