#include "platform/adapters/widgets/QtWindowPositioner.h"

#include <QWidget>

namespace pelmora::platform {

bool QtWindowPositioner::setWindowPos(QWidget* window, InsertAfter insertAfter, int x, int y,
                                      int cx, int cy, unsigned flags)
{
    if (!window)
        return false;

    const QRect before = window->geometry();
    const bool wasVisible = window->isVisible();
    const bool topmost = insertAfter == InsertAfter::Topmost;
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != topmost)
        window->setWindowFlag(Qt::WindowStaysOnTopHint, topmost);

    QRect after = before;
    if (!(flags & kSwpNoMove))
        after.moveTopLeft({x, y});
    if (!(flags & kSwpNoSize))
        after.setSize({cx, cy});
    if (window->geometry() != after)
        window->setGeometry(after);

    if ((flags & kSwpShowWindow) || wasVisible)
        window->show();
    if (topmost)
        window->raise();
    return true;
}

} // namespace pelmora::platform
