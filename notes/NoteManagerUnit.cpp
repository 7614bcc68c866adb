#include "notes/NoteManagerUnit.h"

#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/BrisquelError.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <exception>

namespace {

const QString kNoteExtension = QStringLiteral(".knt");
// A conflicting copy opens this far right and down of its original.
constexpr int kConflictOffset = 24;

QString idOfFile(const QString &file)
{
    const QString name = QFileInfo(file).fileName();
    return name.left(name.size() - kNoteExtension.size());
}

// Loads without asking the user anything: a file that arrives from another
// computer may be half written, and is tried again when it changes.
bool readsAsNote(const QString &file)
{
    TNoteClass probe(idOfFile(file));
    try {
        return probe.LoadFromFile(file) == TNoteClass::LoadResult::Loaded;
    } catch (const BrisquelError &) {
        return false;
    }
}

// The question before a note goes, in the form every such question has.
QString questionAbout(const QString &question, const QString &title)
{
    return question + QStringLiteral("\n\r") + QString(33, QLatin1Char(' ')) + QStringLiteral("便笺标题:")
        + QString(9, QLatin1Char(' ')) + title;
}

// Moves a deleted note's file into the deleted notes. Where that cannot be
// done the file goes as it did before there were deleted notes: left in
// place, it would come back as a note at the next look at the folder.
void putAway(const DeletedNotes &deleted, const QString &file)
{
    if (deleted.moveIn(file, Clock::now()).isEmpty())
        QFile::remove(file);
}

} // namespace

int TNoteList::Add(TNoteWrapper *wrapper)
{
    m_items.append(wrapper);
    return int(m_items.size()) - 1;
}

void TNoteList::Remove(TNoteWrapper *wrapper)
{
    if (m_items.removeOne(wrapper))
        ++m_removals;
}

bool SameGroup(const QString &a, const QString &b)
{
    if (a.size() != b.size())
        return false;
    const auto upper = [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ? QChar(c.unicode() - 32) : c;
    };
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (upper(a.at(i)) != upper(b.at(i)))
            return false;
    }
    return true;
}

TNotesManager::TNotesManager()
    : m_files(UserFolder, kNoteExtension)
    , m_deleted(UserFolder)
    , m_deletedFiles(m_deleted.folder(), kNoteExtension)
{
    // Left by saves that were cut short; they must not travel to the other
    // computers that share the folder.
    NoteFolder::removeOwnLeftovers(UserFolder);
    m_deleted.removeDeletedBefore(Clock::now().addDays(-DeletedNotes::KeptDays));
    m_files.start();
    m_deletedFiles.start();
    // Found in any letter case, so N07.KNT is listed: that file is the note's.
    const QStringList files = m_files.items();
    for (const QString &file : files)
        Notes.Add(new TNoteWrapper(idOfFile(file), this, file));
    QObject::connect(&m_files, &FolderWatch::changed, this, &TNotesManager::takeFolderChanges);
    QObject::connect(&m_deletedFiles, &FolderWatch::changed, this, &TNotesManager::ListChanged);
}

TNotesManager::~TNotesManager()
{
    while (Notes.Count() > 0) {
        TNoteWrapper *wrapper = Notes.Get(0);
        Notes.Remove(wrapper);
        delete wrapper;
    }
    // Their windows may still be closing; each wrapper lets go of its window.
    for (TNoteWrapper *wrapper : std::as_const(m_removed))
        delete wrapper;
}

bool TNotesManager::stillListed(TNoteWrapper *wrapper, int removalsAtStart) const
{
    return Notes.removals() == removalsAtStart || Notes.contains(wrapper);
}

TNoteWrapper *TNotesManager::NewNote()
{
    const ShellReadyGuard creating;
    auto *wrapper = new TNoteWrapper(QString(), this);
    Notes.Add(wrapper);
    wrapper->ShowNote();
    return wrapper;
}

bool TNotesManager::DeleteNote(TNoteWrapper *wrapper, bool closeWindow)
{
    if (!wrapper)
        return false;
    const QString question = questionAbout(QStringLiteral("你确定要删除这个便笺吗?"), wrapper->Note->Title);
    const QString file = wrapper->FileName;
    const DeletedNotes deleted = m_deleted;
    const QPointer<QObject> alive(&m_lifetime);
    if (!ConfirmYesNo(question))
        return false;
    // The question let messages run: a shutdown meanwhile has saved the note
    // and released it with the manager, yet the deletion was confirmed.
    if (alive.isNull()) {
        putAway(deleted, file);
        return true;
    }
    if (!Notes.contains(wrapper))
        return false;
    // The whole deletion is done before the window's close animation lets
    // messages run, so that a shutdown arriving then neither saves the note
    // again nor finds a wrapper in the list that is released elsewhere.
    const QPointer<TNoteForm> window = wrapper->TakeWindow();
    Notes.Remove(wrapper);
    putAway(m_deleted, file);
    m_files.forget(file);
    ListChanged();
    releaseWhenClosed(wrapper, window);
    TNoteWrapper::LetWindowGo(window, closeWindow);
    return true;
}

TNoteWrapper *TNotesManager::RestoreDeleted(const QString &deletedFile)
{
    QString id = DeletedNotes::idOfFile(deletedFile);
    if (idTaken(id))
        id = NewNoteID([this](const QString &name) { return idTaken(name); });
    const QString target = NoteFileName(id);
    if (!m_deleted.moveBack(deletedFile, target))
        return nullptr;
    auto *wrapper = new TNoteWrapper(id, this, target);
    Notes.Add(wrapper);
    ListChanged();
    return wrapper;
}

bool TNotesManager::RemoveDeletedForGood(const DeletedNotes::Entry &entry)
{
    const DeletedNotes deleted = m_deleted;
    const QPointer<QObject> alive(&m_lifetime);
    if (!ConfirmYesNo(questionAbout(QStringLiteral("你确定要彻底删除这个便笺吗?"), entry.note.Title)))
        return false;
    const bool removed = deleted.remove(entry.file);
    // The question let messages run, a shutdown among them.
    if (!alive.isNull())
        ListChanged();
    return removed;
}

bool TNotesManager::idTaken(const QString &id) const
{
    if (QFileInfo::exists(NoteFileName(id)))
        return true;
    const QList<TNoteWrapper *> notes = Notes.snapshot();
    return std::any_of(notes.cbegin(), notes.cend(), [&id](const TNoteWrapper *wrapper) {
        return wrapper->NoteID.compare(id, Qt::CaseInsensitive) == 0;
    });
}

void TNotesManager::releaseWhenClosed(TNoteWrapper *wrapper, const QPointer<TNoteForm> &window)
{
    // A closing window still paints from its wrapper; release it afterwards.
    if (window.isNull()) {
        delete wrapper;
        return;
    }
    m_removed.append(wrapper);
    QObject::connect(window, &QObject::destroyed, &m_lifetime, [this, wrapper] {
        m_removed.removeOne(wrapper);
        delete wrapper;
    });
}

TNoteWrapper *TNotesManager::wrapperOfFile(const QString &file) const
{
    const QList<TNoteWrapper *> notes = Notes.snapshot();
    for (TNoteWrapper *wrapper : notes) {
        if (wrapper->FileName == file)
            return wrapper;
    }
    return nullptr;
}

void TNotesManager::takeFolderChanges(const FolderChanges &changes)
{
    // Closing a window lets messages run, and a shutdown then releases the
    // manager.
    const QPointer<QObject> alive(&m_lifetime);
    for (const QString &file : changes.removed) {
        if (TNoteWrapper *wrapper = wrapperOfFile(file))
            dropNote(wrapper);
        if (alive.isNull())
            return;
    }
    for (const QString &file : changes.changed + changes.added) {
        if (TNoteWrapper *wrapper = wrapperOfFile(file))
            takeChangedFile(wrapper);
        else
            takeNewFile(file);
        if (alive.isNull())
            return;
    }
    ListChanged();
}

void TNotesManager::takeNewFile(const QString &file)
{
    if (!readsAsNote(file)) {
        m_files.passOver(file);
        return;
    }
    Notes.Add(new TNoteWrapper(idOfFile(file), this, file));
}

void TNotesManager::takeChangedFile(TNoteWrapper *wrapper)
{
    // Also a note made here that has not been saved yet, when another
    // computer made one of the same id in the same second.
    if (!readsAsNote(wrapper->FileName)) {
        m_files.passOver(wrapper->FileName);
        return;
    }
    if (!wrapper->Damaged && wrapper->HasUnsavedEdit())
        KeepConflictingCopy(wrapper);
    wrapper->TakeTheirs(true);
}

void TNotesManager::dropNote(TNoteWrapper *wrapper)
{
    if (!wrapper->Damaged && wrapper->HasUnsavedEdit())
        KeepConflictingCopy(wrapper);
    const QPointer<TNoteForm> window = wrapper->LeaveWindow();
    Notes.Remove(wrapper);
    releaseWhenClosed(wrapper, window);
    TNoteWrapper::LetWindowGo(window, true);
}

void TNotesManager::KeepConflictingCopy(TNoteWrapper *wrapper)
{
    wrapper->ReadFromWindow();
    auto *copy = new TNoteWrapper(*wrapper->Note, this);
    copy->Note->Title = wrapper->Note->Title + QStringLiteral(" (冲突的副本)");
    copy->Note->Left = wrapper->Note->Left + kConflictOffset;
    copy->Note->Top = wrapper->Note->Top + kConflictOffset;
    Notes.Add(copy);
    if (wrapper->IsShown())
        copy->OpenWindow();
    // A failed save is reported in a message box, during which a shutdown
    // may release the manager.
    const QPointer<QObject> alive(&m_lifetime);
    copy->Save();
    if (!alive.isNull())
        ListChanged();
}

void TNotesManager::ShowHideGroup(const QString &group, bool show)
{
    const QList<TNoteWrapper *> notes = Notes.snapshot();
    const int removals = Notes.removals();
    // A shutdown during a close animation releases the manager.
    const QPointer<QObject> alive(&m_lifetime);
    for (TNoteWrapper *wrapper : notes) {
        if (alive.isNull())
            return;
        if (!stillListed(wrapper, removals) || !SameGroup(wrapper->Note->Group, group))
            continue;
        if (show)
            wrapper->ShowNote();
        else
            wrapper->DetachWindow(true);
    }
    if (!alive.isNull())
        ListChanged();
}

void TNotesManager::SaveAll()
{
    const QList<TNoteWrapper *> notes = Notes.snapshot();
    for (TNoteWrapper *wrapper : notes)
        wrapper->Save();
}

void TNotesManager::RefreshAllWindows()
{
    const QList<TNoteWrapper *> notes = Notes.snapshot();
    for (TNoteWrapper *wrapper : notes)
        wrapper->RefreshWindow();
}

void TNotesManager::CloseAll()
{
    SaveAll();
    const QList<TNoteWrapper *> notes = Notes.snapshot();
    const int removals = Notes.removals();
    for (TNoteWrapper *wrapper : notes) {
        if (stillListed(wrapper, removals))
            wrapper->DetachWindow(true);
    }
}

void TNotesManager::CheckTimers()
{
    m_files.check();
    m_deletedFiles.check();
    const QList<TNoteWrapper *> notes = Notes.snapshot();
    const int removals = Notes.removals();
    // One reading of the clock serves the whole scan, which takes well under
    // a millisecond; it is read again after a note was shown, since showing
    // may have run a message box for a while.
    TDateTime now = Now();
    for (TNoteWrapper *wrapper : notes) {
        if (!stillListed(wrapper, removals))
            continue;
        try {
            if (wrapper->CheckAlarm(now))
                now = Now();
            if (!wrapper->IsShown() && wrapper->CheckAutoShow(now))
                now = Now();
        } catch (const std::exception &) {
            // One note's failure must not stop the scan of the others.
        }
    }
}

void TNotesManager::RestoreTopmost()
{
    const QList<TNoteWrapper *> notes = Notes.snapshot();
    for (TNoteWrapper *wrapper : notes) {
        if (wrapper->IsShown() && wrapper->Note->IsOnTop())
            wrapper->Window->ApplyOnTop();
    }
}

void TNotesManager::ListChanged()
{
    emit listChanged();
}
