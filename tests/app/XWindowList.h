#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>

// What an X server knows of the top-level windows on its screen: the titles a window manager
// shows (_NET_WM_NAME, and WM_NAME for older ones) and where the windows are. Kept apart from the
// tests because Xlib's headers define macros that clash with Qt's.
namespace pelmora::tests {

struct TopLevelWindow {
    unsigned long id = 0;
    QString netWmName; // _NET_WM_NAME, UTF-8
    QString wmName;    // WM_NAME, in whatever encoding the program chose
    QRect geometry;    // on the screen (a bare server has no frames)
};

class XWindowList {
public:
    explicit XWindowList(const QByteArray& displayName);
    ~XWindowList();
    XWindowList(const XWindowList&) = delete;
    XWindowList& operator=(const XWindowList&) = delete;

    bool isConnected() const { return m_display != nullptr; }

    // The mapped top-level windows a window manager would frame: pop-up menus and tooltips,
    // which bypass the window manager, are left out.
    QList<TopLevelWindow> framedWindows() const;
    // Whether a pop-up (a menu) is open.
    bool popupOpen() const;

private:
    void* m_display = nullptr;
};

} // namespace pelmora::tests
