#include "notes/NoteFolderMove.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace {

using Outcome = NoteFolderMoveResult::Outcome;

QStringList noteFiles(const QString &folder)
{
    const QStringList candidates = QDir(folder).entryList({QStringLiteral("*.knt"), QStringLiteral("*.tdl")},
                                                          QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    // Notes are found whatever the case of their extension, to-do projects
    // only by the exact one.
    QStringList files;
    for (const QString &name : candidates) {
        if (name.endsWith(QLatin1String(".knt"), Qt::CaseInsensitive) || name.endsWith(QLatin1String(".tdl")))
            files.append(name);
    }
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

// Copies one file; the copy must read back byte for byte, which also
// keeps a damaged note exactly as it was.
Outcome copyFile(const QString &source, const QString &target, bool &made)
{
    made = false;
    const std::optional<QByteArray> original = bytesOf(source);
    if (!original)
        return Outcome::CopyFailed;
    if (QFile::exists(target))
        return bytesOf(target) == original ? Outcome::Moved : Outcome::NameTaken;
    if (!writeNewFile(target, *original))
        return Outcome::CopyFailed;
    made = true;
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
            return {outcome, name};
        }
    }
    NoteFolderMoveResult result;
    for (const QString &name : files) {
        if (!QFile::remove(source.filePath(name)) && result.file.isEmpty())
            result = {Outcome::OldFilesLeft, name};
    }
    return result;
}
