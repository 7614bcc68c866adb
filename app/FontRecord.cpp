#include "app/FontRecord.h"

#include "platform/CodePage.h"

#include <QtEndian>

#include <cstring>

namespace {

constexpr int kNameOffset = 1;
constexpr int kSizeOffset = 256;
constexpr int kStyleOffset = 257;
constexpr int kPaddingOffset = 258;
constexpr int kColorOffset = 260;

} // namespace

QString FontRecord::faceName() const
{
    return CodePage::fromCp936(QByteArrayView(Name, NameLength));
}

void FontRecord::setFaceName(const QString &face)
{
    const QByteArray bytes = CodePage::toCp936Truncated(face, sizeof(Name));
    std::memset(Name, 0, sizeof(Name));
    std::memcpy(Name, bytes.constData(), size_t(bytes.size()));
    NameLength = quint8(bytes.size());
}

QByteArray FontRecord::toBytes() const
{
    QByteArray bytes(kSize, '\0');
    bytes[0] = char(NameLength);
    std::memcpy(bytes.data() + kNameOffset, Name, sizeof(Name));
    bytes[kSizeOffset] = char(Size);
    bytes[kStyleOffset] = char(Style);
    std::memcpy(bytes.data() + kPaddingOffset, Padding, sizeof(Padding));
    qToLittleEndian(Color, bytes.data() + kColorOffset);
    return bytes;
}

void FontRecord::assignBytes(const QByteArray &bytes)
{
    QByteArray whole = toBytes();
    whole.replace(0, qMin<qsizetype>(bytes.size(), kSize), bytes.left(kSize));
    NameLength = quint8(whole.at(0));
    std::memcpy(Name, whole.constData() + kNameOffset, sizeof(Name));
    Size = quint8(whole.at(kSizeOffset));
    Style = quint8(whole.at(kStyleOffset));
    std::memcpy(Padding, whole.constData() + kPaddingOffset, sizeof(Padding));
    Color = qFromLittleEndian<quint32>(whole.constData() + kColorOffset);
}
