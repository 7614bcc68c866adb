#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/RtfReader.h"
#include "tests/support/FileHelpers.h"

#include <QTextEdit>
#include <QTreeWidgetItem>
#include <QtTest>


class TestNotes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loadsEveryFileAndOpensVisibleNotes();
    void damagedNoteIsNeverWritten();
    void unloadableFilesAreReported();
    void newNoteHasNoFileUntilSaved();
    void showAndHideNote();
    void hideForMinutesAndAutoShow();
    void hideUntilPastTimeChangesNothing();
    void alarmFiresOnceAndOnlyAfterItsTime();
    void alarmOnHiddenNoteKeepsAutoShow();
    void deleteNote();
    void upperCaseExtensionKeepsItsFile();
    void groupsShowAndHide();
    void previewIsCutAndCached();
    void listRowOfHiddenNote();
    void editsReachTheFileAfterOneSecond();
    void engineDefaultsAndCloseAll();

private:
    TNoteClass writeNote(const QString &id, const QString &text, bool hidden = false, const QString &group = {});
    QList<TNoteForm *> noteWindows() const;

    QTemporaryDir *m_dir = nullptr;
    QList<PromptRequest> m_prompts;
    bool m_answer = true;
};

void TestNotes::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestNotes::init()
{
    m_dir = new QTemporaryDir();
    QVERIFY(m_dir->isValid());
    setProgramFolder(m_dir->path());
    InitUserFolder();
    Starting = false;
    ShuttingDown = false;
    Settings.NoteAnimations = false;
    Settings.SafeSave = true;
    Clock::setNow(QDateTime(QDate(2026, 3, 1), QTime(10, 0)));
    m_prompts.clear();
    m_answer = true;
    setPromptHook([this](const PromptRequest &request) {
        m_prompts.append(request);
        return PromptReply{m_answer, request.defaultText};
    });
}

void TestNotes::cleanup()
{
    DestroyNoteEngine();
    QTRY_VERIFY(noteWindows().isEmpty());
    setPromptHook({});
    Clock::useSystemTime();
    delete m_dir;
    m_dir = nullptr;
}

TNoteClass TestNotes::writeNote(const QString &id, const QString &text, bool hidden, const QString &group)
{
    TNoteClass note(id);
    note.Title = text;
    note.Group = group;
    note.Content = rtfOf(text);
    note.SetHidden(hidden);
    note.Left = 50;
    note.Top = 60;
    note.Width = 170;
    note.Height = 150;
    note.SaveToFile(NoteFileName(id));
    return note;
}

QList<TNoteForm *> TestNotes::noteWindows() const
{
    QList<TNoteForm *> windows;
    const QWidgetList all = QApplication::topLevelWidgets();
    for (QWidget *widget : all) {
        if (auto *form = qobject_cast<TNoteForm *>(widget); form && !form->Closing)
            windows.append(form);
    }
    return windows;
}

void TestNotes::loadsEveryFileAndOpensVisibleNotes()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("open"));
    writeNote(QStringLiteral("N02"), QStringLiteral("hidden"), true);
    QFile damaged(NoteFileName(QStringLiteral("N03")));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("\x03\x11\x00", 3);
    damaged.close();

    TNotesManager manager;
    QCOMPARE(manager.Notes.Count(), 3);
    QCOMPARE(noteWindows().size(), 1);
    TNoteWrapper *open = manager.Notes.Get(0);
    QCOMPARE(open->NoteID, QStringLiteral("N01"));
    QVERIFY(open->IsShown());
    QCOMPARE(open->Window->objectName(), QStringLiteral("N01"));
    QCOMPARE(open->Window->geometry(), QRect(50, 60, 170, 150));
    QCOMPARE(open->Window->NoteEdit()->toPlainText(), QStringLiteral("open"));
    QVERIFY(!manager.Notes.Get(1)->IsShown());
    QVERIFY(manager.Notes.Get(2)->Damaged);
    QCOMPARE(manager.Notes.Get(2)->Note->Title, QStringLiteral("损坏的便笺         "));
    manager.CloseAll();
}

void TestNotes::damagedNoteIsNeverWritten()
{
    const QString path = NoteFileName(QStringLiteral("N09"));
    QVERIFY(writeFileBytes(path, QByteArray("\x03garbage")));
    const QByteArray before = fileBytes(path);
    TNotesManager manager;
    TNoteWrapper *note = manager.Notes.Get(0);
    QVERIFY(note->Damaged);
    note->Save();
    manager.SaveAll();
    note->ShowNote();
    QVERIFY(!note->IsShown());
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.first().caption, QStringLiteral("信息"));
    QCOMPARE(m_prompts.first().text, QStringLiteral("损坏的便笺: N09"));
    // An alarm read before the damage never rings: it could not be cleared.
    note->Note->AlarmSet = true;
    note->Note->AlarmTime = Now() - 1.0;
    manager.CheckTimers();
    manager.CheckTimers();
    QCOMPARE(m_prompts.size(), 1);
    manager.CloseAll();
    QCOMPARE(fileBytes(path), before);
}

void TestNotes::unloadableFilesAreReported()
{
    const QString empty = NoteFileName(QStringLiteral("N01"));
    QVERIFY(writeFileBytes(empty, {}));
    {
        TNotesManager manager;
        QVERIFY(manager.Notes.Get(0)->Damaged);
        QCOMPARE(m_prompts.size(), 1);
        QCOMPARE(m_prompts.first().kind, PromptKind::Plain);
        QCOMPARE(m_prompts.first().text, QStringLiteral("不能载入便笺"));
        manager.CloseAll();
    }
    QVERIFY(QFile::remove(empty));

    // A file of a newer version is deleted only when the user says so.
    const QString newer = NoteFileName(QStringLiteral("N07"));
    for (const bool answer : {false, true}) {
        m_prompts.clear();
        m_answer = answer;
        QVERIFY(writeFileBytes(newer, QByteArray("\x07rest", 5)));
        TNotesManager manager;
        QVERIFY(manager.Notes.Get(0)->Damaged);
        QCOMPARE(m_prompts.size(), 1);
        QCOMPARE(m_prompts.first().kind, PromptKind::Confirmation);
        QCOMPARE(m_prompts.first().caption, QStringLiteral("确认"));
        QCOMPARE(m_prompts.first().text, QStringLiteral("便笺 N07.knt已使用了更新版本的 Brisquel 保存了, 是否删除?"));
        QCOMPARE(QFile::exists(newer), !answer);
        manager.CloseAll();
    }
}

void TestNotes::newNoteHasNoFileUntilSaved()
{
    TNotesManager manager;
    QCOMPARE(manager.Notes.Count(), 0);
    ShellReady = true;
    TNoteWrapper *note = manager.NewNote();
    QVERIFY(ShellReady);
    QCOMPARE(manager.Notes.Count(), 1);
    QVERIFY(note->IsShown());
    QVERIFY(note->NoteID.startsWith(QLatin1Char('N')));
    QCOMPARE(note->FileName, NoteFileName(note->NoteID));
    QVERIFY(!QFile::exists(note->FileName));
    manager.CloseAll();
    QVERIFY(QFile::exists(note->FileName));
    TNoteClass stored(note->NoteID);
    QCOMPARE(stored.LoadFromFile(note->FileName), TNoteClass::LoadResult::Loaded);
    QVERIFY(!stored.IsHidden()); // it opens again at the next start
}

void TestNotes::showAndHideNote()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("hidden"), true);
    TNotesManager manager;
    TNoteWrapper *note = manager.Notes.Get(0);
    QVERIFY(!note->IsShown());
    note->ShowNote();
    QVERIFY(note->IsShown());
    QVERIFY(!note->Note->IsHidden());

    note->HideNote(true);
    QVERIFY(!note->IsShown());
    QVERIFY(note->Note->IsHidden());
    TNoteClass stored(QStringLiteral("N01"));
    QCOMPARE(stored.LoadFromFile(note->FileName), TNoteClass::LoadResult::Loaded);
    QVERIFY(stored.IsHidden());
}

void TestNotes::hideForMinutesAndAutoShow()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("back soon"));
    TNotesManager manager;
    TNoteWrapper *note = manager.Notes.Get(0);
    note->Window->move(120, 130);
    note->ReadFromWindow();
    note->HideForMinutes(5);
    QVERIFY(!note->IsShown());
    QCOMPARE(note->Note->AutoShowState, 1);
    QCOMPARE(fromDateTime(note->Note->AutoShowTime), QDateTime(QDate(2026, 3, 1), QTime(10, 5)));
    {
        TNoteClass stored(QStringLiteral("N01"));
        QCOMPARE(stored.LoadFromFile(note->FileName), TNoteClass::LoadResult::Loaded);
        QVERIFY(stored.IsHidden());
        QCOMPARE(stored.AutoShowState, 1);
        QCOMPARE(stored.Left, 120);
    }
    Clock::setNow(QDateTime(QDate(2026, 3, 1), QTime(10, 4, 59)));
    manager.CheckTimers();
    QVERIFY(!note->IsShown());
    Clock::advance(2000);
    manager.CheckTimers();
    QVERIFY(note->IsShown());
    QCOMPARE(note->Window->pos(), QPoint(120, 130));
    QCOMPARE(note->Window->NoteEdit()->toPlainText(), QStringLiteral("back soon"));
    QCOMPARE(note->Note->AutoShowState, 0);
    TNoteClass stored(QStringLiteral("N01"));
    QCOMPARE(stored.LoadFromFile(note->FileName), TNoteClass::LoadResult::Loaded);
    QVERIFY(!stored.IsHidden());
    QCOMPARE(stored.AutoShowState, 0);
    manager.CloseAll();
}

void TestNotes::hideUntilPastTimeChangesNothing()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("stay"));
    TNotesManager manager;
    TNoteWrapper *note = manager.Notes.Get(0);
    note->HideUntil(Now());
    note->HideUntil(Now() - 1.0);
    QVERIFY(note->IsShown());
    QCOMPARE(note->Note->AutoShowState, 0);
    manager.CloseAll();
}

void TestNotes::alarmFiresOnceAndOnlyAfterItsTime()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("ring"));
    TNotesManager manager;
    TNoteWrapper *note = manager.Notes.Get(0);
    note->Note->AlarmSet = true;
    note->Note->AlarmTime = Now();
    manager.CheckTimers();
    QVERIFY(note->Note->AlarmSet);
    QVERIFY(!note->Window->Allarme->isActive());
    Clock::advance(1000);
    manager.CheckTimers();
    QVERIFY(!note->Note->AlarmSet);
    QVERIFY(note->Window->Allarme->isActive());
    note->Window->StopAlarm();
    manager.CheckTimers();
    QVERIFY(!note->Window->Allarme->isActive());
    manager.CloseAll();
}

void TestNotes::alarmOnHiddenNoteKeepsAutoShow()
{
    TNoteClass record = writeNote(QStringLiteral("N01"), QStringLiteral("both"), true);
    record.AutoShowState = 1;
    record.AutoShowTime = Now() + 1.0 / 24;
    record.AlarmSet = true;
    record.AlarmTime = Now() - 1.0 / 1440;
    QVERIFY(record.SaveToFile(NoteFileName(QStringLiteral("N01"))));
    TNotesManager manager;
    TNoteWrapper *note = manager.Notes.Get(0);
    manager.CheckTimers();
    QVERIFY(note->IsShown());
    QCOMPARE(note->Note->AutoShowState, 1);
    QVERIFY(!note->Note->AlarmSet);

    // Closed again after the auto-show time: the next scan reopens it.
    note->HideNote(true);
    Clock::advance(2 * 3600 * 1000);
    manager.CheckTimers();
    QVERIFY(note->IsShown());
    QCOMPARE(note->Note->AutoShowState, 0);
    manager.CloseAll();
}

void TestNotes::deleteNote()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("keep"));
    writeNote(QStringLiteral("N02"), QStringLiteral("remove"));
    TNotesManager manager;
    TNoteWrapper *keep = manager.Notes.Get(0);
    TNoteWrapper *remove = manager.Notes.Get(1);

    m_answer = false;
    QVERIFY(!manager.DeleteNote(keep, true));
    QCOMPARE(manager.Notes.Count(), 2);
    QVERIFY(keep->IsShown());
    QVERIFY(QFile::exists(keep->FileName));
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.first().kind, PromptKind::Confirmation);
    QCOMPARE(m_prompts.first().text, QStringLiteral("你确定要删除这个便笺吗?\n\r") + QString(33, QLatin1Char(' '))
                                         + QStringLiteral("便笺标题:") + QString(9, QLatin1Char(' '))
                                         + QStringLiteral("keep"));

    m_answer = true;
    const QString removedFile = remove->FileName;
    QPointer<TNoteForm> window = remove->Window;
    QVERIFY(manager.DeleteNote(remove, true));
    QCOMPARE(manager.Notes.Count(), 1);
    QVERIFY(!QFile::exists(removedFile));
    QTRY_VERIFY(window.isNull());
    QCOMPARE(manager.pendingReleaseCount(), 0);
    QVERIFY(!manager.DeleteNote(nullptr, true));
    manager.CloseAll();
}

void TestNotes::upperCaseExtensionKeepsItsFile()
{
    writeNote(QStringLiteral("N07"), QStringLiteral("upper"));
    const QString upper = UserFolder + QStringLiteral("N07.KNT");
    QVERIFY(QFile::rename(NoteFileName(QStringLiteral("N07")), upper));
    const QDir folder(UserFolder);
    {
        TNotesManager manager;
        QCOMPARE(manager.Notes.Count(), 1);
        TNoteWrapper *note = manager.Notes.Get(0);
        QCOMPARE(note->NoteID, QStringLiteral("N07"));
        QCOMPARE(note->FileName, upper);
        QCOMPARE(note->Window->NoteEdit()->toPlainText(), QStringLiteral("upper"));
        note->Window->move(222, 111);
        manager.CloseAll();
    }
    QCOMPARE(folder.entryList(QDir::Files), QStringList({QStringLiteral("N07.KNT")}));
    TNoteClass stored(QStringLiteral("N07"));
    QCOMPARE(stored.LoadFromFile(upper), TNoteClass::LoadResult::Loaded);
    QCOMPARE(stored.Left, 222);

    TNotesManager manager;
    QVERIFY(manager.DeleteNote(manager.Notes.Get(0), true));
    QVERIFY(folder.entryList(QDir::Files).isEmpty());
}

void TestNotes::groupsShowAndHide()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("a"), false, QStringLiteral("Work"));
    writeNote(QStringLiteral("N02"), QStringLiteral("b"), false, QStringLiteral("WORK"));
    writeNote(QStringLiteral("N03"), QStringLiteral("c"), false, QStringLiteral("工作"));
    writeNote(QStringLiteral("N04"), QStringLiteral("d"));
    QVERIFY(SameGroup(QStringLiteral("Work"), QStringLiteral("wORK")));
    QVERIFY(!SameGroup(QStringLiteral("Wörk"), QStringLiteral("WÖRK")));
    TNotesManager manager;
    manager.ShowHideGroup(QStringLiteral("work"), false);
    QVERIFY(!manager.Notes.Get(0)->IsShown());
    QVERIFY(!manager.Notes.Get(1)->IsShown());
    QVERIFY(manager.Notes.Get(2)->IsShown());
    QVERIFY(manager.Notes.Get(3)->IsShown());
    // Closing by group does not mark the notes hidden.
    QVERIFY(!manager.Notes.Get(0)->Note->IsHidden());
    manager.ShowHideGroup(QString(), false);
    QVERIFY(!manager.Notes.Get(3)->IsShown());
    QVERIFY(manager.Notes.Get(2)->IsShown());
    manager.ShowHideGroup(QStringLiteral("WoRk"), true);
    QVERIFY(manager.Notes.Get(0)->IsShown());
    QVERIFY(manager.Notes.Get(1)->IsShown());
    manager.CloseAll();
}

void TestNotes::previewIsCutAndCached()
{
    writeNote(QStringLiteral("N01"), QString(300, QLatin1Char('p')), true);
    TNotesManager manager;
    TNoteWrapper *note = manager.Notes.Get(0);
    QCOMPARE(note->GetPreview(), QString(255, QLatin1Char('p')));
    note->Note->Content = rtfOf(QStringLiteral("changed"));
    QCOMPARE(note->GetPreview(), QString(255, QLatin1Char('p')));
    note->InvalidatePreview();
    QCOMPARE(note->GetPreview(), QStringLiteral("changed"));
    // Two-byte characters are never split at the limit.
    note->Note->Content = QByteArray("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}\\f0 a")
        + QByteArray("\\'b1\\'e3").repeated(200) + "\\par}";
    note->InvalidatePreview();
    QCOMPARE(note->GetPreview(), QStringLiteral("a") + QString(127, QChar(0x4FBF)));
}

void TestNotes::listRowOfHiddenNote()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("row"), true, QStringLiteral("组"));
    TNotesManager manager;
    QTreeWidgetItem row(4);
    manager.Notes.Get(0)->FillListItem(&row);
    QCOMPARE(row.text(0), QStringLiteral("row"));
    QCOMPARE(row.data(0, TNoteWrapper::ImageIndexRole).toInt(), 1);
    QCOMPARE(row.text(1), QStringLiteral("组"));
    QCOMPARE(row.text(2), QStringLiteral("未设置"));
    QCOMPARE(row.text(3), QStringLiteral("未设置"));
    QCOMPARE(static_cast<TNoteWrapper *>(row.data(0, Qt::UserRole).value<void *>()), manager.Notes.Get(0));
}

void TestNotes::editsReachTheFileAfterOneSecond()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("before"));
    TNotesManager manager;
    TNoteWrapper *note = manager.Notes.Get(0);
    QTextEdit *edit = note->Window->NoteEdit();
    QTest::qWait(1200); // the store after opening
    QTextCursor cursor(edit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral(" after"));
    QVERIFY(note->Window->UpdateTimer->isActive());
    TNoteClass stored(QStringLiteral("N01"));
    QCOMPARE(stored.LoadFromFile(note->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(Rtf::toPlainText(stored.Content), QStringLiteral("before"));
    QTRY_VERIFY_WITH_TIMEOUT(!note->Window->UpdateTimer->isActive(), 3000);
    QCOMPARE(stored.LoadFromFile(note->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(Rtf::toPlainText(stored.Content), QStringLiteral("before after"));

    // Without safe saving only the record follows the window.
    Settings.SafeSave = false;
    cursor.insertText(QStringLiteral("!"));
    QTRY_VERIFY_WITH_TIMEOUT(!note->Window->UpdateTimer->isActive(), 3000);
    QCOMPARE(Rtf::toPlainText(note->Note->Content), QStringLiteral("before after!"));
    QCOMPARE(stored.LoadFromFile(note->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(Rtf::toPlainText(stored.Content), QStringLiteral("before after"));
    manager.CloseAll();
    QCOMPARE(stored.LoadFromFile(note->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(Rtf::toPlainText(stored.Content), QStringLiteral("before after!"));
}

void TestNotes::engineDefaultsAndCloseAll()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("open"));
    writeNote(QStringLiteral("N02"), QStringLiteral("hidden"), true);
    CreateNoteEngine();
    QVERIFY(ShellReady);
    QCOMPARE(Settings.NoteFont.faceName(), QStringLiteral("Arial"));
    QCOMPARE(int(Settings.NoteFont.Size), 8);
    QCOMPARE(Settings.TitleFont.faceName(), QStringLiteral("Arial"));
    QCOMPARE(int(Settings.TitleFont.Size), 7);
    QCOMPARE(Settings.TitleColor, 0x0000ECECu);
    QCOMPARE(Settings.NoteColor, 0x0000FFFFu);
    QCOMPARE(noteWindows().size(), 1);
    NoteEngine->Manager->Notes.Get(0)->Window->move(333, 222);
    DestroyNoteEngine();
    QTRY_VERIFY(noteWindows().isEmpty());
    TNoteClass open(QStringLiteral("N01"));
    QCOMPARE(open.LoadFromFile(NoteFileName(QStringLiteral("N01"))), TNoteClass::LoadResult::Loaded);
    QVERIFY(!open.IsHidden());
    QCOMPARE(open.Left, 333);
    TNoteClass hidden(QStringLiteral("N02"));
    QCOMPARE(hidden.LoadFromFile(NoteFileName(QStringLiteral("N02"))), TNoteClass::LoadResult::Loaded);
    QVERIFY(hidden.IsHidden());
}

QTEST_MAIN(TestNotes)
#include "tst_notes.moc"
