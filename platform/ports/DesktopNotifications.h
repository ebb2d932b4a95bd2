#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace pelmora::platform {

// Notifications the desktop shows the way it shows every program's (a bubble or a banner, kept in
// its list of notifications).
class DesktopNotifications {
public:
    // What is shown at most: longer texts are cut (ending in "…"), further lines left out.
    static constexpr qsizetype kMaxTitleChars = 200;
    static constexpr qsizetype kMaxLineChars = 200;
    static constexpr qsizetype kMaxLines = 5;

    virtual ~DesktopNotifications() = default;
    // Shows `title` over `lines`, all plain text (nothing in them is read as markup; line breaks
    // inside a line are shown as spaces), without waiting. It takes the place of this program's
    // previous notification. `onClicked`, when given, runs when the user clicks the notification;
    // without it the notification offers no click.
    virtual void notify(const QString& title, const QStringList& lines,
                        std::function<void()> onClicked) = 0;
};

} // namespace pelmora::platform
