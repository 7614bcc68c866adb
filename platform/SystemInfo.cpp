#include "platform/SystemInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>

#include <elf.h>
#include <link.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Only files of the process's own word size can be loaded into it.
constexpr unsigned char kNativeClass = sizeof(void *) == 8 ? ELFCLASS64 : ELFCLASS32;

QString unquoted(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    static const QRegularExpression escaped(QStringLiteral(R"(\\(.))"));
    return value.replace(escaped, QStringLiteral("\\1"));
}

QString osReleaseValue(const QByteArray &text, const QString &key)
{
    const QString prefix = key + QLatin1Char('=');
    for (const QString &line : QString::fromUtf8(text).split(QLatin1Char('\n'))) {
        if (line.startsWith(prefix))
            return unquoted(line.mid(prefix.size()));
    }
    return QString();
}

QByteArray readOsRelease()
{
    for (const char *path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return QByteArray();
}

QString cpuField(const QString &line, const QString &key)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0 || line.left(colon).trimmed() != key)
        return QString();
    return line.mid(colon + 1).trimmed();
}

quintptr lowestLoadAddress(const ElfW(Phdr) *headers, int count, quintptr bias)
{
    quintptr low = std::numeric_limits<quintptr>::max();
    for (int index = 0; index < count; ++index) {
        if (headers[index].p_type == PT_LOAD)
            low = std::min<quintptr>(low, bias + headers[index].p_vaddr);
    }
    return low;
}

int addModule(dl_phdr_info *info, std::size_t, void *data)
{
    auto *modules = static_cast<QList<SystemInfo::Module> *>(data);
    const quintptr load = lowestLoadAddress(info->dlpi_phdr, info->dlpi_phnum, info->dlpi_addr);
    if (load == std::numeric_limits<quintptr>::max())
        return 0;
    SystemInfo::Module module;
    // The loader names the program itself with an empty string.
    const bool isProgram = !info->dlpi_name || info->dlpi_name[0] == '\0';
    module.path = isProgram ? QCoreApplication::applicationFilePath() : QFile::decodeName(info->dlpi_name);
    if (module.path.isEmpty())
        module.path = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    module.loadAddress = load;
    modules->append(module);
    return 0;
}

} // namespace

namespace SystemInfo {

// The report's system line was made for Windows ("Windows XP Professional,
// Version: 5.1, Build: A28, "Service Pack 2""). Here: the name is the
// distribution's PRETTY_NAME (else NAME, else the kernel's name), the edition
// the kernel release, version and build the kernel's three numbers, and the
// service-pack text the kernel's build description (uname -v).
OsVersion osVersion()
{
    OsVersion os;
    utsname kernel{};
    const bool haveKernel = uname(&kernel) == 0;
    const QByteArray release = readOsRelease();
    os.name = osReleaseValue(release, QStringLiteral("PRETTY_NAME"));
    if (os.name.isEmpty())
        os.name = osReleaseValue(release, QStringLiteral("NAME"));
    if (!haveKernel)
        return os;
    if (os.name.isEmpty())
        os.name = QString::fromLocal8Bit(kernel.sysname);
    os.edition = QString::fromLocal8Bit(kernel.release);
    os.servicePack = QString::fromLocal8Bit(kernel.version);
    static const QRegularExpression numbers(QStringLiteral(R"(^(\d+)\.(\d+)(?:\.(\d+))?)"));
    const QRegularExpressionMatch match = numbers.match(os.edition);
    if (match.hasMatch()) {
        os.major = match.captured(1).toInt();
        os.minor = match.captured(2).toInt();
        os.build = match.captured(3).toUInt();
    }
    return os;
}

QString systemLine(const OsVersion &os)
{
    return QStringLiteral("System   : %1 %2, Version: %3.%4, Build: %5, \"%6\"")
        .arg(os.name, os.edition, QString::number(os.major), QString::number(os.minor),
             QString::number(os.build, 16).toUpper(), os.servicePack);
}

Processor parseCpuInfo(const QByteArray &cpuInfo)
{
    Processor cpu;
    for (const QString &line : QString::fromUtf8(cpuInfo).split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty()) {
            if (!cpu.vendor.isEmpty() || !cpu.name.isEmpty())
                break; // end of the first processor's block
            continue;
        }
        if (const QString vendor = cpuField(line, QStringLiteral("vendor_id")); !vendor.isEmpty())
            cpu.vendor = vendor;
        else if (const QString name = cpuField(line, QStringLiteral("model name")); !name.isEmpty())
            cpu.name = name;
        else if (const QString mhz = cpuField(line, QStringLiteral("cpu MHz")); !mhz.isEmpty())
            cpu.mhz = mhz.toDouble();
        else if (const QString flags = cpuField(line, QStringLiteral("flags")); !flags.isEmpty())
            cpu.mmx = flags.split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(QStringLiteral("mmx"));
        else if (const QString fdiv = cpuField(line, QStringLiteral("fdiv_bug")); !fdiv.isEmpty())
            cpu.fdivBug = fdiv == QLatin1String("yes");
    }
    return cpu;
}

Processor processor()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return Processor();
    return parseCpuInfo(file.readAll());
}

int normalizedMHz(double mhz)
{
    if (!(mhz > 0))
        return 0;
    const double hundreds = std::floor(mhz / 100) * 100;
    const double rest = mhz - hundreds;
    int best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    // Ascending, and an equal distance replaces the best: a tie goes up.
    for (const int step : {0, 20, 33, 50, 60, 66, 80, 90, 100}) {
        const double distance = std::fabs(rest - step);
        if (distance <= bestDistance) {
            best = step;
            bestDistance = distance;
        }
    }
    return int(hundreds) + best;
}

QString processorLine(const Processor &cpu)
{
    return QStringLiteral("Processor: %1, %2, %3 MHz %4%5")
        .arg(cpu.vendor, cpu.name, QString::number(normalizedMHz(cpu.mhz)),
             cpu.mmx ? QStringLiteral("MMX") : QString(),
             cpu.fdivBug ? QStringLiteral(" [FDIV Bug]") : QString());
}

QString displayLine()
{
    int width = 0;
    int height = 0;
    int depth = 0;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            const QSize size = screen->geometry().size() * screen->devicePixelRatio();
            width = size.width();
            height = size.height();
            depth = screen->depth();
        }
    }
    return QStringLiteral("Display  : %1x%2 pixels, %3 bpp").arg(width).arg(height).arg(depth);
}

QStringList machineLines()
{
    return {systemLine(osVersion()), processorLine(processor()), displayLine()};
}

std::optional<QList<Module>> loadedModules()
{
    QList<Module> modules;
    dl_iterate_phdr(addModule, &modules);
    if (modules.isEmpty())
        return std::nullopt;
    for (Module &module : modules)
        module.preferredBase = preferredImageBase(module.path);
    return modules;
}

std::optional<quintptr> preferredImageBase(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    ElfW(Ehdr) header{};
    if (file.read(reinterpret_cast<char *>(&header), sizeof header) != qint64(sizeof header))
        return std::nullopt;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != kNativeClass
        || header.e_phentsize < sizeof(ElfW(Phdr)) || header.e_phnum == 0)
        return std::nullopt;
    const qint64 tableEnd = qint64(header.e_phoff) + qint64(header.e_phnum) * header.e_phentsize;
    if (header.e_phoff == 0 || tableEnd > file.size())
        return std::nullopt;
    QList<ElfW(Phdr)> segments;
    for (int index = 0; index < header.e_phnum; ++index) {
        ElfW(Phdr) segment{};
        if (!file.seek(qint64(header.e_phoff) + qint64(index) * header.e_phentsize)
            || file.read(reinterpret_cast<char *>(&segment), sizeof segment) != qint64(sizeof segment))
            return std::nullopt;
        segments.append(segment);
    }
    const quintptr base = lowestLoadAddress(segments.constData(), int(segments.size()), 0);
    if (base == std::numeric_limits<quintptr>::max())
        return std::nullopt;
    return base;
}

QString hex8(quintptr value)
{
    return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace SystemInfo
