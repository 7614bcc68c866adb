#include "app/MainFormUnit.h"

#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcsGui.h"
#include "app/RegistryUnit.h"
#include "dialogs/dlgAboutBrisquel.h"
#include "dialogs/dlgClosingBrisquel.h"
#include "dialogs/frmSplashForm.h"
#include "notewindow/NotePrinting.h"
#include "platform/DisplayPlatform.h"
#include "resources/BrisquelResources.h"
#include "todolist/ToDoListFormUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QPushButton>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <exception>

TBrisquelMainForm *BrisquelMainForm = nullptr;

namespace {

constexpr int kTimerInterval = 1000;
constexpr int kClosingNoticeMs = 800;

// The window the user worked in last, brought forward by a tray click.
QPointer<QWidget> &lastActiveWindow()
{
    static QPointer<QWidget> window;
    return window;
}

} // namespace

TBrisquelMainForm::TBrisquelMainForm()
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool)
    , TrayMenu(new QMenu(this))
    , TrayIcon(new QSystemTrayIcon(this))
    , NoteSystemTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("BrisquelMainForm"));
    setWindowTitle(QStringLiteral("Brisquel 2.0"));
    resize(175, 37);
    QFont simsun(QStringLiteral("SimSun"));
    simsun.setPointSize(9);
    setFont(simsun);
    NoteSystemTimer->setInterval(kTimerInterval);
    connect(NoteSystemTimer, &QTimer::timeout, this, &TBrisquelMainForm::NoteSystemTimerTimer);
    buildTrayMenu();
    TrayIcon->setContextMenu(TrayMenu);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            TrayIconClick();
        else if (reason == QSystemTrayIcon::DoubleClick)
            TrayIconDblClick();
    });
    FormCreate();
}

TBrisquelMainForm::~TBrisquelMainForm()
{
    if (BrisquelMainForm == this)
        BrisquelMainForm = nullptr;
}

QPrinter *TBrisquelMainForm::PrintDialog()
{
    if (!m_printDialog)
        m_printDialog = NewPrinter();
    return m_printDialog.get();
}

void TBrisquelMainForm::buildTrayMenu()
{
    NewNote1 = TrayMenu->addAction(QStringLiteral("新建便笺(&N)"), this, &TBrisquelMainForm::NewNote1Click);
    TrayMenu->addSeparator()->setEnabled(false);
    ShowNotesManager1 = TrayMenu->addAction(QStringLiteral("显示便笺管理"), this,
                                            &TBrisquelMainForm::ShowNotesManager1Click);
    TrayMenu->addSeparator();
    MyTODOList1 = TrayMenu->addAction(QStringLiteral("我的 TODO 列表(&T)"), this, &TBrisquelMainForm::MyTODOList1Click);
    TrayMenu->addSeparator();
    Setup1 = TrayMenu->addAction(QStringLiteral("设置(&S)"), this, &TBrisquelMainForm::Setup1Click);
    TrayMenu->addSeparator();
    About1 = TrayMenu->addAction(QStringLiteral("关于 Brisquel(&A)"), this, &TBrisquelMainForm::About1Click);
    TrayMenu->addSeparator();
    Exit1 = TrayMenu->addAction(QStringLiteral("退出(&E)"), this, &TBrisquelMainForm::Exit1Click);
    const QList<QPair<QAction *, int>> images = {{NewNote1, 0}, {ShowNotesManager1, 9}, {MyTODOList1, 4},
                                                 {Setup1, 8},   {About1, 3},            {Exit1, 1}};
    for (const auto &[action, image] : images)
        action->setIcon(TrayMenuIcon(image));
    connect(TrayMenu, &QMenu::aboutToShow, this, &TBrisquelMainForm::TrayMenuPopup);
}

void TBrisquelMainForm::FormCreate()
{
    setVisible(false);
    move(x(), -100);
    m_noTray = !QSystemTrayIcon::isSystemTrayAvailable();
    if (!m_noTray)
        setMainFormWindow(this);
    HideAppWindows();
    setWindowTitle(QStringLiteral("Brisquel"));
    TrayIcon->setToolTip(QStringLiteral("Brisquel"));
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state != Qt::ApplicationActive)
            AppDeactivate();
    });
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { LogOffQuery(); });
    connect(qApp, &QApplication::focusChanged, this, [](QWidget *, QWidget *now) {
        if (now && now->window() != BrisquelMainForm)
            lastActiveWindow() = now->window();
    });
    TrayIcon->setIcon(MainIcon());
    setWindowIcon(MainIcon());
    CreateNoteEngine();
    NoteEngine->RefreshNotesManager();
    NoteSystemTimer->start();
    ReleaseSplash();
    Starting = false;
    // From the message loop: the notes are open and a shutdown can end the box.
    if (!DisplayPlatform::knowsWindowPlaces())
        QTimer::singleShot(0, this, &TellPlacesNotRestoredOnce);
    if (m_noTray)
        showWithoutTray();
    else
        TrayIcon->show();
}

void TBrisquelMainForm::showWithoutTray()
{
    // Without a tray the form itself carries the menu, and says once why.
    setWindowFlags(Qt::Window | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    auto *layout = new QVBoxLayout(this);
    auto *notice = new QLabel(QStringLiteral("桌面没有系统托盘, Brisquel 的菜单在这里."), this);
    notice->setWordWrap(true);
    layout->addWidget(notice);
    auto *menuButton = new QPushButton(QStringLiteral("菜单"), this);
    menuButton->setMenu(TrayMenu);
    layout->addWidget(menuButton);
    move(0, 0);
    show();
}

void TBrisquelMainForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (NoteSystemTimer->isActive() && !m_noTray)
        HideAppWindows();
}

void TBrisquelMainForm::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!m_noTray)
        HideAppWindows();
}

void TBrisquelMainForm::closeEvent(QCloseEvent *event)
{
    // Closing the stand-in window of a desktop without a tray only hides it
    // from the screen; the program ends through "退出(&E)".
    event->ignore();
    if (m_noTray)
        showMinimized();
}

void TBrisquelMainForm::TrayIconClick()
{
    if (!NoteSystemTimer->isActive())
        return;
    HideAppWindows();
    if (QWidget *window = lastActiveWindow()) {
        window->raise();
        window->activateWindow();
    }
}

void TBrisquelMainForm::TrayIconDblClick()
{
    if (NoteEngine && ShellReady)
        NoteEngine->Manager->NewNote();
}

void TBrisquelMainForm::TrayMenuPopup()
{
    Setup1->setEnabled(ShellReady);
    Exit1->setEnabled(ShellReady);
}

void TBrisquelMainForm::NewNote1Click()
{
    if (NoteEngine)
        NoteEngine->Manager->NewNote();
}

void TBrisquelMainForm::ShowNotesManager1Click()
{
    if (NoteEngine)
        NoteEngine->ShowNotesManager();
}

void TBrisquelMainForm::MyTODOList1Click()
{
    ShowTodoWindow(this);
}

void TBrisquelMainForm::Setup1Click()
{
    if (NoteEngine)
        NoteEngine->Configure();
}

void TBrisquelMainForm::About1Click()
{
    const ShellReadyGuard aboutOpen;
    TAboutBrisquel about;
    about.exec();
}

void TBrisquelMainForm::Exit1Click()
{
    ReleaseEngine(false);
    // exit(), not quit(): quit() first asks every window to close, and the
    // hidden main form never agrees.
    QCoreApplication::exit(0);
}

void TBrisquelMainForm::NoteSystemTimerTimer()
{
    if (Starting)
        return;
    if (ToDoListForm)
        ToDoListForm->CheckProjectFiles();
    if (NoteEngine) {
        NoteEngine->Manager->CheckTimers();
        if (!m_noTray)
            HideAppWindows();
    }
}

void TBrisquelMainForm::AppDeactivate()
{
    if (NoteSystemTimer->isActive() && NoteEngine)
        NoteEngine->Manager->RestoreTopmost();
}

int TBrisquelMainForm::TerminateMessage()
{
    auto *notice = new TClosingBrisquelDLG();
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->show();
    notice->repaint();
    QCoreApplication::processEvents();
    QThread::msleep(kClosingNoticeMs);
    ShutdownApplication();
    return 1;
}

int TBrisquelMainForm::LogOffQuery()
{
    ShutdownApplication();
    return 1;
}

void ReleaseEngine(bool terminate)
{
    if (!NoteEngine)
        return;
    if (BrisquelMainForm) {
        BrisquelMainForm->NoteSystemTimer->stop();
        BrisquelMainForm->TrayIcon->hide();
    }
    // The to-do window goes with the main form without being closed, so its
    // unsaved changes are written here; a failure must not keep the notes
    // from being saved, and is reported after them.
    QString todoError;
    if (ToDoListForm) {
        try {
            ToDoListForm->SaveChangedProject();
        } catch (const std::exception &error) {
            todoError = QString::fromUtf8(error.what());
        }
    }
    DestroyNoteEngine();
    if (!todoError.isEmpty())
        ShowErrorBox(todoError);
    if (terminate && BrisquelMainForm) {
        // Its owner destroys it once the message loop has ended: a dialog of
        // its own may still be running a loop of its own now.
        BrisquelMainForm->hide();
        BrisquelMainForm = nullptr;
        QCoreApplication::exit(0);
    }
}

void TellPlacesNotRestoredOnce()
{
    if (PlaceNoticeShown())
        return;
    // Remembered first: a shutdown may close the box before it is answered.
    RememberPlaceNoticeShown();
    ShowInformation(QStringLiteral("这个桌面不让 Brisquel 把便笺放回保存的位置, 便笺将由桌面摆放.\n"
                                   "便笺的位置仍然保存在便笺中, 在别的桌面上会恢复."));
}

void ShutdownApplication()
{
    if (ShuttingDown)
        return;
    ShuttingDown = true;
    ReleaseEngine(true);
}
