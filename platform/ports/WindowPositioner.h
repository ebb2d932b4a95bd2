#pragma once

class QWidget;

namespace pelmora::platform {

// SetWindowPos, used only to put a window above all others (or take it back) and show it.
enum class InsertAfter : int { Topmost = -1, NoTopmost = -2 };

inline constexpr unsigned kSwpNoSize = 0x01;
inline constexpr unsigned kSwpNoMove = 0x02;
inline constexpr unsigned kSwpShowWindow = 0x40;
// The flags every caller passes: keep position and size, show the window (0x43).
inline constexpr unsigned kSwpKeepGeometryAndShow = kSwpNoSize | kSwpNoMove | kSwpShowWindow;

class WindowPositioner {
public:
    virtual ~WindowPositioner() = default;
    virtual bool setWindowPos(QWidget* window, InsertAfter insertAfter, int x, int y, int cx,
                              int cy, unsigned flags) = 0;
};

} // namespace pelmora::platform
