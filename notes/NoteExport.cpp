#include "notes/NoteExport.h"

#include "platform/RtfReader.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocument>

namespace NoteExport {

namespace {

// Names are limited to 255 bytes on most file systems; this leaves room for
// an extension and for what a file dialog may add.
constexpr qsizetype kMaxNameBytes = 200;

const QString kFallbackName = QStringLiteral("便笺");

bool refusedInNames(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("<>:\"/\\|?*").contains(c);
}

bool isDeviceName(const QString &name)
{
    // Windows refuses these also with an extension: "con.txt".
    static const QRegularExpression device(QStringLiteral("^(con|prn|aux|nul|com[1-9]|lpt[1-9])(\\..*)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return device.match(name).hasMatch();
}

// Cut at a character, never inside a surrogate pair.
QString cutToBytes(const QString &name, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < name.size()) {
        const qsizetype length = name.at(i).isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        const qsizetype size = name.mid(i, length).toUtf8().size();
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        i += length;
    }
    return name.left(i);
}

// Windows drops blanks and dots at the end of a name; a dot in front hides
// the file on Linux and macOS.
QString trimmed(const QString &name)
{
    qsizetype start = 0;
    qsizetype end = name.size();
    while (start < end && (name.at(start).isSpace() || name.at(start) == u'.'))
        ++start;
    while (end > start && (name.at(end - 1).isSpace() || name.at(end - 1) == u'.'))
        --end;
    return name.mid(start, end - start);
}

} // namespace

std::optional<Format> formatOfFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"txt")
        return Format::PlainText;
    if (suffix == u"html" || suffix == u"htm")
        return Format::Html;
    if (suffix == u"md")
        return Format::Markdown;
    if (suffix == u"rtf")
        return Format::Rtf;
    return std::nullopt;
}

QString extensionOf(Format format)
{
    switch (format) {
    case Format::PlainText:
        return QStringLiteral(".txt");
    case Format::Html:
        return QStringLiteral(".html");
    case Format::Markdown:
        return QStringLiteral(".md");
    case Format::Rtf:
        break;
    }
    return QStringLiteral(".rtf");
}

QByteArray bodyAs(const QByteArray &rtf, Format format)
{
    if (format == Format::Rtf)
        return rtf;
    QTextDocument document;
    Rtf::readInto(document, rtf);
    if (format == Format::Html)
        return document.toHtml().toUtf8();
    if (format == Format::Markdown)
        return document.toMarkdown().toUtf8();
    return document.toPlainText().toUtf8();
}

QString safeFileName(const QString &title)
{
    QString name = title;
    for (QChar &c : name) {
        if (refusedInNames(c))
            c = u'_';
    }
    // Trimming the dots also turns "." and ".." into nothing.
    name = trimmed(cutToBytes(trimmed(name), kMaxNameBytes));
    if (name.isEmpty())
        return kFallbackName;
    if (isDeviceName(name))
        name.prepend(u'_');
    return name;
}

QStringList distinctFileNames(const QStringList &titles, Format format, const QStringList &existing)
{
    QSet<QString> taken;
    for (const QString &name : existing)
        taken.insert(name.toCaseFolded());
    const QString extension = extensionOf(format);
    QStringList names;
    for (const QString &title : titles) {
        const QString base = safeFileName(title);
        QString name = base + extension;
        for (int n = 2; taken.contains(name.toCaseFolded()); ++n)
            name = base + QStringLiteral(" (%1)").arg(n) + extension;
        taken.insert(name.toCaseFolded());
        names.append(name);
    }
    return names;
}

} // namespace NoteExport
