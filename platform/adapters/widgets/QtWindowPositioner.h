#pragma once

#include "platform/ports/WindowPositioner.h"

namespace pelmora::platform {

// Keeps a window above others with Qt's stay-on-top hint. Changing the hint makes Qt recreate the
// native window, so the adapter restores the window's position and size and shows it again.
class QtWindowPositioner final : public WindowPositioner {
public:
    bool setWindowPos(QWidget* window, InsertAfter insertAfter, int x, int y, int cx, int cy,
                      unsigned flags) override;
};

} // namespace pelmora::platform
