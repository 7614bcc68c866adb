#pragma once

#include <QStringList>

// The forms and the notes written on Windows ask for Windows faces such as
// SimSun ("宋体"). Where those are not installed, the names are mapped to an
// installed font that has Chinese glyphs, so Chinese text renders.

// The installed families that stand in for the Windows faces, most wanted
// first; empty when no installed font covers Simplified Chinese.
QStringList CjkFallbackFamilies();

// Registers the substitutions. Call once, after the application object
// exists. Returns false when no installed font covers Simplified Chinese.
bool InstallFontFallback();
