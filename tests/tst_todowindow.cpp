#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "platform/BrisquelError.h"
#include "platform/RegistryStore.h"
#include "tests/support/Actions.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/PdfText.h"
#include "todolist/ProfileFile.h"
#include "todolist/TaskListView.h"
#include "todolist/ToDoListEngine.h"
#include "todolist/ToDoListFormUnit.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

namespace {

const QString kPlacementKey = QStringLiteral("\\SOFTWARE\\Orvanta\\Brisquel\\TODOWin");

TodoTask task(const QString &title, bool checked, qint32 priority)
{
    return TodoTask{title, checked, priority};
}

void writeProject(const QString &name, const QList<TodoTask> &tasks)
{
    SaveProject(ProjectFilePath(name), tasks);
}

QByteArray projectBytes(const QString &name)
{
    return fileBytes(ProjectFilePath(name));
}

void writePlainProject(const QString &name, const QByteArray &bytes)
{
    QVERIFY(writeFileBytes(ProjectFilePath(name), bytes));
}

QList<TodoTask> readProject(const QString &name)
{
    QList<TodoTask> tasks;
    QString reason;
    if (!LoadProject(ProjectFilePath(name), tasks, reason))
        qWarning("%s", qPrintable(reason));
    return tasks;
}

// A word of the printed page as pdftotext places it, in points.
struct PdfWord
{
    QString text;
    double xMin;
    double yMin;
    double yMax;
};

QList<PdfWord> pdfWords(const QString &pdf)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    process.waitForFinished(-1);
    const QString html = QString::fromUtf8(process.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<PdfWord> words;
    for (const QRegularExpressionMatch &match : word.globalMatch(html)) {
        words.append(PdfWord{match.captured(4), match.captured(1).toDouble(), match.captured(2).toDouble(),
                             match.captured(3).toDouble()});
    }
    return words;
}

// A part of the first page, rendered at 144 dots per inch; the rectangle is
// in points.
QImage pdfArea(const QString &pdf, const QRectF &points)
{
    const double scale = 2.0;
    const QString prefix = QFileInfo(pdf).absolutePath() + QStringLiteral("/area");
    QProcess process;
    process.start(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QStringLiteral("144"), QStringLiteral("-f"), QStringLiteral("1"),
                   QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"), QStringLiteral("-png"),
                   QStringLiteral("-x"), QString::number(qRound(points.x() * scale)), QStringLiteral("-y"),
                   QString::number(qRound(points.y() * scale)), QStringLiteral("-W"),
                   QString::number(qRound(points.width() * scale)), QStringLiteral("-H"),
                   QString::number(qRound(points.height() * scale)), pdf, prefix});
    process.waitForFinished(-1);
    return QImage(prefix + QStringLiteral(".png"));
}

int nonWhitePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).lightness() < 235)
                ++count;
        }
    }
    return count;
}

// The visible in-place editor of the task list, or nullptr.
QLineEdit *openEditor(const TaskListView *list)
{
    for (QLineEdit *editor : list->viewport()->findChildren<QLineEdit *>()) {
        if (editor->isVisible())
            return editor;
    }
    return nullptr;
}

bool havePoppler()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty();
}

} // namespace

class TestTodoWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowParts();
    void enablingWithoutProjects();
    void enablingFollowsSelection();
    void newProject_data();
    void newProject();
    void deleteProject();
    void renameProject();
    void selectProjectByName();
    void newProjectShownBeforeCaseTwin();
    void reopeningShowsFirstProject();
    void loadErrorIsShown();

    void newTask();
    void newTaskCancelledStillSaves();
    void editTask();
    void removeTask();
    void removeCompletedTasks();
    void priorityChange();
    void checkMarks();
    void inPlaceEditTakenAsTyped();
    void changesSavedOnSwitchAndClose();
    void unstorableTitleIsKept();
    void saveFailureReachesCaller();
    void projectsChangedElsewhere();

    void placementIsRemembered();
    void brokenPlacementStillOpens();

    void printsHeaderAndRows();
    void longPrintoutContinues();
    void printingWithoutProject();

private:
    TToDOListForm *openWindow();
    void answer(bool accepted, const QString &text = QString());
    QStringList titles() const;
    void clickRow(int row);
    void clickBlank();
    void selectRow(int row);

    QTemporaryDir *m_dir = nullptr;
    QList<PromptRequest> m_prompts;
    QList<PromptReply> m_replies;
};

void TestTodoWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestTodoWindow::init()
{
    m_dir = new QTemporaryDir();
    QVERIFY(m_dir->isValid());
    setProgramFolder(m_dir->path());
    InitUserFolder();
    QFile::remove(TRegistry::storeFileName());
    m_prompts.clear();
    m_replies.clear();
    setPromptHook([this](const PromptRequest &request) {
        m_prompts.append(request);
        if (request.kind != PromptKind::Confirmation && request.kind != PromptKind::Input)
            return PromptReply{true, QString()};
        if (m_replies.isEmpty()) {
            qWarning("unexpected prompt: %s", qPrintable(request.text));
            return PromptReply{false, request.defaultText};
        }
        return m_replies.takeFirst();
    });
}

void TestTodoWindow::cleanup()
{
    delete ToDoListForm;
    QVERIFY(ToDoListForm == nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    setPromptHook({});
    QVERIFY2(m_replies.isEmpty(), "a prepared answer was not asked for");
    delete m_dir;
    m_dir = nullptr;
}

TToDOListForm *TestTodoWindow::openWindow()
{
    ShowTodoWindow(nullptr);
    return ToDoListForm;
}

void TestTodoWindow::answer(bool accepted, const QString &text)
{
    m_replies.append(PromptReply{accepted, text});
}

QStringList TestTodoWindow::titles() const
{
    QStringList result;
    for (const TodoTask &t : ToDoListForm->ToDoList->tasks())
        result.append(t.Title);
    return result;
}

void TestTodoWindow::clickRow(int row)
{
    TaskListView *list = ToDoListForm->ToDoList;
    const QRect rect = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(rect.right() - 4, rect.center().y()));
}

void TestTodoWindow::clickBlank()
{
    TaskListView *list = ToDoListForm->ToDoList;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(list->viewport()->width() / 2, list->viewport()->height() - 3));
}

void TestTodoWindow::selectRow(int row)
{
    ToDoListForm->ToDoList->setCurrentItem(ToDoListForm->ToDoList->topLevelItem(row));
}

void TestTodoWindow::windowParts()
{
    TToDOListForm *form = openWindow();
    QVERIFY(form && form->isVisible());
    QCOMPARE(form->windowTitle(), QStringLiteral("我的TODO列表"));
    QCOMPARE(form->size(), QSize(330, 298));
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(form->pos(), QPoint((screen.width() - 330) / 2, (screen.height() - 298) / 2));

    QCOMPARE(form->ProjectMenuDropdown->text(), QStringLiteral("菜单"));
    QCOMPARE(form->ProjectMenuDropdown->menu(), form->TodoOptionsMenu);
    QCOMPARE(actionCaptions(form->TodoOptionsMenu->actions()),
             (QStringList{"新建方案", "-", "删除当前方案", "重命名当前方案", "-", "打印当前方案", "-",
                          "关闭 TODO 列表"}));
    QCOMPARE(actionCaptions(form->PriorityPopUP->actions()),
             (QStringList{"临界优先权", "优先权 1", "优先权 2", "优先权 3", "优先权 4", "优先权 5", "优先权 6",
                          "优先权 7", "优先权 8", "低优先权 "}));
    for (int i = 0; i < 10; ++i) {
        QCOMPARE(form->PriorityActions.at(i)->data().toInt(), i);
        QVERIFY(!form->PriorityActions.at(i)->icon().pixmap(16, 16).isNull());
    }
    QStringList hints;
    for (const QAction *action : form->TaskToolBar->actions()) {
        hints.append(action->toolTip());
        QVERIFY(!action->icon().isNull());
    }
    QCOMPARE(hints, (QStringList{"新建任务", "删除任务", "编辑所选的任务", "删除任务"}));
    QCOMPARE(form->EditTask->text(), QStringLiteral("编辑任务"));
    QCOMPARE(form->RemoveCTasks->text(), QStringLiteral("删除完成的任务"));
    QCOMPARE(form->TaskToolBar->width(), 27);

    QCOMPARE(form->ToDoList->headerItem()->text(0), QStringLiteral("标题"));
    QVERIFY(!form->ToDoList->header()->sectionsClickable());
    QVERIFY(!form->ToDoList->isSortingEnabled());
    QVERIFY(!form->ProjectListCB->isEditable());

    // The menu button fills its 62-pixel area; the box sits one pixel down
    // across the rest of the bar.
    QCOMPARE(form->MenuArea->width(), 62);
    QCOMPARE(form->ProjectMenuDropdown->geometry().topLeft(), QPoint(0, 0));
    QCOMPARE(form->ProjectMenuDropdown->width(), 62);
    QCOMPARE(form->ProjectListCB->geometry().topLeft(), QPoint(0, 1));
    QCOMPARE(form->ProjectListCB->width(), form->width() - 62);
    form->resize(500, 300);
    QCOMPARE(form->ProjectListCB->width(), 500 - 62);
}

void TestTodoWindow::enablingWithoutProjects()
{
    TToDOListForm *form = openWindow();
    QCOMPARE(form->ProjectListCB->count(), 0);
    QCOMPARE(form->ToDoList->topLevelItemCount(), 0);
    for (const QAction *action : {form->NewTask, form->EditTask, form->RemoveTask, form->DeleteProject,
                                  form->RenameProject, form->PrintProject})
        QVERIFY2(!action->isEnabled(), qPrintable(action->toolTip()));
    for (const QAction *action : {form->NewProject, form->RemoveCTasks, form->CloseTODO})
        QVERIFY2(action->isEnabled(), qPrintable(action->text()));
    for (const QAction *action : form->PriorityActions)
        QVERIFY(!action->isEnabled());

    // Called anyway, the task commands say what is missing.
    form->NewTaskExecute();
    form->EditTaskExecute();
    QCOMPARE(m_prompts.size(), 2);
    QCOMPARE(m_prompts.at(0).kind, PromptKind::Error);
    QCOMPARE(m_prompts.at(0).caption, QStringLiteral("错误"));
    QCOMPARE(m_prompts.at(0).text, QStringLiteral("No Project Selected"));
    QCOMPARE(m_prompts.at(1).text, QStringLiteral("No Project Selected"));
}

void TestTodoWindow::enablingFollowsSelection()
{
    writeProject(QStringLiteral("Work"), {task("a", false, 1), task("b", false, 1)});
    TToDOListForm *form = openWindow();
    QCOMPARE(form->SelectedProject(), QStringLiteral("Work"));
    for (const QAction *action : {form->NewTask, form->EditTask, form->RemoveTask, form->DeleteProject,
                                  form->RenameProject, form->PrintProject})
        QVERIFY(action->isEnabled());
    QVERIFY(!form->PriorityActions.at(0)->isEnabled());
    selectRow(1);
    for (const QAction *action : form->PriorityActions)
        QVERIFY(action->isEnabled());
    form->ToDoList->clearSelection();
    QVERIFY(!form->PriorityActions.at(9)->isEnabled());
}

void TestTodoWindow::newProject_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QStringList>("projects");

    const QStringList before{"Alpha", "Zed"};
    QTest::newRow("created") << true << "  Plan 2.1  " << "" << "Plan 2.1" << QStringList{"Alpha", "Plan 2.1", "Zed"};
    QTest::newRow("exists") << true << "Zed" << "Project already existent" << "Zed" << before;
    QTest::newRow("cancelled") << false << "" << "" << "Alpha" << before;
    QTest::newRow("blank") << true << "   " << "" << "Alpha" << before;
    QTest::newRow("path") << true << "../escape" << "Error creating project" << "" << before;
    QTest::newRow("separator") << true << "a/b" << "Error creating project" << "" << before;
    QTest::newRow("dot") << true << "." << "Error creating project" << "" << before;
    QTest::newRow("dot dot") << true << ".." << "Error creating project" << "" << before;
}

void TestTodoWindow::newProject()
{
    QFETCH(bool, accepted);
    QFETCH(QString, typed);
    QFETCH(QString, error);
    QFETCH(QString, selected);
    QFETCH(QStringList, projects);

    writeProject(QStringLiteral("Alpha"), {task("first", false, 1)});
    writeProject(QStringLiteral("Zed"), {task("last", false, 1)});
    TToDOListForm *form = openWindow();
    const QByteArray zedBefore = projectBytes(QStringLiteral("Zed"));
    answer(accepted, typed);
    TRIGGER_ACTION(form, "新建方案");

    QCOMPARE(m_prompts.first().kind, PromptKind::Input);
    QCOMPARE(m_prompts.first().caption, QStringLiteral("新建方案"));
    QCOMPARE(m_prompts.first().text, QStringLiteral("方案名称?"));
    QCOMPARE(m_prompts.first().defaultText, QString());
    QCOMPARE(m_prompts.size(), error.isEmpty() ? 1 : 2);
    if (!error.isEmpty())
        QCOMPARE(m_prompts.at(1).text, error);

    QCOMPARE(form->SelectedProject(), selected);
    QCOMPARE(ListProjects(), projects);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QStringLiteral("Users")});
    QCOMPARE(QDir(UserFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(),
             projects.size());
    QCOMPARE(projectBytes(QStringLiteral("Zed")), zedBefore);
    if (QTest::currentDataTag() == QByteArrayLiteral("created")) {
        QCOMPARE(QFileInfo(ProjectFilePath(selected)).size(), 0);
        QCOMPARE(form->ToDoList->topLevelItemCount(), 0);
    }
}

void TestTodoWindow::deleteProject()
{
    writeProject(QStringLiteral("Alpha"), {task("first", false, 1)});
    writeProject(QStringLiteral("Beta"), {task("second", false, 1)});
    TToDOListForm *form = openWindow();
    form->SelectProject(QStringLiteral("Beta"));

    answer(false);
    TRIGGER_ACTION(form, "删除当前方案");
    QCOMPARE(m_prompts.last().kind, PromptKind::Confirmation);
    QCOMPARE(m_prompts.last().caption, QStringLiteral("确认"));
    QCOMPARE(m_prompts.last().text, QStringLiteral("你是否要删除: Beta"));
    QVERIFY(QFile::exists(ProjectFilePath(QStringLiteral("Beta"))));
    QCOMPARE(form->SelectedProject(), QStringLiteral("Beta"));

    answer(true);
    TRIGGER_ACTION(form, "删除当前方案");
    QVERIFY(!QFile::exists(ProjectFilePath(QStringLiteral("Beta"))));
    QCOMPARE(form->SelectedProject(), QStringLiteral("Alpha"));
    QCOMPARE(titles(), QStringList{QStringLiteral("first")});

    answer(true);
    TRIGGER_ACTION(form, "删除当前方案");
    QCOMPARE(form->ProjectListCB->count(), 0);
    QCOMPARE(form->ToDoList->topLevelItemCount(), 0);
    QVERIFY(!form->DeleteProject->isEnabled());
    QVERIFY(!form->NewTask->isEnabled());
}

void TestTodoWindow::renameProject()
{
    writeProject(QStringLiteral("Alpha"), {task("first", false, 1)});
    writeProject(QStringLiteral("Beta"), {task("second", false, 1)});
    const QByteArray alpha = projectBytes(QStringLiteral("Alpha"));
    TToDOListForm *form = openWindow();

    answer(true, QStringLiteral(" Gamma "));
    TRIGGER_ACTION(form, "重命名当前方案");
    QCOMPARE(m_prompts.last().caption, QStringLiteral("新的名称"));
    QCOMPARE(m_prompts.last().text, QStringLiteral("新方案的名称?"));
    QCOMPARE(ListProjects(), (QStringList{"Beta", "Gamma"}));
    QCOMPARE(projectBytes(QStringLiteral("Gamma")), alpha);
    QCOMPARE(form->SelectedProject(), QStringLiteral("Gamma"));
    QCOMPARE(titles(), QStringList{QStringLiteral("first")});

    // Onto an existing project: refused, and that project is shown.
    answer(true, QStringLiteral("Beta"));
    TRIGGER_ACTION(form, "重命名当前方案");
    QCOMPARE(m_prompts.last().text, QStringLiteral("Project already existent"));
    QCOMPARE(ListProjects(), (QStringList{"Beta", "Gamma"}));
    QCOMPARE(form->SelectedProject(), QStringLiteral("Beta"));

    form->SelectProject(QStringLiteral("Gamma"));
    answer(true, QStringLiteral("x/y"));
    TRIGGER_ACTION(form, "重命名当前方案");
    QCOMPARE(m_prompts.last().text, QStringLiteral("Error creating project"));
    QCOMPARE(ListProjects(), (QStringList{"Beta", "Gamma"}));

    form->SelectProject(QStringLiteral("Gamma"));
    answer(false);
    TRIGGER_ACTION(form, "重命名当前方案");
    QCOMPARE(ListProjects(), (QStringList{"Beta", "Gamma"}));
    QCOMPARE(form->SelectedProject(), QStringLiteral("Beta"));
}

void TestTodoWindow::selectProjectByName()
{
    writeProject(QStringLiteral("Plan"), {task("p", false, 1)});
    writeProject(QStringLiteral("Other"), {task("o", false, 1)});
    TToDOListForm *form = openWindow();
    QCOMPARE(form->SelectedProject(), QStringLiteral("Other"));
    form->SelectProject(QStringLiteral("pLAN"));
    QCOMPARE(form->SelectedProject(), QStringLiteral("Plan"));
    QCOMPARE(titles(), QStringList{QStringLiteral("p")});
    form->SelectProject(QStringLiteral("Missing"));
    QCOMPARE(form->SelectedProject(), QStringLiteral("Plan"));
    form->RefillProjects();
    form->SelectProject(QStringLiteral("Missing"));
    QVERIFY(!form->HasProject());
    QCOMPARE(form->ToDoList->topLevelItemCount(), 0);
}

void TestTodoWindow::newProjectShownBeforeCaseTwin()
{
    writeProject(QStringLiteral("plan"), {task("p", false, 1)});
    TToDOListForm *form = openWindow();
    answer(true, QStringLiteral("Plan"));
    TRIGGER_ACTION(form, "新建方案");
    QCOMPARE(form->ProjectListCB->count(), 2);
    QCOMPARE(form->SelectedProject(), QStringLiteral("Plan"));
    QCOMPARE(form->ToDoList->topLevelItemCount(), 0);
}

void TestTodoWindow::reopeningShowsFirstProject()
{
    writeProject(QStringLiteral("A"), {task("a", false, 1)});
    writeProject(QStringLiteral("B"), {task("b", false, 1)});
    TToDOListForm *form = openWindow();
    form->SelectProject(QStringLiteral("B"));
    writeProject(QStringLiteral("0 new"), {});
    QCOMPARE(openWindow(), form);
    QCOMPARE(form->ProjectListCB->count(), 3);
    QCOMPARE(form->SelectedProject(), QStringLiteral("0 new"));
}

void TestTodoWindow::loadErrorIsShown()
{
    writeProject(QStringLiteral("A"), {task("a", false, 1)});
    writeProject(QStringLiteral("B"), {task("b", false, 1)});
    TToDOListForm *form = openWindow();
    QVERIFY(QFile::remove(ProjectFilePath(QStringLiteral("B"))));
    form->ProjectListCB->setCurrentIndex(1);
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.first().kind, PromptKind::Error);
    QVERIFY2(m_prompts.first().text.startsWith(QStringLiteral("Error loading project\n\r")),
             qPrintable(m_prompts.first().text));
    QVERIFY(m_prompts.first().text.size() > QStringLiteral("Error loading project\n\r").size());
    QCOMPARE(form->ToDoList->topLevelItemCount(), 0);
}

void TestTodoWindow::newTask()
{
    writeProject(QStringLiteral("Work"), {task("crit", false, 0), task("alpha", false, 1), task("zulu", false, 1)});
    TToDOListForm *form = openWindow();
    answer(true, QStringLiteral("  mike  "));
    TRIGGER_ACTION(form, "新建任务");
    QCOMPARE(m_prompts.last().caption, QStringLiteral("新建任务"));
    QCOMPARE(m_prompts.last().text, QStringLiteral("任务文本?"));
    QCOMPARE(m_prompts.last().defaultText, QString());

    QCOMPARE(titles(), (QStringList{"crit", "alpha", "mike", "zulu"}));
    QCOMPARE(form->ToDoList->tasks().at(2), task(QStringLiteral("mike"), false, 1));
    // Written before the sort: the new task stands last in the file, and
    // reading the file gives the sorted order again.
    const ProfileReader file(QString::fromLatin1(projectBytes(QStringLiteral("Work"))));
    QCOMPARE(file.readString(QStringLiteral("item3"), QStringLiteral("Title"), {}), QStringLiteral("mike"));
    QCOMPARE(readProject(QStringLiteral("Work")), form->ToDoList->tasks());
}

void TestTodoWindow::newTaskCancelledStillSaves()
{
    writePlainProject(QStringLiteral("Old"), QByteArray("1Buy milk\r\n0Call\r\n"));
    TToDOListForm *form = openWindow();
    QCOMPARE(form->ToDoList->tasks().first(), task(QStringLiteral("Buy milk"), true, -1));
    QVERIFY(form->ToDoList->taskAt(0)->icon(0).pixmap(16, 16).toImage().pixelColor(8, 8).alpha() == 0);
    answer(false);
    TRIGGER_ACTION(form, "新建任务");
    QCOMPARE(form->ToDoList->topLevelItemCount(), 2);
    QVERIFY(projectBytes(QStringLiteral("Old")).startsWith("[main]\r\nfileinfo=1\r\n"));
    const QList<TodoTask> expected{task(QStringLiteral("Buy milk"), true, 9), task(QStringLiteral("Call"), false, 9)};
    QCOMPARE(readProject(QStringLiteral("Old")), expected);
}

void TestTodoWindow::editTask()
{
    writeProject(QStringLiteral("Work"), {task("alpha", false, 1), task("beta", false, 1)});
    TToDOListForm *form = openWindow();
    TRIGGER_ACTION(form, "编辑任务");
    QCOMPARE(m_prompts.last().text, QStringLiteral("No Task Selected"));

    selectRow(1);
    answer(true, QStringLiteral("  bravo "));
    TRIGGER_ACTION(form, "编辑任务");
    QCOMPARE(m_prompts.last().caption, QStringLiteral("编辑任务"));
    QCOMPARE(m_prompts.last().defaultText, QStringLiteral("beta"));
    QCOMPARE(titles(), (QStringList{"alpha", "bravo"}));
    QCOMPARE(readProject(QStringLiteral("Work")), form->ToDoList->tasks());

    // An edit does not re-sort; the file keeps the shown order.
    selectRow(0);
    answer(true, QStringLiteral("zulu"));
    TRIGGER_ACTION(form, "编辑任务");
    QCOMPARE(titles(), (QStringList{"zulu", "bravo"}));
    const ProfileReader file(QString::fromLatin1(projectBytes(QStringLiteral("Work"))));
    QCOMPARE(file.readString(QStringLiteral("item0"), QStringLiteral("Title"), {}), QStringLiteral("zulu"));

    // Only blanks: nothing changes and nothing is written.
    QVERIFY(QFile::remove(ProjectFilePath(QStringLiteral("Work"))));
    answer(true, QStringLiteral("   "));
    TRIGGER_ACTION(form, "编辑任务");
    QCOMPARE(titles(), (QStringList{"zulu", "bravo"}));
    QVERIFY(!QFile::exists(ProjectFilePath(QStringLiteral("Work"))));

    // Cancelling returns the trimmed title, which is stored.
    form->ToDoList->taskAt(1)->setText(0, QStringLiteral("  padded  "));
    selectRow(1);
    answer(false);
    TRIGGER_ACTION(form, "编辑任务");
    QCOMPARE(m_prompts.last().defaultText, QStringLiteral("padded"));
    QCOMPARE(titles(), (QStringList{"zulu", "padded"}));
    QVERIFY(projectBytes(QStringLiteral("Work")).contains("Title=padded\r\n"));
}

void TestTodoWindow::removeTask()
{
    writePlainProject(QStringLiteral("Old"), QByteArray("0alpha\r\n0beta\r\n"));
    TToDOListForm *form = openWindow();

    TRIGGER_ACTION(form, "删除任务");
    QCOMPARE(m_prompts.last().kind, PromptKind::Plain);
    QCOMPARE(m_prompts.last().text, QStringLiteral("未选择项目"));
    // Written all the same.
    QVERIFY(projectBytes(QStringLiteral("Old")).startsWith("[main]"));

    selectRow(0);
    QVERIFY(QFile::remove(ProjectFilePath(QStringLiteral("Old"))));
    answer(false);
    TRIGGER_ACTION(form, "删除任务");
    QCOMPARE(m_prompts.last().kind, PromptKind::Confirmation);
    QCOMPARE(m_prompts.last().text, QStringLiteral("你是否要删除: alpha"));
    QCOMPARE(titles(), (QStringList{"alpha", "beta"}));
    QCOMPARE(readProject(QStringLiteral("Old")).size(), 2);

    answer(true);
    TRIGGER_ACTION(form, "删除任务");
    QCOMPARE(titles(), QStringList{QStringLiteral("beta")});
    QCOMPARE(readProject(QStringLiteral("Old")), (QList<TodoTask>{task("beta", false, 9)}));
    QVERIFY(!form->PriorityActions.at(0)->isEnabled());
}

void TestTodoWindow::removeCompletedTasks()
{
    writeProject(QStringLiteral("Work"),
                 {task("a", true, 1), task("b", false, 1), task("c", true, 1), task("d", true, 1)});
    const QByteArray before = projectBytes(QStringLiteral("Work"));
    TToDOListForm *form = openWindow();

    answer(false);
    TRIGGER_ACTION(form, "删除完成的任务");
    QCOMPARE(m_prompts.last().kind, PromptKind::Confirmation);
    QCOMPARE(m_prompts.last().text, QStringLiteral("你确定要删除所有已完成的任务吗? (不可撤销)"));
    QCOMPARE(form->ToDoList->topLevelItemCount(), 4);

    answer(true);
    TRIGGER_ACTION(form, "删除完成的任务");
    QCOMPARE(titles(), QStringList{QStringLiteral("b")});
    QCOMPARE(projectBytes(QStringLiteral("Work")), before);
    clickBlank();
    QCOMPARE(readProject(QStringLiteral("Work")), (QList<TodoTask>{task("b", false, 1)}));

    // With nothing done it still asks first.
    const qsizetype asked = m_prompts.size();
    answer(true);
    TRIGGER_ACTION(form, "删除完成的任务");
    QCOMPARE(m_prompts.size(), asked + 1);
    QCOMPARE(titles(), QStringList{QStringLiteral("b")});
}

void TestTodoWindow::priorityChange()
{
    writeProject(QStringLiteral("Work"), {task("a", false, 1), task("b", false, 2), task("c", false, 3)});
    const QByteArray before = projectBytes(QStringLiteral("Work"));
    TToDOListForm *form = openWindow();
    selectRow(2);
    TRIGGER_ACTION(form, "临界优先权");
    QCOMPARE(titles(), (QStringList{"c", "a", "b"}));
    QCOMPARE(form->ToDoList->selectedTask()->text(0), QStringLiteral("c"));
    QCOMPARE(form->ToDoList->selectedTask()->priority(), 0);
    QCOMPARE(projectBytes(QStringLiteral("Work")), before);

    TRIGGER_ACTION(form, "低优先权");
    QCOMPARE(titles(), (QStringList{"a", "b", "c"}));
    clickBlank();
    QCOMPARE(readProject(QStringLiteral("Work")),
             (QList<TodoTask>{task("a", false, 1), task("b", false, 2), task("c", false, 9)}));
}

void TestTodoWindow::checkMarks()
{
    writeProject(QStringLiteral("Work"), {task("a", false, 1), task("b", false, 1)});
    TToDOListForm *form = openWindow();
    TaskListView *list = form->ToDoList;

    // A click on the check box marks the task and writes the file.
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.rect = list->visualItemRect(list->topLevelItem(0));
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay
        | QStyleOptionViewItem::HasDecoration;
    option.decorationSize = list->iconSize();
    const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    QCOMPARE(list->taskAt(0)->checkState(0), Qt::Checked);
    QCOMPARE(readProject(QStringLiteral("Work")).at(0), task("a", true, 1));

    // The space bar marks too; the file follows at the next click.
    selectRow(1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(list->taskAt(1)->checkState(0), Qt::Checked);
    QCOMPARE(readProject(QStringLiteral("Work")).at(1), task("b", false, 1));
    clickRow(0);
    QCOMPARE(readProject(QStringLiteral("Work")).at(1), task("b", true, 1));
}

void TestTodoWindow::inPlaceEditTakenAsTyped()
{
    writeProject(QStringLiteral("Work"), {task("a", false, 1), task("b", false, 1)});
    const QByteArray before = projectBytes(QStringLiteral("Work"));
    TToDOListForm *form = openWindow();
    TaskListView *list = form->ToDoList;
    selectRow(0);
    list->editItem(list->topLevelItem(0), 0);
    auto *editor = list->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("  zz  "));
    QTest::keyClick(editor, Qt::Key_Return);
    // The list takes the text through a queued call.
    QCoreApplication::processEvents();
    QCOMPARE(titles(), (QStringList{"  zz  ", "b"}));
    QCOMPARE(projectBytes(QStringLiteral("Work")), before);
    clickBlank();
    QVERIFY(projectBytes(QStringLiteral("Work")).contains("[item0]\r\nTitle=  zz  \r\n"));
}

void TestTodoWindow::changesSavedOnSwitchAndClose()
{
    writeProject(QStringLiteral("A"), {task("a", false, 1), task("b", false, 2), task("c", true, 3)});
    writePlainProject(QStringLiteral("B"), QByteArray("0x\r\n"));
    TToDOListForm *form = openWindow();
    TaskListView *list = form->ToDoList;

    // A priority change is written before another project is shown.
    selectRow(1);
    TRIGGER_ACTION(form, "临界优先权");
    form->ProjectListCB->setCurrentIndex(1);
    QCOMPARE(readProject(QStringLiteral("A")),
             (QList<TodoTask>{task("b", false, 0), task("a", false, 1), task("c", true, 3)}));
    // An unchanged project is not rewritten.
    form->ProjectListCB->setCurrentIndex(0);
    QCOMPARE(projectBytes(QStringLiteral("B")), QByteArray("0x\r\n"));

    // A space-bar mark and removing the completed tasks are written on close.
    selectRow(0);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Space);
    answer(true);
    TRIGGER_ACTION(form, "删除完成的任务");
    TRIGGER_ACTION(form, "关闭 TODO 列表");
    QVERIFY(ToDoListForm == nullptr);
    QCOMPARE(readProject(QStringLiteral("A")), QList<TodoTask>{task("a", false, 1)});

    // So is a title edited in place; a deleted project stays deleted.
    form = openWindow();
    form->ToDoList->editItem(form->ToDoList->topLevelItem(0), 0);
    auto *editor = form->ToDoList->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("renamed"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    QVERIFY(form->close());
    QCOMPARE(readProject(QStringLiteral("A")), QList<TodoTask>{task("renamed", false, 1)});

    form = openWindow();
    selectRow(0);
    TRIGGER_ACTION(form, "优先权 4");
    answer(true);
    TRIGGER_ACTION(form, "删除当前方案");
    QVERIFY(!QFile::exists(ProjectFilePath(QStringLiteral("A"))));
    QCOMPARE(form->SelectedProject(), QStringLiteral("B"));
}

void TestTodoWindow::unstorableTitleIsKept()
{
    writeProject(QStringLiteral("Work"), {task("alpha", false, 1)});
    TToDOListForm *form = openWindow();

    // The user is told which characters cannot be stored and gets the typed
    // text back to change.
    answer(true, QStringLiteral("Buy \U0001F95B milk \u0105 \U0001F95B"));
    answer(true, QStringLiteral("Buy milk"));
    TRIGGER_ACTION(form, "新建任务");
    QCOMPARE(m_prompts.size(), 3);
    QCOMPARE(m_prompts.at(1).kind, PromptKind::Warning);
    QCOMPARE(m_prompts.at(1).text, QStringLiteral("任务文本中的这些字符不能保存: \U0001F95B \u0105"));
    QCOMPARE(m_prompts.at(2).caption, QStringLiteral("新建任务"));
    QCOMPARE(m_prompts.at(2).defaultText, QStringLiteral("Buy \U0001F95B milk \u0105 \U0001F95B"));
    QCOMPARE(readProject(QStringLiteral("Work")),
             (QList<TodoTask>{task("Buy milk", false, 1), task("alpha", false, 1)}));

    // Giving up changes nothing.
    selectRow(0);
    answer(true, QStringLiteral("a\U0001F95B"));
    answer(false);
    TRIGGER_ACTION(form, "编辑任务");
    QCOMPARE(m_prompts.last().defaultText, QStringLiteral("a\U0001F95B"));
    QCOMPARE(titles(), (QStringList{"Buy milk", "alpha"}));

    // In place, the title stays and the editor opens again with the text.
    const qsizetype asked = m_prompts.size();
    form->ToDoList->editItem(form->ToDoList->topLevelItem(0), 0);
    auto *editor = form->ToDoList->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("b\U0001F95B"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(m_prompts.size(), asked + 1, 5000);
    QCOMPARE(m_prompts.last().text, QStringLiteral("任务文本中的这些字符不能保存: \U0001F95B"));
    QCOMPARE(titles(), (QStringList{"Buy milk", "alpha"}));
    QTRY_VERIFY_WITH_TIMEOUT(openEditor(form->ToDoList), 5000);
    QCOMPARE(openEditor(form->ToDoList)->text(), QStringLiteral("b\U0001F95B"));
}

void TestTodoWindow::saveFailureReachesCaller()
{
    writeProject(QStringLiteral("Work"), {task("a", false, 1)});
    const QByteArray before = projectBytes(QStringLiteral("Work"));
    TToDOListForm *form = openWindow();
    for (int i = 0; i < 100; ++i)
        form->ToDoList->addTopLevelItem(new TaskItem(task(QStringLiteral("more %1").arg(i), false, 1)));
    QString message;
    {
        const FileSizeLimit limit(rlim_t(before.size()) + 16);
        try {
            form->TodolistClick();
        } catch (const BrisquelError &error) {
            message = error.message();
        }
    }
    QCOMPARE(message, QStringLiteral("Unable to write to %1").arg(ProjectFilePath(QStringLiteral("Work"))));
    QCOMPARE(projectBytes(QStringLiteral("Work")), before);

    // Unwritten changes keep their project on show and the window open.
    writeProject(QStringLiteral("Zed"), {});
    form->RefillProjects();
    {
        const FileSizeLimit limit(rlim_t(before.size()) + 16);
        QVERIFY_THROWS_EXCEPTION(BrisquelError, form->ProjectListCB->setCurrentIndex(1));
        QVERIFY_THROWS_EXCEPTION(BrisquelError, form->close());
    }
    QCOMPARE(form->SelectedProject(), QStringLiteral("Work"));
    QCOMPARE(form->ToDoList->topLevelItemCount(), 101);
    QVERIFY(ToDoListForm == form && form->isVisible());
}

void TestTodoWindow::projectsChangedElsewhere()
{
    // As a sync tool delivers a file: written under a name of its own, then
    // renamed into place.
    const auto deliver = [](const QString &project, const QList<TodoTask> &tasks) {
        const QString arriving = UserFolder + QStringLiteral(".syncthing.") + project + QStringLiteral(".tdl.tmp");
        SaveProject(arriving, tasks);
        QFile::remove(ProjectFilePath(project));
        QVERIFY(QFile::rename(arriving, ProjectFilePath(project)));
    };
    SaveProject(ProjectFilePath(QStringLiteral("Home")), {TodoTask{QStringLiteral("milk"), false, 5}});
    TToDOListForm *form = openWindow();
    QCOMPARE(titles(), QStringList({QStringLiteral("milk")}));

    deliver(QStringLiteral("Home"),
            {TodoTask{QStringLiteral("milk"), true, 5}, TodoTask{QStringLiteral("bread"), false, 5}});
    QTRY_COMPARE_WITH_TIMEOUT(titles().size(), 2, 5000);
    QVERIFY(titles().contains(QStringLiteral("bread")));
    deliver(QStringLiteral("Work"), {TodoTask{QStringLiteral("report"), false, 3}});
    QTRY_VERIFY_WITH_TIMEOUT(form->ProjectListCB->findText(QStringLiteral("Work")) >= 0, 5000);
    QCOMPARE(form->SelectedProject(), QStringLiteral("Home"));

    QVERIFY(QFile::remove(ProjectFilePath(QStringLiteral("Home"))));
    QTRY_COMPARE_WITH_TIMEOUT(form->SelectedProject(), QStringLiteral("Work"), 5000);
    QCOMPARE(titles(), QStringList({QStringLiteral("report")}));
    QVERIFY(!QFile::exists(ProjectFilePath(QStringLiteral("Home"))));
}

void TestTodoWindow::placementIsRemembered()
{
    TToDOListForm *form = openWindow();
    form->move(150, 120);
    form->resize(400, 320);
    QVERIFY(form->close());
    QVERIFY(ToDoListForm == nullptr);

    TRegistry registry;
    QVERIFY(registry.OpenKeyReadOnly(kPlacementKey));
    QCOMPARE(registry.ReadInteger(QStringLiteral("FormX")), 150);
    QCOMPARE(registry.ReadInteger(QStringLiteral("FormY")), 120);
    QCOMPARE(registry.ReadInteger(QStringLiteral("FormW")), 400);
    QCOMPARE(registry.ReadInteger(QStringLiteral("FormH")), 320);
    QCOMPARE(registry.ReadBool(QStringLiteral("FormMax")), false);

    form = openWindow();
    QCOMPARE(form->pos(), QPoint(150, 120));
    QCOMPARE(form->size(), QSize(400, 320));
}

void TestTodoWindow::brokenPlacementStillOpens()
{
    writeProject(QStringLiteral("A"), {task("a", false, 1)});
    {
        TRegistry registry;
        QVERIFY(registry.OpenKey(kPlacementKey, true));
        registry.WriteInteger(QStringLiteral("FormX"), 150);
    }
    QVERIFY_THROWS_EXCEPTION(ERegistryException, ShowTodoWindow(nullptr));
    TToDOListForm *form = ToDoListForm;
    QVERIFY(form && form->isVisible());
    QCOMPARE(form->SelectedProject(), QStringLiteral("A"));
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(form->pos(), QPoint((screen.width() - 330) / 2, (screen.height() - 298) / 2));
    // Closing writes all five values, which repairs the key.
    QVERIFY(form->close());
    TRegistry registry;
    QVERIFY(registry.OpenKeyReadOnly(kPlacementKey));
    QCOMPARE(registry.ReadInteger(QStringLiteral("FormW")), 330);
    QCOMPARE(registry.ReadBool(QStringLiteral("FormMax")), false);
}

void TestTodoWindow::printsHeaderAndRows()
{
    if (!havePoppler())
        QSKIP("pdftotext and pdftoppm (poppler-utils) are needed");
    writeProject(QStringLiteral("Plan"),
                 {task("alpha", true, 0), task("bravo", false, 3), task("charlie", true, 12)});
    TToDOListForm *form = openWindow();
    const QString pdf = m_dir->filePath(QStringLiteral("plan.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    form->PrintCurrentProject(printer);
    QCOMPARE(pdfPages(pdf), 1);

    QStringList lines;
    for (const QString &line : pdfText(pdf).split(QLatin1Char('\n'))) {
        if (!line.simplified().isEmpty())
            lines.append(line);
    }
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0).simplified(), QStringLiteral("方案: Plan"));
    QCOMPARE(lines.at(1).simplified(), QStringLiteral("X alpha"));
    QCOMPARE(lines.at(2).simplified(), QStringLiteral("bravo"));
    QCOMPARE(lines.at(3).simplified(), QStringLiteral("X charlie"));

    // Positions: device pixels of a 1200 dpi printer, from the paintable
    // area's corner; pdftotext reports points.
    const double px = 72.0 / printer.resolution();
    const QPointF origin = printer.pageLayout().paintRect(QPageLayout::Point).topLeft();
    QHash<QString, QList<PdfWord>> words;
    for (const PdfWord &word : pdfWords(pdf))
        words[word.text].append(word);
    QCOMPARE(words.value(QStringLiteral("X")).size(), 2);
    const PdfWord plan = words.value(QStringLiteral("Plan")).value(0);
    const PdfWord header = words.value(QStringLiteral("方案:")).value(0);
    const PdfWord alpha = words.value(QStringLiteral("alpha")).value(0);
    const PdfWord bravo = words.value(QStringLiteral("bravo")).value(0);
    const PdfWord charlie = words.value(QStringLiteral("charlie")).value(0);
    const PdfWord mark = words.value(QStringLiteral("X")).value(0);

    const double lh = bravo.yMin - alpha.yMin;
    QVERIFY2(lh > 8 && lh < 20, qPrintable(QString::number(lh)));
    QVERIFY(qAbs(charlie.yMin - bravo.yMin - lh) < 0.2);
    // lh is 12/10 of the text height.
    QVERIFY2(qAbs(lh / (alpha.yMax - alpha.yMin) - 1.2) < 0.15, qPrintable(QString::number(alpha.yMax - alpha.yMin)));
    // The header's top is at y = 10, the first row at y0 = 2 * lh.
    QVERIFY(qAbs((alpha.yMin - plan.yMin) - (2 * lh - 10 * px)) < 0.2);
    QVERIFY(qAbs(header.xMin - (origin.x() + 100 * px)) < 1.0);
    QVERIFY(qAbs(mark.yMin - alpha.yMin) < 0.2);
    QVERIFY(qAbs(mark.xMin - (origin.x() + 200 * px + lh)) < 1.0);
    QVERIFY(qAbs(alpha.xMin - (origin.x() + 200 * px + 2 * lh)) < 1.0);
    QVERIFY(qAbs(bravo.xMin - alpha.xMin) < 0.5);

    // The icon square at x = 200, as high as the text: the critical
    // priority's triangle prints, a priority without icon leaves it white.
    const double th = lh / 1.2;
    const QImage critical = pdfArea(pdf, QRectF(origin.x() + 200 * px, alpha.yMin, th, th));
    const QImage none = pdfArea(pdf, QRectF(origin.x() + 200 * px, charlie.yMin, th, th));
    QVERIFY(!critical.isNull() && !none.isNull());
    QVERIFY(nonWhitePixels(critical) > critical.width() * critical.height() / 10);
    QCOMPARE(nonWhitePixels(none), 0);
}

void TestTodoWindow::longPrintoutContinues()
{
    if (!havePoppler())
        QSKIP("pdftotext and pdftoppm (poppler-utils) are needed");
    QList<TodoTask> tasks;
    for (int i = 1; i <= 150; ++i)
        tasks.append(task(QStringLiteral("task%1").arg(i, 3, 10, QLatin1Char('0')), false, 1));
    writeProject(QStringLiteral("Long"), tasks);
    TToDOListForm *form = openWindow();
    const QString pdf = m_dir->filePath(QStringLiteral("long.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    form->PrintCurrentProject(printer);

    const int pages = pdfPages(pdf);
    QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
    QStringList printed;
    static const QRegularExpression title(QStringLiteral("task\\d{3}"));
    for (int page = 1; page <= pages; ++page) {
        const QString text = pdfText(pdf, page);
        QVERIFY(text.trimmed().startsWith(QStringLiteral("方案: Long")));
        const QStringList onPage = [&] {
            QStringList found;
            for (const QRegularExpressionMatch &match : title.globalMatch(text))
                found.append(match.captured());
            return found;
        }();
        QVERIFY(!onPage.isEmpty());
        printed += onPage;
    }
    QCOMPARE(printed, titles());
}

void TestTodoWindow::printingWithoutProject()
{
    TToDOListForm *form = openWindow();
    const QString pdf = m_dir->filePath(QStringLiteral("none.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    form->PrintCurrentProject(printer);
    QVERIFY(!QFile::exists(pdf));
}

QTEST_MAIN(TestTodoWindow)
#include "tst_todowindow.moc"
