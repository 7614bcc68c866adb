#include "platform/RtfFormat.h"

namespace Rtf {

int codePageForCharset(int charset)
{
    switch (charset) {
    case 0: return 1252;
    case 2: return 1252; // Symbol fonts hold their glyphs at Western positions.
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return 0;
    }
}

QByteArray codecName(int codePage)
{
    switch (codePage) {
    case 936: return QByteArrayLiteral("GBK");
    case 10000: return QByteArrayLiteral("macintosh");
    case 437: return QByteArrayLiteral("IBM437");
    case 850: return QByteArrayLiteral("CP850");
    default: return "windows-" + QByteArray::number(codePage);
    }
}

} // namespace Rtf
