#include "app/InternalProcsGui.h"
#include "app/rsFileVersion.h"
#include "platform/DateTime.h"
#include "tests/support/FileHelpers.h"

#include <QWidget>
#include <QtTest>

class TestInternalProcs : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void userFolderIsPrivateAndUnderProgramFolder();
    void noteFileNameTrimsId();
    void newNoteIdSkipsUsedIds();
    void newNoteIdCounterGrowsPastTwoDigits();
    void fontRecordLayout();
    void fileVersionText();

private:
    QTemporaryDir m_dir;
};

void TestInternalProcs::init()
{
    QVERIFY(m_dir.isValid());
    setProgramFolder(m_dir.path());
    InitUserFolder();
    Clock::setNow(QDateTime(QDate(2006, 1, 1), QTime(12, 0)));
}

void TestInternalProcs::cleanup()
{
    Clock::useSystemTime();
    setProgramFolder(QString());
}

void TestInternalProcs::userFolderIsPrivateAndUnderProgramFolder()
{
    QCOMPARE(UserFolder, m_dir.path() + QStringLiteral("/Users/") + LogOnName() + QLatin1Char('/'));
    QVERIFY(!LogOnName().isEmpty());
    const QFileInfo info(UserFolder);
    QVERIFY(info.isDir());
    QCOMPARE(info.permissions() & (QFile::ReadOther | QFile::ReadGroup | QFile::ExeOther | QFile::ExeGroup),
             QFile::Permissions());
}

void TestInternalProcs::noteFileNameTrimsId()
{
    QCOMPARE(NoteFileName(QStringLiteral("  N12AB \t")), UserFolder + QStringLiteral("N12AB.knt"));
    QCOMPARE(NoteFileName(QStringLiteral("N12AB")), UserFolder + QStringLiteral("N12AB.knt"));
}

void TestInternalProcs::newNoteIdSkipsUsedIds()
{
    // 20060101120000 in hexadecimal.
    const QString base = QStringLiteral("N") + QString::number(20060101120000LL, 16).toUpper();
    QCOMPARE(base, QStringLiteral("N123E9B339000"));
    QCOMPARE(NewNoteID(IsComponentNameUsed), base + QStringLiteral("00"));

    QVERIFY(writeFileBytes(NoteFileName(base + QStringLiteral("00")), {}));
    QCOMPARE(NewNoteID(IsComponentNameUsed), base + QStringLiteral("01"));

    // A window already named like the candidate is skipped too, whatever its case.
    QWidget window;
    window.setObjectName((base + QStringLiteral("01")).toLower());
    QCOMPARE(NewNoteID(IsComponentNameUsed), base + QStringLiteral("02"));
    QVERIFY(IsComponentNameUsed(base + QStringLiteral("01")));
    QVERIFY(!IsComponentNameUsed(base + QStringLiteral("02")));
}

void TestInternalProcs::newNoteIdCounterGrowsPastTwoDigits()
{
    const QString base = QStringLiteral("N123E9B339000");
    for (int counter = 0; counter < 256; ++counter) {
        const QString id = base + QStringLiteral("%1").arg(counter, 2, 16, QLatin1Char('0')).toUpper();
        QVERIFY(writeFileBytes(NoteFileName(id), {}));
    }
    QCOMPARE(NewNoteID(IsComponentNameUsed), base + QStringLiteral("100"));
}

void TestInternalProcs::fontRecordLayout()
{
    ToolkitFont font;
    font.font.setFamily(QStringLiteral("宋体"));
    font.font.setPointSize(9);
    font.font.setBold(true);
    font.font.setStrikeOut(true);
    font.color = 0x00112233;
    const FontRecord record = FontToRecord(font);
    const QByteArray bytes = record.toBytes();
    QCOMPARE(bytes.size(), 264);
    QCOMPARE(quint8(bytes.at(0)), quint8(4));
    QCOMPARE(bytes.mid(1, 4), QByteArray("\xCB\xCE\xCC\xE5"));
    QCOMPARE(quint8(bytes.at(256)), quint8(9));
    QCOMPARE(quint8(bytes.at(257)), quint8(FontRecord::fsBold | FontRecord::fsStrikeOut));
    QCOMPARE(bytes.mid(258, 6), QByteArray("\0\0\x33\x22\x11\0", 6));

    const ToolkitFont back = RecordToFont(record);
    QCOMPARE(back.font.family(), QStringLiteral("宋体"));
    QCOMPARE(back.font.pointSize(), 9);
    QVERIFY(back.font.bold() && back.font.strikeOut() && !back.font.italic());
    QCOMPARE(back.color, 0x00112233u);

    // Long face names are cut to 255 bytes without splitting a character.
    font.font.setFamily(QString(200, QChar(0x4E2D)));
    const FontRecord cut = FontToRecord(font);
    QCOMPARE(int(cut.NameLength), 254);
}

void TestInternalProcs::fileVersionText()
{
    QCOMPARE(FileVersionText(QCoreApplication::applicationFilePath()), QStringLiteral("2.2.0 Build: %1").arg(BRISQUEL_BUILD));
    const QString text = m_dir.filePath(QStringLiteral("readme.txt"));
    QVERIFY(writeFileBytes(text, "hello"));
    QCOMPARE(FileVersionText(text), QStringLiteral(" Build: 0"));
    QCOMPARE(FileVersionText(m_dir.filePath(QStringLiteral("missing.dll"))), QStringLiteral(" Build: 0"));

    TrsFileVersion version;
    QVERIFY(version.ReadFromFile(QCoreApplication::applicationFilePath()));
    QCOMPARE(version.VersionText, QStringLiteral("2.2.0"));
    QVERIFY(!version.ReadFromFile(text));
    QCOMPARE(version.VersionText, QString());
    QCOMPARE(version.Major, 0u);
}

QTEST_MAIN(TestInternalProcs)
#include "tst_internalprocs.moc"
