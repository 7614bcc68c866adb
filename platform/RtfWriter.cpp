#include "platform/RtfWriter.h"

#include "platform/RtfFormat.h"
#include "platform/RtfParser.h"
#include "platform/RtfText.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>

#include <memory>
#include <utility>
#include <vector>

namespace Rtf {

namespace {

constexpr int kMaxHalfPoints = 3276;
constexpr double kFallbackPointSize = 12.0;

// Encodes single characters in one code page, each the way the control reads
// it back. Results are remembered per character: a note repeats few distinct
// characters many times.
class CharEncoder
{
public:
    explicit CharEncoder(int codePage)
        : m_encoder(codecName(codePage).constData(), QStringConverter::Flag::Stateless)
        , m_decoder(codecName(codePage).constData(), QStringConverter::Flag::Stateless)
        , m_cache(std::make_unique<quint16[]>(0x10000))
    {
    }

    // The character's bytes (one or two) in the code page; empty when the
    // code page cannot hold it, or only as a look-alike.
    QByteArrayView encode(char16_t c)
    {
        quint16 &entry = m_cache[c];
        if (entry == kUnknown)
            entry = lookUp(c);
        if (entry == kUnencodable)
            return {};
        if (entry < 0x200) {
            m_bytes[0] = char(entry & 0xFF);
            return QByteArrayView(m_bytes, 1);
        }
        m_bytes[0] = char(entry >> 8);
        m_bytes[1] = char(entry & 0xFF);
        return QByteArrayView(m_bytes, 2);
    }

private:
    static constexpr quint16 kUnknown = 0;
    static constexpr quint16 kUnencodable = 0xFFFF;
    static constexpr quint16 kSingleByte = 0x100;

    quint16 lookUp(char16_t c)
    {
        if (!m_encoder.isValid() || !m_decoder.isValid())
            return kUnencodable;
        const QChar character(c);
        m_encoder.resetState();
        const QByteArray bytes = m_encoder.encode(QStringView(&character, 1));
        if (m_encoder.hasError() || bytes.isEmpty() || bytes.size() > 2)
            return kUnencodable;
        m_decoder.resetState();
        const QString back = m_decoder.decode(bytes);
        if (back.size() != 1 || back.at(0) != character)
            return kUnencodable;
        if (bytes.size() == 1)
            return quint16(kSingleByte | uchar(bytes[0]));
        if (uchar(bytes[0]) < 0x02)
            return kUnencodable; // cannot be told from a single byte above
        return quint16((uchar(bytes[0]) << 8) | uchar(bytes[1]));
    }

    QStringEncoder m_encoder;
    QStringDecoder m_decoder;
    std::unique_ptr<quint16[]> m_cache;
    char m_bytes[2] = {};
};

bool isChinese(char16_t c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F)
        || (c >= 0xFF00 && c <= 0xFFEF);
}

bool holdsChinese(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return isChinese(c.unicode()); });
}

bool isCjkCodePage(int codePage)
{
    return codePage == 936 || codePage == 932 || codePage == 949 || codePage == 950;
}

// The code page the control decodes a font's bytes in, our \ansicpg being 936.
int codePageOf(int charset)
{
    const int codePage = codePageForCharset(charset);
    return codePage > 0 ? codePage : kChineseCodePage;
}

Alignment alignmentOf(const QTextBlockFormat &format)
{
    const Qt::Alignment horizontal = format.alignment() & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignJustify)
        return Alignment::Justify;
    if (horizontal & Qt::AlignHCenter)
        return Alignment::Center;
    if (horizontal & Qt::AlignRight)
        return Alignment::Right;
    return Alignment::Left;
}

const char *alignmentWord(Alignment alignment)
{
    switch (alignment) {
    case Alignment::Center: return "qc";
    case Alignment::Right: return "qr";
    case Alignment::Justify: return "qj";
    case Alignment::Left: break;
    }
    return "ql";
}

void appendHexByte(QByteArray &out, uchar byte)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\'";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

void appendUnicode(QByteArray &out, char16_t unit)
{
    out += "\\u";
    out += QByteArray::number(static_cast<qint16>(unit));
    out += '?';
}

struct RunFont
{
    QString face;
    int charset = kAnsiCharset;
};

class Writer
{
public:
    explicit Writer(const QTextDocument &document) : m_document(document), m_defaultFont(document.defaultFont()) {}

    QByteArray run();

private:
    void writeBlock(const QTextBlock &block);
    void writeFormat(const QTextCharFormat &format, QStringView text);
    void writeText(QStringView text);
    void writeWord(const char *word);
    void writeWord(const char *word, int value);
    QByteArray header();
    void writeFontName(QByteArray &out, const QString &name, int codePage);

    RunFont runFont(const QTextCharFormat &format, QStringView text) const;
    int halfPoints(const QTextCharFormat &format) const;
    int fontIndex(RunFont font);
    int colorIndex(const QBrush &brush);
    CharEncoder &encoderFor(int codePage);

    const QTextDocument &m_document;
    const QFont m_defaultFont;
    QByteArray m_body;
    bool m_needDelimiter = false;

    QList<RunFont> m_fonts;
    QHash<std::pair<QString, int>, int> m_fontIndex;
    QList<QRgb> m_colors;
    QHash<QRgb, int> m_colorIndex;
    std::vector<std::pair<int, std::unique_ptr<CharEncoder>>> m_encoders;

    // What the reader of our output holds at the current point.
    Alignment m_alignment = Alignment::Left;
    int m_font = -1;
    int m_halfPoints = -1;
    int m_foreground = 0;
    int m_background = 0;
    bool m_bold = false;
    bool m_italic = false;
    bool m_underline = false;
    bool m_strike = false;
    int m_codePage = kChineseCodePage;
};

QByteArray Writer::run()
{
    m_body.reserve(m_document.characterCount() * 2 + 64);
    for (QTextBlock block = m_document.begin(); block.isValid(); block = block.next())
        writeBlock(block);
    QByteArray result = header();
    result += m_body;
    result += "}\r\n";
    return result;
}

// Every block ends with \par, the last one too: the control takes that one
// as its own final paragraph mark.
void Writer::writeBlock(const QTextBlock &block)
{
    const Alignment alignment = alignmentOf(block.blockFormat());
    if (alignment != m_alignment) {
        writeWord("pard");
        if (alignment != Alignment::Left)
            writeWord(alignmentWord(alignment));
        m_alignment = alignment;
    }
    bool empty = true;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const QString text = fragment.text();
        writeFormat(fragment.charFormat(), text);
        writeText(text);
        empty = false;
    }
    if (empty)
        writeFormat(block.charFormat(), {});
    writeWord("par");
    m_body += "\r\n";
    m_needDelimiter = false;
}

void Writer::writeFormat(const QTextCharFormat &format, QStringView text)
{
    const RunFont font = runFont(format, text);
    const int index = fontIndex(font);
    const int size = halfPoints(format);
    const int foreground = colorIndex(format.foreground());
    const int background = colorIndex(format.background());
    const bool bold = format.fontWeight() >= QFont::DemiBold;
    const bool italic = format.fontItalic();
    const bool underline = format.fontUnderline();
    const bool strike = format.fontStrikeOut();

    if (foreground != m_foreground)
        writeWord("cf", m_foreground = foreground);
    if (background != m_background)
        writeWord("highlight", m_background = background);
    if (bold != m_bold)
        writeWord((m_bold = bold) ? "b" : "b0");
    if (italic != m_italic)
        writeWord((m_italic = italic) ? "i" : "i0");
    if (underline != m_underline)
        writeWord((m_underline = underline) ? "ul" : "ulnone");
    if (strike != m_strike)
        writeWord((m_strike = strike) ? "strike" : "strike0");
    if (index != m_font)
        writeWord("f", m_font = index);
    if (size != m_halfPoints)
        writeWord("fs", m_halfPoints = size);
    m_codePage = codePageOf(font.charset);
}

void Writer::writeText(QStringView text)
{
    CharEncoder &encoder = encoderFor(m_codePage);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\t') {
            writeWord("tab");
        } else if (c == 0x2028) {
            writeWord("line");
        } else if (c == u'\\' || c == u'{' || c == u'}') {
            m_body += '\\';
            m_body += char(c);
            m_needDelimiter = false;
        } else if (c >= 0x20 && c < 0x7F) {
            if (m_needDelimiter)
                m_body += ' ';
            m_body += char(c);
            m_needDelimiter = false;
        } else if (needsCleaning(c)) {
            continue; // block structure and embedded objects, not text
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            appendUnicode(m_body, c);
            appendUnicode(m_body, text.at(++i).unicode());
            m_needDelimiter = false;
        } else if (QChar::isSurrogate(c)) {
            appendUnicode(m_body, 0xFFFD);
            m_needDelimiter = false;
        } else {
            const QByteArrayView bytes = encoder.encode(c);
            if (bytes.isEmpty()) {
                appendUnicode(m_body, c);
            } else {
                for (char byte : bytes)
                    appendHexByte(m_body, uchar(byte));
            }
            m_needDelimiter = false;
        }
    }
}

void Writer::writeWord(const char *word)
{
    m_body += '\\';
    m_body += word;
    m_needDelimiter = true;
}

void Writer::writeWord(const char *word, int value)
{
    writeWord(word);
    m_body += QByteArray::number(value);
}

QByteArray Writer::header()
{
    QByteArray out = QByteArrayLiteral("{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl");
    for (qsizetype i = 0; i < m_fonts.size(); ++i) {
        const RunFont &font = m_fonts.at(i);
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset" + QByteArray::number(font.charset) + ' ';
        writeFontName(out, font.face, codePageOf(font.charset));
        out += ";}";
    }
    out += "}\r\n";
    if (!m_colors.isEmpty()) {
        out += "{\\colortbl ;";
        for (QRgb rgb : std::as_const(m_colors)) {
            out += "\\red" + QByteArray::number(qRed(rgb)) + "\\green" + QByteArray::number(qGreen(rgb))
                + "\\blue" + QByteArray::number(qBlue(rgb)) + ';';
        }
        out += "}\r\n";
    }
    out += "\\viewkind4\\uc1\\pard";
    return out;
}

// Font names are written in the font's own code page.
void Writer::writeFontName(QByteArray &out, const QString &name, int codePage)
{
    CharEncoder &encoder = encoderFor(codePage);
    for (QChar character : name) {
        const char16_t c = character.unicode();
        if (c >= 0x20 && c < 0x7F && c != u'\\' && c != u'{' && c != u'}' && c != u';') {
            out += char(c);
            continue;
        }
        const QByteArrayView bytes = c >= 0x80 && !QChar::isSurrogate(c) ? encoder.encode(c) : QByteArrayView();
        if (!bytes.isEmpty()) {
            for (char byte : bytes)
                appendHexByte(out, uchar(byte));
        } else if (c >= 0x7F || c == u'\\' || c == u'{' || c == u'}' || c == u';') {
            // DEL is kept as the reader keeps it: dropping it could leave no name.
            appendUnicode(out, c);
        }
    }
}

// The face and charset a run is written with. A charset read from the file
// is kept while the run still has that font; Chinese text always goes in a
// Chinese charset, or the control would decode its bytes as code page 1252.
RunFont Writer::runFont(const QTextCharFormat &format, QStringView text) const
{
    RunFont font;
    font.face = format.fontFamilies().toStringList().value(0);
    if (font.face.isEmpty())
        font.face = m_defaultFont.family();
    if (font.face.isEmpty())
        font.face = QStringLiteral("宋体");
    const bool chinese = holdsChinese(text);
    if (format.hasProperty(FontCharsetProperty) && format.stringProperty(FontNameProperty) == font.face) {
        const int charset = format.intProperty(FontCharsetProperty);
        if (!chinese || isCjkCodePage(codePageOf(charset))) {
            font.charset = charset;
            return font;
        }
    }
    font.charset = chinese ? kGb2312Charset : kAnsiCharset;
    return font;
}

int Writer::halfPoints(const QTextCharFormat &format) const
{
    double points = format.fontPointSize();
    if (points <= 0)
        points = m_defaultFont.pointSizeF();
    if (points <= 0)
        points = kFallbackPointSize;
    return std::clamp(qRound(points * 2), 1, kMaxHalfPoints);
}

int Writer::fontIndex(RunFont font)
{
    // Control characters are not written in a font name, so faces that differ
    // only in them are one entry of the table, as they will be when read back.
    font.face.removeIf([](QChar c) { return c.unicode() < 0x20; });
    const std::pair<QString, int> key(font.face, font.charset);
    const auto it = m_fontIndex.constFind(key);
    if (it != m_fontIndex.cend())
        return it.value();
    const int index = int(m_fonts.size());
    m_fonts.append(font);
    m_fontIndex.insert(key, index);
    return index;
}

int Writer::colorIndex(const QBrush &brush)
{
    if (brush.style() == Qt::NoBrush)
        return 0;
    const QRgb rgb = brush.color().rgb();
    const auto it = m_colorIndex.constFind(rgb);
    if (it != m_colorIndex.cend())
        return it.value();
    m_colors.append(rgb);
    const int index = int(m_colors.size()); // entry 0 is the automatic colour
    m_colorIndex.insert(rgb, index);
    return index;
}

CharEncoder &Writer::encoderFor(int codePage)
{
    for (auto &[page, encoder] : m_encoders) {
        if (page == codePage)
            return *encoder;
    }
    m_encoders.emplace_back(codePage, std::make_unique<CharEncoder>(codePage));
    return *m_encoders.back().second;
}

} // namespace

QByteArray write(const QTextDocument &document)
{
    return Writer(document).run();
}

} // namespace Rtf
