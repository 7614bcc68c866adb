#include "notes/NoteImport.h"

#include "notes/NoteExport.h"
#include "platform/CodePage.h"
#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>

namespace NoteImport {

namespace {

using NoteExport::Format;

QString failure(const QString &path, const QString &reason)
{
    return QStringLiteral("不能导入文件: ") + path + QStringLiteral("\n") + reason;
}

bool looksLikeRtf(const QByteArray &bytes)
{
    return bytes.trimmed().startsWith("{\\rtf");
}

} // namespace

std::optional<QString> decodeText(const QByteArray &bytes)
{
    const std::optional<QStringConverter::Encoding> marked = QStringConverter::encodingForData(bytes);
    if (marked == QStringConverter::Utf16LE || marked == QStringConverter::Utf16BE) {
        QStringDecoder utf16(*marked);
        const QString text = utf16.decode(bytes);
        return utf16.hasError() ? std::nullopt : std::optional(text);
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString asUtf8 = utf8.decode(bytes);
    if (!utf8.hasError())
        return asUtf8;
    return CodePage::fromCp936Checked(bytes);
}

ImportedNote readNoteFile(const QString &path, const QTextCharFormat &bodyStyle)
{
    ImportedNote note;
    note.title = QFileInfo(path).completeBaseName();
    const std::optional<Format> format = NoteExport::formatOfFile(path);
    if (!format) {
        note.error = failure(path, QStringLiteral("不支持这种文件格式"));
        return note;
    }
    QFile file(path);
    if (file.size() > MaxFileSize) {
        note.error = failure(path, QStringLiteral("文件太大 (超过 16 MB)"));
        return note;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        note.error = failure(path, QStringLiteral("文件不能读取"));
        return note;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        note.error = failure(path, QStringLiteral("文件不能读取"));
        return note;
    }

    QTextDocument document;
    document.setDefaultFont(bodyStyle.font());
    if (*format == Format::Rtf) {
        if (!looksLikeRtf(bytes)) {
            note.error = failure(path, QStringLiteral("不是 RTF 文件"));
            return note;
        }
        // Written again as the program writes its notes.
        Rtf::readInto(document, bytes);
        note.body = Rtf::write(document);
        return note;
    }
    const std::optional<QString> text = decodeText(bytes);
    if (!text) {
        note.error = failure(path, QStringLiteral("文本的编码不能识别"));
        return note;
    }
    if (*format == Format::Html) {
        document.setHtml(*text);
    } else if (*format == Format::Markdown) {
        document.setMarkdown(*text);
    } else {
        document.setPlainText(*text);
        // Stored with the text, as what is typed into a new note.
        QTextCursor all(&document);
        all.select(QTextCursor::Document);
        all.mergeCharFormat(bodyStyle);
    }
    note.body = Rtf::write(document);
    return note;
}

} // namespace NoteImport
