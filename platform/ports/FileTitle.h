#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace pelmora::platform {

// GetFileTitleA: the file name of a path without its folders, written NUL-terminated into
// `title`. Answers 0 on success, the size needed when `title` is too small, or a negative value
// for a path that has no title.
class FileTitle {
public:
    virtual ~FileTitle() = default;
    virtual std::int16_t getFileTitle(std::string_view path, std::span<char> title) = 0;
};

} // namespace pelmora::platform
