#pragma once

#include "platform/ports/TrayIcon.h"

#include <QObject>
#include <QSystemTrayIcon>

namespace pelmora::platform {

// The tray icon through Qt. A left click raises code 0 and a right click (the context request)
// code 1; a double click raises 2 and a middle click 3, which the program ignores. The pop-up
// menu is the program's own, shown by its handler of code 1.
class QtTrayIcon final : public QObject, public TrayIcon {
    Q_OBJECT
public:
    explicit QtTrayIcon(QObject* parent = nullptr);

    void setIcon(const QString& pictureFile) override;
    void setTipText(const QString& tip) override;
    void showIcon() override;
    bool isAvailable() const override;
    void setEventHandler(EventHandler handler) override { m_handler = std::move(handler); }
    bool showMessage(const QString& title, const QString& text) override;

    // The code a user action on the icon raises.
    static std::int16_t eventCode(QSystemTrayIcon::ActivationReason reason);

private:
    QSystemTrayIcon m_icon;
    EventHandler m_handler;
};

} // namespace pelmora::platform
