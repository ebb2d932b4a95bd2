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
    // Not offered here (Windows has SIO_TCP_SET_ACK_FREQUENCY for this): the caller waits for
    // each reply before the next command that would make the server wait for an acknowledgement.
    Q_UNUSED(descriptor);
    return false;
#endif
}

} // namespace pelmora::platform
