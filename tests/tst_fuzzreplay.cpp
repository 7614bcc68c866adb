// Replays, through the fuzz entry points' own checks, every seed they start
// from, the corpora earlier runs grew (data/fuzz-corpus/<reader>/) and every
// input that once made them fail (data/fuzz-regressions/<reader>/), so that
// a fixed reader stays fixed.

#include "fuzz/ReaderChecks.h"

#include <QtTest>

namespace {

using Check = QString (*)(QByteArrayView);

struct Reader
{
    const char *name;
    Check check;
    QStringList seedFolders;
};

const QString kData = QStringLiteral(BRISQUEL_TEST_DATA);

const QList<Reader> &readers()
{
    static const QList<Reader> all{
        {"note", ReaderChecks::note, {QStringLiteral("fuzz-seeds/note"), QStringLiteral("fuzz-corpus/note")}},
        {"rtf", ReaderChecks::rtf, {QStringLiteral("rtf"), QStringLiteral("fuzz-corpus/rtf")}},
        {"tdl", ReaderChecks::todo, {QStringLiteral("todo"), QStringLiteral("fuzz-corpus/tdl")}},
        {"registry", ReaderChecks::registry,
         {QStringLiteral("fuzz-seeds/registry"), QStringLiteral("fuzz-corpus/registry")}},
    };
    return all;
}

QStringList filesIn(const QString &folder)
{
    QStringList files;
    const QDir dir(kData + QLatin1Char('/') + folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        files << dir.filePath(name);
    return files;
}

} // namespace

class TestFuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void inputPasses_data();
    void inputPasses();
    void regressionsBelongToAReader();

private:
    QTemporaryDir m_dir;
};

void TestFuzzReplay::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ReaderChecks::prepare(m_dir.path());
}

void TestFuzzReplay::inputPasses_data()
{
    QTest::addColumn<int>("reader");
    QTest::addColumn<QString>("path");
    for (qsizetype r = 0; r < readers().size(); ++r) {
        const Reader &reader = readers().at(r);
        QStringList files = filesIn(QStringLiteral("fuzz-regressions/") + QLatin1String(reader.name));
        for (const QString &folder : reader.seedFolders)
            files += filesIn(folder);
        QVERIFY2(!files.isEmpty(), reader.name);
        for (const QString &file : std::as_const(files))
            QTest::addRow("%s: %s", reader.name, qPrintable(QDir(kData).relativeFilePath(file))) << int(r) << file;
    }
}

void TestFuzzReplay::inputPasses()
{
    QFETCH(int, reader);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    const QString problem = readers().at(reader).check(input);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestFuzzReplay::regressionsBelongToAReader()
{
    QStringList known;
    for (const Reader &reader : readers())
        known << QLatin1String(reader.name);
    const QStringList folders = QDir(kData + QStringLiteral("/fuzz-regressions")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &folder : folders)
        QVERIFY2(known.contains(folder), qPrintable(folder));
}

QTEST_MAIN(TestFuzzReplay)
#include "tst_fuzzreplay.moc"
