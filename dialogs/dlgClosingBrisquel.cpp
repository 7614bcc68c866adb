#include "dialogs/dlgClosingBrisquel.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace {

constexpr QSize kClientSize(270, 67);

QFont songBold(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体")});
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

} // namespace

TClosingBrisquelDLG::TClosingBrisquelDLG(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("ClosingBrisquelDLG"));
    setFixedSize(kClientSize);

    auto *panel = new QLabel(QStringLiteral("正在关闭 Brisquel . . ."), this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setAlignment(Qt::AlignCenter);
    panel->setFont(songBold(16));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAutoFillBackground(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}
