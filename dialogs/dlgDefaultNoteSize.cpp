#include "dialogs/dlgDefaultNoteSize.h"

#include "notewindow/NoteBorders.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr QSize kDesignSize(152, 137);
constexpr int kPanelHeight = 15;
constexpr int kLabelHeight = 39;
constexpr QRect kCancelGeometry(8, 56, 75, 24);
constexpr QRect kOkGeometry(8, 80, 75, 24);

QWidget *strip(QWidget *parent, const char *name, Qt::CursorShape cursor)
{
    auto *widget = new QWidget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setCursor(cursor);
    return widget;
}

QFont songFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体")});
    font.setPointSize(9);
    return font;
}

} // namespace

TDefaultNoteSizeForm::TDefaultNoteSizeForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , Panel1(new QLabel(QStringLiteral("便笺尺寸"), this))
    , Label1(new QLabel(QStringLiteral("按下 \"确定\" 接受新的便笺尺寸, \"取消\" 使用前个便笺尺寸"), this))
    , CancelBTN(new QPushButton(QStringLiteral("取消"), this))
    , OKBTN(new QPushButton(QStringLiteral("确定"), this))
    , PaintBox3(strip(this, "PaintBox3", Qt::SizeHorCursor))
    , PaintBox1(strip(this, "PaintBox1", Qt::SizeHorCursor))
    , PaintBox2(strip(this, "PaintBox2", Qt::SizeVerCursor))
    , m_drag(new WindowDrag(this))
{
    setObjectName(QStringLiteral("DefaultNoteSizeForm"));
    setWindowTitle(QStringLiteral("DefaultNoteSizeForm"));
    setFont(songFont());

    QFont panelFont(QStringLiteral("Tahoma"));
    panelFont.setPointSize(7);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFont(panelFont);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setCursor(Qt::SizeAllCursor);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    CancelBTN->setObjectName(QStringLiteral("CancelBTN"));
    OKBTN->setObjectName(QStringLiteral("OKBTN"));
    OKBTN->setDefault(true);
    connect(CancelBTN, &QPushButton::clicked, this, &QDialog::reject);
    connect(OKBTN, &QPushButton::clicked, this, &QDialog::accept);

    for (QWidget *source : {static_cast<QWidget *>(Panel1), PaintBox3, PaintBox1, PaintBox2})
        source->installEventFilter(this);

    FormCanResize();
    resize(kDesignSize);
    layoutControls();
}

// Qt raises every proposed size (the window manager's, our own drag and
// resize()) to the minimum size, so the lower limit is given once here.
void TDefaultNoteSizeForm::FormCanResize()
{
    setMinimumSize(kMinimumSide, kMinimumSide);
}

void TDefaultNoteSizeForm::FormResize()
{
    QSize allowed = size();
    if (allowed.width() < kMinimumSide)
        allowed.setWidth(kMinimumSide);
    if (allowed.height() < kMinimumSide)
        allowed.setHeight(kMinimumSide);
    if (allowed.width() > kMaximumSide)
        allowed.setWidth(kMaximumSide);
    if (allowed.height() > kMaximumSide)
        allowed.setHeight(kMaximumSide);
    if (allowed != size())
        resize(allowed);
}

Qt::Edges TDefaultNoteSizeForm::edgesOf(const QWidget *source, const QPoint &local) const
{
    if (source == PaintBox3)
        return Qt::LeftEdge;
    if (source == PaintBox1)
        return Qt::RightEdge;
    if (source == PaintBox2) {
        // The ends of the bottom strip are the corners.
        if (local.x() < kStripWidth)
            return Qt::BottomEdge | Qt::LeftEdge;
        if (local.x() >= source->width() - kStripWidth)
            return Qt::BottomEdge | Qt::RightEdge;
        return Qt::BottomEdge;
    }
    return {};
}

bool TDefaultNoteSizeForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        auto *source = static_cast<QWidget *>(watched);
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_drag->start(source, edgesOf(source, mouse->position().toPoint()), mouse->globalPosition().toPoint());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TDefaultNoteSizeForm::layoutControls()
{
    const int w = width();
    const int h = height();
    Panel1->setGeometry(0, 0, w, kPanelHeight);
    Label1->setGeometry(0, kPanelHeight, w, kLabelHeight);
    const int sideTop = kPanelHeight + kLabelHeight;
    PaintBox2->setGeometry(0, h - kStripWidth, w, kStripWidth);
    PaintBox3->setGeometry(0, sideTop, kStripWidth, h - kStripWidth - sideTop);
    PaintBox1->setGeometry(w - kStripWidth, sideTop, kStripWidth, h - kStripWidth - sideTop);
    CancelBTN->setGeometry(kCancelGeometry);
    OKBTN->setGeometry(kOkGeometry);
    // The edges stay within reach even where a button reaches them.
    for (QWidget *edge : {PaintBox3, PaintBox1, PaintBox2})
        edge->raise();
}

void TDefaultNoteSizeForm::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    FormResize();
    layoutControls();
}

void TDefaultNoteSizeForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *shownOn = screen())
        move(shownOn->availableGeometry().center() - rect().center());
}

void TDefaultNoteSizeForm::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    // Without a window frame, a thin outline shows where the size ends.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
