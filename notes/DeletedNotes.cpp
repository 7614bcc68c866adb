#include "notes/DeletedNotes.h"

#include "notes/NoteFolder.h"
#include "platform/BrisquelError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString kNoteExtension = QStringLiteral(".knt");

QString withSlash(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

const QString DeletedNotes::FolderName = QStringLiteral("Deleted");

DeletedNotes::DeletedNotes(const QString &noteFolder)
    : m_folder(withSlash(noteFolder) + FolderName + QLatin1Char('/'))
{
}

QString DeletedNotes::idOfFile(const QString &file)
{
    const QString name = QFileInfo(file).fileName();
    return name.left(name.size() - kNoteExtension.size());
}

QStringList DeletedNotes::files() const
{
    QStringList result;
    const QStringList names =
        QDir(m_folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : names) {
        const NoteFolder::EntryKind kind = NoteFolder::classify(name, kNoteExtension);
        if (kind == NoteFolder::EntryKind::Item || kind == NoteFolder::EntryKind::ConflictCopy)
            result.append(m_folder + name);
    }
    return result;
}

QList<DeletedNotes::Entry> DeletedNotes::list() const
{
    QList<Entry> entries;
    for (const QString &file : files()) {
        Entry entry{file, QFileInfo(file).lastModified(), TNoteClass(idOfFile(file)),
                    NoteFolder::classify(QFileInfo(file).fileName(), kNoteExtension)
                        == NoteFolder::EntryKind::ConflictCopy};
        try {
            if (entry.note.LoadFromFile(file) != TNoteClass::LoadResult::Loaded)
                continue;
        } catch (const BrisquelError &) {
            continue;
        }
        entries.append(entry);
    }
    return entries;
}

QString DeletedNotes::moveIn(const QString &noteFile, const QDateTime &when) const
{
    if (!QFileInfo(noteFile).isFile())
        return QString();
    if (!QFileInfo::exists(m_folder)) {
        if (!QDir().mkpath(m_folder))
            return QString();
        // As private as the note folder it is part of.
        QFile::setPermissions(m_folder, QFileInfo(QFileInfo(noteFile).path()).permissions());
    }
    // The same id deleted twice (deleted, restored, deleted again elsewhere)
    // keeps both.
    const QString id = idOfFile(noteFile);
    QString target = m_folder + id + kNoteExtension;
    for (int counter = 1; QFileInfo::exists(target); ++counter)
        target = m_folder + id + QLatin1Char('-') + QString::number(counter) + kNoteExtension;
    if (!QFile::rename(noteFile, target))
        return QString();
    QFile moved(target);
    if (moved.open(QIODevice::ReadOnly))
        moved.setFileTime(when, QFileDevice::FileModificationTime);
    return target;
}

bool DeletedNotes::moveBack(const QString &deletedFile, const QString &target) const
{
    return files().contains(deletedFile) && !QFileInfo::exists(target) && QFile::rename(deletedFile, target);
}

bool DeletedNotes::remove(const QString &deletedFile) const
{
    return files().contains(deletedFile) && QFile::remove(deletedFile);
}

int DeletedNotes::removeDeletedBefore(const QDateTime &limit) const
{
    int removed = 0;
    for (const QString &file : files()) {
        if (QFileInfo(file).lastModified() < limit && QFile::remove(file))
            ++removed;
    }
    return removed;
}
