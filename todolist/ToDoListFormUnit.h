#pragma once

#include "notes/NoteFolder.h"
#include "todolist/ToDoListEngine.h"

#include <QWidget>

#include <array>
#include <memory>

class QAction;
class QComboBox;
class QMenu;
class QPrinter;
class QToolBar;
class QToolButton;
class TFormSaver;
class TaskListView;

// The to-do window: one project at a time with its tasks, check marks and
// priorities. There is no save command: the project file is rewritten after
// a click in the task list and at the end of adding, editing and removing
// a task, and changes made since are written before another project is
// shown and when the window closes.
class TToDOListForm final : public QWidget
{
    Q_OBJECT

public:
    explicit TToDOListForm(QWidget *owner);
    ~TToDOListForm() override;

    QWidget *ProjectArea;
    QWidget *MenuArea;
    QComboBox *ProjectListCB;
    QToolButton *ProjectMenuDropdown;
    QMenu *TodoOptionsMenu;
    TaskListView *ToDoList;
    QMenu *PriorityPopUP;
    QToolBar *TaskToolBar;

    QAction *NewProject;
    QAction *DeleteProject;
    QAction *RenameProject;
    QAction *PrintProject;
    QAction *CloseTODO;
    QAction *NewTask;
    QAction *RemoveTask;
    QAction *EditTask;
    QAction *RemoveCTasks;
    // Priority0 to Priority9; each action's data is its priority.
    std::array<QAction *, 10> PriorityActions;

    void FormCreate();
    void FormCloseQuery();
    void FormClose();
    void FormResize();
    void ProjectListCBChange();
    void TodolistClick();

    void NewProjectExecute();
    void DeleteProjectExecute();
    void DeleteProjectUpdate();
    void RenameProjectExecute();
    void RenameProjectUpdate();
    void PrintProjectExecute();
    void PrintProjectUpdate();
    void CloseTODOExecute();
    void NewTaskExecute();
    void NewTaskUpdate();
    void RemoveTaskExecute();
    void RemoveTaskUpdate();
    void EditTaskExecute();
    void EditTaskUpdate();
    void RemoveCTasksExecute();
    void Priority0Execute(const QAction *action);
    void Priority0Update();
    void ToDoListTitleRefused(const QString &typed);
    // Runs every Update handler; called whenever the project, the rows or
    // the selection change.
    void UpdateActions();

    // Fills the project box from the note folder, with nothing selected.
    void RefillProjects();
    void SelectProject(const QString &name);
    void SaveCurrentProject();
    // Writes the shown project when its tasks differ from its file's.
    void SaveChangedProject();
    // Prints on a printer that is already set up (the print dialog's).
    void PrintCurrentProject(QPrinter &printer);
    void ArrangeProjectBar();
    // Asks for a task title. One that a project file cannot hold is given
    // back to be changed until it can be stored; empty when the user gives
    // up or enters nothing.
    QString AskTaskTitle(const QString &caption, const QString &defaultText);
    // Warns about the characters of the title that a project file cannot
    // hold; true when there are none.
    bool TitleIsStorable(const QString &title);

    bool HasProject() const;
    // The backstop of the watch on the project files, for the one-second
    // timer.
    void CheckProjectFiles();
    // Projects written, added or removed elsewhere (by a sync tool): the
    // project box follows, and the shown project is read again unless the
    // user has changed it here.
    void ProjectFilesChanged(const FolderChanges &changes);
    QString SelectedProject() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildActions();
    void buildProjectBar(QWidget *bar);
    void buildTaskArea(QWidget *area);
    void setProjectIndex(int index);
    void storeTasks(const QString &project);

    std::unique_ptr<TFormSaver> m_saver;
    // The project whose tasks the list shows (empty for none) and those
    // tasks as its file holds them.
    QString m_shownProject;
    QList<TodoTask> m_storedTasks;
    FolderWatch m_projectFiles;
};

// The open to-do window, or nullptr.
extern TToDOListForm *ToDoListForm;

// Opens the to-do window (owned by owner) or brings the open one forward,
// and shows the first project.
void ShowTodoWindow(QWidget *owner = nullptr);
