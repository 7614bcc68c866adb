#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// A note's body in the file formats a note can be saved as.
namespace NoteExport {

enum class Format { PlainText, Html, Markdown, Rtf };

// The format a file's extension names (letter case ignored); none for others.
std::optional<Format> formatOfFile(const QString &path);
// The extension, with its dot, files of the format get.
QString extensionOf(Format format);

// The note body (RTF as stored) in the format: text, HTML and Markdown as
// UTF-8, RTF as the stored bytes themselves.
QByteArray bodyAs(const QByteArray &rtf, Format format);

// A file name (without extension) made from the title that every common
// file system accepts: characters that Windows, macOS or Linux refuse in
// names and control characters become "_", blanks and dots are trimmed
// from both ends, names Windows keeps for devices get a "_" in front, and the
// name is cut to a length every system takes. Never empty, "." or "..".
QString safeFileName(const QString &title);

// File names for notes saved together into one folder, one per title in
// order: the safe name and the extension, and where that is taken, by an
// earlier one or by a name in `existing`, " (2)", " (3)"... before the
// extension. Letter case is ignored, as Windows and macOS do.
QStringList distinctFileNames(const QStringList &titles, Format format, const QStringList &existing);

} // namespace NoteExport
