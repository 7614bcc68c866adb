#include "platform/DisplayPlatform.h"

#include <QGuiApplication>

namespace DisplayPlatform {

QByteArray choose(const QByteArray &requested, const QByteArray &x11Display, const QByteArray &waylandDisplay)
{
    if (!requested.isEmpty())
        return {};
    // Wayland stays the fallback should the X server not answer.
    if (!x11Display.isEmpty() && !waylandDisplay.isEmpty())
        return QByteArrayLiteral("xcb;wayland");
    if (!waylandDisplay.isEmpty())
        return QByteArrayLiteral("wayland");
    return {};
}

void select()
{
    const QByteArray platform =
        choose(qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY"));
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
}

bool knowsWindowPlaces()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace DisplayPlatform
