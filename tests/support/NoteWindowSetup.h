#pragma once

#include <QString>

// The state every note-window test starts from: default settings with the
// given body font and no animations, the program neither starting nor
// shutting down, the clock at 5 March 2024 10:00 and an empty note folder.
void resetNoteWindowWorld(const QString &bodyFace, quint8 bodySize);

// Deletes the windows and objects whose deleteLater() is still pending.
void flushDeletes();

class TNoteForm;

// Activates a note window and presses Shift in it, as a user who starts to
// type: from then on its editor has the keyboard and its commands exist.
// False when it did not come so far.
[[nodiscard]] bool activateNote(TNoteForm *window);

// Closes the notes manager and ends the note engine, then lets the closed
// windows' last events run.
void closeNoteEngine();
