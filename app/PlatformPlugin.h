#pragma once

#include <QByteArray>
#include <QProcessEnvironment>

namespace pelmora::app {

// The Qt platform plugin to choose before the application starts, or an empty text to leave the
// choice to Qt. In a Wayland session, staying on top of other windows and the tray icon work only
// through XWayland, so where an X display is available the xcb plugin is preferred — unless the
// user has chosen a plugin (QT_QPA_PLATFORM) already.
QByteArray preferredPlatformPlugin(const QProcessEnvironment& environment);

} // namespace pelmora::app
