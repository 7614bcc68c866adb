#include "app/InternalProcs.h"
#include "platform/BrisquelError.h"
#include "platform/CodePage.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/FileSizeLimit.h"
#include "todolist/ProfileFile.h"
#include "todolist/ToDoListEngine.h"

#include <QtTest>

namespace {

const QString kData = QStringLiteral(BRISQUEL_TEST_DATA "/todo/");

QList<TodoTask> load(const QString &path)
{
    QList<TodoTask> tasks;
    QString reason;
    if (!LoadProject(path, tasks, reason))
        qWarning("%s: %s", qPrintable(path), qPrintable(reason));
    return tasks;
}

TodoTask task(const QString &title, bool checked, qint32 priority)
{
    return TodoTask{title, checked, priority};
}

} // namespace

Q_DECLARE_METATYPE(TodoTask)

class TestTodoEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void integers_data();
    void integers();
    void profileNamesAndValues();
    void profileDuplicateSectionsAndOddLines();

    void readsCurrentLayout();
    void readsSectionsInFileOrder();
    void readsPlainLayout();
    void plainLineBreaks_data();
    void plainLineBreaks();
    void emptyAndKeylessFilesArePlain();
    void noPriorityBecomesNineAfterSave();
    void loadFailures();

    void writesExactBytes();
    void writesBackInSortedOrder();
    void fiveThousandTasksRoundTrip();
    void longAndBrokenTitles();
    void failedSaveKeepsOldFile();
    void saveIntoMissingFolderThrows();

    void order_data();
    void order();
    void listsProjects();
    void projectNames_data();
    void projectNames();

private:
    QTemporaryDir *m_dir = nullptr;
};

void TestTodoEngine::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestTodoEngine::init()
{
    m_dir = new QTemporaryDir();
    QVERIFY(m_dir->isValid());
    setProgramFolder(m_dir->path());
    InitUserFolder();
}

void TestTodoEngine::cleanup()
{
    delete m_dir;
    m_dir = nullptr;
}

void TestTodoEngine::integers_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("expected");
    const int def = 77;
    QTest::newRow("decimal") << "12" << 12;
    QTest::newRow("plus sign") << "+7" << 7;
    QTest::newRow("minus sign") << "-3" << -3;
    QTest::newRow("dollar hex") << "$1F" << 31;
    QTest::newRow("dollar hex negative") << "-$10" << -16;
    QTest::newRow("0x lower") << "0x1f" << 31;
    QTest::newRow("0X upper") << "0X10" << 16;
    QTest::newRow("hex all bits") << "$FFFFFFFF" << -1;
    QTest::newRow("hex too long") << "$100000000" << def;
    QTest::newRow("largest") << "2147483647" << 2147483647;
    QTest::newRow("smallest") << "-2147483648" << int(-2147483648LL);
    QTest::newRow("overflow") << "2147483648" << def;
    QTest::newRow("word") << "yes" << def;
    QTest::newRow("empty") << "" << def;
    QTest::newRow("sign only") << "-" << def;
    QTest::newRow("dollar only") << "$" << def;
    QTest::newRow("0x alone") << "0x" << def;
    QTest::newRow("trailing text") << "12abc" << def;
    QTest::newRow("inner blank") << "1 2" << def;
    QTest::newRow("hex digit in decimal") << "1F" << def;
    QTest::newRow("sign before 0x") << "-0x10" << def;
}

void TestTodoEngine::integers()
{
    QFETCH(QString, value);
    QFETCH(int, expected);
    QCOMPARE(profileInteger(value, 77), expected);
}

void TestTodoEngine::profileNamesAndValues()
{
    const ProfileReader profile(QStringLiteral("[Alpha]\r\n"
                                               "  Name =  spaced value  \r\n"
                                               "dq=\"quoted \"\r\n"
                                               "sq='x'\r\n"
                                               "mixed='x\"\r\n"
                                               "lone=\"\r\n"
                                               "emptyq=\"\"\r\n"
                                               "num= 0x20 \r\n"
                                               "[beta]\r\n"
                                               "k=v\r\n"));
    QCOMPARE(profile.sectionNames(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta")}));
    QCOMPARE(profile.readString(QStringLiteral("ALPHA"), QStringLiteral("name"), QStringLiteral("d")),
             QStringLiteral("spaced value"));
    QCOMPARE(profile.readString(QStringLiteral("alpha"), QStringLiteral("dq"), {}), QStringLiteral("quoted "));
    QCOMPARE(profile.readString(QStringLiteral("alpha"), QStringLiteral("sq"), {}), QStringLiteral("x"));
    QCOMPARE(profile.readString(QStringLiteral("alpha"), QStringLiteral("mixed"), {}), QStringLiteral("'x\""));
    QCOMPARE(profile.readString(QStringLiteral("alpha"), QStringLiteral("lone"), {}), QStringLiteral("\""));
    QCOMPARE(profile.readString(QStringLiteral("alpha"), QStringLiteral("emptyq"), QStringLiteral("d")), QString());
    QCOMPARE(profile.readInteger(QStringLiteral("alpha"), QStringLiteral("NUM"), 0), 32);
    QCOMPARE(profile.readString(QStringLiteral("Beta"), QStringLiteral("K"), {}), QStringLiteral("v"));
    // Keys are found in their own section only.
    QCOMPARE(profile.readString(QStringLiteral("beta"), QStringLiteral("dq"), QStringLiteral("d")),
             QStringLiteral("d"));
    QCOMPARE(profile.readString(QStringLiteral("gamma"), QStringLiteral("k"), QStringLiteral("d")),
             QStringLiteral("d"));
}

void TestTodoEngine::profileDuplicateSectionsAndOddLines()
{
    const ProfileReader profile(QStringLiteral("orphan=1\n"
                                               "[dup]\n"
                                               "a=first\n"
                                               "bare line\n"
                                               "[no close\n"
                                               "[other] trailing\n"
                                               "x=1\n"
                                               "[DUP]\n"
                                               "a=second\n"
                                               "b=only here\n"
                                               "[comments]\n"
                                               "; a note\n"));
    QCOMPARE(profile.sectionNames(), (QStringList{QStringLiteral("dup"), QStringLiteral("other"),
                                                  QStringLiteral("DUP"), QStringLiteral("comments")}));
    // The first section of a name answers, also for keys it lacks.
    QCOMPARE(profile.readString(QStringLiteral("dup"), QStringLiteral("a"), {}), QStringLiteral("first"));
    QCOMPARE(profile.readString(QStringLiteral("dup"), QStringLiteral("b"), QStringLiteral("d")), QStringLiteral("d"));
    // A line without "=" (or a "[" without "]") is a key without a value.
    QCOMPARE(profile.readString(QStringLiteral("dup"), QStringLiteral("bare line"), QStringLiteral("d")),
             QStringLiteral("d"));
    QVERIFY(profile.sectionHasKeys(QStringLiteral("dup")));
    QCOMPARE(profile.readString(QStringLiteral("other"), QStringLiteral("x"), {}), QStringLiteral("1"));
    QVERIFY(!profile.sectionHasKeys(QStringLiteral("comments")));
    QVERIFY(!profile.sectionHasKeys(QStringLiteral("missing")));
}

void TestTodoEngine::readsCurrentLayout()
{
    const QList<TodoTask> expected{
        task(QStringLiteral("hex0x"), false, 1),
        task(QStringLiteral("hex"), false, 2),
        task(QStringLiteral("买牛奶"), true, 3),
        task(QStringLiteral("Quoted title"), false, 9),
        task(QStringLiteral("single"), true, 9),
        task(QStringLiteral("padded"), false, 12),
    };
    QCOMPARE(load(kData + QStringLiteral("current.tdl")), expected);
}

void TestTodoEngine::readsSectionsInFileOrder()
{
    // The three tasks compare equal; the stable sort shows the file order
    // (item5, item2, item9) rather than the numbers.
    const QList<TodoTask> tasks = load(kData + QStringLiteral("fileorder.tdl"));
    QCOMPARE(tasks.size(), 3);
    QCOMPARE(tasks.at(0).Checked, true);
    QCOMPARE(tasks.at(1).Checked, false);
    QCOMPARE(tasks.at(2).Checked, true);
}

void TestTodoEngine::readsPlainLayout()
{
    const QList<TodoTask> expected{
        task(QString(), false, -1),
        task(QString(), true, -1),
        task(QStringLiteral(" Something"), true, -1),
        task(QStringLiteral("Buy milk"), true, -1),
        task(QStringLiteral("写报告"), false, -1),
    };
    QCOMPARE(load(kData + QStringLiteral("legacy.tdl")), expected);
}

void TestTodoEngine::plainLineBreaks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("LF") << QByteArray("0b\n1a\n") << QStringList{"a", "b"};
    QTest::newRow("CR") << QByteArray("0b\r1a") << QStringList{"a", "b"};
    QTest::newRow("no final break") << QByteArray("0b\r\n1a") << QStringList{"a", "b"};
    QTest::newRow("blank line between") << QByteArray("0b\r\n\r\n1a\r\n") << QStringList{"", "a", "b"};
}

void TestTodoEngine::plainLineBreaks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, titles);
    const QString path = UserFolder + QStringLiteral("p.tdl");
    QVERIFY(writeFileBytes(path, bytes));
    QStringList read;
    for (const TodoTask &t : load(path))
        read.append(t.Title);
    QCOMPARE(read, titles);
}

void TestTodoEngine::emptyAndKeylessFilesArePlain()
{
    QList<TodoTask> tasks{task(QStringLiteral("stale"), false, 1)};
    QString reason;
    QVERIFY(LoadProject(kData + QStringLiteral("empty.tdl"), tasks, reason));
    QVERIFY(tasks.isEmpty());

    const QList<TodoTask> expected{task(QStringLiteral("comment only"), true, -1),
                                   task(QStringLiteral("main]"), true, -1)};
    QCOMPARE(load(kData + QStringLiteral("mainwithoutkeys.tdl")), expected);
}

void TestTodoEngine::noPriorityBecomesNineAfterSave()
{
    const QString path = UserFolder + QStringLiteral("old.tdl");
    QVERIFY(writeFileBytes(path, QByteArray("1Buy milk\r\n0Call\r\n")));
    const QList<TodoTask> tasks = load(path);
    QCOMPARE(tasks.first(), task(QStringLiteral("Buy milk"), true, -1));
    // Without a priority the task stands before a critical one.
    QVERIFY(ToDoListCompare(tasks.first(), task(QStringLiteral("A"), false, 0)) < 0);
    SaveProject(path, tasks);
    const QList<TodoTask> expected{task(QStringLiteral("Buy milk"), true, 9), task(QStringLiteral("Call"), false, 9)};
    QCOMPARE(load(path), expected);
}

void TestTodoEngine::loadFailures()
{
    QList<TodoTask> tasks;
    QString reason;
    QVERIFY(!LoadProject(UserFolder + QStringLiteral("missing.tdl"), tasks, reason));
    QVERIFY(!reason.isEmpty());
    reason.clear();
    QVERIFY(QDir(UserFolder).mkdir(QStringLiteral("folder.tdl")));
    QVERIFY(!LoadProject(UserFolder + QStringLiteral("folder.tdl"), tasks, reason));
    QVERIFY(!reason.isEmpty());
}

void TestTodoEngine::writesExactBytes()
{
    const QString path = UserFolder + QStringLiteral("w.tdl");
    SaveProject(path, {});
    QCOMPARE(fileBytes(path), QByteArray("[main]\r\nfileinfo=1\r\n"));
    QVERIFY(load(path).isEmpty());

    SaveProject(path, {task(QStringLiteral("写报告"), true, 0), task(QString(), false, -7)});
    const QByteArray expected = QByteArray("[main]\r\nfileinfo=1\r\n"
                                           "[item0]\r\nTitle=")
        + CodePage::toCp936(QStringLiteral("写报告"))
        + QByteArray("\r\nChecked=1\r\nPriority=0\r\n"
                     "[item1]\r\nTitle=\r\nChecked=0\r\nPriority=-7\r\n");
    QCOMPARE(fileBytes(path), expected);
}

void TestTodoEngine::writesBackInSortedOrder()
{
    const QString path = UserFolder + QStringLiteral("copy.tdl");
    const QList<TodoTask> tasks = load(kData + QStringLiteral("current.tdl"));
    SaveProject(path, tasks);
    const ProfileReader profile(CodePage::fromCp936(fileBytes(path)));
    QStringList expectedNames{QStringLiteral("main")};
    for (int i = 0; i < tasks.size(); ++i)
        expectedNames.append(QStringLiteral("item%1").arg(i));
    QCOMPARE(profile.sectionNames(), expectedNames);
    QCOMPARE(profile.readString(QStringLiteral("item0"), QStringLiteral("Title"), {}), QStringLiteral("hex0x"));
    QCOMPARE(profile.readString(QStringLiteral("item5"), QStringLiteral("Priority"), {}), QStringLiteral("12"));
    QCOMPARE(load(path), tasks);
}

void TestTodoEngine::fiveThousandTasksRoundTrip()
{
    QList<TodoTask> tasks;
    for (int i = 0; i < 5000; ++i)
        tasks.append(task(QStringLiteral("任务 %1").arg(i, 4, 10, QLatin1Char('0')), i % 3 == 0, i % 10));
    SortTasks(tasks);
    const QString path = UserFolder + QStringLiteral("big.tdl");
    SaveProject(path, tasks);
    const QList<TodoTask> read = load(path);
    QCOMPARE(read.size(), 5000);
    QCOMPARE(read, tasks);
}

void TestTodoEngine::longAndBrokenTitles()
{
    const QString path = UserFolder + QStringLiteral("long.tdl");
    const QString longTitle = QString(3000, QLatin1Char('a')) + QStringLiteral("尾");
    const QString broken = QStringLiteral("one\r\n[item7]\nTitle=two");
    SaveProject(path, {task(longTitle, false, 1), task(broken, true, 2)});
    const QList<TodoTask> read = load(path);
    QCOMPARE(read.size(), 2);
    // Read whole: the title is not cut at any length.
    QCOMPARE(read.at(0).Title, longTitle);
    // A line break cannot start a section of its own.
    QCOMPARE(read.at(1).Title, QStringLiteral("one  [item7] Title=two"));
    QCOMPARE(read.at(1).Priority, 2);
}

void TestTodoEngine::failedSaveKeepsOldFile()
{
    const QString path = UserFolder + QStringLiteral("keep.tdl");
    SaveProject(path, {task(QStringLiteral("old"), false, 1)});
    const QByteArray before = fileBytes(path);
    QList<TodoTask> many;
    for (int i = 0; i < 200; ++i)
        many.append(task(QStringLiteral("new task %1").arg(i), false, 1));
    QString message;
    {
        const FileSizeLimit limit(rlim_t(before.size()) + 64);
        try {
            SaveProject(path, many);
        } catch (const BrisquelError &error) {
            message = error.message();
        }
    }
    QCOMPARE(message, QStringLiteral("Unable to write to %1").arg(path));
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QDir(UserFolder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.tdl")});
}

void TestTodoEngine::saveIntoMissingFolderThrows()
{
    const QString path = UserFolder + QStringLiteral("no/such/folder.tdl");
    QVERIFY_THROWS_EXCEPTION(BrisquelError, SaveProject(path, {}));
    QVERIFY(!QFile::exists(path));
}

void TestTodoEngine::order_data()
{
    QTest::addColumn<TodoTask>("a");
    QTest::addColumn<TodoTask>("b");
    QTest::addColumn<int>("sign");
    QTest::newRow("lower priority first") << task("z", false, 2) << task("a", false, 3) << -1;
    QTest::newRow("title within priority") << task("a", false, 3) << task("b", false, 3) << -1;
    QTest::newRow("no priority before critical") << task("z", false, -1) << task("a", false, 0) << -1;
    QTest::newRow("twelve after nine") << task("a", false, 12) << task("z", false, 9) << 1;
    QTest::newRow("prefix first") << task("ab", false, 1) << task("abc", false, 1) << -1;
    QTest::newRow("upper case before lower") << task("B", false, 1) << task("a", false, 1) << -1;
    // Unsigned bytes: a two-byte character sorts after every ASCII one.
    QTest::newRow("bytes unsigned") << task(QStringLiteral("啊"), false, 1) << task("~", false, 1) << 1;
    QTest::newRow("by code page 936 bytes") << task(QStringLiteral("啊"), false, 1)
                                             << task(QStringLiteral("吧"), false, 1) << -1;
    QTest::newRow("done mark ignored") << task("same", true, 4) << task("same", false, 4) << 0;
}

void TestTodoEngine::order()
{
    QFETCH(TodoTask, a);
    QFETCH(TodoTask, b);
    QFETCH(int, sign);
    const int forward = ToDoListCompare(a, b);
    const int backward = ToDoListCompare(b, a);
    QCOMPARE((forward > 0) - (forward < 0), sign);
    QCOMPARE((backward > 0) - (backward < 0), -sign);
}

void TestTodoEngine::listsProjects()
{
    QVERIFY(writeFileBytes(UserFolder + QStringLiteral("Plan 2.1.tdl"), {}));
    QVERIFY(writeFileBytes(UserFolder + QStringLiteral("alpha.tdl"), {}));
    QVERIFY(writeFileBytes(UserFolder + QStringLiteral("Beta.tdl"), {}));
    QVERIFY(writeFileBytes(UserFolder + QStringLiteral("notes.knt"), {}));
    QVERIFY(writeFileBytes(UserFolder + QStringLiteral("shout.TDL"), {}));
    QVERIFY(writeFileBytes(UserFolder + QStringLiteral(".hidden.tdl"), {}));
    QVERIFY(writeFileBytes(UserFolder + QStringLiteral("x.tdl.bak"), {}));
    QVERIFY(QDir(UserFolder).mkdir(QStringLiteral("folder.tdl")));
    QCOMPARE(ListProjects(),
             (QStringList{QStringLiteral("alpha"), QStringLiteral("Beta"), QStringLiteral("Plan 2.1")}));
    QCOMPARE(ProjectFilePath(QStringLiteral("Plan 2.1")), UserFolder + QStringLiteral("Plan 2.1.tdl"));
}

void TestTodoEngine::projectNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("plain") << "Plan" << true;
    QTest::newRow("dot inside") << "Plan 2.1" << true;
    QTest::newRow("chinese") << QStringLiteral("工作计划") << true;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("leading slash") << "/etc/passwd" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("parent path") << "../x" << false;
    QTest::newRow("hidden") << ".x" << false;
    QTest::newRow("nul") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << false;
    QTest::newRow("empty") << "" << false;
}

void TestTodoEngine::projectNames()
{
    QFETCH(QString, name);
    QFETCH(bool, allowed);
    QCOMPARE(IsProjectNameAllowed(name), allowed);
}

QTEST_GUILESS_MAIN(TestTodoEngine)
#include "tst_todoengine.moc"
