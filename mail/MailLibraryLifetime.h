#pragma once

#include "platform/ports/MailLibrary.h"

namespace pelmora::mail {

// Opens the mail library at start-up and releases it at shut-down. The library must be usable
// for POP3 sessions between the two, and nothing may call it after the release.
class MailLibraryLifetime {
public:
    // The option the program sets right after initialising: option 1 with the value 8192, the
    // capacity of the text buffers the mail check hands to the library.
    static constexpr std::int32_t kBufferOption = 1;
    static constexpr std::int32_t kBufferOptionValue = platform::MailLibrary::kTextBufferCapacity;

    explicit MailLibraryLifetime(platform::MailLibrary& library) : m_library(library) {}

    void initialise();
    void release();

private:
    platform::MailLibrary& m_library;
    bool m_open = false;
};

} // namespace pelmora::mail
