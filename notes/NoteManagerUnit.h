#pragma once

#include "notes/DeletedNotes.h"
#include "notes/NoteFolder.h"
#include "notes/NoteWrapper.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// The manager's ordered list of wrappers; it neither frees nor checks for
// duplicates.
class TNoteList
{
public:
    int Count() const { return int(m_items.size()); }
    TNoteWrapper *Get(int index) const { return m_items.at(index); }
    int Add(TNoteWrapper *wrapper);
    void Remove(TNoteWrapper *wrapper);
    bool contains(TNoteWrapper *wrapper) const { return m_items.contains(wrapper); }
    // Loops that let events run walk a snapshot; the removal count tells them
    // whether an entry may have left the list meanwhile.
    QList<TNoteWrapper *> snapshot() const { return m_items; }
    int removals() const { return m_removals; }

private:
    QList<TNoteWrapper *> m_items;
    int m_removals = 0;
};

// Owns every note of the user for the whole run.
class TNotesManager final : public QObject, public TNoteOWN
{
    Q_OBJECT

public:
    TNotesManager();
    ~TNotesManager() override;
    TNotesManager(const TNotesManager &) = delete;
    TNotesManager &operator=(const TNotesManager &) = delete;

    TNoteList Notes;

    TNoteWrapper *NewNote();
    bool DeleteNote(TNoteWrapper *wrapper, bool closeWindow) override;
    QList<TNoteWrapper *> NotesInOrder() const override { return Notes.snapshot(); }
    QPrinter *PrintDialog() override { return m_printDialog ? m_printDialog() : nullptr; }
    // Where PrintDialog comes from: the program's printer, once it has one.
    void setPrintDialog(std::function<QPrinter *()> source) { m_printDialog = std::move(source); }
    FolderWatch *NoteFiles() override { return &m_files; }
    void KeepConflictingCopy(TNoteWrapper *wrapper) override;
    void ShowHideGroup(const QString &group, bool show);
    void SaveAll();
    void RefreshAllWindows();
    void CloseAll();
    // Also the backstop of the folder's watcher.
    void CheckTimers();
    void RestoreTopmost();
    // Announces the change as listChanged.
    void ListChanged() override;

    // The notes deleted here or on the computers that share the folder.
    QList<DeletedNotes::Entry> DeletedList() const { return m_deleted.list(); }
    // Brings a deleted note back with everything it had, its window open
    // when it was; under a new id when its own has been taken meanwhile.
    // Null when the file could not be moved back.
    TNoteWrapper *RestoreDeleted(const QString &deletedFile);
    // Asks the user first; false when the note stays.
    bool RemoveDeletedForGood(const DeletedNotes::Entry &entry);

    // Wrappers taken out of the list whose window still closes; released once
    // it has gone, or with the manager, whichever comes first.
    int pendingReleaseCount() const { return int(m_removed.size()); }

signals:
    // A note joined or left the list, or what its row shows changed.
    void listChanged();

private:
    void releaseWhenClosed(TNoteWrapper *wrapper, const QPointer<TNoteForm> &window);
    bool stillListed(TNoteWrapper *wrapper, int removalsAtStart) const;
    TNoteWrapper *wrapperOfFile(const QString &file) const;
    // What other computers did to the note folder, through the sync tool.
    void takeFolderChanges(const FolderChanges &changes);
    void takeNewFile(const QString &file);
    void takeChangedFile(TNoteWrapper *wrapper);
    void dropNote(TNoteWrapper *wrapper);
    bool idTaken(const QString &id) const;

    // Owned, like the wrappers in Notes.
    QList<TNoteWrapper *> m_removed;
    std::function<QPrinter *()> m_printDialog;
    FolderWatch m_files;
    DeletedNotes m_deleted;
    // Notes deleted on other computers arrive here through the sync tool.
    FolderWatch m_deletedFiles;
    // Lives and dies with the manager: code that let messages run asks it
    // whether the manager is still there, and the release of a removed
    // wrapper is tied to it, so that it cannot run after the manager has gone.
    QObject m_lifetime;
};

// Group names match after upper-casing ASCII letters only.
bool SameGroup(const QString &a, const QString &b);
