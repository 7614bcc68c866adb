#include "notes/NoteFolderMove.h"

#include "notes/DeletedNotes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace {

using Outcome = NoteFolderMoveResult::Outcome;

// The notes and to-do projects, then the deleted notes, by their names
// relative to the folder.
QStringList noteFiles(const QString &folder)
{
    const auto filesIn = [](const QString &subfolder, const QStringList &patterns) {
        return QDir(subfolder).entryList(patterns, QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    };
    // Notes are found whatever the case of their extension, to-do projects
    // only by the exact one.
    QStringList files;
    for (const QString &name : filesIn(folder, {QStringLiteral("*.knt"), QStringLiteral("*.tdl")})) {
        if (name.endsWith(QLatin1String(".knt"), Qt::CaseInsensitive) || name.endsWith(QLatin1String(".tdl")))
            files.append(name);
    }
    const QString deleted = DeletedNotes::FolderName + QLatin1Char('/');
    for (const QString &name : filesIn(folder + QLatin1Char('/') + deleted, {QStringLiteral("*.knt")}))
        files.append(deleted + name);
    return files;
}

std::optional<QByteArray> bytesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

// A new file readable by its owner only, as the program writes notes; a
// partly written one is removed.
bool writeNewFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner))
        return false;
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (written && file.error() == QFileDevice::NoError)
        return true;
    file.remove();
    return false;
}

// The deleted notes' folder is made as private as the one it comes from.
bool makeFolderLike(const QString &folder, const QString &like)
{
    if (QFileInfo(folder).isDir())
        return true;
    return QDir().mkpath(folder) && QFile::setPermissions(folder, QFileInfo(like).permissions());
}

// Copies one file; the copy must read back byte for byte, which also
// keeps a damaged note exactly as it was. It keeps the modification time
// too: a deleted note's is the time it was deleted.
Outcome copyFile(const QString &source, const QString &target, bool &made)
{
    made = false;
    const std::optional<QByteArray> original = bytesOf(source);
    if (!original)
        return Outcome::CopyFailed;
    if (QFile::exists(target))
        return bytesOf(target) == original ? Outcome::Moved : Outcome::NameTaken;
    if (!makeFolderLike(QFileInfo(target).path(), QFileInfo(source).path()) || !writeNewFile(target, *original))
        return Outcome::CopyFailed;
    made = true;
    QFile copy(target);
    if (!copy.open(QIODevice::ReadWrite)
        || !copy.setFileTime(QFileInfo(source).lastModified(), QFileDevice::FileModificationTime))
        return Outcome::CopyFailed;
    return bytesOf(target) == original ? Outcome::Moved : Outcome::ReadBackDiffers;
}

} // namespace

NoteFolderMoveResult MoveNoteFiles(const QString &from, const QString &to)
{
    // Another name of the same folder (a link) already holds every file:
    // removing the "old" ones would remove the notes themselves.
    const QString sameFolder = QFileInfo(from).canonicalFilePath();
    if (!sameFolder.isEmpty() && sameFolder == QFileInfo(to).canonicalFilePath())
        return {};
    const QDir source(from);
    const QDir target(to);
    const QStringList files = noteFiles(from);
    QStringList made;
    for (const QString &name : files) {
        bool copyMade = false;
        const Outcome outcome = copyFile(source.filePath(name), target.filePath(name), copyMade);
        if (copyMade)
            made.append(name);
        if (outcome != Outcome::Moved) {
            for (const QString &copy : std::as_const(made))
                QFile::remove(target.filePath(copy));
            target.rmdir(DeletedNotes::FolderName);
            return {outcome, name};
        }
    }
    NoteFolderMoveResult result;
    for (const QString &name : files) {
        if (!QFile::remove(source.filePath(name)) && result.file.isEmpty())
            result = {Outcome::OldFilesLeft, name};
    }
    source.rmdir(DeletedNotes::FolderName);
    return result;
}
