#include "platform/CodePage.h"
#include "platform/RtfFormat.h"
#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"
#include "tests/support/FileHelpers.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QtTest>

namespace {

QString corpusDir()
{
    return QStringLiteral(BRISQUEL_TEST_DATA "/rtf");
}

// Expected texts are stored with LF line ends; the codec reports CR LF.
QString expectedText(const QString &path)
{
    return QString::fromUtf8(fileBytes(path)).replace(u'\n', QStringLiteral("\r\n"));
}

// The document's text as the plain-text converter reports it.
QString documentText(const QTextDocument &document)
{
    QStringList blocks;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        blocks.append(block.text().replace(QChar(0x2028), QStringLiteral("\r\n")));
    return blocks.join(QStringLiteral("\r\n"));
}

QString brushText(const QBrush &brush)
{
    return brush.style() == Qt::NoBrush ? QStringLiteral("none") : brush.color().name();
}

// The formats the codec carries, in one comparable line; what the format
// leaves unset is the document's default font.
QString describe(const QTextCharFormat &format, const QFont &defaultFont = QFont(QString(), 0))
{
    QString family = format.fontFamilies().toStringList().value(0);
    if (family.isEmpty())
        family = defaultFont.family();
    const double points = format.fontPointSize() > 0 ? format.fontPointSize() : defaultFont.pointSizeF();
    QString flags;
    flags += format.fontWeight() >= QFont::DemiBold ? u'B' : u'-';
    flags += format.fontItalic() ? u'I' : u'-';
    flags += format.fontUnderline() ? u'U' : u'-';
    flags += format.fontStrikeOut() ? u'S' : u'-';
    return QStringLiteral("%1 %2pt %3 fg=%4 bg=%5")
        .arg(family)
        .arg(points)
        .arg(flags, brushText(format.foreground()), brushText(format.background()));
}

QString alignmentText(Qt::Alignment alignment)
{
    const Qt::Alignment horizontal = alignment & Qt::AlignHorizontal_Mask;
    if (horizontal & Qt::AlignJustify)
        return QStringLiteral("justify");
    if (horizontal & Qt::AlignHCenter)
        return QStringLiteral("center");
    if (horizontal & Qt::AlignRight)
        return QStringLiteral("right");
    return QStringLiteral("left");
}

// Text, formats and alignment of a whole document; neighbouring fragments
// that look alike are joined, since fragment boundaries are not content.
QStringList describeDocument(const QTextDocument &document)
{
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        lines.append(QStringLiteral("[block %1]").arg(alignmentText(block.blockFormat().alignment())));
        QString lastFormat;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QString format = describe(fragment.charFormat(), document.defaultFont());
            if (format == lastFormat && !lines.isEmpty()) {
                lines.last().insert(lines.last().indexOf(u'\u00AB', 1), fragment.text());
                continue;
            }
            lines.append(QStringLiteral("\u00BB%1\u00AB %2").arg(fragment.text(), format));
            lastFormat = format;
        }
    }
    return lines;
}

QTextCharFormat charFormatAt(QTextDocument &document, int position)
{
    QTextCursor cursor(&document);
    cursor.setPosition(position + 1); // the format of the character before the cursor
    return cursor.charFormat();
}

QTextCharFormat makeFormat(const QString &family, double points)
{
    QTextCharFormat format;
    format.setFontFamilies({family});
    format.setFontPointSize(points);
    return format;
}

// Mutates an RTF document the way damaged files and hostile input look.
class Mutator
{
public:
    explicit Mutator(quint32 seed) : m_random(seed) {}

    QByteArray mutate(QByteArray data)
    {
        const int count = 1 + int(m_random.bounded(4));
        for (int i = 0; i < count; ++i)
            data = mutateOnce(data);
        return data;
    }

private:
    qsizetype position(const QByteArray &data) { return qsizetype(m_random.bounded(quint32(data.size() + 1))); }

    QByteArray mutateOnce(QByteArray data)
    {
        static const char *const kFragments[] = {
            "{", "}", "\\", "\\'", "\\'8", "\\'c4", "\\'81", "\\u-99999999999", "\\u55357?", "\\u-10179?",
            "\\u56832?", "\\bin99999999 ", "\\bin3 ", "\\bin-5 ", "\\fs999999999999999", "\\fs0", "\\uc9999 ",
            "\\uc0", "\\*", "{\\*\\pict ", "{\\pict\\bin2 ", "\\f-5", "\\f99", "\\cf77", "\\highlight3", "\\'ff",
            "\\par", "\\line", "\\tab", "\\plain", "\\pard\\qc", "{\\fonttbl{\\f9\\fcharset999 X", "\\ansicpg99999",
            "\\cpg1", "\\fcharset128", "{\\colortbl;\\red300;", "\\", "\r\n", "\\\r\n", "\\u0 ", "\\'00",
            "\\abcdefghijklmnopqrstuvwxyzabcdefghijklmnop", ";", "\\-", "\\~", "{\\field{\\fldrslt ",
        };
        switch (m_random.bounded(6)) {
        case 0: // overwrite a byte
            if (!data.isEmpty())
                data[position(data) % data.size()] = char(m_random.bounded(256));
            return data;
        case 1: // insert a token
            return data.insert(position(data), kFragments[m_random.bounded(int(std::size(kFragments)))]);
        case 2: { // delete a span
            const qsizetype from = position(data);
            return data.remove(from, qsizetype(m_random.bounded(40)));
        }
        case 3: // truncate
            return data.left(position(data));
        case 4: { // duplicate a span
            const qsizetype from = position(data);
            const QByteArray span = data.mid(from, qsizetype(m_random.bounded(60)));
            return data.insert(position(data), span);
        }
        default: // nest deeply
            return data.insert(position(data), QByteArray(int(m_random.bounded(1500)), '{'));
        }
    }

    QRandomGenerator m_random;
};

} // namespace

class TestRtf : public QObject
{
    Q_OBJECT

private slots:
    void plainText_data();
    void plainText();
    void characterFormats();
    void loadingIsNotAnEdit();
    void corpus_data();
    void corpus();
    void corpusFormats_data();
    void corpusFormats();
    void originalFontSurvives();
    void writesControlForm();
    void writesCharacters_data();
    void writesCharacters();
    void emptyDocument();
    void roundTrip_data();
    void roundTrip();
    void hostileInput_data();
    void hostileInput();
    void mutatedDocuments();
};

void TestRtf::plainText_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");

    const QByteArray header = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
                              "\\viewkind4\\uc1";
    QTest::newRow("paragraphs, CR LF and NUL after the root")
        << header + "\\pard\\f0\\fs20 Hello\\par\r\nWorld\\par\r\n}\r\n" + QByteArray(1, '\0')
        << QStringLiteral("Hello\r\nWorld");
    QTest::newRow("final paragraph mark only") << header + "\\pard\\f0\\fs20\\par}" << QString();
    QTest::newRow("only one final mark is dropped") << QByteArray("{\\rtf1 a\\par\\par}") << QStringLiteral("a\r\n");
    QTest::newRow("no final mark") << QByteArray("{\\rtf1 a\\par b}") << QStringLiteral("a\r\nb");
    // A soft line break counts as CR LF in plain text, like a paragraph end:
    // the preview counts it as two bytes and printing must break the line.
    QTest::newRow("line break is CR LF") << QByteArray("{\\rtf1 a\\line b\\par}") << QStringLiteral("a\r\nb");
    QTest::newRow("backslash before line end is a paragraph")
        << QByteArray("{\\rtf1 a\\\r\nb\\\nc}") << QStringLiteral("a\r\nb\r\nc");
    QTest::newRow("bare line ends are ignored") << QByteArray("{\\rtf1 a\r\nb\rc\nd}") << QStringLiteral("abcd");
    QTest::newRow("symbols")
        << QByteArray("{\\rtf1\\ansi a\\line b\\par c\\tab d\\~e\\-f\\_g\\{h\\}i\\\\j\\emdash k\\lquote l\\rquote\\\r\nz\\par}")
        << QStringLiteral("a\r\nb\r\nc\td\u00A0e\u00ADf\u2011g{h}i\\j\u2014k\u2018l\u2019\r\nz");
    QTest::newRow("charset beats ansicpg, hex in either case")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fmodern\\fprq6\\fcharset134 SimSun;}"
                      "{\\f1\\fnil\\fcharset0 Microsoft Sans Serif;}}\\viewkind4\\uc1\\pard\\f0\\fs17"
                      "\\'c3\\'db\\'C3\\'DB\\f1\\'e9\\par}")
        << QStringLiteral("蜜蜜é");
    QTest::newRow("font without charset uses ansicpg")
        << QByteArray("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0 Foo;}}\\f0\\'c4\\'e3}") << QStringLiteral("你");
    QTest::newRow("DEFAULT_CHARSET uses ansicpg")
        << QByteArray("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset1 Foo;}}\\f0\\'c4\\'e3}") << QStringLiteral("你");
    QTest::newRow("cpg beats charset")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0\\cpg936 Foo;}}\\f0\\'c4\\'e3}") << QStringLiteral("你");
    QTest::newRow("ansicpg defaults to 1252") << QByteArray("{\\rtf1\\ansi \\'e9\\'80}") << QStringLiteral("é€");
    QTest::newRow("brace-less font table")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl\\f0\\fcharset0 A;\\f1\\fcharset134 B;}\\f1\\'c4\\'e3\\f0\\'e9}")
        << QStringLiteral("你é");
    QTest::newRow("trail byte as literal character") << QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'81@}")
                                                     << QStringLiteral("\u4E02");
    QTest::newRow("trail byte as escaped backslash") << QByteArray("{\\rtf1\\ansi\\ansicpg936 \\'81\\\\}")
                                                     << QStringLiteral("\u4E57");
    QTest::newRow("code page change flushes a lead byte")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset134 A;}{\\f1\\fcharset0 B;}}\\f0\\'c4\\f1\\'e9}")
        << QStringLiteral("é");
    QTest::newRow("skipped destinations")
        << QByteArray("{\\rtf1{\\*\\generator x}{\\info{\\title T}}{\\stylesheet{\\s0 Normal;}}a{\\pict 00ff}b"
                      "{\\*\\unknown c}d{\\header e}{\\footnote f}{\\pn{\\pntxtb 1}}g{\\object{\\*\\objdata 01}}}")
        << QStringLiteral("abdg");
    // Lists and nested tables as word processors write them, for readers
    // that build neither.
    QTest::newRow("list numbers and bullets are text")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset2 Symbol;}}"
                      "{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}a\\par"
                      "{\\listtext\\pard\\plain 2.\\tab}b\\par}")
        << QStringLiteral("\u00B7\ta\r\n2.\tb");
    QTest::newRow("nested table cells and rows")
        << QByteArray("{\\rtf1 a\\nestcell b\\nestcell{\\*\\nesttableprops\\trowd\\nestrow}{\\nonesttables\\par}"
                      "c\\nestcell\\nestrow d\\cell\\row}")
        << QStringLiteral("a\tb\t\r\nc\t\r\nd\t");
    QTest::newRow("field result kept, instruction skipped")
        << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt link}}}") << QStringLiteral("link");
    QTest::newRow("bin skips raw bytes in a skipped group") << QByteArray("{\\rtf1 a{\\pict\\bin4 }}{\\}b}")
                                                           << QStringLiteral("ab");
    QTest::newRow("bin in text shows nothing") << QByteArray("{\\rtf1 a\\bin2 xyb}") << QStringLiteral("ab");
    QTest::newRow("unicode with one fallback") << QByteArray("{\\rtf1\\uc1 \\u20320?\\u22909 ?}")
                                               << QStringLiteral("你好");
    QTest::newRow("unicode with hex fallbacks") << QByteArray("{\\rtf1\\uc2\\u20320\\'c4\\'e3x}")
                                                << QStringLiteral("你x");
    QTest::newRow("unicode without fallback") << QByteArray("{\\rtf1\\uc0\\u20320 x}") << QStringLiteral("你x");
    QTest::newRow("fallback count is scoped to the group")
        << QByteArray("{\\rtf1{\\uc2\\u20320 ab}\\u22909 cd}") << QStringLiteral("你好d");
    QTest::newRow("control word counts as one fallback unit")
        << QByteArray("{\\rtf1\\uc2\\u20320\\tab x}") << QStringLiteral("你");
    QTest::newRow("brace ends the fallback") << QByteArray("{\\rtf1\\uc3\\u20320{x}}") << QStringLiteral("你x");
    QTest::newRow("surrogate pair") << QByteArray("{\\rtf1 a\\u-10179?\\u-8704?b}") << QStringLiteral("a😀b");
    QTest::newRow("lone high surrogate") << QByteArray("{\\rtf1 a\\u-10179?b}") << QStringLiteral("a\uFFFDb");
    QTest::newRow("lone low surrogate") << QByteArray("{\\rtf1 a\\u-8704?b}") << QStringLiteral("a\uFFFDb");
    QTest::newRow("unicode out of range") << QByteArray("{\\rtf1 a\\u99999999999999?b}") << QStringLiteral("a\uFFFDb");
    QTest::newRow("control characters") << QByteArray("{\\rtf1 a\\'00b\\u13?c\\'0bd}") << QStringLiteral("ab\r\nc\r\nd");
    QTest::newRow("text after the root is ignored") << QByteArray("{\\rtf1 a}b}") << QStringLiteral("a");
    QTest::newRow("leading white space") << QByteArray("\r\n \t{\\rtf1 a}") << QStringLiteral("a");
    QTest::newRow("legacy plain text in code page 936")
        << CodePage::toCp936(QStringLiteral("错误读取便笺文本")) << QStringLiteral("错误读取便笺文本");
    QTest::newRow("legacy plain text lines") << QByteArray("one\r\ntwo\nthree\rfour\r\n")
                                             << QStringLiteral("one\r\ntwo\r\nthree\r\nfour\r\n");
    QTest::newRow("missing header is plain text") << QByteArray("{\\b bold}") << QStringLiteral("{\\b bold}");
    QTest::newRow("empty input") << QByteArray() << QString();
}

void TestRtf::plainText()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    QCOMPARE(Rtf::toPlainText(rtf), expected);
    QTextDocument document;
    Rtf::readInto(document, rtf);
    QCOMPARE(documentText(document), expected);
}

void TestRtf::characterFormats()
{
    const QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}"
                           "{\\colortbl;\\red255\\green0\\blue0;}\\pard\\f1\\fs40\\b B{\\i\\cf1 I}b\\plain P\\fs21 h"
                           "\\ul u\\ulnone n\\uldb d\\ul0 x\\strike s\\strike0\\highlight1 m\\par}";
    QTextDocument document;
    Rtf::readInto(document, rtf);
    QCOMPARE(document.toPlainText(), QStringLiteral("BIbPhundxsm"));
    const QString expected[] = {
        QStringLiteral("Courier New 20pt B--- fg=none bg=none"),
        QStringLiteral("Courier New 20pt BI-- fg=#ff0000 bg=none"),
        QStringLiteral("Courier New 20pt B--- fg=none bg=none"),
        QStringLiteral("Arial 12pt ---- fg=none bg=none"),
        QStringLiteral("Arial 10.5pt ---- fg=none bg=none"),
        QStringLiteral("Arial 10.5pt --U- fg=none bg=none"),
        QStringLiteral("Arial 10.5pt ---- fg=none bg=none"),
        QStringLiteral("Arial 10.5pt --U- fg=none bg=none"),
        QStringLiteral("Arial 10.5pt ---- fg=none bg=none"),
        QStringLiteral("Arial 10.5pt ---S fg=none bg=none"),
        QStringLiteral("Arial 10.5pt ---- fg=none bg=#ff0000"),
    };
    for (int i = 0; i < int(std::size(expected)); ++i)
        QCOMPARE(describe(charFormatAt(document, i)), expected[i]);
}

void TestRtf::loadingIsNotAnEdit()
{
    QTextDocument document;
    QTextCursor(&document).insertText(QStringLiteral("old text"));
    QVERIFY(document.isUndoAvailable());
    Rtf::readInto(document, "{\\rtf1 new\\par text}");
    QCOMPARE(document.toPlainText(), QStringLiteral("new\ntext"));
    QVERIFY(!document.isUndoAvailable());
    QVERIFY(!document.isModified());
    QVERIFY(document.isUndoRedoEnabled());

    QTextCursor(&document).insertText(QStringLiteral("typed "));
    QVERIFY(document.isUndoAvailable());
    QVERIFY(document.isModified());
}

void TestRtf::corpus_data()
{
    QTest::addColumn<QString>("name");
    const QStringList files = QDir(corpusDir()).entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 9);
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << QFileInfo(file).completeBaseName();
}

// Each sample reads to its expected text, through the document and directly,
// and survives being written and read back with the same text and formats.
void TestRtf::corpus()
{
    QFETCH(QString, name);
    const QByteArray rtf = fileBytes(corpusDir() + u'/' + name + QStringLiteral(".rtf"));
    const QString expected = expectedText(corpusDir() + u'/' + name + QStringLiteral(".txt"));
    QVERIFY(!rtf.isEmpty());
    QVERIFY(!expected.isEmpty());

    QCOMPARE(Rtf::toPlainText(rtf), expected);
    QTextDocument document;
    Rtf::readInto(document, rtf);
    QCOMPARE(documentText(document), expected);

    const QByteArray written = Rtf::write(document);
    QVERIFY(written.startsWith("{\\rtf1\\ansi\\ansicpg936\\deff0"));
    QVERIFY(written.endsWith("\\par\r\n}\r\n"));
    QCOMPARE(Rtf::toPlainText(written), expected);
    QTextDocument back;
    Rtf::readInto(back, written);
    QCOMPARE(describeDocument(back), describeDocument(document));
}

void TestRtf::corpusFormats_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("alignment");

    QTest::newRow("ascii") << "ascii" << 0 << "Arial 10pt ---- fg=none bg=none" << "left";
    QTest::newRow("chinese") << "chinese" << 5 << "宋体 12pt ---- fg=none bg=none" << "left";
    QTest::newRow("mixed red bold") << "mixed" << 0 << "Arial 10pt B--- fg=#ff0000 bg=none" << "left";
    QTest::newRow("mixed italic") << "mixed" << 9 << "Arial 10pt -I-- fg=none bg=none" << "left";
    QTest::newRow("mixed underline") << "mixed" << 13 << "Arial 10pt --U- fg=none bg=none" << "left";
    QTest::newRow("mixed second font") << "mixed" << 17 << "微软雅黑 12pt ---- fg=#0000ff bg=none" << "left";
    QTest::newRow("mixed strike") << "mixed" << 20 << "Arial 10pt ---S fg=none bg=none" << "left";
    QTest::newRow("emoji") << "emoji" << 0 << "宋体 10.5pt ---- fg=none bg=none" << "left";
    QTest::newRow("emoji second font") << "emoji" << 20 << "Arial 10.5pt ---- fg=none bg=none" << "left";
    QTest::newRow("generator") << "generator" << 0 << "宋体 11pt ---- fg=none bg=none" << "left";
    QTest::newRow("generator font without charset") << "generator" << 5 << "Calibri 11pt ---- fg=none bg=none"
                                                    << "left";
    QTest::newRow("centred") << "alignment" << 0 << "Arial 14pt ---- fg=none bg=none" << "center";
    QTest::newRow("right") << "alignment" << 6 << "Arial 14pt ---- fg=none bg=none" << "right";
    QTest::newRow("justified") << "alignment" << 17 << "Arial 14pt ---- fg=none bg=none" << "justify";
    QTest::newRow("left after pard") << "alignment" << 65 << "Arial 14pt ---- fg=none bg=none" << "left";
    QTest::newRow("field result") << "objects" << 30 << "Arial 10pt --U- fg=#0000ff bg=none" << "left";
    QTest::newRow("after the field") << "objects" << 42 << "Arial 10pt ---- fg=none bg=none" << "left";
    QTest::newRow("cp1252") << "cp1252" << 0 << "Calibri 10.5pt ---- fg=none bg=none" << "left";
}

void TestRtf::corpusFormats()
{
    QFETCH(QString, name);
    QFETCH(int, position);
    QFETCH(QString, format);
    QFETCH(QString, alignment);
    QTextDocument document;
    Rtf::readInto(document, fileBytes(corpusDir() + u'/' + name + QStringLiteral(".rtf")));
    QCOMPARE(describe(charFormatAt(document, position)), format);
    QCOMPARE(alignmentText(document.findBlock(position).blockFormat().alignment()), alignment);
}

void TestRtf::originalFontSurvives()
{
    QTextDocument document;
    Rtf::readInto(document, fileBytes(corpusDir() + QStringLiteral("/mixed.rtf")));
    const QTextCharFormat chinese = charFormatAt(document, 17);
    QCOMPARE(chinese.stringProperty(Rtf::FontNameProperty), QStringLiteral("微软雅黑"));
    QCOMPARE(chinese.intProperty(Rtf::FontCharsetProperty), 134);
    QCOMPARE(charFormatAt(document, 0).intProperty(Rtf::FontCharsetProperty), 0);

    const QByteArray written = Rtf::write(document);
    QVERIFY(written.contains("\\fcharset0 Arial;"));
    QVERIFY(written.contains("\\fcharset134 \\'ce\\'a2\\'c8\\'ed\\'d1\\'c5\\'ba\\'da;"));
    QVERIFY(written.contains("\\'d6\\'d8\\'d2\\'aa"));

    // Chinese typed into a Western run moves to a Chinese charset of the
    // same face: with \fcharset0 the control would read its bytes as 1252.
    QTextCursor cursor(&document);
    cursor.setPosition(1);
    cursor.insertText(QStringLiteral("中"));
    const QByteArray edited = Rtf::write(document);
    QVERIFY(edited.contains("\\fcharset134 Arial;"));
    QCOMPARE(Rtf::toPlainText(edited), QStringLiteral("U中rgent: call Bob\r\n重要 done"));

    // A run whose family changed no longer claims the old charset.
    QTextCharFormat changed;
    changed.setFontFamilies({QStringLiteral("Courier New")});
    cursor.setPosition(18);
    cursor.setPosition(20, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(changed);
    QVERIFY(Rtf::write(document).contains("\\fcharset134 Courier New;"));
}

void TestRtf::writesControlForm()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextCharFormat arial = makeFormat(QStringLiteral("Arial"), 10);
    QTextCharFormat urgent = arial;
    urgent.setFontWeight(QFont::Bold);
    urgent.setForeground(QColor(255, 0, 0));
    cursor.insertText(QStringLiteral("Urgent:"), urgent);
    cursor.insertText(QStringLiteral(" "), arial);
    QTextCharFormat italic = arial;
    italic.setFontItalic(true);
    cursor.insertText(QStringLiteral("call"), italic);
    cursor.insertText(QStringLiteral(" "), arial);
    QTextCharFormat underline = arial;
    underline.setFontUnderline(true);
    cursor.insertText(QStringLiteral("Bob"), underline);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.insertBlock(centred);
    QTextCharFormat chinese = makeFormat(QStringLiteral("微软雅黑"), 12);
    chinese.setForeground(QColor(0, 0, 255));
    cursor.insertText(QStringLiteral("重要"), chinese);
    QTextCharFormat strike = arial;
    strike.setFontStrikeOut(true);
    cursor.insertText(QStringLiteral(" "), arial);
    cursor.insertText(QStringLiteral("done"), strike);

    QCOMPARE(Rtf::write(document),
             QByteArray("{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052"
                        "{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}"
                        "{\\f1\\fnil\\fcharset134 \\'ce\\'a2\\'c8\\'ed\\'d1\\'c5\\'ba\\'da;}}\r\n"
                        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
                        "\\viewkind4\\uc1\\pard\\cf1\\b\\f0\\fs20 Urgent:\\cf0\\b0  \\i call\\i0  \\ul Bob\\par\r\n"
                        "\\pard\\qc\\cf2\\ulnone\\f1\\fs24\\'d6\\'d8\\'d2\\'aa\\cf0\\f0\\fs20  \\strike done\\par\r\n"
                        "}\r\n"));
}

void TestRtf::writesCharacters_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("body");

    const QString arial = QStringLiteral("Arial");
    const QString song = QStringLiteral("宋体");
    QTest::newRow("ascii and escapes") << arial << QStringLiteral("a{b}\\c") << QByteArray(" a\\{b\\}\\\\c\\par");
    QTest::newRow("tab and soft line break") << arial << QStringLiteral("a\tb\u2028c")
                                             << QByteArray(" a\\tab b\\line c\\par");
    QTest::newRow("Chinese as code page 936 bytes") << song << QStringLiteral("新建")
                                                    << QByteArray("\\'d0\\'c2\\'bd\\'a8\\par");
    QTest::newRow("euro sign in code page 936") << song << QStringLiteral("中€") << QByteArray("\\'d6\\'d0\\'80\\par");
    QTest::newRow("emoji as a surrogate pair") << song << QStringLiteral("中😀")
                                               << QByteArray("\\'d6\\'d0\\u-10179?\\u-8704?\\par");
    QTest::newRow("Korean outside code page 936") << song << QStringLiteral("中한")
                                                  << QByteArray("\\'d6\\'d0\\u-10916?\\par");
    QTest::newRow("Western text in code page 1252") << arial << QStringLiteral("café €")
                                                    << QByteArray(" caf\\'e9 \\'80\\par");
    QTest::newRow("outside code page 1252") << arial << QStringLiteral("x\u0101") << QByteArray(" x\\u257?\\par");
    QTest::newRow("trail byte in the ASCII range") << song << QStringLiteral("中丂")
                                                        << QByteArray("\\'d6\\'d0\\'81\\'40\\par");
}

void TestRtf::writesCharacters()
{
    QFETCH(QString, family);
    QFETCH(QString, text);
    QFETCH(QByteArray, body);
    QTextDocument document;
    QTextCursor(&document).insertText(text, makeFormat(family, 10));
    const QByteArray written = Rtf::write(document);
    const QByteArray start = "\\viewkind4\\uc1\\pard\\f0\\fs20";
    const qsizetype at = written.indexOf(start);
    QVERIFY(at > 0);
    QCOMPARE(written.mid(at + start.size()), body + "\r\n}\r\n");

    QTextDocument back;
    Rtf::readInto(back, written);
    QCOMPARE(back.toPlainText(), QString(text).replace(QChar(0x2028), u'\n'));
}

void TestRtf::emptyDocument()
{
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("Arial"), 10));
    const QByteArray written = Rtf::write(document);
    QCOMPARE(written, QByteArray("{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052"
                                 "{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
                                 "\\viewkind4\\uc1\\pard\\f0\\fs20\\par\r\n}\r\n"));
    QTextDocument back;
    Rtf::readInto(back, written);
    QCOMPARE(back.blockCount(), 1);
    QVERIFY(back.isEmpty());
}

void TestRtf::roundTrip_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("styles and colours") << 0;
    QTest::newRow("alignments and empty lines") << 1;
    QTest::newRow("fonts, sizes and scripts") << 2;
}

// Documents as the editor builds them come back from our own output with
// the same text, formats and alignment.
void TestRtf::roundTrip()
{
    QFETCH(int, kind);
    QTextDocument document;
    QTextCursor cursor(&document);
    const QTextCharFormat base = makeFormat(QStringLiteral("Arial"), 10);
    switch (kind) {
    case 0: {
        QTextCharFormat format = base;
        cursor.insertText(QStringLiteral("plain "), format);
        format.setFontWeight(QFont::Bold);
        cursor.insertText(QStringLiteral("bold "), format);
        format.setFontItalic(true);
        format.setForeground(QColor(0x12, 0x34, 0x56));
        cursor.insertText(QStringLiteral("bold italic "), format);
        format.setFontUnderline(true);
        format.setBackground(QColor(Qt::yellow));
        cursor.insertText(QStringLiteral("marked"), format);
        cursor.insertBlock();
        format = base;
        format.setFontStrikeOut(true);
        format.setForeground(QColor(0x12, 0x34, 0x56));
        cursor.insertText(QStringLiteral("struck {braces} \\ and\ttab"), format);
        break;
    }
    case 1: {
        const Qt::Alignment alignments[] = {Qt::AlignHCenter, Qt::AlignLeft, Qt::AlignRight, Qt::AlignJustify,
                                            Qt::AlignLeft, Qt::AlignRight};
        for (int i = 0; i < int(std::size(alignments)); ++i) {
            QTextBlockFormat block;
            block.setAlignment(alignments[i]);
            if (i == 0)
                cursor.setBlockFormat(block);
            else
                cursor.insertBlock(block);
            if (i != 2 && i != 4)
                cursor.insertText(QStringLiteral("line %1\u2028soft").arg(i), base);
        }
        break;
    }
    default:
        cursor.insertText(QStringLiteral("宋体 10.5 "), makeFormat(QStringLiteral("宋体"), 10.5));
        cursor.insertText(QStringLiteral("Times 36 "), makeFormat(QStringLiteral("Times New Roman"), 36));
        cursor.insertText(QStringLiteral("😀✓한 café"), makeFormat(QStringLiteral("Segoe UI"), 9));
        cursor.insertBlock();
        cursor.insertText(QStringLiteral("Ελληνικά Русский 中文"), makeFormat(QStringLiteral("Noto Sans"), 72));
        break;
    }

    const QByteArray written = Rtf::write(document);
    QTextDocument back;
    Rtf::readInto(back, written);
    QCOMPARE(describeDocument(back), describeDocument(document));
    QCOMPARE(Rtf::toPlainText(written), documentText(document));
    QCOMPARE(Rtf::write(back), written);
}

void TestRtf::hostileInput_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("unclosed groups keep their text") << QByteArray("{\\rtf1 a{\\b b{\\i c") << QStringLiteral("abc");
    QTest::newRow("header alone") << QByteArray("{\\rtf") << QString();
    QTest::newRow("deep nesting")
        << QByteArray("{\\rtf1 a") + QByteArray(200000, '{') + "b" + QByteArray(200000, '}') + "c}"
        << QStringLiteral("abc");
    QTest::newRow("state beyond the depth cap")
        << QByteArray("{\\rtf1 a") + QByteArray(1200, '{') + "\\b b" + QByteArray(1200, '}') + "c}"
        << QStringLiteral("abc");
    QTest::newRow("huge parameters")
        << QByteArray("{\\rtf1\\fs99999999999999999999\\uc99999999999 a\\cf-99999999999 \\f99999999999 b\\u-99999?c}")
        << QStringLiteral("ab\uFFFD");
    QTest::newRow("truncated hex escape") << QByteArray("{\\rtf1 a\\'4zb\\'") << QStringLiteral("azb");
    QTest::newRow("bin longer than the data") << QByteArray("{\\rtf1 a\\bin2147483647 xyz}") << QStringLiteral("a");
    QTest::newRow("negative bin") << QByteArray("{\\rtf1 a\\bin-5 b}") << QStringLiteral("ab");
    QTest::newRow("over-long control word")
        << QByteArray("{\\rtf1 a\\") + QByteArray(100000, 'x') + " b}" << QStringLiteral("ab");
    QTest::newRow("backslash at the end") << QByteArray("{\\rtf1 a\\") << QStringLiteral("a");
    QTest::newRow("unknown code pages")
        << QByteArray("{\\rtf1\\ansi\\ansicpg99999{\\fonttbl{\\f0\\cpg77777 A;}}\\f0 x\\'e9}") << QStringLiteral("xé");
    QTest::newRow("many paragraphs") << QByteArray("{\\rtf1 ") + QByteArray("\\par").repeated(50000) + "}"
                                     << QString(QStringLiteral("\r\n")).repeated(49999);
}

void TestRtf::hostileInput()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    QCOMPARE(Rtf::toPlainText(rtf), expected);
    QTextDocument document;
    Rtf::readInto(document, rtf);
    QCOMPARE(documentText(document), expected);
}

// Thousands of damaged documents (fixed seed): reading never fails, both
// readers agree, the text stays within the input's size, and what we write
// from the result reads back to the same text and formats.
void TestRtf::mutatedDocuments()
{
    QList<QByteArray> seeds;
    const QStringList files = QDir(corpusDir()).entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name);
    for (const QString &file : files)
        seeds.append(fileBytes(corpusDir() + u'/' + file));
    QVERIFY(!seeds.isEmpty());

    Mutator mutator(20240611);
    constexpr int kDocuments = 3000;
    for (int i = 0; i < kDocuments; ++i) {
        const QByteArray input = mutator.mutate(seeds.at(i % seeds.size()));
        const QString plain = Rtf::toPlainText(input);
        QVERIFY2(plain.size() <= 2 * input.size(), qPrintable(QString::number(i)));

        QTextDocument document;
        Rtf::readInto(document, input);
        QVERIFY2(documentText(document) == plain, qPrintable(QString::number(i)));

        const QByteArray written = Rtf::write(document);
        QVERIFY2(Rtf::toPlainText(written) == plain, qPrintable(QString::number(i)));
        QTextDocument back;
        Rtf::readInto(back, written);
        QVERIFY2(describeDocument(back) == describeDocument(document), qPrintable(QString::number(i)));
    }
}

QTEST_MAIN(TestRtf)
#include "tst_rtf.moc"
