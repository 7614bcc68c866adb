#include "app/BrisquelEngineUnit.h"

#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/MainFormUnit.h"
#include "app/RegistryUnit.h"
#include "dialogs/ColorPicker.h"
#include "dialogs/ConfigurationFormUnit.h"
#include "dialogs/FontColorDialog.h"
#include "dialogs/frmNotesManagerForm.h"
#include "notes/NoteFolderMove.h"
#include "platform/Autostart.h"
#include "platform/RegistryStore.h"
#include "todolist/ToDoListFormUnit.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>

#include <exception>
#include <optional>

TBrisquelEngine *NoteEngine = nullptr;

namespace {

std::unique_ptr<TBrisquelEngine> &ownedEngine()
{
    static std::unique_ptr<TBrisquelEngine> engine;
    return engine;
}

void putDefaultLook()
{
    FontRecord noteFont;
    noteFont.setFaceName(QStringLiteral("Arial"));
    noteFont.Size = 8;
    noteFont.Style = 0;
    noteFont.Color = clBlack;
    Settings.NoteFont = noteFont;
    Settings.TitleFont = noteFont;
    Settings.TitleFont.Size = 7;
    Settings.TitleColor = 0x0000ECEC;
    Settings.NoteColor = 0x0000FFFF;
}

void tellDefaultFolderUsed()
{
    ShowWarning(QStringLiteral("无法使用便笺文件夹 %1。\n便笺暂时保存在默认的文件夹 %2 中。")
                    .arg(QDir::cleanPath(NoteFolderFor(NoteFolderChoice())), QDir::cleanPath(UserFolder)));
}

QString moveFailure(const NoteFolderMoveResult &result, const QString &from)
{
    const QString file = QDir(from).filePath(result.file);
    const QString kept = QStringLiteral("\n没有删除任何文件, 便笺和任务仍在原来的文件夹中。");
    switch (result.outcome) {
    case NoteFolderMoveResult::Outcome::Moved:
        break;
    case NoteFolderMoveResult::Outcome::CopyFailed:
        return QStringLiteral("无法把文件 %1 复制到新的文件夹。").arg(file) + kept;
    case NoteFolderMoveResult::Outcome::ReadBackDiffers:
        return QStringLiteral("文件 %1 的副本与原文件不符。").arg(file) + kept;
    case NoteFolderMoveResult::Outcome::NameTaken:
        return QStringLiteral("新的文件夹中已有另一个文件 %1。").arg(result.file) + kept;
    case NoteFolderMoveResult::Outcome::OldFilesLeft:
        return QStringLiteral("便笺和任务已移到新的文件夹, 但无法删除原来的文件 %1。").arg(file);
    }
    return QString();
}

} // namespace

TBrisquelEngine::TBrisquelEngine()
{
    const ShellReadyGuard building;
    putDefaultLook();
    const bool chosenFolderUsed = InitUserFolder();
    LoadSettings();
    startManager();
    if (!chosenFolderUsed)
        tellDefaultFolderUsed();
}

TBrisquelEngine::~TBrisquelEngine()
{
    // The notes are saved even when the settings cannot be written.
    QString settingsError;
    try {
        SaveSettings();
    } catch (const std::exception &error) {
        settingsError = QString::fromUtf8(error.what());
    }
    stopManager();
    if (!settingsError.isEmpty())
        ShowErrorBox(settingsError);
}

void TBrisquelEngine::startManager()
{
    Manager = std::make_unique<TNotesManager>();
    QObject::connect(Manager.get(), &TNotesManager::listChanged, Manager.get(), [this] { RefreshNotesManager(); });
    Manager->setPrintDialog([]() -> QPrinter * { return BrisquelMainForm ? BrisquelMainForm->PrintDialog() : nullptr; });
}

void TBrisquelEngine::stopManager()
{
    // What the notes do while they close no longer reaches the notes
    // manager window.
    QObject::disconnect(Manager.get(), &TNotesManager::listChanged, nullptr, nullptr);
    Manager->CloseAll();
    Manager.reset();
}

void TBrisquelEngine::RefreshNotesManager()
{
    if (NotesManagerForm)
        NotesManagerForm->refill(Manager->Notes.snapshot());
}

void TBrisquelEngine::ShowNotesManager()
{
    // The window holds ShellReady false for as long as it is open.
    if (NotesManagerForm) {
        RefreshNotesManager();
        NotesManagerForm->raise();
        NotesManagerForm->activateWindow();
        return;
    }
    // A placement that cannot be read still opens the window, centred; the
    // error is reported once the window is up, as the to-do window does.
    std::exception_ptr failure;
    NotesManagerForm = new TNotesManagerForm(Manager.get(), BrisquelMainForm);
    try {
        NotesManagerForm->FormCreate();
    } catch (...) {
        failure = std::current_exception();
    }
    RefreshNotesManager();
    NotesManagerForm->show();
    if (failure)
        std::rethrow_exception(failure);
}

void CreateNoteEngine()
{
    if (ownedEngine())
        return;
    ownedEngine() = std::make_unique<TBrisquelEngine>();
    NoteEngine = ownedEngine().get();
}

void DestroyNoteEngine()
{
    const std::unique_ptr<TBrisquelEngine> engine = std::move(ownedEngine());
    NoteEngine = nullptr;
}

namespace {

void fillConfiguration(TConfigurationForm &dialog)
{
    dialog.SafeSave->setChecked(Settings.SafeSave);
    dialog.Noteanim->setChecked(Settings.NoteAnimations);
    dialog.TransNote->setChecked(Settings.NoteTransparency);
    dialog.AutoStart->setChecked(Autostart::isAutostartEnabled());
    dialog.AutoStart->setEnabled(Autostart::canAutostart());
    dialog.TrillFileEdit->setText(Settings.TrillFile);
    dialog.NoteFolderEdit->setPlaceholderText(QDir::cleanPath(DefaultUserFolder()));
    dialog.NoteFolderEdit->setText(NoteFolderChoice());
    dialog.BColor->setColor(Settings.TitleColor);
    dialog.NColor->setColor(Settings.NoteColor);
    dialog.PendingWidth = Settings.DefNoteWidth;
    dialog.PendingHeight = Settings.DefNoteHeight;
    dialog.TitleFontDialog->setSelectedFont(RecordToFont(Settings.TitleFont));
    dialog.NoteFontDialog->setSelectedFont(RecordToFont(Settings.NoteFont));
}

void takeConfiguration(const TConfigurationForm &dialog)
{
    Settings.SafeSave = dialog.SafeSave->isChecked();
    Settings.NoteAnimations = dialog.Noteanim->isChecked();
    Settings.NoteTransparency = dialog.TransNote->isChecked();
    // The entry is the setting: it is touched only when the choice differs.
    const bool autoStart = dialog.AutoStart->isChecked();
    if (autoStart != Autostart::isAutostartEnabled() && !Autostart::setAutostartEnabled(autoStart))
        ShowErrorBox(QStringLiteral("无法更改登录时启动的设置:\n%1").arg(Autostart::entryPath()));
    Settings.TrillFile = dialog.TrillFileEdit->text();
    Settings.TitleColor = dialog.BColor->color();
    Settings.NoteColor = dialog.NColor->color();
    Settings.DefNoteWidth = dialog.PendingWidth;
    Settings.DefNoteHeight = dialog.PendingHeight;
    Settings.TitleFont = FontToRecord(dialog.TitleFontDialog->selectedFont());
    Settings.NoteFont = FontToRecord(dialog.NoteFontDialog->selectedFont());
}

} // namespace

void TBrisquelEngine::Configure()
{
    // The tray's commands come back even when the settings cannot be
    // written; the error itself goes on to the caller.
    const ShellReadyGuard configuring;
    Manager->SaveAll();
    std::optional<QString> folderChoice;
    {
        TConfigurationForm dialog(BrisquelMainForm);
        fillConfiguration(dialog);
        if (dialog.exec() == QDialog::Accepted) {
            SettingsChanged = true;
            takeConfiguration(dialog);
            Manager->RefreshAllWindows();
            folderChoice = dialog.NoteFolderEdit->text();
        }
    }
    SaveSettings();
    if (folderChoice)
        changeNoteFolder(*folderChoice);
}

void TBrisquelEngine::changeNoteFolder(const QString &choice)
{
    const QString target = NoteFolderFor(choice);
    const QString stored = target == DefaultUserFolder() ? QString() : QDir::cleanPath(target);
    if (target == UserFolder) {
        // The folder in use while the chosen one could not be used: taking
        // it gives up that choice.
        if (NoteFolderChoice() != stored)
            StoreNoteFolderChoice(stored);
        return;
    }
    if (!PrepareNoteFolder(target)) {
        ShowErrorBox(QStringLiteral("无法使用便笺文件夹:\n%1").arg(QDir::cleanPath(target)));
        return;
    }
    // The to-do window writes its project into the folder it was opened on.
    if (ToDoListForm) {
        ToDoListForm->close();
        if (ToDoListForm)
            return;
    }
    const bool move = ConfirmYesNo(QStringLiteral("是否把现有的便笺和任务移到新的文件夹?"));
    const QString previousChoice = NoteFolderChoice();
    // Stored first: a store that cannot be written leaves everything as it was.
    StoreNoteFolderChoice(stored);
    const QString oldFolder = UserFolder;
    // Closed before the move, so that no note is written into the old folder
    // after its files were taken away.
    stopManager();
    NoteFolderMoveResult moved;
    if (move)
        moved = MoveNoteFiles(oldFolder, target);
    const bool moveFailed = moved.outcome != NoteFolderMoveResult::Outcome::Moved
        && moved.outcome != NoteFolderMoveResult::Outcome::OldFilesLeft;
    QString storeError;
    if (moveFailed) {
        try {
            StoreNoteFolderChoice(previousChoice);
        } catch (const ERegistryException &error) {
            storeError = QString::fromUtf8(error.what());
        }
    }
    const bool chosenFolderUsed = InitUserFolder();
    startManager();
    RefreshNotesManager();
    if (moved.outcome != NoteFolderMoveResult::Outcome::Moved)
        ShowErrorBox(moveFailure(moved, oldFolder));
    if (!storeError.isEmpty())
        ShowErrorBox(storeError);
    if (!chosenFolderUsed)
        tellDefaultFolderUsed();
}
