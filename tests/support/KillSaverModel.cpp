#include "tests/support/KillSaverModel.h"

#include <QFile>

namespace KillSaver {

QStringList noteIds()
{
    return {QStringLiteral("N1"), QStringLiteral("N2"), QStringLiteral("N3"), QStringLiteral("NXXXXXXXX")};
}

QStringList projectNames()
{
    return {QStringLiteral("Errands"), QStringLiteral("Plan XXXXXX")};
}

QString noteKey(int note)
{
    return QStringLiteral("note:") + noteIds().at(note);
}

QString projectKey(int project)
{
    return QStringLiteral("project:") + projectNames().at(project);
}

const QString settingsKey = QStringLiteral("settings");

QHash<QString, qint64> readProgress(const QString &path)
{
    QHash<QString, qint64> generations;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return generations;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype blank = line.lastIndexOf(' ');
        if (blank > 0)
            generations.insert(QString::fromUtf8(line.left(blank)), line.mid(blank + 1).toLongLong());
    }
    return generations;
}

QByteArray bodyAt(int note, qint64 generation)
{
    static constexpr qint64 kLargest[] = {64, 20'000, 400'000, 6'000};
    const qint64 filler = (generation * 7919 + note * 104'729) % kLargest[note];
    return "{\\rtf1\\ansi generation " + QByteArray::number(generation) + ' '
        + QByteArray(filler, char('a' + generation % 26)) + '}';
}

TNoteClass noteAt(int note, qint64 generation)
{
    TNoteClass record(noteIds().at(note));
    record.Created = 38718.5;
    record.Left = int(generation % 1000);
    record.Top = 10 * note;
    record.Width = 160 + int(generation % 40);
    record.Height = 160;
    record.Title = QStringLiteral("便笺 %1 第 %2 代").arg(note).arg(generation);
    record.Group = QStringLiteral("G%1").arg(generation % 3);
    // Hidden, so that loading the folder opens no window.
    record.SetHidden(true);
    record.ReservedTime = 38719.5;
    record.AlarmSet = generation % 2 == 1;
    record.AlarmTime = 40000.0 + double(generation);
    record.Content = bodyAt(note, generation);
    return record;
}

qint64 noteGeneration(const TNoteClass &record)
{
    return qint64(record.AlarmTime - 40000.0);
}

QList<TodoTask> projectAt(int project, qint64 generation)
{
    QList<TodoTask> tasks{TodoTask{QStringLiteral("generation %1").arg(generation), false, 0}};
    const int more = int((generation * 31 + project * 7) % 40);
    for (int i = 0; i < more; ++i)
        tasks.append(TodoTask{QStringLiteral("任务 %1 of %2").arg(i).arg(generation), (i + generation) % 3 == 0,
                              qint32((i + generation) % 10)});
    return tasks;
}

qint64 projectGeneration(const QList<TodoTask> &tasks)
{
    for (const TodoTask &task : tasks) {
        if (task.Title.startsWith(QLatin1String("generation ")))
            return task.Title.mid(11).toLongLong();
    }
    return -1;
}

GlobalSettings settingsAt(qint64 generation)
{
    GlobalSettings settings;
    settings.SafeSave = generation % 2 == 1;
    settings.NoteColor = TColor(generation);
    settings.TitleColor = TColor(generation + 1);
    settings.NoteAnimations = generation % 3 == 0;
    settings.NoteTransparency = generation % 5 == 0;
    settings.TitleFont.setFaceName(QStringLiteral("Title %1").arg(generation));
    settings.TitleFont.Size = quint8(generation % 200);
    settings.NoteFont.setFaceName(QStringLiteral("宋体 %1").arg(generation));
    settings.NoteFont.Color = quint32(generation);
    settings.DefNoteWidth = qint32(100 + generation % 1000);
    settings.DefNoteHeight = qint32(200 + generation % 1000);
    settings.TrillFile = QStringLiteral("/sounds/trill-%1.wav").arg(generation);
    return settings;
}

} // namespace KillSaver
