#include "notes/NoteSearch.h"

#include <QtTest>

class TestNoteSearch : public QObject
{
    Q_OBJECT

private slots:
    void matching();
    void occurrencesInOriginalText();
};

void TestNoteSearch::matching()
{
    const QString note = NoteSearch::fold(QStringLiteral("Shopping List\n家务\n买牛奶和面包 ＡＢＣ１２３"));
    QVERIFY(NoteSearch(QStringLiteral(" \t ")).matches(note));
    QVERIFY(NoteSearch(QStringLiteral("shopping LIST 家务")).matches(note));
    QVERIFY(NoteSearch(QStringLiteral("牛奶 abc123")).matches(note));
    QVERIFY(NoteSearch(QStringLiteral("ＳＨＯＰ　面包")).matches(note));
    QVERIFY(!NoteSearch(QStringLiteral("shopping 牛肉")).matches(note));
    // A word runs neither across a blank nor from one text into the next.
    QVERIFY(!NoteSearch(QStringLiteral("list家务")).matches(note));
}

void TestNoteSearch::occurrencesInOriginalText()
{
    using Spans = QList<std::pair<qsizetype, qsizetype>>;
    // In the text as written; words that overlap make one span; a character
    // beyond the basic plane counts as the two it takes.
    QCOMPARE(NoteSearch(QStringLiteral("ab")).occurrences(QStringLiteral("xＡＢyab")), (Spans{{1, 2}, {4, 2}}));
    QCOMPARE(NoteSearch(QStringLiteral("牛奶 奶和")).occurrences(QStringLiteral("买牛奶和面包")), (Spans{{1, 3}}));
    QCOMPARE(NoteSearch(QStringLiteral("x")).occurrences(QStringLiteral("😀X😀")), (Spans{{2, 1}}));
}

QTEST_GUILESS_MAIN(TestNoteSearch)
#include "tst_notesearch.moc"
