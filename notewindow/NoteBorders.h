#pragma once

#include <QAbstractButton>
#include <QPointer>
#include <QRect>

class QWidget;

// A flat, see-through button over a glyph that the title strip paints: it
// takes the clicks and shows only a thin frame while the mouse is over it.
class StripButton final : public QAbstractButton
{
    Q_OBJECT

public:
    explicit StripButton(QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
};

// Moves or resizes a top-level window by dragging one of its children. The
// window manager runs the move or size loop when it can; otherwise (no
// window manager) the window follows the mouse until the button is released.
// Either starts with the first mouse move after the press, so that clicks
// and double-clicks on the child still arrive.
class WindowDrag final : public QObject
{
    Q_OBJECT

public:
    explicit WindowDrag(QWidget *window);

    // Call on the mouse press; no edges means moving the window.
    void start(QWidget *source, Qt::Edges edges, const QPoint &globalPos);

signals:
    // The user began to move or resize the window: the first mouse move
    // after the press, before the window changes.
    void begun();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool handOverToWindowManager();
    void follow(const QPoint &globalPos);
    void stop();

    QWidget *const m_window;
    QPointer<QWidget> m_source;
    Qt::Edges m_edges;
    bool m_handOverTried = false;
    QPoint m_startPos;
    QRect m_startGeometry;
};
