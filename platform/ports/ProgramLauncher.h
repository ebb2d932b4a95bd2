#pragma once

#include <QString>

namespace pelmora::platform {

// Starts another program from its path, without waiting for it (VB's Shell).
class ProgramLauncher {
public:
    static constexpr int kNormalFocus = 1; // a normal window that takes the focus

    virtual ~ProgramLauncher() = default;
    virtual bool shell(const QString& path, int windowStyle) = 0;
};

} // namespace pelmora::platform
