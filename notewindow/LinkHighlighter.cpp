#include "notewindow/LinkHighlighter.h"

#include <QAbstractTextDocumentLayout>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace {

// The address runs over printable ASCII except blanks, quotes and angle
// brackets, so it stops at the Chinese text around it.
const QRegularExpression &linkPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("\\b((?:https?|ftp|file|mailto|news|nntp|telnet|gopher|wais|prospero):|www\\.)"
                       "[\\x21\\x23-\\x3B\\x3D\\x3F-\\x7E]+"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// Punctuation that ends a sentence rather than the address; a closing
// bracket stays when the address opened it.
int trimmedLength(QStringView link)
{
    static const QString trailing = QStringLiteral(".,;:!?'");
    int length = int(link.size());
    while (length > 0) {
        const QChar last = link.at(length - 1);
        if (trailing.contains(last)) {
            --length;
            continue;
        }
        const int bracket = int(QStringView(u")]}").indexOf(last));
        if (bracket < 0)
            break;
        const QChar opening = QStringView(u"([{").at(bracket);
        const QStringView part = link.left(length);
        if (part.count(opening) >= part.count(last))
            break;
        --length;
    }
    return length;
}

} // namespace

QList<WebLink> findWebLinks(const QString &text)
{
    QList<WebLink> links;
    for (const QRegularExpressionMatch &match : linkPattern().globalMatch(text)) {
        const int length = trimmedLength(match.capturedView(0));
        if (length <= match.capturedLength(1))
            continue;
        const int start = int(match.capturedStart(0));
        links.append(WebLink{start, length, text.mid(start, length)});
    }
    return links;
}

LinkHighlighter::LinkHighlighter(QTextDocument *text, QWidget *colours)
    : QObject(colours)
    , m_text(text)
    , m_colours(colours)
{
    connect(text, &QTextDocument::contentsChanged, this, &LinkHighlighter::refresh);
    refresh();
}

void LinkHighlighter::setEditor(QTextEdit *editor)
{
    m_editor = editor;
    m_editor->setExtraSelections(m_marks);
}

void LinkHighlighter::refresh()
{
    // Positions in the plain text are positions in the document: a block
    // separator is one character in both.
    m_links = findWebLinks(m_text->toPlainText());
    QTextCharFormat mark;
    mark.setFontUnderline(true);
    mark.setForeground(m_colours->palette().color(QPalette::Link));
    m_marks.clear();
    for (const WebLink &link : std::as_const(m_links)) {
        QTextCursor cursor(m_text);
        cursor.setPosition(link.start);
        cursor.setPosition(link.start + link.length, QTextCursor::KeepAnchor);
        m_marks.append(QTextEdit::ExtraSelection{cursor, mark});
    }
    if (m_editor)
        m_editor->setExtraSelections(m_marks);
    emit marksChanged();
}

void LinkHighlighter::clear()
{
    m_links.clear();
    m_marks.clear();
    if (m_editor)
        m_editor->setExtraSelections(m_marks);
    emit marksChanged();
}

std::optional<WebLink> LinkHighlighter::linkAt(const QPoint &viewportPos) const
{
    if (m_links.isEmpty() || !m_editor)
        return std::nullopt;
    const QPoint offset(m_editor->horizontalScrollBar()->value(), m_editor->verticalScrollBar()->value());
    const int position = m_text->documentLayout()->hitTest(viewportPos + offset, Qt::ExactHit);
    if (position < 0)
        return std::nullopt;
    // The hit position is the nearer edge of a character: left of that edge
    // the point lies on the character before it.
    QTextCursor edge(m_text);
    edge.setPosition(position);
    const int character = viewportPos.x() < m_editor->cursorRect(edge).x() ? position - 1 : position;
    for (const WebLink &link : m_links) {
        if (character >= link.start && character < link.start + link.length)
            return link;
    }
    return std::nullopt;
}
