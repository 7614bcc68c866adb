#pragma once

#include <QPixmap>
#include <QWidget>

// The start-up window: the product picture on a borderless, half see-through
// window in the middle of the screen.
class TSplashForm final : public QWidget
{
    Q_OBJECT

public:
    explicit TSplashForm(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_picture;
};

// The one splash window, or none.
extern TSplashForm *SplashForm;

// With show, creates the splash window (not yet visible); otherwise leaves none.
void CreateSplash(bool show);
// Releases the splash window, if any; calling it again does nothing.
void ReleaseSplash();
