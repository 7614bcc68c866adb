#pragma once

#include <QByteArray>
#include <QString>
#include <QTextCharFormat>

#include <optional>

// Files of text, HTML, Markdown or RTF made into note bodies.
namespace NoteImport {

// What a file gives a new note; `error` names the file and says what went
// wrong when it could not be taken.
struct ImportedNote
{
    QString title;
    QByteArray body;
    QString error;
};

// Text files' bytes as text: UTF-8 when they are valid UTF-8 (a byte order
// mark is dropped), otherwise code page 936; none when neither fits. A
// UTF-16 byte order mark, as Windows' editors write "Unicode", says UTF-16.
std::optional<QString> decodeText(const QByteArray &bytes);

// The file (.txt, .md, .html, .htm or .rtf) as a note: the title is the
// file's base name, the body the file's content as RTF. Text that carries
// no format of its own takes `bodyStyle`, the style new notes are written in.
// A file above MaxFileSize is refused: it would be no note to work with, and
// reading it whole would stall the program.
constexpr qint64 MaxFileSize = 16 * 1024 * 1024;
ImportedNote readNoteFile(const QString &path, const QTextCharFormat &bodyStyle);

} // namespace NoteImport
