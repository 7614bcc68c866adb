#include "app/InternalProcs.h"

#include "app/RegistryUnit.h"

#include "platform/CodePage.h"
#include "platform/DateTime.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

bool Starting = true;
bool ShuttingDown = false;
bool ShellReady = true;
QString UserFolder;

namespace {

int shellHolds = 0;
bool readyBeforeHolds = true;

QString &programFolderOverride()
{
    static QString folder;
    return folder;
}

QString withSeparator(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
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

QString TrimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

ShellReadyGuard::ShellReadyGuard()
{
    if (shellHolds++ == 0)
        readyBeforeHolds = ShellReady;
    ShellReady = false;
}

ShellReadyGuard::~ShellReadyGuard()
{
    if (--shellHolds == 0)
        ShellReady = readyBeforeHolds;
}

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
    const QString name = entry && entry->pw_name ? TrimBlanks(QString::fromLocal8Bit(entry->pw_name)) : QString();
    return name.isEmpty() ? QStringLiteral("defaultUser") : name;
}

namespace {

const QString kDataName = QStringLiteral("brisquel");

// The data folder of an installed copy: share/brisquel beside its bin/.
QString installedDataFolder()
{
    const QDir program(ProgramFolder());
    if (program.dirName() != QLatin1String("bin"))
        return QString();
    return QDir::cleanPath(program.absoluteFilePath(QStringLiteral("../share/")) + QLatin1Char('/') + kDataName)
        + QLatin1Char('/');
}

// Whether the folder, or the nearest of its parents that exists, takes new
// files.
bool canWriteBelow(const QString &path)
{
    QFileInfo folder(QDir::cleanPath(path));
    while (!folder.exists() && !folder.isRoot())
        folder = QFileInfo(folder.absolutePath());
    return folder.isDir() && folder.isWritable();
}

// Installed copies are shared by every user even where one of them (root)
// could write into bin/, so only a folder of its own counts as portable.
bool isPortable()
{
    const QString program = ProgramFolder();
    if (QFileInfo(program + QStringLiteral("Users")).isDir())
        return true;
    const QString installed = installedDataFolder();
    if (!installed.isEmpty() && QFileInfo(installed).isDir())
        return false;
    return canWriteBelow(program);
}

} // namespace

QString DataFolder()
{
    if (isPortable())
        return ProgramFolder();
    const QString folder = withSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        + kDataName + QLatin1Char('/');
    makePrivatePath(folder);
    return folder;
}

QString UsersFolder()
{
    return DataFolder() + QStringLiteral("Users/");
}

QString ProgramDataFile(const QString &name)
{
    const QString beside = ProgramFolder() + name;
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = installedDataFolder();
    if (!installed.isEmpty() && QFileInfo::exists(installed + name))
        return installed + name;
    const QString shared = QStandardPaths::locate(QStandardPaths::GenericDataLocation, kDataName + QLatin1Char('/') + name);
    return shared.isEmpty() ? beside : shared;
}

QString DefaultUserFolder()
{
    return UsersFolder() + LogOnName() + QLatin1Char('/');
}

QString NoteFolderFor(const QString &choice)
{
    if (TrimBlanks(choice).isEmpty())
        return DefaultUserFolder();
    return withSeparator(QDir::cleanPath(QDir::home().absoluteFilePath(TrimBlanks(choice))));
}

bool PrepareNoteFolder(const QString &folder)
{
    makePrivatePath(folder);
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

bool InitUserFolder()
{
    const QString chosen = NoteFolderChoice();
    if (!TrimBlanks(chosen).isEmpty() && PrepareNoteFolder(NoteFolderFor(chosen))) {
        UserFolder = NoteFolderFor(chosen);
        return true;
    }
    UserFolder = DefaultUserFolder();
    makePrivatePath(UserFolder);
    // A folder made by an older copy or by hand may let others read the notes.
    // A folder the user chose keeps the permissions the user gave it.
    const QFileInfo folder(UserFolder);
    const QFileDevice::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    if (folder.isDir() && folder.ownerId() == ::geteuid() && (folder.permissions() & others))
        QFile::setPermissions(UserFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return TrimBlanks(chosen).isEmpty();
}

QString NoteFileName(const QString &id)
{
    return UserFolder + TrimBlanks(id) + QStringLiteral(".knt");
}

QString NewNoteID(const NameInUse &isNameUsed)
{
    const QString digits = Clock::now().toString(QStringLiteral("yyyyMMddHHmmss"));
    const QString base = QLatin1Char('N') + QString::number(digits.toLongLong(), 16).toUpper();
    for (quint64 counter = 0;; ++counter) {
        const QString candidate = base + QStringLiteral("%1").arg(counter, 2, 16, QLatin1Char('0')).toUpper();
        if (!QFile::exists(NoteFileName(candidate)) && !(isNameUsed && isNameUsed(candidate)))
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
