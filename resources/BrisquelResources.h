#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures, compiled into the library.

// The program icon (the tray icon and the about box's logo).
QIcon MainIcon();

// The splash window's picture, 247 x 110 pixels.
QPixmap SplashPicture();

// The 16 x 16 image lists of the windows, by the index each command names.
// An index without a picture gives a null icon. The pictures are vector
// drawings, so they stay sharp at any device pixel ratio.

// The tray menu: 0 new note, 1 exit, 3 about, 4 to-do list, 8 settings,
// 9 notes manager.
QIcon TrayMenuIcon(int index);

// The notes manager window: 0 a note whose window is open (also the new
// note command), 1 a note without a window, 2 delete note, 3 close note.
QIcon NotesManagerIcon(int index);

// The note window's menus: 0 bold, 1 plain, 2 copy, 3 cut, 4 style, 5 font,
// 7 undo, 8 underline, 9 italic, 10 close note, 11 paste, 12 select all,
// 13 delete, 14 strike-out, 15 close for a time, 16 print, 18 customize.
QIcon NoteMenuIcon(int index);

// The to-do window's priority icons, 0 (critical) to 9 (low); a null icon
// for any other value.
QIcon TodoPriorityIcon(int priority);

// The to-do window's command icons.
enum class TodoCommandIcon { NewProject, DeleteProject, NewTask, RemoveTask, EditTask, RemoveCTasks, PrintProject,
                             CloseTODO };
QIcon TodoIcon(TodoCommandIcon command);
