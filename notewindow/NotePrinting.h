#pragma once

#include <QString>

#include <memory>

class QPrinter;
class TNoteClass;

// The maker's address written after the header text of a printed note.
extern const QString MakerAddress;

// Makes the printer of the print commands. The layouts are in device pixels,
// measured for a fine printer, so it is a high-resolution one.
std::unique_ptr<QPrinter> NewPrinter();

// Prints a note: a header line, the title with the creation time, a caption
// and the body's plain text word-wrapped below them, in 10-point Arial and
// in the printer's device pixels. A body longer than the first page goes on
// over further pages, from the top margin.
void PrintNote(QPrinter &printer, const TNoteClass &note, const QString &plainText);
