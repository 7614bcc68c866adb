#pragma once

class QWidget;
class TNoteWrapper;

// Asks for a file and saves the note's body there, as text, HTML, Markdown
// or RTF by the file's extension or the filter chosen. The note's window,
// when open, is read first, so that what is saved is what the user sees.
void ExportNote(QWidget *parent, TNoteWrapper &wrapper);
