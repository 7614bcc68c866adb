#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The to-do projects: one ".tdl" file per project in the user's note folder,
// each an ordered list of tasks.

struct TodoTask
{
    QString Title;
    bool Checked = false;
    // 0 (critical) to 9 (low); -1 (no priority) comes only from the older
    // plain-text files. Other values read from a file are kept.
    qint32 Priority = 1;

    friend bool operator==(const TodoTask &, const TodoTask &) = default;
};

inline constexpr qint32 kNoPriority = -1;
inline constexpr qint32 kNewTaskPriority = 1;

// What tasks are ordered by: the priority, then the title's code page 936
// bytes. Computing it once per task keeps long sorts cheap.
struct TodoSortKey
{
    qint32 priority = 0;
    QByteArray title;

    static TodoSortKey of(const TodoTask &task);
};

int compareSortKeys(const TodoSortKey &a, const TodoSortKey &b);

// Negative when a comes first, positive when b does, zero when equal.
int ToDoListCompare(const TodoTask &a, const TodoTask &b);
// Sorts by ToDoListCompare; equal tasks keep their order.
void SortTasks(QList<TodoTask> &tasks);

// The characters of a title that a project file cannot hold (its text is
// code page 936), each once, in order of first appearance.
QStringList UnstorableCharacters(QStringView title);

// UserFolder, the name and ".tdl".
QString ProjectFilePath(const QString &name);
// The projects of the note folder, sorted by name without regard to letter
// case, so that "the first project" is the same on every file system.
QStringList ListProjects();
// False for a name that would not make a project file of its own in the
// note folder: empty, with a path separator, "." or "..", or starting with
// a dot (such files are hidden and would never be listed).
bool IsProjectNameAllowed(const QString &name);

// Reads the tasks of a project file, sorted. False with the reason when the
// file cannot be read.
bool LoadProject(const QString &path, QList<TodoTask> &tasks, QString &reason);
// Writes the tasks in the given order. The old file is replaced only by a
// complete new one; a failure throws BrisquelError "Unable to write to <path>".
void SaveProject(const QString &path, const QList<TodoTask> &tasks);
