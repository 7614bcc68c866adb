#include "app/BrisquelEngineUnit.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "dialogs/frmNotesManagerForm.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/RegistryStore.h"
#include "platform/RtfWriter.h"
#include "tests/support/NoteWindowSetup.h"

#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTextDocument>
#include <QTreeWidget>
#include <QtTest>

#include <algorithm>
#include <optional>

namespace {

void writeNote(const QString &id, const QString &title, const QString &group, const QString &body)
{
    TNoteClass note(id);
    note.Title = title;
    note.Group = group;
    // As the note window writes it: Chinese and full-width forms in the code page.
    note.Content = Rtf::write(QTextDocument(body));
    note.SetHidden(true);
    QVERIFY(note.SaveToFile(NoteFileName(id)));
}

// Key by key; what is not on the keyboard comes as an input method commits it.
void type(const QString &text)
{
    QLineEdit *field = NotesManagerForm->SearchEdit;
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(field, c.toLatin1());
            continue;
        }
        QInputMethodEvent commit;
        commit.setCommitString(QString(c));
        QApplication::sendEvent(field, &commit);
    }
}

QStringList shownTitles()
{
    QStringList titles;
    const QTreeWidget *list = NotesManagerForm->NotesListView;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (!list->topLevelItem(i)->isHidden())
            titles << list->topLevelItem(i)->text(0);
    }
    return titles;
}

TNoteWrapper *wrapperOf(const QString &id)
{
    const QList<TNoteWrapper *> notes = NoteEngine->Manager->Notes.snapshot();
    const auto found = std::find_if(notes.begin(), notes.end(), [&id](auto *note) { return note->NoteID == id; });
    return found == notes.end() ? nullptr : *found;
}

} // namespace

// Searching the notes manager's list through its search field.
class TestSearch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void filterSortSelectAndEsc();
    void changedNoteAndEnter();

private:
    std::optional<QTemporaryDir> m_dir;
};

void TestSearch::init()
{
    QStandardPaths::setTestModeEnabled(true);
    m_dir.emplace();
    QVERIFY(m_dir->isValid());
    QFile::remove(TRegistry::storeFileName());
    setProgramFolder(m_dir->path());
    InitUserFolder();
    Starting = false;
    Settings.NoteAnimations = false;
    writeNote(QStringLiteral("N01"), QStringLiteral("购物清单"), QStringLiteral("家务"),
              QStringLiteral("买牛奶和面包\nMilk & bread"));
    writeNote(QStringLiteral("N02"), QStringLiteral("Meeting notes"), QStringLiteral("工作"),
              QStringLiteral("周一开会, agenda ＡＢＣ"));
    writeNote(QStringLiteral("N03"), QStringLiteral("旅行"), QString(), QStringLiteral("Book tickets to 北京"));
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    QCOMPARE(NotesManagerForm->SearchEdit->placeholderText(), QStringLiteral("搜索"));
}

void TestSearch::cleanup()
{
    closeNoteEngine();
    m_dir.reset();
}

void TestSearch::filterSortSelectAndEsc()
{
    type(QStringLiteral("ｍｅｅｔｉｎｇ　ABC 开会"));
    QCOMPARE(shownTitles(), QStringList{QStringLiteral("Meeting notes")});
    // The tip marks the words where the note has them, full-width or not.
    const QString tip = NotesManagerForm->NotesListViewInfoTip(NotesManagerForm->NotesListView->topLevelItem(0));
    const QString mark = QStringLiteral("<span style=\"background-color:#ffff00\">");
    QVERIFY2(tip.contains(QStringLiteral("周一") + mark + QStringLiteral("开会</span>, agenda ") + mark
                          + QStringLiteral("ＡＢＣ</span>")),
             qPrintable(tip));
    QTest::keyClick(NotesManagerForm->SearchEdit, Qt::Key_Escape);
    // A paragraph ends in one line break in the marked tip, not two.
    type(QStringLiteral("milk"));
    QCOMPARE(shownTitles(), QStringList{QStringLiteral("购物清单")});
    const QList<QTreeWidgetItem *> rows =
        NotesManagerForm->NotesListView->findItems(QStringLiteral("购物清单"), Qt::MatchExactly);
    QCOMPARE(rows.size(), 1);
    const QString twoLines = NotesManagerForm->NotesListViewInfoTip(rows.first());
    QVERIFY2(twoLines.contains(QStringLiteral("面包\n") + mark + QStringLiteral("Milk</span>")), qPrintable(twoLines));
    QTest::keyClick(NotesManagerForm->SearchEdit, Qt::Key_Escape);
    type(QStringLiteral("ti"));
    QCOMPARE(shownTitles(), (QStringList{QStringLiteral("Meeting notes"), QStringLiteral("旅行")}));
    // Sorted by group, the rows the search hides stay hidden.
    NotesManagerForm->NotesListViewColumnClick(1);
    QCOMPARE(shownTitles(), (QStringList{QStringLiteral("旅行"), QStringLiteral("Meeting notes")}));
    // No command acts on a selected note the search hides.
    NotesManagerForm->selectWrapper(wrapperOf(QStringLiteral("N02")));
    type(QStringLiteral("ck 北京"));
    QCOMPARE(shownTitles(), QStringList{QStringLiteral("旅行")});
    QVERIFY(!NotesManagerForm->ShowNote->isEnabled());
    QTest::keyClick(NotesManagerForm->SearchEdit, Qt::Key_Escape);
    QVERIFY(NotesManagerForm->SearchEdit->text().isEmpty());
    QCOMPARE(shownTitles().size(), 3);
}

void TestSearch::changedNoteAndEnter()
{
    type(QStringLiteral("机票"));
    QVERIFY(shownTitles().isEmpty());
    // Written on another computer and taken in, the note is searched anew.
    writeNote(QStringLiteral("N03"), QStringLiteral("旅行"), QString(), QStringLiteral("订机票"));
    QVERIFY(wrapperOf(QStringLiteral("N03"))->TakeTheirs(false));
    QCOMPARE(shownTitles(), QStringList{QStringLiteral("旅行")});
    // Enter in the field opens the first match instead of closing the window.
    QTest::keyClick(NotesManagerForm->SearchEdit, Qt::Key_Return);
    QVERIFY(wrapperOf(QStringLiteral("N03"))->IsShown());
    QVERIFY(wrapperOf(QStringLiteral("N03"))->Window->isVisible());
    QVERIFY(NotesManagerForm);
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
