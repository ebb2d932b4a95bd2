#include "platform/adapters/widgets/QtTrayIcon.h"

namespace pelmora::platform {

QtTrayIcon::QtTrayIcon(QObject* parent) : QObject(parent)
{
    connect(&m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (m_handler)
                    m_handler(eventCode(reason));
            });
}

std::int16_t QtTrayIcon::eventCode(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger: return 0;
    case QSystemTrayIcon::Context: return 1;
    case QSystemTrayIcon::DoubleClick: return 2;
    case QSystemTrayIcon::MiddleClick: return 3;
    case QSystemTrayIcon::Unknown: break;
    }
    return -1;
}

void QtTrayIcon::setIcon(const QString& pictureFile)
{
    m_icon.setIcon(QIcon(pictureFile));
}

void QtTrayIcon::setTipText(const QString& tip)
{
    m_icon.setToolTip(tip);
}

void QtTrayIcon::showIcon()
{
    m_icon.show();
}

bool QtTrayIcon::showMessage(const QString& title, const QString& text)
{
    if (!isAvailable() || !m_icon.isVisible() || !QSystemTrayIcon::supportsMessages())
        return false;
    m_icon.showMessage(title, text, QSystemTrayIcon::Warning);
    return true;
}

bool QtTrayIcon::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

} // namespace pelmora::platform
