#pragma once

#include <QDialog>
#include <QPoint>

class QAbstractButton;
class QLabel;
class QMouseEvent;
class QPainter;
class QPlainTextEdit;
class QToolButton;

// The about box: a borderless yellow note with the program's strip, logo,
// name, version and maker. It is moved by dragging its strip or background;
// the painted close box and "关闭" close it. Child controls carry their
// names as object names.
class TAboutBrisquel final : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutBrisquel(QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void FormCreate();
    void TitleOwnerDrawPaint(QPainter &canvas);
    void TitleOwnerDrawMouseDown(QMouseEvent *event);
    void FormMouseDown(QMouseEvent *event);
    void SpeedButton1Click();
    void SpeedButton2Click();

    // Moving: the window manager's own move when it offers one, otherwise
    // the box follows the mouse until the button is released.
    void startMoving(const QPoint &globalPos);
    void followMouse(const QPoint &globalPos);
    void stopMoving();

    QWidget *TitleOwnerDraw = nullptr;
    QAbstractButton *SpeedButton2 = nullptr;
    QLabel *LogoImage = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *VerLabel = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QToolButton *SpeedButton1 = nullptr;

    bool m_following = false;
    QPoint m_pressPos;
    QPoint m_windowPos;
};
