#pragma once

#include "notes/ClassesUnit.h"

#include <QDateTime>
#include <QList>
#include <QString>

// The notes the user deleted, kept as their files in a subfolder of the note
// folder until they are restored or removed for good. Being files of the
// folder, they travel with it to the other computers that share it. The time
// of the deletion is the file's modification time, which sync tools carry
// along.
class DeletedNotes
{
public:
    // A plain name: some sync tools leave hidden folders out by default.
    static const QString FolderName;
    // How long a deleted note is kept.
    static constexpr int KeptDays = 30;

    struct Entry
    {
        QString file;
        QDateTime deletedAt;
        TNoteClass note{QString()};
        bool conflictCopy = false;
    };

    explicit DeletedNotes(const QString &noteFolder);

    // The subfolder, ending in a slash.
    QString folder() const { return m_folder; }
    // Every deleted note that reads as one; a file still arriving, or one
    // that does not read, is left out.
    QList<Entry> list() const;
    // Moves the note's file in, deleted at `when`; the new file's name, empty
    // when the file could not be moved.
    QString moveIn(const QString &noteFile, const QDateTime &when) const;
    // Moves a deleted note's file back into the note folder as `target`;
    // false when it could not be moved, and nothing changed.
    bool moveBack(const QString &deletedFile, const QString &target) const;
    // Removes one deleted note for good; false when it is not one of them or
    // could not be removed.
    bool remove(const QString &deletedFile) const;
    // Removes the notes deleted before `limit`; how many went.
    int removeDeletedBefore(const QDateTime &limit) const;

    // The note id of a note file's name.
    static QString idOfFile(const QString &file);

private:
    QStringList files() const;

    QString m_folder;
};
