#pragma once

#include "platform/ports/FileTitle.h"

namespace pelmora::platform {

// GetFileTitleA for Linux paths: the title is everything after the last "/", extension included.
// A backslash, a drive letter and the characters * [ ] are ordinary bytes of a Linux file name.
// An empty path, one ending in "/" and a title too long for any Linux file system (more than
// 32766 bytes, so its size would not fit the answer) have no title.
class PosixFileTitle final : public FileTitle {
public:
    PosixFileTitle() = default;
    std::int16_t getFileTitle(std::string_view path, std::span<char> title) override;
};

} // namespace pelmora::platform
