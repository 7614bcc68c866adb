#include "platform/ColorValue.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

QColor systemColor(quint32 index)
{
    const QPalette palette = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
        ? QGuiApplication::palette()
        : QPalette();
    switch (index) {
    case 5: // window
        return palette.color(QPalette::Base);
    case 8: // window text
        return palette.color(QPalette::Text);
    case 13: // highlight
        return palette.color(QPalette::Highlight);
    case 14: // highlight text
        return palette.color(QPalette::HighlightedText);
    case 15: // button face
        return palette.color(QPalette::Button);
    case 18: // button text
        return palette.color(QPalette::ButtonText);
    case 20: // button highlight
        return palette.color(QPalette::Light);
    default:
        return palette.color(QPalette::Window);
    }
}

} // namespace

QColor toQColor(TColor color)
{
    if ((color & 0xFF000000u) == 0x80000000u)
        return systemColor(color & 0xFFu);
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

TColor fromQColor(const QColor &color)
{
    return rgbColor(color.red(), color.green(), color.blue());
}
