#include "platform/RegistryStore.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/FileSizeLimit.h"

#include <QtTest>

#include <functional>

namespace {

const QString kKey = QStringLiteral("\\SOFTWARE\\Orvanta\\Brisquel");

// Message of the registry error the call throws; empty when it throws none.
QString registryError(const std::function<void()> &call)
{
    try {
        call();
    } catch (const ERegistryException &error) {
        return error.message();
    }
    return QString();
}

QByteArray storeBytes()
{
    return fileBytes(TRegistry::storeFileName());
}

void writeStore(const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(TRegistry::storeFileName()).absolutePath());
    QVERIFY(writeFileBytes(TRegistry::storeFileName(), bytes));
}

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// UTF-16 as regedit writes it: little-endian with a byte-order mark.
QByteArray regeditUtf16(const QString &text)
{
    QByteArray bytes("\xFF\xFE");
    for (const QChar c : text)
        bytes += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
    return bytes;
}

} // namespace

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void typedValuesRoundTrip();
    void exactTextFormat();
    void namesIgnoreLetterCase();
    void readErrors_data();
    void readErrors();
    void nestedAndRelativeKeys();
    void readOnlyKeyRefusesWrites();
    void deleteValue();
    void stringsThatNeedHex();
    void lookingDoesNotCreateTheFile();
    void changesOfAnotherWriterAreSeen();
    void filePrivateToOwner();
    void failedWriteKeepsOldFile();
    void batchIsStoredWholeOrNotAtAll();
    void unreadableStoreIsNotReplaced();
    void oversizedStoreIsNotRead();
    void handEditedFileRoundTripsExactly();
    void damagedLineIsSkipped_data();
    void damagedLineIsSkipped();
    void sectionsOfOtherRootsAndDeletions();
    void continuationLines();
    void encodings_data();
    void encodings();
    void halfSurrogateInUtf16();

private:
    QTemporaryDir m_home;
};

void TestRegistry::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(TRegistry::storeFileName().startsWith(m_home.path() + u'/'));
    QVERIFY(TRegistry::storeFileName().endsWith(QStringLiteral("/Orvanta/Brisquel.reg")));
}

void TestRegistry::init()
{
    QDir(QFileInfo(TRegistry::storeFileName()).absolutePath()).removeRecursively();
}

void TestRegistry::typedValuesRoundTrip()
{
    const QByteArray blob = QByteArray::fromHex("05417269616c00ff") + QByteArray(256, '\x7f');
    {
        TRegistry registry;
        QVERIFY(registry.OpenKey(kKey, true));
        registry.WriteInteger(QStringLiteral("Negative"), -123456);
        registry.WriteBool(QStringLiteral("Flag"), true);
        registry.WriteString(QStringLiteral("Text"), QStringLiteral("C:\\便笺\\\"quoted\".wav"));
        registry.WriteString(QStringLiteral("Empty"), QString());
        registry.WriteBinaryData(QStringLiteral("Blob"), blob.constData(), int(blob.size()));
        registry.WriteBinaryData(QStringLiteral("NoBytes"), nullptr, 0);
    }
    TRegistry registry;
    QVERIFY(registry.OpenKeyReadOnly(kKey));
    QCOMPARE(registry.ReadInteger(QStringLiteral("Negative")), -123456);
    QCOMPARE(registry.ReadBool(QStringLiteral("Flag")), true);
    QCOMPARE(registry.ReadString(QStringLiteral("Text")), QStringLiteral("C:\\便笺\\\"quoted\".wav"));
    QCOMPARE(registry.ReadString(QStringLiteral("Empty")), QString());

    char buffer[300];
    QCOMPARE(registry.ReadBinaryData(QStringLiteral("Blob"), buffer, sizeof buffer), int(blob.size()));
    QCOMPARE(QByteArray(buffer, int(blob.size())), blob);
    QCOMPARE(registry.ReadBinaryData(QStringLiteral("NoBytes"), buffer, sizeof buffer), 0);

    // Sizes as the registry reports them: strings count their terminator.
    QCOMPARE(registry.GetDataSize(QStringLiteral("Negative")), 4);
    QCOMPARE(registry.GetDataSize(QStringLiteral("Empty")), 1);
    QCOMPARE(registry.GetDataSize(QStringLiteral("Blob")), int(blob.size()));
    QCOMPARE(registry.GetDataSize(QStringLiteral("Missing")), -1);
    QVERIFY(!registry.ValueExists(QStringLiteral("Missing")));
}

void TestRegistry::exactTextFormat()
{
    QByteArray blob;
    for (int i = 0; i < 50; ++i)
        blob.append(char(i));
    {
        TRegistry registry;
        QVERIFY(registry.OpenKey(kKey, true));
        registry.WriteBool(QStringLiteral("SafeSave"), true);
        registry.WriteInteger(QStringLiteral("NoteColor"), -1);
        registry.WriteString(QStringLiteral("TrillFile"), QStringLiteral("C:\\Sounds\\\"trill\".wav"));
        registry.WriteString(QStringLiteral("Title"), QStringLiteral("便笺"));
        registry.WriteString(QString(), QStringLiteral("d"));
        registry.WriteBinaryData(QStringLiteral("Blob"), blob.constData(), int(blob.size()));
        QVERIFY(registry.OpenKey(QStringLiteral("TODOWin"), true));
        registry.WriteInteger(QStringLiteral("FormX"), 10);
        // Created last, sorted before its sibling.
        QVERIFY(registry.OpenKey(QStringLiteral("\\SOFTWARE\\Orvanta\\Alpha"), true));
    }
    const QByteArray expected = crlf("REGEDIT4\n"
                                     "\n"
                                     "[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Alpha]\n"
                                     "\n"
                                     "[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\n"
                                     "\"SafeSave\"=dword:00000001\n"
                                     "\"NoteColor\"=dword:ffffffff\n"
                                     "\"TrillFile\"=\"C:\\\\Sounds\\\\\\\"trill\\\".wav\"\n"
                                     "\"Title\"=\"\xE4\xBE\xBF\xE7\xAC\xBA\"\n"
                                     "@=\"d\"\n"
                                     "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
                                     "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\n"
                                     "  2f,30,31\n"
                                     "\n"
                                     "[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel\\TODOWin]\n"
                                     "\"FormX\"=dword:0000000a\n"
                                     "\n");
    QCOMPARE(storeBytes(), expected);
}

void TestRegistry::namesIgnoreLetterCase()
{
    {
        TRegistry registry;
        QVERIFY(registry.OpenKey(kKey, true));
        registry.WriteInteger(QStringLiteral("SafeSave"), 1);
    }
    TRegistry registry;
    QVERIFY(registry.KeyExists(QStringLiteral("\\software\\ORVANTA\\brisquel")));
    QVERIFY(registry.OpenKey(QStringLiteral("\\software\\orvanta\\BRISQUEL"), false));
    QVERIFY(registry.ValueExists(QStringLiteral("safesave")));
    QCOMPARE(registry.ReadInteger(QStringLiteral("SAFESAVE")), 1);
    registry.WriteInteger(QStringLiteral("SAFESAVE"), 2);

    // One key, one value, both named as first written.
    const QString text = QString::fromUtf8(storeBytes());
    QCOMPARE(text.count(QStringLiteral("[HKEY_CURRENT_USER")), 1);
    QVERIFY(text.contains(QStringLiteral("[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]")));
    QVERIFY(text.contains(QStringLiteral("\"SafeSave\"=dword:00000002")));
    QVERIFY(!text.contains(QStringLiteral("SAFESAVE")));
}

void TestRegistry::readErrors_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("expected");

    const QString getFailed = QStringLiteral("Failed to get data for 'V'");
    const QString badType = QStringLiteral("Invalid data type for 'V'");
    QTest::newRow("missing integer") << QByteArray() << "integer" << getFailed;
    QTest::newRow("missing string") << QByteArray() << "string" << getFailed;
    QTest::newRow("missing binary") << QByteArray() << "binary" << getFailed;
    QTest::newRow("string as integer") << QByteArray("\"V\"=\"12\"") << "integer" << badType;
    QTest::newRow("string as bool") << QByteArray("\"V\"=\"1\"") << "bool" << badType;
    QTest::newRow("binary as integer") << QByteArray("\"V\"=hex:01,00,00,00") << "integer" << badType;
    QTest::newRow("integer as string") << QByteArray("\"V\"=dword:00000001") << "string" << badType;
    QTest::newRow("binary as string") << QByteArray("\"V\"=hex:41,00") << "string" << badType;
    QTest::newRow("integer as binary") << QByteArray("\"V\"=dword:00000001") << "binary" << badType;
    QTest::newRow("string as binary") << QByteArray("\"V\"=\"abc\"") << "binary" << badType;
    QTest::newRow("other type as binary") << QByteArray("\"V\"=hex(7):61,00,00") << "binary" << badType;
    QTest::newRow("short integer") << QByteArray("\"V\"=hex(4):01,00") << "integer" << getFailed;
    QTest::newRow("long integer") << QByteArray("\"V\"=hex(4):01,00,00,00,00") << "integer" << getFailed;
    QTest::newRow("binary longer than buffer") << QByteArray("\"V\"=hex:01,02,03,04,05") << "binary" << getFailed;
}

void TestRegistry::readErrors()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, reader);
    QFETCH(QString, expected);
    writeStore("REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\n" + stored + "\n");

    TRegistry registry;
    QVERIFY(registry.OpenKeyReadOnly(kKey));
    const QString name = QStringLiteral("V");
    const QString error = registryError([&] {
        char buffer[4];
        if (reader == u"integer")
            registry.ReadInteger(name);
        else if (reader == u"bool")
            registry.ReadBool(name);
        else if (reader == u"string")
            registry.ReadString(name);
        else
            registry.ReadBinaryData(name, buffer, sizeof buffer);
    });
    QCOMPARE(error, expected);

    // Every registry error is one of the program's own errors.
    try {
        registry.ReadInteger(QStringLiteral("Absent"));
        QFAIL("no error for a missing value");
    } catch (const BrisquelError &e) {
        QCOMPARE(e.message(), QStringLiteral("Failed to get data for 'Absent'"));
    }
}

void TestRegistry::nestedAndRelativeKeys()
{
    TRegistry registry;
    QVERIFY(!registry.OpenKey(QStringLiteral("\\A\\B\\C"), false));
    QVERIFY(!QFile::exists(TRegistry::storeFileName()));

    QVERIFY(registry.OpenKey(QStringLiteral("\\A\\B\\C"), true));
    QCOMPARE(registry.CurrentPath(), QStringLiteral("\\A\\B\\C"));
    QVERIFY(registry.KeyExists(QStringLiteral("\\A")));
    QVERIFY(registry.KeyExists(QStringLiteral("\\A\\B")));
    QVERIFY(!registry.KeyExists(QStringLiteral("\\A\\X")));
    QVERIFY(!registry.KeyExists(QStringLiteral("\\A\\B\\C\\D")));

    // Without a leading backslash a path continues from the open key.
    QVERIFY(registry.KeyExists(QStringLiteral("\\A\\B\\C")));
    QVERIFY(registry.OpenKey(QStringLiteral("D"), true));
    QCOMPARE(registry.CurrentPath(), QStringLiteral("\\A\\B\\C\\D"));
    registry.WriteInteger(QStringLiteral("V"), 5);

    TRegistry other;
    QVERIFY(other.OpenKeyReadOnly(QStringLiteral("\\A\\B")));
    QVERIFY(!other.ValueExists(QStringLiteral("V")));
    QVERIFY(other.OpenKeyReadOnly(QStringLiteral("\\a\\b\\c\\d")));
    QCOMPARE(other.ReadInteger(QStringLiteral("V")), 5);

    // A key name with a line break could not be stored.
    QVERIFY(!registry.OpenKey(QStringLiteral("\\A\\Bad\nName"), true));
    QVERIFY(!other.KeyExists(QStringLiteral("\\A\\Bad\nName")));
}

void TestRegistry::readOnlyKeyRefusesWrites()
{
    {
        TRegistry registry;
        QVERIFY(registry.OpenKey(kKey, true));
        registry.WriteInteger(QStringLiteral("V"), 1);
    }
    const QByteArray before = storeBytes();
    TRegistry registry;
    QVERIFY(registry.OpenKeyReadOnly(kKey));
    QCOMPARE(registryError([&] { registry.WriteInteger(QStringLiteral("V"), 2); }),
             QStringLiteral("Failed to set data for 'V'"));
    QVERIFY(!registry.DeleteValue(QStringLiteral("V")));
    registry.CloseKey();
    QCOMPARE(registryError([&] { registry.WriteString(QStringLiteral("W"), QStringLiteral("x")); }),
             QStringLiteral("Failed to set data for 'W'"));
    QCOMPARE(storeBytes(), before);
}

void TestRegistry::deleteValue()
{
    TRegistry registry;
    QVERIFY(registry.OpenKey(kKey, true));
    registry.WriteInteger(QStringLiteral("Keep"), 1);
    registry.WriteInteger(QStringLiteral("Drop"), 2);
    QVERIFY(registry.DeleteValue(QStringLiteral("DROP")));
    QVERIFY(!registry.DeleteValue(QStringLiteral("Drop")));
    QVERIFY(!registry.ValueExists(QStringLiteral("Drop")));

    const QString text = QString::fromUtf8(storeBytes());
    QVERIFY(text.contains(QStringLiteral("\"Keep\"=dword:00000001")));
    QVERIFY(!text.contains(QStringLiteral("Drop")));
}

void TestRegistry::stringsThatNeedHex()
{
    const QString multiLine = QStringLiteral("first\r\nsecond\"\\");
    {
        TRegistry registry;
        QVERIFY(registry.OpenKey(kKey, true));
        registry.WriteString(QStringLiteral("Multi"), multiLine);
        QCOMPARE(registryError([&] { registry.WriteInteger(QStringLiteral("Bad\nName"), 1); }),
                 QStringLiteral("Failed to set data for 'Bad\nName'"));
    }
    // A line break inside quotes would split the value; the typed hex form keeps it.
    QVERIFY(storeBytes().contains(
        "\"Multi\"=hex(1):66,69,72,73,74,0d,0a,73,65,63,6f,6e,64,22,5c,00\r\n"));
    TRegistry registry;
    QVERIFY(registry.OpenKeyReadOnly(kKey));
    QCOMPARE(registry.ReadString(QStringLiteral("Multi")), multiLine);
    QVERIFY(!registry.ValueExists(QStringLiteral("Bad\nName")));
}

void TestRegistry::lookingDoesNotCreateTheFile()
{
    TRegistry registry;
    QVERIFY(!registry.KeyExists(kKey));
    QVERIFY(!registry.OpenKey(kKey, false));
    QVERIFY(!registry.OpenKeyReadOnly(kKey));
    QVERIFY(!QFileInfo::exists(TRegistry::storeFileName()));
}

void TestRegistry::changesOfAnotherWriterAreSeen()
{
    TRegistry first;
    TRegistry second;
    QVERIFY(first.OpenKey(kKey, true));
    QVERIFY(second.OpenKey(kKey, false));
    second.WriteInteger(QStringLiteral("FromSecond"), 2);
    // Each write starts from the file, so the other writer's value survives.
    first.WriteInteger(QStringLiteral("FromFirst"), 1);

    QVERIFY(second.OpenKey(kKey, false));
    QCOMPARE(second.ReadInteger(QStringLiteral("FromFirst")), 1);
    QCOMPARE(second.ReadInteger(QStringLiteral("FromSecond")), 2);

    // A change made directly in the file is seen at the next open.
    QByteArray text = storeBytes();
    text.replace("\"FromFirst\"=dword:00000001", "\"FromFirst\"=dword:00000009");
    writeStore(text);
    QVERIFY(first.OpenKeyReadOnly(kKey));
    QCOMPARE(first.ReadInteger(QStringLiteral("FromFirst")), 9);
}

void TestRegistry::filePrivateToOwner()
{
    TRegistry registry;
    QVERIFY(registry.OpenKey(kKey, true));
    // Owner, group and other bits (the "user" bits only repeat the owner's).
    const QFile::Permissions mode(0x7077);
    const QFileInfo file(TRegistry::storeFileName());
    QCOMPARE(file.permissions() & mode, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(QFileInfo(file.absolutePath()).permissions() & mode,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // A file made by hand with wider rights is narrowed at the next write.
    QVERIFY(QFile::setPermissions(file.absoluteFilePath(), QFile::permissions(file.absoluteFilePath())
                                                               | QFile::ReadOther | QFile::ReadGroup));
    registry.WriteInteger(QStringLiteral("V"), 1);
    QCOMPARE(QFileInfo(file.absoluteFilePath()).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFile::Permissions());
}

void TestRegistry::failedWriteKeepsOldFile()
{
    TRegistry registry;
    QVERIFY(registry.OpenKey(kKey, true));
    registry.WriteInteger(QStringLiteral("Old"), 7);
    const QByteArray before = storeBytes();
    const QByteArray big(4096, 'x');
    QString error;
    bool created = true;
    {
        const FileSizeLimit limit(rlim_t(before.size()) + 16);
        error = registryError(
            [&] { registry.WriteBinaryData(QStringLiteral("Big"), big.constData(), int(big.size())); });
        created = TRegistry().OpenKey(QStringLiteral("\\SOFTWARE\\Orvanta\\") + QString(2000, u'k'), true);
    }
    QCOMPARE(error, QStringLiteral("Failed to set data for 'Big'"));
    QVERIFY(!created);
    QCOMPARE(storeBytes(), before);
    QCOMPARE(QDir(QFileInfo(TRegistry::storeFileName()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Brisquel.reg")});
    QCOMPARE(registry.ReadInteger(QStringLiteral("Old")), 7);
    QVERIFY(!registry.ValueExists(QStringLiteral("Big")));
}

void TestRegistry::batchIsStoredWholeOrNotAtAll()
{
    TRegistry registry;
    QVERIFY(registry.OpenKey(kKey, true));
    registry.WriteInteger(QStringLiteral("Kept"), 1);
    registry.WriteInteger(QStringLiteral("Gone"), 2);
    const QByteArray before = storeBytes();

    registry.BeginBatch();
    registry.WriteInteger(QStringLiteral("Kept"), 10);
    registry.WriteString(QStringLiteral("Added"), QStringLiteral("new"));
    QVERIFY(registry.DeleteValue(QStringLiteral("Gone")));
    // Nothing reaches the file before the commit.
    QCOMPARE(storeBytes(), before);
    registry.CommitBatch();
    TRegistry reader;
    QVERIFY(reader.OpenKeyReadOnly(kKey));
    QCOMPARE(reader.ReadInteger(QStringLiteral("Kept")), 10);
    QCOMPARE(reader.ReadString(QStringLiteral("Added")), QStringLiteral("new"));
    QVERIFY(!reader.ValueExists(QStringLiteral("Gone")));

    // A batch that cannot be written names its first value and stores none.
    const QByteArray committed = storeBytes();
    const QByteArray big(4096, 'x');
    QString error;
    {
        const FileSizeLimit limit(rlim_t(committed.size()) + 16);
        registry.BeginBatch();
        registry.WriteInteger(QStringLiteral("Kept"), 20);
        registry.WriteBinaryData(QStringLiteral("Big"), big.constData(), int(big.size()));
        error = registryError([&] { registry.CommitBatch(); });
    }
    QCOMPARE(error, QStringLiteral("Failed to set data for 'Kept'"));
    QCOMPARE(storeBytes(), committed);
    QCOMPARE(registry.ReadInteger(QStringLiteral("Kept")), 10);
    QVERIFY(!registry.ValueExists(QStringLiteral("Big")));

    // Closing the key drops a batch never committed.
    registry.BeginBatch();
    registry.WriteInteger(QStringLiteral("Kept"), 30);
    registry.CloseKey();
    QCOMPARE(storeBytes(), committed);
}

void TestRegistry::unreadableStoreIsNotReplaced()
{
    // A store that cannot be read must not be overwritten with what little
    // this process knows.
    QVERIFY(QDir().mkpath(TRegistry::storeFileName()));
    TRegistry registry;
    QVERIFY(!registry.KeyExists(kKey));
    QVERIFY(!registry.OpenKey(kKey, true));
    QVERIFY(QFileInfo(TRegistry::storeFileName()).isDir());
}

void TestRegistry::oversizedStoreIsNotRead()
{
    QByteArray text = "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\n\"V\"=dword:00000001\n";
    text += QByteArray(1024 * 1024, ';');
    writeStore(text);
    TRegistry registry;
    QVERIFY(!registry.KeyExists(kKey));
    QVERIFY(!registry.OpenKey(kKey, true));
    QCOMPARE(storeBytes(), text);
}

void TestRegistry::handEditedFileRoundTripsExactly()
{
    // Everything the store keeps, in the form it writes: another write must
    // reproduce the file byte for byte.
    const QByteArray text = crlf("REGEDIT4\n"
                                 "\n"
                                 "[HKEY_CURRENT_USER\\SOFTWARE]\n"
                                 "\n"
                                 "[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\n"
                                 "@=\"default\"\n"
                                 "\"Expand\"=hex(2):25,50,41,54,48,25,00\n"
                                 "\"Multi\"=hex(7):61,00,62,00,00\n"
                                 "\"Quad\"=hex(b):01,00,00,00,00,00,00,00\n"
                                 "\"ShortDword\"=hex(4):01,02\n"
                                 "\"Cp936\"=hex(1):b1,e3\n"
                                 "\"Empty\"=hex:\n"
                                 "\"None\"=hex(0):\n"
                                 "\"Path\"=\"C:\\\\Program Files\\\\x\"\n"
                                 "\n"
                                 "[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel\\TODOWin]\n"
                                 "\"FormX\"=dword:80000000\n"
                                 "\n");
    writeStore(text);
    TRegistry registry;
    QVERIFY(registry.OpenKey(QStringLiteral("\\SOFTWARE\\Orvanta\\Brisquel\\TODOWin"), false));
    registry.WriteInteger(QStringLiteral("FormX"), qint32(0x80000000));
    QCOMPARE(storeBytes(), text);

    QVERIFY(registry.OpenKeyReadOnly(kKey));
    QCOMPARE(registry.ReadString(QString()), QStringLiteral("default"));
    QCOMPARE(registry.GetDataSize(QStringLiteral("Quad")), 8);
    QCOMPARE(registry.GetDataSize(QStringLiteral("Empty")), 0);
    QCOMPARE(registry.ReadString(QStringLiteral("Path")), QStringLiteral("C:\\Program Files\\x"));
    // A string without a terminator and not valid UTF-8: the system code page.
    QCOMPARE(registry.ReadString(QStringLiteral("Cp936")), QStringLiteral("便"));
}

void TestRegistry::damagedLineIsSkipped_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("junk") << QByteArray("this is not a value");
    QTest::newRow("dword not hex") << QByteArray("\"Bad\"=dword:xyz");
    QTest::newRow("dword too long") << QByteArray("\"Bad\"=dword:123456789");
    QTest::newRow("dword empty") << QByteArray("\"Bad\"=dword:");
    QTest::newRow("dword signed") << QByteArray("\"Bad\"=dword:+1");
    QTest::newRow("unterminated string") << QByteArray("\"Bad\"=\"abc");
    QTest::newRow("text after string") << QByteArray("\"Bad\"=\"abc\" def");
    QTest::newRow("hex not hex") << QByteArray("\"Bad\"=hex:01,zz,03");
    QTest::newRow("hex byte too wide") << QByteArray("\"Bad\"=hex:100");
    QTest::newRow("hex gap") << QByteArray("\"Bad\"=hex:01,,02");
    QTest::newRow("hex type not hex") << QByteArray("\"Bad\"=hex(zz):01");
    QTest::newRow("hex type unclosed") << QByteArray("\"Bad\"=hex(1:01");
    QTest::newRow("no data") << QByteArray("\"Bad\"");
    QTest::newRow("unclosed name") << QByteArray("\"Bad=dword:00000001");
    QTest::newRow("unquoted name") << QByteArray("Bad=dword:00000001");
    QTest::newRow("unknown type") << QByteArray("\"Bad\"=qword:01");
    QTest::newRow("continuation into a value") << QByteArray("\"Bad\"=hex:01,02,\\");
    QTest::newRow("control bytes") << QByteArray("\x01\x00\x7f\"Bad\"=dword:1", 16);
    QTest::newRow("invalid utf-8") << QByteArray("\"Bad\xff\xfe\"=dword:\xc3");
    QTest::newRow("very long") << QByteArray("\"Bad\"=hex:") + QByteArray(200000, '0');
}

void TestRegistry::damagedLineIsSkipped()
{
    QFETCH(QByteArray, line);
    writeStore("REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\n\"Before\"=dword:00000001\n" + line
               + "\n\"After\"=dword:00000002\n");
    TRegistry registry;
    QVERIFY(registry.OpenKey(kKey, false));
    QCOMPARE(registry.ReadInteger(QStringLiteral("Before")), 1);
    QCOMPARE(registry.ReadInteger(QStringLiteral("After")), 2);
    QVERIFY(!registry.ValueExists(QStringLiteral("Bad")));

    // The next write leaves a clean file.
    registry.WriteInteger(QStringLiteral("After"), 3);
    QCOMPARE(storeBytes(), crlf("REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\n"
                                "\"Before\"=dword:00000001\n\"After\"=dword:00000003\n\n"));
}

void TestRegistry::sectionsOfOtherRootsAndDeletions()
{
    writeStore("REGEDIT4\n"
               "\"Orphan\"=dword:00000001\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvanta\\Brisquel]\n"
               "\"Machine\"=dword:00000001\n"
               "[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel\n"
               "\"Unclosed\"=dword:00000001\n"
               "[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Other]\n"
               "\"Kept\"=dword:00000005\n"
               "[-HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Other]\n"
               "\"AfterDeletion\"=dword:00000001\n"
               "[hkey_current_user\\software\\orvanta\\brisquel] ; lower case\n"
               "\"Good\"=dword:00000007\n"
               "\"Gone\"=\"x\"\n"
               "\"GONE\"=-\n"
               "   ; an indented comment\n"
               "\t\"Spaced\" = dword:00000003 ; trailing comment\n"
               "[HKEY_CURRENT_USER\\SOFTWARE\\ORVANTA\\BRISQUEL]\n"
               "\"Second\"=dword:00000004\n");
    TRegistry registry;
    QVERIFY(registry.OpenKey(kKey, false));
    for (const char *absent : {"Orphan", "Machine", "Unclosed", "AfterDeletion", "Gone"})
        QVERIFY2(!registry.ValueExists(QString::fromLatin1(absent)), absent);
    QCOMPARE(registry.ReadInteger(QStringLiteral("Good")), 7);
    QCOMPARE(registry.ReadInteger(QStringLiteral("Spaced")), 3);
    QCOMPARE(registry.ReadInteger(QStringLiteral("Second")), 4);

    // A key deletion in a hand-edited file is not carried out.
    QVERIFY(registry.OpenKey(QStringLiteral("\\SOFTWARE\\Orvanta\\Other"), false));
    QCOMPARE(registry.ReadInteger(QStringLiteral("Kept")), 5);
    QVERIFY(!registry.KeyExists(QStringLiteral("\\SOFTWARE\\Orvanta\\Other\\AfterDeletion")));
}

void TestRegistry::continuationLines()
{
    writeStore("REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\n"
               "\"Font\"=hex:05,41,72,\\\n"
               "  69,61,\\\n"
               "\t\t6c,00\n"
               "\"Typed\"=hex(3):\\\n"
               "  ff\n"
               "\"Cut\"=hex:01,02,\\\n"
               "\n"
               "  03\n"
               "\"Last\"=hex:01,\\");
    TRegistry registry;
    QVERIFY(registry.OpenKeyReadOnly(kKey));
    char buffer[16];
    QCOMPARE(registry.ReadBinaryData(QStringLiteral("Font"), buffer, sizeof buffer), 7);
    QCOMPARE(QByteArray(buffer, 7), QByteArray("\x05" "Arial\0", 7));
    QCOMPARE(registry.ReadBinaryData(QStringLiteral("Typed"), buffer, sizeof buffer), 1);
    QCOMPARE(buffer[0], '\xff');
    // A blank line ends the value; data cut off at the end of the file is dropped.
    QVERIFY(!registry.ValueExists(QStringLiteral("Cut")));
    QVERIFY(!registry.ValueExists(QStringLiteral("Last")));
}

void TestRegistry::encodings_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray body = "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\n"
                            "\"TrillFile\"=\"\xE4\xBE\xBF\xE7\xAC\xBA.wav\"\n"
                            "\"Size\"=hex:01,\\\n  02\n";
    QTest::newRow("LF") << body;
    QTest::newRow("CR LF") << crlf(body);
    QTest::newRow("CR") << QByteArray(body).replace('\n', '\r');
    QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF" + body;
    QTest::newRow("UTF-16 as regedit writes it") << regeditUtf16(QString::fromUtf8(body));
    QTest::newRow("code page 936") << QByteArray(body).replace("\xE4\xBE\xBF\xE7\xAC\xBA", "\xB1\xE3\xBC\xE3");
}

void TestRegistry::encodings()
{
    QFETCH(QByteArray, file);
    writeStore(file);
    TRegistry registry;
    QVERIFY(registry.OpenKeyReadOnly(kKey));
    QCOMPARE(registry.ReadString(QStringLiteral("TrillFile")), QStringLiteral("便笺.wav"));
    QCOMPARE(registry.GetDataSize(QStringLiteral("Size")), 2);
}

void TestRegistry::halfSurrogateInUtf16()
{
    // regedit's own UTF-16 with a cut-off character pair: the half becomes
    // U+FFFD, the lines around it still read, and the store as written reads
    // back as itself.
    const QString text = QStringLiteral("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\r\n\"Half")
                         + QChar(0xD83D) + QStringLiteral("\"=dword:00000001\r\n\"After\"=dword:00000002\r\n");
    writeStore(regeditUtf16(text));
    TRegistry registry;
    QVERIFY(registry.OpenKey(kKey, false));
    QCOMPARE(registry.ReadInteger(QStringLiteral("Half") + QChar::ReplacementCharacter), 1);
    QCOMPARE(registry.ReadInteger(QStringLiteral("After")), 2);

    registry.WriteInteger(QStringLiteral("After"), 3);
    const QByteArray written = storeBytes();
    QCOMPARE(written, crlf("REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\n"
                           "\"Half\xEF\xBF\xBD\"=dword:00000001\n\"After\"=dword:00000003\n\n"));
    QCOMPARE(RegistryDocument::parse(written).serialize(), written);
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
