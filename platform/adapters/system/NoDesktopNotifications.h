#pragma once

#include "platform/ports/DesktopNotifications.h"

namespace pelmora::platform {

// Notifications on a build without D-Bus, where the program cannot reach the desktop's
// notification service: nothing is shown, and so nothing is ever clicked.
class NoDesktopNotifications final : public DesktopNotifications {
public:
    void notify(const QString&, const QStringList&, std::function<void()>) override {}
};

} // namespace pelmora::platform
