#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "dialogs/ConfigurationFormUnit.h"
#include "notes/ClassesUnit.h"
#include "notes/NoteManagerUnit.h"
#include "notes/NoteWrapper.h"
#include "platform/RegistryStore.h"
#include "tests/FileSizeLimit.h"
#include "todolist/ToDoListEngine.h"
#include "todolist/ToDoListFormUnit.h"

#include <QLineEdit>
#include <QTabWidget>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file of a folder with its bytes.
QMap<QString, QByteArray> folderContents(const QString &folder)
{
    QMap<QString, QByteArray> contents;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        contents.insert(name, fileBytes(dir.filePath(name)));
    return contents;
}

QStringList noteIds()
{
    QStringList ids;
    for (TNoteWrapper *wrapper : NoteEngine->Manager->Notes.snapshot())
        ids << wrapper->NoteID;
    ids.sort();
    return ids;
}

} // namespace

class TestNoteFolderChoice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void chosenFolderIsUsedNowAndAtNextStart();
    void movingCopiesChecksAndRemoves();
    void failedMoveRemovesNothing_data();
    void failedMoveRemovesNothing();
    void unusableStoredFolderFallsBackOnce();
    void movingIntoALinkToTheSameFolderKeepsTheNotes();

private:
    void writeNote(const QString &folder, const QString &name, const QByteArray &content = QByteArray());
    // Opens the options through the engine, lets `choose` work the dialog
    // and confirms it with OK.
    void configure(const std::function<void(TConfigurationForm &)> &choose);
    void configureFolder(const QString &folder);

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_elsewhere;
    QString m_default;
    bool m_moveAnswer = false;
    QList<PromptRequest> m_prompts;
};

void TestNoteFolderChoice::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(TRegistry::storeFileName().startsWith(m_home.path() + u'/'));
}

void TestNoteFolderChoice::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_elsewhere = std::make_unique<QTemporaryDir>();
    QVERIFY(m_program->isValid() && m_elsewhere->isValid());
    setProgramFolder(m_program->path());
    QDir(QFileInfo(TRegistry::storeFileName()).absolutePath()).removeRecursively();
    Settings = GlobalSettings();
    Settings.NoteAnimations = false;
    SettingsChanged = false;
    Starting = false;
    ShellReady = true;
    m_default = DefaultUserFolder();
    QVERIFY(QDir().mkpath(m_default));
    m_moveAnswer = false;
    m_prompts.clear();
    setPromptHook([this](const PromptRequest &request) {
        m_prompts << request;
        return PromptReply{request.kind != PromptKind::Confirmation || m_moveAnswer, request.defaultText};
    });
}

void TestNoteFolderChoice::cleanup()
{
    if (ToDoListForm)
        delete ToDoListForm;
    DestroyNoteEngine();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QDir(QFileInfo(TRegistry::storeFileName()).absolutePath()).removeRecursively();
    setPromptHook({});
    m_program.reset();
    m_elsewhere.reset();
}

void TestNoteFolderChoice::writeNote(const QString &folder, const QString &name, const QByteArray &content)
{
    TNoteClass note(QFileInfo(name).completeBaseName());
    note.Title = note.NoteID;
    note.Left = 40;
    note.Top = 40;
    note.Width = 160;
    note.Height = 160;
    note.Content = content;
    // Hidden: no window rewrites the body while the test runs.
    note.SetHidden(true);
    QVERIFY(note.SaveToFile(QDir(folder).filePath(name)));
}

void TestNoteFolderChoice::configure(const std::function<void(TConfigurationForm &)> &choose)
{
    bool answered = false;
    QTimer poll;
    poll.setInterval(1);
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<TConfigurationForm *>(QApplication::activeModalWidget());
        if (answered || !dialog || !dialog->isVisible())
            return;
        answered = true;
        choose(*dialog);
        auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("OKBtn"));
        if (ok)
            QTest::mouseClick(ok, Qt::LeftButton);
        else
            dialog->reject();
    });
    poll.start();
    NoteEngine->Configure();
    QVERIFY(answered);
}

void TestNoteFolderChoice::configureFolder(const QString &folder)
{
    configure([folder](TConfigurationForm &dialog) {
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("NoteFolderEdit"));
        QVERIFY(edit && edit->isEnabled());
        edit->setText(folder);
    });
}

void TestNoteFolderChoice::chosenFolderIsUsedNowAndAtNextStart()
{
    writeNote(m_default, QStringLiteral("N01.knt"));
    const QString chosen = m_elsewhere->filePath(QStringLiteral("Sync/Notes"));
    CreateNoteEngine();
    QCOMPARE(noteIds(), QStringList{QStringLiteral("N01")});

    // Declined: the new folder is used at once, the old notes stay where they are.
    configureFolder(chosen);
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.constFirst().kind, PromptKind::Confirmation);
    QCOMPARE(m_prompts.constFirst().text, QStringLiteral("是否把现有的便笺和任务移到新的文件夹?"));
    QCOMPARE(NoteFolderChoice(), chosen);
    QCOMPARE(UserFolder, chosen + u'/');
    QVERIFY(noteIds().isEmpty());
    QVERIFY(QFile::exists(m_default + QStringLiteral("N01.knt")));
    writeNote(chosen, QStringLiteral("N02.knt"));

    DestroyNoteEngine();
    CreateNoteEngine();
    QCOMPARE(UserFolder, chosen + u'/');
    QCOMPARE(noteIds(), QStringList{QStringLiteral("N02")});

    // The dialog shows the folder in use; "默认" goes back to the default one.
    m_prompts.clear();
    configure([&](TConfigurationForm &dialog) {
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("NoteFolderEdit"));
        auto *reset = dialog.findChild<QToolButton *>(QStringLiteral("NoteFolderDefault"));
        QVERIFY(edit && reset);
        QCOMPARE(edit->text(), chosen);
        QCOMPARE(edit->placeholderText(), QDir::cleanPath(m_default));
        QCOMPARE(reset->text(), QStringLiteral("默认"));
        // The row fits on the options tab, which has no scroll bars.
        dialog.PageControl1->setCurrentWidget(dialog.Options);
        for (const QWidget *control : {static_cast<QWidget *>(edit), static_cast<QWidget *>(reset)})
            QVERIFY(dialog.Options->rect().contains(control->geometry()));
        QTest::mouseClick(reset, Qt::LeftButton);
        QVERIFY(edit->text().isEmpty());
    });
    QCOMPARE(m_prompts.size(), 1);
    QVERIFY(NoteFolderChoice().isEmpty());
    QCOMPARE(UserFolder, m_default);
    QCOMPARE(noteIds(), QStringList{QStringLiteral("N01")});
    QVERIFY(QFile::exists(chosen + QStringLiteral("/N02.knt")));

    // Confirming the folder in use asks nothing.
    m_prompts.clear();
    configure([](TConfigurationForm &) {});
    QVERIFY(m_prompts.isEmpty());
}

void TestNoteFolderChoice::movingCopiesChecksAndRemoves()
{
    writeNote(m_default, QStringLiteral("N01.knt"), QByteArrayLiteral("{\\rtf1 one}"));
    writeNote(m_default, QStringLiteral("N02.KNT"), QByteArrayLiteral("{\\rtf1 two}"));
    SaveProject(m_default + QStringLiteral("plan.tdl"), {TodoTask{QStringLiteral("buy milk"), true, 3}});
    QFile stray(m_default + QStringLiteral("readme.txt"));
    QVERIFY(stray.open(QIODevice::WriteOnly) && stray.write("stays") == 5);
    stray.close();
    const QMap<QString, QByteArray> before = folderContents(m_default);
    const QString chosen = m_elsewhere->filePath(QStringLiteral("Nextcloud/Notes"));

    CreateNoteEngine();
    ShowTodoWindow();
    QVERIFY(ToDoListForm);
    m_moveAnswer = true;
    configureFolder(chosen);

    QCOMPARE(m_prompts.size(), 1);
    QVERIFY(!ToDoListForm);
    QMap<QString, QByteArray> moved = before;
    moved.remove(QStringLiteral("readme.txt"));
    QCOMPARE(folderContents(chosen), moved);
    QCOMPARE(folderContents(m_default).keys(), QStringList{QStringLiteral("readme.txt")});
    QCOMPARE(UserFolder, chosen + u'/');
    QCOMPARE(noteIds(), (QStringList{QStringLiteral("N01"), QStringLiteral("N02")}));
    QCOMPARE(ListProjects(), QStringList{QStringLiteral("plan")});
}

void TestNoteFolderChoice::failedMoveRemovesNothing_data()
{
    QTest::addColumn<bool>("sizeLimit");
    QTest::addColumn<QString>("failing");
    QTest::newRow("copy cut short") << true << QStringLiteral("N02.knt");
    QTest::newRow("other file of that name") << false << QStringLiteral("N02.knt");
}

void TestNoteFolderChoice::failedMoveRemovesNothing()
{
    QFETCH(bool, sizeLimit);
    QFETCH(QString, failing);
    writeNote(m_default, QStringLiteral("N01.knt"), QByteArrayLiteral("{\\rtf1 small}"));
    writeNote(m_default, QStringLiteral("N02.knt"), QByteArray(40000, 'x'));
    writeNote(m_default, QStringLiteral("N03.knt"), QByteArrayLiteral("{\\rtf1 last}"));
    const QMap<QString, QByteArray> before = folderContents(m_default);
    const QString chosen = m_elsewhere->filePath(QStringLiteral("Sync"));
    QVERIFY(QDir().mkpath(chosen));
    QMap<QString, QByteArray> already;
    if (!sizeLimit) {
        writeNote(chosen, failing, QByteArrayLiteral("{\\rtf1 someone else's}"));
        already = folderContents(chosen);
    }

    CreateNoteEngine();
    m_moveAnswer = true;
    {
        // Large enough for the settings store and the small notes.
        std::unique_ptr<FileSizeLimit> limit(sizeLimit ? new FileSizeLimit(16000) : nullptr);
        configureFolder(chosen);
    }

    QCOMPARE(folderContents(m_default), before);
    QCOMPARE(folderContents(chosen), already);
    QCOMPARE(m_prompts.size(), 2);
    QCOMPARE(m_prompts.at(1).kind, PromptKind::Error);
    QVERIFY2(m_prompts.at(1).text.contains(failing), qPrintable(m_prompts.at(1).text));
    QVERIFY(NoteFolderChoice().isEmpty());
    QCOMPARE(UserFolder, m_default);
    QCOMPARE(noteIds(), (QStringList{QStringLiteral("N01"), QStringLiteral("N02"), QStringLiteral("N03")}));
}

void TestNoteFolderChoice::unusableStoredFolderFallsBackOnce()
{
    writeNote(m_default, QStringLiteral("N01.knt"));
    const QString blocker = m_elsewhere->filePath(QStringLiteral("file"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    StoreNoteFolderChoice(blocker + QStringLiteral("/Notes"));

    CreateNoteEngine();
    QCOMPARE(UserFolder, m_default);
    QCOMPARE(noteIds(), QStringList{QStringLiteral("N01")});
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.constFirst().kind, PromptKind::Warning);
    QVERIFY(m_prompts.constFirst().text.contains(blocker + QStringLiteral("/Notes")));
    // The choice stays for a start at which the folder can be used again.
    QCOMPARE(NoteFolderChoice(), blocker + QStringLiteral("/Notes"));
}

void TestNoteFolderChoice::movingIntoALinkToTheSameFolderKeepsTheNotes()
{
    writeNote(m_default, QStringLiteral("N01.knt"));
    const QMap<QString, QByteArray> before = folderContents(m_default);
    const QString link = m_elsewhere->filePath(QStringLiteral("link"));
    QVERIFY(QFile::link(m_default, link));

    CreateNoteEngine();
    m_moveAnswer = true;
    configureFolder(link);

    QCOMPARE(folderContents(m_default), before);
    QCOMPARE(UserFolder, link + u'/');
    QCOMPARE(noteIds(), QStringList{QStringLiteral("N01")});
}

QTEST_MAIN(TestNoteFolderChoice)
#include "tst_notefolder_choice.moc"
