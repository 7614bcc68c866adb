#include "notes/NoteExport.h"
#include "notes/NoteImport.h"
#include "platform/CodePage.h"

#include <QtTest>

#include <optional>

class TestNoteExport : public QObject
{
    Q_OBJECT

private slots:
    void decodeText_data();
    void decodeText();
    void safeFileName_data();
    void safeFileName();
    void hugeFileRefused();
    void distinctFileNames();
};

void TestNoteExport::decodeText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<QString>>("text");
    const QString chinese = QStringLiteral("会议纪要: 明天 9 点");
    QTest::newRow("utf-8") << chinese.toUtf8() << std::optional(chinese);
    QTest::newRow("utf-8, byte order mark") << "\xEF\xBB\xBF" + chinese.toUtf8() << std::optional(chinese);
    QTest::newRow("code page 936") << CodePage::toCp936(chinese) << std::optional(chinese);
    QByteArray utf16("\xFF\xFE");
    for (const QChar unit : chinese)
        utf16 += char(unit.unicode() & 0xFF) + QByteArray(1, char(unit.unicode() >> 8));
    QTest::newRow("utf-16, byte order mark") << utf16 << std::optional(chinese);
    // A lead byte followed by a byte no character of 936 continues with.
    QTest::newRow("neither") << QByteArray("ab\x81\x7F\xFF") << std::optional<QString>();
}

void TestNoteExport::decodeText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<QString>, text);
    QCOMPARE(NoteImport::decodeText(bytes), text);
}

void TestNoteExport::safeFileName_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("name");
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("kept") << QStringLiteral("会议 纪要 (2)") << QStringLiteral("会议 纪要 (2)");
    QTest::newRow("refused") << QStringLiteral("a<b>c\"d\\e|f?g*h/i:j\tk\x7F")
                             << QStringLiteral("a_b_c_d_e_f_g_h_i_j_k_");
    QTest::newRow("trimmed") << QStringLiteral("  .hidden note. . ") << QStringLiteral("hidden note");
    QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("便笺");
    QTest::newRow("device") << QStringLiteral("lpt1.notes") << QStringLiteral("_lpt1.notes");
    QTest::newRow("not a device") << QStringLiteral("console") << QStringLiteral("console");
    // 200 bytes of UTF-8 at most, whole characters only.
    QTest::newRow("long") << QString(120, QChar(0x4E2D)) << QString(66, QChar(0x4E2D));
    QTest::newRow("long, surrogates") << face.repeated(80) << face.repeated(50);
}

void TestNoteExport::safeFileName()
{
    QFETCH(QString, title);
    QFETCH(QString, name);
    QCOMPARE(NoteExport::safeFileName(title), name);
}

void TestNoteExport::hugeFileRefused()
{
    QTemporaryDir dir;
    QFile huge(dir.filePath(QStringLiteral("日志.txt")));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(NoteImport::MaxFileSize + 1));
    huge.close();
    const NoteImport::ImportedNote note = NoteImport::readNoteFile(huge.fileName(), {});
    QVERIFY(note.body.isEmpty());
    QVERIFY2(note.error.contains(huge.fileName()) && note.error.contains(QStringLiteral("太大")), qPrintable(note.error));
}

void TestNoteExport::distinctFileNames()
{
    const QStringList titles{QStringLiteral("标题"), QStringLiteral("标题"), QStringLiteral("标题 (2)"),
                             QStringLiteral("会议/纪要"), QStringLiteral("Notes"), QStringLiteral("notes")};
    // Taken also when only the letter case differs; another extension is no clash.
    const QStringList existing{QStringLiteral("标题.TXT"), QStringLiteral("会议_纪要.md")};
    QCOMPARE(NoteExport::distinctFileNames(titles, NoteExport::Format::PlainText, existing),
             (QStringList{QStringLiteral("标题 (2).txt"), QStringLiteral("标题 (3).txt"), QStringLiteral("标题 (2) (2).txt"),
                          QStringLiteral("会议_纪要.txt"), QStringLiteral("Notes.txt"), QStringLiteral("notes (2).txt")}));
}

QTEST_GUILESS_MAIN(TestNoteExport)
#include "tst_noteexport.moc"
