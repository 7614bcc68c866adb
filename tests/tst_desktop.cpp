#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/ProgramEntry.h"
#include "app/RegistryUnit.h"
#include "errors/PellixErrorHandler.h"
#include "tests/support/FileHelpers.h"

#include <QtTest>

// Where a copy of the program keeps its notes, finds its alarm sound and
// writes its exception log, for a portable folder and for an installed copy.
class TestDesktop final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void foldersInUse_data();
    void foldersInUse();
    void uninstallDeletesTheFolderInUse();

private:
    // Lays out a copy: its executable folder, and share/brisquel beside an
    // installed one; the sound is placed where the copy ships it.
    QString layOut(bool installed, bool usersBeside);

    QTemporaryDir *m_root = nullptr;
    QString m_data;
};

void TestDesktop::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/brisquel/");
}

void TestDesktop::init()
{
    QDir(m_data).removeRecursively();
    m_root = new QTemporaryDir();
    QVERIFY(m_root->isValid());
    setPromptHook([](const PromptRequest &) { return PromptReply{true, QString()}; });
}

void TestDesktop::cleanup()
{
    setPromptHook({});
    setProgramFolder(QString());
    delete m_root;
    m_root = nullptr;
    QDir(m_data).removeRecursively();
}

QString TestDesktop::layOut(bool installed, bool usersBeside)
{
    const QString program = m_root->filePath(installed ? QStringLiteral("usr/bin/") : QStringLiteral("Brisquel/"));
    const QString sound = installed ? m_root->filePath(QStringLiteral("usr/share/brisquel/")) : program;
    if (!QDir().mkpath(program) || !QDir().mkpath(sound))
        return QString();
    if (!writeFileBytes(sound + QStringLiteral("trill.wav"), {}))
        return QString();
    if (usersBeside && !QDir().mkpath(program + QStringLiteral("Users")))
        return QString();
    setProgramFolder(program);
    return program;
}

void TestDesktop::foldersInUse_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("usersBeside");
    QTest::addColumn<bool>("portable");
    QTest::newRow("portable folder") << false << false << true;
    QTest::newRow("installed") << true << false << false;
    QTest::newRow("installed, notes kept beside it") << true << true << true;
}

void TestDesktop::foldersInUse()
{
    QFETCH(bool, installed);
    QFETCH(bool, usersBeside);
    QFETCH(bool, portable);
    const QString program = layOut(installed, usersBeside);
    QVERIFY(!program.isEmpty());
    const QString folder = portable ? program : m_data;

    InitUserFolder();
    QCOMPARE(UserFolder, folder + QStringLiteral("Users/") + LogOnName() + QLatin1Char('/'));
    QVERIFY(QFileInfo(UserFolder).isDir());
    if (!portable) {
        const QFileDevice::Permissions others = QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        QCOMPARE(QFileInfo(m_data).permissions() & others, QFileDevice::Permissions());
    }
    QCOMPARE(TPellixErrorHandler::LogPath(), folder + QStringLiteral("ExceptionsLog.txt"));

    LoadSettings();
    QCOMPARE(Settings.TrillFile, QFileInfo(installed ? m_root->filePath(QStringLiteral("usr/share/brisquel/trill.wav"))
                                                     : program + QStringLiteral("trill.wav"))
                                     .absoluteFilePath());
}

void TestDesktop::uninstallDeletesTheFolderInUse()
{
    const QString program = layOut(true, false);
    QVERIFY(!program.isEmpty());
    InitUserFolder();
    QVERIFY(writeFileBytes(UserFolder + QStringLiteral("N01.knt"), {}));
    QVERIFY(UserFolder.startsWith(m_data));

    QCOMPARE(RunUninstall(), 0);
    QVERIFY(!QFileInfo::exists(m_data + QStringLiteral("Users")));
    QVERIFY(QFileInfo::exists(m_root->filePath(QStringLiteral("usr/share/brisquel/trill.wav"))));
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
