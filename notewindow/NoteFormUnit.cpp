#include "notewindow/NoteFormUnit.h"

#include "app/InternalProcsGui.h"
#include "app/RegistryUnit.h"
#include "dialogs/FontColorDialog.h"
#include "notes/NoteExportDialog.h"
#include "notes/NoteWrapper.h"
#include "notewindow/CloseForLabelItem.h"
#include "notewindow/CreationDateItem.h"
#include "notewindow/NoteBodyView.h"
#include "notewindow/NoteBorders.h"
#include "notewindow/NoteConfUnit.h"
#include "notewindow/NotePrinting.h"
#include "platform/DateTime.h"
#include "platform/DisplayPlatform.h"
#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"
#include "resources/BrisquelResources.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWidgetAction>

#include <algorithm>
#include <utility>
#include <chrono>

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
constexpr int kShakesPerTick = 4;
constexpr int kShakeSleepMs = 50;
constexpr int kShakeSpan = 6; // offsets 0..5, moved by -3
constexpr int kShakeShift = 3;

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

// Note menu icons by index.
constexpr int kIconBold = 0;
constexpr int kIconPlain = 1;
constexpr int kIconCopy = 2;
constexpr int kIconCut = 3;
constexpr int kIconStyle = 4;
constexpr int kIconFont = 5;
constexpr int kIconUndo = 7;
constexpr int kIconUnderline = 8;
constexpr int kIconItalic = 9;
constexpr int kIconCloseNote = 10;
constexpr int kIconPaste = 11;
constexpr int kIconSelectAll = 12;
constexpr int kIconDelete = 13;
constexpr int kIconStrikeOut = 14;
constexpr int kIconCloseFor = 15;
constexpr int kIconPrint = 16;
constexpr int kIconCustomize = 18;

// Dropped files arrive as local file addresses; anything else counts as a
// path that is no file.
QStringList droppedPaths(const QMimeData *data)
{
    QStringList paths;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls)
        paths.append(url.isLocalFile() ? url.toLocalFile() : QString());
    return paths;
}

bool carriesFiles(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return false;
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.cbegin(), urls.cend(), [](const QUrl &url) { return url.isLocalFile(); });
}

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
    connect(Allarme, &QTimer::timeout, this, &TNoteForm::AllarmeTimer);
    setAcceptDrops(true);

    m_drag = new WindowDrag(this);
    connect(m_drag, &WindowDrag::begun, this, [this] { m_userPlacing = true; });
    m_notePlace = geometry();
    createControls();

    Closing = false;
    LoadContent(QByteArray());
    FormResize();
}

TNoteForm::~TNoteForm()
{
    // The editor edits the document to the last; children go in the order
    // they were made, and the document came first. Its parts' last events
    // must not find it half destroyed.
    delete std::exchange(m_editor, nullptr);
}

void TNoteForm::createControls()
{
    TitleOwnerDraw = new QWidget(this);
    TitleOwnerDraw->setObjectName(QStringLiteral("TitleOwnerDraw"));
    TitleOwnerDraw->setAttribute(Qt::WA_OpaquePaintEvent);
    TitleOwnerDraw->installEventFilter(this);

    LeftBorder = makeBorder(this, "LeftBorder", Qt::SizeHorCursor);
    RightBorder = makeBorder(this, "RightBorder", Qt::SizeHorCursor);
    BottomBorder = makeBorder(this, "BottomBorder", Qt::SizeVerCursor);

    m_body = new QTextDocument(this);
    // An editor wraps its text so; the picture before it breaks the lines alike.
    QTextOption wrapping = m_body->defaultTextOption();
    wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_body->setDefaultTextOption(wrapping);
    connect(m_body, &QTextDocument::contentsChanged, this, &TNoteForm::NoteEditChange);
    m_links = new LinkHighlighter(m_body, this);
    m_view = new NoteBodyView(m_body, m_links, this);
    m_view->installEventFilter(this);
    m_view->setFocus();

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

    connect(NoteMenuButton, &QAbstractButton::clicked, this, [this] { ActionList1().MenuShortCut->trigger(); });
    connect(LinkButton, &QAbstractButton::clicked, this, &TNoteForm::LinkButtonClick);
    connect(CloseButton, &QAbstractButton::clicked, this, [this] { ActionList1().CloseFormBut->trigger(); });
    CloseButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(CloseButton, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { CloseForMenu()->popup(CloseButton->mapToGlobal(at)); });
}

void TNoteForm::createActions()
{
    TNoteActionList &actions = *m_actions;
    const auto makeAction = [this](const QString &caption, const QKeySequence &shortcut) {
        auto *action = new QAction(caption, this);
        action->setShortcut(shortcut);
        addAction(action);
        return action;
    };
    actions.MenuShortCut = makeAction(QString(), QKeySequence(Qt::ALT | Qt::Key_Space));
    connect(actions.MenuShortCut, &QAction::triggered, this, &TNoteForm::MenuShortCutExecute);

    actions.ONTop = makeAction(QStringLiteral("总在最上面"), QKeySequence());
    actions.ONTop->setCheckable(true);
    connect(actions.ONTop, &QAction::triggered, this, &TNoteForm::ONTopExecute);

    actions.ReduceToggle = makeAction(QStringLiteral("简化"), QKeySequence());
    actions.ReduceToggle->setCheckable(true);
    connect(actions.ReduceToggle, &QAction::triggered, this, &TNoteForm::ReduceToggleExecute);

    actions.Customize = makeAction(QStringLiteral("定制(&M)"), QKeySequence(Qt::CTRL | Qt::Key_O));
    actions.Customize->setIcon(NoteMenuIcon(kIconCustomize));
    connect(actions.Customize, &QAction::triggered, this, &TNoteForm::CustomizeExecute);

    actions.DeleteNote = makeAction(QStringLiteral("删除便笺(&D)"), QKeySequence(Qt::CTRL | Qt::Key_D));
    actions.DeleteNote->setIcon(NoteMenuIcon(kIconDelete));
    connect(actions.DeleteNote, &QAction::triggered, this, &TNoteForm::DeleteNoteExecute);

    actions.CloseNote = makeAction(QStringLiteral("关闭便笺(&C)"), QKeySequence(Qt::CTRL | Qt::Key_H));
    actions.CloseNote->setIcon(NoteMenuIcon(kIconCloseNote));
    connect(actions.CloseNote, &QAction::triggered, this, &TNoteForm::CloseFormButExecute);
    actions.CloseFormBut = makeAction(QString(), QKeySequence());
    connect(actions.CloseFormBut, &QAction::triggered, this, &TNoteForm::CloseFormButExecute);

    actions.PrintNote = makeAction(QStringLiteral("打印便笺"), QKeySequence());
    actions.PrintNote->setIcon(NoteMenuIcon(kIconPrint));
    connect(actions.PrintNote, &QAction::triggered, this, &TNoteForm::PrintNoteExecute);

    actions.ExportNote = makeAction(QStringLiteral("导出(&E)..."), QKeySequence());
    connect(actions.ExportNote, &QAction::triggered, this, &TNoteForm::ExportNoteExecute);
}

// The same commands twice: in the note menu (names ending in 1) and in the
// close glyph's menu (ending in 2), with shared handlers.
QList<QAction *> TNoteForm::createCloseForActions(QLatin1Char nameSuffix)
{
    QList<QAction *> actions;
    for (const CloseForItem &item : kCloseForItems) {
        auto *action = new QAction(QString::fromUtf8(item.caption), this);
        QString name = QLatin1String(item.name);
        name.back() = nameSuffix;
        action->setObjectName(name);
        if (item.minutes > 0) {
            action->setData(item.minutes);
            connect(action, &QAction::triggered, this, &TNoteForm::N5Minutes1Click);
        } else {
            connect(action, &QAction::triggered, this, &TNoteForm::illtomorrow1Click);
        }
        actions.append(action);
    }
    return actions;
}

void TNoteForm::createEditActions()
{
    TNoteActionList &actions = *m_actions;
    // Shortcuts work while this window is active; Ctrl+P is plain and
    // Ctrl+S strike-out here, not print and save.
    const auto makeAction = [this](const char *name, const QString &caption, const QKeySequence &shortcut,
                                   int icon) {
        auto *action = new QAction(NoteMenuIcon(icon), caption, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(shortcut);
        addAction(action);
        return action;
    };
    actions.Undo = makeAction("Undo", QStringLiteral("撤销(&U)"), QKeySequence(Qt::CTRL | Qt::Key_Z), kIconUndo);
    connect(actions.Undo, &QAction::triggered, this, &TNoteForm::UndoExecute);
    connect(m_body, &QTextDocument::undoAvailable, actions.Undo, &QAction::setEnabled);
    actions.Undo->setEnabled(m_body->isUndoAvailable());
    actions.Cut = makeAction("Cut", QStringLiteral("剪切(&C)"), QKeySequence(Qt::CTRL | Qt::Key_X), kIconCut);
    connect(actions.Cut, &QAction::triggered, this, [this] { NoteEdit()->cut(); });
    actions.Copy = makeAction("Copy", QStringLiteral("复制(&C)"), QKeySequence(Qt::CTRL | Qt::Key_C), kIconCopy);
    connect(actions.Copy, &QAction::triggered, this, [this] { NoteEdit()->copy(); });
    actions.Paste = makeAction("Paste", QStringLiteral("粘贴(&P)"), QKeySequence(Qt::CTRL | Qt::Key_V), kIconPaste);
    connect(actions.Paste, &QAction::triggered, this, &TNoteForm::PasteExecute);
    actions.Delete = makeAction("Delete", QStringLiteral("删除(&D)"), QKeySequence(), kIconDelete);
    connect(actions.Delete, &QAction::triggered, this, &TNoteForm::DeleteExecute);
    actions.SelectAll = makeAction("SelectAll", QStringLiteral("全选(&A)"), QKeySequence(Qt::CTRL | Qt::Key_A), kIconSelectAll);
    connect(actions.SelectAll, &QAction::triggered, this, [this] { NoteEdit()->selectAll(); });

    actions.Font = makeAction("Font", QStringLiteral("字体(&F)"), QKeySequence(Qt::CTRL | Qt::Key_F), kIconFont);
    connect(actions.Font, &QAction::triggered, this, &TNoteForm::FontExecute);
    actions.Pain = makeAction("Pain", QStringLiteral("无格式(&P)"), QKeySequence(Qt::CTRL | Qt::Key_P), kIconPlain);
    connect(actions.Pain, &QAction::triggered, this, &TNoteForm::PainExecute);
    actions.Bold = makeAction("Bold", QStringLiteral("粗体(&B)"), QKeySequence(Qt::CTRL | Qt::Key_B), kIconBold);
    connect(actions.Bold, &QAction::triggered, this, &TNoteForm::BoldExecute);
    actions.Italic = makeAction("Italic", QStringLiteral("斜体(&I)"), QKeySequence(Qt::CTRL | Qt::Key_I), kIconItalic);
    connect(actions.Italic, &QAction::triggered, this, &TNoteForm::ItalicExecute);
    actions.Underline = makeAction("Underline", QStringLiteral("下划线(&U)"), QKeySequence(Qt::CTRL | Qt::Key_U),
                           kIconUnderline);
    connect(actions.Underline, &QAction::triggered, this, &TNoteForm::UnderlineExecute);
    actions.Strikeout = makeAction("Strikeout", QStringLiteral("删除线(&S)"), QKeySequence(Qt::CTRL | Qt::Key_S),
                           kIconStrikeOut);
    connect(actions.Strikeout, &QAction::triggered, this, &TNoteForm::StrikeoutExecute);
    for (QAction *style : {actions.Bold, actions.Italic, actions.Underline, actions.Strikeout})
        style->setCheckable(true);
}

void TNoteForm::createNoteMenu()
{
    const TNoteActionList &actions = ActionList1();
    m_noteMenu = new QMenu(this);
    m_noteMenu->setObjectName(QStringLiteral("NoteMenu"));
    m_creationDate = new CreationDateItem;
    m_creationDateMenu = new QWidgetAction(m_noteMenu);
    m_creationDateMenu->setObjectName(QStringLiteral("CreationDateMenu"));
    m_creationDateMenu->setDefaultWidget(m_creationDate);
    m_creationDateMenu->setEnabled(false);

    m_noteMenu->addAction(m_creationDateMenu);
    m_noteMenu->addSeparator();
    m_noteMenu->addAction(actions.ONTop);
    m_noteMenu->addAction(actions.ReduceToggle);
    m_closefor1 = m_noteMenu->addMenu(NoteMenuIcon(kIconCloseFor), QStringLiteral("关闭于"));
    m_closefor1->setObjectName(QStringLiteral("Closefor1"));
    m_closeForActions = createCloseForActions(QLatin1Char('1'));
    m_closefor1->addActions(m_closeForActions);
    m_noteMenu->addSeparator();
    m_noteMenu->addAction(actions.PrintNote);
    m_noteMenu->addAction(actions.ExportNote);
    m_noteMenu->addSeparator();
    m_noteMenu->addAction(actions.Customize);
    m_noteMenu->addSeparator();
    m_noteMenu->addAction(actions.DeleteNote);
    m_noteMenu->addAction(actions.CloseNote);
    connect(m_noteMenu, &QMenu::aboutToShow, this, &TNoteForm::NoteMenuPopup);
}

void TNoteForm::createEditMenu()
{
    const TNoteActionList &actions = ActionList1();
    m_editMenu = new QMenu(this);
    m_editMenu->setObjectName(QStringLiteral("EditMenu"));
    m_editMenu->addAction(actions.Undo);
    m_editMenu->addSeparator();
    m_editMenu->addActions({actions.Cut, actions.Copy, actions.Paste, actions.Delete, actions.SelectAll});
    m_editMenu->addSeparator();
    m_editMenu->addAction(actions.Font);
    m_style1 = m_editMenu->addMenu(NoteMenuIcon(kIconStyle), QStringLiteral("风格(&S)"));
    m_style1->setObjectName(QStringLiteral("Style1"));
    m_style1->addAction(actions.Pain);
    m_style1->addSeparator();
    m_style1->addActions({actions.Bold, actions.Italic, actions.Underline, actions.Strikeout});
    connect(m_editMenu, &QMenu::aboutToShow, this, &TNoteForm::EditMenuPopup);
}

void TNoteForm::createCloseForMenu()
{
    m_closeForMenu = new QMenu(this);
    m_closeForMenu->setObjectName(QStringLiteral("CloseForMenu"));
    m_closeForLab1 = new QWidgetAction(m_closeForMenu);
    m_closeForLab1->setObjectName(QStringLiteral("CloseForLab1"));
    m_closeForLab1->setDefaultWidget(new CloseForLabelItem);
    m_closeForLab1->setEnabled(false);
    m_closeForMenu->addAction(m_closeForLab1);
    m_closeForMenuActions = createCloseForActions(QLatin1Char('2'));
    m_closeForMenu->addActions(m_closeForMenuActions);
}

NoteEditor *TNoteForm::NoteEdit()
{
    if (!m_editor)
        createEditor();
    return m_editor;
}

void TNoteForm::createEditor()
{
    m_editor = new NoteEditor(m_body, this);
    m_editor->setObjectName(QStringLiteral("NoteEdit"));
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_editor->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The edit menu opens on the right button's release instead.
    m_editor->setContextMenuPolicy(Qt::NoContextMenu);
    m_editor->viewport()->installEventFilter(this);
    m_editor->setGeometry(m_view->geometry());
    m_editor->stackUnder(m_view);
    m_editor->moveCursor(QTextCursor::End);
    if (m_typingFormat)
        m_editor->setCurrentCharFormat(*std::exchange(m_typingFormat, std::nullopt));
    m_links->setEditor(m_editor);
    m_editor->show();
    m_editor->setFocus();
    // The scroll bar is shown or hidden after a queued call: settled now,
    // so that a press meant for it reaches it.
    QCoreApplication::sendPostedEvents(m_editor, QEvent::MetaCall);
    // Typing goes on at the end of the text, which is seen from its start
    // as in the picture.
    m_editor->verticalScrollBar()->setValue(0);
    // The picture may be handling the press that asked for the editor.
    m_view->hide();
    m_view->deleteLater();
    m_view = nullptr;
}

QWidget *TNoteForm::bodyWidget() const
{
    if (m_editor)
        return m_editor;
    return m_view;
}

const TNoteActionList &TNoteForm::ActionList1()
{
    if (!m_actions) {
        m_actions = std::make_unique<TNoteActionList>();
        createActions();
        createEditActions();
    }
    return *m_actions;
}

QMenu *TNoteForm::NoteMenu()
{
    if (!m_noteMenu)
        createNoteMenu();
    return m_noteMenu;
}

QWidgetAction *TNoteForm::CreationDateMenu()
{
    NoteMenu();
    return m_creationDateMenu;
}

QMenu *TNoteForm::Closefor1()
{
    NoteMenu();
    return m_closefor1;
}

const QList<QAction *> &TNoteForm::CloseForActions()
{
    NoteMenu();
    return m_closeForActions;
}

QMenu *TNoteForm::EditMenu()
{
    if (!m_editMenu)
        createEditMenu();
    return m_editMenu;
}

QMenu *TNoteForm::Style1()
{
    EditMenu();
    return m_style1;
}

QMenu *TNoteForm::CloseForMenu()
{
    if (!m_closeForMenu)
        createCloseForMenu();
    return m_closeForMenu;
}

QWidgetAction *TNoteForm::CloseForLab1()
{
    CloseForMenu();
    return m_closeForLab1;
}

const QList<QAction *> &TNoteForm::CloseForMenuActions()
{
    CloseForMenu();
    return m_closeForMenuActions;
}

bool TNoteForm::isAttached() const
{
    return Wrapper && Wrapper->Window.data() == this;
}

void TNoteForm::PlaceAt(const QRect &place)
{
    resize(place.size());
    move(place.topLeft());
    // The size as the window's minimum allows it.
    m_notePlace = QRect(place.topLeft(), size());
    m_userPlacing = false;
}

void TNoteForm::followWindowPlace(QEvent *event)
{
    // The program's own moves and resizes arrive at once, not spontaneously.
    if (!event->spontaneous())
        m_notePlace = geometry();
    else if (!m_userPlacing)
        return;
    else if (DisplayPlatform::knowsWindowPlaces())
        m_notePlace = geometry();
    else
        m_notePlace.setSize(size());
}

void TNoteForm::ApplyNoteColor(TColor colour)
{
    const QColor body = toQColor(colour == clNone ? Settings.NoteColor : colour);
    // The borders take the window's colour from it: a palette of their own
    // would cost each of them a copy.
    setRoleColour(this, QPalette::Window, body);
    setRoleColour(this, QPalette::Base, body);
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
    const QRect place = m_notePlace;
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    PlaceAt(place);
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
        bodyWidget()->update();
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
    m_body->setDefaultFont(body.font);
    setRoleColour(this, QPalette::Text, toQColor(body.color));
}

void TNoteForm::LoadContent(const QByteArray &rtf)
{
    applyBodyFont();
    clearBody();
    m_typingFormat.reset();
    if (!rtf.isEmpty()) {
        Rtf::readInto(*m_body, rtf);
        m_links->refresh();
        return;
    }
    // What is typed into an empty body takes the note font explicitly, so
    // that it is stored with the text.
    const ToolkitFont body = RecordToFont(Settings.NoteFont);
    QTextCharFormat format;
    format.setFont(body.font);
    format.setForeground(toQColor(body.color));
    if (m_editor)
        m_editor->setCurrentCharFormat(format);
    else
        m_typingFormat = format;
}

// As an editor empties its text: without history, not modified.
void TNoteForm::clearBody()
{
    m_links->clear();
    const bool undoable = m_body->isUndoRedoEnabled();
    m_body->setUndoRedoEnabled(false);
    m_body->clear();
    m_body->setUndoRedoEnabled(undoable);
    m_body->setModified(false);
}

QByteArray TNoteForm::SaveContent() const
{
    return Rtf::write(*m_body);
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
    bodyWidget()->setGeometry(kBorderWidth, kStripHeight, qMax(0, w - 2 * kBorderWidth), sideHeight);
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
        DrawNoteTitle(canvas, Wrapper->ShownTitle(), TitleOwnerDraw->width(), kStripHeight, note.TitleColor,
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
    ActionList1().ReduceToggle->trigger();
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

void TNoteForm::NoteEditMouseDown(QMouseEvent *)
{
    StopAlarm();
}

void TNoteForm::NoteEditMouseUp(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton)
        EditMenu()->popup(event->globalPosition().toPoint());
}

void TNoteForm::NoteEditURLClick(Qt::MouseButton button, const QString &link)
{
    if (button == Qt::LeftButton)
        OpenDocument(link);
}

void TNoteForm::LinkButtonClick()
{
    if (Wrapper && Wrapper->Note)
        OpenLinkedFile(Wrapper->Note->LinkedFile);
}

void TNoteForm::JvDragFileGetDrop(const QStringList &paths)
{
    if (!isAttached())
        return;
    Wrapper->ReadFromWindow();
    // Only the first path counts, and only when it is a file.
    if (!paths.isEmpty() && QFileInfo(paths.first()).isFile())
        Wrapper->Note->LinkedFile = paths.first();
    Wrapper->RefreshWindow();
    RestartUpdateTimer();
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

void TNoteForm::AllarmeTimer()
{
    if (Closing)
        return;
    PlayAlarmSound();
    for (int shake = 0; shake < kShakesPerTick; ++shake)
        Shake();
}

void TNoteForm::Shake()
{
    QRandomGenerator random(quint32(std::chrono::steady_clock::now().time_since_epoch().count()));
    const QPoint place = pos();
    const int dx = int(random.bounded(kShakeSpan)) - kShakeShift;
    const int dy = int(random.bounded(kShakeSpan)) - kShakeShift;
    move(place.x() + dx, place.y() + dy);
    QThread::msleep(kShakeSleepMs);
    move(place);
}

void TNoteForm::MenuShortCutExecute()
{
    StopAlarm();
    NoteMenu()->popup(QPoint(x(), y() + kMenuDrop));
}

void TNoteForm::NoteMenuPopup()
{
    ONTopUpdate();
    ReduceToggleUpdate();
    if (m_creationDate && Wrapper && Wrapper->Note)
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
    ActionList1().ONTop->setChecked(Wrapper && Wrapper->Note && Wrapper->Note->IsOnTop());
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
    ActionList1().ReduceToggle->setChecked(Wrapper && Wrapper->Note && Wrapper->Note->IsReduced());
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
    if (!Wrapper || !Wrapper->Manager)
        return;
    // A shutdown while the question is open closes and releases this window.
    const QPointer<TNoteForm> self(this);
    if (Wrapper->Manager->DeleteNote(Wrapper, false) && self)
        close();
}

void TNoteForm::CloseFormButExecute()
{
    // Disabled first, so that a click while pending messages run cannot
    // start a second close.
    const TNoteActionList &actions = ActionList1();
    if (!actions.CloseFormBut->isEnabled())
        return;
    actions.CloseFormBut->setEnabled(false);
    actions.CloseNote->setEnabled(false);
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
            actions.CloseFormBut->setEnabled(true);
            actions.CloseNote->setEnabled(true);
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

QPrinter *TNoteForm::NotePrinter()
{
    if (Wrapper && Wrapper->Manager) {
        if (QPrinter *shared = Wrapper->Manager->PrintDialog())
            return shared;
    }
    if (!m_ownPrinter)
        m_ownPrinter = NewPrinter();
    return m_ownPrinter.get();
}

void TNoteForm::PrintNoteExecute()
{
    if (!Wrapper || !Wrapper->Note)
        return;
    QPrinter *printer = NotePrinter();
    const QPointer<TNoteForm> self(this);
    QPrintDialog dialog(printer, this);
    if (dialog.exec() != QDialog::Accepted || !self || !Wrapper || !Wrapper->Note)
        return;
    ::PrintNote(*printer, *Wrapper->Note, m_body->toPlainText());
}

void TNoteForm::ExportNoteExecute()
{
    if (Wrapper && Wrapper->Note)
        ::ExportNote(this, *Wrapper);
}

void TNoteForm::EditMenuPopup()
{
    UndoUpdate();
    const TextStyles styles = selectionStyle(*NoteEdit());
    const TNoteActionList &actions = ActionList1();
    actions.Bold->setChecked(styles.testFlag(TextStyle::Bold));
    actions.Italic->setChecked(styles.testFlag(TextStyle::Italic));
    actions.Underline->setChecked(styles.testFlag(TextStyle::Underline));
    actions.Strikeout->setChecked(styles.testFlag(TextStyle::StrikeOut));
    const QMimeData *clipboard = QApplication::clipboard()->mimeData();
    actions.Paste->setEnabled(clipboard && clipboard->hasText());
}

void TNoteForm::UndoExecute()
{
    if (m_body->isUndoAvailable())
        NoteEdit()->undo();
}

void TNoteForm::UndoUpdate()
{
    ActionList1().Undo->setEnabled(m_body->isUndoAvailable());
}

void TNoteForm::PasteExecute()
{
    const QMimeData *clipboard = QApplication::clipboard()->mimeData();
    if (clipboard && clipboard->hasText())
        NoteEdit()->paste();
}

void TNoteForm::DeleteExecute()
{
    NoteEdit()->textCursor().removeSelectedText();
}

void TNoteForm::FontExecute()
{
    const QPointer<TNoteForm> self(this);
    auto *dialog = new FontColorDialog(this);
    dialog->setSelectedFont(selectionFont(*NoteEdit()));
    const bool confirmed = dialog->Execute();
    if (!self)
        return;
    if (confirmed)
        setSelectionFont(*NoteEdit(), dialog->selectedFont());
    delete dialog;
}

void TNoteForm::PainExecute()
{
    setSelectionStyle(*NoteEdit(), TextStyles());
}

void TNoteForm::toggleStyle(TextStyle style)
{
    TextStyles styles = selectionStyle(*NoteEdit());
    styles.setFlag(style, !styles.testFlag(style));
    setSelectionStyle(*NoteEdit(), styles);
}

void TNoteForm::BoldExecute()
{
    toggleStyle(TextStyle::Bold);
}

void TNoteForm::ItalicExecute()
{
    toggleStyle(TextStyle::Italic);
}

void TNoteForm::UnderlineExecute()
{
    toggleStyle(TextStyle::Underline);
}

void TNoteForm::StrikeoutExecute()
{
    toggleStyle(TextStyle::StrikeOut);
}

bool TNoteForm::bodyEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        m_pressedLink = m_links->linkAt(mouse->position().toPoint());
        NoteEditMouseDown(mouse);
        return false;
    }
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        // A link is clicked when the button goes down and up on it.
        const std::optional<WebLink> link = m_links->linkAt(mouse->position().toPoint());
        const bool clicked = link && m_pressedLink && *link == *m_pressedLink;
        m_pressedLink.reset();
        NoteEditMouseUp(mouse);
        if (clicked)
            NoteEditURLClick(mouse->button(), link->text);
        return false;
    }
    // Files from the file manager are for the window, not for the text.
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        if (!carriesFiles(static_cast<QDropEvent *>(event)->mimeData()))
            return false;
        if (event->type() == QEvent::Drop)
            dropEvent(static_cast<QDropEvent *>(event));
        else
            static_cast<QDropEvent *>(event)->acceptProposedAction();
        return true;
    default:
        return false;
    }
}

// The picture gives way to the editor when it is first used: pressed,
// scrolled, typed into or dragged onto. The press, and what follows it while
// the button is held, go on to the editor's part at the same place.
bool TNoteForm::viewEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint at = mouse->position().toPoint();
        QWidget *part = NoteEdit()->childAt(at);
        if (!part)
            part = m_editor->viewport();
        QMouseEvent forwarded(mouse->type(), part->mapFrom(m_editor, at), mouse->scenePosition(),
                              mouse->globalPosition(), mouse->button(), mouse->buttons(), mouse->modifiers(),
                              mouse->pointingDevice());
        QCoreApplication::sendEvent(part, &forwarded);
        return true;
    }
    case QEvent::Wheel:
        QCoreApplication::sendEvent(NoteEdit()->viewport(), event);
        return true;
    case QEvent::KeyPress:
        QCoreApplication::sendEvent(NoteEdit(), event);
        return true;
    case QEvent::DragEnter:
        // The next move of the drag reaches the editor.
        NoteEdit();
        return false;
    default:
        return false;
    }
}

bool TNoteForm::eventFilter(QObject *watched, QEvent *event)
{
    if (m_editor && watched == m_editor->viewport())
        return bodyEvent(event);
    if (qobject_cast<NoteBodyView *>(watched))
        return viewEvent(event);
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

bool TNoteForm::event(QEvent *event)
{
    // A key for this window: the editor takes it, and the commands'
    // shortcuts are looked up after this.
    if (event->type() == QEvent::ShortcutOverride) {
        NoteEdit();
        ActionList1();
    }
    return QWidget::event(event);
}

void TNoteForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    followWindowPlace(event);
    FormResize();
}

void TNoteForm::moveEvent(QMoveEvent *event)
{
    // Moves by the window manager end after the strip's mouse handler has
    // returned; the store waits for the last of them. While the alarm rings,
    // the moves are its shaking, which the window system may report only
    // after the shake is over: they leave the window where it was and must
    // not hold back the store. A press on the strip stops the alarm, so the
    // user's own moves count again.
    QWidget::moveEvent(event);
    followWindowPlace(event);
    if (!Allarme->isActive())
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

void TNoteForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (carriesFiles(event->mimeData()))
        event->acceptProposedAction();
}

void TNoteForm::dragMoveEvent(QDragMoveEvent *event)
{
    if (carriesFiles(event->mimeData()))
        event->acceptProposedAction();
}

void TNoteForm::dropEvent(QDropEvent *event)
{
    if (!carriesFiles(event->mimeData()))
        return;
    event->acceptProposedAction();
    JvDragFileGetDrop(droppedPaths(event->mimeData()));
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
