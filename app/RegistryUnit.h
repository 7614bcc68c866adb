#pragma once

#include "platform/ColorValue.h"

#include <QByteArray>
#include <QString>

// Fixed 264-byte font description, stored in the settings store byte for byte.
struct FontRecord
{
    quint8 NameLength = 0; // length of the face name, 0 to 255
    char Name[255] = {};   // face name in code page 936; bytes past NameLength are not significant
    quint8 Size = 0;       // points
    quint8 Style = 0;      // bit 0 bold, bit 1 italic, bit 2 underline, bit 3 strike-out
    quint8 Padding[2] = {};
    quint32 Color = 0;

    static constexpr int kSize = 264;
    static constexpr quint8 fsBold = 0x01;
    static constexpr quint8 fsItalic = 0x02;
    static constexpr quint8 fsUnderline = 0x04;
    static constexpr quint8 fsStrikeOut = 0x08;

    QString faceName() const;
    // Stores the face in code page 936, cut to 255 bytes.
    void setFaceName(const QString &face);
    QByteArray toBytes() const;
    // Replaces the first bytes.size() bytes of the record (at most 264).
    void assignBytes(const QByteArray &bytes);
};
static_assert(sizeof(FontRecord) == FontRecord::kSize, "FontRecord must be 264 bytes");
static_assert(offsetof(FontRecord, Size) == 256 && offsetof(FontRecord, Color) == 260,
              "FontRecord layout is fixed");

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
