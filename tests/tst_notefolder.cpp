#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "notes/NoteFolder.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/RtfReader.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/NoteWindowSetup.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTreeWidgetItem>
#include <QtTest>

#include <memory>

// The note folder shared with other computers by a sync tool: files written,
// replaced and removed under a running note list the way sync tools do it.
class TestNoteFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void namesOfSyncTools_data();
    void namesOfSyncTools();
    void startClearsOwnLeftoversOnly();
    void changesFromElsewhereTakenIn();
    void bothSidesKept();
    void sameIdOnTwoComputers();
    void halfWrittenFileLeftAlone();

private:
    // Writes a note as a sync tool delivers it: under a temporary name of
    // its own, then renamed into place.
    void deliver(const QString &name, const QString &text, bool hidden = false, int left = 100);
    TNoteWrapper *noteOfFile(const QString &name) const;
    QStringList noteTexts() const;
    // Types the text over the whole body, as the user would.
    static void typeInto(TNoteWrapper *wrapper, const QString &text);

    QTemporaryDir *m_dir = nullptr;
    std::unique_ptr<TNotesManager> m_manager;
};

void TestNoteFolder::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestNoteFolder::init()
{
    m_dir = new QTemporaryDir();
    QVERIFY(m_dir->isValid());
    setProgramFolder(m_dir->path());
    resetNoteWindowWorld(QStringLiteral("Arial"), 10);
    setPromptHook([](const PromptRequest &) { return PromptReply{true, {}}; });
}

void TestNoteFolder::cleanup()
{
    if (m_manager)
        m_manager->CloseAll();
    m_manager.reset();
    flushDeletes();
    setPromptHook({});
    delete m_dir;
}

void TestNoteFolder::deliver(const QString &name, const QString &text, bool hidden, int left)
{
    TNoteClass note(QFileInfo(name).completeBaseName());
    note.Title = text;
    note.Content = rtfOf(text);
    note.Left = left;
    note.Top = 80;
    note.Width = 200;
    note.Height = 150;
    note.SetHidden(hidden);
    const QString temporary = UserFolder + QStringLiteral(".syncthing.") + name + QStringLiteral(".tmp");
    QVERIFY(writeFileBytes(temporary, note.toFileBytes()));
    QFile::remove(UserFolder + name);
    QVERIFY(QFile::rename(temporary, UserFolder + name));
}

TNoteWrapper *TestNoteFolder::noteOfFile(const QString &name) const
{
    for (TNoteWrapper *wrapper : m_manager->Notes.snapshot()) {
        if (wrapper->FileName == UserFolder + name)
            return wrapper;
    }
    return nullptr;
}

void TestNoteFolder::typeInto(TNoteWrapper *wrapper, const QString &text)
{
    QTextEdit *editor = wrapper->Window->NoteEdit();
    editor->selectAll();
    QTest::keyClicks(editor, text);
}

QStringList TestNoteFolder::noteTexts() const
{
    QStringList texts;
    for (TNoteWrapper *wrapper : m_manager->Notes.snapshot()) {
        wrapper->ReadFromWindow();
        texts << Rtf::toPlainText(wrapper->Note->Content).trimmed();
    }
    texts.sort();
    return texts;
}

void TestNoteFolder::namesOfSyncTools_data()
{
    using Kind = NoteFolder::EntryKind;
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind");
    QTest::newRow("note") << "N1A2B.knt" << int(Kind::Item);
    QTest::newRow("upper case") << "N07.KNT" << int(Kind::Item);
    QTest::newRow("syncthing transfer") << ".syncthing.N1.knt.tmp" << int(Kind::SyncTemporary);
    QTest::newRow("syncthing transfer, other systems") << "~syncthing~N1.knt.tmp" << int(Kind::SyncTemporary);
    QTest::newRow("nextcloud transfer") << ".N1.knt.~1a2b3c" << int(Kind::SyncTemporary);
    QTest::newRow("syncthing conflict") << "N1.sync-conflict-20261208-101010-ABCDEFG.knt" << int(Kind::ConflictCopy);
    QTest::newRow("nextcloud conflict") << "N1 (conflicted copy 2026-12-08 101010).knt" << int(Kind::ConflictCopy);
    QTest::newRow("dropbox conflict") << "N1 (Alice's conflicted copy 2026-12-08).knt" << int(Kind::ConflictCopy);
    QTest::newRow("own save, hidden name") << ".brisquel-0123456789abcdef.tmp" << int(Kind::OwnLeftover);
    QTest::newRow("own save, toolkit") << "N1.knt.a8Kq2z" << int(Kind::OwnLeftover);
    QTest::newRow("own project save") << "Work.tdl.Ab12Cd" << int(Kind::OwnLeftover);
    QTest::newRow("something else") << "readme.txt" << int(Kind::Other);
}

void TestNoteFolder::namesOfSyncTools()
{
    QFETCH(QString, name);
    QFETCH(int, kind);
    QCOMPARE(int(NoteFolder::classify(name, QStringLiteral(".knt"))), kind);
}

void TestNoteFolder::startClearsOwnLeftoversOnly()
{
    const QStringList leftovers = {QStringLiteral(".brisquel-0123456789abcdef.tmp"), QStringLiteral("N1.knt.a8Kq2z")};
    for (const QString &name : leftovers)
        QVERIFY(writeFileBytes(UserFolder + name, "partial"));
    const QString transfer = UserFolder + QStringLiteral(".syncthing.N9.knt.tmp");
    QVERIFY(writeFileBytes(transfer, "arriving"));
    deliver(QStringLiteral("N1.knt"), QStringLiteral("mine"));
    deliver(QStringLiteral("N1.sync-conflict-20261208-101010-ABCDEFG.knt"), QStringLiteral("theirs"));

    m_manager = std::make_unique<TNotesManager>();
    for (const QString &name : leftovers)
        QVERIFY2(!QFile::exists(UserFolder + name), qPrintable(name));
    QCOMPARE(fileBytes(transfer), QByteArray("arriving"));
    QCOMPARE(m_manager->Notes.Count(), 2);
    TNoteWrapper *copy = noteOfFile(QStringLiteral("N1.sync-conflict-20261208-101010-ABCDEFG.knt"));
    QVERIFY(copy && copy->IsShown());
    QCOMPARE(copy->ShownTitle(), QStringLiteral("冲突副本: theirs"));
    QTreeWidgetItem row(4);
    copy->FillListItem(&row);
    QCOMPARE(row.text(0), QStringLiteral("冲突副本: theirs"));
    QCOMPARE(noteOfFile(QStringLiteral("N1.knt"))->ShownTitle(), QStringLiteral("mine"));
}

void TestNoteFolder::changesFromElsewhereTakenIn()
{
    deliver(QStringLiteral("N1.knt"), QStringLiteral("first"));
    m_manager = std::make_unique<TNotesManager>();
    QSignalSpy listed(m_manager.get(), &TNotesManager::listChanged);
    TNoteWrapper *first = noteOfFile(QStringLiteral("N1.knt"));
    QVERIFY(first);

    // The watcher notices on its own, without the one-second backstop.
    deliver(QStringLiteral("N2.knt"), QStringLiteral("arrived"));
    deliver(QStringLiteral("N3.knt"), QStringLiteral("arrived hidden"), true);
    QTRY_COMPARE_WITH_TIMEOUT(m_manager->Notes.Count(), 3, 5000);
    QVERIFY(noteOfFile(QStringLiteral("N2.knt"))->IsShown());
    QVERIFY(!noteOfFile(QStringLiteral("N3.knt"))->IsShown());
    QVERIFY(!listed.isEmpty());

    // Changed elsewhere, nothing changed here: the window shows theirs.
    deliver(QStringLiteral("N1.knt"), QStringLiteral("edited there"), false, 300);
    QTRY_COMPARE_WITH_TIMEOUT(first->Window->NoteEdit()->toPlainText().trimmed(), QStringLiteral("edited there"), 5000);
    QCOMPARE(first->Window->NotePlace().x(), 300);
    QCOMPARE(m_manager->Notes.Count(), 3);

    // The program's own saves do not come back as changes.
    QSignalSpy passes(m_manager->NoteFiles(), &FolderWatch::changed);
    typeInto(first, QStringLiteral("edited here"));
    first->Save();
    m_manager->SaveAll();
    m_manager->NoteFiles()->scan();
    QCOMPARE(passes.count(), 0);

    // Removed elsewhere: the window closes and the file is not written back.
    const QPointer<TNoteForm> window = noteOfFile(QStringLiteral("N2.knt"))->Window.data();
    QVERIFY(QFile::remove(UserFolder + QStringLiteral("N2.knt")));
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 5000);
    QCOMPARE(m_manager->Notes.Count(), 2);
    m_manager->SaveAll();
    QVERIFY(!QFile::exists(UserFolder + QStringLiteral("N2.knt")));
}

void TestNoteFolder::bothSidesKept()
{
    deliver(QStringLiteral("N1.knt"), QStringLiteral("original"));
    deliver(QStringLiteral("N2.knt"), QStringLiteral("second"));
    m_manager = std::make_unique<TNotesManager>();
    TNoteWrapper *one = noteOfFile(QStringLiteral("N1.knt"));
    TNoteWrapper *two = noteOfFile(QStringLiteral("N2.knt"));

    // Typed here while the other computer's version arrives.
    typeInto(one, QStringLiteral("typed here"));
    deliver(QStringLiteral("N1.knt"), QStringLiteral("written there"));
    m_manager->NoteFiles()->scan();
    QCOMPARE(Rtf::toPlainText(one->Note->Content).trimmed(), QStringLiteral("written there"));
    QCOMPARE(one->Window->NoteEdit()->toPlainText().trimmed(), QStringLiteral("written there"));
    TNoteWrapper *copy = m_manager->Notes.Get(m_manager->Notes.Count() - 1);
    QCOMPARE(copy->Note->Title, QStringLiteral("original (冲突的副本)"));
    QVERIFY(copy->IsShown());
    QCOMPARE(copy->Window->NotePlace().topLeft(), one->Window->NotePlace().topLeft() + QPoint(24, 24));
    TNoteClass saved(copy->NoteID);
    QCOMPARE(saved.LoadFromFile(copy->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(Rtf::toPlainText(saved.Content).trimmed(), QStringLiteral("typed here"));

    // A save that comes before the pass does not replace their file either.
    typeInto(two, QStringLiteral("second, typed here"));
    deliver(QStringLiteral("N2.knt"), QStringLiteral("second, written there"));
    const QByteArray theirs = fileBytes(UserFolder + QStringLiteral("N2.knt"));
    two->Save();
    QCOMPARE(fileBytes(UserFolder + QStringLiteral("N2.knt")), theirs);
    m_manager->NoteFiles()->scan();
    QCOMPARE(noteTexts(), QStringList({QStringLiteral("second, typed here"), QStringLiteral("second, written there"),
                                       QStringLiteral("typed here"), QStringLiteral("written there")}));
}

void TestNoteFolder::sameIdOnTwoComputers()
{
    m_manager = std::make_unique<TNotesManager>();
    TNoteWrapper *made = m_manager->NewNote();
    typeInto(made, QStringLiteral("made here"));
    deliver(made->NoteID + QStringLiteral(".knt"), QStringLiteral("made there"));
    m_manager->NoteFiles()->scan();
    QCOMPARE(noteTexts(), QStringList({QStringLiteral("made here"), QStringLiteral("made there")}));
}

void TestNoteFolder::halfWrittenFileLeftAlone()
{
    m_manager = std::make_unique<TNotesManager>();
    TNoteClass note(QStringLiteral("N5"));
    note.Title = QStringLiteral("complete");
    note.Content = rtfOf(QStringLiteral("complete"));
    const QByteArray whole = note.toFileBytes();
    const QString file = UserFolder + QStringLiteral("N5.knt");
    QVERIFY(writeFileBytes(file, whole.left(whole.size() / 2)));
    m_manager->NoteFiles()->scan();
    QCOMPARE(m_manager->Notes.Count(), 0);
    m_manager->SaveAll();
    m_manager->NoteFiles()->scan();
    QCOMPARE(fileBytes(file), whole.left(whole.size() / 2));

    QVERIFY(writeFileBytes(file, whole));
    m_manager->NoteFiles()->scan();
    QCOMPARE(noteTexts(), QStringList({QStringLiteral("complete")}));
}

QTEST_MAIN(TestNoteFolder)
#include "tst_notefolder.moc"
