#include "app/InternalProcs.h"

#include "platform/CodePage.h"
#include "platform/DateTime.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QWidget>

#include <pwd.h>
#include <unistd.h>

bool Starting = true;
bool ShuttingDown = false;
bool ShellReady = false;
QString UserFolder;

namespace {

QString &programFolderOverride()
{
    static QString folder;
    return folder;
}

QString withSeparator(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// Characters up to U+0020 are dropped at both ends, as for ids and names.
QString trimControl(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

// Creates the folder and its missing parents; the folders made here are
// readable by their owner only.
void makePrivatePath(const QString &path)
{
    const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'));
    QString current;
    for (const QString &part : parts) {
        current += part + QLatin1Char('/');
        if (part.isEmpty() || QDir(current).exists())
            continue;
        QDir().mkdir(current, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

} // namespace

QString ProgramFolder()
{
    const QString &folder = programFolderOverride();
    return withSeparator(folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder);
}

void setProgramFolder(const QString &folder)
{
    programFolderOverride() = folder;
}

QString LogOnName()
{
    const passwd *entry = getpwuid(getuid());
    const QString name = entry && entry->pw_name ? trimControl(QString::fromLocal8Bit(entry->pw_name)) : QString();
    return name.isEmpty() ? QStringLiteral("defaultUser") : name;
}

void InitUserFolder()
{
    UserFolder = ProgramFolder() + QStringLiteral("Users/") + LogOnName() + QLatin1Char('/');
    makePrivatePath(UserFolder);
}

QString NoteFileName(const QString &id)
{
    return UserFolder + trimControl(id) + QStringLiteral(".knt");
}

bool IsComponentNameUsed(const QString &name)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return false;
    const QString wanted = name.toUpper();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget *window : windows) {
        if (window->objectName().toUpper() == wanted)
            return true;
    }
    return false;
}

QString NewNoteID()
{
    const QString digits = Clock::now().toString(QStringLiteral("yyyyMMddHHmmss"));
    const QString base = QLatin1Char('N') + QString::number(digits.toLongLong(), 16).toUpper();
    for (quint64 counter = 0;; ++counter) {
        const QString candidate = base + QStringLiteral("%1").arg(counter, 2, 16, QLatin1Char('0')).toUpper();
        if (!QFile::exists(NoteFileName(candidate)) && !IsComponentNameUsed(candidate))
            return candidate;
    }
}

FontRecord FontToRecord(const ToolkitFont &font)
{
    FontRecord record;
    record.setFaceName(font.font.family());
    record.Size = quint8(font.font.pointSize() & 0xFF);
    record.Style = (font.font.bold() ? FontRecord::fsBold : 0) | (font.font.italic() ? FontRecord::fsItalic : 0)
        | (font.font.underline() ? FontRecord::fsUnderline : 0)
        | (font.font.strikeOut() ? FontRecord::fsStrikeOut : 0);
    record.Color = font.color;
    return record;
}

ToolkitFont RecordToFont(const FontRecord &record)
{
    ToolkitFont result;
    result.font.setFamily(record.faceName());
    if (record.Size > 0)
        result.font.setPointSize(record.Size);
    result.font.setBold(record.Style & FontRecord::fsBold);
    result.font.setItalic(record.Style & FontRecord::fsItalic);
    result.font.setUnderline(record.Style & FontRecord::fsUnderline);
    result.font.setStrikeOut(record.Style & FontRecord::fsStrikeOut);
    result.color = record.Color;
    return result;
}
