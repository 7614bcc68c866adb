#include "app/BrisquelApplication.h"
#include "app/FontFallback.h"
#include "app/ProgramEntry.h"
#include "platform/DisplayPlatform.h"

#include <QCoreApplication>

namespace {

// The command line as QCoreApplication::arguments() gives it, read before
// there is an application object to ask.
QStringList commandLine(int argc, char *argv[])
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    return arguments;
}

} // namespace

int main(int argc, char *argv[])
{
    const EntryMode mode = entryModeFor(commandLine(argc, argv));
    // The terminate run shows nothing, so it gets no GUI application: it must
    // work where no display can be reached, from a service or a remote shell.
    if (mode == EntryMode::Terminate) {
        QCoreApplication app(argc, argv);
        return RunTerminateRequest();
    }
    DisplayPlatform::select();
    BrisquelApplication app(argc, argv);
    InstallFontFallback();
    if (mode == EntryMode::Uninstall)
        return RunUninstall();
    return RunNormal(mode != EntryMode::NoSplash);
}
