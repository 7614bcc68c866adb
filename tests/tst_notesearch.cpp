#include "notes/NoteSearch.h"

#include <QtTest>

class TestNoteSearch : public QObject
{
    Q_OBJECT

private slots:
    void matching_data();
    void matching();
    void occurrencesInOriginalText();
};

void TestNoteSearch::matching_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("matches");

    const QStringList note{QStringLiteral("Shopping List"), QStringLiteral("家务"),
                           QStringLiteral("买牛奶和面包\nCall Bob at 10 o'clock")};
    QTest::newRow("nothing typed") << QStringLiteral(" \t ") << note << true;
    QTest::newRow("case ignored") << QStringLiteral("shopping LIST") << note << true;
    QTest::newRow("words in different texts") << QStringLiteral("bob 家务 list") << note << true;
    QTest::newRow("one word missing") << QStringLiteral("bob alice") << note << false;
    QTest::newRow("chinese inside a run") << QStringLiteral("牛奶") << note << true;
    QTest::newRow("chinese not there") << QStringLiteral("牛肉") << note << false;
    QTest::newRow("full-width typed") << QStringLiteral("ＢＯＢ　１０") << note << true;
    QTest::newRow("full-width in the note")
        << QStringLiteral("abc 123") << QStringList{QStringLiteral("ＡＢＣ１２３")} << true;
    QTest::newRow("word across texts does not match") << QStringLiteral("list家务") << note << false;
}

void TestNoteSearch::matching()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, texts);
    QFETCH(bool, matches);
    QCOMPARE(NoteSearch(typed).matches(NoteSearch::fold(texts.join(QLatin1Char('\n')))), matches);
}

void TestNoteSearch::occurrencesInOriginalText()
{
    using Spans = QList<std::pair<qsizetype, qsizetype>>;
    // Spans are in the text as written, full-width forms and all; words
    // that overlap or touch make one span.
    QCOMPARE(NoteSearch(QStringLiteral("ab")).occurrences(QStringLiteral("xＡＢyab")), (Spans{{1, 2}, {4, 2}}));
    QCOMPARE(NoteSearch(QStringLiteral("牛奶 奶和")).occurrences(QStringLiteral("买牛奶和面包")), (Spans{{1, 3}}));
    // A character beyond the basic plane counts as one.
    QCOMPARE(NoteSearch(QStringLiteral("x")).occurrences(QStringLiteral("😀X😀")), (Spans{{2, 1}}));
    QVERIFY(NoteSearch(QStringLiteral("z")).occurrences(QStringLiteral("abc")).isEmpty());
}

QTEST_GUILESS_MAIN(TestNoteSearch)
#include "tst_notesearch.moc"
