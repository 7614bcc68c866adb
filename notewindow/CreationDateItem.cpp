#include "notewindow/CreationDateItem.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

const QString kLabel = QStringLiteral("创建于:");
// The menu measures the item by this caption; the caption itself is never shown.
const QString kMeasuredCaption = QStringLiteral("Cdate");

} // namespace

CreationDateItem::CreationDateItem(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void CreationDateItem::setCreated(TDateTime created)
{
    m_text = dateTimeText(created);
    update();
}

QSize CreationDateItem::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(kMeasuredCaption) + 8, 2 * metrics.height() + 8);
}

void CreationDateItem::paintEvent(QPaintEvent *)
{
    // The item is disabled in the menu but drawn in the normal menu colours.
    const QPalette &colours = palette();
    const QColor text = colours.color(QPalette::Active, QPalette::WindowText);
    QPainter painter(this);
    painter.fillRect(rect(), colours.color(QPalette::Active, QPalette::Window));

    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(text);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    const QFontMetrics boldMetrics(bold);
    painter.drawText(QPoint(2, 2 + boldMetrics.ascent()), kLabel);
    const int labelHeight = boldMetrics.height();

    painter.setFont(font());
    const QFontMetrics metrics(font());
    painter.drawText(QPoint(2, labelHeight + 4 + metrics.ascent()), m_text);
}
