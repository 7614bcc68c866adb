#pragma once

#include "platform/SystemInfo.h"

#include <QString>
#include <QStringList>

#include <exception>

class QObject;

// The one place every error that no operation handles ends: builds the
// report, appends it to "ExceptionsLog.txt" in the data folder and shows
// it in the exception dialog. One instance lives from start-up to the end of
// the program; while it exists, fatal signals are logged as well.
class TPellixErrorHandler final
{
public:
    TPellixErrorHandler();
    ~TPellixErrorHandler();
    TPellixErrorHandler(const TPellixErrorHandler &) = delete;
    TPellixErrorHandler &operator=(const TPellixErrorHandler &) = delete;

    // The installed handler, none before start-up and after the end.
    static TPellixErrorHandler *instance();

    // Reports an error that escaped an event handler; never throws. Ends
    // the process with exit code 1 when the user chooses "终止(&T)".
    void HandleException(QObject *Sender, const std::exception_ptr &E) noexcept;

    // The stack, system and module sections of the report.
    static void AddDetails(QStringList &lines);
    static void ShowAndLog(const QStringList &lines);
    // Appends one record; a log that cannot be written is skipped.
    static void AppendToLog(const QString &path, const QStringList &lines);
    static QString LogPath();
};

// The report's text of an error: the message of a standard exception, the
// class name of anything else.
QString exceptionMessage(const std::exception_ptr &error);

// Two lines per module, sorted by load address: "[%.8x] path", then the
// preferred image base where it differs (else blanks) and the version text.
QStringList moduleLines(QList<SystemInfo::Module> modules);
