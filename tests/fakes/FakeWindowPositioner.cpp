#include "tests/fakes/FakeWindowPositioner.h"

#include <QWidget>

namespace pelmora::fakes {

using namespace Qt::StringLiterals;

bool FakeWindowPositioner::setWindowPos(QWidget* window, platform::InsertAfter insertAfter, int x,
                                        int y, int cx, int cy, unsigned flags)
{
    m_log.add(u"SetWindowPos(%1, %2, %3, %4, %5, %6, 0x%7)"_s
                  .arg(window ? window->objectName() : u"<null>"_s)
                  .arg(int(insertAfter))
                  .arg(x)
                  .arg(y)
                  .arg(cx)
                  .arg(cy)
                  .arg(flags, 0, 16));
    return passTo ? passTo->setWindowPos(window, insertAfter, x, y, cx, cy, flags) : true;
}

} // namespace pelmora::fakes
