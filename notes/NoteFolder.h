#pragma once

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// The note folder as a sync tool (Syncthing, Nextcloud, Dropbox) shares it
// with other computers: which of its files are ours, and what changed in it
// that this program did not write.
namespace NoteFolder {

enum class EntryKind {
    Item,          // a note or project of its own name
    ConflictCopy,  // the sync tool kept the other side's version under this name
    SyncTemporary, // a transfer in progress; never loaded, never removed
    OwnLeftover,   // a temporary file of a save of ours that was interrupted
    Other,
};

// What a file of the folder is, by its name alone; `extension` is that of
// the items (".knt"), matched in any letter case.
EntryKind classify(const QString &fileName, const QString &extension);

// Removes what interrupted saves of this program left in the folder, so
// that it never travels to other computers; returns how many went.
int removeOwnLeftovers(const QString &folder);

// The title a note is shown under: a sync tool's conflict copy says so.
QString shownTitle(const QString &title, bool conflictCopy);

} // namespace NoteFolder

// What the program knew of a file when it last read or wrote it: enough to
// tell whether anyone else has written it since.
struct FileStamp
{
    bool exists = false;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    quint64 inode = 0;
    QByteArray digest; // of the content; empty when not read

    // Of a regular file, or with folder true of a folder.
    static FileStamp of(const QString &path, bool withDigest, bool folder = false);
    bool sameLook(const FileStamp &other) const
    {
        return exists == other.exists && size == other.size && modifiedNs == other.modifiedNs && inode == other.inode;
    }
};

// The changes one pass over the folder found, as absolute file names.
struct FolderChanges
{
    QStringList added;
    QStringList changed;
    QStringList removed;
    bool isEmpty() const { return added.isEmpty() && changed.isEmpty() && removed.isEmpty(); }
};

// Watches one folder for items (notes or projects) written, replaced or
// removed by others. A file-system watcher starts a pass soon after the
// folder changes; scan() is also called by the program's one-second timer,
// since watchers miss changes on some file systems and when the folder
// itself is replaced. A burst of changes is reported in one pass. What the
// program writes itself it reports through remember(), so that its own
// writes never come back as changes.
class FolderWatch final : public QObject
{
    Q_OBJECT

public:
    FolderWatch(const QString &folder, const QString &extension, QObject *parent = nullptr);

    QString folder() const { return m_folder; }
    // The items of the folder now, loadable ones only (no temporaries).
    QStringList items() const;
    // Starts watching; the files of the folder count as known once the
    // program has read them (remember), and the others come as added.
    void start();
    // One pass: compares the folder with what was last known or reported.
    void scan();
    // The backstop, for the one-second timer: a pass when the folder itself
    // changed (a file added, removed or renamed into place, as sync tools
    // do), and every tenth call in any case, for files written in place.
    void check();
    // This program has just read or written the file as it is now.
    void remember(const QString &path);
    // This program has removed the file, or no longer cares for it.
    void forget(const QString &path);
    // A file whose change could not be taken in (half written, damaged):
    // reported again only when it changes again, but still not known, so a
    // save does not replace it.
    void passOver(const QString &path);
    // Whether someone else wrote, replaced or removed the file since this
    // program last read or wrote it; a file it never knew that exists now
    // counts as written by someone else.
    bool changedSinceKnown(const QString &path) const;

signals:
    void changed(const FolderChanges &changes);

private:
    struct Entry
    {
        FileStamp known;    // as this program last read or wrote it
        FileStamp reported; // as the last pass saw it
        bool isKnown = false;
    };

    bool sameContentAsKnown(const Entry &entry, const FileStamp &now, const QString &path) const;

    QString m_folder;
    QString m_extension;
    QHash<QString, Entry> m_entries;
    QFileSystemWatcher m_watcher;
    QTimer m_soon;
    bool m_inPass = false;
    FileStamp m_folderStamp;
    int m_checksSincePass = 0;
};

Q_DECLARE_METATYPE(FolderChanges)
