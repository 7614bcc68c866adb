#pragma once

#include <QByteArray>

class QTextDocument;

namespace Rtf {

// The document as RTF in the form the Windows rich-text control writes:
// code page 936, text as \'hh bytes of each run's code page where they hold
// it and \uN? otherwise, runs with Chinese text in a \fcharset134 font.
QByteArray write(const QTextDocument &document);

} // namespace Rtf
