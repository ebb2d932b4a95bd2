#include "app/PlatformPlugin.h"

namespace pelmora::app {

using namespace Qt::StringLiterals;

QByteArray preferredPlatformPlugin(const QProcessEnvironment& environment)
{
    if (!environment.value(u"QT_QPA_PLATFORM"_s).isEmpty())
        return {};
    const bool waylandSession = !environment.value(u"WAYLAND_DISPLAY"_s).isEmpty() ||
                                environment.value(u"XDG_SESSION_TYPE"_s) == u"wayland"_s;
    const bool xDisplay = !environment.value(u"DISPLAY"_s).isEmpty();
    return waylandSession && xDisplay ? QByteArrayLiteral("xcb") : QByteArray();
}

} // namespace pelmora::app
