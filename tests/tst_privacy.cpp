// The note folder and everything the program writes there are its owner's
// alone, whatever the umask; linked files and web addresses go to the
// desktop's opener as addresses, never through a command line.

#include "app/InternalProcsGui.h"
#include "app/RegistryUnit.h"
#include "notes/ClassesUnit.h"
#include "platform/RegistryStore.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/UrlRecorder.h"
#include "todolist/ToDoListEngine.h"

#include <QDesktopServices>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? (info.st_mode & 07777) : mode_t(-1);
}

enum class Kind { Note, Project, Settings };

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestPrivacy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void noteFolderIsPrivate();
    void savedFilesArePrivate_data();
    void savedFilesArePrivate();
    void linkedFileGoesToOpener_data();
    void linkedFileGoesToOpener();
    void webAddressGoesToOpener_data();
    void webAddressGoesToOpener();

private:
    QString save(Kind kind);

    std::unique_ptr<QTemporaryDir> m_dir;
    mode_t m_umask = 0;
    UrlRecorder m_opener;
};

void TestPrivacy::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    // Nothing may rely on the umask to keep others out.
    m_umask = ::umask(0);
    for (const QString &scheme : {QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https")})
        QDesktopServices::setUrlHandler(scheme, &m_opener, "open");
}

void TestPrivacy::cleanupTestCase()
{
    ::umask(m_umask);
    for (const QString &scheme : {QStringLiteral("file"), QStringLiteral("http"), QStringLiteral("https")})
        QDesktopServices::unsetUrlHandler(scheme);
}

void TestPrivacy::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("home"))));
    setProgramFolder(m_dir->filePath(QStringLiteral("program")));
    InitUserFolder();
    m_opener.urls.clear();
}

void TestPrivacy::noteFolderIsPrivate()
{
    QCOMPARE(modeOf(UserFolder), mode_t(0700));
    QCOMPARE(modeOf(ProgramFolder() + QStringLiteral("Users")), mode_t(0700));

    // A folder others could enter, left by an older copy, is closed at start.
    QVERIFY(QFile::setPermissions(UserFolder, QFileDevice::Permissions(0x7755)));
    QCOMPARE(modeOf(UserFolder), mode_t(0755));
    InitUserFolder();
    QCOMPARE(modeOf(UserFolder), mode_t(0700));
}

QString TestPrivacy::save(Kind kind)
{
    switch (kind) {
    case Kind::Note: {
        const QString path = NoteFileName(QStringLiteral("N1"));
        TNoteClass(QStringLiteral("N1")).SaveToFile(path);
        return path;
    }
    case Kind::Project: {
        const QString path = ProjectFilePath(QStringLiteral("Errands"));
        SaveProject(path, {TodoTask{QStringLiteral("milk"), false, 1}});
        return path;
    }
    case Kind::Settings:
        SettingsChanged = true;
        SaveSettings();
        SettingsChanged = false;
        break;
    }
    return TRegistry::storeFileName();
}

void TestPrivacy::savedFilesArePrivate_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<bool>("replacesOpenFile");
    const std::pair<const char *, Kind> kinds[] = {
        {"note", Kind::Note}, {"project", Kind::Project}, {"settings", Kind::Settings}};
    for (const auto &[name, kind] : kinds) {
        QTest::addRow("new %s", name) << kind << false;
        QTest::addRow("%s over a file others could read", name) << kind << true;
    }
}

void TestPrivacy::savedFilesArePrivate()
{
    QFETCH(Kind, kind);
    QFETCH(bool, replacesOpenFile);
    QString path = save(kind);
    if (replacesOpenFile) {
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0666) == 0);
        path = save(kind);
    }
    QCOMPARE(modeOf(path), mode_t(0600));
    QCOMPARE(modeOf(QFileInfo(path).absolutePath()), mode_t(0700));
}

void TestPrivacy::linkedFileGoesToOpener_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("plain") << QStringLiteral("list.txt");
    QTest::newRow("shell characters") << QStringLiteral("a b;touch x$(id)`id`'\"|&.txt");
    QTest::newRow("leading dash") << QStringLiteral("--help");
    QTest::newRow("percent and hash") << QStringLiteral("100% #1?.txt");
    QTest::newRow("Chinese") << QStringLiteral("购物 清单.txt");
}

void TestPrivacy::linkedFileGoesToOpener()
{
    QFETCH(QString, fileName);
    const QString path = m_dir->filePath(fileName);
    QVERIFY(writeFileBytes(path, {}));
    OpenLinkedFile(path);
    QCOMPARE(m_opener.urls.size(), 1);
    const QUrl url = m_opener.urls.first();
    QVERIFY(url.isLocalFile());
    QCOMPARE(url.toLocalFile(), path);
    // Nothing beside the file was made by anything it named.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{fileName});
}

void TestPrivacy::webAddressGoesToOpener_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bare address") << QStringLiteral("www.example.com/a;b") << QStringLiteral("http://www.example.com/a;b");
    QTest::newRow("command substitution")
        << QStringLiteral("http://example.com/$(touch x)") << QStringLiteral("http://example.com/$(touch x)");
    QTest::newRow("quotes and ampersand")
        << QStringLiteral("https://example.com/?a='1'&b=\"2\"") << QStringLiteral("https://example.com/?a='1'&b=\"2\"");
}

void TestPrivacy::webAddressGoesToOpener()
{
    QFETCH(QString, link);
    QFETCH(QString, expected);
    OpenDocument(link);
    QCOMPARE(m_opener.urls.size(), 1);
    QCOMPARE(m_opener.urls.first(), QUrl(expected));
}

QTEST_MAIN(TestPrivacy)
#include "tst_privacy.moc"
