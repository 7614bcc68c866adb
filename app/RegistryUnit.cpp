#include "app/RegistryUnit.h"

#include "app/InternalProcs.h"
#include "platform/RegistryStore.h"

GlobalSettings Settings;
bool SettingsChanged = false;
const QString BrisquelKey = QStringLiteral("\\SOFTWARE\\Orvanta\\Brisquel");

namespace {

const QString kSafeSave = QStringLiteral("SafeSave");
const QString kNoteColor = QStringLiteral("NoteColor");
const QString kTitleColor = QStringLiteral("TitleColor");
const QString kNoteAnimations = QStringLiteral("NoteAnimations");
const QString kNoteTransparency = QStringLiteral("NoteTransparency");
const QString kTitleFont = QStringLiteral("TitleFont");
const QString kNoteFont = QStringLiteral("NoteFont");
const QString kDefNoteWidth = QStringLiteral("DefNoteWidth");
const QString kDefNoteHeight = QStringLiteral("DefNoteHeight");
const QString kTrillFile = QStringLiteral("TrillFile");
const QString kPlaceNoticeShown = QStringLiteral("PlaceNoticeShown");
const QString kNoteFolder = QStringLiteral("NoteFolder");

QString defaultTrillFile()
{
    return ProgramDataFile(QStringLiteral("trill.wav"));
}

// A missing font value leaves the record as it is; a shorter one replaces
// only the bytes it holds.
void readFont(const TRegistry &registry, const QString &name, FontRecord &record)
{
    if (!registry.ValueExists(name))
        return;
    char buffer[FontRecord::kSize];
    const int length = registry.ReadBinaryData(name, buffer, FontRecord::kSize);
    record.assignBytes(QByteArray(buffer, length));
}

void writeFont(TRegistry &registry, const QString &name, const FontRecord &record)
{
    const QByteArray bytes = record.toBytes();
    registry.WriteBinaryData(name, bytes.constData(), int(bytes.size()));
}

// The steps after the key is open; the first error ends them, keeping what
// was read before it. Returns once TrillFile has been read or defaulted.
void readStoredValues(const TRegistry &registry)
{
    if (registry.ValueExists(kSafeSave)) {
        Settings.SafeSave = registry.ReadBool(kSafeSave);
        Settings.NoteColor = TColor(registry.ReadInteger(kNoteColor));
        Settings.TitleColor = TColor(registry.ReadInteger(kTitleColor));
        Settings.NoteAnimations = registry.ReadBool(kNoteAnimations);
        Settings.NoteTransparency = registry.ReadBool(kNoteTransparency);
        readFont(registry, kTitleFont, Settings.TitleFont);
        readFont(registry, kNoteFont, Settings.NoteFont);
    }
    // The size is one setting: half of a pair is never taken.
    if (registry.ValueExists(kDefNoteWidth) && registry.ValueExists(kDefNoteHeight)) {
        const qint32 width = registry.ReadInteger(kDefNoteWidth);
        const qint32 height = registry.ReadInteger(kDefNoteHeight);
        Settings.DefNoteWidth = width;
        Settings.DefNoteHeight = height;
    }
    Settings.TrillFile = registry.ValueExists(kTrillFile) ? registry.ReadString(kTrillFile) : defaultTrillFile();
}

} // namespace

void LoadSettings()
{
    // The key is looked up once: it may vanish between a test and an open.
    TRegistry registry;
    if (!registry.OpenKeyReadOnly(BrisquelKey)) {
        Settings.TrillFile = defaultTrillFile();
        return;
    }
    // Loading is forgiving: a missing or mistyped value keeps the defaults
    // from there on, without a message.
    try {
        readStoredValues(registry);
    } catch (const ERegistryException &) {
        Settings.TrillFile = defaultTrillFile();
    }
    registry.CloseKey();
}

void SaveSettings()
{
    TRegistry registry;
    if (!registry.OpenKey(BrisquelKey, true))
        throw ERegistryException(QStringLiteral("Failed to create key %1").arg(BrisquelKey));
    if (SettingsChanged) {
        // All ten values or none: a half-saved set would mix two configurations.
        registry.BeginBatch();
        registry.WriteBool(kSafeSave, Settings.SafeSave);
        registry.WriteInteger(kNoteColor, qint32(Settings.NoteColor));
        registry.WriteInteger(kTitleColor, qint32(Settings.TitleColor));
        registry.WriteBool(kNoteAnimations, Settings.NoteAnimations);
        registry.WriteBool(kNoteTransparency, Settings.NoteTransparency);
        writeFont(registry, kTitleFont, Settings.TitleFont);
        writeFont(registry, kNoteFont, Settings.NoteFont);
        registry.WriteString(kTrillFile, Settings.TrillFile);
        registry.WriteInteger(kDefNoteWidth, Settings.DefNoteWidth);
        registry.WriteInteger(kDefNoteHeight, Settings.DefNoteHeight);
        registry.CommitBatch();
    }
    registry.CloseKey();
}

bool PlaceNoticeShown()
{
    TRegistry registry;
    if (!registry.OpenKeyReadOnly(BrisquelKey) || !registry.ValueExists(kPlaceNoticeShown))
        return false;
    try {
        return registry.ReadBool(kPlaceNoticeShown);
    } catch (const ERegistryException &) {
        return false;
    }
}

void RememberPlaceNoticeShown()
{
    // A store that cannot be written only means that the notice comes again.
    try {
        TRegistry registry;
        if (registry.OpenKey(BrisquelKey, true))
            registry.WriteBool(kPlaceNoticeShown, true);
    } catch (const ERegistryException &) {
        return;
    }
}

QString NoteFolderChoice()
{
    TRegistry registry;
    if (!registry.OpenKeyReadOnly(BrisquelKey) || !registry.ValueExists(kNoteFolder))
        return QString();
    try {
        return registry.ReadString(kNoteFolder);
    } catch (const ERegistryException &) {
        return QString();
    }
}

void StoreNoteFolderChoice(const QString &folder)
{
    TRegistry registry;
    if (!registry.OpenKey(BrisquelKey, true))
        throw ERegistryException(QStringLiteral("Failed to create key %1").arg(BrisquelKey));
    registry.WriteString(kNoteFolder, folder);
}
