#pragma once

#include <QString>

class QPrinter;
class TNoteClass;

// The maker's address written after the header text of a printed note.
extern const QString MakerAddress;

// Prints a note: a header line, the title with the creation time, a caption
// and the body's plain text word-wrapped below them, in 10-point Arial and
// in the printer's device pixels. A body longer than the first page goes on
// over further pages, from the top margin.
void PrintNote(QPrinter &printer, const TNoteClass &note, const QString &plainText);
