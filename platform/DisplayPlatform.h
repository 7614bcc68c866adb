#pragma once

#include <QByteArray>

// Which display platform the program runs on, and what that platform lets
// it do with its windows.
namespace DisplayPlatform {

// The platform to ask Qt for in a session with these environment values:
// X11 wherever the session offers it, also through XWayland, since only
// there do windows keep their places; Wayland where nothing else exists.
// Empty leaves the choice to Qt, always when the user made one.
QByteArray choose(const QByteArray &requested, const QByteArray &x11Display, const QByteArray &waylandDisplay);

// Applies choose() to this process's environment. Call before the
// application object exists.
void select();

// Whether the running platform places windows where the program asks and
// reports where they are. Wayland does neither for its clients.
bool knowsWindowPlaces();

} // namespace DisplayPlatform
