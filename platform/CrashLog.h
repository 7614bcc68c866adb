#pragma once

#include <QString>
#include <QStringList>

// A crash that no exception handler can catch (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL, SIGABRT) appends a record with the stack to the exception log
// before the process ends, so that it leaves a trace. Everything the signal
// handler needs is prepared when it is installed; the handler itself only
// formats into fixed buffers and writes with write(2), then lets the signal
// end the process with its default action.
namespace CrashLog {

// `machineLines` are the report's system lines, taken as they are now.
void install(const QString &logPath, const QStringList &machineLines);
// Restores the signal actions that were in place before install.
void uninstall();
bool isInstalled();

} // namespace CrashLog
