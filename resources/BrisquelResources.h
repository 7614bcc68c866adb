#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures, compiled into the library.

// The program icon (the tray icon and the about box's logo).
QIcon MainIcon();

// The splash window's picture, 247 x 110 pixels.
QPixmap SplashPicture();
