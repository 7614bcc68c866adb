#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/MainFormUnit.h"
#include "app/RegistryUnit.h"
#include "dialogs/dlgAboutBrisquel.h"
#include "dialogs/frmNotesManagerForm.h"
#include "platform/DateTime.h"
#include "platform/RegistryStore.h"
#include "tests/support/Actions.h"
#include "todolist/TaskListView.h"
#include "todolist/ToDoListEngine.h"
#include "todolist/ToDoListFormUnit.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

// The tray main form as the user reaches it: through its menu and the tray
// icon's clicks. The offscreen platform has no tray, so the form stands in
// for it and the icon's clicks are sent as the tray would send them.
class TestMainForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuItems();
    void placeNoticeOnlyOnce();
    void shellHeldByNotesManager();
    void timerWaitsForStart();
    void exitKeepsToDoChanges();

private:
    // Opens the tray menu, as a right click does, and closes it again.
    void openMenu();
    void doubleClickTray();
    int noteCount() const { return NoteEngine->Manager->Notes.Count(); }

    QTemporaryDir *m_dir = nullptr;
    TBrisquelMainForm *m_form = nullptr;
};

void TestMainForm::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestMainForm::init()
{
    m_dir = new QTemporaryDir();
    QVERIFY(m_dir->isValid());
    QFile::remove(TRegistry::storeFileName());
    setProgramFolder(m_dir->path());
    Settings.NoteAnimations = false;
    setPromptHook([](const PromptRequest &request) { return PromptReply{true, request.defaultText}; });
    Starting = true;
    m_form = new TBrisquelMainForm();
    BrisquelMainForm = m_form;
}

void TestMainForm::cleanup()
{
    if (NotesManagerForm)
        NotesManagerForm->close();
    ReleaseEngine(false);
    delete m_form;
    QTest::qWait(10);
    setPromptHook({});
    Clock::useSystemTime();
    delete m_dir;
}

void TestMainForm::openMenu()
{
    m_form->TrayMenu->popup(QPoint(0, 0));
    m_form->TrayMenu->hide();
}

void TestMainForm::doubleClickTray()
{
    emit m_form->TrayIcon->activated(QSystemTrayIcon::DoubleClick);
}

void TestMainForm::placeNoticeOnlyOnce()
{
    QList<PromptRequest> prompts;
    setPromptHook([&](const PromptRequest &request) {
        prompts.append(request);
        return PromptReply{true, {}};
    });
    // Every call reads the store afresh, as the next start would.
    TellPlacesNotRestoredOnce();
    TellPlacesNotRestoredOnce();
    QCOMPARE(prompts.size(), 1);
    QCOMPARE(prompts.first().kind, PromptKind::Information);
    QVERIFY(PlaceNoticeShown());
}

void TestMainForm::menuItems()
{
    QVERIFY(NoteEngine && !Starting);
    QCOMPARE(actionCaptions(m_form->TrayMenu->actions()),
             QStringList({"新建便笺(&N)", "-", "显示便笺管理", "-", "我的 TODO 列表(&T)", "-", "设置(&S)", "-",
                          "关于 Brisquel(&A)", "-", "退出(&E)"}));
    openMenu();
    QVERIFY(m_form->Setup1->isEnabled());
    QVERIFY(m_form->Exit1->isEnabled());
    TRIGGER_ACTION(m_form->TrayMenu, "新建便笺");
    doubleClickTray();
    QCOMPARE(noteCount(), 2);
}

// While the notes manager is open, the about box coming and going does not
// give the shell back.
void TestMainForm::shellHeldByNotesManager()
{
    TRIGGER_ACTION(m_form->TrayMenu, "显示便笺管理");
    QVERIFY(NotesManagerForm);
    QTimer::singleShot(0, [] {
        auto *about = qobject_cast<TAboutBrisquel *>(QApplication::activeModalWidget());
        QVERIFY(about);
        about->close();
    });
    TRIGGER_ACTION(m_form->TrayMenu, "关于 Brisquel");
    openMenu();
    QVERIFY(!m_form->Setup1->isEnabled());
    QVERIFY(!m_form->Exit1->isEnabled());
    doubleClickTray();
    QCOMPARE(noteCount(), 0);
    // The menu's own command creates a note whatever the shell says.
    TRIGGER_ACTION(m_form->TrayMenu, "新建便笺");
    QCOMPARE(NotesManagerForm->NotesListView->topLevelItemCount(), 1);

    NotesManagerForm->close();
    openMenu();
    QVERIFY(m_form->Setup1->isEnabled());
    QVERIFY(m_form->Exit1->isEnabled());
    doubleClickTray();
    QCOMPARE(noteCount(), 2);
}

void TestMainForm::timerWaitsForStart()
{
    TNoteWrapper *note = NoteEngine->Manager->NewNote();
    note->HideUntil(Now() + 1.0);
    QVERIFY(!note->IsShown());
    Clock::setNow(QDateTime::currentDateTime().addDays(2));

    Starting = true;
    QSignalSpy ticks(m_form->NoteSystemTimer, &QTimer::timeout);
    QVERIFY(ticks.wait(5000));
    QVERIFY(!note->IsShown());

    Starting = false;
    QVERIFY(ticks.wait(5000));
    QVERIFY(note->IsShown());
}

// A change the to-do window has not written yet (a priority) is written when
// the program ends with the window still open.
void TestMainForm::exitKeepsToDoChanges()
{
    const QString work = ProjectFilePath(QStringLiteral("Work"));
    SaveProject(work, {TodoTask{QStringLiteral("call"), false, 5}});
    TRIGGER_ACTION(m_form->TrayMenu, "我的 TODO 列表");
    QVERIFY(ToDoListForm);
    ToDoListForm->ToDoList->setCurrentItem(ToDoListForm->ToDoList->topLevelItem(0));
    TRIGGER_ACTION(ToDoListForm, "优先权 1");

    openMenu();
    TRIGGER_ACTION(m_form->TrayMenu, "退出");
    QList<TodoTask> stored;
    QString reason;
    QVERIFY(LoadProject(work, stored, reason));
    QCOMPARE(stored, (QList<TodoTask>{TodoTask{QStringLiteral("call"), false, 1}}));
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
