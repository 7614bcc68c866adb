#include "notes/NoteFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>

#include <sys/stat.h>

namespace {

// Soon enough to show a change within two seconds, late enough to take a
// sync of many files in one pass.
constexpr int kPassDelayMs = 300;

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
}

QString withSlash(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

namespace NoteFolder {

EntryKind classify(const QString &fileName, const QString &extension)
{
    // Ours: the hidden file a save writes before renaming it into place, and
    // the temporary file of a save through the toolkit ("N1.knt.a8Kq2z").
    static const QRegularExpression ownLeftover(
        QStringLiteral("^(\\.brisquel-[0-9a-f]{16}\\.tmp(\\.[A-Za-z0-9]{6})?|.+\\.(knt|tdl)\\.[A-Za-z0-9]{6})$"),
        QRegularExpression::CaseInsensitiveOption);
    // Syncthing's ".syncthing.N1.knt.tmp" ("~syncthing~" on some systems),
    // Nextcloud's ".N1.knt.~1a2b", partial downloads of others.
    static const QRegularExpression syncTemporary(
        QStringLiteral("^(\\.syncthing\\..*\\.tmp|~syncthing~.*\\.tmp|\\..*\\.~[^/]*|.*\\.part|.*\\.partial)$"),
        QRegularExpression::CaseInsensitiveOption);
    // Syncthing's "N1.sync-conflict-20261208-101010-ABCDEFG.knt", Nextcloud's
    // "N1 (conflicted copy 2026-12-08 101010).knt", Dropbox's "N1 (Alice's
    // conflicted copy 2026-12-08).knt".
    static const QRegularExpression conflictCopy(QStringLiteral("\\.sync-conflict-|conflicted copy"),
                                                 QRegularExpression::CaseInsensitiveOption);
    if (ownLeftover.match(fileName).hasMatch())
        return EntryKind::OwnLeftover;
    if (syncTemporary.match(fileName).hasMatch())
        return EntryKind::SyncTemporary;
    if (fileName.size() <= extension.size() || !fileName.endsWith(extension, Qt::CaseInsensitive))
        return EntryKind::Other;
    return conflictCopy.match(fileName).hasMatch() ? EntryKind::ConflictCopy : EntryKind::Item;
}

QString shownTitle(const QString &title, bool conflictCopy)
{
    return conflictCopy ? QStringLiteral("冲突副本: ") + title : title;
}

int removeOwnLeftovers(const QString &folder)
{
    int removed = 0;
    const QString base = withSlash(folder);
    for (const QString &name : folderEntries(folder)) {
        if (classify(name, QString()) == EntryKind::OwnLeftover && QFile::remove(base + name))
            ++removed;
    }
    return removed;
}

} // namespace NoteFolder

FileStamp FileStamp::of(const QString &path, bool withDigest, bool folder)
{
    FileStamp stamp;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0
        || !(folder ? S_ISDIR(status.st_mode) : S_ISREG(status.st_mode)))
        return stamp;
    stamp.exists = true;
    stamp.size = status.st_size;
    stamp.modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    stamp.inode = status.st_ino;
    if (withDigest) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            stamp.digest = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
    }
    return stamp;
}

FolderWatch::FolderWatch(const QString &folder, const QString &extension, QObject *parent)
    : QObject(parent)
    , m_folder(withSlash(folder))
    , m_extension(extension)
{
    qRegisterMetaType<FolderChanges>();
    m_soon.setSingleShot(true);
    m_soon.setInterval(kPassDelayMs);
    connect(&m_soon, &QTimer::timeout, this, &FolderWatch::scan);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_soon, qOverload<>(&QTimer::start));
}

QStringList FolderWatch::items() const
{
    QStringList result;
    for (const QString &name : folderEntries(m_folder)) {
        const NoteFolder::EntryKind kind = NoteFolder::classify(name, m_extension);
        if (kind == NoteFolder::EntryKind::Item || kind == NoteFolder::EntryKind::ConflictCopy)
            result.append(m_folder + name);
    }
    return result;
}

void FolderWatch::start()
{
    m_entries.clear();
    if (QFileInfo::exists(m_folder))
        m_watcher.addPath(m_folder);
}

void FolderWatch::scan()
{
    // Taking in a pass may let messages run; a pass asked for meanwhile
    // follows it.
    if (m_inPass) {
        m_soon.start();
        return;
    }
    m_soon.stop();
    m_checksSincePass = 0;
    m_folderStamp = FileStamp::of(m_folder, false, true);
    // A folder replaced or made anew is watched again.
    if (m_watcher.directories().isEmpty() && QFileInfo::exists(m_folder))
        m_watcher.addPath(m_folder);
    FolderChanges changes;
    QSet<QString> present;
    for (const QString &path : items()) {
        present.insert(path);
        const FileStamp now = FileStamp::of(path, false);
        auto entry = m_entries.find(path);
        if (entry == m_entries.end()) {
            m_entries.insert(path, Entry{FileStamp(), now, false});
            changes.added.append(path);
            continue;
        }
        if (entry->reported.sameLook(now))
            continue;
        if (entry->isKnown && sameContentAsKnown(*entry, now, path)) {
            // Touched or rewritten with the same bytes: nothing to take in.
            entry->known = FileStamp::of(path, true);
            entry->reported = entry->known;
            continue;
        }
        entry->reported = now;
        changes.changed.append(path);
    }
    for (auto entry = m_entries.begin(); entry != m_entries.end();) {
        if (present.contains(entry.key())) {
            ++entry;
            continue;
        }
        changes.removed.append(entry.key());
        entry = m_entries.erase(entry);
    }
    if (changes.isEmpty())
        return;
    // A shutdown while the changes are taken in may destroy this watch.
    const QPointer<FolderWatch> self(this);
    m_inPass = true;
    const auto done = qScopeGuard([this, self] {
        if (self)
            m_inPass = false;
    });
    emit changed(changes);
}

void FolderWatch::check()
{
    constexpr int kChecksPerPass = 10;
    if (++m_checksSincePass >= kChecksPerPass || !FileStamp::of(m_folder, false, true).sameLook(m_folderStamp))
        scan();
}

void FolderWatch::remember(const QString &path)
{
    const FileStamp stamp = FileStamp::of(path, true);
    if (!stamp.exists) {
        forget(path);
        return;
    }
    m_entries.insert(path, Entry{stamp, stamp, true});
}

void FolderWatch::forget(const QString &path)
{
    m_entries.remove(path);
}

void FolderWatch::passOver(const QString &path)
{
    Entry &entry = m_entries[path];
    entry.reported = FileStamp::of(path, false);
    entry.isKnown = false;
}

bool FolderWatch::changedSinceKnown(const QString &path) const
{
    const FileStamp now = FileStamp::of(path, false);
    const auto entry = m_entries.constFind(path);
    if (entry == m_entries.cend() || !entry->isKnown)
        return now.exists;
    if (entry->known.sameLook(now))
        return false;
    return !now.exists || !sameContentAsKnown(*entry, now, path);
}

bool FolderWatch::sameContentAsKnown(const Entry &entry, const FileStamp &now, const QString &path) const
{
    if (!now.exists || now.size != entry.known.size)
        return false;
    return FileStamp::of(path, true).digest == entry.known.digest;
}
