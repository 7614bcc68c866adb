#pragma once

#include <QStringList>

// The runs the command line can ask for.
enum class EntryMode {
    Normal,    // tray-resident run with the splash window
    NoSplash,  // "/S": the normal run without the splash window
    Terminate, // "/TERMINATE": ask the running instance to close
    Uninstall, // "/UNINSTALL": offer to delete every stored note
};

// Which run the command line asks for. `arguments` is the whole command line
// as QCoreApplication::arguments() gives it, the program first; only the first
// argument after it counts, its ASCII letters compared without case.
EntryMode entryModeFor(const QStringList &arguments);

// The tray-resident run: one instance at a time, the splash window unless
// showSplash is false, the main form and the message loop. The result is
// the exit code.
int RunNormal(bool showSplash);

// "/TERMINATE": makes a running instance shut down and returns once it has;
// returns at once when none runs. Shows nothing, so a QCoreApplication is
// enough; the result is the exit code.
int RunTerminateRequest();

// "/UNINSTALL": asks, then deletes the "Users" tree below the data folder in
// use with a progress window. Needs the QApplication object; the result is the
// exit code.
int RunUninstall();
