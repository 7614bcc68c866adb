#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "dialogs/ConfigurationFormUnit.h"
#include "notes/NoteWrapper.h"
#include "platform/RegistryStore.h"
#include "tests/support/FileSizeLimit.h"
#include "todolist/ToDoListEngine.h"
#include "todolist/ToDoListFormUnit.h"

#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// Every file of a folder and its subfolders with its bytes and, for the
// deleted notes, the time of the deletion.
QMap<QString, QByteArray> folderContents(const QString &folder)
{
    QMap<QString, QByteArray> contents;
    const QDir dir(folder);
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        QFile file(path);
        QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
        if (path.contains(QLatin1String("/Deleted/")))
            bytes += QByteArray::number(QFileInfo(path).lastModified().toSecsSinceEpoch());
        contents.insert(dir.relativeFilePath(path), bytes);
    }
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

// Hidden, so that no window rewrites the body while the test runs.
void writeNote(const QString &folder, const QString &name, const QByteArray &content = "{\\rtf1 x}")
{
    TNoteClass note(QFileInfo(name).completeBaseName());
    note.Width = note.Height = 160;
    note.Content = content;
    note.SetHidden(true);
    QVERIFY(note.SaveToFile(QDir(folder).filePath(name)));
}

// Opens the options through the engine, lets `choose` work the dialog and
// presses OK.
void configure(const std::function<void(TConfigurationForm &)> &choose)
{
    bool answered = false;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<TConfigurationForm *>(QApplication::activeModalWidget());
        if (answered || !dialog || !dialog->isVisible())
            return;
        answered = true;
        choose(*dialog);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("OKBtn")), Qt::LeftButton);
    });
    poll.start();
    NoteEngine->Configure();
    QVERIFY(answered);
}

void configureFolder(const QString &folder)
{
    configure([folder](TConfigurationForm &dialog) {
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("NoteFolderEdit"));
        QVERIFY(edit && edit->isEnabled());
        edit->setText(folder);
    });
}

} // namespace

class TestNoteFolderChoice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", m_home.path().toUtf8());
        QStandardPaths::setTestModeEnabled(true);
    }
    void init();
    void cleanup()
    {
        delete ToDoListForm;
        DestroyNoteEngine();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        setPromptHook({});
    }

    void chosenFolderIsUsedNowAndAtNextStart();
    void moving_data();
    void moving();

private:
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_elsewhere;
    QString m_default;
    bool m_moveAnswer = false;
    QList<PromptRequest> m_prompts;
};

void TestNoteFolderChoice::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    m_elsewhere = std::make_unique<QTemporaryDir>();
    setProgramFolder(m_program->path());
    QDir(QFileInfo(TRegistry::storeFileName()).absolutePath()).removeRecursively();
    Settings = GlobalSettings();
    Settings.NoteAnimations = false;
    Starting = false;
    m_default = DefaultUserFolder();
    QVERIFY(QDir().mkpath(m_default));
    m_moveAnswer = false;
    m_prompts.clear();
    setPromptHook([this](const PromptRequest &request) {
        m_prompts << request;
        return PromptReply{request.kind != PromptKind::Confirmation || m_moveAnswer, request.defaultText};
    });
}

void TestNoteFolderChoice::chosenFolderIsUsedNowAndAtNextStart()
{
    writeNote(m_default, QStringLiteral("N01.knt"));
    const QString chosen = m_elsewhere->filePath(QStringLiteral("Sync/Notes"));
    CreateNoteEngine();

    // Declined: the new folder is used at once, the old notes stay where they are.
    configureFolder(chosen);
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.constFirst().text, QStringLiteral("是否把现有的便笺和任务移到新的文件夹?"));
    QCOMPARE(NoteFolderChoice(), chosen);
    QVERIFY(noteIds().isEmpty());
    QVERIFY(QFile::exists(m_default + QStringLiteral("N01.knt")));
    writeNote(chosen, QStringLiteral("N02.knt"));
    DestroyNoteEngine();
    CreateNoteEngine();
    QCOMPARE(UserFolder, chosen + u'/');
    QCOMPARE(noteIds(), QStringList{QStringLiteral("N02")});

    // The dialog shows the folder in use; "默认" goes back to the default one.
    configure([&](TConfigurationForm &dialog) {
        dialog.PageControl1->setCurrentWidget(dialog.Options);
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("NoteFolderEdit"));
        auto *reset = dialog.findChild<QToolButton *>(QStringLiteral("NoteFolderDefault"));
        QVERIFY(edit && reset && reset->text() == QStringLiteral("默认"));
        // The row fits on the tab, which has no scroll bars.
        QVERIFY(dialog.Options->rect().contains(edit->geometry()));
        QVERIFY(dialog.Options->rect().contains(reset->geometry()));
        QCOMPARE(edit->text(), chosen);
        QCOMPARE(edit->placeholderText(), QDir::cleanPath(m_default));
        QTest::mouseClick(reset, Qt::LeftButton);
    });
    QVERIFY(NoteFolderChoice().isEmpty());
    QCOMPARE(noteIds(), QStringList{QStringLiteral("N01")});
    m_prompts.clear();

    // A chosen folder that cannot be made is kept as the choice, but this
    // start uses the default one and says so once.
    const QString blocked = m_default + QStringLiteral("N01.knt/Notes");
    StoreNoteFolderChoice(blocked);
    DestroyNoteEngine();
    CreateNoteEngine();
    QCOMPARE(noteIds(), QStringList{QStringLiteral("N01")});
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.constFirst().kind, PromptKind::Warning);
    QVERIFY(m_prompts.constFirst().text.contains(blocked));
    QCOMPARE(NoteFolderChoice(), blocked);
    // Confirming it again tells the same; "默认" gives it up.
    configure([](TConfigurationForm &) {});
    QCOMPARE(m_prompts.size(), 2);
    QVERIFY(m_prompts.at(1).text.contains(blocked));
    configure([](TConfigurationForm &dialog) {
        QTest::mouseClick(dialog.findChild<QToolButton *>(QStringLiteral("NoteFolderDefault")), Qt::LeftButton);
    });
    QVERIFY(NoteFolderChoice().isEmpty());
    QCOMPARE(m_prompts.size(), 2);
}

void TestNoteFolderChoice::moving_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("other folder") << QStringLiteral("other");
    // Removing the "old" files would remove the notes themselves.
    QTest::newRow("link to the same folder") << QStringLiteral("link");
    QTest::newRow("copy cut short") << QStringLiteral("full");
    QTest::newRow("other file of that name") << QStringLiteral("taken");
}

void TestNoteFolderChoice::moving()
{
    QFETCH(QString, target);
    writeNote(m_default, QStringLiteral("N01.knt"));
    writeNote(m_default, QStringLiteral("N02.KNT"), QByteArray(40000, 'x'));
    SaveProject(m_default + QStringLiteral("plan.tdl"), {TodoTask{QStringLiteral("buy milk"), true, 3}});
    QVERIFY(QDir().mkpath(m_default + QStringLiteral("Deleted")));
    writeNote(m_default + QStringLiteral("Deleted"), QStringLiteral("N03.knt"));
    QFile deleted(m_default + QStringLiteral("Deleted/N03.knt"));
    QVERIFY(deleted.open(QIODevice::ReadWrite));
    QVERIFY(deleted.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime));
    deleted.close();
    const QMap<QString, QByteArray> before = folderContents(m_default);
    const QString chosen = m_elsewhere->filePath(QStringLiteral("Sync"));
    QVERIFY(target == QLatin1String("link") ? QFile::link(m_default, chosen) : QDir().mkpath(chosen));
    if (target == QLatin1String("taken"))
        writeNote(chosen, QStringLiteral("N02.KNT"), "{\\rtf1 someone else's}");
    const QMap<QString, QByteArray> already = folderContents(chosen);

    CreateNoteEngine();
    ShowTodoWindow();
    m_moveAnswer = true;
    {
        // Large enough for the settings store and the small files.
        const std::unique_ptr<FileSizeLimit> limit(target == QLatin1String("full") ? new FileSizeLimit(16000)
                                                                                    : nullptr);
        configureFolder(chosen);
    }

    QVERIFY(!ToDoListForm);
    QCOMPARE(noteIds(), (QStringList{QStringLiteral("N01"), QStringLiteral("N02")}));
    QCOMPARE(ListProjects(), QStringList{QStringLiteral("plan")});
    if (target == QLatin1String("full") || target == QLatin1String("taken")) {
        QCOMPARE(folderContents(m_default), before);
        QCOMPARE(folderContents(chosen), already);
        QCOMPARE(m_prompts.size(), 2);
        QCOMPARE(m_prompts.at(1).kind, PromptKind::Error);
        QVERIFY2(m_prompts.at(1).text.contains(QStringLiteral("N02.KNT")), qPrintable(m_prompts.at(1).text));
        QVERIFY(NoteFolderChoice().isEmpty());
        return;
    }
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(folderContents(chosen), before);
    QCOMPARE(folderContents(m_default).size(), target == QLatin1String("link") ? before.size() : 0);
}

QTEST_MAIN(TestNoteFolderChoice)
#include "tst_notefolder_choice.moc"
