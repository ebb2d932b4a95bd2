#pragma once

#include <QString>

#include <utility>

namespace pelmora::platform {

// The outcome of writing a file: whether it was written and, if not, why, in the system's own
// words ("Read-only file system", "No space left on device"), so the user can be told.
struct WriteResult {
    bool written = true;
    QString reason; // empty when written

    explicit operator bool() const { return written; }

    static WriteResult done() { return {}; }
    static WriteResult failed(QString why) { return {false, std::move(why)}; }
    // The text the system gives for an errno value, in the user's language where it has one.
    static WriteResult failedWithError(int error) { return failed(qt_error_string(error)); }
};

} // namespace pelmora::platform
