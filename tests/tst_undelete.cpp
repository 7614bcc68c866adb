#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/ProgramEntry.h"
#include "app/RegistryUnit.h"
#include "dialogs/frmNotesManagerForm.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/RegistryStore.h"
#include "tests/support/Actions.h"
#include "tests/support/NoteWindowSetup.h"
#include "tests/support/FileHelpers.h"

#include <QDir>
#include <QLineEdit>
#include <QTreeWidget>
#include <QtTest>

// Deleted notes: deleted from the note menu or the notes manager, listed,
// restored and removed for good in the notes manager, carried between
// computers in the note folder.
class TestUndelete : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void deletedAndRestoredAfterRestart();
    void restoreUnderFreeIdAndRemoveForGood();
    void deletedNotesStayQuietAndAgeOut();
    void deleteOnOtherComputerArrives();

private:
    void writeNote(const QString &id, const QString &title, bool hidden, const QString &group = {}, double alarm = 0);
    TNoteWrapper *wrapperById(const QString &id) const;
    QStringList rowTitles() const;
    void select(const QString &title);
    void showDeleted(bool shown);
    QString deletedFile(const QString &name) const { return UserFolder + QStringLiteral("Deleted/") + name; }

    QTemporaryDir *m_dir = nullptr;
    QList<PromptRequest> m_prompts;
    bool m_answer = true;
};

void TestUndelete::init()
{
    QStandardPaths::setTestModeEnabled(true);
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
    closeNoteEngine();
    setPromptHook({});
    Clock::useSystemTime();
    delete m_dir;
}

void TestUndelete::writeNote(const QString &id, const QString &title, bool hidden, const QString &group, double alarm)
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
    note.AlarmSet = alarm != 0;
    note.AlarmTime = Now() + alarm;
    QVERIFY(note.SaveToFile(NoteFileName(id)));
}

TNoteWrapper *TestUndelete::wrapperById(const QString &id) const
{
    const QList<TNoteWrapper *> notes = NoteEngine->Manager->Notes.snapshot();
    const auto found = std::find_if(notes.cbegin(), notes.cend(), [&id](auto *wrapper) { return wrapper->NoteID == id; });
    return found == notes.cend() ? nullptr : *found;
}

// The titles of the rows shown.
QStringList TestUndelete::rowTitles() const
{
    QStringList titles;
    for (QTreeWidgetItemIterator row(NotesManagerForm->NotesListView, QTreeWidgetItemIterator::NotHidden); *row; ++row)
        titles << (*row)->text(0);
    return titles;
}

void TestUndelete::select(const QString &title)
{
    NotesManagerForm->NotesListView->clearSelection();
    for (QTreeWidgetItemIterator row(NotesManagerForm->NotesListView); *row; ++row) {
        if ((*row)->text(0) == title)
            NotesManagerForm->NotesListView->setCurrentItem(*row);
    }
}

void TestUndelete::showDeleted(bool shown)
{
    QAction *toggle = findAction(NotesManagerForm, QStringLiteral("已删除的便笺"));
    QVERIFY(toggle && toggle->isEnabled() && toggle->isChecked() != shown);
    toggle->trigger();
}

void TestUndelete::deletedAndRestoredAfterRestart()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("one"), false, QStringLiteral("g"), 40.0);
    writeNote(QStringLiteral("N02"), QStringLiteral("two"), true);
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();

    // From the note's own menu, after the question as before.
    TNoteForm *window = wrapperById(QStringLiteral("N01"))->Window;
    QVERIFY(activateNote(window));
    TRIGGER_ACTION(window, "删除便笺");
    QVERIFY(m_prompts.value(0).text.startsWith(QStringLiteral("你确定要删除这个便笺吗?")));
    QVERIFY(!QFile::exists(NoteFileName(QStringLiteral("N01"))));
    QCOMPARE(QFileInfo(deletedFile(QStringLiteral("N01.knt"))).lastModified(), Clock::now());
    QCOMPARE(QFileInfo(deletedFile(QString())).permissions(), QFileInfo(UserFolder).permissions());
    QCOMPARE(rowTitles(), QStringList{QStringLiteral("two")});

    showDeleted(true);
    QCOMPARE(rowTitles(), QStringList{QStringLiteral("one")});
    QCOMPARE(NotesManagerForm->NotesListView->topLevelItem(0)->text(3), dateTimeText(Clock::now()));
    QVERIFY(!findAction(NotesManagerForm, QStringLiteral("恢复便笺"))->isEnabled());
    select(QStringLiteral("one"));
    QVERIFY(!findAction(NotesManagerForm, QStringLiteral("删除便笺"))->isEnabled());
    QVERIFY(!findAction(NotesManagerForm, QStringLiteral("新建便笺"))->isEnabled());
    QVERIFY(findAction(NotesManagerForm, QStringLiteral("彻底删除"))->isEnabled());

    // After a restart it comes back with all it had.
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
    QVERIFY(one->Note->AlarmSet && one->Note->AlarmTime == Now() + 40.0);
    QCOMPARE(one->Window->NoteEdit()->toPlainText().trimmed(), QStringLiteral("one text"));
    QVERIFY(rowTitles().isEmpty());

    showDeleted(false);
    QCOMPARE(rowTitles(), QStringList({QStringLiteral("one"), QStringLiteral("two")}));
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
    QVERIFY(restored->NoteID != QStringLiteral("N01") && QFile::exists(restored->FileName));
    QCOMPARE(wrapperById(QStringLiteral("N01"))->Note->Title, QStringLiteral("new one"));

    select(QStringLiteral("apple pie"));
    m_answer = false;
    TRIGGER_ACTION(NotesManagerForm, "彻底删除");
    QVERIFY(m_prompts.last().text.startsWith(QStringLiteral("你确定要彻底删除这个便笺吗?")));
    QVERIFY(QFile::exists(deletedFile(QStringLiteral("N02.knt"))));
    m_answer = true;
    TRIGGER_ACTION(NotesManagerForm, "彻底删除");
    QVERIFY(!QFile::exists(deletedFile(QStringLiteral("N02.knt"))));
    QVERIFY(rowTitles().isEmpty());

    // Uninstalling takes the deleted notes with the others.
    showDeleted(false);
    select(QStringLiteral("new one"));
    TRIGGER_ACTION(NotesManagerForm, "删除便笺");
    QVERIFY(QFile::exists(deletedFile(QStringLiteral("N01.knt"))));
    DestroyNoteEngine();
    const QString name = QCoreApplication::applicationName();
    QCOMPARE(RunUninstall(), 0);
    QCoreApplication::setApplicationName(name);
    QVERIFY(!QFileInfo::exists(deletedFile(QString())));
}

void TestUndelete::deletedNotesStayQuietAndAgeOut()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("live"), true, QStringLiteral("g"));
    writeNote(QStringLiteral("N02"), QStringLiteral("ringing"), false, QStringLiteral("g"), -1.0);
    writeNote(QStringLiteral("N03"), QStringLiteral("old"), true);
    writeNote(QStringLiteral("N04"), QStringLiteral("recent"), true);
    const DeletedNotes area(UserFolder);
    for (const auto &[id, days] : {std::pair{"N02", -1}, {"N03", -31}, {"N04", -29}})
        QVERIFY(!area.moveIn(NoteFileName(QString::fromLatin1(id)), Clock::now().addDays(days)).isEmpty());
    const QByteArray ringing = fileBytes(deletedFile(QStringLiteral("N02.knt")));

    CreateNoteEngine();
    QCOMPARE(NoteEngine->Manager->Notes.Count(), 1);
    NoteEngine->Manager->CheckTimers();
    NoteEngine->ShowNotesManager();
    select(QStringLiteral("live"));
    TRIGGER_ACTION(NotesManagerForm, "显示同组的所有便笺");
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.cbegin(), windows.cend(),
                           [](const QWidget *w) { return qobject_cast<const TNoteForm *>(w) && w->isVisible(); }),
             1);
    QVERIFY(m_prompts.isEmpty());
    QCOMPARE(fileBytes(deletedFile(QStringLiteral("N02.knt"))), ringing);
    showDeleted(true);
    QCOMPARE(rowTitles(), QStringList({QStringLiteral("recent"), QStringLiteral("ringing")}));
    QVERIFY(!QFile::exists(deletedFile(QStringLiteral("N03.knt"))));

    // Where no deleted area can be made, the note goes as it did before
    // rather than come back at the next look at the folder.
    QVERIFY(QDir(deletedFile(QString())).removeRecursively());
    QVERIFY(writeFileBytes(UserFolder + QStringLiteral("Deleted"), "in the way"));
    showDeleted(false);
    select(QStringLiteral("live"));
    TRIGGER_ACTION(NotesManagerForm, "删除便笺");
    NoteEngine->Manager->NoteFiles()->scan();
    QCOMPARE(NoteEngine->Manager->Notes.Count(), 0);
}

void TestUndelete::deleteOnOtherComputerArrives()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("shared"), false);
    writeNote(QStringLiteral("N02"), QStringLiteral("other"), true);
    QVERIFY(QDir().mkpath(deletedFile(QString())));
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    showDeleted(true);
    const QPointer<TNoteForm> window = wrapperById(QStringLiteral("N01"))->Window.data();

    // The sync tool removes the note, then writes the deleted one under a
    // name of its own and renames it into place.
    const QByteArray bytes = fileBytes(NoteFileName(QStringLiteral("N01")));
    QVERIFY(QFile::remove(NoteFileName(QStringLiteral("N01"))));
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 5000);
    QVERIFY(rowTitles().isEmpty());
    const QString arriving = deletedFile(QStringLiteral(".syncthing.N01.knt.tmp"));
    QVERIFY(writeFileBytes(arriving, bytes));
    QVERIFY(QFile::rename(arriving, deletedFile(QStringLiteral("N01.knt"))));
    QTRY_COMPARE_WITH_TIMEOUT(rowTitles(), QStringList{QStringLiteral("shared")}, 5000);
    // The other side's version of a note deleted on both is marked as such.
    QVERIFY(writeFileBytes(deletedFile(QStringLiteral("N01.sync-conflict-20261208-101010-ABCDEFG.knt")), bytes));
    QTRY_COMPARE_WITH_TIMEOUT(rowTitles(), (QStringList{QStringLiteral("shared"), QStringLiteral("冲突副本: shared")}),
                              5000);
}

QTEST_MAIN(TestUndelete)
#include "tst_undelete.moc"
