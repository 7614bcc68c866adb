#include "todolist/ToDoListFormUnit.h"

#include "app/BrisquelMessages.h"
#include "app/InternalProcsGui.h"
#include "dialogs/FormSaverClassUnit.h"
#include "notewindow/NotePrinting.h"
#include "resources/BrisquelResources.h"
#include "todolist/TaskListView.h"
#include "todolist/ToDoListEngine.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

TToDOListForm *ToDoListForm = nullptr;

namespace {

const QString kPlacementKey = QStringLiteral("\\SOFTWARE\\Orvanta\\Brisquel\\TODOWin");
constexpr int kMenuAreaWidth = 62;
constexpr int kToolBarWidth = 27;
const QSize kInitialSize(330, 298);

const std::array<const char *, 10> kPriorityCaptions = {
    "临界优先权", "优先权 1", "优先权 2", "优先权 3", "优先权 4",
    "优先权 5",   "优先权 6", "优先权 7", "优先权 8", "低优先权 ",
};

// Project names match with only the ASCII letters folded.
QString upperAscii(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return result;
}

QAction *makeAction(QObject *parent, const QString &caption, const QString &hint, const QIcon &icon = {})
{
    auto *action = new QAction(icon, caption, parent);
    if (!hint.isEmpty())
        action->setToolTip(hint);
    return action;
}

} // namespace

TToDOListForm::TToDOListForm(QWidget *owner)
    : QWidget(owner, Qt::Tool)
    , m_projectFiles(UserFolder, QStringLiteral(".tdl"))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("ToDOListForm"));
    QFont simsun(QStringLiteral("Simsun"));
    simsun.setPixelSize(12);
    setFont(simsun);
    setWindowIcon(TrayMenuIcon(4));
    resize(kInitialSize);

    buildActions();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *bar = new QWidget(this);
    buildProjectBar(bar);
    layout->addWidget(bar);
    auto *area = new QWidget(this);
    buildTaskArea(area);
    layout->addWidget(area, 1);
    UpdateActions();
    m_projectFiles.start();
    connect(&m_projectFiles, &FolderWatch::changed, this, &TToDOListForm::ProjectFilesChanged);
}

TToDOListForm::~TToDOListForm()
{
    if (ToDoListForm == this)
        ToDoListForm = nullptr;
}

void TToDOListForm::buildActions()
{
    NewProject = makeAction(this, QStringLiteral("新建方案"), QStringLiteral("新建方案"),
                            TodoIcon(TodoCommandIcon::NewProject));
    DeleteProject = makeAction(this, QStringLiteral("删除当前方案"), QStringLiteral("删除当前方案"),
                               TodoIcon(TodoCommandIcon::DeleteProject));
    RenameProject = makeAction(this, QStringLiteral("重命名当前方案"), QString());
    PrintProject = makeAction(this, QStringLiteral("打印当前方案"), QString(), TodoIcon(TodoCommandIcon::PrintProject));
    CloseTODO = makeAction(this, QStringLiteral("关闭 TODO 列表"), QString(), TodoIcon(TodoCommandIcon::CloseTODO));
    NewTask = makeAction(this, QString(), QStringLiteral("新建任务"), TodoIcon(TodoCommandIcon::NewTask));
    RemoveTask = makeAction(this, QString(), QStringLiteral("删除任务"), TodoIcon(TodoCommandIcon::RemoveTask));
    EditTask = makeAction(this, QStringLiteral("编辑任务"), QStringLiteral("编辑所选的任务"),
                          TodoIcon(TodoCommandIcon::EditTask));
    RemoveCTasks = makeAction(this, QStringLiteral("删除完成的任务"), QStringLiteral("删除任务"),
                              TodoIcon(TodoCommandIcon::RemoveCTasks));

    connect(NewProject, &QAction::triggered, this, &TToDOListForm::NewProjectExecute);
    connect(DeleteProject, &QAction::triggered, this, &TToDOListForm::DeleteProjectExecute);
    connect(RenameProject, &QAction::triggered, this, &TToDOListForm::RenameProjectExecute);
    connect(PrintProject, &QAction::triggered, this, &TToDOListForm::PrintProjectExecute);
    connect(CloseTODO, &QAction::triggered, this, &TToDOListForm::CloseTODOExecute);
    connect(NewTask, &QAction::triggered, this, &TToDOListForm::NewTaskExecute);
    connect(RemoveTask, &QAction::triggered, this, &TToDOListForm::RemoveTaskExecute);
    connect(EditTask, &QAction::triggered, this, &TToDOListForm::EditTaskExecute);
    connect(RemoveCTasks, &QAction::triggered, this, &TToDOListForm::RemoveCTasksExecute);

    for (int priority = 0; priority < int(PriorityActions.size()); ++priority) {
        QAction *action = makeAction(this, QString::fromUtf8(kPriorityCaptions.at(std::size_t(priority))), QString(),
                                     TodoPriorityIcon(priority));
        action->setData(priority);
        connect(action, &QAction::triggered, this, [this, action] { Priority0Execute(action); });
        PriorityActions.at(std::size_t(priority)) = action;
    }
}

void TToDOListForm::buildProjectBar(QWidget *bar)
{
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    ProjectArea = new QWidget(bar);
    MenuArea = new QWidget(bar);
    MenuArea->setFixedWidth(kMenuAreaWidth);
    layout->addWidget(ProjectArea, 1);
    layout->addWidget(MenuArea);

    ProjectListCB = new QComboBox(ProjectArea);
    ProjectListCB->setEditable(false);
    connect(ProjectListCB, &QComboBox::currentIndexChanged, this, &TToDOListForm::ProjectListCBChange);

    TodoOptionsMenu = new QMenu(this);
    TodoOptionsMenu->addAction(NewProject);
    TodoOptionsMenu->addSeparator();
    TodoOptionsMenu->addAction(DeleteProject);
    TodoOptionsMenu->addAction(RenameProject);
    TodoOptionsMenu->addSeparator();
    TodoOptionsMenu->addAction(PrintProject);
    TodoOptionsMenu->addSeparator();
    TodoOptionsMenu->addAction(CloseTODO);
    connect(TodoOptionsMenu, &QMenu::aboutToShow, this, &TToDOListForm::UpdateActions);

    ProjectMenuDropdown = new QToolButton(MenuArea);
    ProjectMenuDropdown->setText(QStringLiteral("菜单"));
    ProjectMenuDropdown->setAutoRaise(true);
    ProjectMenuDropdown->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ProjectMenuDropdown->setPopupMode(QToolButton::InstantPopup);
    ProjectMenuDropdown->setMenu(TodoOptionsMenu);

    const int comboHeight = ProjectListCB->sizeHint().height();
    bar->setFixedHeight(qMax(comboHeight + 1, ProjectMenuDropdown->sizeHint().height()));
}

void TToDOListForm::buildTaskArea(QWidget *area)
{
    auto *layout = new QHBoxLayout(area);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ToDoList = new TaskListView(area);
    ToDoList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ToDoList, &TaskListView::clickedInList, this, &TToDOListForm::TodolistClick);
    connect(ToDoList, &QTreeWidget::itemSelectionChanged, this, &TToDOListForm::UpdateActions);
    connect(ToDoList, &TaskListView::titleRefused, this, &TToDOListForm::ToDoListTitleRefused);
    layout->addWidget(ToDoList, 1);

    PriorityPopUP = new QMenu(this);
    for (QAction *action : PriorityActions)
        PriorityPopUP->addAction(action);
    connect(PriorityPopUP, &QMenu::aboutToShow, this, &TToDOListForm::UpdateActions);
    connect(ToDoList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PriorityPopUP->popup(ToDoList->viewport()->mapToGlobal(pos)); });

    TaskToolBar = new QToolBar(area);
    TaskToolBar->setOrientation(Qt::Vertical);
    TaskToolBar->setMovable(false);
    TaskToolBar->setFloatable(false);
    TaskToolBar->setIconSize(QSize(16, 16));
    TaskToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    TaskToolBar->setFixedWidth(kToolBarWidth);
    TaskToolBar->addAction(NewTask);
    TaskToolBar->addAction(RemoveTask);
    TaskToolBar->addAction(EditTask);
    TaskToolBar->addAction(RemoveCTasks);
    layout->addWidget(TaskToolBar);
}

void TToDOListForm::FormCreate()
{
    setWindowTitle(QStringLiteral("我的TODO列表"));
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->geometry().size();
        move((size.width() - width()) / 2, (size.height() - height()) / 2);
    }
    m_saver = std::make_unique<TFormSaver>();
    m_saver->LoadFromRegistry(kPlacementKey);
    m_saver->ApplyToForm(this);
}

void TToDOListForm::FormCloseQuery()
{
    if (!m_saver)
        return;
    m_saver->ReadFromForm(this);
    m_saver->SaveToRegistry(kPlacementKey);
}

void TToDOListForm::FormClose()
{
    if (ToDoListForm == this)
        ToDoListForm = nullptr;
    m_saver.reset();
}

void TToDOListForm::closeEvent(QCloseEvent *event)
{
    // Tasks that cannot be written keep the window open.
    event->ignore();
    SaveChangedProject();
    FormCloseQuery();
    event->accept();
    FormClose();
}

void TToDOListForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TToDOListForm::FormResize()
{
    ArrangeProjectBar();
}

void TToDOListForm::ArrangeProjectBar()
{
    // A minimised window has no usable size. A maximised one is arranged
    // too, or the box would keep its narrow width.
    if (windowState() & Qt::WindowMinimized)
        return;
    ProjectMenuDropdown->setGeometry(0, 0, MenuArea->width(), MenuArea->height());
    ProjectListCB->setGeometry(0, 1, ProjectArea->width(), ProjectArea->height() - 1);
}

bool TToDOListForm::HasProject() const
{
    return ProjectListCB->currentIndex() >= 0;
}

QString TToDOListForm::SelectedProject() const
{
    return HasProject() ? ProjectListCB->currentText() : QString();
}

void TToDOListForm::setProjectIndex(int index)
{
    const QSignalBlocker blocker(ProjectListCB);
    ProjectListCB->setCurrentIndex(index);
}

void TToDOListForm::RefillProjects()
{
    const QSignalBlocker blocker(ProjectListCB);
    ProjectListCB->clear();
    ProjectListCB->addItems(ListProjects());
    ProjectListCB->setCurrentIndex(-1);
}

void TToDOListForm::ProjectListCBChange()
{
    try {
        SaveChangedProject();
    } catch (...) {
        // The project whose changes could not be written stays on show, so
        // that its tasks never go into another project's file.
        setProjectIndex(ProjectListCB->findText(m_shownProject, Qt::MatchFixedString | Qt::MatchCaseSensitive));
        UpdateActions();
        throw;
    }
    ToDoList->clear();
    m_shownProject = SelectedProject();
    if (HasProject()) {
        QList<TodoTask> tasks;
        QString reason;
        if (LoadProject(ProjectFilePath(m_shownProject), tasks, reason)) {
            m_projectFiles.remember(ProjectFilePath(m_shownProject));
            ToDoList->setTasks(tasks);
            ToDoList->sortTasks();
        } else {
            ShowProgramError(105, reason);
        }
    }
    m_storedTasks = ToDoList->tasks();
    UpdateActions();
}

void TToDOListForm::SelectProject(const QString &name)
{
    if (ProjectListCB->count() == 0) {
        ToDoList->clear();
        UpdateActions();
        return;
    }
    if (TrimBlanks(name).isEmpty()) {
        setProjectIndex(0);
    } else {
        // Where names differ only in letter case, the one spelt exactly
        // wins, so that a project just created is the one shown.
        int found = ProjectListCB->findText(name, Qt::MatchFixedString | Qt::MatchCaseSensitive);
        const QString wanted = upperAscii(name);
        for (int i = ProjectListCB->count() - 1; found < 0 && i >= 0; --i) {
            if (upperAscii(ProjectListCB->itemText(i)) == wanted)
                found = i;
        }
        if (found >= 0)
            setProjectIndex(found);
    }
    ProjectListCBChange();
}

void TToDOListForm::SaveCurrentProject()
{
    if (HasProject())
        storeTasks(SelectedProject());
}

void TToDOListForm::SaveChangedProject()
{
    if (!m_shownProject.isEmpty() && ToDoList->tasks() != m_storedTasks)
        storeTasks(m_shownProject);
}

void TToDOListForm::storeTasks(const QString &project)
{
    const QList<TodoTask> tasks = ToDoList->tasks();
    SaveProject(ProjectFilePath(project), tasks);
    m_storedTasks = tasks;
    m_projectFiles.remember(ProjectFilePath(project));
}

void TToDOListForm::CheckProjectFiles()
{
    m_projectFiles.check();
}

void TToDOListForm::ProjectFilesChanged(const FolderChanges &changes)
{
    if (!changes.added.isEmpty() || !changes.removed.isEmpty()) {
        RefillProjects();
        setProjectIndex(ProjectListCB->findText(m_shownProject, Qt::MatchFixedString | Qt::MatchCaseSensitive));
    }
    if (m_shownProject.isEmpty() || ToDoList->tasks() != m_storedTasks)
        return;
    const QString shown = ProjectFilePath(m_shownProject);
    if (changes.removed.contains(shown)) {
        SelectProject(QString());
        return;
    }
    if (!changes.changed.contains(shown) && !changes.added.contains(shown))
        return;
    QList<TodoTask> tasks;
    QString reason;
    // One still being written is read at its next change.
    if (!LoadProject(shown, tasks, reason)) {
        m_projectFiles.passOver(shown);
        return;
    }
    m_projectFiles.remember(shown);
    ToDoList->setTasks(tasks);
    ToDoList->sortTasks();
    m_storedTasks = ToDoList->tasks();
    UpdateActions();
}

void TToDOListForm::TodolistClick()
{
    SaveCurrentProject();
}

void TToDOListForm::NewProjectExecute()
{
    const QString name = TrimBlanks(InputBox(QStringLiteral("新建方案"), QStringLiteral("方案名称?"), QString()));
    if (!name.isEmpty()) {
        const QString path = ProjectFilePath(name);
        if (!IsProjectNameAllowed(name)) {
            ShowProgramError(101);
        } else if (QFile::exists(path)) {
            ShowProgramError(102);
        } else {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
                ShowProgramError(101, file.errorString());
        }
    }
    RefillProjects();
    SelectProject(name);
}

void TToDOListForm::DeleteProjectExecute()
{
    if (!HasProject() || !ConfirmYesNo(QStringLiteral("你是否要删除: ") + SelectedProject()))
        return;
    QFile::remove(ProjectFilePath(SelectedProject()));
    // Unsaved changes of the deleted project must not bring its file back.
    m_shownProject.clear();
    RefillProjects();
    SelectProject(QString());
}

void TToDOListForm::DeleteProjectUpdate()
{
    DeleteProject->setEnabled(HasProject());
}

void TToDOListForm::RenameProjectExecute()
{
    if (!HasProject())
        return;
    // Written under the old name, which is about to go.
    SaveChangedProject();
    const QString oldPath = ProjectFilePath(SelectedProject());
    const QString name = TrimBlanks(InputBox(QStringLiteral("新的名称"), QStringLiteral("新方案的名称?"), QString()));
    if (!name.isEmpty()) {
        const QString path = ProjectFilePath(name);
        if (!IsProjectNameAllowed(name))
            ShowProgramError(101);
        else if (QFile::exists(path))
            ShowProgramError(102);
        else
            QFile::rename(oldPath, path);
    }
    RefillProjects();
    SelectProject(name);
}

void TToDOListForm::RenameProjectUpdate()
{
    RenameProject->setEnabled(HasProject());
}

void TToDOListForm::PrintProjectExecute()
{
    const std::unique_ptr<QPrinter> printer = NewPrinter();
    QPrintDialog dialog(printer.get(), this);
    if (dialog.exec() == QDialog::Accepted)
        PrintCurrentProject(*printer);
}

void TToDOListForm::PrintProjectUpdate()
{
    PrintProject->setEnabled(HasProject());
}

void TToDOListForm::CloseTODOExecute()
{
    close();
}

void TToDOListForm::NewTaskExecute()
{
    if (!HasProject()) {
        ShowProgramError(104);
        return;
    }
    const QString title = AskTaskTitle(QStringLiteral("新建任务"), QString());
    if (!title.isEmpty())
        ToDoList->addTopLevelItem(new TaskItem(TodoTask{title, false, kNewTaskPriority}));
    // Written before sorting: the file keeps the new task last until the
    // next save point.
    SaveCurrentProject();
    ToDoList->sortTasks();
}

void TToDOListForm::NewTaskUpdate()
{
    NewTask->setEnabled(HasProject());
}

void TToDOListForm::RemoveTaskExecute()
{
    TaskItem *item = ToDoList->selectedTask();
    if (!item)
        ShowMessage(QStringLiteral("未选择项目"));
    else if (ConfirmYesNo(QStringLiteral("你是否要删除: ") + item->text(0)))
        ToDoList->removeTask(item);
    SaveCurrentProject();
    UpdateActions();
}

void TToDOListForm::RemoveTaskUpdate()
{
    RemoveTask->setEnabled(HasProject());
}

void TToDOListForm::EditTaskExecute()
{
    if (!HasProject()) {
        ShowProgramError(104);
        return;
    }
    TaskItem *item = ToDoList->selectedTask();
    if (!item) {
        ShowProgramError(103);
        return;
    }
    const QString title = AskTaskTitle(QStringLiteral("编辑任务"), TrimBlanks(item->text(0)));
    if (title.isEmpty())
        return;
    item->setText(0, title);
    SaveCurrentProject();
}

void TToDOListForm::EditTaskUpdate()
{
    EditTask->setEnabled(HasProject());
}

void TToDOListForm::RemoveCTasksExecute()
{
    if (!ConfirmYesNo(QStringLiteral("你确定要删除所有已完成的任务吗? (不可撤销)")))
        return;
    for (int row = ToDoList->topLevelItemCount() - 1; row >= 0; --row) {
        if (ToDoList->taskAt(row)->checkState(0) == Qt::Checked)
            ToDoList->removeTask(ToDoList->taskAt(row));
    }
    UpdateActions();
}

void TToDOListForm::Priority0Execute(const QAction *action)
{
    if (TaskItem *item = ToDoList->selectedTask())
        item->setPriority(action->data().toInt());
    ToDoList->sortTasks();
}

void TToDOListForm::Priority0Update()
{
    const bool haveTask = ToDoList->selectedTask() != nullptr;
    for (QAction *action : PriorityActions)
        action->setEnabled(haveTask);
}

void TToDOListForm::ToDoListTitleRefused(const QString &typed)
{
    TitleIsStorable(typed);
}

QString TToDOListForm::AskTaskTitle(const QString &caption, const QString &defaultText)
{
    const QString prompt = QStringLiteral("任务文本?");
    QString title = TrimBlanks(InputBox(caption, prompt, defaultText));
    while (!title.isEmpty() && !TitleIsStorable(title)) {
        if (!InputQuery(caption, prompt, title))
            return QString();
        title = TrimBlanks(title);
    }
    return title;
}

bool TToDOListForm::TitleIsStorable(const QString &title)
{
    const QStringList lost = UnstorableCharacters(title);
    if (!lost.isEmpty())
        ShowWarning(QStringLiteral("任务文本中的这些字符不能保存: ") + lost.join(QLatin1Char(' ')));
    return lost.isEmpty();
}

void TToDOListForm::UpdateActions()
{
    DeleteProjectUpdate();
    RenameProjectUpdate();
    PrintProjectUpdate();
    NewTaskUpdate();
    RemoveTaskUpdate();
    EditTaskUpdate();
    Priority0Update();
}

void TToDOListForm::PrintCurrentProject(QPrinter &printer)
{
    if (!HasProject())
        return;
    QPainter canvas;
    BeginPrintCanvas(canvas, printer);
    const QFontMetrics metrics = canvas.fontMetrics();
    // Text is placed by the top of its line, as the rows are laid out.
    const auto textOut = [&](int x, int y, const QString &text) {
        canvas.drawText(QPoint(x, y + metrics.ascent()), text);
    };

    const int th = metrics.size(Qt::TextSingleLine, QStringLiteral("XxgPq")).height();
    const int lh = th * 12 / 10;
    const int y0 = 2 * lh;
    const QString header = QStringLiteral("方案: ") + SelectedProject();
    textOut(100, 10, header);

    const QList<TodoTask> tasks = ToDoList->tasks();
    int row = 0;
    for (const TodoTask &task : tasks) {
        int y = y0 + row * lh;
        // A row that would run past the page starts the next one.
        if (row > 0 && y + th > printer.height()) {
            printer.newPage();
            textOut(100, 10, header);
            row = 0;
            y = y0;
        }
        QImage picture(16, 16, QImage::Format_RGB32);
        picture.fill(Qt::white);
        {
            QPainter iconCanvas(&picture);
            TodoPriorityIcon(task.Priority).paint(&iconCanvas, QRect(0, 0, 16, 16));
        }
        canvas.drawImage(QRect(200, y, th, th), picture);
        if (task.Checked)
            textOut(200 + lh, y, QStringLiteral("X"));
        textOut(200 + 2 * lh, y, task.Title);
        ++row;
    }
    canvas.end();
}

void ShowTodoWindow(QWidget *owner)
{
    // A placement that cannot be read still opens the window, centred; the
    // error is reported once the window is up.
    std::exception_ptr failure;
    if (!ToDoListForm) {
        ToDoListForm = new TToDOListForm(owner);
        try {
            ToDoListForm->FormCreate();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    TToDOListForm *form = ToDoListForm;
    form->show();
    form->raise();
    form->activateWindow();
    form->RefillProjects();
    form->SelectProject(QString());
    form->ArrangeProjectBar();
    if (failure)
        std::rethrow_exception(failure);
}
