#include "app/BrisquelApplication.h"

#include "errors/PellixErrorHandler.h"

#include <QThread>

#include <cxxabi.h>

#include <cstdio>

BrisquelApplication::BrisquelApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool BrisquelApplication::notify(QObject *receiver, QEvent *event)
{
    std::exception_ptr error;
    try {
        return QApplication::notify(receiver, event);
    } catch (abi::__forced_unwind &) {
        throw; // a cancelled thread must finish unwinding
    } catch (...) {
        error = std::current_exception();
    }
    // Reported outside the catch block: the dialog runs an event loop, and a
    // further error in it is a new report of its own.
    reportUnhandled(receiver, error);
    return false;
}

void BrisquelApplication::reportUnhandled(QObject *receiver, const std::exception_ptr &error)
{
    TPellixErrorHandler *handler = TPellixErrorHandler::instance();
    if (handler && QThread::currentThread() == QCoreApplication::instance()->thread()) {
        handler->HandleException(receiver, error);
        return;
    }
    // Other threads, or no handler yet: the error is not shown, but it must
    // not end the program either.
    try {
        qCritical("Unhandled exception in an event handler: %s", qUtf8Printable(exceptionMessage(error)));
    } catch (...) {
        std::fputs("Unhandled exception in an event handler\n", stderr);
    }
}
