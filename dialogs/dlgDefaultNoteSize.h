#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class WindowDrag;

// The default size of new notes is chosen by sizing this small window: its
// own size is the answer. It has no frame of the window manager's, so that
// its size is a note's size exactly; its left, right and bottom strips
// resize it and the panel on top moves it.
class TDefaultNoteSizeForm final : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMinimumSide = 100;
    static constexpr int kMaximumSide = 540;
    static constexpr int kStripWidth = 3;

    explicit TDefaultNoteSizeForm(QWidget *parent = nullptr);

    QLabel *Panel1;
    QLabel *Label1;
    QPushButton *CancelBTN;
    QPushButton *OKBTN;
    QWidget *PaintBox3; // left strip
    QWidget *PaintBox1; // right strip
    QWidget *PaintBox2; // bottom strip

    void FormCanResize();
    void FormResize();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void layoutControls();
    Qt::Edges edgesOf(const QWidget *source, const QPoint &local) const;

    WindowDrag *m_drag;
};
