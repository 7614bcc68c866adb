#pragma once

#include <QWidget>

class LinkHighlighter;
class QTextDocument;

// The note body as a picture: the document drawn in the body's colours with
// its web addresses marked, and the scroll bar an editor would show, at the
// start of the text. A note shows this until it is first used; a text editor
// costs a window far more memory and start-up time, and most notes are only
// looked at.
class NoteBodyView final : public QWidget
{
    Q_OBJECT

public:
    NoteBodyView(QTextDocument *text, const LinkHighlighter *links, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Lays the text out as an editor of this size would and tells whether
    // it needs the scroll bar.
    bool layOut();
    void setTextWidth(int width);
    int scrollBarWidth() const;

    QTextDocument *const m_text;
    const LinkHighlighter *const m_links;
};
