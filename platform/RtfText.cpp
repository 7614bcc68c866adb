#include "platform/RtfText.h"

#include "platform/RtfFormat.h"

#include <algorithm>

namespace Rtf {

namespace {

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

} // namespace

bool needsCleaning(char16_t c)
{
    return (c < 0x20 && c != u'\t') || c == 0x2029 || c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC;
}

void cleanText(QString &text, qsizetype from)
{
    const auto first = std::find_if(text.cbegin() + from, text.cend(),
                                    [](QChar c) { return needsCleaning(c.unicode()); });
    if (first == text.cend())
        return;
    qsizetype out = first - text.cbegin();
    for (qsizetype i = out; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (!needsCleaning(c))
            text[out++] = QChar(c);
        else if (c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x2029)
            text[out++] = QChar(0x2028);
    }
    text.truncate(out);
}

void CodePageDecoders::decodeAppend(QString &out, QByteArrayView bytes, int codePage)
{
    if (isAscii(bytes)) {
        out.append(QLatin1StringView(bytes.data(), bytes.size()));
        return;
    }
    QStringDecoder &decoder = decoderFor(codePage);
    if (!decoder.isValid()) {
        out.append(QLatin1StringView(bytes.data(), bytes.size()));
        return;
    }
    const qsizetype old = out.size();
    out.resize(old + decoder.requiredSpace(bytes.size()));
    QChar *end = decoder.appendToBuffer(out.data() + old, bytes);
    out.truncate(end - out.constData());
}

QStringDecoder &CodePageDecoders::decoderFor(int codePage)
{
    for (auto &[page, decoder] : m_decoders) {
        if (page == codePage)
            return decoder;
    }
    QStringDecoder decoder(codecName(codePage).constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        decoder = QStringDecoder(codecName(kWesternCodePage).constData(), QStringConverter::Flag::Stateless);
    m_decoders.emplace_back(codePage, std::move(decoder));
    return m_decoders.back().second;
}

} // namespace Rtf
