#pragma once

#include <QColor>
#include <QtGlobal>

// A colour as stored: 0x00BBGGRR, or a system colour code (high byte 0x80
// followed by the system colour index).
using TColor = quint32;

// "No colour": in a note's own colour fields it means the global setting.
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clBlack = 0x00000000;
constexpr TColor clYellow = 0x0000FFFF;
constexpr TColor clWhite = 0x00FFFFFF;

constexpr TColor clWindowText = 0x80000008;
constexpr TColor clHighlight = 0x8000000D;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clBtnHighlight = 0x80000014;

constexpr TColor rgbColor(int red, int green, int blue)
{
    return TColor(red & 0xFF) | (TColor(green & 0xFF) << 8) | (TColor(blue & 0xFF) << 16);
}

// Resolves system colour codes through the application palette.
QColor toQColor(TColor color);
TColor fromQColor(const QColor &color);
