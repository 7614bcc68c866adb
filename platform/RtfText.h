#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include <utility>
#include <vector>

// Text helpers of the RTF codec: what a document block can hold, and the
// decoding of code page bytes.
namespace Rtf {

// Characters that are not block text: controls other than tab, the paragraph
// separator, and the frame and object markers of QTextDocument.
bool needsCleaning(char16_t c);

// Cleans text from the given index on: line-end controls become the soft line
// break U+2028, the other characters above are dropped.
void cleanText(QString &text, qsizetype from);

// One stateless decoder per code page met in a document; a code page that
// Qt does not know is decoded as 1252.
class CodePageDecoders
{
public:
    void decodeAppend(QString &out, QByteArrayView bytes, int codePage);

private:
    QStringDecoder &decoderFor(int codePage);

    std::vector<std::pair<int, QStringDecoder>> m_decoders;
};

} // namespace Rtf
