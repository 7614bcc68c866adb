#pragma once

#include <QByteArrayView>
#include <QColor>
#include <QHash>
#include <QList>
#include <QString>

// The RTF interpreter shared by the document reader and the plain-text
// converter: group states, destinations, code pages and \uN, reported to a
// sink as runs of text with their character state and paragraph ends.
namespace Rtf {

enum class Alignment : quint8 { Left, Center, Right, Justify };

struct CharState
{
    int font = 0;
    int halfPoints = 24;
    int foreground = 0; // colour table index, 0 = automatic
    int background = 0; // colour table index, 0 = none
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;

    bool operator==(const CharState &) const = default;
};

struct FontEntry
{
    QString name;
    int charset = -1; // -1: the table gave none
    int codePage = 0; // \cpg, 0: none given
};

struct DocumentTables
{
    QHash<int, FontEntry> fonts;
    QList<QColor> colors; // an invalid colour is the automatic entry
    int defaultFont = 0;
    int ansiCodePage = 1252;
};

class Sink
{
public:
    virtual ~Sink() = default;
    // A run of text in one character state; never holds CR, LF or U+2029
    // (line breaks arrive as U+2028).
    virtual void text(const QString &text, const CharState &state, const DocumentTables &tables) = 0;
    // Ends the current paragraph; state is the character state at its mark.
    virtual void paragraph(Alignment alignment, const CharState &state, const DocumentTables &tables) = 0;
    // Ends the last paragraph, whose own mark the control's trailing \par was.
    virtual void finish(Alignment alignment, const CharState &state, const DocumentTables &tables) = 0;
};

// True when the bytes start (after white space) with the RTF signature.
bool isRtf(QByteArrayView bytes);

// Interprets an RTF document; the caller checks isRtf first.
void parse(QByteArrayView rtf, Sink &sink);

} // namespace Rtf
