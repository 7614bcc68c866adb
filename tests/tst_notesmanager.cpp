#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/MainFormUnit.h"
#include "app/RegistryUnit.h"
#include "dialogs/ColorPicker.h"
#include "dialogs/frmNotesManagerForm.h"
#include "notewindow/NoteConfUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/RegistryStore.h"
#include "platform/RtfReader.h"
#include "tests/support/Actions.h"
#include "tests/support/NoteWindowSetup.h"
#include "tests/support/FileHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QtTest>

#include <functional>

namespace {

// Runs `work` on the properties dialog as soon as it is shown modally.
void onPropertiesDialog(std::function<void(TNoteConf *)> work)
{
    QTimer::singleShot(0, [work] {
        auto *dialog = qobject_cast<TNoteConf *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        work(dialog);
    });
}

// Shuts the program down at the first frame of a note window's close
// animation, as a signal or a terminate request arriving then would.
class ShutdownInCloseAnimation : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto *form = qobject_cast<TNoteForm *>(watched);
        if (form && form->Closing && event->type() == QEvent::Resize && !ShuttingDown)
            ShutdownApplication();
        return false;
    }
};

} // namespace

class TestNotesManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rowsAndImages();
    void oneWindowAndShellReady();
    void listFollowsEveryChange();
    void sorting_data();
    void sorting();
    void actionRules();
    void previewTip();
    void doubleClickOpensClosedNote();
    void placementIsRemembered();
    void damagedPlacementIsReported();
    void shellComesBackHoweverClosed();
    void propertiesKeepShellHeld();
    void closeButtonAndTitleColumn();

    void propertiesFillAndTakeBack();
    void propertiesTimeChecks();
    void propertiesCancelStillSaves();
    void propertiesUnparsableTime();
    void propertiesGroupsOfferedOnce();
    void propertiesPlacement();

    // A shutdown while the window of the note being deleted or closed plays
    // its close animation.
    void shutdownDuringClose_data();
    void shutdownDuringClose();

private:
    void writeNote(const QString &id, const QString &title, bool hidden = false, const QString &group = {},
                   std::optional<TDateTime> alarm = std::nullopt);
    TNoteWrapper *wrapperById(const QString &id) const;
    QStringList rowTitles() const;
    void select(const QString &title);

    enum Command { NoteWindowDelete, ManagerDelete, ManagerClose, ManagerCloseGroup };

    QTemporaryDir *m_dir = nullptr;
    QList<PromptRequest> m_prompts;
};

void TestNotesManager::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestNotesManager::init()
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
    setPromptHook([this](const PromptRequest &request) {
        m_prompts.append(request);
        return PromptReply{true, request.defaultText};
    });
}

void TestNotesManager::cleanup()
{
    closeNoteEngine();
    setPromptHook({});
    Clock::useSystemTime();
    delete m_dir;
}

void TestNotesManager::writeNote(const QString &id, const QString &title, bool hidden, const QString &group,
                                 std::optional<TDateTime> alarm)
{
    TNoteClass note(id);
    note.Title = title;
    note.Group = group;
    note.Content = rtfOf(title + QStringLiteral(" text"));
    note.SetHidden(hidden);
    if (alarm) {
        note.AlarmSet = true;
        note.AlarmTime = *alarm;
    }
    QVERIFY(note.SaveToFile(NoteFileName(id)));
}

TNoteWrapper *TestNotesManager::wrapperById(const QString &id) const
{
    for (TNoteWrapper *wrapper : NoteEngine->Manager->Notes.snapshot()) {
        if (wrapper->NoteID == id)
            return wrapper;
    }
    return nullptr;
}

QStringList TestNotesManager::rowTitles() const
{
    QStringList titles;
    for (int i = 0; i < NotesManagerForm->NotesListView->topLevelItemCount(); ++i)
        titles << NotesManagerForm->NotesListView->topLevelItem(i)->text(0);
    return titles;
}

void TestNotesManager::select(const QString &title)
{
    QTreeWidget *list = NotesManagerForm->NotesListView;
    list->clearSelection();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == title)
            list->setCurrentItem(list->topLevelItem(i));
    }
}

void TestNotesManager::rowsAndImages()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("open"), false, QStringLiteral("g"));
    writeNote(QStringLiteral("N02"), QStringLiteral("closed"), true, QString(), Now() + 1.0);
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    QVERIFY(NotesManagerForm);
    QCOMPARE(NotesManagerForm->windowTitle(), QStringLiteral("便笺管理"));
    QTreeWidget *list = NotesManagerForm->NotesListView;
    QCOMPARE(list->headerItem()->text(0), QStringLiteral("标题"));
    QCOMPARE(list->headerItem()->text(3), QStringLiteral("自动显示"));
    QCOMPARE(rowTitles(), QStringList({QStringLiteral("closed"), QStringLiteral("open")}));
    const QTreeWidgetItem *closed = list->topLevelItem(0);
    QCOMPARE(closed->data(0, TNoteWrapper::ImageIndexRole).toInt(), 1);
    QCOMPARE(closed->text(2), dateTimeText(Now() + 1.0));
    QCOMPARE(closed->text(3), QStringLiteral("未设置"));
    QCOMPARE(list->topLevelItem(1)->data(0, TNoteWrapper::ImageIndexRole).toInt(), 0);
    QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("g"));
    QVERIFY(!list->topLevelItem(0)->icon(0).isNull());
}

void TestNotesManager::oneWindowAndShellReady()
{
    CreateNoteEngine();
    QVERIFY(ShellReady);
    NoteEngine->ShowNotesManager();
    TNotesManagerForm *first = NotesManagerForm;
    QVERIFY(!ShellReady);
    NoteEngine->ShowNotesManager();
    QCOMPARE(NotesManagerForm, first);
    QPointer<TNotesManagerForm> guard(first);
    NotesManagerForm->CloseButton->click();
    QVERIFY(!NotesManagerForm);
    QVERIFY(ShellReady);
    QTRY_VERIFY(guard.isNull());
}

void TestNotesManager::listFollowsEveryChange()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("one"));
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    QTreeWidget *list = NotesManagerForm->NotesListView;
    TNoteWrapper *one = wrapperById(QStringLiteral("N01"));

    select(QStringLiteral("one"));
    TRIGGER_ACTION(NotesManagerForm, "关闭便笺");
    QVERIFY(one->Note->IsHidden());
    QCOMPARE(list->topLevelItem(0)->data(0, TNoteWrapper::ImageIndexRole).toInt(), 1);

    TRIGGER_ACTION(NotesManagerForm, "显示便笺");
    QVERIFY(one->IsShown());
    QCOMPARE(list->topLevelItem(0)->data(0, TNoteWrapper::ImageIndexRole).toInt(), 0);

    TRIGGER_ACTION(NotesManagerForm, "新建便笺");
    QCOMPARE(list->topLevelItemCount(), 2);

    select(QStringLiteral("one"));
    TRIGGER_ACTION(NotesManagerForm, "删除便笺");
    QCOMPARE(m_prompts.last().kind, PromptKind::Confirmation);
    QCOMPARE(list->topLevelItemCount(), 1);
    QVERIFY(!QFile::exists(NoteFileName(QStringLiteral("N01"))));
}

void TestNotesManager::sorting_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("title") << 0 << QStringList({"Apple", "apple", "b", "未"});
    QTest::newRow("group, then title") << 1 << QStringList({"b", "未", "Apple", "apple"});
    // By time, rows without a time after all others, ties by title.
    QTest::newRow("alarm by time") << 2 << QStringList({"apple", "未", "Apple", "b"});
    QTest::newRow("auto-show, none set") << 3 << QStringList({"Apple", "apple", "b", "未"});
}

void TestNotesManager::sorting()
{
    QFETCH(int, column);
    QFETCH(QStringList, order);
    const TDateTime now = Now();
    writeNote(QStringLiteral("N01"), QStringLiteral("b"), true, QStringLiteral("A"));
    writeNote(QStringLiteral("N02"), QStringLiteral("apple"), true, QStringLiteral("B"), now + 5.0);
    writeNote(QStringLiteral("N03"), QStringLiteral("Apple"), true, QStringLiteral("B"));
    writeNote(QStringLiteral("N04"), QStringLiteral("未"), true, QStringLiteral("A"), now + 12.0);
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    NotesManagerForm->NotesListViewColumnClick(column);
    QCOMPARE(rowTitles(), order);
    // A refill keeps the order of the chosen column.
    NoteEngine->RefreshNotesManager();
    QCOMPARE(rowTitles(), order);
}

void TestNotesManager::actionRules()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("open"));
    writeNote(QStringLiteral("N02"), QStringLiteral("closed"), true);
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    TNotesManagerForm *form = NotesManagerForm;

    form->NotesListView->clearSelection();
    form->updateActions();
    QVERIFY(!form->HideNote->isVisible());
    QVERIFY(form->ShowNote->isVisible());
    QVERIFY(!form->ShowNote->isEnabled());
    QVERIFY(!form->EditNote->isEnabled());
    QVERIFY(!form->DeleteNote->isEnabled());

    select(QStringLiteral("open"));
    QVERIFY(form->HideNote->isVisible());
    QVERIFY(!form->ShowNote->isVisible());
    QVERIFY(form->EditNote->isEnabled());
    QVERIFY(form->ShowGroup->isEnabled());

    select(QStringLiteral("closed"));
    QVERIFY(!form->HideNote->isVisible());
    QVERIFY(form->ShowNote->isVisible());
    QVERIFY(form->ShowNote->isEnabled());

    QCOMPARE(form->NewNote->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    QCOMPARE(form->HideNote->shortcut(), QKeySequence(Qt::Key_C));
    QCOMPARE(form->ShowNote->shortcut(), QKeySequence(Qt::Key_S));
    QCOMPARE(form->EditNote->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    QCOMPARE(form->DeleteNote->shortcut(), QKeySequence(Qt::Key_Delete));
    QCOMPARE(actionCaptions(form->NotePopupMan->actions()),
             QStringList({"关闭便笺", "显示便笺", "-", "显示同组的所有便笺", "关闭同组的所有便笺", "-", "新建便笺(&N)",
                          "删除便笺", "-", "便笺属性", "-", "恢复便笺", "彻底删除", "已删除的便笺", "-", "导出...", "导入..."}));
}

void TestNotesManager::previewTip()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("tip"), true);
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    QTreeWidgetItem *row = NotesManagerForm->NotesListView->topLevelItem(0);
    QCOMPARE(NotesManagerForm->NotesListViewInfoTip(row), QStringLiteral("Note text preview:\n\rtip text"));
    QCOMPARE(NotesManagerForm->NotesListViewInfoTip(nullptr), QString());
}

void TestNotesManager::doubleClickOpensClosedNote()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("closed"), true);
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    select(QStringLiteral("closed"));
    NotesManagerForm->NotesListViewDblClick();
    QVERIFY(wrapperById(QStringLiteral("N01"))->IsShown());
    QVERIFY(!wrapperById(QStringLiteral("N01"))->Note->IsHidden());
}

void TestNotesManager::placementIsRemembered()
{
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(NotesManagerForm->pos(), QPoint((screen.width() - 530) / 2, (screen.height() - 328) / 2));
    NotesManagerForm->setGeometry(60, 70, 400, 300);
    const QPoint placed = NotesManagerForm->pos();
    NotesManagerForm->close();
    NoteEngine->ShowNotesManager();
    QCOMPARE(NotesManagerForm->pos(), placed);
    QCOMPARE(NotesManagerForm->size(), QSize(400, 300));
}

void TestNotesManager::damagedPlacementIsReported()
{
    {
        TRegistry registry;
        QVERIFY(registry.OpenKey(TNotesManagerForm::PlacementKey, true));
        registry.WriteInteger(QStringLiteral("FormX"), 150);
    }
    CreateNoteEngine();
    QVERIFY_THROWS_EXCEPTION(ERegistryException, NoteEngine->ShowNotesManager());
    QVERIFY(NotesManagerForm && NotesManagerForm->isVisible());
    QVERIFY(!ShellReady);
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(NotesManagerForm->pos(), QPoint((screen.width() - 530) / 2, (screen.height() - 328) / 2));
}

void TestNotesManager::shellComesBackHoweverClosed()
{
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    QVERIFY(!ShellReady);
    QTest::keyClick(NotesManagerForm->NotesListView, Qt::Key_Return);
    QVERIFY(!NotesManagerForm);
    QVERIFY(ShellReady);

    // A placement that cannot be stored is reported, and the window lets go.
    NoteEngine->ShowNotesManager();
    QPointer<TNotesManagerForm> form(NotesManagerForm);
    QVERIFY(QFile::remove(TRegistry::storeFileName()));
    QVERIFY(QDir().mkpath(TRegistry::storeFileName()));
    QVERIFY_THROWS_EXCEPTION(ERegistryException, form->CloseButton->click());
    QVERIFY(QDir(TRegistry::storeFileName()).removeRecursively());
    QVERIFY(!NotesManagerForm);
    QVERIFY(ShellReady);
    delete form;

    // Destroyed without a close, as with its owner at shutdown.
    NoteEngine->ShowNotesManager();
    delete NotesManagerForm;
    QVERIFY(ShellReady);
}

void TestNotesManager::propertiesKeepShellHeld()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("one"));
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    select(QStringLiteral("one"));
    onPropertiesDialog([](TNoteConf *dialog) { dialog->reject(); });
    TRIGGER_ACTION(NotesManagerForm, "便笺属性");
    QVERIFY(NotesManagerForm);
    QVERIFY(!ShellReady);
    NotesManagerForm->close();
    QVERIFY(ShellReady);
}

void TestNotesManager::closeButtonAndTitleColumn()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("a"));
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    QVERIFY(!NotesManagerForm->CloseButton->icon().isNull());
    QTreeWidget *list = NotesManagerForm->NotesListView;
    QCOMPARE(list->columnWidth(0), 200);
    wrapperById(QStringLiteral("N01"))->Note->Title = QString(80, QLatin1Char('W'));
    NoteEngine->RefreshNotesManager();
    QVERIFY(list->columnWidth(0) > 200);
}

void TestNotesManager::propertiesFillAndTakeBack()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("props"), false, QStringLiteral("grp"));
    CreateNoteEngine();
    TNoteWrapper *note = wrapperById(QStringLiteral("N01"));
    note->Note->NoteColor = 0x00112233;
    onPropertiesDialog([](TNoteConf *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("便笺选项"));
        QCOMPARE(dialog->Pages->currentIndex(), 0);
        QCOMPARE(dialog->Titleedit->text(), QStringLiteral("props"));
        QCOMPARE(dialog->Titleedit->maxLength(), 124);
        QCOMPARE(dialog->GroupBox->currentText(), QStringLiteral("grp"));
        QCOMPARE(dialog->NColor->color(), 0x00112233u);
        QCOMPARE(dialog->BColor->color(), clNone);
        QVERIFY(!dialog->AutoShowCB->isChecked());
        QVERIFY(!ShellReady);
        dialog->Titleedit->setText(QStringLiteral("renamed"));
        dialog->GroupBox->setEditText(QStringLiteral("新组"));
        dialog->LinkedFileEdit->setText(QStringLiteral("/tmp/linked.txt"));
        dialog->NColor->setColor(clNone);
        dialog->BColor->setColor(0x00445566);
        dialog->CKAlarm->setChecked(true);
        dialog->DayInfo->setDate(QDate(2026, 3, 2));
        dialog->TimeInfo->setText(QStringLiteral("08:15"));
        dialog->accept();
    });
    EditNoteProperties(note, 100, 100);
    QVERIFY(ShellReady);
    QCOMPARE(note->Note->Title, QStringLiteral("renamed"));
    QCOMPARE(note->Note->Group, QStringLiteral("新组"));
    QCOMPARE(note->Note->LinkedFile, QStringLiteral("/tmp/linked.txt"));
    QCOMPARE(note->Note->NoteColor, clNone);
    QCOMPARE(note->Note->TitleColor, 0x00445566u);
    QVERIFY(note->Note->AlarmSet);
    QCOMPARE(fromDateTime(note->Note->AlarmTime), QDateTime(QDate(2026, 3, 2), QTime(8, 15)));
    TNoteClass stored(QStringLiteral("N01"));
    QCOMPARE(stored.LoadFromFile(note->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(stored.Title, QStringLiteral("renamed"));
    QVERIFY(m_prompts.isEmpty());
}

void TestNotesManager::propertiesTimeChecks()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("times"));
    CreateNoteEngine();
    TNoteWrapper *note = wrapperById(QStringLiteral("N01"));
    // The clock stands at 10:00:30: an auto-show at 09:59 and an alarm at
    // 10:00 (seconds already past) are both refused.
    onPropertiesDialog([](TNoteConf *dialog) {
        dialog->AutoShowCB->setChecked(true);
        dialog->AutoShowDateEdit->setDate(QDate(2026, 3, 1));
        dialog->AutoShowTimeEdit->setText(QStringLiteral("09:59"));
        dialog->CKAlarm->setChecked(true);
        dialog->DayInfo->setDate(QDate(2026, 3, 1));
        dialog->TimeInfo->setText(QStringLiteral("10:00"));
        dialog->accept();
    });
    EditNoteProperties(note, -1, -1);
    QCOMPARE(note->Note->AutoShowState, 0);
    QVERIFY(!note->Note->AlarmSet);
    QCOMPARE(m_prompts.size(), 2);
    QCOMPARE(m_prompts.at(0).caption, QStringLiteral("错误"));
    QCOMPARE(m_prompts.at(0).text, QStringLiteral("Autoshow time is previous than current time, autoshow disabled!"));
    QCOMPARE(m_prompts.at(1).text, QStringLiteral("Allarm time is previous than current time, allarm disabled!"));

    m_prompts.clear();
    onPropertiesDialog([](TNoteConf *dialog) {
        dialog->AutoShowCB->setChecked(true);
        dialog->AutoShowDateEdit->setDate(QDate(2026, 3, 1));
        dialog->AutoShowTimeEdit->setText(QStringLiteral("10:01"));
        dialog->accept();
    });
    EditNoteProperties(note, -1, -1);
    QVERIFY(m_prompts.isEmpty());
    QCOMPARE(note->Note->AutoShowState, 1);
    QCOMPARE(fromDateTime(note->Note->AutoShowTime), QDateTime(QDate(2026, 3, 1), QTime(10, 1)));
}

void TestNotesManager::propertiesCancelStillSaves()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("cancel"));
    CreateNoteEngine();
    TNoteWrapper *note = wrapperById(QStringLiteral("N01"));
    note->Window->NoteEdit()->setPlainText(QStringLiteral("typed before"));
    note->ReadFromWindow();
    onPropertiesDialog([](TNoteConf *dialog) {
        dialog->Titleedit->setText(QStringLiteral("changed"));
        dialog->NColor->setColor(0x00ABCDEF);
        dialog->reject();
    });
    EditNoteProperties(note, -1, -1);
    QCOMPARE(note->Note->Title, QStringLiteral("cancel"));
    QCOMPARE(note->Note->NoteColor, clNone);
    TNoteClass saved(QStringLiteral("N01"));
    QCOMPARE(saved.LoadFromFile(note->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(Rtf::toPlainText(saved.Content).trimmed(), QStringLiteral("typed before"));
    QVERIFY(ShellReady);
}

void TestNotesManager::propertiesUnparsableTime()
{
    TNoteConf dialog;
    dialog.AutoShowCB->setChecked(true);
    dialog.AutoShowTimeEdit->setText(QStringLiteral("25:00"));
    dialog.AutoShowTimeEditExit();
    QVERIFY(!dialog.AutoShowCB->isChecked());
    QCOMPARE(dialog.AutoShowTimeEdit->text(), QStringLiteral("00:00"));
    dialog.CKAlarm->setChecked(true);
    dialog.TimeInfo->setText(QStringLiteral("12:34"));
    dialog.TimeInfoExit();
    QVERIFY(dialog.CKAlarm->isChecked());
    QCOMPARE(dialog.TimeInfo->text(), QStringLiteral("12:34"));
}

void TestNotesManager::propertiesGroupsOfferedOnce()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("a"), true, QStringLiteral("Work"));
    writeNote(QStringLiteral("N02"), QStringLiteral("b"), true, QStringLiteral("work"));
    writeNote(QStringLiteral("N03"), QStringLiteral("c"), true, QStringLiteral("  "));
    writeNote(QStringLiteral("N04"), QStringLiteral("d"), true, QStringLiteral("家"));
    CreateNoteEngine();
    QStringList offered;
    onPropertiesDialog([&offered](TNoteConf *dialog) {
        for (int i = 0; i < dialog->GroupBox->count(); ++i)
            offered << dialog->GroupBox->itemText(i);
        dialog->reject();
    });
    EditNoteProperties(wrapperById(QStringLiteral("N01")), -1, -1);
    QCOMPARE(offered, QStringList({QStringLiteral("Work"), QStringLiteral("家")}));
}

void TestNotesManager::propertiesPlacement()
{
    writeNote(QStringLiteral("N01"), QStringLiteral("place"));
    CreateNoteEngine();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QPoint placed;
    QSize size;
    const auto capture = [&](TNoteConf *dialog) {
        placed = dialog->pos();
        size = dialog->size();
        dialog->reject();
    };
    onPropertiesDialog(capture);
    EditNoteProperties(wrapperById(QStringLiteral("N01")), 100, 120);
    QCOMPARE(placed, QPoint(110, 130));
    onPropertiesDialog(capture);
    EditNoteProperties(wrapperById(QStringLiteral("N01")), area.width() - 20, 120);
    QCOMPARE(placed, QPoint((area.width() - size.width()) / 2, 130));
    onPropertiesDialog(capture);
    EditNoteProperties(wrapperById(QStringLiteral("N01")), -1, -1);
    QCOMPARE(placed, QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2));
}

void TestNotesManager::shutdownDuringClose_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("duringQuestion");
    QTest::newRow("note window, 删除便笺") << int(NoteWindowDelete) << false;
    QTest::newRow("note window, 删除便笺, at the question") << int(NoteWindowDelete) << true;
    QTest::newRow("notes manager window, 删除便笺") << int(ManagerDelete) << false;
    QTest::newRow("notes manager window, 关闭便笺") << int(ManagerClose) << false;
    QTest::newRow("notes manager window, 关闭同组的所有便笺") << int(ManagerCloseGroup) << false;
}

void TestNotesManager::shutdownDuringClose()
{
    QFETCH(int, command);
    QFETCH(bool, duringQuestion);
    writeNote(QStringLiteral("N01"), QStringLiteral("keep"));
    writeNote(QStringLiteral("N02"), QStringLiteral("close"), false, QStringLiteral("g"));
    CreateNoteEngine();
    Settings.NoteAnimations = true;
    wrapperById(QStringLiteral("N01"))->Window->move(321, 123);
    const QPointer<TNoteForm> window = wrapperById(QStringLiteral("N02"))->Window;
    ShutdownInCloseAnimation shutdown;
    window->installEventFilter(&shutdown);
    setPromptHook([duringQuestion](const PromptRequest &) {
        if (duringQuestion)
            ShutdownApplication();
        return PromptReply{true, {}};
    });

    QWidget *commands = window.data();
    QString caption = QStringLiteral("删除便笺");
    if (command == NoteWindowDelete) {
        QVERIFY(activateNote(window));
    } else {
        NoteEngine->ShowNotesManager();
        select(QStringLiteral("close"));
        NotesManagerForm->updateActions();
        commands = NotesManagerForm;
        caption = command == ManagerDelete ? QStringLiteral("删除便笺")
            : command == ManagerClose      ? QStringLiteral("关闭便笺")
                                           : QStringLiteral("关闭同组的所有便笺");
    }
    TRIGGER_ACTION(commands, caption);

    QVERIFY(!NoteEngine);
    const bool deleted = command == NoteWindowDelete || command == ManagerDelete;
    QCOMPARE(QFile::exists(NoteFileName(QStringLiteral("N02"))), !deleted);
    if (!deleted) {
        TNoteClass closed(QStringLiteral("N02"));
        QCOMPARE(closed.LoadFromFile(NoteFileName(QStringLiteral("N02"))), TNoteClass::LoadResult::Loaded);
        QCOMPARE(closed.IsHidden(), command == ManagerClose);
    }
    TNoteClass kept(QStringLiteral("N01"));
    QCOMPARE(kept.LoadFromFile(NoteFileName(QStringLiteral("N01"))), TNoteClass::LoadResult::Loaded);
    QCOMPARE(kept.Left, 321);
    QTRY_VERIFY(window.isNull());
}

QTEST_MAIN(TestNotesManager)
#include "tst_notesmanager.moc"
