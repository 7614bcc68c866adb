#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/ProgramEntry.h"
#include "app/RegistryUnit.h"
#include "dialogs/frmNotesManagerForm.h"
#include "notes/DeletedNotes.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/RegistryStore.h"
#include "platform/RtfReader.h"
#include "tests/support/Actions.h"
#include "tests/support/FileHelpers.h"

#include <QDir>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>

// Deleted notes kept in the note folder's deleted area: deleted from the
// note menu or the notes manager, listed, restored and removed for good in
// the notes manager, and carried between computers by the sync tool.
class TestUndelete : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void deletedAndRestoredAfterRestart();
    void restoreUnderFreeIdAndRemoveForGood();
    void deletedNotesStayQuietAndAgeOut();
    void deleteOnOtherComputerArrives();

private:
    void writeNote(const QString &id, const QString &title, bool hidden = false, const QString &group = {});
    TNoteWrapper *wrapperById(const QString &id) const;
    QStringList rowTitles() const;
    void select(const QString &title);
    void showDeleted(bool shown);
    QString deletedFile(const QString &name) const { return UserFolder + QStringLiteral("Deleted/") + name; }

    QTemporaryDir *m_dir = nullptr;
    QList<PromptRequest> m_prompts;
    bool m_answer = true;
};

void TestUndelete::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestUndelete::init()
{
    m_dir = new QTemporaryDir();
    QVERIFY(m_dir->isValid());
    QFile::remove(TRegistry::storeFileName());
    setProgramFolder(m_dir->path());
    InitUserFolder();
    Starting = false;
    ShuttingDown = false;
    Settings.NoteAnimations = false;
    Clock::setNow(QDateTime(QDate(2026, 3, 1), QTime(10, 0, 30)));
    m_prompts.clear();
    m_answer = true;
    setPromptHook([this](const PromptRequest &request) {
        m_prompts.append(request);
        return PromptReply{m_answer, request.defaultText};
    });
}

void TestUndelete::cleanup()
{
    if (NotesManagerForm)
        NotesManagerForm->close();
    DestroyNoteEngine();
    QTest::qWait(10);
    setPromptHook({});
    Clock::useSystemTime();
    delete m_dir;
}

void TestUndelete::writeNote(const QString &id, const QString &title, bool hidden, const QString &group)
{
    TNoteClass note(id);
    note.Title = title;
    note.Group = group;
    note.Content = rtfOf(title + QStringLiteral(" text"));
    note.Left = 120;
    note.Top = 90;
    note.Width = 210;
    note.Height = 160;
    note.NoteColor = 0x80FFFF;
    note.SetHidden(hidden);
    QVERIFY(note.SaveToFile(NoteFileName(id)));
}

TNoteWrapper *TestUndelete::wrapperById(const QString &id) const
{
    for (TNoteWrapper *wrapper : NoteEngine->Manager->Notes.snapshot()) {
        if (wrapper->NoteID == id)
            return wrapper;
    }
    return nullptr;
}

QStringList TestUndelete::rowTitles() const
{
    QStringList titles;
    for (int i = 0; i < NotesManagerForm->NotesListView->topLevelItemCount(); ++i) {
        if (!NotesManagerForm->NotesListView->topLevelItem(i)->isHidden())
            titles << NotesManagerForm->NotesListView->topLevelItem(i)->text(0);
    }
    return titles;
}

void TestUndelete::select(const QString &title)
{
    QTreeWidget *list = NotesManagerForm->NotesListView;
    list->clearSelection();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == title)
            list->setCurrentItem(list->topLevelItem(i));
    }
}

void TestUndelete::showDeleted(bool shown)
{
    QAction *toggle = findAction(NotesManagerForm, QStringLiteral("已删除的便笺"));
    QVERIFY(toggle && toggle->isEnabled() && toggle->isCheckable());
    QCOMPARE(toggle->isChecked(), !shown);
    toggle->trigger();
}

void TestUndelete::deletedAndRestoredAfterRestart()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("one"), false, QStringLiteral("g"));
    writeNote(QStringLiteral("N02"), QStringLiteral("two"), true);
    {
        TNoteClass note(QStringLiteral("N01"));
        QCOMPARE(note.LoadFromFile(NoteFileName(QStringLiteral("N01"))), TNoteClass::LoadResult::Loaded);
        note.AlarmSet = true;
        note.AlarmTime = Now() + 40.0;
        QVERIFY(note.SaveToFile(NoteFileName(QStringLiteral("N01"))));
    }
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    const QDateTime deletedAt = Clock::now();

    // From the note's own menu, after the question as before.
    TRIGGER_ACTION(wrapperById(QStringLiteral("N01"))->Window.data(), "删除便笺");
    QCOMPARE(m_prompts.size(), 1);
    QVERIFY(m_prompts.first().text.startsWith(QStringLiteral("你确定要删除这个便笺吗?")));
    QVERIFY(!QFile::exists(NoteFileName(QStringLiteral("N01"))));
    QCOMPARE(QFileInfo(deletedFile(QStringLiteral("N01.knt"))).lastModified(), deletedAt);
    QCOMPARE(QFileInfo(deletedFile(QString())).permissions(), QFileInfo(UserFolder).permissions());
    QCOMPARE(rowTitles(), QStringList{QStringLiteral("two")});

    showDeleted(true);
    QTreeWidget *list = NotesManagerForm->NotesListView;
    QCOMPARE(rowTitles(), QStringList{QStringLiteral("one")});
    QCOMPARE(list->headerItem()->text(3), QStringLiteral("删除时间"));
    QCOMPARE(list->topLevelItem(0)->text(3), dateTimeText(deletedAt));
    QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("g"));
    list->clearSelection();
    QVERIFY(!findAction(NotesManagerForm, QStringLiteral("恢复便笺"))->isEnabled());
    select(QStringLiteral("one"));
    for (const char *live : {"新建便笺", "删除便笺", "显示便笺", "便笺属性", "显示同组的所有便笺"})
        QVERIFY2(!findAction(NotesManagerForm, QString::fromUtf8(live))->isEnabled(), live);
    QVERIFY(findAction(NotesManagerForm, QStringLiteral("彻底删除"))->isEnabled());

    // It survives a restart, and comes back with all it had.
    NotesManagerForm->close();
    DestroyNoteEngine();
    CreateNoteEngine();
    QCOMPARE(NoteEngine->Manager->Notes.Count(), 1);
    NoteEngine->ShowNotesManager();
    showDeleted(true);
    select(QStringLiteral("one"));
    TRIGGER_ACTION(NotesManagerForm, "恢复便笺");
    TNoteWrapper *one = wrapperById(QStringLiteral("N01"));
    QVERIFY(one && one->IsShown());
    QCOMPARE(one->Window->NotePlace(), QRect(120, 90, 210, 160));
    QCOMPARE(one->Note->NoteColor, TColor(0x80FFFF));
    QVERIFY(one->Note->AlarmSet);
    QCOMPARE(one->Note->AlarmTime, Now() + 40.0);
    QCOMPARE(one->Window->NoteEdit->toPlainText().trimmed(), QStringLiteral("one text"));
    QVERIFY(QFile::exists(NoteFileName(QStringLiteral("N01"))));
    QVERIFY(rowTitles().isEmpty());

    showDeleted(false);
    QCOMPARE(rowTitles(), QStringList({QStringLiteral("one"), QStringLiteral("two")}));
    select(QStringLiteral("two"));
    QVERIFY(findAction(NotesManagerForm, QStringLiteral("删除便笺"))->isEnabled());
    QVERIFY(!findAction(NotesManagerForm, QStringLiteral("恢复便笺"))->isVisible());
}

void TestUndelete::restoreUnderFreeIdAndRemoveForGood()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("old one"), true);
    writeNote(QStringLiteral("N02"), QStringLiteral("apple pie"), true);
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    for (const QString &title : {QStringLiteral("apple pie"), QStringLiteral("old one")}) {
        select(title);
        TRIGGER_ACTION(NotesManagerForm, "删除便笺");
        Clock::advance(60000);
    }
    // Another note of the same id arrives meanwhile.
    writeNote(QStringLiteral("N01"), QStringLiteral("new one"), true);
    NoteEngine->Manager->NoteFiles()->scan();

    showDeleted(true);
    NotesManagerForm->NotesListViewColumnClick(3);
    QCOMPARE(rowTitles(), QStringList({QStringLiteral("apple pie"), QStringLiteral("old one")}));
    NotesManagerForm->SearchEdit->setText(QStringLiteral("PIE"));
    QCOMPARE(rowTitles(), QStringList{QStringLiteral("apple pie")});
    NotesManagerForm->SearchEdit->clear();

    select(QStringLiteral("old one"));
    TRIGGER_ACTION(NotesManagerForm, "恢复便笺");
    QCOMPARE(NoteEngine->Manager->Notes.Count(), 2);
    TNoteWrapper *restored = NoteEngine->Manager->Notes.Get(1);
    QCOMPARE(restored->Note->Title, QStringLiteral("old one"));
    QVERIFY(restored->NoteID != QStringLiteral("N01"));
    QVERIFY(!restored->IsShown());
    QCOMPARE(wrapperById(QStringLiteral("N01"))->Note->Title, QStringLiteral("new one"));
    QVERIFY(QFile::exists(restored->FileName));

    select(QStringLiteral("apple pie"));
    m_answer = false;
    TRIGGER_ACTION(NotesManagerForm, "彻底删除");
    QVERIFY(m_prompts.last().text.startsWith(QStringLiteral("你确定要彻底删除这个便笺吗?")));
    QVERIFY(m_prompts.last().text.endsWith(QStringLiteral("apple pie")));
    QVERIFY(QFile::exists(deletedFile(QStringLiteral("N02.knt"))));
    m_answer = true;
    TRIGGER_ACTION(NotesManagerForm, "彻底删除");
    QVERIFY(!QFile::exists(deletedFile(QStringLiteral("N02.knt"))));
    QVERIFY(rowTitles().isEmpty());

    // Uninstalling takes the deleted notes with the others.
    select(QStringLiteral("new one"));
    showDeleted(false);
    select(QStringLiteral("new one"));
    TRIGGER_ACTION(NotesManagerForm, "删除便笺");
    QVERIFY(QFile::exists(deletedFile(QStringLiteral("N01.knt"))));
    NotesManagerForm->close();
    DestroyNoteEngine();
    const QString name = QCoreApplication::applicationName();
    QCOMPARE(RunUninstall(), 0);
    QCoreApplication::setApplicationName(name);
    QVERIFY(!QFileInfo::exists(deletedFile(QString())));
}

void TestUndelete::deletedNotesStayQuietAndAgeOut()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("live"), true, QStringLiteral("g"));
    writeNote(QStringLiteral("N02"), QStringLiteral("deleted"), false, QStringLiteral("g"));
    writeNote(QStringLiteral("N03"), QStringLiteral("old"), true);
    writeNote(QStringLiteral("N04"), QStringLiteral("recent"), true);
    {
        TNoteClass ringing(QStringLiteral("N02"));
        QCOMPARE(ringing.LoadFromFile(NoteFileName(QStringLiteral("N02"))), TNoteClass::LoadResult::Loaded);
        ringing.AlarmSet = true;
        ringing.AlarmTime = Now() - 1.0;
        ringing.AutoShowState = 1;
        ringing.AutoShowTime = Now() - 1.0;
        QVERIFY(ringing.SaveToFile(NoteFileName(QStringLiteral("N02"))));
    }
    const DeletedNotes area(UserFolder);
    QVERIFY(!area.moveIn(NoteFileName(QStringLiteral("N02")), Clock::now().addDays(-1)).isEmpty());
    QVERIFY(!area.moveIn(NoteFileName(QStringLiteral("N03")), Clock::now().addDays(-31)).isEmpty());
    QVERIFY(!area.moveIn(NoteFileName(QStringLiteral("N04")), Clock::now().addDays(-29)).isEmpty());
    const QByteArray ringingBytes = fileBytes(deletedFile(QStringLiteral("N02.knt")));

    CreateNoteEngine();
    QVERIFY(!QFile::exists(deletedFile(QStringLiteral("N03.knt"))));
    QVERIFY(QFile::exists(deletedFile(QStringLiteral("N04.knt"))));
    QCOMPARE(NoteEngine->Manager->Notes.Count(), 1);
    NoteEngine->Manager->CheckTimers();
    NoteEngine->ShowNotesManager();
    select(QStringLiteral("live"));
    TRIGGER_ACTION(NotesManagerForm, "显示同组的所有便笺");
    QCOMPARE(NoteEngine->Manager->Notes.Count(), 1);
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.cbegin(), windows.cend(),
                           [](const QWidget *w) { return qobject_cast<const TNoteForm *>(w) && w->isVisible(); }),
             1);
    QVERIFY(m_prompts.isEmpty());
    QCOMPARE(fileBytes(deletedFile(QStringLiteral("N02.knt"))), ringingBytes);
    showDeleted(true);
    QCOMPARE(rowTitles(), QStringList({QStringLiteral("deleted"), QStringLiteral("recent")}));
}

void TestUndelete::deleteOnOtherComputerArrives()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("shared"));
    writeNote(QStringLiteral("N02"), QStringLiteral("other"), true);
    QVERIFY(QDir().mkpath(deletedFile(QString())));
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    showDeleted(true);
    const QPointer<TNoteForm> window = wrapperById(QStringLiteral("N01"))->Window.data();
    QVERIFY(window);

    // The sync tool removes the note, and then writes the deleted one under
    // a name of its own and renames it into place.
    const QByteArray bytes = fileBytes(NoteFileName(QStringLiteral("N01")));
    QVERIFY(QFile::remove(NoteFileName(QStringLiteral("N01"))));
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 5000);
    QVERIFY(rowTitles().isEmpty());
    const QString arriving = deletedFile(QStringLiteral(".syncthing.N01.knt.tmp"));
    QVERIFY(writeFileBytes(arriving, bytes));
    QVERIFY(QFile::rename(arriving, deletedFile(QStringLiteral("N01.knt"))));
    QTRY_COMPARE_WITH_TIMEOUT(rowTitles(), QStringList{QStringLiteral("shared")}, 5000);
    QCOMPARE(NoteEngine->Manager->Notes.Count(), 1);
    select(QStringLiteral("shared"));
    TRIGGER_ACTION(NotesManagerForm, "恢复便笺");
    QVERIFY(wrapperById(QStringLiteral("N01"))->IsShown());
}

QTEST_MAIN(TestUndelete)
#include "tst_undelete.moc"
