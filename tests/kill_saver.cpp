// Edits and saves notes, to-do projects and the settings in a loop until it
// is killed, for the test that kills it at random moments. After each save
// has returned it records the generation that save completed in the file
// "progress" of the program folder; a later run goes on from there.
//
//   kill_saver <program folder> <home folder>

#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "tests/support/KillSaverModel.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The record of completed saves, rewritten whole and renamed into place
// with plain system calls, so that it does not rely on the writer under test.
class Progress
{
public:
    explicit Progress(const QString &path)
        : m_path(QFile::encodeName(path))
        , m_generations(KillSaver::readProgress(path))
    {
    }

    qint64 next(const QString &key) const { return m_generations.value(key) + 1; }

    void completed(const QString &key, qint64 generation)
    {
        m_generations.insert(key, generation);
        QByteArray text;
        for (auto it = m_generations.cbegin(); it != m_generations.cend(); ++it)
            text += it.key().toUtf8() + ' ' + QByteArray::number(it.value()) + '\n';
        const QByteArray temporary = m_path + ".new";
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ::write(fd, text.constData(), size_t(text.size())) != text.size() || ::close(fd) != 0
            || ::rename(temporary.constData(), m_path.constData()) != 0)
            fail("cannot record progress");
    }

    [[noreturn]] static void fail(const char *what)
    {
        std::fprintf(stderr, "kill_saver: %s\n", what);
        std::_Exit(3);
    }

private:
    QByteArray m_path;
    QHash<QString, qint64> m_generations;
};

void saveForever(Progress &progress)
{
    const int notes = int(KillSaver::noteIds().size());
    const int projects = int(KillSaver::projectNames().size());
    SettingsChanged = true;
    for (;;) {
        for (int note = 0; note < notes; ++note) {
            const QString key = KillSaver::noteKey(note);
            const qint64 generation = progress.next(key);
            if (!KillSaver::noteAt(note, generation).SaveToFile(NoteFileName(KillSaver::noteIds().at(note))))
                Progress::fail("a note was not saved");
            progress.completed(key, generation);
        }
        for (int project = 0; project < projects; ++project) {
            const QString key = KillSaver::projectKey(project);
            const qint64 generation = progress.next(key);
            SaveProject(ProjectFilePath(KillSaver::projectNames().at(project)),
                        KillSaver::projectAt(project, generation));
            progress.completed(key, generation);
        }
        const qint64 generation = progress.next(KillSaver::settingsKey);
        Settings = KillSaver::settingsAt(generation);
        SaveSettings();
        progress.completed(KillSaver::settingsKey, generation);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: kill_saver <program folder> <home folder>\n");
        return 2;
    }
    qputenv("HOME", argv[2]);
    QCoreApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    setProgramFolder(QFile::decodeName(argv[1]));
    InitUserFolder();
    Progress progress(ProgramFolder() + QStringLiteral("progress"));
    try {
        saveForever(progress);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "kill_saver: %s\n", error.what());
    }
    return 1;
}
