#include "notewindow/NoteBodyView.h"

#include "notewindow/LinkHighlighter.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPaintEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextDocument>

NoteBodyView::NoteBodyView(QTextDocument *text, const LinkHighlighter *links, QWidget *parent)
    : QWidget(parent)
    , m_text(text)
    , m_links(links)
{
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setCursor(Qt::IBeamCursor);
    setFocusPolicy(Qt::StrongFocus);
    connect(m_links, &LinkHighlighter::marksChanged, this, qOverload<>(&QWidget::update));
}

int NoteBodyView::scrollBarWidth() const
{
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void NoteBodyView::setTextWidth(int width)
{
    // Setting the width lays the whole text out again, even the same width.
    if (m_text->textWidth() != width)
        m_text->setTextWidth(width);
}

bool NoteBodyView::layOut()
{
    // As an editor decides: the scroll bar comes when the text is longer
    // than the window at its full width, and narrows the text.
    setTextWidth(width());
    if (m_text->size().toSize().height() <= height())
        return false;
    setTextWidth(qMax(0, width() - scrollBarWidth()));
    return true;
}

void NoteBodyView::paintEvent(QPaintEvent *event)
{
    const bool scrolled = layOut();
    QPainter painter(this);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.clip = event->rect();
    const QList<QTextEdit::ExtraSelection> &marks = m_links->marks();
    for (const QTextEdit::ExtraSelection &mark : marks)
        context.selections.append({mark.cursor, mark.format});
    painter.setClipRect(event->rect());
    m_text->documentLayout()->draw(&painter, context);
    if (!scrolled)
        return;

    // The style draws a scroll bar from its own top left corner.
    QStyleOptionSlider bar;
    bar.initFrom(this);
    bar.rect = QRect(0, 0, scrollBarWidth(), height());
    bar.orientation = Qt::Vertical;
    bar.subControls = QStyle::SC_All;
    bar.activeSubControls = QStyle::SC_None;
    bar.minimum = 0;
    bar.maximum = m_text->size().toSize().height() - height();
    bar.pageStep = height();
    painter.setClipping(false);
    painter.translate(width() - scrollBarWidth(), 0);
    style()->drawComplexControl(QStyle::CC_ScrollBar, &bar, &painter, this);
}
