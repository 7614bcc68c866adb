#pragma once

#include <QWidget>

// The first line of the close glyph's menu: the label "关闭:". The menu sizes
// it as an item captioned "CloseForLab"; it draws only its text, at the left,
// vertically centred, on the menu's own background.
class CloseForLabelItem final : public QWidget
{
    Q_OBJECT

public:
    explicit CloseForLabelItem(QWidget *parent = nullptr);

    static QString caption();
    static QString label();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
