#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "platform/RegistryStore.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/FontRecords.h"

#include <QtTest>

namespace {

// What the note engine puts into the settings before loading them.
void setEngineDefaults()
{
    Settings = GlobalSettings();
    Settings.NoteFont = FontRecord();
    Settings.NoteFont.setFaceName(QStringLiteral("Arial"));
    Settings.NoteFont.Size = 8;
    Settings.TitleFont = Settings.NoteFont;
    Settings.TitleFont.Size = 7;
    Settings.TitleColor = 0x0000ECEC;
    Settings.NoteColor = 0x0000FFFF;
}

QString storeText()
{
    return QString::fromUtf8(fileBytes(TRegistry::storeFileName()));
}

// The settings key as an earlier run (or a user) left it.
void writeStore(const QByteArray &values)
{
    QVERIFY(QDir().mkpath(QFileInfo(TRegistry::storeFileName()).absolutePath()));
    QVERIFY(writeFileBytes(TRegistry::storeFileName(),
                           "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\n" + values));
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstStartKeepsDefaults();
    void firstSaveCreatesEmptyKey();
    void unchangedSaveLeavesStoredValues();
    void saveWritesTenValuesInOrder();
    void confirmedOnceSavesEveryTime();
    void roundTrip();
    void loadRules_data();
    void loadRules();
    void saveFailureReachesCaller();
    void fontRecordLayout();
    void faceNameCutTo255Bytes_data();
    void faceNameCutTo255Bytes();

private:
    QTemporaryDir m_home;
    QTemporaryDir m_program;
};

void TestSettings::initTestCase()
{
    QVERIFY(m_home.isValid());
    QVERIFY(m_program.isValid());
    qputenv("HOME", m_home.path().toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(TRegistry::storeFileName().startsWith(m_home.path() + u'/'));
    setProgramFolder(m_program.path());
}

void TestSettings::init()
{
    QDir(QFileInfo(TRegistry::storeFileName()).absolutePath()).removeRecursively();
    setEngineDefaults();
    Settings.TrillFile = QStringLiteral("left over");
    SettingsChanged = false;
}

void TestSettings::firstStartKeepsDefaults()
{
    const GlobalSettings defaults = Settings;
    LoadSettings();
    QCOMPARE(Settings.TrillFile, m_program.path() + QStringLiteral("/trill.wav"));
    QCOMPARE(Settings.SafeSave, true);
    QCOMPARE(Settings.NoteAnimations, true);
    QCOMPARE(Settings.NoteTransparency, false);
    QCOMPARE(Settings.NoteColor, TColor(0x0000FFFF));
    QCOMPARE(Settings.TitleColor, TColor(0x0000ECEC));
    QCOMPARE(Settings.NoteFont.toBytes(), defaults.NoteFont.toBytes());
    QCOMPARE(Settings.TitleFont.faceName(), QStringLiteral("Arial"));
    QCOMPARE(Settings.TitleFont.Size, quint8(7));
    QCOMPARE(Settings.DefNoteWidth, 160);
    QCOMPARE(Settings.DefNoteHeight, 160);
    QVERIFY(!QFileInfo::exists(TRegistry::storeFileName()));
}

void TestSettings::firstSaveCreatesEmptyKey()
{
    SaveSettings();
    QCOMPARE(storeText(), QStringLiteral("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Orvanta\\Brisquel]\r\n\r\n"));

    // The empty key means no stored settings: loading keeps the defaults.
    LoadSettings();
    QCOMPARE(Settings.NoteColor, TColor(0x0000FFFF));
    QCOMPARE(Settings.TrillFile, m_program.path() + QStringLiteral("/trill.wav"));
}

void TestSettings::unchangedSaveLeavesStoredValues()
{
    writeStore("\"NoteColor\"=dword:00123456\n");
    const QString before = storeText();
    Settings.NoteColor = 0x00ABCDEF;
    SaveSettings();
    QCOMPARE(storeText(), before);
}

void TestSettings::saveWritesTenValuesInOrder()
{
    SettingsChanged = true;
    Settings.SafeSave = false;
    Settings.NoteColor = 0x00010203;
    Settings.TitleColor = clHighlight;
    Settings.NoteTransparency = true;
    Settings.DefNoteWidth = -5;
    Settings.TrillFile = QStringLiteral("/sounds/\"警报\".wav");
    SaveSettings();

    const QStringList lines = storeText().split(QStringLiteral("\r\n"));
    QStringList names;
    for (const QString &line : lines) {
        if (line.startsWith(u'"'))
            names << line.section(u'"', 1, 1);
    }
    QCOMPARE(names, QStringList({"SafeSave", "NoteColor", "TitleColor", "NoteAnimations", "NoteTransparency",
                                 "TitleFont", "NoteFont", "TrillFile", "DefNoteWidth", "DefNoteHeight"}));
    QVERIFY(lines.contains(QStringLiteral("\"SafeSave\"=dword:00000000")));
    QVERIFY(lines.contains(QStringLiteral("\"NoteColor\"=dword:00010203")));
    QVERIFY(lines.contains(QStringLiteral("\"TitleColor\"=dword:8000000d")));
    QVERIFY(lines.contains(QStringLiteral("\"NoteAnimations\"=dword:00000001")));
    QVERIFY(lines.contains(QStringLiteral("\"NoteTransparency\"=dword:00000001")));
    QVERIFY(lines.contains(QStringLiteral("\"TrillFile\"=\"/sounds/\\\"警报\\\".wav\"")));
    QVERIFY(lines.contains(QStringLiteral("\"DefNoteWidth\"=dword:fffffffb")));
    QVERIFY(lines.contains(QStringLiteral("\"DefNoteHeight\"=dword:000000a0")));
    // The whole 264-byte record: length 5, "Arial", zeros up to the size byte.
    const qsizetype font = lines.indexOf(QStringLiteral("\"TitleFont\"=hex:05,41,72,69,61,6c,00,00,00,00,00,00,00,00,00,"
                                                        "00,00,00,00,00,00,\\"));
    QVERIFY(font > 0);
    QCOMPARE(lines.at(font + 10), QStringLiteral("  00,00,00,00,00,00,00,00,00,00,07,00,00,00,00,00,00,00"));
    QVERIFY(lines.at(font + 11).startsWith(QStringLiteral("\"NoteFont\"=hex:05,41,72,69,61,6c,00,")));
}

void TestSettings::confirmedOnceSavesEveryTime()
{
    SettingsChanged = true;
    SaveSettings();
    QVERIFY(SettingsChanged);
    {
        TRegistry registry;
        QVERIFY(registry.OpenKey(BrisquelKey, false));
        QVERIFY(registry.DeleteValue(QStringLiteral("DefNoteHeight")));
    }
    Settings.DefNoteHeight = 333;
    SaveSettings();
    QVERIFY(storeText().contains(QStringLiteral("\"DefNoteHeight\"=dword:0000014d")));
}

void TestSettings::roundTrip()
{
    SettingsChanged = true;
    Settings.SafeSave = false;
    Settings.NoteColor = 0x00FFFFFF;
    Settings.TitleColor = clBtnFace;
    Settings.NoteAnimations = false;
    Settings.NoteTransparency = true;
    Settings.TitleFont = fontRecord(QStringLiteral("微软雅黑"), 10, FontRecord::fsBold | FontRecord::fsStrikeOut, 0x00808080);
    Settings.NoteFont = fontRecord(QStringLiteral("DejaVu Sans"), 255, FontRecord::fsUnderline, 0x8000000D);
    Settings.DefNoteWidth = 321;
    Settings.DefNoteHeight = 123;
    Settings.TrillFile = QStringLiteral("C:\\声音\\alarm.wav");
    const GlobalSettings saved = Settings;
    SaveSettings();

    setEngineDefaults();
    LoadSettings();
    QCOMPARE(Settings.SafeSave, saved.SafeSave);
    QCOMPARE(Settings.NoteColor, saved.NoteColor);
    QCOMPARE(Settings.TitleColor, saved.TitleColor);
    QCOMPARE(Settings.NoteAnimations, saved.NoteAnimations);
    QCOMPARE(Settings.NoteTransparency, saved.NoteTransparency);
    QCOMPARE(Settings.TitleFont.toBytes(), saved.TitleFont.toBytes());
    QCOMPARE(Settings.NoteFont.toBytes(), saved.NoteFont.toBytes());
    QCOMPARE(Settings.TitleFont.faceName(), QStringLiteral("微软雅黑"));
    QCOMPARE(Settings.DefNoteWidth, 321);
    QCOMPARE(Settings.DefNoteHeight, 123);
    QCOMPARE(Settings.TrillFile, saved.TrillFile);
}

void TestSettings::loadRules_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("safeSave");
    QTest::addColumn<uint>("noteColor");
    QTest::addColumn<QString>("titleFace");
    QTest::addColumn<QString>("noteFace");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("trillRead");

    const QByteArray safeSave = "\"SafeSave\"=dword:00000000\n";
    const QByteArray colours = "\"NoteColor\"=dword:00000001\n\"TitleColor\"=dword:00000002\n";
    const QByteArray flags = "\"NoteAnimations\"=dword:00000000\n\"NoteTransparency\"=dword:00000001\n";
    const QByteArray titleFont = "\"TitleFont\"=hex:06,54,61,68,6f,6d,61\n";
    const QByteArray noteFont = "\"NoteFont\"=hex:06,54,61,68,6f,6d,61\n";
    const QByteArray width = "\"DefNoteWidth\"=dword:000000c8\n";
    const QByteArray height = "\"DefNoteHeight\"=dword:00000064\n";
    const QByteArray trill = "\"TrillFile\"=\"/x.wav\"\n";
    const QByteArray oversized = "=hex:" + QByteArray("05,").repeated(299) + "05\n";
    const QString arial = QStringLiteral("Arial");
    const QString tahoma = QStringLiteral("Tahoma");

    QTest::newRow("complete") << safeSave + colours + flags + titleFont + noteFont + width + height + trill << false
                              << 1u << tahoma << tahoma << 200 << 100 << true;
    QTest::newRow("no SafeSave: first group skipped")
        << colours + flags + titleFont + noteFont + width + height + trill << true << 0xFFFFu << arial << arial << 200
        << 100 << true;
    QTest::newRow("missing font keeps its record") << safeSave + colours + flags + noteFont + width + height + trill
                                                   << false << 1u << arial << tahoma << 200 << 100 << true;
    QTest::newRow("short font replaces its bytes")
        << safeSave + colours + flags + "\"TitleFont\"=hex:03,56,65\n" << false << 1u << QStringLiteral("Vei")
        << arial << 160 << 160 << false;
    QTest::newRow("missing group value stops") << safeSave + colours + width + height + trill << false << 1u << arial
                                               << arial << 160 << 160 << false;
    QTest::newRow("colour as string stops")
        << safeSave + "\"NoteColor\"=\"red\"\n\"TitleColor\"=dword:00000002\n" + flags + width + height + trill
        << false << 0xFFFFu << arial << arial << 160 << 160 << false;
    QTest::newRow("300-byte title font stops")
        << safeSave + colours + flags + "\"TitleFont\"" + oversized + noteFont + width + height + trill << false << 1u
        << arial << arial << 160 << 160 << false;
    QTest::newRow("300-byte note font stops")
        << safeSave + colours + flags + titleFont + "\"NoteFont\"" + oversized + width + height + trill << false
        << 1u << tahoma << arial << 160 << 160 << false;
    QTest::newRow("non-zero is true") << "\"SafeSave\"=dword:00000002\n" + colours + flags << true << 1u << arial
                                      << arial << 160 << 160 << false;
    QTest::newRow("width only") << width + trill << true << 0xFFFFu << arial << arial << 160 << 160 << true;
    QTest::newRow("height only") << height + trill << true << 0xFFFFu << arial << arial << 160 << 160 << true;
    QTest::newRow("names in other case")
        << QByteArray("\"defnotewidth\"=dword:000000c8\n\"DEFNOTEHEIGHT\"=dword:00000064\n\"trillfile\"=\"/x.wav\"\n") << true
        << 0xFFFFu << arial << arial << 200 << 100 << true;
    // Half a size is never taken, even when the other half was readable.
    QTest::newRow("height as string") << width + "\"DefNoteHeight\"=\"100\"\n" + trill << true << 0xFFFFu << arial
                                      << arial << 160 << 160 << false;
    QTest::newRow("width as binary") << "\"DefNoteWidth\"=hex:c8,00,00,00\n" + height + trill << true << 0xFFFFu
                                     << arial << arial << 160 << 160 << false;
    QTest::newRow("TrillFile as integer") << width + height + "\"TrillFile\"=dword:00000001\n" << true << 0xFFFFu
                                          << arial << arial << 200 << 100 << false;
    QTest::newRow("damaged lines") << "\"SafeSave\"=dword:zz\n" + colours + QByteArray("\x00\xff junk\n", 8) + width
                                          + "\"DefNoteHeight\"=hex:01,\\\n"
                                   << true << 0xFFFFu << arial << arial << 160 << 160 << false;
}

void TestSettings::loadRules()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, safeSave);
    QFETCH(uint, noteColor);
    QFETCH(QString, titleFace);
    QFETCH(QString, noteFace);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, trillRead);
    writeStore(stored);

    LoadSettings();
    QCOMPARE(Settings.SafeSave, safeSave);
    QCOMPARE(Settings.NoteColor, TColor(noteColor));
    QCOMPARE(Settings.TitleFont.faceName(), titleFace);
    QCOMPARE(Settings.NoteFont.faceName(), noteFace);
    QCOMPARE(Settings.TitleFont.Size, quint8(7));
    QCOMPARE(Settings.DefNoteWidth, width);
    QCOMPARE(Settings.DefNoteHeight, height);
    QCOMPARE(Settings.TrillFile, trillRead ? QStringLiteral("/x.wav") : m_program.path() + QStringLiteral("/trill.wav"));
}

void TestSettings::saveFailureReachesCaller()
{
    // The store's path is taken by a folder: the key cannot be created.
    QVERIFY(QDir().mkpath(TRegistry::storeFileName()));
    SettingsChanged = true;
    try {
        SaveSettings();
        QFAIL("saving into an unusable store reported success");
    } catch (const ERegistryException &error) {
        QCOMPARE(error.message(), QStringLiteral("Failed to create key \\SOFTWARE\\Orvanta\\Brisquel"));
    }
    LoadSettings();
    QCOMPARE(Settings.TrillFile, m_program.path() + QStringLiteral("/trill.wav"));
}

void TestSettings::fontRecordLayout()
{
    const FontRecord record = fontRecord(QStringLiteral("Arial"), 9, FontRecord::fsBold | FontRecord::fsItalic, 0x00A1B2C3);
    const QByteArray bytes = record.toBytes();
    QCOMPARE(bytes.size(), 264);
    QCOMPARE(bytes.left(6), QByteArray("\x05" "Arial"));
    QCOMPARE(bytes.mid(6, 250), QByteArray(250, '\0'));
    QCOMPARE(bytes.mid(256, 8), QByteArray("\x09\x03\x00\x00\xC3\xB2\xA1\x00", 8));

    // Replacing a prefix keeps the rest of the record.
    FontRecord changed = record;
    changed.assignBytes(QByteArray("\x07" "Verdana", 8));
    QCOMPARE(changed.faceName(), QStringLiteral("Verdana"));
    QCOMPARE(changed.Size, quint8(9));
    QCOMPARE(changed.Color, TColor(0x00A1B2C3));
    // More than a record: only the record's bytes count.
    changed.assignBytes(bytes + QByteArray(10, '\x01'));
    QCOMPARE(changed.toBytes(), bytes);
}

void TestSettings::faceNameCutTo255Bytes_data()
{
    QTest::addColumn<QString>("face");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("stored");
    QTest::newRow("ascii 300") << QString(300, u'a') << 255 << QString(255, u'a');
    // Two-byte characters: the last one that fits ends at byte 254.
    QTest::newRow("chinese 200") << QString(200, u'宋') << 254 << QString(127, u'宋');
    QTest::newRow("mixed at the edge") << u'a' + QString(130, u'宋') << 255 << u'a' + QString(127, u'宋');
}

void TestSettings::faceNameCutTo255Bytes()
{
    QFETCH(QString, face);
    QFETCH(int, length);
    QFETCH(QString, stored);
    SettingsChanged = true;
    Settings.NoteFont.setFaceName(face);
    QCOMPARE(int(Settings.NoteFont.NameLength), length);
    SaveSettings();
    setEngineDefaults();
    LoadSettings();
    QCOMPARE(Settings.NoteFont.faceName(), stored);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
