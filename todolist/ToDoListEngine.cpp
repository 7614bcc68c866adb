#include "todolist/ToDoListEngine.h"

#include "app/InternalProcs.h"
#include "platform/BrisquelError.h"
#include "platform/CodePage.h"
#include "platform/SafeFile.h"
#include "todolist/ProfileFile.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

const QString kExtension = QStringLiteral(".tdl");
const QString kMainSection = QStringLiteral("main");
const QString kItemPrefix = QStringLiteral("item");
const QString kTitleKey = QStringLiteral("Title");
const QString kCheckedKey = QStringLiteral("Checked");
const QString kPriorityKey = QStringLiteral("Priority");
constexpr qint32 kDefaultPriority = 9;

QList<TodoTask> readProfileLayout(const ProfileReader &profile)
{
    QList<TodoTask> tasks;
    const QStringList sections = profile.sectionNames();
    for (const QString &section : sections) {
        if (section.left(kItemPrefix.size()).compare(kItemPrefix, Qt::CaseInsensitive) != 0)
            continue;
        TodoTask task;
        task.Title = profile.readString(section, kTitleKey, QString());
        task.Checked = profile.readInteger(section, kCheckedKey, 0) != 0;
        task.Priority = profile.readInteger(section, kPriorityKey, kDefaultPriority);
        if (task.Priority == kNoPriority)
            task.Priority = kDefaultPriority;
        tasks.append(task);
    }
    return tasks;
}

// Lines end at CR LF, LF or CR; a break at the very end starts no line.
QList<QStringView> textLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) {
            ++i;
            continue;
        }
        lines.append(text.sliced(start, i - start));
        i += (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ? 2 : 1;
        start = i;
    }
    if (start < text.size())
        lines.append(text.sliced(start));
    return lines;
}

// The older layout: one task per line, the first character "0" for not
// done (anything else, or nothing, for done), the rest the title.
QList<TodoTask> readPlainLayout(QStringView text)
{
    QList<TodoTask> tasks;
    const QList<QStringView> lines = textLines(text);
    for (QStringView line : lines) {
        TodoTask task;
        task.Checked = line.isEmpty() || line.front() != QLatin1Char('0');
        task.Title = line.isEmpty() ? QString() : line.sliced(1).toString();
        task.Priority = kNoPriority;
        tasks.append(task);
    }
    return tasks;
}

QString profileText(const QList<TodoTask> &tasks)
{
    ProfileWriter writer;
    writer.beginSection(kMainSection);
    writer.writeValue(QStringLiteral("fileinfo"), QStringLiteral("1"));
    for (qsizetype i = 0; i < tasks.size(); ++i) {
        const TodoTask &task = tasks.at(i);
        writer.beginSection(kItemPrefix + QString::number(i));
        writer.writeValue(kTitleKey, task.Title);
        writer.writeValue(kCheckedKey, task.Checked ? QStringLiteral("1") : QStringLiteral("0"));
        writer.writeValue(kPriorityKey, QString::number(task.Priority));
    }
    return writer.text();
}

} // namespace

TodoSortKey TodoSortKey::of(const TodoTask &task)
{
    return TodoSortKey{task.Priority, CodePage::toCp936(task.Title)};
}

int compareSortKeys(const TodoSortKey &a, const TodoSortKey &b)
{
    if (a.priority != b.priority)
        return a.priority < b.priority ? -1 : 1;
    // Byte-wise and unsigned; a prefix comes first.
    const int order = a.title.compare(b.title);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int ToDoListCompare(const TodoTask &a, const TodoTask &b)
{
    return compareSortKeys(TodoSortKey::of(a), TodoSortKey::of(b));
}

void SortTasks(QList<TodoTask> &tasks)
{
    QList<std::pair<TodoSortKey, TodoTask>> keyed;
    keyed.reserve(tasks.size());
    for (const TodoTask &task : std::as_const(tasks))
        keyed.append({TodoSortKey::of(task), task});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return compareSortKeys(a.first, b.first) < 0; });
    for (qsizetype i = 0; i < keyed.size(); ++i)
        tasks[i] = keyed.at(i).second;
}

QStringList UnstorableCharacters(QStringView title)
{
    QStringList lost;
    if (CodePage::isCp936Encodable(title))
        return lost;
    for (qsizetype i = 0; i < title.size();) {
        const bool pair = title.at(i).isHighSurrogate() && i + 1 < title.size() && title.at(i + 1).isLowSurrogate();
        const QString character = title.sliced(i, pair ? 2 : 1).toString();
        if (!lost.contains(character) && !CodePage::isCp936Encodable(character))
            lost.append(character);
        i += character.size();
    }
    return lost;
}

QString ProjectFilePath(const QString &name)
{
    return UserFolder + name + kExtension;
}

QStringList ListProjects()
{
    const QDir folder(UserFolder);
    const QStringList files = folder.entryList(QStringList{QLatin1Char('*') + kExtension},
                                               QDir::Files | QDir::CaseSensitive, QDir::Name | QDir::IgnoreCase);
    QStringList names;
    names.reserve(files.size());
    for (const QString &file : files)
        names.append(file.chopped(kExtension.size()));
    return names;
}

bool IsProjectNameAllowed(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) && !name.contains(QLatin1Char('/'))
        && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

bool LoadProject(const QString &path, QList<TodoTask> &tasks, QString &reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        reason = file.errorString();
        return false;
    }
    const QString text = CodePage::fromCp936(bytes);
    const ProfileReader profile(text);
    tasks = profile.sectionHasKeys(kMainSection) ? readProfileLayout(profile) : readPlainLayout(text);
    SortTasks(tasks);
    return true;
}

void SaveProject(const QString &path, const QList<TodoTask> &tasks)
{
    const QByteArray bytes = CodePage::toCp936(profileText(tasks));
    if (SafeFile::write(path, bytes) != SafeFile::Result::Saved)
        throw BrisquelError(QStringLiteral("Unable to write to %1").arg(path));
}
