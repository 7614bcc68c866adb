#include "platform/Autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace Autostart {

namespace {

const QString kEntryName = QStringLiteral("autostart/brisquel.desktop");

// A desktop entry's key, the first time it appears in its main group.
QString entryValue(const QString &path, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inMainGroup && equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return QString();
}

// The entry in force: the user's, or else the first of the system folders'.
QString effectiveEntry()
{
    return QStandardPaths::locate(QStandardPaths::GenericConfigLocation, kEntryName);
}

bool isSystemEntry(const QString &path)
{
    return !path.isEmpty() && path != entryPath();
}

// An Exec argument quoted by the desktop entry rules, then escaped once more
// as a string value.
QString execArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString value = argument;
    value.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (std::none_of(value.cbegin(), value.cend(), [](QChar c) { return reserved.contains(c); }))
        return value;
    for (const QChar special : {u'\\', u'"', u'`', u'$'})
        value.replace(special, QStringLiteral("\\") + special);
    value = QLatin1Char('"') + value + QLatin1Char('"');
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    value.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    return value;
}

bool writeEntry(const QByteArray &contents)
{
    const QString path = entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

QString entryPath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QString() : config + QLatin1Char('/') + kEntryName;
}

bool canAutostart()
{
    return !entryPath().isEmpty() && QFileInfo(QCoreApplication::applicationFilePath()).isExecutable();
}

bool isAutostartEnabled()
{
    const QString path = effectiveEntry();
    return !path.isEmpty() && entryValue(path, QStringLiteral("Hidden")) != QLatin1String("true")
        && entryValue(path, QStringLiteral("X-GNOME-Autostart-enabled")) != QLatin1String("false");
}

bool setAutostartEnabled(bool enabled)
{
    if (!enabled) {
        // A system entry stays in force unless the user's entry hides it.
        const QString path = entryPath();
        QFile::remove(path);
        if (isSystemEntry(effectiveEntry()))
            return writeEntry(QByteArrayLiteral("[Desktop Entry]\nType=Application\nName=Brisquel\nHidden=true\n"));
        return !QFileInfo::exists(path);
    }
    const QString exec = execArgument(QCoreApplication::applicationFilePath()) + QStringLiteral(" /S");
    return writeEntry(QStringLiteral("[Desktop Entry]\n"
                                     "Type=Application\n"
                                     "Name=Brisquel\n"
                                     "Comment=Sticky notes on the desktop\n"
                                     "Exec=%1\n"
                                     "Icon=brisquel\n"
                                     "Terminal=false\n")
                          .arg(exec)
                          .toUtf8());
}

} // namespace Autostart
