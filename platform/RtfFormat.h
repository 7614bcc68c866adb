#pragma once

#include <QByteArray>
#include <QTextFormat>

// What the RTF reader and writer share: the format properties that carry a
// font's RTF identity through the editor, and the code pages behind charsets.
namespace Rtf {

// The font name and charset as the RTF font table gave them. The writer
// reuses the charset while the format's family is still that name.
enum FormatProperty {
    FontNameProperty = QTextFormat::UserProperty + 0x5254,
    FontCharsetProperty,
};

constexpr int kGb2312Charset = 134;
constexpr int kAnsiCharset = 0;
constexpr int kChineseCodePage = 936;
constexpr int kWesternCodePage = 1252;

// The Windows code page of a font charset, or 0 when the charset means
// "the document's code page" (absent, DEFAULT_CHARSET or unknown).
int codePageForCharset(int charset);

// The QStringDecoder / QStringEncoder name for a Windows code page.
QByteArray codecName(int codePage);

} // namespace Rtf
