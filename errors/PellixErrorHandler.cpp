#include "errors/PellixErrorHandler.h"

#include "app/InternalProcs.h"
#include "app/rsFileVersion.h"
#include "errors/ftmExceptionForm.h"
#include "platform/CodePage.h"
#include "platform/CrashLog.h"
#include "platform/DateTime.h"
#include "platform/StackTracer.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

TPellixErrorHandler *installedHandler = nullptr;

QString dashedLine()
{
    return QString(64, QLatin1Char('-'));
}

QString demangled(const char *name)
{
    int status = 0;
    char *plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    const QString result = QString::fromUtf8(plain && status == 0 ? plain : name);
    std::free(plain);
    return result;
}

QStringList messageLines(const QString &message)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    return message.split(lineBreak);
}

QByteArray recordBytes(const QStringList &lines)
{
    QStringList record;
    record << QStringLiteral("############# ERROR ON: ") + dateTimeText(Now());
    record << QCoreApplication::applicationFilePath();
    record << lines;
    record << QStringLiteral("### END LOG") << QString() << QString();
    QByteArray bytes;
    for (const QString &line : std::as_const(record))
        bytes += CodePage::toCp936(line) + "\r\n";
    return bytes;
}

} // namespace

TPellixErrorHandler::TPellixErrorHandler()
{
    installedHandler = this;
    CrashLog::install(LogPath(), SystemInfo::machineLines());
}

TPellixErrorHandler::~TPellixErrorHandler()
{
    CrashLog::uninstall();
    if (installedHandler == this)
        installedHandler = nullptr;
}

TPellixErrorHandler *TPellixErrorHandler::instance()
{
    return installedHandler;
}

void TPellixErrorHandler::HandleException(QObject *, const std::exception_ptr &E) noexcept
{
    try {
        QStringList lines = messageLines(exceptionMessage(E));
        lines << dashedLine();
        AddDetails(lines);
        ShowAndLog(lines);
    } catch (...) {
        // A report that cannot be built is given up: the handler never raises.
    }
}

void TPellixErrorHandler::AddDetails(QStringList &lines)
{
    if (const auto stack = StackTracer::threadStackList()) {
        lines << QStringLiteral("Stack list, generated %1").arg(dateTimeText(stack->generated));
        lines << StackTracer::frameLines(stack->frames);
        lines << dashedLine();
    }
    lines << SystemInfo::machineLines();
    lines << dashedLine();
    if (const auto modules = SystemInfo::loadedModules()) {
        lines << QStringLiteral("List of loaded modules:") << QString();
        lines << moduleLines(*modules);
    }
}

void TPellixErrorHandler::ShowAndLog(const QStringList &lines)
{
    TExceptionForm form;
    form.SetReportLines(lines);
    form.AddProductVersions();
    try {
        AppendToLog(LogPath(), form.ReportLines());
    } catch (...) {
        // The dialog still shows when the log cannot be written.
    }
    QApplication::beep();
    if (form.ShowModal() == TExceptionForm::ResultAbort) {
        // At once: no window is closed and no note saved on the way out.
        std::fflush(nullptr);
        std::_Exit(1);
    }
}

void TPellixErrorHandler::AppendToLog(const QString &path, const QStringList &lines)
{
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.close();
    if (!file.exists() || !file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(recordBytes(lines));
    file.close();
}

QString TPellixErrorHandler::LogPath()
{
    return DataFolder() + QStringLiteral("ExceptionsLog.txt");
}

QString exceptionMessage(const std::exception_ptr &error)
{
    if (!error)
        return QString();
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &exception) {
        return QString::fromUtf8(exception.what());
    } catch (...) {
        const std::type_info *type = abi::__cxa_current_exception_type();
        return QStringLiteral("Exception of class %1")
            .arg(type ? demangled(type->name()) : QStringLiteral("unknown"));
    }
}

QStringList moduleLines(QList<SystemInfo::Module> modules)
{
    std::stable_sort(modules.begin(), modules.end(), [](const SystemInfo::Module &left, const SystemInfo::Module &right) {
        return left.loadAddress < right.loadAddress;
    });
    QStringList lines;
    for (const SystemInfo::Module &module : std::as_const(modules)) {
        lines << QStringLiteral("[%1] %2").arg(SystemInfo::hex8(module.loadAddress), module.path);
        const bool moved = module.preferredBase && *module.preferredBase != module.loadAddress;
        const QString base = moved ? QStringLiteral("<%1> ").arg(SystemInfo::hex8(*module.preferredBase))
                                   : QString(11, QLatin1Char(' '));
        lines << base + QLatin1Char(' ') + FileVersionText(module.path);
    }
    return lines;
}
