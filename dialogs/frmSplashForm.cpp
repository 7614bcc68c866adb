#include "dialogs/frmSplashForm.h"

#include "resources/BrisquelResources.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <memory>

TSplashForm *SplashForm = nullptr;

namespace {

constexpr QSize kClientSize(247, 110);
constexpr qreal kOpacity = 200.0 / 255.0;

// The splash window's one owner; SplashForm observes it.
std::unique_ptr<TSplashForm> &ownedSplash()
{
    static std::unique_ptr<TSplashForm> splash;
    return splash;
}

} // namespace

TSplashForm::TSplashForm(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_picture(SplashPicture())
{
    setObjectName(QStringLiteral("SplashForm"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(kClientSize);
    setWindowOpacity(kOpacity);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TSplashForm::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0xFF, 0xF7, 0xA0));
    painter.drawPixmap(rect(), m_picture);
}

void CreateSplash(bool show)
{
    ReleaseSplash();
    if (show) {
        ownedSplash() = std::make_unique<TSplashForm>();
        SplashForm = ownedSplash().get();
    }
}

void ReleaseSplash()
{
    SplashForm = nullptr;
    ownedSplash().reset();
}
