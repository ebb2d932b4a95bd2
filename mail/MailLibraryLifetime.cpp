#include "mail/MailLibraryLifetime.h"

namespace pelmora::mail {

void MailLibraryLifetime::initialise()
{
    // Results are not examined: a library that fails to start simply fails every later call.
    m_library.NMailInitializeWinSock();
    m_library.NMailSetOption(kBufferOption, kBufferOptionValue);
    m_open = true;
}

void MailLibraryLifetime::release()
{
    if (!m_open)
        return;
    m_library.NMailEndWinSock();
    m_open = false;
}

} // namespace pelmora::mail
