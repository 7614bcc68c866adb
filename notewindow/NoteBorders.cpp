#include "notewindow/NoteBorders.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>

StripButton::StripButton(QWidget *parent)
    : QAbstractButton(parent)
{
    // The body editor keeps the focus when a glyph is clicked.
    setFocusPolicy(Qt::NoFocus);
}

void StripButton::paintEvent(QPaintEvent *)
{
    if (!underMouse() || !isEnabled())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void StripButton::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    update();
}

void StripButton::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    update();
}

WindowDrag::WindowDrag(QWidget *window)
    : QObject(window)
    , m_window(window)
{
}

void WindowDrag::start(QWidget *source, Qt::Edges edges, const QPoint &globalPos)
{
    stop();
    m_source = source;
    m_edges = edges;
    m_handOverTried = false;
    m_startPos = globalPos;
    m_startGeometry = m_window->geometry();
    source->installEventFilter(this);
}

bool WindowDrag::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_source)
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->buttons() == Qt::NoButton)
            break;
        if (!m_handOverTried) {
            m_handOverTried = true;
            emit begun();
            if (handOverToWindowManager()) {
                stop();
                break;
            }
        }
        follow(mouse->globalPosition().toPoint());
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->buttons() == Qt::NoButton)
            stop();
        break;
    case QEvent::Hide:
        stop();
        break;
    default:
        break;
    }
    return false;
}

bool WindowDrag::handOverToWindowManager()
{
    QWindow *handle = m_window->windowHandle();
    if (!handle)
        return false;
    return m_edges ? handle->startSystemResize(m_edges) : handle->startSystemMove();
}

void WindowDrag::follow(const QPoint &globalPos)
{
    const QPoint delta = globalPos - m_startPos;
    QRect geometry = m_startGeometry;
    if (!m_edges) {
        geometry.moveTopLeft(m_startGeometry.topLeft() + delta);
        m_window->move(geometry.topLeft());
        return;
    }
    const QSize minimum = m_window->minimumSize();
    const QSize maximum = m_window->maximumSize();
    if (m_edges & Qt::LeftEdge) {
        // The right edge stays where it was.
        const int width = qBound(minimum.width(), m_startGeometry.width() - delta.x(), maximum.width());
        geometry.setLeft(m_startGeometry.right() + 1 - width);
    }
    if (m_edges & Qt::RightEdge)
        geometry.setWidth(qBound(minimum.width(), m_startGeometry.width() + delta.x(), maximum.width()));
    if (m_edges & Qt::BottomEdge)
        geometry.setHeight(qBound(minimum.height(), m_startGeometry.height() + delta.y(), maximum.height()));
    m_window->setGeometry(geometry);
}

void WindowDrag::stop()
{
    if (m_source)
        m_source->removeEventFilter(this);
    m_source.clear();
}
