#pragma once

#include "app/InternalProcs.h"

#include <QFlags>

class QTextEdit;

// The four font styles the formatting commands work with, with the bit
// values of the note formats.
enum class TextStyle { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8 };
Q_DECLARE_FLAGS(TextStyles, TextStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(TextStyles)

// The selection's attributes are those of its first character, or what
// typing would use when nothing is selected. What the text leaves unset
// comes from the document's default font and the editor's text colour.
TextStyles selectionStyle(const QTextEdit &editor);
ToolkitFont selectionFont(const QTextEdit &editor);

// Set all four styles of the selection at once; face, size and colour stay.
void setSelectionStyle(QTextEdit &editor, TextStyles styles);
// Set face, styles, size and colour of the selection.
void setSelectionFont(QTextEdit &editor, const ToolkitFont &font);
