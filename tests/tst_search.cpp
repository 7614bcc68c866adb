#include "app/BrisquelEngineUnit.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "dialogs/frmNotesManagerForm.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/RegistryStore.h"
#include "platform/RtfWriter.h"
#include "tests/support/Actions.h"

#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTextDocument>
#include <QTreeWidget>
#include <QtTest>

// Searching the notes manager's list by typing into its search field.
class TestSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void filterAsTyped_data();
    void filterAsTyped();
    void sortingSelectionAndEsc();
    void changedNoteIsSearchedAnew();
    void enterOpensFirstMatch();
    void tipMarksWords();

private:
    void writeNote(const QString &id, const QString &title, const QString &group, const QString &body);
    void openManager();
    void type(const QString &text);
    QStringList shownTitles() const;
    TNoteWrapper *wrapperById(const QString &id) const;

    QTemporaryDir *m_dir = nullptr;
};

void TestSearch::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestSearch::init()
{
    m_dir = new QTemporaryDir();
    QVERIFY(m_dir->isValid());
    QFile::remove(TRegistry::storeFileName());
    setProgramFolder(m_dir->path());
    InitUserFolder();
    Starting = false;
    ShuttingDown = false;
    Settings.NoteAnimations = false;
    writeNote(QStringLiteral("N01"), QStringLiteral("购物清单"), QStringLiteral("家务"),
              QStringLiteral("买牛奶和面包\nMilk & bread"));
    writeNote(QStringLiteral("N02"), QStringLiteral("Meeting notes"), QStringLiteral("工作"),
              QStringLiteral("周一开会, agenda ＡＢＣ"));
    writeNote(QStringLiteral("N03"), QStringLiteral("旅行"), QString(), QStringLiteral("Book tickets to 北京"));
}

void TestSearch::cleanup()
{
    if (NotesManagerForm)
        NotesManagerForm->close();
    DestroyNoteEngine();
    QTest::qWait(10);
    delete m_dir;
}

void TestSearch::writeNote(const QString &id, const QString &title, const QString &group, const QString &body)
{
    TNoteClass note(id);
    note.Title = title;
    note.Group = group;
    // Written as the note window writes it, Chinese and full-width forms in
    // the code page.
    note.Content = Rtf::write(QTextDocument(body));
    note.SetHidden(true);
    QVERIFY(note.SaveToFile(NoteFileName(id)));
}

void TestSearch::openManager()
{
    CreateNoteEngine();
    NoteEngine->ShowNotesManager();
    QVERIFY(NotesManagerForm);
    QCOMPARE(NotesManagerForm->SearchEdit->placeholderText(), QStringLiteral("搜索"));
}

// Key by key; what is not on the keyboard comes as an input method commits
// it, one character at a time.
void TestSearch::type(const QString &text)
{
    QLineEdit *field = NotesManagerForm->SearchEdit;
    field->setFocus();
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(field, c.toLatin1());
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(field, &commit);
        }
    }
}

QStringList TestSearch::shownTitles() const
{
    QStringList titles;
    const QTreeWidget *list = NotesManagerForm->NotesListView;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (!list->topLevelItem(i)->isHidden())
            titles << list->topLevelItem(i)->text(0);
    }
    return titles;
}

TNoteWrapper *TestSearch::wrapperById(const QString &id) const
{
    for (TNoteWrapper *wrapper : NoteEngine->Manager->Notes.snapshot()) {
        if (wrapper->NoteID == id)
            return wrapper;
    }
    return nullptr;
}

void TestSearch::filterAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("chinese inside the body") << QStringLiteral("牛奶") << QStringList{QStringLiteral("购物清单")};
    QTest::newRow("case and full-width in the body")
        << QStringLiteral("MEETING abc") << QStringList{QStringLiteral("Meeting notes")};
    QTest::newRow("group") << QStringLiteral("工作") << QStringList{QStringLiteral("Meeting notes")};
    QTest::newRow("full-width typed, mixed words")
        << QStringLiteral("ｂｏｏｋ　北京") << QStringList{QStringLiteral("旅行")};
    QTest::newRow("words of different notes") << QStringLiteral("book 牛奶") << QStringList{};
}

void TestSearch::filterAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, shown);
    openManager();
    type(typed);
    QCOMPARE(shownTitles(), shown);
}

void TestSearch::sortingSelectionAndEsc()
{
    openManager();
    QTreeWidget *list = NotesManagerForm->NotesListView;
    const QStringList all = shownTitles();
    QCOMPARE(all.size(), 3);
    // Sorting by group while filtered keeps the rows the search hides hidden.
    type(QStringLiteral("ti"));
    QCOMPARE(shownTitles(), (QStringList{QStringLiteral("Meeting notes"), QStringLiteral("旅行")}));
    NotesManagerForm->NotesListViewColumnClick(1);
    QCOMPARE(shownTitles(), (QStringList{QStringLiteral("旅行"), QStringLiteral("Meeting notes")}));

    // A selected note the search hides is no longer selected.
    NotesManagerForm->selectWrapper(wrapperById(QStringLiteral("N02")));
    QVERIFY(NotesManagerForm->ShowNote->isEnabled());
    type(QStringLiteral("ck"));
    QCOMPARE(shownTitles(), QStringList{QStringLiteral("旅行")});
    QVERIFY(list->selectedItems().isEmpty());
    QVERIFY(!NotesManagerForm->ShowNote->isEnabled());

    // Esc empties the field and every row comes back, in the sorted order.
    QTest::keyClick(NotesManagerForm->SearchEdit, Qt::Key_Escape);
    QVERIFY(NotesManagerForm->SearchEdit->text().isEmpty());
    QCOMPARE(shownTitles().size(), 3);
    QCOMPARE(shownTitles().first(), QStringLiteral("旅行"));
    QVERIFY(NotesManagerForm->isVisible());
}

void TestSearch::changedNoteIsSearchedAnew()
{
    openManager();
    type(QStringLiteral("机票"));
    QVERIFY(shownTitles().isEmpty());
    // The note is written on another computer; taking it refills the list,
    // and the search reads the new text.
    writeNote(QStringLiteral("N03"), QStringLiteral("旅行"), QString(), QStringLiteral("订机票"));
    QVERIFY(wrapperById(QStringLiteral("N03"))->TakeTheirs(false));
    QCOMPARE(shownTitles(), QStringList{QStringLiteral("旅行")});
}

void TestSearch::enterOpensFirstMatch()
{
    openManager();
    type(QStringLiteral("o"));
    QCOMPARE(shownTitles().first(), QStringLiteral("Meeting notes"));
    QTest::keyClick(NotesManagerForm->SearchEdit, Qt::Key_Return);
    TNoteWrapper *meeting = wrapperById(QStringLiteral("N02"));
    QVERIFY(meeting->IsShown());
    QVERIFY(meeting->Window->isVisible());
    QVERIFY(!wrapperById(QStringLiteral("N03"))->IsShown());
    // Enter in the field opens; it does not press the close button.
    QVERIFY(NotesManagerForm);
    QCOMPARE(NotesManagerForm->selectedWrapper(), meeting);
}

void TestSearch::tipMarksWords()
{
    openManager();
    type(QStringLiteral("牛奶 MILK"));
    const QList<QTreeWidgetItem *> rows = NotesManagerForm->NotesListView->findItems(QStringLiteral("购物清单"), Qt::MatchExactly);
    QCOMPARE(rows.size(), 1);
    const QString tip = NotesManagerForm->NotesListViewInfoTip(rows.first());
    const QString mark = QStringLiteral("<span style=\"background-color:#ffff00\">");
    QVERIFY2(tip.contains(QStringLiteral("买") + mark + QStringLiteral("牛奶</span>和面包")), qPrintable(tip));
    QVERIFY2(tip.contains(mark + QStringLiteral("Milk</span> &amp; bread")), qPrintable(tip));
    QVERIFY(Qt::mightBeRichText(tip));
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
