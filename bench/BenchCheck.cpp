#include "bench/BenchCheck.h"

#include <QElapsedTimer>

#include <algorithm>

namespace pelmora::bench {

using platform::MailBuffer;
using platform::MailLibrary;

CheckResult runCheck(MailLibrary& library, const BenchServer& server)
{
    QElapsedTimer clock;
    clock.start();
    CheckResult result;
    // Made once per check and kept for its whole run, as the check does.
    const auto textBuffer = [] { return MailBuffer(MailLibrary::kTextBufferCapacity, ' '); };
    MailBuffer first = textBuffer(), second = textBuffer(), third = textBuffer(),
               fourth = textBuffer();
    const std::int32_t handle = library.NMailPop3Connect(server.address);
    if (handle == MailLibrary::kNoConnection)
        return result;
    result.count =
        library.NMailPop3Authenticate(handle, server.user, server.password, server.apop ? -1 : 0);
    result.ok = result.count > 0;
    for (std::int32_t n = 1; n <= result.count; ++n) {
        library.NMailPop3GetMailStatus(handle, n, first, second, third, fourth, 0);
        const std::int32_t size = library.NMailPop3GetMailSize(handle, n);
        MailBuffer body(std::size_t(std::max(size, 0)) + 1, ' ');
        const std::int32_t got =
            library.NMailPop3GetMail(handle, n, first, second, third, fourth, body, 0, 0);
        if (size < 0 || got < 0)
            result.ok = false;
        else
            result.bytes += got;
    }
    library.NMailPop3Close(handle);
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    return result;
}

} // namespace pelmora::bench
