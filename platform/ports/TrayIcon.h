#pragma once

#include <QString>

#include <cstdint>
#include <functional>

namespace pelmora::platform {

// The task-tray icon: icon, tip text, a show-icon operation and one event with an integer code
// (0: the user clicked the icon; 1: the user asked for the pop-up menu).
class TrayIcon {
public:
    using EventHandler = std::function<void(std::int16_t code)>;

    virtual ~TrayIcon() = default;
    // The picture file (a Qt resource path such as ":/pelmora/pelmora.png") shown as the icon.
    virtual void setIcon(const QString& pictureFile) = 0;
    virtual void setTipText(const QString& tip) = 0;
    virtual void showIcon() = 0;
    // False where the desktop has no notification area to put the icon into.
    virtual bool isAvailable() const = 0;
    virtual void setEventHandler(EventHandler handler) = 0;
    // A short message in a balloon beside the icon, without waiting. Answers false, showing
    // nothing, where it cannot be shown: no notification area, or the icon is not in it.
    virtual bool showMessage(const QString& title, const QString& text) = 0;
};

} // namespace pelmora::platform
