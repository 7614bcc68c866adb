#include "notes/NoteManagerUnit.h"

#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "notewindow/NoteFormUnit.h"

#include <QDir>
#include <QFile>

#include <exception>

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
{
    const QStringList entries = QDir(UserFolder).entryList(
        {QStringLiteral("*.knt")}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDir::Name | QDir::IgnoreCase);
    // The filter ignores case, so N07.KNT is listed: that file is the note's.
    for (const QString &entry : entries)
        Notes.Add(new TNoteWrapper(entry.left(entry.size() - 4), this, UserFolder + entry));
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
    const QString question = QStringLiteral("你确定要删除这个便笺吗?") + QStringLiteral("\n\r") + QString(33, QLatin1Char(' '))
        + QStringLiteral("便笺标题:") + QString(9, QLatin1Char(' ')) + wrapper->Note->Title;
    const QString file = wrapper->FileName;
    const QPointer<QObject> alive(&m_lifetime);
    if (!ConfirmYesNo(question))
        return false;
    // The question let messages run: a shutdown meanwhile has saved the note
    // and released it with the manager, yet the deletion was confirmed.
    if (alive.isNull()) {
        QFile::remove(file);
        return true;
    }
    if (!Notes.contains(wrapper))
        return false;
    // The whole deletion is done before the window's close animation lets
    // messages run, so that a shutdown arriving then neither saves the note
    // again nor finds a wrapper in the list that is released elsewhere.
    const QPointer<TNoteForm> window = wrapper->TakeWindow();
    Notes.Remove(wrapper);
    QFile::remove(file);
    ListChanged();
    releaseWhenClosed(wrapper, window);
    TNoteWrapper::LetWindowGo(window, closeWindow);
    return true;
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
