#pragma once

#include <QList>

class QWidget;
class TNoteWrapper;

// Asks for a file and saves the note's body there, as text, HTML, Markdown
// or RTF by the file's extension or the filter chosen. The note's window,
// when open, is read first, so that what is saved is what the user sees.
void ExportNote(QWidget *parent, TNoteWrapper &wrapper);

// Asks for a folder and a format and saves each note's body there, one file
// per note named after its title, never over a file already there. Damaged
// notes are left out and named in one message; a file that cannot be
// written is named in a message of its own and the others are still saved.
void ExportNotes(QWidget *parent, const QList<TNoteWrapper *> &wrappers);
