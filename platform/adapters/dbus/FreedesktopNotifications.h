#pragma once

#include "platform/ports/DesktopNotifications.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QDBusConnection;

namespace pelmora::platform {

// Desktop notifications through the freedesktop Notifications service on the session bus
// (org.freedesktop.Notifications: GNOME, KDE Plasma, Xfce, dunst, mako…). Every call is
// asynchronous, so a notification service that hangs never holds the program up. The body is
// the lines, one per line; a service that reads markup in bodies (capability "body-markup") gets
// '&', '<' and '>' escaped, so a subject's markup shows as written. Where no service answers,
// nothing is shown.
class FreedesktopNotifications final : public QObject, public DesktopNotifications {
    Q_OBJECT
public:
    // `busAddress` empty: the session bus. Tests pass the address of a private bus.
    explicit FreedesktopNotifications(QString busAddress = {});
    ~FreedesktopNotifications() override;

    void notify(const QString& title, const QStringList& lines,
                std::function<void()> onClicked) override;

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action);

private:
    QDBusConnection bus();
    void send(const QString& title, const QStringList& lines, bool markup, bool clickable);

    QString m_busAddress;
    QString m_connectionName;
    bool m_listening = false;
    uint m_shownId = 0; // the service's id of the notification shown last
    // Counts notify() calls: a reply that comes after a later call was made is not the one shown.
    quint64 m_sent = 0;
    std::function<void()> m_onClicked;
};

} // namespace pelmora::platform
