// A small program that installs the error handler the way the program does,
// saves a file as a note would be saved, and then fails from a timer, for the
// tests that need a process of their own:
//
//   crash_helper <program folder> segv|bus|fpe|ill|abort
//                         dies of that signal inside crashInNamedFunction
//   crash_helper <program folder> terminate
//                         throws from a timer and answers the error dialog
//                         with "终止(&T)"
//
// Before failing it writes "saved.knt" in the program folder.
#include "app/BrisquelApplication.h"
#include "app/InternalProcs.h"
#include "errors/PellixErrorHandler.h"
#include "errors/ftmExceptionForm.h"
#include "platform/BrisquelError.h"
#include "platform/SafeFile.h"

#include <QPushButton>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

namespace {

volatile int zero = 0;
volatile int one = 1;
int *volatile nowhere = nullptr;

[[gnu::noinline]] void crashInNamedFunction(const QString &how)
{
    if (how == QLatin1String("segv"))
        *nowhere = 1;
    else if (how == QLatin1String("fpe"))
        zero = one / zero;
    else if (how == QLatin1String("ill"))
        __builtin_trap();
    else if (how == QLatin1String("bus"))
        std::raise(SIGBUS);
    else if (how == QLatin1String("abort"))
        std::abort();
    // Keeps the calls above from being tail calls that leave no frame here.
    zero = 0;
}

[[gnu::noinline]] void throwFromTimer()
{
    throw BrisquelError(QStringLiteral("Helper failed"));
}

void answerWithTerminate()
{
    if (auto *form = qobject_cast<TExceptionForm *>(QApplication::activeModalWidget()))
        form->TerminateBTN->click();
}

} // namespace

int main(int argc, char *argv[])
{
    // The crash is wanted; a core file is not.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    BrisquelApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString how = QString::fromLocal8Bit(argv[2]);
    setProgramFolder(QString::fromLocal8Bit(argv[1]));
    TPellixErrorHandler handler;
    if (SafeFile::write(ProgramFolder() + QStringLiteral("saved.knt"), "note saved before the failure\n")
        != SafeFile::Result::Saved)
        return 2;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, &answerWithTerminate);
    if (how == QLatin1String("terminate")) {
        answer.start(10);
        QTimer::singleShot(0, &throwFromTimer);
    } else {
        QTimer::singleShot(0, [how] { crashInNamedFunction(how); });
    }
    QTimer::singleShot(30000, &app, [] { QCoreApplication::exit(3); });
    return QCoreApplication::exec();
}
