#pragma once

#include "todolist/ToDoListEngine.h"

#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <optional>

// One row of the task list: caption, check mark and priority icon of a task.
// Rows sort by the task order.
class TaskItem final : public QTreeWidgetItem
{
public:
    explicit TaskItem(const TodoTask &task);

    TodoTask task() const;
    qint32 priority() const;
    void setPriority(qint32 priority);

    bool operator<(const QTreeWidgetItem &other) const override;

private:
    TodoSortKey sortKey() const;

    // The title's bytes are kept until the title changes.
    mutable std::optional<QString> m_keyTitle;
    mutable QByteArray m_keyBytes;
};

class TitleDelegate;

// The check-box task list. It reports every left click, wherever it lands,
// after the list has handled it (so a check mark toggled by the click is
// already set). A title edited in place that a project file cannot hold is
// refused: the title stays, and the editor opens again with the typed text.
class TaskListView final : public QTreeWidget
{
    Q_OBJECT

public:
    explicit TaskListView(QWidget *parent = nullptr);

    TaskItem *taskAt(int row) const;
    // The selected row, or nullptr.
    TaskItem *selectedTask() const;
    QList<TodoTask> tasks() const;
    void setTasks(const QList<TodoTask> &tasks);
    void sortTasks();
    // Removing a row leaves no row selected, rather than passing the
    // selection on to a neighbour that the user did not choose.
    void removeTask(TaskItem *item);

signals:
    void clickedInList();
    // Sent before the editor opens again.
    void titleRefused(const QString &typed);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void refuseTitle(const QPersistentModelIndex &index, const QString &typed);

    TitleDelegate *m_titleDelegate;
};
