#pragma once

#include <QByteArrayView>

#include <string_view>

namespace Rtf {

struct Token
{
    enum class Kind {
        End,        // no more input
        GroupOpen,  // {
        GroupClose, // }
        Word,       // \name or \nameN
        Symbol,     // backslash and one non-letter; \ followed by CR or LF gives '\n'
        Hex,        // \'hh
        Text,       // a run of literal bytes (line ends in the source are not text)
        Binary,     // the raw bytes of \binN
    };

    Kind kind = Kind::End;
    std::string_view word;  // Word; empty for an over-long name
    int parameter = 0;      // Word, clamped to the int range
    bool hasParameter = false;
    char symbol = 0;        // Symbol; 0 for a malformed \'
    unsigned char hex = 0;  // Hex
    QByteArrayView bytes;   // Text and Binary
};

// Splits RTF bytes into tokens. Every call consumes at least one byte until
// End, so a pass over the input is linear whatever it holds.
class Tokenizer
{
public:
    explicit Tokenizer(QByteArrayView input) : m_input(input) {}

    Token next();

private:
    Token readControl();
    Token readWord();

    QByteArrayView m_input;
    qsizetype m_pos = 0;
};

} // namespace Rtf
