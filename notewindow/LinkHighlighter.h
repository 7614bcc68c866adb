#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QTextEdit>

#include <optional>

class QTextDocument;

// A web address found in a text: where it starts, how long it is, and the
// address as written.
struct WebLink
{
    int start = 0;
    int length = 0;
    QString text;

    bool operator==(const WebLink &other) const = default;
};

// Web addresses as the note body recognises them: a known scheme ("http:",
// "https:", "ftp:", "file:", "mailto:", "news:", ...) or "www." followed by
// printable ASCII, without trailing punctuation.
QList<WebLink> findWebLinks(const QString &text);

// Marks the web addresses of a note body underlined in the link colour. The
// marks are extra selections drawn over the text, not formats of the
// document, so they never reach the stored rich text.
class LinkHighlighter final : public QObject
{
    Q_OBJECT

public:
    // The link colour is the one of colours' palette.
    LinkHighlighter(QTextDocument *text, QWidget *colours);

    // The editor that shows the marks, once the body has one.
    void setEditor(QTextEdit *editor);
    // Finds the addresses again and redraws the marks.
    void refresh();
    // Drops the marks; to be called before the text is emptied, since a
    // document must not lose cursors while it empties itself.
    void clear();
    const QList<WebLink> &links() const { return m_links; }
    const QList<QTextEdit::ExtraSelection> &marks() const { return m_marks; }
    // The address under a point of the editor's viewport, if any; none
    // before there is an editor.
    std::optional<WebLink> linkAt(const QPoint &viewportPos) const;

signals:
    void marksChanged();

private:
    QTextDocument *const m_text;
    QWidget *const m_colours;
    QPointer<QTextEdit> m_editor;
    QList<WebLink> m_links;
    QList<QTextEdit::ExtraSelection> m_marks;
};
