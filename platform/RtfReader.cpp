#include "platform/RtfReader.h"

#include "platform/CodePage.h"
#include "platform/RtfFormat.h"
#include "platform/RtfParser.h"
#include "platform/RtfText.h"

#include <QStringList>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace Rtf {

namespace {

constexpr char16_t kLineSeparator = 0x2028;

Qt::Alignment toQt(Alignment alignment)
{
    switch (alignment) {
    case Alignment::Center: return Qt::AlignHCenter;
    case Alignment::Right: return Qt::AlignRight;
    case Alignment::Justify: return Qt::AlignJustify;
    case Alignment::Left: break;
    }
    return Qt::AlignLeft;
}

QTextBlockFormat blockFormat(Alignment alignment)
{
    QTextBlockFormat format;
    if (alignment != Alignment::Left)
        format.setAlignment(toQt(alignment));
    return format;
}

QColor tableColor(const DocumentTables &tables, int index)
{
    return index > 0 && index < tables.colors.size() ? tables.colors.at(index) : QColor();
}

QTextCharFormat makeCharFormat(const CharState &state, const DocumentTables &tables)
{
    QTextCharFormat format;
    const auto font = tables.fonts.constFind(state.font);
    if (font != tables.fonts.cend() && !font->name.isEmpty()) {
        format.setFontFamilies({font->name});
        format.setProperty(FontNameProperty, font->name);
        if (font->charset >= 0)
            format.setProperty(FontCharsetProperty, font->charset);
    }
    format.setFontPointSize(state.halfPoints / 2.0);
    format.setFontWeight(state.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(state.italic);
    format.setFontUnderline(state.underline);
    format.setFontStrikeOut(state.strike);
    const QColor foreground = tableColor(tables, state.foreground);
    if (foreground.isValid())
        format.setForeground(foreground);
    const QColor background = tableColor(tables, state.background);
    if (background.isValid())
        format.setBackground(background);
    return format;
}

class DocumentBuilder final : public Sink
{
public:
    explicit DocumentBuilder(QTextCursor &cursor) : m_cursor(cursor) {}

    void text(const QString &text, const CharState &state, const DocumentTables &tables) override
    {
        m_cursor.insertText(text, charFormat(state, tables));
        m_blockEmpty = false;
    }

    void paragraph(Alignment alignment, const CharState &state, const DocumentTables &tables) override
    {
        closeBlock(alignment, state, tables);
        m_cursor.insertBlock(blockFormat(alignment), charFormat(state, tables));
        m_blockAlignment = alignment;
        m_blockEmpty = true;
    }

    void finish(Alignment alignment, const CharState &state, const DocumentTables &tables) override
    {
        closeBlock(alignment, state, tables);
    }

private:
    void closeBlock(Alignment alignment, const CharState &state, const DocumentTables &tables)
    {
        if (alignment != m_blockAlignment)
            m_cursor.setBlockFormat(blockFormat(alignment));
        // An empty line takes its height from the format at its mark.
        if (m_blockEmpty)
            m_cursor.setBlockCharFormat(charFormat(state, tables));
    }

    const QTextCharFormat &charFormat(const CharState &state, const DocumentTables &tables)
    {
        if (!m_haveFormat || !(state == m_formatState)) {
            m_format = makeCharFormat(state, tables);
            m_formatState = state;
            m_haveFormat = true;
        }
        return m_format;
    }

    QTextCursor &m_cursor;
    Alignment m_blockAlignment = Alignment::Left;
    bool m_blockEmpty = true;
    bool m_haveFormat = false;
    CharState m_formatState;
    QTextCharFormat m_format;
};

class PlainTextBuilder final : public Sink
{
public:
    void text(const QString &text, const CharState &, const DocumentTables &) override
    {
        if (!text.contains(QChar(kLineSeparator))) {
            m_text += text;
            return;
        }
        for (QChar c : text) {
            if (c == QChar(kLineSeparator))
                m_text += u"\r\n";
            else
                m_text += c;
        }
    }

    void paragraph(Alignment, const CharState &, const DocumentTables &) override { m_text += u"\r\n"; }

    void finish(Alignment, const CharState &, const DocumentTables &) override {}

    QString take() { return std::move(m_text); }

private:
    QString m_text;
};

// Lines of a body that is not RTF: code page 936 text with any line ends.
// Characters a text block cannot hold (NUL and other controls) are dropped.
QStringList legacyLines(QByteArrayView bytes)
{
    const QString text = CodePage::fromCp936(bytes);
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\r' || c == u'\n' || c == 0x2029) {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            lines.append(line);
            line.clear();
        } else if (!needsCleaning(c)) {
            line.append(QChar(c));
        }
    }
    lines.append(line);
    return lines;
}

void insertLegacyText(QTextCursor &cursor, QByteArrayView bytes)
{
    const QStringList lines = legacyLines(bytes);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            cursor.insertBlock();
        cursor.insertText(lines.at(i));
    }
}

} // namespace

void readInto(QTextDocument &document, QByteArrayView rtf)
{
    // Loading is not an edit: nothing to undo, nothing to save.
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    document.clear();
    {
        QTextCursor cursor(&document);
        cursor.beginEditBlock();
        if (isRtf(rtf)) {
            DocumentBuilder builder(cursor);
            parse(rtf, builder);
        } else {
            insertLegacyText(cursor, rtf);
        }
        cursor.endEditBlock();
    }
    document.setUndoRedoEnabled(undo);
    document.setModified(false);
}

QString toPlainText(QByteArrayView rtf)
{
    if (!isRtf(rtf))
        return legacyLines(rtf).join(QStringLiteral("\r\n"));
    PlainTextBuilder builder;
    parse(rtf, builder);
    return builder.take();
}

} // namespace Rtf
