#include "app/BrisquelApplication.h"
#include "app/FontFallback.h"
#include "app/ProgramEntry.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    BrisquelApplication app(argc, argv);
    InstallFontFallback();
    switch (entryModeFor(QCoreApplication::arguments())) {
    case EntryMode::Terminate:
        return RunTerminateRequest();
    case EntryMode::Uninstall:
        return RunUninstall();
    case EntryMode::NoSplash:
        return RunNormal(false);
    case EntryMode::Normal:
        break;
    }
    return RunNormal(true);
}
