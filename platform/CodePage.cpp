#include "platform/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace CodePage {

namespace {
constexpr const char *kCp936 = "GBK";
}

QByteArray toCp936(QStringView text)
{
    QStringEncoder encoder(kCp936, QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

QString fromCp936(QByteArrayView bytes)
{
    QStringDecoder decoder(kCp936, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

std::optional<QString> fromCp936Checked(QByteArrayView bytes)
{
    QStringDecoder decoder(kCp936, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool isCp936Encodable(QStringView text)
{
    QStringEncoder encoder(kCp936, QStringConverter::Flag::Stateless);
    [[maybe_unused]] const QByteArray bytes = encoder.encode(text);
    return !encoder.hasError();
}

QByteArray toCp936Truncated(QStringView text, qsizetype maxBytes)
{
    QByteArray result;
    QStringEncoder encoder(kCp936, QStringConverter::Flag::Stateless);
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray piece = encoder.encode(text.mid(i, len));
        if (result.size() + piece.size() > maxBytes)
            break;
        result += piece;
        i += len;
    }
    return result;
}

} // namespace CodePage
