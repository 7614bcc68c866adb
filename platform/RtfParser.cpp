#include "platform/RtfParser.h"

#include "platform/RtfFormat.h"
#include "platform/RtfKeywords.h"
#include "platform/RtfText.h"
#include "platform/RtfTokenizer.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace Rtf {

namespace {

// Deeper groups share the state of the deepest kept one: nesting costs no
// memory beyond this, however deep the input goes.
constexpr qsizetype kMaxDepth = 1000;
constexpr int kMaxHalfPoints = 3276; // 1638 pt, the control's largest size
constexpr int kMaxUnicodeSkip = 255;

class Parser
{
public:
    Parser(QByteArrayView rtf, Sink &sink) : m_tokenizer(rtf), m_sink(sink) {}

    void run();

private:
    enum class Destination : quint8 { Text, Skip, FontTable, ColorTable };

    struct Group
    {
        CharState chars;
        Alignment alignment = Alignment::Left;
        int unicodeSkip = 1;
        Destination destination = Destination::Text;
    };

    bool skipFallback(Token &token);
    void openGroup();
    bool closeGroup();
    void handleWord(const Token &token);
    void handleTextWord(Group &group, Keyword keyword, const Token &token);
    void handleFontTableWord(Keyword keyword, const Token &token);
    void handleColorTableWord(Keyword keyword, const Token &token);
    void handleSymbol(char symbol);
    void handleBytes(QByteArrayView bytes);

    void appendBytes(QByteArrayView bytes);
    void appendChar(char16_t c);
    void appendUnicode(int value);
    void pushChar(char16_t c);
    void resolveSurrogate();
    void beginRun();
    void decodeBytes();
    void flushRun();
    void paragraph();
    void emitPendingParagraph();
    void finish();
    int codePageFor(int font);

    void startFontEntry(int number);
    void fontNameBytes(QByteArrayView bytes);
    void fontNameChar(char16_t c);
    void commitFontEntry();
    void decodeFontName();
    void colorTableBytes(QByteArrayView bytes);

    Tokenizer m_tokenizer;
    Sink &m_sink;
    DocumentTables m_tables;
    CodePageDecoders m_decoders;

    std::vector<Group> m_stack;
    qsizetype m_depth = 0;
    Group m_last; // the root group's state when it closed
    int m_skipUnits = 0;

    CharState m_runState;
    QByteArray m_bytes;
    int m_bytesCodePage = 0;
    QString m_text;
    char16_t m_highSurrogate = 0;

    bool m_paragraphPending = false;
    Alignment m_pendingAlignment = Alignment::Left;
    CharState m_pendingState;

    int m_cachedFont = 0;
    int m_cachedCodePage = 0;
    bool m_codePageCached = false;

    bool m_fontEntryOpen = false;
    int m_fontNumber = 0;
    FontEntry m_fontEntry;
    QByteArray m_fontNameBytes;

    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;
    bool m_colorGiven = false;
};

void Parser::run()
{
    for (Token token = m_tokenizer.next(); token.kind != Token::Kind::End; token = m_tokenizer.next()) {
        if (m_skipUnits > 0 && skipFallback(token))
            continue;
        if (m_stack.empty() && token.kind != Token::Kind::GroupOpen)
            continue;
        switch (token.kind) {
        case Token::Kind::GroupOpen:
            openGroup();
            break;
        case Token::Kind::GroupClose:
            if (closeGroup()) {
                finish();
                return;
            }
            break;
        case Token::Kind::Word:
            handleWord(token);
            break;
        case Token::Kind::Symbol:
            handleSymbol(token.symbol);
            break;
        case Token::Kind::Hex: {
            const char byte = static_cast<char>(token.hex);
            handleBytes(QByteArrayView(&byte, 1));
            break;
        }
        case Token::Kind::Text:
            handleBytes(token.bytes);
            break;
        case Token::Kind::Binary:
        case Token::Kind::End:
            break;
        }
    }
    finish();
}

// Skips the fallback units after \uN; answers true when the whole token went.
bool Parser::skipFallback(Token &token)
{
    switch (token.kind) {
    case Token::Kind::GroupOpen:
    case Token::Kind::GroupClose:
    case Token::Kind::End:
        m_skipUnits = 0;
        return false;
    case Token::Kind::Text: {
        const qsizetype skipped = std::min<qsizetype>(m_skipUnits, token.bytes.size());
        m_skipUnits -= int(skipped);
        if (skipped == token.bytes.size())
            return true;
        token.bytes = token.bytes.sliced(skipped);
        return false;
    }
    default:
        --m_skipUnits;
        return true;
    }
}

void Parser::openGroup()
{
    ++m_depth;
    if (qsizetype(m_stack.size()) < kMaxDepth)
        m_stack.push_back(m_stack.empty() ? Group{} : m_stack.back());
}

// Answers true when the root group closed.
bool Parser::closeGroup()
{
    --m_depth;
    if (m_depth >= qsizetype(m_stack.size()))
        return false;
    const Group leaving = m_stack.back();
    m_stack.pop_back();
    if (leaving.destination == Destination::FontTable)
        commitFontEntry();
    if (m_stack.empty()) {
        m_last = leaving;
        return true;
    }
    return false;
}

void Parser::handleWord(const Token &token)
{
    Group &group = m_stack.back();
    if (group.destination == Destination::Skip)
        return;
    const std::optional<Keyword> keyword = findKeyword(token.word);
    if (!keyword)
        return;
    switch (*keyword) {
    case Keyword::SkipDestination:
        group.destination = Destination::Skip;
        return;
    case Keyword::FontTable:
        decodeBytes();
        group.destination = Destination::FontTable;
        return;
    case Keyword::ColorTable:
        group.destination = Destination::ColorTable;
        return;
    default:
        break;
    }
    switch (group.destination) {
    case Destination::Text:
        handleTextWord(group, *keyword, token);
        break;
    case Destination::FontTable:
        handleFontTableWord(*keyword, token);
        break;
    case Destination::ColorTable:
        handleColorTableWord(*keyword, token);
        break;
    case Destination::Skip:
        break;
    }
}

void Parser::handleTextWord(Group &group, Keyword keyword, const Token &token)
{
    const int value = token.parameter;
    const bool on = !token.hasParameter || value != 0;
    CharState &chars = group.chars;
    switch (keyword) {
    case Keyword::Ansi: m_tables.ansiCodePage = 1252; m_codePageCached = false; break;
    case Keyword::Mac: m_tables.ansiCodePage = 10000; m_codePageCached = false; break;
    case Keyword::Pc: m_tables.ansiCodePage = 437; m_codePageCached = false; break;
    case Keyword::Pca: m_tables.ansiCodePage = 850; m_codePageCached = false; break;
    case Keyword::AnsiCodePage:
        if (value > 0) {
            m_tables.ansiCodePage = value;
            m_codePageCached = false;
        }
        break;
    case Keyword::DefaultFont:
        m_tables.defaultFont = value;
        chars.font = value;
        break;
    case Keyword::Font: chars.font = value; break;
    case Keyword::FontSize:
        chars.halfPoints = token.hasParameter ? std::clamp(value, 1, kMaxHalfPoints) : 24;
        break;
    case Keyword::Bold: chars.bold = on; break;
    case Keyword::Italic: chars.italic = on; break;
    case Keyword::Underline: chars.underline = on; break;
    case Keyword::UnderlineNone: chars.underline = false; break;
    case Keyword::Strike: chars.strike = on; break;
    case Keyword::Foreground: chars.foreground = std::max(0, value); break;
    case Keyword::Background: chars.background = std::max(0, value); break;
    case Keyword::Plain:
        chars = CharState{};
        chars.font = m_tables.defaultFont;
        break;
    case Keyword::Pard:
    case Keyword::AlignLeft: group.alignment = Alignment::Left; break;
    case Keyword::AlignCenter: group.alignment = Alignment::Center; break;
    case Keyword::AlignRight: group.alignment = Alignment::Right; break;
    case Keyword::AlignJustify: group.alignment = Alignment::Justify; break;
    case Keyword::Par: paragraph(); break;
    case Keyword::Line: appendChar(0x2028); break;
    case Keyword::Tab: appendChar(u'\t'); break;
    case Keyword::Unicode:
        appendUnicode(value);
        m_skipUnits = group.unicodeSkip;
        break;
    case Keyword::UnicodeSkip:
        group.unicodeSkip = token.hasParameter ? std::clamp(value, 0, kMaxUnicodeSkip) : 1;
        break;
    case Keyword::EmDash: appendChar(0x2014); break;
    case Keyword::EnDash: appendChar(0x2013); break;
    case Keyword::Bullet: appendChar(0x2022); break;
    case Keyword::LeftQuote: appendChar(0x2018); break;
    case Keyword::RightQuote: appendChar(0x2019); break;
    case Keyword::LeftDoubleQuote: appendChar(0x201C); break;
    case Keyword::RightDoubleQuote: appendChar(0x201D); break;
    case Keyword::EmSpace: appendChar(0x2003); break;
    case Keyword::EnSpace: appendChar(0x2002); break;
    case Keyword::QuarterEmSpace: appendChar(0x2005); break;
    default: break;
    }
}

void Parser::handleFontTableWord(Keyword keyword, const Token &token)
{
    switch (keyword) {
    case Keyword::Font:
        startFontEntry(token.parameter);
        break;
    case Keyword::Charset:
        m_fontEntry.charset = std::max(0, token.parameter);
        break;
    case Keyword::FontCodePage:
        m_fontEntry.codePage = std::max(0, token.parameter);
        break;
    case Keyword::Unicode:
        if (token.parameter >= -32768 && token.parameter <= 65535)
            fontNameChar(static_cast<char16_t>(token.parameter < 0 ? token.parameter + 65536 : token.parameter));
        m_skipUnits = m_stack.back().unicodeSkip;
        break;
    case Keyword::UnicodeSkip:
        m_stack.back().unicodeSkip = token.hasParameter ? std::clamp(token.parameter, 0, kMaxUnicodeSkip) : 1;
        break;
    default:
        break;
    }
}

void Parser::handleColorTableWord(Keyword keyword, const Token &token)
{
    const int value = std::clamp(token.parameter, 0, 255);
    switch (keyword) {
    case Keyword::Red: m_red = value; m_colorGiven = true; break;
    case Keyword::Green: m_green = value; m_colorGiven = true; break;
    case Keyword::Blue: m_blue = value; m_colorGiven = true; break;
    default: break;
    }
}

void Parser::handleSymbol(char symbol)
{
    Group &group = m_stack.back();
    if (symbol == '*') {
        group.destination = Destination::Skip;
        return;
    }
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        handleBytes(QByteArrayView(&symbol, 1));
        return;
    default:
        break;
    }
    if (group.destination != Destination::Text)
        return;
    switch (symbol) {
    case '~': appendChar(0x00A0); break;
    case '_': appendChar(0x2011); break;
    case '-': appendChar(0x00AD); break; // shown only where the line breaks
    case '\n': paragraph(); break;
    default: break; // \: and the rest show nothing
    }
}

void Parser::handleBytes(QByteArrayView bytes)
{
    switch (m_stack.back().destination) {
    case Destination::Text: appendBytes(bytes); break;
    case Destination::FontTable: fontNameBytes(bytes); break;
    case Destination::ColorTable: colorTableBytes(bytes); break;
    case Destination::Skip: break;
    }
}

void Parser::appendBytes(QByteArrayView bytes)
{
    resolveSurrogate();
    beginRun();
    const int codePage = codePageFor(m_runState.font);
    if (codePage != m_bytesCodePage)
        decodeBytes();
    m_bytesCodePage = codePage;
    if (bytes.size() == 1)
        m_bytes.append(bytes.front()); // \'hh: the common case, kept cheap
    else
        m_bytes.append(bytes);
}

void Parser::appendChar(char16_t c)
{
    resolveSurrogate();
    pushChar(c);
}

void Parser::appendUnicode(int value)
{
    if (value < -32768 || value > 65535) {
        appendChar(0xFFFD);
        return;
    }
    const char16_t unit = static_cast<char16_t>(value < 0 ? value + 65536 : value);
    if (QChar::isHighSurrogate(unit)) {
        resolveSurrogate();
        m_highSurrogate = unit;
    } else if (QChar::isLowSurrogate(unit)) {
        if (!m_highSurrogate) {
            pushChar(0xFFFD);
            return;
        }
        const char16_t high = std::exchange(m_highSurrogate, 0);
        beginRun();
        decodeBytes();
        m_text.append(QChar(high));
        m_text.append(QChar(unit));
    } else {
        appendChar(unit);
    }
}

void Parser::pushChar(char16_t c)
{
    beginRun();
    decodeBytes();
    const qsizetype old = m_text.size();
    m_text.append(QChar(c));
    cleanText(m_text, old);
}

// A high surrogate not followed by its low half stands for nothing readable.
void Parser::resolveSurrogate()
{
    if (m_highSurrogate) {
        m_highSurrogate = 0;
        pushChar(0xFFFD);
    }
}

void Parser::beginRun()
{
    if (m_paragraphPending)
        emitPendingParagraph();
    const CharState &state = m_stack.empty() ? m_last.chars : m_stack.back().chars;
    if (!(state == m_runState)) {
        flushRun();
        m_runState = state;
    }
}

void Parser::decodeBytes()
{
    if (m_bytes.isEmpty())
        return;
    const qsizetype old = m_text.size();
    m_decoders.decodeAppend(m_text, m_bytes, m_bytesCodePage);
    cleanText(m_text, old);
    m_bytes.resize(0);
}

void Parser::flushRun()
{
    decodeBytes();
    if (m_text.isEmpty())
        return;
    m_sink.text(m_text, m_runState, m_tables);
    m_text.resize(0);
}

// The mark is held back until more content follows: the control ends every
// document with one \par of its own, which must not become an empty line.
void Parser::paragraph()
{
    resolveSurrogate();
    flushRun();
    if (m_paragraphPending)
        emitPendingParagraph();
    m_paragraphPending = true;
    m_pendingAlignment = m_stack.back().alignment;
    m_pendingState = m_stack.back().chars;
}

void Parser::emitPendingParagraph()
{
    m_paragraphPending = false;
    m_sink.paragraph(m_pendingAlignment, m_pendingState, m_tables);
}

void Parser::finish()
{
    resolveSurrogate();
    flushRun();
    if (m_paragraphPending) {
        m_paragraphPending = false;
        m_sink.finish(m_pendingAlignment, m_pendingState, m_tables);
        return;
    }
    const Group &last = m_stack.empty() ? m_last : m_stack.back();
    m_sink.finish(last.alignment, last.chars, m_tables);
}

int Parser::codePageFor(int font)
{
    if (m_codePageCached && m_cachedFont == font)
        return m_cachedCodePage;
    int codePage = 0;
    const auto it = m_tables.fonts.constFind(font);
    if (it != m_tables.fonts.cend())
        codePage = it->codePage > 0 ? it->codePage : codePageForCharset(it->charset);
    m_cachedFont = font;
    m_cachedCodePage = codePage > 0 ? codePage : m_tables.ansiCodePage;
    m_codePageCached = true;
    return m_cachedCodePage;
}

void Parser::startFontEntry(int number)
{
    commitFontEntry();
    m_fontEntryOpen = true;
    m_fontNumber = number;
    m_fontEntry = FontEntry{};
    m_fontNameBytes.clear();
}

void Parser::fontNameBytes(QByteArrayView bytes)
{
    if (!m_fontEntryOpen)
        return;
    const qsizetype end = bytes.indexOf(';');
    m_fontNameBytes.append(end < 0 ? bytes : bytes.first(end));
    if (end >= 0)
        commitFontEntry();
}

void Parser::fontNameChar(char16_t c)
{
    if (!m_fontEntryOpen || QChar::isSurrogate(c) || needsCleaning(c))
        return;
    decodeFontName();
    m_fontEntry.name.append(QChar(c));
}

void Parser::commitFontEntry()
{
    if (!m_fontEntryOpen)
        return;
    m_fontEntryOpen = false;
    decodeFontName();
    cleanText(m_fontEntry.name, 0);
    m_fontEntry.name.remove(QChar(0x2028));
    m_fontEntry.name = m_fontEntry.name.trimmed();
    m_tables.fonts.insert(m_fontNumber, m_fontEntry);
    m_codePageCached = false;
}

// Font names are written in the font's own code page.
void Parser::decodeFontName()
{
    int codePage = m_fontEntry.codePage > 0 ? m_fontEntry.codePage : codePageForCharset(m_fontEntry.charset);
    if (codePage <= 0)
        codePage = m_tables.ansiCodePage;
    m_decoders.decodeAppend(m_fontEntry.name, m_fontNameBytes, codePage);
    m_fontNameBytes.clear();
}

void Parser::colorTableBytes(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (c != ';')
            continue;
        m_tables.colors.append(m_colorGiven ? QColor(m_red, m_green, m_blue) : QColor());
        m_red = m_green = m_blue = 0;
        m_colorGiven = false;
    }
}

} // namespace

bool isRtf(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return bytes.sliced(i).startsWith("{\\rtf");
}

void parse(QByteArrayView rtf, Sink &sink)
{
    Parser(rtf, sink).run();
}

} // namespace Rtf
