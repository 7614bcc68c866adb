#pragma once

#include "app/FontRecord.h"
#include "platform/ColorValue.h"

#include <QFont>
#include <QString>

#include <functional>

// Flags of the user-interface thread (see the program entry and the tray form).
extern bool Starting;     // true until the main form has finished creating
extern bool ShuttingDown; // set by the once-only shutdown (terminate message, log-off)
extern bool ShellReady;   // false while a dialog, the notes manager or note creation runs

// Holds ShellReady false for as long as it lives: a dialog, the notes manager
// window, note creation. Holds may end in any order, since the notes manager
// window is not modal; when the last one ends, ShellReady gets back the value
// the first one found, also when an error leaves early.
class ShellReadyGuard final
{
public:
    ShellReadyGuard();
    ~ShellReadyGuard();
    ShellReadyGuard(const ShellReadyGuard &) = delete;
    ShellReadyGuard &operator=(const ShellReadyGuard &) = delete;
};

// Full path of the current user's note folder, ending with '/'.
extern QString UserFolder;

// The text without the characters up to U+0020 at either end, the way ids,
// names and titles are trimmed.
QString TrimBlanks(const QString &text);

// The program's folder, ending with '/'. Tests point it at a temporary folder.
QString ProgramFolder();
void setProgramFolder(const QString &folder);

// Log-on name of the real user, "defaultUser" when there is none.
QString LogOnName();

// The note folder used when none is chosen: UsersFolder() and the log-on
// name, ending with '/'.
QString DefaultUserFolder();
// The folder a choice of the settings store names, absolute (a relative one
// below the home folder) and ending with '/'; the default one for no choice.
QString NoteFolderFor(const QString &choice);
// Creates the folder and its missing parents, readable by their owner only;
// whether the folder then takes new files.
bool PrepareNoteFolder(const QString &folder);
// Sets UserFolder to the note folder chosen on this computer, or to the
// default one. False when the chosen folder cannot be made or written: the
// default one is used then, and the notes in the chosen one stay there.
bool InitUserFolder();

// Where this user's notes, to-do projects and exception log live, ending
// with '/': the program's folder for a portable copy (one whose folder is
// writable and not an installed bin/, or that already has a Users folder),
// otherwise "brisquel" in the user's data folder, made private on first use.
QString DataFolder();
// The folder below DataFolder() that holds every user's note folder.
QString UsersFolder();
// A file the program ships (the alarm sound): beside the executable, or in
// the installed data folder share/brisquel. The path beside the executable
// when neither has it.
QString ProgramDataFile(const QString &name);

QString NoteFileName(const QString &id);
// Whether a name is taken by something besides the note files (the GUI
// passes the check of its window names).
using NameInUse = std::function<bool(const QString &name)>;
// A new id from the current time and a counter, naming no note file and
// nothing isNameUsed reports.
QString NewNoteID(const NameInUse &isNameUsed);

// A toolkit font together with its colour, as the font dialogs and the body
// editor use it.
struct ToolkitFont
{
    QFont font;
    TColor color = clBlack;
};

FontRecord FontToRecord(const ToolkitFont &font);
ToolkitFont RecordToFont(const FontRecord &record);
