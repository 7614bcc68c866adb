#include "notewindow/CloseForLabelItem.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionMenuItem>

CloseForLabelItem::CloseForLabelItem(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QString CloseForLabelItem::caption()
{
    return QStringLiteral("CloseForLab");
}

QString CloseForLabelItem::label()
{
    return QStringLiteral("关闭:");
}

QSize CloseForLabelItem::sizeHint() const
{
    // Measured the way the menu measures a text item with the caption.
    QStyleOptionMenuItem option;
    option.initFrom(this);
    option.menuItemType = QStyleOptionMenuItem::Normal;
    option.text = caption();
    const QFontMetrics metrics(font());
    const QSize text(metrics.horizontalAdvance(caption()), metrics.height());
    return style()->sizeFromContents(QStyle::CT_MenuItem, &option, text, this);
}

void CloseForLabelItem::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(font());
    const int top = (height() - metrics.height()) / 2;
    painter.drawText(QPoint(2, top + metrics.ascent()), label());
}
