#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The program's 8-bit text is code page 936 (GBK): file formats, byte limits
// and byte-wise ordering work on these bytes; everything else holds QString.
namespace CodePage {

QByteArray toCp936(QStringView text);
QString fromCp936(QByteArrayView bytes);
// None when the bytes are no valid code page 936 text.
std::optional<QString> fromCp936Checked(QByteArrayView bytes);

// True when every character of the text has a code page 936 form.
bool isCp936Encodable(QStringView text);

// Cuts the 936 form of the text to at most maxBytes without splitting a
// two-byte character.
QByteArray toCp936Truncated(QStringView text, qsizetype maxBytes);

} // namespace CodePage
