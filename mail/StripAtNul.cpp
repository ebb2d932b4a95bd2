#include "mail/StripAtNul.h"

namespace pelmora::mail {

std::string_view StripAtNul(std::string_view text)
{
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

} // namespace pelmora::mail
