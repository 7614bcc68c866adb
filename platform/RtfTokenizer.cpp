#include "platform/RtfTokenizer.h"

#include <limits>

namespace Rtf {

namespace {

constexpr qsizetype kMaxWordLength = 32;

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isTextByte(char c)
{
    return c != '\\' && c != '{' && c != '}' && c != '\r' && c != '\n';
}

} // namespace

Token Tokenizer::next()
{
    const qsizetype size = m_input.size();
    const char *data = m_input.data();
    while (m_pos < size && (data[m_pos] == '\r' || data[m_pos] == '\n'))
        ++m_pos;
    if (m_pos >= size)
        return {};

    Token token;
    switch (data[m_pos]) {
    case '{':
        ++m_pos;
        token.kind = Token::Kind::GroupOpen;
        return token;
    case '}':
        ++m_pos;
        token.kind = Token::Kind::GroupClose;
        return token;
    case '\\':
        return readControl();
    default:
        break;
    }

    const qsizetype start = m_pos;
    while (m_pos < size && isTextByte(data[m_pos]))
        ++m_pos;
    token.kind = Token::Kind::Text;
    token.bytes = m_input.sliced(start, m_pos - start);
    return token;
}

Token Tokenizer::readControl()
{
    const qsizetype size = m_input.size();
    const char *data = m_input.data();
    ++m_pos; // the backslash
    if (m_pos >= size)
        return {};

    const char c = data[m_pos];
    if (isLetter(c))
        return readWord();

    ++m_pos;
    Token token;
    if (c == '\'') {
        const int high = m_pos < size ? hexValue(data[m_pos]) : -1;
        const int low = high >= 0 && m_pos + 1 < size ? hexValue(data[m_pos + 1]) : -1;
        if (high >= 0 && low >= 0) {
            m_pos += 2;
            token.kind = Token::Kind::Hex;
            token.hex = static_cast<unsigned char>(high * 16 + low);
            return token;
        }
        // A truncated escape stands for nothing; the digit after it, if any,
        // is skipped with it.
        if (high >= 0)
            ++m_pos;
        token.kind = Token::Kind::Symbol;
        token.symbol = 0;
        return token;
    }
    token.kind = Token::Kind::Symbol;
    token.symbol = (c == '\r' || c == '\n') ? '\n' : c;
    return token;
}

Token Tokenizer::readWord()
{
    const qsizetype size = m_input.size();
    const char *data = m_input.data();
    const qsizetype start = m_pos;
    while (m_pos < size && isLetter(data[m_pos]))
        ++m_pos;

    Token token;
    token.kind = Token::Kind::Word;
    if (m_pos - start <= kMaxWordLength)
        token.word = std::string_view(data + start, size_t(m_pos - start));

    bool negative = false;
    if (m_pos + 1 < size && data[m_pos] == '-' && isDigit(data[m_pos + 1])) {
        negative = true;
        ++m_pos;
    }
    if (m_pos < size && isDigit(data[m_pos])) {
        constexpr qint64 kLimit = std::numeric_limits<int>::max();
        qint64 value = 0;
        while (m_pos < size && isDigit(data[m_pos])) {
            value = std::min(kLimit, value * 10 + (data[m_pos] - '0'));
            ++m_pos;
        }
        token.hasParameter = true;
        token.parameter = static_cast<int>(negative ? -value : value);
    }
    if (m_pos < size && data[m_pos] == ' ')
        ++m_pos;

    if (token.word == "bin") {
        const qsizetype length = token.hasParameter && token.parameter > 0 ? token.parameter : 0;
        const qsizetype taken = std::min(length, size - m_pos);
        token.kind = Token::Kind::Binary;
        token.bytes = m_input.sliced(m_pos, taken);
        m_pos += taken;
    }
    return token;
}

} // namespace Rtf
