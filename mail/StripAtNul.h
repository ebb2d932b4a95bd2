#pragma once

#include <string>
#include <string_view>

namespace pelmora::mail {

// The characters before the first NUL, or the whole text when it holds none. Applied to the
// buffers the mail library fills.
std::string_view StripAtNul(std::string_view text);

} // namespace pelmora::mail
