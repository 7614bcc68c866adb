#include "fuzz/ReaderChecks.h"

#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "notes/ClassesUnit.h"
#include "platform/BrisquelError.h"
#include "platform/RegistryStore.h"
#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"
#include "todolist/ToDoListEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextDocument>

#include <algorithm>

namespace ReaderChecks {

namespace {

// The text a legacy note gets for a body it cannot read; the only body that
// may be longer than a tiny file.
constexpr qsizetype kLegacyErrorBody = 16;

QString &folder()
{
    static QString path;
    return path;
}

QString pathOf(const QString &name)
{
    return folder() + QLatin1Char('/') + name;
}

bool writeFile(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes.data(), bytes.size()) == bytes.size();
}

QString loadNote(const QString &path, TNoteClass &note, bool &loaded)
{
    try {
        loaded = note.LoadFromFile(path) == TNoteClass::LoadResult::Loaded;
    } catch (const BrisquelError &error) {
        return QStringLiteral("a note file that exists could not be read: ") + error.message();
    }
    return QString();
}

// Tasks as saving keeps them: the order may change with the titles, the
// marks and priorities may not (no priority reads back as 9).
QList<std::pair<bool, qint32>> marksAndPriorities(const QList<TodoTask> &tasks)
{
    QList<std::pair<bool, qint32>> kept;
    kept.reserve(tasks.size());
    for (const TodoTask &task : tasks)
        kept.append({task.Checked, task.Priority == kNoPriority ? 9 : task.Priority});
    std::sort(kept.begin(), kept.end());
    return kept;
}

} // namespace

void prepare(const QString &path)
{
    folder() = path;
    QDir().mkpath(path);
    qputenv("HOME", QFile::encodeName(path));
    QStandardPaths::setTestModeEnabled(true);
    setProgramFolder(path);
    InitUserFolder();
    QDir().mkpath(QFileInfo(TRegistry::storeFileName()).absolutePath());
}

QString note(QByteArrayView input)
{
    const QString path = pathOf(QStringLiteral("N1.knt"));
    if (!writeFile(path, input))
        return QStringLiteral("cannot write the input");
    TNoteClass note(QStringLiteral("N1"));
    bool loaded = false;
    if (const QString problem = loadNote(path, note, loaded); !problem.isEmpty())
        return problem;
    if (note.Content.size() > std::max(input.size(), kLegacyErrorBody))
        return QStringLiteral("the body is larger than the file");
    if (note.Title.size() + note.Group.size() + note.LinkedFile.size() > input.size() + 64)
        return QStringLiteral("the texts are larger than the file");
    if (!loaded)
        return QString();

    const QByteArray written = note.toFileBytes();
    if (!writeFile(path, written))
        return QStringLiteral("cannot write the saved note");
    TNoteClass again(QStringLiteral("N1"));
    if (const QString problem = loadNote(path, again, loaded); !problem.isEmpty())
        return problem;
    if (!loaded)
        return QStringLiteral("a loaded note does not load again once saved");
    if (again.toFileBytes() != written)
        return QStringLiteral("a loaded note changes when saved a second time");
    return QString();
}

QString rtf(QByteArrayView input)
{
    const QString plain = Rtf::toPlainText(input);
    // A bare line feed of plain text becomes CR LF: at most two characters
    // for each byte.
    if (plain.size() > 2 * input.size() + 2)
        return QStringLiteral("the plain text is longer than the body allows");
    QTextDocument document;
    Rtf::readInto(document, input);
    const QByteArray written = Rtf::write(document);
    if (Rtf::toPlainText(written) != plain)
        return QStringLiteral("the document and the plain-text reader disagree on the text");
    QTextDocument again;
    Rtf::readInto(again, written);
    if (Rtf::write(again) != written)
        return QStringLiteral("our own body does not read back as itself");
    return QString();
}

QString todo(QByteArrayView input)
{
    const QString path = pathOf(QStringLiteral("input.tdl"));
    if (!writeFile(path, input))
        return QStringLiteral("cannot write the input");
    QList<TodoTask> tasks;
    QString reason;
    if (!LoadProject(path, tasks, reason))
        return QStringLiteral("a readable file did not load: ") + reason;
    // Every task takes at least a line break or a section of the file.
    if (tasks.size() > input.size() + 1)
        return QStringLiteral("more tasks than the file has room for");

    const QString saved = pathOf(QStringLiteral("saved.tdl"));
    try {
        SaveProject(saved, tasks);
    } catch (const BrisquelError &error) {
        return error.message();
    }
    QList<TodoTask> again;
    if (!LoadProject(saved, again, reason))
        return QStringLiteral("a saved project does not load: ") + reason;
    if (marksAndPriorities(again) != marksAndPriorities(tasks))
        return QStringLiteral("saving changed the tasks");
    return QString();
}

QString registry(QByteArrayView input)
{
    const QByteArray written = RegistryDocument::parse(input.toByteArray()).serialize();
    if (RegistryDocument::parse(written).serialize() != written)
        return QStringLiteral("the store does not read back what it wrote");

    if (!writeFile(TRegistry::storeFileName(), input))
        return QStringLiteral("cannot write the input");
    Settings = GlobalSettings();
    try {
        LoadSettings();
    } catch (const BrisquelError &error) {
        return QStringLiteral("loading the settings failed: ") + error.message();
    }
    return QString();
}

} // namespace ReaderChecks
