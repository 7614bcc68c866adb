#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

#include <optional>

class QTextEdit;

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

// Shows the web addresses of an editor underlined in the link colour. The
// marks are extra selections drawn over the text, not formats of the
// document, so they never reach the stored rich text.
class LinkHighlighter final : public QObject
{
    Q_OBJECT

public:
    explicit LinkHighlighter(QTextEdit *editor);

    // Finds the addresses again and redraws the marks.
    void refresh();
    const QList<WebLink> &links() const { return m_links; }
    // The address under a point of the editor's viewport, if any.
    std::optional<WebLink> linkAt(const QPoint &viewportPos) const;

private:
    QTextEdit *const m_editor;
    QList<WebLink> m_links;
};
