#pragma once

#include <QUrl>

namespace pelmora::platform {

// Opens an address in the user's web browser, which then lives on its own.
class HomepageBrowser {
public:
    virtual ~HomepageBrowser() = default;
    virtual bool navigate(const QUrl& address) = 0;
};

} // namespace pelmora::platform
