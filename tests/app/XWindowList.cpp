#include "XWindowList.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <clocale>

namespace pelmora::tests {

namespace {

Display* display(void* handle)
{
    return static_cast<Display*>(handle);
}

// A window may vanish between listing and asking about it; that is no reason to end the test.
int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

QString netWmName(Display* d, Window w)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    QString name;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 4096, False,
                           XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        name = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(count));
    }
    if (data)
        XFree(data);
    return name;
}

QString wmName(Display* d, Window w)
{
    XTextProperty property{};
    if (!XGetWMName(d, w, &property) || !property.value)
        return {};
    char** list = nullptr;
    int count = 0;
    QString name;
    if (Xutf8TextPropertyToTextList(d, &property, &list, &count) == Success && count > 0)
        name = QString::fromUtf8(list[0]);
    if (list)
        XFreeStringList(list);
    XFree(property.value);
    return name;
}

template <typename Visit>
void forEachMappedTopLevel(Display* d, Visit visit)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(d, children[i], &attributes) &&
            attributes.map_state == IsViewable)
            visit(children[i], attributes);
    }
    if (children)
        XFree(children);
}

} // namespace

XWindowList::XWindowList(const QByteArray& displayName)
{
    // WM_NAME may be compound text; it is converted to UTF-8 through the locale.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    XSetErrorHandler(ignoreErrors);
    m_display = XOpenDisplay(displayName.constData());
}

XWindowList::~XWindowList()
{
    if (m_display)
        XCloseDisplay(display(m_display));
}

QList<TopLevelWindow> XWindowList::framedWindows() const
{
    QList<TopLevelWindow> windows;
    Display* d = display(m_display);
    forEachMappedTopLevel(d, [&](Window w, const XWindowAttributes& attributes) {
        if (attributes.override_redirect)
            return;
        windows.append({w, netWmName(d, w), wmName(d, w),
                        QRect(attributes.x, attributes.y, attributes.width, attributes.height)});
    });
    return windows;
}

bool XWindowList::popupOpen() const
{
    bool open = false;
    forEachMappedTopLevel(display(m_display), [&](Window, const XWindowAttributes& attributes) {
        open = open || attributes.override_redirect;
    });
    return open;
}

} // namespace pelmora::tests
