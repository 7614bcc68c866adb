#include "notewindow/NoteFormUnit.h"

#include "app/BrisquelEngineUnit.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "notes/NoteWrapper.h"
#include "notewindow/CreationDateItem.h"
#include "notewindow/NoteConfUnit.h"
#include "notewindow/NoteBorders.h"
#include "platform/DateTime.h"
#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QWidgetAction>

namespace {

constexpr int kStoreDelayMs = 1000;
constexpr int kAlarmIntervalMs = 1000;
constexpr int kDesignWidth = 157;
constexpr int kDesignHeight = 150;
constexpr int kMenuDrop = 12;
constexpr int kAnimationSleepMs = 8;
constexpr int kFadeStep = 10;
constexpr int kFadeFloor = 20;
constexpr int kShrinkPercent = 85;
constexpr int kShrinkFloor = 90;

struct CloseForItem
{
    const char *name;
    const char *caption;
    unsigned minutes; // 0: until tomorrow
};

constexpr CloseForItem kCloseForItems[] = {
    {"N5Minutes1", "5 分钟", 5},     {"N10Minutes1", "10 分钟", 10}, {"N15Minutes1", "15 分钟", 15},
    {"N30Minutes1", "30 分钟", 30},  {"N45Minutes1", "45 分钟", 45}, {"N1Hour1", "1 小时", 60},
    {"N2Hours1", "2 小时", 120},     {"illtomorrow1", "直到明天", 0},
};

QWidget *makeBorder(QWidget *parent, const char *name, Qt::CursorShape cursor)
{
    auto *border = new QWidget(parent);
    border->setObjectName(QLatin1String(name));
    border->setAutoFillBackground(true);
    border->setCursor(cursor);
    return border;
}

void setRoleColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette colours = widget->palette();
    colours.setColor(role, colour);
    widget->setPalette(colours);
}

int scaledDown(int length)
{
    return (length * kShrinkPercent + 50) / 100;
}

} // namespace

TNoteForm::TNoteForm()
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(kMinimumSide, kMinimumSide);
    setFont(QFont(QStringLiteral("SimSun"), 9));
    setAutoFillBackground(true);
    resize(kDesignWidth, kDesignHeight);

    UpdateTimer = new QTimer(this);
    UpdateTimer->setInterval(kStoreDelayMs);
    connect(UpdateTimer, &QTimer::timeout, this, &TNoteForm::UpdateTimerTimer);
    Allarme = new QTimer(this);
    Allarme->setInterval(kAlarmIntervalMs);

    m_drag = new WindowDrag(this);
    createControls();
    createActions();
    createNoteMenu();

    Closing = false;
    LoadContent(QByteArray());
    NoteEdit->setFocus();
    FormResize();
}

TNoteForm::~TNoteForm() = default;

void TNoteForm::createControls()
{
    TitleOwnerDraw = new QWidget(this);
    TitleOwnerDraw->setObjectName(QStringLiteral("TitleOwnerDraw"));
    TitleOwnerDraw->setAttribute(Qt::WA_OpaquePaintEvent);
    TitleOwnerDraw->installEventFilter(this);

    LeftBorder = makeBorder(this, "LeftBorder", Qt::SizeHorCursor);
    RightBorder = makeBorder(this, "RightBorder", Qt::SizeHorCursor);
    BottomBorder = makeBorder(this, "BottomBorder", Qt::SizeVerCursor);

    NoteEdit = new QTextEdit(this);
    NoteEdit->setObjectName(QStringLiteral("NoteEdit"));
    NoteEdit->setFrameShape(QFrame::NoFrame);
    NoteEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    NoteEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    NoteEdit->setTabChangesFocus(false);
    connect(NoteEdit, &QTextEdit::textChanged, this, &TNoteForm::NoteEditChange);

    Sizer = makeBorder(this, "Sizer", Qt::SizeFDiagCursor);
    for (QWidget *border : {LeftBorder, RightBorder, BottomBorder, Sizer})
        border->installEventFilter(this);

    NoteMenuButton = new StripButton(this);
    NoteMenuButton->setObjectName(QStringLiteral("NoteMenuButton"));
    LinkButton = new StripButton(this);
    LinkButton->setObjectName(QStringLiteral("LinkButton"));
    LinkButton->setToolTip(QStringLiteral("打开附加的文件"));
    CloseButton = new StripButton(this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    for (StripButton *button : {NoteMenuButton, LinkButton, CloseButton})
        button->resize(kGlyphSize, kGlyphSize);
    // Out of sight until the layout finds a linked file.
    LinkButton->move(kDesignWidth - 25, -25);
    LinkButton->setEnabled(false);

    connect(NoteMenuButton, &QAbstractButton::clicked, this, [this] { MenuShortCut->trigger(); });
    connect(LinkButton, &QAbstractButton::clicked, this, &TNoteForm::LinkButtonClick);
    connect(CloseButton, &QAbstractButton::clicked, this, [this] { CloseFormBut->trigger(); });
}

void TNoteForm::createActions()
{
    const auto makeAction = [this](const QString &caption, const QKeySequence &shortcut) {
        auto *action = new QAction(caption, this);
        action->setShortcut(shortcut);
        addAction(action);
        return action;
    };
    MenuShortCut = makeAction(QString(), QKeySequence(Qt::ALT | Qt::Key_Space));
    connect(MenuShortCut, &QAction::triggered, this, &TNoteForm::MenuShortCutExecute);

    ONTop = makeAction(QStringLiteral("总在最上面"), QKeySequence());
    ONTop->setCheckable(true);
    connect(ONTop, &QAction::triggered, this, &TNoteForm::ONTopExecute);

    ReduceToggle = makeAction(QStringLiteral("简化"), QKeySequence());
    ReduceToggle->setCheckable(true);
    connect(ReduceToggle, &QAction::triggered, this, &TNoteForm::ReduceToggleExecute);

    Customize = makeAction(QStringLiteral("定制(&M)"), QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(Customize, &QAction::triggered, this, &TNoteForm::CustomizeExecute);

    DeleteNote = makeAction(QStringLiteral("删除便笺(&D)"), QKeySequence(Qt::CTRL | Qt::Key_D));
    connect(DeleteNote, &QAction::triggered, this, &TNoteForm::DeleteNoteExecute);

    CloseNote = makeAction(QStringLiteral("关闭便笺(&C)"), QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(CloseNote, &QAction::triggered, this, &TNoteForm::CloseFormButExecute);
    CloseFormBut = makeAction(QString(), QKeySequence());
    connect(CloseFormBut, &QAction::triggered, this, &TNoteForm::CloseFormButExecute);

    // Printing is not part of this window yet.
    PrintNote = makeAction(QStringLiteral("打印便笺"), QKeySequence());
    PrintNote->setEnabled(false);

    for (const CloseForItem &item : kCloseForItems) {
        auto *action = new QAction(QString::fromUtf8(item.caption), this);
        action->setObjectName(QLatin1String(item.name));
        if (item.minutes > 0) {
            action->setData(item.minutes);
            connect(action, &QAction::triggered, this, &TNoteForm::N5Minutes1Click);
        } else {
            connect(action, &QAction::triggered, this, &TNoteForm::illtomorrow1Click);
        }
        CloseForActions.append(action);
    }
}

void TNoteForm::createNoteMenu()
{
    NoteMenu = new QMenu(this);
    NoteMenu->setObjectName(QStringLiteral("NoteMenu"));
    m_creationDate = new CreationDateItem;
    CreationDateMenu = new QWidgetAction(NoteMenu);
    CreationDateMenu->setObjectName(QStringLiteral("CreationDateMenu"));
    CreationDateMenu->setDefaultWidget(m_creationDate);
    CreationDateMenu->setEnabled(false);

    NoteMenu->addAction(CreationDateMenu);
    NoteMenu->addSeparator();
    NoteMenu->addAction(ONTop);
    NoteMenu->addAction(ReduceToggle);
    Closefor1 = NoteMenu->addMenu(QStringLiteral("关闭于"));
    Closefor1->setObjectName(QStringLiteral("Closefor1"));
    Closefor1->addActions(CloseForActions);
    NoteMenu->addSeparator();
    NoteMenu->addAction(PrintNote);
    NoteMenu->addSeparator();
    NoteMenu->addAction(Customize);
    NoteMenu->addSeparator();
    NoteMenu->addAction(DeleteNote);
    NoteMenu->addAction(CloseNote);
    connect(NoteMenu, &QMenu::aboutToShow, this, &TNoteForm::NoteMenuPopup);
}

bool TNoteForm::isAttached() const
{
    return Wrapper && Wrapper->Window.data() == this;
}

void TNoteForm::ApplyNoteColor(TColor colour)
{
    const QColor body = toQColor(colour == clNone ? Settings.NoteColor : colour);
    for (QWidget *widget : {static_cast<QWidget *>(this), LeftBorder, BottomBorder, RightBorder, Sizer})
        setRoleColour(widget, QPalette::Window, body);
    setRoleColour(NoteEdit, QPalette::Base, body);
}

void TNoteForm::ApplyOnTop()
{
    const bool onTop = Wrapper && Wrapper->Note && Wrapper->Note->IsOnTop();
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop) {
        if (onTop && isVisible())
            raise();
        return;
    }
    // Changing the flags hides the window and may forget its place.
    const bool wasVisible = isVisible();
    const bool wasActive = isActiveWindow();
    const QPoint where = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    move(where);
    if (wasVisible)
        show();
    if (wasActive)
        activateWindow();
    setWindowOpacity(m_alphaBlend ? m_alphaBlendValue / 255.0 : 1.0);
}

void TNoteForm::ApplyReduced()
{
    if (Closing)
        return;
    if (Wrapper && Wrapper->Note && Wrapper->Note->IsReduced()) {
        setMask(QRegion(0, 0, TitleOwnerDraw->width(), kStripHeight));
        update();
    } else {
        clearMask();
        NoteEdit->update();
        update();
    }
}

void TNoteForm::RestartUpdateTimer()
{
    if (Closing)
        return;
    UpdateTimer->start();
}

void TNoteForm::StopAlarm()
{
    Allarme->stop();
}

void TNoteForm::SetAlphaBlend(bool on, int value)
{
    m_alphaBlend = on;
    m_alphaBlendValue = qBound(0, value, 255);
    setWindowOpacity(on ? m_alphaBlendValue / 255.0 : 1.0);
}

void TNoteForm::SetAlphaBlendValue(int value)
{
    m_alphaBlendValue = qBound(0, value, 255);
    if (m_alphaBlend)
        setWindowOpacity(m_alphaBlendValue / 255.0);
}

void TNoteForm::applyBodyFont()
{
    const ToolkitFont body = RecordToFont(Settings.NoteFont);
    NoteEdit->document()->setDefaultFont(body.font);
    setRoleColour(NoteEdit, QPalette::Text, toQColor(body.color));
}

void TNoteForm::LoadContent(const QByteArray &rtf)
{
    applyBodyFont();
    NoteEdit->clear();
    if (!rtf.isEmpty()) {
        Rtf::readInto(*NoteEdit->document(), rtf);
        return;
    }
    // What is typed into an empty body takes the note font explicitly, so
    // that it is stored with the text.
    const ToolkitFont body = RecordToFont(Settings.NoteFont);
    QTextCharFormat format;
    format.setFont(body.font);
    format.setForeground(toQColor(body.color));
    NoteEdit->setCurrentCharFormat(format);
}

QByteArray TNoteForm::SaveContent() const
{
    return Rtf::write(*NoteEdit->document());
}

void TNoteForm::FormResize()
{
    const int w = width();
    const int h = height();
    const int sideHeight = qMax(0, h - kStripHeight - kBorderWidth);
    TitleOwnerDraw->setGeometry(0, 0, w, kStripHeight);
    BottomBorder->setGeometry(0, h - kBorderWidth, w, kBorderWidth);
    LeftBorder->setGeometry(0, kStripHeight, kBorderWidth, sideHeight);
    RightBorder->setGeometry(w - kBorderWidth, kStripHeight, kBorderWidth, sideHeight);
    NoteEdit->setGeometry(kBorderWidth, kStripHeight, qMax(0, w - 2 * kBorderWidth), sideHeight);
    Sizer->setGeometry(w - kBorderWidth, h - kBorderWidth, kBorderWidth, kBorderWidth);
    Sizer->raise();

    NoteMenuButton->move(1, 1);
    CloseButton->move(w - 12, 1);
    if (Wrapper && Wrapper->Note) {
        const bool linked = Wrapper->Note->HasLinkedFile();
        LinkButton->setEnabled(linked);
        LinkButton->move(w - 25, linked ? 1 : -25);
    }
    for (StripButton *button : {NoteMenuButton, LinkButton, CloseButton})
        button->raise();
    RestartUpdateTimer();
}

void TNoteForm::FormShow()
{
    ApplyReduced();
}

void TNoteForm::FormActivate()
{
    if (Settings.NoteTransparency)
        SetAlphaBlendValue(kActiveAlpha);
}

void TNoteForm::FormDeactivate()
{
    if (Settings.NoteTransparency)
        SetAlphaBlendValue(kInactiveAlpha);
}

void TNoteForm::FormClick()
{
    Allarme->stop();
}

bool TNoteForm::FormCloseQuery()
{
    Closing = true;
    UpdateTimer->stop();
    if (Settings.NoteAnimations && !ShuttingDown) {
        if (m_alphaBlend)
            fadeOut();
        else
            shrinkOut();
    }
    UpdateTimer->stop();
    Allarme->stop();
    return true;
}

void TNoteForm::fadeOut()
{
    do {
        SetAlphaBlendValue(m_alphaBlendValue - kFadeStep);
        QCoreApplication::processEvents();
        QThread::msleep(kAnimationSleepMs);
    } while (m_alphaBlendValue >= kFadeFloor);
}

void TNoteForm::shrinkOut()
{
    // A picture of the whole note shrinks with the window, so that the
    // strip, the text and its fonts all scale together.
    auto *picture = new QLabel(this);
    picture->setScaledContents(true);
    picture->setPixmap(grab());
    picture->setGeometry(rect());
    picture->show();
    picture->raise();
    setMinimumSize(0, 0);
    do {
        resize(scaledDown(width()), scaledDown(height()));
        picture->setGeometry(rect());
        QCoreApplication::processEvents();
        QThread::msleep(kAnimationSleepMs);
    } while (width() >= kShrinkFloor);
}

void TNoteForm::TitleOwnerDrawPaint(QPainter &canvas)
{
    if (Wrapper && Wrapper->Note) {
        const TNoteClass &note = *Wrapper->Note;
        DrawNoteTitle(canvas, note.Title, TitleOwnerDraw->width(), kStripHeight, note.TitleColor,
                      note.TitleTextColor, note.NoteColor, note.HasLinkedFile());
    } else {
        DrawNoteTitle(canvas, QString(), TitleOwnerDraw->width(), kStripHeight, clNone, clNone, clNone, false);
    }
}

void TNoteForm::TitleOwnerDrawMouseDown(QMouseEvent *event)
{
    m_stripPressed = true;
    m_drag->start(TitleOwnerDraw, Qt::Edges(), event->globalPosition().toPoint());
    UpdateTimer->stop();
    UpdateTimer->start();
    StopAlarm();
}

void TNoteForm::TitleOwnerDrawMouseUp()
{
    RestartUpdateTimer();
}

void TNoteForm::TitleOwnerDrawClick()
{
    StopAlarm();
}

void TNoteForm::TitleOwnerDrawDblClick()
{
    ReduceToggle->trigger();
}

void TNoteForm::BorderMouseDown(QWidget *border, QMouseEvent *event)
{
    Qt::Edges edges = Qt::BottomEdge | Qt::RightEdge;
    if (border == LeftBorder)
        edges = Qt::LeftEdge;
    else if (border == RightBorder)
        edges = Qt::RightEdge;
    else if (border == BottomBorder)
        edges = Qt::BottomEdge;
    m_drag->start(border, edges, event->globalPosition().toPoint());
}

void TNoteForm::NoteEditChange()
{
    RestartUpdateTimer();
}

void TNoteForm::LinkButtonClick()
{
    if (Wrapper && Wrapper->Note)
        OpenLinkedFile(Wrapper->Note->LinkedFile);
}

void TNoteForm::UpdateTimerTimer()
{
    if (Starting || Closing)
        return;
    try {
        if (Wrapper) {
            Wrapper->ReadFromWindow();
            if (Settings.SafeSave)
                Wrapper->Save();
        }
        update();
    } catch (...) {
        // The store is tried again after the next change.
    }
    UpdateTimer->stop();
}

void TNoteForm::MenuShortCutExecute()
{
    StopAlarm();
    NoteMenu->popup(QPoint(x(), y() + kMenuDrop));
}

void TNoteForm::NoteMenuPopup()
{
    ONTopUpdate();
    ReduceToggleUpdate();
    if (Wrapper && Wrapper->Note)
        m_creationDate->setCreated(Wrapper->Note->Created);
}

void TNoteForm::ONTopExecute()
{
    if (!Wrapper || !Wrapper->Note)
        return;
    Wrapper->ReadFromWindow();
    Wrapper->Note->SetOnTop(!Wrapper->Note->IsOnTop());
    Wrapper->RefreshWindow();
}

void TNoteForm::ONTopUpdate()
{
    ONTop->setChecked(Wrapper && Wrapper->Note && Wrapper->Note->IsOnTop());
}

void TNoteForm::ReduceToggleExecute()
{
    if (!Wrapper || !Wrapper->Note)
        return;
    Wrapper->Note->SetReduced(!Wrapper->Note->IsReduced());
    ApplyReduced();
}

void TNoteForm::ReduceToggleUpdate()
{
    ReduceToggle->setChecked(Wrapper && Wrapper->Note && Wrapper->Note->IsReduced());
}

void TNoteForm::CustomizeExecute()
{
    if (!Wrapper)
        return;
    const QPointer<TNoteForm> self(this);
    TNoteWrapper *wrapper = Wrapper;
    wrapper->ReadFromWindow();
    EditNoteProperties(wrapper, x(), y());
    if (!self)
        return;
    wrapper->Save();
    RestartUpdateTimer();
}

void TNoteForm::DeleteNoteExecute()
{
    if (!Wrapper || !NoteEngine || !NoteEngine->Manager)
        return;
    if (NoteEngine->Manager->DeleteNote(Wrapper, false))
        close();
}

void TNoteForm::CloseFormButExecute()
{
    // Disabled first, so that a click while pending messages run cannot
    // start a second close.
    if (!CloseFormBut->isEnabled())
        return;
    CloseFormBut->setEnabled(false);
    CloseNote->setEnabled(false);
    const QPointer<TNoteForm> self(this);
    try {
        UpdateTimer->stop();
        Allarme->stop();
        QCoreApplication::processEvents();
        if (!self || Closing)
            return;
        if (isAttached()) {
            Wrapper->ReadFromWindow();
            Wrapper->HideNote(false);
        }
        QCoreApplication::processEvents();
        if (self && !Closing)
            close();
    } catch (...) {
        if (!self || Closing)
            return;
        // Still attached: nothing was lost, and the user may try again. Once
        // detached, the wrapper no longer reads this window, so it goes.
        if (isAttached()) {
            CloseFormBut->setEnabled(true);
            CloseNote->setEnabled(true);
        } else {
            close();
        }
    }
}

void TNoteForm::N5Minutes1Click()
{
    const auto *item = qobject_cast<QAction *>(sender());
    if (!item || !Wrapper)
        return;
    Wrapper->ReadFromWindow();
    Wrapper->HideForMinutes(item->data().toUInt());
}

void TNoteForm::illtomorrow1Click()
{
    if (!Wrapper)
        return;
    Wrapper->ReadFromWindow();
    Wrapper->HideUntil(dateOf(Now()) + 1);
}

bool TNoteForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TitleOwnerDraw) {
        switch (event->type()) {
        case QEvent::Paint: {
            QPainter canvas(TitleOwnerDraw);
            TitleOwnerDrawPaint(canvas);
            return true;
        }
        case QEvent::MouseButtonPress:
            event->accept();
            TitleOwnerDrawMouseDown(static_cast<QMouseEvent *>(event));
            return true;
        case QEvent::MouseButtonRelease: {
            event->accept();
            const bool clicked = m_stripPressed
                && TitleOwnerDraw->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint());
            m_stripPressed = false;
            TitleOwnerDrawMouseUp();
            if (clicked)
                TitleOwnerDrawClick();
            return true;
        }
        case QEvent::MouseButtonDblClick:
            event->accept();
            TitleOwnerDrawDblClick();
            return true;
        default:
            return false;
        }
    }
    if (event->type() == QEvent::MouseButtonPress
        && (watched == LeftBorder || watched == RightBorder || watched == BottomBorder || watched == Sizer)) {
        event->accept();
        BorderMouseDown(static_cast<QWidget *>(watched), static_cast<QMouseEvent *>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TNoteForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TNoteForm::moveEvent(QMoveEvent *event)
{
    // Moves by the window manager end after the strip's mouse handler has
    // returned; the store waits for the last of them.
    QWidget::moveEvent(event);
    RestartUpdateTimer();
}

void TNoteForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TNoteForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (isActiveWindow())
        FormActivate();
    else
        FormDeactivate();
}

void TNoteForm::mousePressEvent(QMouseEvent *event)
{
    QWidget::mousePressEvent(event);
    FormClick();
}

void TNoteForm::closeEvent(QCloseEvent *event)
{
    if (!Closing && isAttached()) {
        // A close that bypasses the close command (the window manager's close,
        // Alt+F4) goes through it, so the wrapper lets go of this window and
        // stores the note first.
        event->ignore();
        QMetaObject::invokeMethod(this, &TNoteForm::CloseFormButExecute, Qt::QueuedConnection);
        return;
    }
    if (!Closing)
        FormCloseQuery();
    event->accept();
}
