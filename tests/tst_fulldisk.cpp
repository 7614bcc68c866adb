// Saving onto a full disk or into a read-only note folder: the old file stays
// whole, the failure is never reported as success, the note window tells the
// user once and keeps the edits, and saving works again once there is room.
//
// The disk is a tiny tmpfs mounted in a mount namespace of the test's own
// (root only; permissions do not stop root). Where that is not allowed, a
// full disk becomes a file-size limit and a read-only folder a folder
// without write permission (which stops everyone but root).

#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteEditor.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/BrisquelError.h"
#include "platform/DateTime.h"
#include "platform/RegistryStore.h"
#include "platform/RtfReader.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/FileSizeLimit.h"
#include "todolist/ToDoListEngine.h"

#include <QtTest>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

enum class Failure { FullDisk, ReadOnly };
enum class Kind { Note, Project, Settings };

const char *const kDiskOptions = "size=1m,mode=0755";

// Mounts made from here on stay inside this process.
bool ownMountNamespace()
{
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// Writes until the filesystem has no room left.
void fillUp(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    QVERIFY(fd >= 0);
    const QByteArray chunk(4096, 'f');
    for (qsizetype size = chunk.size(); size > 0; size /= 2) {
        while (::write(fd, chunk.constData(), size_t(size)) == size) {
        }
    }
    ::close(fd);
}

TNoteClass noteOf(const QByteArray &body)
{
    TNoteClass note(QStringLiteral("N1"));
    note.Created = 38718.5;
    note.ReservedTime = 38719.5;
    note.Title = QStringLiteral("购物");
    note.Content = body;
    return note;
}

QList<TodoTask> tasksOf(int count)
{
    QList<TodoTask> tasks;
    for (int i = 0; i < count; ++i)
        tasks.append(TodoTask{QStringLiteral("task %1 ").arg(i) + QString(200, QLatin1Char('t')), i % 2 == 0, i % 10});
    SortTasks(tasks);
    return tasks;
}

GlobalSettings settingsOf(const QString &trill)
{
    GlobalSettings settings;
    settings.NoteColor = 0x00112233;
    settings.DefNoteWidth = 240;
    settings.TrillFile = trill;
    return settings;
}

} // namespace

Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(Kind)

class TestFullDisk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void noteWindowTellsOnceAndKeepsEdits_data();
    void noteWindowTellsOnceAndKeepsEdits();

private:
    void addFailureRows();
    bool canFail(Failure failure) const;
    void startFailure(Failure failure, qint64 largestFile);
    void endFailure();
    bool save(Kind kind, bool large);
    QString pathOf(Kind kind) const;
    QString typeAndStore(TNoteForm *form, const QString &text);

    QTemporaryDir m_dir;
    QString m_disk;
    bool m_canMount = false;
    bool m_mounted = false;
    std::unique_ptr<FileSizeLimit> m_limit;
    QList<PromptRequest> m_prompts;
    std::unique_ptr<TNotesManager> m_manager;
};

void TestFullDisk::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_disk = m_dir.filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(m_disk));
    m_canMount = ownMountNamespace()
        && ::mount("brisquel-test", QFile::encodeName(m_disk).constData(), "tmpfs", 0, kDiskOptions) == 0;
    if (m_canMount)
        QVERIFY(::umount2(QFile::encodeName(m_disk).constData(), MNT_DETACH) == 0);
    qInfo(m_canMount ? "full disk: a 1 MiB tmpfs filled up; read-only folder: the tmpfs mounted read-only"
                     : "full disk: a file-size limit; read-only folder: a folder without write permission");
    QStandardPaths::setTestModeEnabled(true);
}

void TestFullDisk::init()
{
    if (m_canMount) {
        QVERIFY(::mount("brisquel-test", QFile::encodeName(m_disk).constData(), "tmpfs", 0, kDiskOptions) == 0);
        m_mounted = true;
    }
    // Notes, projects and the settings store all live on the small disk.
    qputenv("HOME", QFile::encodeName(m_disk + QStringLiteral("/home")));
    setProgramFolder(m_disk + QStringLiteral("/program"));
    InitUserFolder();
    QVERIFY(QDir().mkpath(QFileInfo(TRegistry::storeFileName()).absolutePath()));
    Settings = GlobalSettings();
    Settings.NoteAnimations = false;
    Settings.SafeSave = true;
    SettingsChanged = true;
    Starting = false;
    ShuttingDown = false;
    m_prompts.clear();
    setPromptHook([this](const PromptRequest &request) {
        m_prompts.append(request);
        return PromptReply{};
    });
}

void TestFullDisk::cleanup()
{
    endFailure();
    if (m_manager)
        m_manager->CloseAll();
    m_manager.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    setPromptHook({});
    SettingsChanged = false;
    if (m_mounted)
        QVERIFY(::umount2(QFile::encodeName(m_disk).constData(), MNT_DETACH) == 0);
    m_mounted = false;
    QDir(m_disk).removeRecursively();
    QDir().mkpath(m_disk);
}

void TestFullDisk::addFailureRows()
{
    QTest::addColumn<Failure>("failure");
    QTest::newRow("full disk") << Failure::FullDisk;
    QTest::newRow("read-only folder") << Failure::ReadOnly;
}

// Without a mount of its own, root writes into any folder.
bool TestFullDisk::canFail(Failure failure) const
{
    return failure == Failure::FullDisk || m_mounted || ::geteuid() != 0;
}

void TestFullDisk::startFailure(Failure failure, qint64 largestFile)
{
    if (failure == Failure::FullDisk) {
        if (m_mounted)
            fillUp(m_disk + QStringLiteral("/filler"));
        else
            m_limit = std::make_unique<FileSizeLimit>(rlim_t(largestFile));
        return;
    }
    if (m_mounted) {
        QVERIFY(::mount("brisquel-test", QFile::encodeName(m_disk).constData(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                        kDiskOptions)
                == 0);
        return;
    }
    QVERIFY(::chmod(QFile::encodeName(UserFolder).constData(), 0500) == 0);
    QVERIFY(::chmod(QFile::encodeName(QFileInfo(TRegistry::storeFileName()).absolutePath()).constData(), 0500) == 0);
}

void TestFullDisk::endFailure()
{
    m_limit.reset();
    if (!m_mounted) {
        ::chmod(QFile::encodeName(UserFolder).constData(), 0700);
        ::chmod(QFile::encodeName(QFileInfo(TRegistry::storeFileName()).absolutePath()).constData(), 0700);
        return;
    }
    QVERIFY(::mount("brisquel-test", QFile::encodeName(m_disk).constData(), "tmpfs", MS_REMOUNT, kDiskOptions) == 0);
    QFile::remove(m_disk + QStringLiteral("/filler"));
}

QString TestFullDisk::pathOf(Kind kind) const
{
    switch (kind) {
    case Kind::Note:
        return NoteFileName(QStringLiteral("N1"));
    case Kind::Project:
        return ProjectFilePath(QStringLiteral("Errands"));
    case Kind::Settings:
        break;
    }
    return TRegistry::storeFileName();
}

// True only when the save reported success; a failure may be a result or
// an error, as each writer reports it.
bool TestFullDisk::save(Kind kind, bool large)
{
    try {
        switch (kind) {
        case Kind::Note:
            return noteOf(large ? QByteArray(64 * 1024, 'n') : QByteArray("{\\rtf1 old}")).SaveToFile(pathOf(kind));
        case Kind::Project:
            SaveProject(pathOf(kind), tasksOf(large ? 300 : 2));
            return true;
        case Kind::Settings:
            Settings = settingsOf(large ? QString(8000, QLatin1Char('w')) : QStringLiteral("old.wav"));
            SaveSettings();
            return true;
        }
    } catch (const BrisquelError &) {
    }
    return false;
}

void TestFullDisk::failedSaveKeepsOldFile_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Failure>("failure");
    const std::pair<const char *, Kind> kinds[] = {
        {"note", Kind::Note}, {"project", Kind::Project}, {"settings", Kind::Settings}};
    for (const auto &[name, kind] : kinds) {
        QTest::addRow("%s, full disk", name) << kind << Failure::FullDisk;
        QTest::addRow("%s, read-only folder", name) << kind << Failure::ReadOnly;
    }
}

void TestFullDisk::failedSaveKeepsOldFile()
{
    QFETCH(Kind, kind);
    QFETCH(Failure, failure);
    if (!canFail(failure))
        QSKIP("a read-only folder stops root only on a read-only mount, which is not allowed here");
    const QString path = pathOf(kind);
    QVERIFY(save(kind, false));
    const QByteArray old = fileBytes(path);
    QVERIFY(!old.isEmpty());
    const QStringList before = QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden);

    startFailure(failure, old.size() + 16);
    QVERIFY2(!save(kind, true), "a failed save was reported as saved");
    QVERIFY2(!save(kind, true), "a failed save was reported as saved");
    endFailure();

    QCOMPARE(fileBytes(path), old);
    QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden), before);
    // Once there is room again, the same save goes through.
    QVERIFY(save(kind, true));
    switch (kind) {
    case Kind::Note: {
        TNoteClass loaded(QStringLiteral("N1"));
        QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
        QCOMPARE(loaded.Content.size(), 64 * 1024);
        break;
    }
    case Kind::Project: {
        QList<TodoTask> tasks;
        QString reason;
        QVERIFY(LoadProject(path, tasks, reason));
        QVERIFY(tasks == tasksOf(300));
        break;
    }
    case Kind::Settings:
        Settings = GlobalSettings();
        LoadSettings();
        QCOMPARE(Settings.TrillFile, QString(8000, QLatin1Char('w')));
        QCOMPARE(Settings.DefNoteWidth, 240);
        break;
    }
    QVERIFY(m_prompts.isEmpty());
}

// Types into the note and lets the window's delayed store run, which saves
// the note when SafeSave is on.
QString TestFullDisk::typeAndStore(TNoteForm *form, const QString &text)
{
    QSignalSpy stored(form->UpdateTimer, &QTimer::timeout);
    QTest::keyClicks(form->NoteEdit(), text);
    if (!stored.wait(5000))
        return QStringLiteral("the window did not store its edits");
    return QString();
}

void TestFullDisk::noteWindowTellsOnceAndKeepsEdits_data()
{
    addFailureRows();
}

void TestFullDisk::noteWindowTellsOnceAndKeepsEdits()
{
    QFETCH(Failure, failure);
    if (!canFail(failure))
        QSKIP("a read-only folder stops root only on a read-only mount, which is not allowed here");
    m_manager = std::make_unique<TNotesManager>();
    TNoteWrapper *wrapper = m_manager->NewNote();
    const QPointer<TNoteForm> form = wrapper->Window.data();
    QVERIFY(form);
    const auto storedText = [&] {
        TNoteClass stored(wrapper->NoteID);
        return stored.LoadFromFile(wrapper->FileName) == TNoteClass::LoadResult::Loaded ? Rtf::toPlainText(stored.Content) : QStringLiteral("<unreadable>");
    };
    QCOMPARE(typeAndStore(form, QStringLiteral("milk")), QString());
    QCOMPARE(storedText(), QStringLiteral("milk"));
    const QByteArray saved = fileBytes(wrapper->FileName);

    startFailure(failure, saved.size());
    QCOMPARE(typeAndStore(form, QStringLiteral(" eggs")), QString());
    QCOMPARE(typeAndStore(form, QStringLiteral(" bread")), QString());
    wrapper->Save();
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.first().kind, PromptKind::Error);
    QCOMPARE(m_prompts.first().caption, QStringLiteral("错误"));
    QVERIFY2(m_prompts.first().text.contains(wrapper->FileName), qPrintable(m_prompts.first().text));
    QCOMPARE(fileBytes(wrapper->FileName), saved);
    // The edits stay in the window and in the note record.
    QCOMPARE(form->NoteEdit()->toPlainText(), QStringLiteral("milk eggs bread"));
    QCOMPARE(Rtf::toPlainText(wrapper->Note->Content), QStringLiteral("milk eggs bread"));
    endFailure();

    QCOMPARE(typeAndStore(form, QStringLiteral(" tea")), QString());
    QCOMPARE(storedText(), QStringLiteral("milk eggs bread tea"));
    QCOMPARE(m_prompts.size(), 1);

    // A later failure is told again, once.
    startFailure(failure, fileBytes(wrapper->FileName).size());
    QCOMPARE(typeAndStore(form, QStringLiteral(" jam")), QString());
    wrapper->Save();
    endFailure();
    QCOMPARE(m_prompts.size(), 2);
    QCOMPARE(storedText(), QStringLiteral("milk eggs bread tea"));
    QCOMPARE(form->NoteEdit()->toPlainText(), QStringLiteral("milk eggs bread tea jam"));
}

QTEST_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
