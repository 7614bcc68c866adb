#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What an error report says about the machine: the operating system, the
// processor, the display and the modules loaded in the process.
namespace SystemInfo {

struct OsVersion
{
    QString name;        // the distribution's name from os-release
    QString edition;     // the kernel release
    int major = 0;       // kernel version numbers
    int minor = 0;
    quint32 build = 0;
    QString servicePack; // the kernel's build description
};

OsVersion osVersion();
// `System   : %s %s, Version: %d.%d, Build: %x, "%s"`
QString systemLine(const OsVersion &os);

struct Processor
{
    QString vendor;
    QString name;
    double mhz = 0;
    bool mmx = false;
    bool fdivBug = false;
};

// The first processor described in /proc/cpuinfo text.
Processor parseCpuInfo(const QByteArray &cpuInfo);
Processor processor();
// The clock moved to the nearest of the usual marketing values of its
// hundred: 00, 20, 33, 50, 60, 66, 80, 90 or the next hundred; a tie goes up.
int normalizedMHz(double mhz);
// "Processor: %s, %s, %d MHz %s%s"
QString processorLine(const Processor &cpu);

// "Display  : %dx%d pixels, %d bpp" for the primary screen.
QString displayLine();

// The system, processor and display lines of a report.
QStringList machineLines();

struct Module
{
    QString path;
    quintptr loadAddress = 0;
    std::optional<quintptr> preferredBase; // from the file's ELF header, when readable
};

// Every module mapped into the process; none when the loader gives no list.
std::optional<QList<Module>> loadedModules();

// The address an ELF file was linked for: the lowest address of its
// loadable segments (0 for position-independent files).
std::optional<quintptr> preferredImageBase(const QString &path);

// Hexadecimal in upper-case digits, at least eight of them.
QString hex8(quintptr value);

} // namespace SystemInfo
