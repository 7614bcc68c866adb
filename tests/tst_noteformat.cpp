#include "app/RegistryUnit.h"
#include "notes/ClassesUnit.h"
#include "platform/CodePage.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/FileSizeLimit.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

TDateTime noon2006()
{
    return toDateTime(QDateTime(QDate(2006, 1, 1), QTime(12, 0)));
}

// The record of the 92-byte example file.
TNoteClass exampleRecord()
{
    TNoteClass note(QStringLiteral("N1"));
    note.Created = noon2006();
    note.Left = 100;
    note.Top = 100;
    note.Width = 160;
    note.Height = 160;
    note.Title = QStringLiteral("abc");
    note.ReservedTime = note.Created + 1.0;
    note.Content = hex("7B 5C 72 74 66 31 7D");
    return note;
}

// The title field starts at this offset in a file of the example record.
constexpr int kTitleOffset = 35;

QByteArray legacyImage(quint8 version, const QByteArray &body, bool withBody = true)
{
    QByteArray image;
    image += char(version);
    const auto put16 = [&image](quint16 v) { image += char(v & 0xFF); image += char(v >> 8); };
    const auto putDouble = [&image](double d) { image.append(reinterpret_cast<const char *>(&d), 8); };
    const auto put32 = [&image](quint32 v) { image.append(reinterpret_cast<const char *>(&v), 4); };
    put16(10);
    put16(65535);
    put16(200);
    put16(150);
    image += char(0);
    putDouble(38718.5);
    image += char(1);
    putDouble(38719.25);
    if (version == 2) {
        put32(0x00112233);
        put32(0x00445566);
        put32(0x00778899);
        QByteArray title = CodePage::toCp936(QStringLiteral("旧便笺"));
        image += char(title.size());
        image += title.leftJustified(128, '\0');
        image += char(1);
        putDouble(40000.0);
    }
    if (withBody) {
        put32(quint32(body.size()));
        image += body;
    }
    return image;
}

} // namespace

class TestNoteFormat : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void newRecordDefaults();
    void flags();
    void exampleFileBytes();
    void roundTripKeepsEveryField();
    void textEncodings_data();
    void textEncodings();
    void integerEncodings();
    void readerTagRules();
    void currentLayoutFailures_data();
    void currentLayoutFailures();
    void legacyVersions_data();
    void legacyVersions();
    void legacyShortFiles();
    void emptyFileRefused();
    void newerVersionRefused();
    void unreadableFileThrows();
    void savedFileIsPrivateAndReplacesOld();
    void failedSaveKeepsOldFile();
    void damagedInputNeverCrashes();

private:
    QTemporaryDir m_dir;
};

void TestNoteFormat::init()
{
    QVERIFY(m_dir.isValid());
}

void TestNoteFormat::newRecordDefaults()
{
    Settings.DefNoteWidth = 200;
    Settings.DefNoteHeight = 120;
    const TNoteClass note(QStringLiteral("N123"));
    Settings.DefNoteWidth = 160;
    Settings.DefNoteHeight = 160;
    QCOMPARE(note.Width, 200);
    QCOMPARE(note.Height, 120);
    QCOMPARE(note.NoteID, QStringLiteral("N123"));
    QCOMPARE(note.NoteColor, clNone);
    QCOMPARE(note.TitleColor, clNone);
    QCOMPARE(note.TitleTextColor, clNone);
    QCOMPARE(note.ReservedTime, note.Created + 1.0);
    QCOMPARE(note.Title, dateTimeText(note.Created));
    QVERIFY(qAbs(note.Created - Now()) < 1.0 / 1440);
    QVERIFY(note.Content.isEmpty());
    QVERIFY(!note.HasLinkedFile());
}

void TestNoteFormat::flags()
{
    TNoteClass note(QStringLiteral("N1"));
    note.SetHidden(true);
    note.SetReduced(true);
    QCOMPARE(note.Flags, 5u);
    QVERIFY(note.IsHidden() && note.IsReduced() && !note.IsOnTop());
    note.SetHidden(false);
    QCOMPARE(note.Flags, 4u);
    // Bit numbers of 30 and more all share one mask.
    note.SetFlag(31, true);
    QCOMPARE(note.Flags, 0x40000004u);
    QVERIFY(note.GetFlag(30));
    note.LinkedFile = QStringLiteral("  \t ");
    QVERIFY(!note.HasLinkedFile());
    note.LinkedFile = QStringLiteral(" /tmp/a ");
    QVERIFY(note.HasLinkedFile());
}

void TestNoteFormat::exampleFileBytes()
{
    const QByteArray expected = hex(
        "03 11 00 00 00 00 D0 E7 E2 40 02 64 02 64 03 A0 00 03 A0 00 04 FF FF FF 1F 04 FF FF FF 1F 04 FF FF FF 1F "
        "06 03 61 62 63 12 00 00 00 00 02 00 02 00 11 00 00 00 00 00 00 00 00 08 11 00 00 00 00 F0 E7 E2 40 08 "
        "11 00 00 00 00 00 00 00 00 12 00 00 00 00 02 07 7B 5C 72 74 66 31 7D");
    QCOMPARE(expected.size(), 92);
    const QString path = m_dir.filePath(QStringLiteral("N1.knt"));
    QVERIFY(exampleRecord().SaveToFile(path));
    QCOMPARE(fileBytes(path).toHex(' '), expected.toHex(' '));

    TNoteClass loaded(QStringLiteral("N1"));
    QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
    QCOMPARE(loaded.Created, noon2006());
    QCOMPARE(loaded.Title, QStringLiteral("abc"));
    QCOMPARE(loaded.Content, hex("7B 5C 72 74 66 31 7D"));
}

void TestNoteFormat::roundTripKeepsEveryField()
{
    TNoteClass note(QStringLiteral("NABC"));
    note.Left = -300;
    note.Top = 70000;
    note.Width = 81;
    note.Height = 4000;
    note.NoteColor = 0x00123456;
    note.TitleColor = 0x8000000D;
    note.TitleTextColor = 0x00FF00FF;
    note.Title = QStringLiteral("混合 title 😀");
    note.Group = QStringLiteral("工作");
    note.Flags = 0x40000000u | 0x1000u | 3u;
    note.AutoShowState = 7;
    note.AutoShowTime = 46000.123;
    note.ReservedFlag = true;
    note.ReservedTime = -1.5;
    note.AlarmSet = true;
    note.AlarmTime = 46001.75;
    note.LinkedFile = QStringLiteral("/home/用户/文件.txt");
    note.Content = QByteArray(70000, 'x') + QByteArray("\0\xff", 2);
    const QString path = m_dir.filePath(QStringLiteral("NABC.knt"));
    QVERIFY(note.SaveToFile(path));

    TNoteClass loaded(QStringLiteral("NABC"));
    QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
    QCOMPARE(loaded.Created, note.Created);
    QCOMPARE(loaded.Left, note.Left);
    QCOMPARE(loaded.Top, note.Top);
    QCOMPARE(loaded.Width, note.Width);
    QCOMPARE(loaded.Height, note.Height);
    QCOMPARE(loaded.NoteColor, note.NoteColor);
    QCOMPARE(loaded.TitleColor, note.TitleColor);
    QCOMPARE(loaded.TitleTextColor, note.TitleTextColor);
    QCOMPARE(loaded.Title, note.Title);
    QCOMPARE(loaded.Group, note.Group);
    QCOMPARE(loaded.Flags, note.Flags);
    QCOMPARE(loaded.AutoShowState, note.AutoShowState);
    QCOMPARE(loaded.AutoShowTime, note.AutoShowTime);
    QCOMPARE(loaded.ReservedFlag, note.ReservedFlag);
    QCOMPARE(loaded.ReservedTime, note.ReservedTime);
    QCOMPARE(loaded.AlarmSet, note.AlarmSet);
    QCOMPARE(loaded.AlarmTime, note.AlarmTime);
    QCOMPARE(loaded.LinkedFile, note.LinkedFile);
    QCOMPARE(loaded.Content, note.Content);
}

void TestNoteFormat::textEncodings_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("ascii") << QStringLiteral("abc") << hex("06 03 61 62 63");
    QTest::newRow("empty") << QString() << hex("12 00 00 00 00");
    QTest::newRow("chinese") << QStringLiteral("便笺") << hex("12 02 00 00 00 BF 4F 3A 7B");
    QTest::newRow("a + chinese") << QStringLiteral("a便") << hex("12 02 00 00 00 61 00 BF 4F");
    QTest::newRow("ab + chinese") << QStringLiteral("ab便") << hex("14 05 00 00 00 61 62 E4 BE BF");
    const QString longText(300, QLatin1Char('q'));
    QTest::newRow("300 ascii") << longText << (hex("0C 2C 01 00 00") + QByteArray(300, 'q'));
    QTest::newRow("255 ascii") << QString(255, QLatin1Char('q')) << (hex("06 FF") + QByteArray(255, 'q'));
}

void TestNoteFormat::textEncodings()
{
    QFETCH(QString, title);
    QFETCH(QByteArray, encoded);
    TNoteClass note = exampleRecord();
    note.Title = title;
    const QByteArray bytes = note.toFileBytes();
    QCOMPARE(bytes.mid(kTitleOffset, encoded.size()).toHex(' '), encoded.toHex(' '));
    // The empty group follows directly.
    QCOMPARE(bytes.mid(kTitleOffset + encoded.size(), 5), hex("12 00 00 00 00"));

    const QString path = m_dir.filePath(QStringLiteral("text.knt"));
    QVERIFY(note.SaveToFile(path));
    TNoteClass loaded(QStringLiteral("x"));
    QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
    QCOMPARE(loaded.Title, title);
}

void TestNoteFormat::integerEncodings()
{
    TNoteClass note = exampleRecord();
    note.Left = -5;
    note.Top = 40000;
    const QByteArray bytes = note.toFileBytes();
    QCOMPARE(bytes.mid(1, 9), hex("11 00 00 00 00 D0 E7 E2 40"));
    QCOMPARE(bytes.mid(10, 2), hex("02 FB"));
    QCOMPARE(bytes.mid(12, 5), hex("04 40 9C 00 00"));
    QCOMPARE(bytes.mid(17, 3), hex("03 A0 00"));

    // Flags with bit 31 set are written so that they read back.
    note.Flags = 0x80000001u;
    const QString path = m_dir.filePath(QStringLiteral("flags.knt"));
    QVERIFY(note.SaveToFile(path));
    TNoteClass loaded(QStringLiteral("x"));
    QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
    QCOMPARE(loaded.Flags, 0x80000001u);
}

void TestNoteFormat::readerTagRules()
{
    QByteArray bytes = exampleRecord().toFileBytes();
    // ReservedFlag (tag 08) sits right after AutoShowTime; replace it with a
    // foreign tag byte: it reads as false and the next byte is the next field.
    const int reservedFlagAt = bytes.indexOf(hex("08 11 00 00 00 00 F0 E7 E2 40"));
    QVERIFY(reservedFlagAt > 0);
    bytes[reservedFlagAt] = char(0x11);
    // AutoShowTime written as the integer value 02 05.
    const int autoShowAt = reservedFlagAt - 9;
    QCOMPARE(bytes.mid(autoShowAt, 9), hex("11 00 00 00 00 00 00 00 00"));
    bytes.replace(autoShowAt, 9, hex("02 05"));
    const QString path = m_dir.filePath(QStringLiteral("tags.knt"));
    QVERIFY(writeFileBytes(path, bytes));
    TNoteClass loaded(QStringLiteral("x"));
    QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
    QCOMPARE(loaded.AutoShowTime, 5.0);
    QCOMPARE(loaded.ReservedFlag, false);
    QCOMPARE(loaded.ReservedTime, noon2006() + 1.0);

    // The same byte 0x09 in that place reads as true.
    bytes[reservedFlagAt - 7] = char(0x09);
    QVERIFY(writeFileBytes(path, bytes));
    TNoteClass second(QStringLiteral("x"));
    QCOMPARE(second.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
    QCOMPARE(second.ReservedFlag, true);
}

void TestNoteFormat::currentLayoutFailures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("titleAfter");
    const QByteArray good = exampleRecord().toFileBytes();
    QTest::newRow("cut inside the body") << good.left(good.size() - 3) << QStringLiteral("abc");
    QTest::newRow("cut inside a value") << good.left(14) << QString();
    QByteArray wrongTag = good;
    wrongTag[10] = char(0x13); // Left as a 64-bit integer: refused
    QTest::newRow("64-bit integer") << wrongTag << QString();
    QByteArray hugeText = good;
    hugeText.replace(kTitleOffset, 5, hex("12 FF FF FF 7F"));
    QTest::newRow("text length beyond the file") << hugeText << QString();
    QByteArray hugeBody = good;
    hugeBody.replace(good.size() - 9, 2, hex("04 FF FF FF 7F"));
    QTest::newRow("body length beyond the file") << hugeBody << QStringLiteral("abc");
    QByteArray negativeBody = good;
    negativeBody.replace(good.size() - 9, 2, hex("02 F0"));
    QTest::newRow("negative body length") << negativeBody << QStringLiteral("abc");
}

void TestNoteFormat::currentLayoutFailures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, titleAfter);
    const QString path = m_dir.filePath(QStringLiteral("bad.knt"));
    QVERIFY(writeFileBytes(path, bytes));
    TNoteClass loaded(QStringLiteral("x"));
    loaded.Content = "old";
    const QString titleBefore = loaded.Title;
    QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::Damaged);
    QVERIFY(loaded.Content.isEmpty());
    // Fields read before the fault keep their new values.
    QCOMPARE(loaded.Title, titleAfter.isNull() ? titleBefore : titleAfter);
}

void TestNoteFormat::legacyVersions_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("0") << 0;
    QTest::newRow("1") << 1;
    QTest::newRow("2") << 2;
}

void TestNoteFormat::legacyVersions()
{
    QFETCH(int, version);
    const QByteArray body("{\\rtf1 legacy}");
    const QString path = m_dir.filePath(QStringLiteral("old.knt"));
    QVERIFY(writeFileBytes(path, legacyImage(quint8(version), body)));
    TNoteClass loaded(QStringLiteral("x"));
    const QString titleBefore = loaded.Title;
    const TDateTime reservedBefore = loaded.ReservedTime;
    QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
    QCOMPARE(loaded.Left, 10);
    QCOMPARE(loaded.Top, 65535); // unsigned, not -1
    QCOMPARE(loaded.Width, 200);
    QCOMPARE(loaded.Height, 150);
    QCOMPARE(loaded.Created, 38718.5);
    QCOMPARE(loaded.AlarmSet, true);
    QCOMPARE(loaded.AlarmTime, 38719.25);
    QCOMPARE(loaded.Content, body);
    if (version == 2) {
        QCOMPARE(loaded.Title, QStringLiteral("旧便笺"));
        QCOMPARE(loaded.NoteColor, 0x00112233u);
        QCOMPARE(loaded.TitleColor, 0x00445566u);
        QCOMPARE(loaded.TitleTextColor, 0x00778899u);
        QCOMPARE(loaded.ReservedFlag, true);
        QCOMPARE(loaded.ReservedTime, 40000.0);
    } else {
        QCOMPARE(loaded.Title, titleBefore);
        QCOMPARE(loaded.NoteColor, clNone);
        QCOMPARE(loaded.ReservedTime, reservedBefore);
    }

    // The first save converts the note to the current layout.
    QVERIFY(loaded.SaveToFile(path));
    QCOMPARE(int(fileBytes(path).at(0)), 3);
    TNoteClass again(QStringLiteral("x"));
    QCOMPARE(again.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
    QCOMPARE(again.Top, 65535);
    QCOMPARE(again.Content, body);
}

void TestNoteFormat::legacyShortFiles()
{
    const QByteArray errorText = CodePage::toCp936(QStringLiteral("错误读取便笺文本"));
    const QString path = m_dir.filePath(QStringLiteral("short.knt"));
    for (const int version : {0, 1, 2}) {
        const QByteArray full = legacyImage(quint8(version), QByteArray("0123456789"));
        // Cut inside the body, and cut before the body length.
        for (const int cut : {3, 8}) {
            QVERIFY(writeFileBytes(path, full.left(full.size() - cut)));
            TNoteClass loaded(QStringLiteral("x"));
            QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
            QCOMPARE(loaded.Content, errorText);
            QCOMPARE(loaded.Width, 200);
        }
        // A file that ends inside the fixed fields keeps what it holds.
        QVERIFY(writeFileBytes(path, full.left(5)));
        TNoteClass early(QStringLiteral("x"));
        const qint32 widthBefore = early.Width;
        QCOMPARE(early.LoadFromFile(path), TNoteClass::LoadResult::Loaded);
        QCOMPARE(early.Left, 10);
        QCOMPARE(early.Top, 65535);
        QCOMPARE(early.Width, widthBefore);
        QCOMPARE(early.Content, errorText);
    }
}

void TestNoteFormat::emptyFileRefused()
{
    const QString path = m_dir.filePath(QStringLiteral("empty.knt"));
    QVERIFY(writeFileBytes(path, QByteArray()));
    TNoteClass loaded(QStringLiteral("x"));
    QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::EmptyFile);
}

void TestNoteFormat::newerVersionRefused()
{
    const QString path = m_dir.filePath(QStringLiteral("N7.knt"));
    QVERIFY(writeFileBytes(path, QByteArray("\x07rest", 5)));
    TNoteClass loaded(QStringLiteral("N7"));
    loaded.Content = "old";
    QCOMPARE(loaded.LoadFromFile(path), TNoteClass::LoadResult::NewerVersion);
    QCOMPARE(loaded.Content, QByteArray("old"));
    QVERIFY(QFile::exists(path));
}

void TestNoteFormat::unreadableFileThrows()
{
    TNoteClass loaded(QStringLiteral("x"));
    QVERIFY_THROWS_EXCEPTION(std::exception, loaded.LoadFromFile(m_dir.filePath(QStringLiteral("missing.knt"))));
    QVERIFY_THROWS_EXCEPTION(std::exception,
                             exampleRecord().SaveToFile(m_dir.filePath(QStringLiteral("no/such/folder/N1.knt"))));
}

void TestNoteFormat::savedFileIsPrivateAndReplacesOld()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("N1.knt"));
    QVERIFY(writeFileBytes(path, QByteArray(5000, 'o')));
    QVERIFY(exampleRecord().SaveToFile(path));
    QFileInfo info(path);
    QCOMPARE(info.size(), 92);
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(info.permissions() & others, QFile::Permissions());
    QVERIFY(info.permissions().testFlags(QFile::ReadOwner | QFile::WriteOwner));
    // No temporary file is left beside it.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("N1.knt")});
}

void TestNoteFormat::failedSaveKeepsOldFile()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("N1.knt"));
    QVERIFY(exampleRecord().SaveToFile(path));
    TNoteClass large = exampleRecord();
    large.Content = QByteArray(64 * 1024, 'x');
    {
        const FileSizeLimit limit(4096);
        QVERIFY(!large.SaveToFile(path));
    }
    QCOMPARE(fileBytes(path), exampleRecord().toFileBytes());
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("N1.knt")});
}

void TestNoteFormat::damagedInputNeverCrashes()
{
    QList<QByteArray> seeds;
    TNoteClass rich = exampleRecord();
    rich.Title = QStringLiteral("便笺 title");
    rich.Group = QStringLiteral("ab便");
    rich.LinkedFile = QString(300, QLatin1Char('l'));
    rich.Content = QByteArray(600, 'c');
    seeds << exampleRecord().toFileBytes() << rich.toFileBytes()
          << legacyImage(0, "{\\rtf1 a}") << legacyImage(2, "{\\rtf1 b}");
    QRandomGenerator random(20061201);
    const QString path = m_dir.filePath(QStringLiteral("fuzz.knt"));
    int loaded = 0;
    for (int round = 0; round < 4000; ++round) {
        QByteArray bytes = seeds.at(round % seeds.size());
        switch (round % 3) {
        case 0:
            bytes.truncate(random.bounded(bytes.size() + 1));
            break;
        case 1:
            for (int i = random.bounded(1, 6); i > 0; --i)
                bytes[random.bounded(bytes.size())] = char(random.bounded(256));
            break;
        default:
            bytes.insert(random.bounded(bytes.size()), QByteArray(random.bounded(1, 8), char(random.bounded(256))));
            break;
        }
        QVERIFY(writeFileBytes(path, bytes));
        TNoteClass note(QStringLiteral("x"));
        if (note.LoadFromFile(path) == TNoteClass::LoadResult::Loaded)
            ++loaded;
        // Only the fixed error text of a legacy file may outgrow a tiny file.
        QVERIFY2(note.Content.size() <= qMax<qsizetype>(bytes.size(), 16), "content larger than the file");
        QVERIFY(note.Title.size() <= bytes.size() + 64);
    }
    QVERIFY(loaded > 0);
}

QTEST_MAIN(TestNoteFormat)
#include "tst_noteformat.moc"
