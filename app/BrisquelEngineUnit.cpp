#include "app/BrisquelEngineUnit.h"

#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/MainFormUnit.h"
#include "app/RegistryUnit.h"
#include "dialogs/ColorPicker.h"
#include "dialogs/ConfigurationFormUnit.h"
#include "dialogs/FontColorDialog.h"
#include "dialogs/frmNotesManagerForm.h"
#include "platform/Autostart.h"

#include <QCheckBox>
#include <QLineEdit>

#include <exception>

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

} // namespace

TBrisquelEngine::TBrisquelEngine()
{
    const ShellReadyGuard building;
    putDefaultLook();
    InitUserFolder();
    LoadSettings();
    Manager = std::make_unique<TNotesManager>();
    QObject::connect(Manager.get(), &TNotesManager::listChanged, Manager.get(), [this] { RefreshNotesManager(); });
    Manager->setPrintDialog([]() -> QPrinter * { return BrisquelMainForm ? BrisquelMainForm->PrintDialog() : nullptr; });
}

TBrisquelEngine::~TBrisquelEngine()
{
    // The engine is out of service: what the notes do while they close no
    // longer reaches the notes manager window.
    QObject::disconnect(Manager.get(), &TNotesManager::listChanged, nullptr, nullptr);
    // The notes are saved even when the settings cannot be written.
    QString settingsError;
    try {
        SaveSettings();
    } catch (const std::exception &error) {
        settingsError = QString::fromUtf8(error.what());
    }
    Manager->CloseAll();
    Manager.reset();
    if (!settingsError.isEmpty())
        ShowErrorBox(settingsError);
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
    {
        TConfigurationForm dialog(BrisquelMainForm);
        fillConfiguration(dialog);
        if (dialog.exec() == QDialog::Accepted) {
            SettingsChanged = true;
            takeConfiguration(dialog);
            Manager->RefreshAllWindows();
        }
    }
    SaveSettings();
}
