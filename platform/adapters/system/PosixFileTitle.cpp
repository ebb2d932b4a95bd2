#include "platform/adapters/system/PosixFileTitle.h"

#include <algorithm>
#include <limits>

namespace pelmora::platform {

std::int16_t PosixFileTitle::getFileTitle(std::string_view path, std::span<char> title)
{
    // The caller's path is a C string: nothing after a NUL belongs to it.
    path = path.substr(0, path.find('\0'));
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return -1;
    const std::size_t needed = name.size() + 1;
    if (needed > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
        return -1;
    if (title.size() < needed)
        return static_cast<std::int16_t>(needed);
    std::copy(name.begin(), name.end(), title.begin());
    title[name.size()] = '\0';
    return 0;
}

} // namespace pelmora::platform
