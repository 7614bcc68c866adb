#pragma once

#include <QApplication>

#include <exception>

// The application object of the program. An exception that escapes an event
// handler of any window or timer ends here instead of ending the program:
// on the user-interface thread it goes to the installed TPellixErrorHandler.
class BrisquelApplication final : public QApplication
{
    Q_OBJECT

public:
    BrisquelApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

private:
    static void reportUnhandled(QObject *receiver, const std::exception_ptr &error);
};
