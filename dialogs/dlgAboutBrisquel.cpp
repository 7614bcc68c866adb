#include "dialogs/dlgAboutBrisquel.h"

#include "app/InternalProcsGui.h"
#include "resources/BrisquelResources.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QToolButton>
#include <QWindow>

#include <functional>

namespace {

constexpr QSize kClientSize(314, 191);
constexpr TColor kStripColor = 0x0000ECEC;
constexpr TColor kBoxColor = 0x0000FFFF;

// A surface painted by its owner, which also receives its mouse presses,
// moves and releases.
class OwnerDrawBox final : public QWidget
{
public:
    using PaintHandler = std::function<void(QPainter &)>;
    using MouseHandler = std::function<void(QMouseEvent *)>;

    OwnerDrawBox(QWidget *parent, PaintHandler paint, MouseHandler press, MouseHandler move, MouseHandler release)
        : QWidget(parent)
        , m_paint(std::move(paint))
        , m_press(std::move(press))
        , m_move(std::move(move))
        , m_release(std::move(release))
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter canvas(this);
        m_paint(canvas);
    }
    void mousePressEvent(QMouseEvent *event) override { m_press(event); }
    void mouseMoveEvent(QMouseEvent *event) override { m_move(event); }
    void mouseReleaseEvent(QMouseEvent *event) override { m_release(event); }

private:
    PaintHandler m_paint;
    MouseHandler m_press;
    MouseHandler m_move;
    MouseHandler m_release;
};

// A button without a face of its own, laid over a glyph painted beneath it.
class InvisibleButton final : public QAbstractButton
{
public:
    using QAbstractButton::QAbstractButton;

protected:
    void paintEvent(QPaintEvent *) override {}
};

QFont songFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体")});
    font.setPixelSize(pixelSize);
    return font;
}

QFont arialBold(int pixelSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

QString makerNotice()
{
    return QStringLiteral("Brisquel 为 Orvanta 出品的免费软件。\n"
                          "联系 Orvanta: 请在项目主页留言反馈。\n"
                          "\n");
}

} // namespace

TAboutBrisquel::TAboutBrisquel(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("AboutBrisquel"));
    setWindowTitle(QStringLiteral("关于信息..."));
    setFont(songFont(12));
    setFixedSize(kClientSize);
    QPalette background = palette();
    background.setColor(QPalette::Window, toQColor(clYellow));
    setPalette(background);
    setAutoFillBackground(true);

    TitleOwnerDraw = new OwnerDrawBox(
        this, [this](QPainter &canvas) { TitleOwnerDrawPaint(canvas); },
        [this](QMouseEvent *event) { TitleOwnerDrawMouseDown(event); },
        [this](QMouseEvent *event) { followMouse(event->globalPosition().toPoint()); },
        [this](QMouseEvent *) { stopMoving(); });
    TitleOwnerDraw->setObjectName(QStringLiteral("TitleOwnerDraw"));
    TitleOwnerDraw->setGeometry(0, 0, kClientSize.width(), 13);

    SpeedButton2 = new InvisibleButton(this);
    SpeedButton2->setObjectName(QStringLiteral("SpeedButton2"));
    SpeedButton2->setGeometry(302, 1, 11, 11);
    SpeedButton2->setFocusPolicy(Qt::NoFocus);
    connect(SpeedButton2, &QAbstractButton::clicked, this, &TAboutBrisquel::SpeedButton2Click);

    LogoImage = new QLabel(this);
    LogoImage->setObjectName(QStringLiteral("LogoImage"));
    LogoImage->setGeometry(8, 24, 50, 50);
    LogoImage->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label1 = new QLabel(QStringLiteral("Brisquel"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(arialBold(32));
    Label1->move(72, 29);
    Label1->adjustSize();

    VerLabel = new QLabel(this);
    VerLabel->setObjectName(QStringLiteral("VerLabel"));
    VerLabel->setFont(arialBold(13));
    VerLabel->move(200, 68);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(8, 88, 297, 65);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette memoColors = Memo1->palette();
    memoColors.setColor(QPalette::Base, toQColor(clYellow));
    Memo1->setPalette(memoColors);
    Memo1->setPlainText(makerNotice());

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("关闭"));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setGeometry(248, 160, 57, 22);
    connect(SpeedButton1, &QToolButton::clicked, this, &TAboutBrisquel::SpeedButton1Click);

    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    FormCreate();
}

void TAboutBrisquel::FormCreate()
{
    LogoImage->setPixmap(MainIcon().pixmap(48, 48));
    VerLabel->setText(QStringLiteral("v2.2.0"));
    VerLabel->adjustSize();
}

void TAboutBrisquel::TitleOwnerDrawPaint(QPainter &canvas)
{
    DrawNoteTitle(canvas, QStringLiteral("关于信息..."), TitleOwnerDraw->width(), TitleOwnerDraw->height(),
                  kStripColor, clBlack, kBoxColor, false);
}

void TAboutBrisquel::TitleOwnerDrawMouseDown(QMouseEvent *event)
{
    startMoving(event->globalPosition().toPoint());
}

void TAboutBrisquel::FormMouseDown(QMouseEvent *event)
{
    startMoving(event->globalPosition().toPoint());
}

void TAboutBrisquel::SpeedButton1Click()
{
    close();
}

void TAboutBrisquel::SpeedButton2Click()
{
    close();
}

void TAboutBrisquel::mousePressEvent(QMouseEvent *event)
{
    FormMouseDown(event);
}

void TAboutBrisquel::mouseMoveEvent(QMouseEvent *event)
{
    followMouse(event->globalPosition().toPoint());
}

void TAboutBrisquel::mouseReleaseEvent(QMouseEvent *)
{
    stopMoving();
}

void TAboutBrisquel::startMoving(const QPoint &globalPos)
{
    QWindow *window = windowHandle();
    if (window && window->startSystemMove())
        return;
    m_following = true;
    m_pressPos = globalPos;
    m_windowPos = pos();
}

void TAboutBrisquel::followMouse(const QPoint &globalPos)
{
    if (m_following)
        move(m_windowPos + globalPos - m_pressPos);
}

void TAboutBrisquel::stopMoving()
{
    m_following = false;
}
