#pragma once

#include <QString>

#include <stdexcept>

// The program's own error: carries the text the user sees in the error report.
class BrisquelError : public std::runtime_error
{
public:
    explicit BrisquelError(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }

    QString message() const { return QString::fromUtf8(what()); }
};
