// A process that saves notes, to-do projects and the settings is killed at
// random moments; each time, everything it saved must read back whole, at
// the generation it last completed or the one it was writing.

#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "notes/NoteManagerUnit.h"
#include "platform/RegistryStore.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/KillSaverModel.h"

#include <QtTest>

#include <sys/inotify.h>
#include <unistd.h>

#include <functional>

namespace {

constexpr int kDefaultKills = 200;
// Kills fall anywhere from the saver's start-up to a few rounds of saves.
constexpr int kLongestLifeMs = 400;

const QStringList kProgramFilters{QStringLiteral("*.knt"), QStringLiteral("*.tdl")};

int killCount()
{
    bool ok = false;
    const int count = qEnvironmentVariableIntValue("BRISQUEL_KILL_COUNT", &ok);
    return ok && count > 0 ? count : kDefaultKills;
}

quint32 killSeed()
{
    bool ok = false;
    const int seed = qEnvironmentVariableIntValue("BRISQUEL_KILL_SEED", &ok);
    return ok ? quint32(seed) : QRandomGenerator::global()->generate();
}

// The settings SaveSettings writes, each with what the store holds for it
// and what a generation puts there.
struct StoredSetting
{
    QString name;
    std::function<QVariant(const TRegistry &, const QString &)> read;
    std::function<QVariant(const GlobalSettings &)> expected;
};

QVariant readFont(const TRegistry &registry, const QString &name)
{
    QByteArray buffer(FontRecord::kSize, '\0');
    buffer.truncate(registry.ReadBinaryData(name, buffer.data(), FontRecord::kSize));
    return buffer;
}

QVariant readBool(const TRegistry &registry, const QString &name)
{
    return registry.ReadBool(name);
}

QVariant readInteger(const TRegistry &registry, const QString &name)
{
    return registry.ReadInteger(name);
}

const QList<StoredSetting> &storedSettings()
{
    static const QList<StoredSetting> settings{
        {QStringLiteral("SafeSave"), readBool, [](const GlobalSettings &s) { return QVariant(s.SafeSave); }},
        {QStringLiteral("NoteColor"), readInteger, [](const GlobalSettings &s) { return QVariant(qint32(s.NoteColor)); }},
        {QStringLiteral("TitleColor"), readInteger,
         [](const GlobalSettings &s) { return QVariant(qint32(s.TitleColor)); }},
        {QStringLiteral("NoteAnimations"), readBool, [](const GlobalSettings &s) { return QVariant(s.NoteAnimations); }},
        {QStringLiteral("NoteTransparency"), readBool,
         [](const GlobalSettings &s) { return QVariant(s.NoteTransparency); }},
        {QStringLiteral("TitleFont"), readFont, [](const GlobalSettings &s) { return QVariant(s.TitleFont.toBytes()); }},
        {QStringLiteral("NoteFont"), readFont, [](const GlobalSettings &s) { return QVariant(s.NoteFont.toBytes()); }},
        {QStringLiteral("TrillFile"), [](const TRegistry &r, const QString &name) { return QVariant(r.ReadString(name)); },
         [](const GlobalSettings &s) { return QVariant(s.TrillFile); }},
        {QStringLiteral("DefNoteWidth"), readInteger, [](const GlobalSettings &s) { return QVariant(s.DefNoteWidth); }},
        {QStringLiteral("DefNoteHeight"), readInteger, [](const GlobalSettings &s) { return QVariant(s.DefNoteHeight); }},
    };
    return settings;
}

// True when the store holds the value a generation writes (none for 0).
bool holdsGeneration(const TRegistry &registry, const StoredSetting &setting, qint64 generation)
{
    if (generation == 0)
        return !registry.ValueExists(setting.name);
    try {
        return registry.ValueExists(setting.name)
            && setting.read(registry, setting.name) == setting.expected(KillSaver::settingsAt(generation));
    } catch (const ERegistryException &) {
        return false;
    }
}

bool sameSettings(const GlobalSettings &a, const GlobalSettings &b)
{
    return a.SafeSave == b.SafeSave && a.NoteColor == b.NoteColor && a.TitleColor == b.TitleColor
        && a.NoteAnimations == b.NoteAnimations && a.NoteTransparency == b.NoteTransparency
        && a.TitleFont.toBytes() == b.TitleFont.toBytes() && a.NoteFont.toBytes() == b.NoteFont.toBytes()
        && a.DefNoteWidth == b.DefNoteWidth && a.DefNoteHeight == b.DefNoteHeight && a.TrillFile == b.TrillFile;
}

// Names that appear in a folder while something is written there.
class KillWatch
{
public:
    explicit KillWatch(const QString &folder)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0)
            inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO);
    }
    ~KillWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    KillWatch(const KillWatch &) = delete;
    KillWatch &operator=(const KillWatch &) = delete;

    bool isValid() const { return m_fd >= 0; }

    QStringList names() const
    {
        QStringList seen;
        alignas(inotify_event) char buffer[64 * 1024];
        ssize_t length;
        while ((length = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            for (ssize_t offset = 0; offset < length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
                if (event->len > 0)
                    seen.append(QFile::decodeName(event->name));
                offset += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        seen.removeDuplicates();
        return seen;
    }

private:
    int m_fd;
};

} // namespace

class TestKillSaves : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void temporaryFilesNeverPassForNotes_data();
    void temporaryFilesNeverPassForNotes();
    void killedSaverLosesNothing();

private:
    struct Tally
    {
        int ahead = 0;      // a file one save past the record: killed before recording
        QStringList strays; // temporary files kills left behind
    };

    void checkNotes(const QHash<QString, qint64> &progress, QStringList &present, Tally &tally);
    void checkProjects(const QHash<QString, qint64> &progress, QStringList &present, Tally &tally);
    void checkSettings(qint64 completed, Tally &tally);
    void checkFolder(const QHash<QString, qint64> &progress, Tally &tally);

    QTemporaryDir m_dir;
    QString m_program;
    QString m_home;
    QStringList m_prompts;
};

void TestKillSaves::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_program = m_dir.filePath(QStringLiteral("program"));
    m_home = m_dir.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(m_program) && QDir().mkpath(m_home));
    // The saver is started with this home folder and the same test paths.
    qputenv("HOME", QFile::encodeName(m_home));
    QStandardPaths::setTestModeEnabled(true);
    setProgramFolder(m_program);
    InitUserFolder();
    setPromptHook([this](const PromptRequest &request) {
        m_prompts << request.text;
        return PromptReply{};
    });
}

void TestKillSaves::cleanup()
{
    QVERIFY2(m_prompts.isEmpty(), qPrintable(m_prompts.join(QLatin1Char('\n'))));
}

void TestKillSaves::temporaryFilesNeverPassForNotes_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("note") << QStringLiteral("N1A2B3C00.knt");
    QTest::newRow("note named with a placeholder run") << QStringLiteral("NXXXXXXXX.knt");
    QTest::newRow("project") << QStringLiteral("Plan 2.1.tdl");
    QTest::newRow("project named with a placeholder run") << QStringLiteral("XXXXXX.tdl");
    QTest::newRow("project with lower-case x") << QStringLiteral("xxxxxxxx.tdl");
}

void TestKillSaves::temporaryFilesNeverPassForNotes()
{
    QFETCH(QString, fileName);
    QTemporaryDir folder;
    const QString path = folder.filePath(fileName);
    const bool note = fileName.endsWith(QLatin1String(".knt"));
    const auto save = [&](qint64 generation) {
        if (note)
            QVERIFY(KillSaver::noteAt(1, generation).SaveToFile(path));
        else
            SaveProject(path, KillSaver::projectAt(0, generation));
    };
    save(1);
    KillWatch watch(folder.path());
    QVERIFY(watch.isValid());
    // Replacing a file is where the writer needs a name of its own.
    save(2);
    const QStringList seen = watch.names();
    QVERIFY2(seen.size() > 1, qPrintable(seen.join(QLatin1Char(' '))));
    for (const QString &name : seen) {
        if (name != fileName)
            QVERIFY2(!QDir::match(kProgramFilters, name), qPrintable(name));
    }
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{fileName});
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(QFileInfo(path).permissions() & others, QFile::Permissions());
    if (note) {
        QCOMPARE(fileBytes(path), KillSaver::noteAt(1, 2).toFileBytes());
    } else {
        QList<TodoTask> tasks;
        QString reason;
        QVERIFY(LoadProject(path, tasks, reason));
        QCOMPARE(KillSaver::projectGeneration(tasks), 2);
    }
}

void TestKillSaves::checkNotes(const QHash<QString, qint64> &progress, QStringList &present, Tally &tally)
{
    const QStringList ids = KillSaver::noteIds();
    for (int note = 0; note < ids.size(); ++note) {
        const qint64 completed = progress.value(KillSaver::noteKey(note));
        const QString path = NoteFileName(ids.at(note));
        if (!QFile::exists(path)) {
            QVERIFY2(completed == 0, qPrintable(path + QStringLiteral(" is gone")));
            continue;
        }
        TNoteClass loaded(ids.at(note));
        QVERIFY2(loaded.LoadFromFile(path) == TNoteClass::LoadResult::Loaded, qPrintable(path + QStringLiteral(" does not load")));
        const qint64 generation = KillSaver::noteGeneration(loaded);
        QVERIFY2(generation == completed || generation == completed + 1,
                 qPrintable(QStringLiteral("%1 holds generation %2 after %3 completed")
                                .arg(path)
                                .arg(generation)
                                .arg(completed)));
        QVERIFY2(fileBytes(path) == KillSaver::noteAt(note, generation).toFileBytes(), qPrintable(path));
        tally.ahead += generation > completed ? 1 : 0;
        present << ids.at(note);
    }
}

void TestKillSaves::checkProjects(const QHash<QString, qint64> &progress, QStringList &present, Tally &tally)
{
    const QStringList names = KillSaver::projectNames();
    for (int project = 0; project < names.size(); ++project) {
        const qint64 completed = progress.value(KillSaver::projectKey(project));
        const QString path = ProjectFilePath(names.at(project));
        if (!QFile::exists(path)) {
            QVERIFY2(completed == 0, qPrintable(path + QStringLiteral(" is gone")));
            continue;
        }
        QList<TodoTask> tasks;
        QString reason;
        QVERIFY2(LoadProject(path, tasks, reason), qPrintable(reason));
        const qint64 generation = KillSaver::projectGeneration(tasks);
        QVERIFY2(generation == completed || generation == completed + 1,
                 qPrintable(QStringLiteral("%1 holds generation %2 after %3 completed")
                                .arg(path)
                                .arg(generation)
                                .arg(completed)));
        QList<TodoTask> expected = KillSaver::projectAt(project, generation);
        SortTasks(expected);
        QVERIFY2(tasks == expected, qPrintable(path));
        tally.ahead += generation > completed ? 1 : 0;
        present << names.at(project);
    }
}

// SaveSettings stores its values together, so after a kill the store holds
// every value of one generation: the last completed or the one being written.
void TestKillSaves::checkSettings(qint64 completed, Tally &tally)
{
    const QByteArray stored = fileBytes(TRegistry::storeFileName());
    if (!stored.isEmpty())
        QVERIFY2(RegistryDocument::parse(stored).serialize() == stored, "the settings store is not complete");

    TRegistry registry;
    const bool keyExists = registry.OpenKeyReadOnly(BrisquelKey);
    QVERIFY(keyExists || completed == 0);
    const QList<StoredSetting> &settings = storedSettings();
    const qint64 generation = holdsGeneration(registry, settings.first(), completed + 1) ? completed + 1 : completed;
    for (const StoredSetting &setting : settings)
        QVERIFY2(holdsGeneration(registry, setting, generation),
                 qPrintable(QStringLiteral("%1 does not hold generation %2 like the values before it")
                                .arg(setting.name)
                                .arg(generation)));
    tally.ahead += generation > completed ? 1 : 0;
    if (generation == 0)
        return;
    Settings = GlobalSettings();
    LoadSettings();
    QVERIFY2(sameSettings(Settings, KillSaver::settingsAt(generation)), "loaded settings differ");
}

void TestKillSaves::checkFolder(const QHash<QString, qint64> &progress, Tally &tally)
{
    QStringList notes;
    QStringList projects;
    checkNotes(progress, notes, tally);
    if (QTest::currentTestFailed())
        return;
    checkProjects(progress, projects, tally);
    if (QTest::currentTestFailed())
        return;
    checkSettings(progress.value(KillSaver::settingsKey), tally);
    if (QTest::currentTestFailed())
        return;

    // What the program itself finds in the folder: exactly these notes and
    // projects, whatever else a kill left there.
    TNotesManager manager;
    QStringList listed;
    for (int i = 0; i < manager.Notes.Count(); ++i) {
        QVERIFY(!manager.Notes.Get(i)->Damaged);
        listed << manager.Notes.Get(i)->NoteID;
    }
    listed.sort();
    notes.sort();
    QCOMPARE(listed, notes);
    QStringList projectList = ListProjects();
    projectList.sort();
    projects.sort();
    QCOMPARE(projectList, projects);

    QStringList strays = QDir(UserFolder).entryList(QDir::Files | QDir::Hidden);
    for (const QString &note : std::as_const(notes))
        strays.removeOne(note + QStringLiteral(".knt"));
    for (const QString &project : std::as_const(projects))
        strays.removeOne(project + QStringLiteral(".tdl"));
    tally.strays = strays;
}

void TestKillSaves::killedSaverLosesNothing()
{
    const int kills = killCount();
    const quint32 seed = killSeed();
    QRandomGenerator random(seed);
    qInfo("killing the saver %d times (BRISQUEL_KILL_SEED=%u repeats this run)", kills, seed);
    Tally tally;
    const QString progressFile = ProgramFolder() + QStringLiteral("progress");
    for (int round = 1; round <= kills; ++round) {
        QProcess saver;
        saver.setProcessChannelMode(QProcess::SeparateChannels);
        saver.start(QStringLiteral(KILL_SAVER), {m_program, m_home});
        QVERIFY2(saver.waitForStarted(), qPrintable(saver.errorString()));
        QThread::msleep(random.bounded(kLongestLifeMs));
        saver.kill();
        QVERIFY(saver.waitForFinished(60000));
        // The saver never stops by itself: anything but the kill is a failed save.
        QVERIFY2(saver.exitStatus() == QProcess::CrashExit,
                 qPrintable(QStringLiteral("round %1: %2").arg(round).arg(QString::fromLocal8Bit(saver.readAllStandardError()))));
        checkFolder(KillSaver::readProgress(progressFile), tally);
        if (QTest::currentTestFailed()) {
            qWarning("failed after kill %d", round);
            return;
        }
    }
    const QHash<QString, qint64> progress = KillSaver::readProgress(progressFile);
    qint64 saves = 0;
    for (const qint64 generation : progress)
        saves += generation;
    qInfo("%d kills: %lld saves completed, %d files found one save past the record, temporary files left "
          "behind: %s; nothing lost or damaged",
          kills, saves, tally.ahead,
          tally.strays.isEmpty() ? "none" : qPrintable(tally.strays.join(QLatin1Char(' '))));
    // The saver got through whole rounds, so every kind of file was tried.
    QVERIFY(progress.value(KillSaver::settingsKey) > 0);
}

QTEST_MAIN(TestKillSaves)
#include "tst_killsaves.moc"
