#include "app/BrisquelEngineUnit.h"

#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"

#include <exception>

TBrisquelEngine *NoteEngine = nullptr;

namespace {

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
    ShellReady = false;
    putDefaultLook();
    InitUserFolder();
    LoadSettings();
    Manager = std::make_unique<TNotesManager>();
    ShellReady = true;
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
    Manager->CloseAll();
    Manager.reset();
    if (!settingsError.isEmpty())
        ShowErrorBox(settingsError);
}

void TBrisquelEngine::RefreshNotesManager()
{
}
