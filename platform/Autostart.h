#pragma once

#include <QString>

// Starting the program when the user logs in, through an entry in the
// user's autostart folder ($XDG_CONFIG_HOME/autostart) as the freedesktop
// autostart rules describe it. The state is always read from the entries
// themselves, so an entry removed by hand reads as off.
namespace Autostart {

// Whether the user's autostart folder is known and the program can name
// its own executable.
bool canAutostart();

// Whether the desktop starts the program at log-in: the user's entry, or
// else one of the system's, exists and is not hidden.
bool isAutostartEnabled();

// Writes the user's entry, starting this executable without the splash, or
// takes it away (hiding a system entry of the same name). False when the
// entry could not be written or removed.
bool setAutostartEnabled(bool enabled);

// The user's entry file.
QString entryPath();

} // namespace Autostart
