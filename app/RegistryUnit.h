#pragma once

#include "app/FontRecord.h"
#include "platform/ColorValue.h"

#include <QString>

// The global settings, process-wide and read directly where needed.
struct GlobalSettings
{
    bool SafeSave = true;
    TColor NoteColor = 0x0000FFFF;
    TColor TitleColor = 0x0000ECEC;
    bool NoteAnimations = true;
    bool NoteTransparency = false;
    FontRecord TitleFont;
    FontRecord NoteFont;
    qint32 DefNoteWidth = 160;
    qint32 DefNoteHeight = 160;
    QString TrillFile;
};

extern GlobalSettings Settings;
// Set when the configuration dialog is confirmed; never cleared. Settings are
// written only while it is set.
extern bool SettingsChanged;

// Registry key of the settings, below the current user's root.
extern const QString BrisquelKey;

void LoadSettings();
void SaveSettings();

// Whether the user has been told that this desktop does not let notes go
// back to their saved places; a value of its own, apart from the settings.
bool PlaceNoticeShown();
void RememberPlaceNoticeShown();

// The note folder chosen on this computer; empty for the default one. A value
// that cannot be read counts as no choice.
QString NoteFolderChoice();
// Stores the choice, empty for the default. Throws ERegistryException when
// the store cannot be written.
void StoreNoteFolderChoice(const QString &folder);
