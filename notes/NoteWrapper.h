#pragma once

#include "notes/ClassesUnit.h"
#include "platform/DateTime.h"

#include <QPointer>
#include <QString>

#include <memory>

class FolderWatch;
class QPrinter;
class QTreeWidgetItem;
class TNoteForm;
class TNoteWrapper;

// The owner of the wrappers, known to them and their windows only through
// this interface.
class TNoteOWN
{
public:
    virtual ~TNoteOWN() = default;
    virtual void ListChanged() = 0;
    // Asks the user first; false when the note stays.
    virtual bool DeleteNote(TNoteWrapper *wrapper, bool closeWindow) = 0;
    virtual QList<TNoteWrapper *> NotesInOrder() const = 0;
    // The printer every note prints with, so that a choice made in one print
    // dialog holds for the next; none when the program has none to share.
    virtual QPrinter *PrintDialog() = 0;
    // The note folder as this program last read or wrote it; none when the
    // owner does not watch it.
    virtual FolderWatch *NoteFiles() = 0;
    // Keeps the wrapper's note as it is here as a new note beside it, when
    // its file holds another computer's version.
    virtual void KeepConflictingCopy(TNoteWrapper *wrapper) = 0;
};

// One note during the run: owns the note record, ties it to the note's
// window while that is open, and decides when the note is saved.
class TNoteWrapper
{
public:
    // `foundFile` is the note's file as found in the note folder, whose
    // extension may differ in case from the one new files get; empty means
    // the usual file of the id.
    TNoteWrapper(const QString &id, TNoteOWN *owner, const QString &foundFile = {});
    // A new note that holds a copy of `record` under an id of its own.
    TNoteWrapper(const TNoteClass &record, TNoteOWN *owner);
    ~TNoteWrapper();
    TNoteWrapper(const TNoteWrapper &) = delete;
    TNoteWrapper &operator=(const TNoteWrapper &) = delete;

    TNoteOWN *const Manager;
    QString NoteID;
    QString FileName;
    bool Damaged = false;
    // A copy the sync tool made when this note was changed on two computers.
    bool SyncConflict = false;
    QString PreviewText;
    bool PreviewDirty = true;
    QPointer<TNoteForm> Window;
    std::unique_ptr<TNoteClass> Note;

    bool OpenWindow();
    void ShowNote();
    void HideNote(bool closeWindow);
    void DetachWindow(bool closeWindow);
    // DetachWindow in its two halves. TakeWindow lets no messages run: the
    // window is forgotten, the note saved and the window's timers stopped;
    // it returns the window, still open. LetWindowGo closes it when asked and
    // lets pending messages run; it needs no wrapper, since a shutdown that
    // arrives meanwhile may release the wrapper.
    QPointer<TNoteForm> TakeWindow();
    // TakeWindow without saving: for a note whose file is no longer its own.
    QPointer<TNoteForm> LeaveWindow();
    static void LetWindowGo(const QPointer<TNoteForm> &window, bool closeWindow);
    void RefreshWindow();
    bool IsShown() const { return !Window.isNull(); }
    // Rows of the notes manager window: the row's wrapper is in Qt::UserRole,
    // its image index (0 window open, 1 no window) in ImageIndexRole.
    static constexpr int ImageIndexRole = Qt::UserRole + 1;
    void FillListItem(QTreeWidgetItem *row) const;
    void ReadFromWindow();
    void Save();
    // The title as the strip and the notes manager show it.
    QString ShownTitle() const;
    // Something here differs from the file as it was last read or written.
    bool HasUnsavedEdit() const;
    // Takes the note as its file holds it now, written elsewhere, and with
    // showWindow opens or refreshes its window unless it is hidden; false
    // when the file cannot be read as a note (yet), and nothing changes.
    bool TakeTheirs(bool showWindow);
    void InvalidatePreview();
    QString GetPreview();
    // The shown title, the group and the body's whole plain text, one a
    // line, as search compares them (NoteSearch::fold); kept until the note
    // changes, so that searching decodes and folds nothing per key press.
    const QString &SearchText();
    // Against the current time as the scan read it: once per scan, not for
    // every note. True when the check showed the note.
    bool CheckAlarm(TDateTime now);
    bool CheckAutoShow(TDateTime now);
    void HideUntil(TDateTime time);
    void HideForMinutes(unsigned minutes);
    void NotifyChanged();

private:
    void LoadOrCreate(QString id, const QString &foundFile);
    void reportSaveResult(bool saved);
    void stored();

    bool m_saveFailureShown = false;
    QString m_searchText;
    // What m_searchText was made of; the body is decoded again only when
    // the preview is invalidated.
    QString m_searchTitle;
    QString m_searchGroup;
    bool m_searchConflict = false;
    QString m_searchBody;
    bool m_searchBodyDirty = true;
    // The note as its file held it when last read or written here.
    std::unique_ptr<TNoteClass> m_stored;
    // Held as a plain object: it may be asked about while the window is
    // half destroyed, when it is no longer a TNoteForm.
    QPointer<QObject> m_lastWindow;
};
