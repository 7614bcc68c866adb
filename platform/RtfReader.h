#pragma once

#include <QByteArrayView>
#include <QString>

class QTextDocument;

// Reads note bodies as the Windows rich-text control saves them. Input that
// is not RTF is taken as plain text in code page 936, as legacy notes hold.
namespace Rtf {

// Clears the document and fills it with the body's text and formats.
void readInto(QTextDocument &document, QByteArrayView rtf);

// The body's text without building a document: paragraphs and soft line
// breaks (\line) both end with CR LF, as the note preview and printing
// count and draw them; the final paragraph mark adds nothing.
QString toPlainText(QByteArrayView rtf);

} // namespace Rtf
