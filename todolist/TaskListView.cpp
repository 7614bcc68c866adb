#include "todolist/TaskListView.h"

#include "platform/CodePage.h"
#include "resources/BrisquelResources.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QStyledItemDelegate>

#include <functional>
#include <utility>

namespace {

constexpr int kPriorityRole = Qt::UserRole;

// Rows without a priority icon keep the icon's room, so that titles align.
QIcon blankIcon()
{
    static const QIcon icon = [] {
        QPixmap blank(16, 16);
        blank.fill(Qt::transparent);
        return QIcon(blank);
    }();
    return icon;
}

} // namespace

// The in-place title editor: it keeps back a title that a project file
// cannot hold, and can open with a text other than the title.
class TitleDelegate final : public QStyledItemDelegate
{
public:
    using Refuse = std::function<void(const QModelIndex &, const QString &)>;

    TitleDelegate(QObject *parent, Refuse refuse)
        : QStyledItemDelegate(parent)
        , m_refuse(std::move(refuse))
    {
    }

    // The next editor opens with this text.
    void openWith(const QString &text) { m_openText = text; }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (line && m_openText) {
            line->setText(*std::exchange(m_openText, std::nullopt));
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        const auto *line = qobject_cast<const QLineEdit *>(editor);
        // A title read from a file as it stands is no loss.
        if (line && line->text() != index.data().toString() && !UnstorableCharacters(line->text()).isEmpty()) {
            m_refuse(index, line->text());
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    Refuse m_refuse;
    mutable std::optional<QString> m_openText;
};

TaskItem::TaskItem(const TodoTask &task)
{
    setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsEditable);
    setText(0, task.Title);
    setCheckState(0, task.Checked ? Qt::Checked : Qt::Unchecked);
    setPriority(task.Priority);
}

TodoTask TaskItem::task() const
{
    return TodoTask{text(0), checkState(0) == Qt::Checked, priority()};
}

qint32 TaskItem::priority() const
{
    return data(0, kPriorityRole).toInt();
}

void TaskItem::setPriority(qint32 value)
{
    setData(0, kPriorityRole, value);
    const QIcon icon = TodoPriorityIcon(value);
    setIcon(0, icon.isNull() ? blankIcon() : icon);
}

TodoSortKey TaskItem::sortKey() const
{
    const QString title = text(0);
    if (!m_keyTitle || *m_keyTitle != title) {
        m_keyTitle = title;
        m_keyBytes = CodePage::toCp936(title);
    }
    return TodoSortKey{priority(), m_keyBytes};
}

bool TaskItem::operator<(const QTreeWidgetItem &other) const
{
    return compareSortKeys(sortKey(), static_cast<const TaskItem &>(other).sortKey()) < 0;
}

TaskListView::TaskListView(QWidget *parent)
    : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderLabels({QStringLiteral("标题")});
    header()->setStretchLastSection(true);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    setSortingEnabled(false);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(16, 16));
    // The title of the selected row opens for editing when clicked.
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    // The refused editor is still closing; it opens again once it is gone.
    m_titleDelegate = new TitleDelegate(this, [this](const QModelIndex &index, const QString &typed) {
        const QPersistentModelIndex kept(index);
        QMetaObject::invokeMethod(this, [this, kept, typed] { refuseTitle(kept, typed); }, Qt::QueuedConnection);
    });
    setItemDelegate(m_titleDelegate);
}

TaskItem *TaskListView::taskAt(int row) const
{
    return static_cast<TaskItem *>(topLevelItem(row));
}

TaskItem *TaskListView::selectedTask() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<TaskItem *>(selected.first());
}

QList<TodoTask> TaskListView::tasks() const
{
    QList<TodoTask> result;
    result.reserve(topLevelItemCount());
    for (int row = 0; row < topLevelItemCount(); ++row)
        result.append(taskAt(row)->task());
    return result;
}

void TaskListView::setTasks(const QList<TodoTask> &tasks)
{
    clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(tasks.size());
    for (const TodoTask &task : tasks)
        items.append(new TaskItem(task));
    addTopLevelItems(items);
}

void TaskListView::sortTasks()
{
    sortItems(0, Qt::AscendingOrder);
}

void TaskListView::removeTask(TaskItem *item)
{
    delete item;
    clearSelection();
}

void TaskListView::refuseTitle(const QPersistentModelIndex &index, const QString &typed)
{
    emit titleRefused(typed);
    if (!index.isValid())
        return;
    m_titleDelegate->openWith(typed);
    edit(index);
}

void TaskListView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clickedInList();
}
