#include "notes/NoteWrapper.h"

#include "app/BrisquelMessages.h"
#include "app/InternalProcsGui.h"
#include "app/RegistryUnit.h"
#include "notes/NoteFolder.h"
#include "notes/NoteSearch.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/BrisquelError.h"
#include "platform/CodePage.h"
#include "platform/RtfReader.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextDocument>
#include <QTextEdit>
#include <QTreeWidgetItem>

#include <cmath>

namespace {

constexpr int kPreviewBytes = 255;
constexpr int kTransparentAlpha = 200;

// Loads the note's file into the record; a file that did not load is
// reported to the user, and one of a newer version may be deleted.
bool loadNoteFile(TNoteClass &note, const QString &file)
{
    try {
        switch (note.LoadFromFile(file)) {
        case TNoteClass::LoadResult::Loaded:
            return true;
        case TNoteClass::LoadResult::EmptyFile:
            ShowMessage(QStringLiteral("不能载入便笺"));
            break;
        case TNoteClass::LoadResult::NewerVersion:
            if (ConfirmYesNo(QStringLiteral("便笺 ") + QFileInfo(file).fileName()
                             + QStringLiteral("已使用了更新版本的 Brisquel 保存了, 是否删除?")))
                QFile::remove(file);
            break;
        case TNoteClass::LoadResult::Damaged:
            break;
        }
    } catch (const BrisquelError &) {
        // A file that exists but cannot be opened is treated as damaged.
    }
    return false;
}

} // namespace

TNoteWrapper::TNoteWrapper(const QString &id, TNoteOWN *owner, const QString &foundFile)
    : Manager(owner)
{
    LoadOrCreate(id, foundFile);
}

TNoteWrapper::~TNoteWrapper()
{
    // A window still closing must not reach a wrapper that is gone. A window
    // whose destruction releases this wrapper is no TNoteForm any more.
    auto *window = qobject_cast<TNoteForm *>(m_lastWindow.data());
    if (window && window->Wrapper == this)
        window->Wrapper = nullptr;
}

TNoteWrapper::TNoteWrapper(const TNoteClass &record, TNoteOWN *owner)
    : Manager(owner)
{
    InvalidatePreview();
    NoteID = NewNoteID(IsComponentNameUsed);
    Note = std::make_unique<TNoteClass>(record);
    Note->NoteID = NoteID;
    FileName = NoteFileName(NoteID);
}

void TNoteWrapper::LoadOrCreate(QString id, const QString &foundFile)
{
    InvalidatePreview();
    const QString file = foundFile.isEmpty() ? NoteFileName(id) : foundFile;
    if (!id.isEmpty() && QFile::exists(file)) {
        Note = std::make_unique<TNoteClass>(id);
        const bool loaded = loadNoteFile(*Note, file);
        if (!loaded) {
            Note->Content.clear();
            Note->Title = QStringLiteral("损坏的便笺") + QString(9, QLatin1Char(' '));
            Damaged = true;
        }
        NoteID = id;
        FileName = file;
        SyncConflict = NoteFolder::classify(QFileInfo(file).fileName(), QStringLiteral(".knt"))
            == NoteFolder::EntryKind::ConflictCopy;
        if (loaded)
            stored();
        if (loaded && !Note->IsHidden())
            OpenWindow();
        return;
    }
    if (id.isEmpty())
        id = NewNoteID(IsComponentNameUsed);
    Note = std::make_unique<TNoteClass>(id);
    NoteID = id;
    FileName = NoteFileName(id);
    OpenWindow();
}

bool TNoteWrapper::OpenWindow()
{
    if (Note->IsHidden())
        Note->SetHidden(false);
    if (Window.isNull()) {
        Window = new TNoteForm();
        m_lastWindow = Window;
    }
    TNoteForm *window = Window;
    window->setVisible(false);
    window->SetAlphaBlend(Settings.NoteTransparency, kTransparentAlpha);
    window->Wrapper = this;
    window->PlaceAt(QRect(Note->Left, Note->Top, Note->Width, Note->Height));
    // Showing the note's body is no edit of it.
    const bool edited = window->Document()->isModified();
    window->LoadContent(Note->Content);
    window->Document()->setModified(edited);
    window->UpdateTimer->stop();
    window->setObjectName(NoteID);
    window->setWindowTitle(QStringLiteral("Brisquel"));
    window->ApplyNoteColor(Note->NoteColor);
    window->show();
    window->update();
    window->FormResize();
    window->ApplyOnTop();
    HideAppWindows();
    return true;
}

void TNoteWrapper::ShowNote()
{
    if (!Window.isNull()) {
        Window->raise();
        Window->activateWindow();
    } else if (Damaged) {
        ShowInformation(QStringLiteral("损坏的便笺: ") + NoteID);
        return;
    } else {
        OpenWindow();
        Window->raise();
        Window->activateWindow();
    }
    NotifyChanged();
}

void TNoteWrapper::HideNote(bool closeWindow)
{
    Note->SetHidden(true);
    // Told before the window goes: a shutdown during its close animation
    // may release this wrapper.
    const QPointer<TNoteForm> window = TakeWindow();
    NotifyChanged();
    LetWindowGo(window, closeWindow);
}

void TNoteWrapper::DetachWindow(bool closeWindow)
{
    LetWindowGo(TakeWindow(), closeWindow);
}

QPointer<TNoteForm> TNoteWrapper::TakeWindow()
{
    const QPointer<TNoteForm> window = LeaveWindow();
    if (!window.isNull())
        Save();
    return window;
}

QPointer<TNoteForm> TNoteWrapper::LeaveWindow()
{
    const QPointer<TNoteForm> window = Window;
    Window.clear();
    if (!window.isNull()) {
        window->UpdateTimer->stop();
        window->Allarme->stop();
    }
    return window;
}

void TNoteWrapper::LetWindowGo(const QPointer<TNoteForm> &window, bool closeWindow)
{
    if (window.isNull())
        return;
    if (closeWindow)
        window->close();
    if (!ShuttingDown)
        QCoreApplication::processEvents();
}

void TNoteWrapper::RefreshWindow()
{
    if (!Window.isNull()) {
        OpenWindow();
        Window->update();
    }
    NotifyChanged();
}

void TNoteWrapper::FillListItem(QTreeWidgetItem *row) const
{
    if (!row)
        return;
    row->setText(0, ShownTitle());
    row->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<void *>(const_cast<TNoteWrapper *>(this))));
    for (int column = 1; column < row->columnCount(); ++column)
        row->setText(column, QString());
    row->setData(0, ImageIndexRole, IsShown() ? 0 : 1);
    const QString unset = QStringLiteral("未设置");
    row->setText(1, Note->Group);
    row->setText(2, Note->AlarmSet ? dateTimeText(Note->AlarmTime) : unset);
    row->setText(3, Note->AutoShowState == 1 ? dateTimeText(Note->AutoShowTime) : unset);
}

void TNoteWrapper::ReadFromWindow()
{
    InvalidatePreview();
    if (Window.isNull())
        return;
    Note->Content = Window->SaveContent();
    // Not the window's geometry: a place the window system imposed when the
    // window opened must not become the note's.
    const QRect place = Window->NotePlace();
    Note->Left = place.x();
    Note->Top = place.y();
    Note->Width = place.width();
    Note->Height = place.height();
}

void TNoteWrapper::Save()
{
    if (Damaged)
        return;
    ReadFromWindow();
    if (Manager && Manager->NoteFiles() && Manager->NoteFiles()->changedSinceKnown(FileName)) {
        // Another computer's version stays in the file; what was changed
        // here becomes a note of its own beside it.
        if (HasUnsavedEdit()) {
            Manager->KeepConflictingCopy(this);
            m_stored = std::make_unique<TNoteClass>(*Note);
            if (!Window.isNull())
                Window->Document()->setModified(false);
        }
        TakeTheirs(!Window.isNull());
        return;
    }
    bool saved = false;
    try {
        saved = Note->SaveToFile(FileName);
    } catch (const BrisquelError &) {
        saved = false;
    }
    if (saved)
        stored();
    reportSaveResult(saved);
}

void TNoteWrapper::stored()
{
    m_stored = std::make_unique<TNoteClass>(*Note);
    if (!Window.isNull())
        Window->Document()->setModified(false);
    if (Manager && Manager->NoteFiles())
        Manager->NoteFiles()->remember(FileName);
}

QString TNoteWrapper::ShownTitle() const
{
    return NoteFolder::shownTitle(Note->Title, SyncConflict);
}

bool TNoteWrapper::HasUnsavedEdit() const
{
    if (!m_stored)
        return true;
    if (!Window.isNull() && Window->Document()->isModified())
        return true;
    // The body counts through the window alone: the same text written out
    // again may differ in its bytes from what was read.
    TNoteClass now(*Note);
    now.Content = m_stored->Content;
    if (!Window.isNull()) {
        const QRect place = Window->NotePlace();
        now.Left = place.x();
        now.Top = place.y();
        now.Width = place.width();
        now.Height = place.height();
    }
    return now.toFileBytes() != m_stored->toFileBytes();
}

bool TNoteWrapper::TakeTheirs(bool showWindow)
{
    auto theirs = std::make_unique<TNoteClass>(NoteID);
    try {
        if (theirs->LoadFromFile(FileName) != TNoteClass::LoadResult::Loaded)
            return false;
    } catch (const BrisquelError &) {
        return false;
    }
    Note = std::move(theirs);
    Damaged = false;
    InvalidatePreview();
    QPointer<TNoteForm> closing;
    if (Note->IsHidden())
        closing = LeaveWindow();
    else if (showWindow)
        OpenWindow();
    stored();
    NotifyChanged();
    // Closing lets messages run, after which nothing of this wrapper is used.
    LetWindowGo(closing, true);
    return true;
}

void TNoteWrapper::reportSaveResult(bool saved)
{
    // A failed save leaves the previous file and the edits in the window; the
    // user hears of it once until a save succeeds again.
    if (saved) {
        m_saveFailureShown = false;
        return;
    }
    if (m_saveFailureShown)
        return;
    m_saveFailureShown = true;
    ShowErrorBox(QStringLiteral("便笺不能保存: ") + Note->Title + QStringLiteral("\n") + FileName);
}

void TNoteWrapper::InvalidatePreview()
{
    PreviewDirty = true;
    PreviewText.clear();
    m_searchBodyDirty = true;
    m_searchBody.clear();
    m_searchText.clear();
}

QString TNoteWrapper::GetPreview()
{
    if (!PreviewDirty)
        return PreviewText;
    PreviewDirty = false;
    // Cut after 255 bytes of code page 936 text, at a character boundary.
    PreviewText = CodePage::fromCp936(CodePage::toCp936Truncated(Rtf::toPlainText(Note->Content), kPreviewBytes));
    return PreviewText;
}

bool TNoteWrapper::CheckAlarm(TDateTime now)
{
    // A damaged note never gets a window, so its alarm could never be
    // cleared and would answer every scan with a message box.
    if (Damaged || !Note->AlarmSet || !(now > Note->AlarmTime))
        return false;
    ShowNote();
    if (!Window.isNull()) {
        Note->AlarmSet = false;
        Window->Allarme->start();
    }
    return true;
}

bool TNoteWrapper::CheckAutoShow(TDateTime now)
{
    if (Note->AutoShowState != 1 || !(now > Note->AutoShowTime))
        return false;
    Note->AutoShowState = 0;
    ShowNote();
    Save();
    return true;
}

void TNoteWrapper::HideUntil(TDateTime time)
{
    if (Now() >= time)
        return;
    Note->AutoShowState = 1;
    Note->AutoShowTime = time;
    // Hiding saves the note before the window closes, and nothing of this
    // wrapper may be used after that.
    if (!Window.isNull())
        HideNote(true);
    else
        Save();
}

void TNoteWrapper::HideForMinutes(unsigned minutes)
{
    HideUntil(Now() + double(minutes) / 1440.0);
}

void TNoteWrapper::NotifyChanged()
{
    if (Manager)
        Manager->ListChanged();
}

const QString &TNoteWrapper::SearchText()
{
    // Compared as stored: making the shown title for every note on every key
    // press would cost more than the search.
    if (!m_searchBodyDirty && Note->Title == m_searchTitle && Note->Group == m_searchGroup
        && SyncConflict == m_searchConflict)
        return m_searchText;
    if (m_searchBodyDirty) {
        m_searchBody = NoteSearch::fold(Rtf::toPlainText(Note->Content));
        m_searchBodyDirty = false;
    }
    m_searchTitle = Note->Title;
    m_searchGroup = Note->Group;
    m_searchConflict = SyncConflict;
    m_searchText = NoteSearch::fold(ShownTitle()) + QLatin1Char('\n') + NoteSearch::fold(Note->Group)
        + QLatin1Char('\n') + m_searchBody;
    return m_searchText;
}
