#include "app/FontFallback.h"
#include "resources/BrisquelResources.h"
#include "tests/support/FileHelpers.h"

#include <QDataStream>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QProcess>
#include <QRawFont>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

using IconList = std::function<QIcon(int)>;

enum class List { Tray, NotesManager, NoteMenu };

IconList iconList(List list)
{
    switch (list) {
    case List::Tray:
        return TrayMenuIcon;
    case List::NotesManager:
        return NotesManagerIcon;
    case List::NoteMenu:
        return NoteMenuIcon;
    }
    return {};
}

// The indices each image list has a picture for; the others must be empty.
QList<int> usedIndices(List list)
{
    switch (list) {
    case List::Tray:
        return {0, 1, 3, 4, 8, 9};
    case List::NotesManager:
        return {0, 1, 2, 3};
    case List::NoteMenu:
        return {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18};
    }
    return {};
}

const char* listName(List list)
{
    switch (list) {
    case List::Tray:
        return "tray";
    case List::NotesManager:
        return "manager";
    case List::NoteMenu:
        return "note";
    }
    return "";
}

// Share of the pixels that are fully opaque.
double opaqueShare(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(argb.pixel(x, y)) == 255)
                ++opaque;
        }
    }
    return double(opaque) / (argb.width() * argb.height());
}

// Exec of a desktop entry back to the path it names: first the escapes of
// the string value, then the quoting of the argument, then %%.
QString execPath(const QString& value)
{
    QString unescaped;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar next = i + 1 < value.size() ? value[i + 1] : QChar();
        if (value[i] != u'\\' || !QStringView(u"sntr\\").contains(next)) {
            unescaped += value[i];
            continue;
        }
        unescaped += next == u's' ? QChar(u' ')
                   : next == u'n' ? QChar(u'\n')
                   : next == u't' ? QChar(u'\t')
                   : next == u'r' ? QChar(u'\r')
                   : next;
        ++i;
    }
    QString argument;
    if (unescaped.startsWith(u'"')) {
        qsizetype i = 1;
        for (; i < unescaped.size() && unescaped[i] != u'"'; ++i) {
            if (unescaped[i] == u'\\' && i + 1 < unescaped.size())
                ++i;
            argument += unescaped[i];
        }
        if (i != unescaped.size() - 1)
            return {}; // unterminated, or more than one argument
    } else {
        argument = unescaped;
    }
    return argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

QMap<QString, QString> readDesktopEntry(const QString& path)
{
    QMap<QString, QString> entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (lines.value(0) != QLatin1String("[Desktop Entry]"))
        return entry;
    for (const QString& line : lines.mid(1)) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0)
            entry.insert(line.left(equals), line.mid(equals + 1));
    }
    return entry;
}

} // namespace

class TestResources final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void drawingsReadWhenDrawn();
    void programIconFromRenders();

    void listIconsRender_data();
    void listIconsRender();
    void unusedIndicesAreNull_data();
    void unusedIndicesAreNull();
    void listIconsAreDistinct_data();
    void listIconsAreDistinct();

    void programIconSizes_data();
    void programIconSizes();

    void trillIsSmallWave();
    void trillBesideProgram();

    void desktopEntryInBuildFolder();
    void desktopEntryExec_data();
    void desktopEntryExec();

    void chineseFontFallback_data();
    void chineseFontFallback();
};

void TestResources::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

// Runs first: nothing in this process may have drawn an SVG before.
void TestResources::drawingsReadWhenDrawn()
{
    const auto svgLoaded = [] {
        QFile maps(QStringLiteral("/proc/self/maps"));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Svg");
    };
    QVERIFY(!svgLoaded());
    // What a start does: the tray shows the program icon, the menus get theirs.
    QVERIFY(!MainIcon().pixmap(22, 22).isNull());
    const QIcon menuIcon = TrayMenuIcon(0);
    QVERIFY(!menuIcon.isNull());
    QVERIFY(!svgLoaded());
    // Opening the menu draws the drawing.
    QVERIFY(opaqueShare(menuIcon.pixmap(16, 16).toImage()) > 0.08);
    QVERIFY(svgLoaded());
}

void TestResources::programIconFromRenders()
{
    const QIcon icon = MainIcon();
    const auto render = [](int size) {
        QImage image(QStringLiteral(BRISQUEL_RESOURCES_BUILD "/hicolor/%1x%1/apps/brisquel.png").arg(size), "PNG");
        return image.convertToFormat(QImage::Format_ARGB32);
    };
    QCOMPARE(icon.pixmap(22, 22).toImage().convertToFormat(QImage::Format_ARGB32), render(22));
    // Between renders: the next larger one, scaled down.
    const QPixmap between = icon.pixmap(40, 40);
    QCOMPARE(between.size(), QSize(40, 40));
    QCOMPARE(qAlpha(between.toImage().pixel(39, 39)), 0);
    QVERIFY(opaqueShare(between.toImage()) > 0.3);
    // A screen at twice the density gets the 32-pixel render for 16.
    const QPixmap doubled = icon.pixmap(QSize(16, 16), 2.0);
    QCOMPARE(doubled.size(), QSize(32, 32));
    QImage expected = render(32);
    expected.setDevicePixelRatio(2.0);
    QCOMPARE(doubled.toImage().convertToFormat(QImage::Format_ARGB32), expected);
    QCOMPARE(icon.availableSizes().size(), 8);
}

void TestResources::listIconsRender_data()
{
    QTest::addColumn<List>("list");
    QTest::addColumn<int>("index");
    for (List list : {List::Tray, List::NotesManager, List::NoteMenu}) {
        for (int index : usedIndices(list))
            QTest::addRow("%s %d", listName(list), index) << list << index;
    }
}

void TestResources::listIconsRender()
{
    QFETCH(List, list);
    QFETCH(int, index);
    const QIcon icon = iconList(list)(index);
    QVERIFY(!icon.isNull());
    for (int size : {16, 32}) {
        const QPixmap pixmap = icon.pixmap(size, size);
        QCOMPARE(pixmap.size(), QSize(size, size));
        // Edges on the pixel grid give fully opaque pixels; a blurred
        // drawing has hardly any.
        QVERIFY2(opaqueShare(pixmap.toImage()) > 0.08, qPrintable(QStringLiteral("%1 px").arg(size)));
    }
    // A screen at twice the density gets the drawing made for 32 pixels.
    const QPixmap doubled = icon.pixmap(QSize(16, 16), 2.0);
    QCOMPARE(doubled.size(), QSize(32, 32));
    QCOMPARE(doubled.devicePixelRatio(), 2.0);
    QImage expected = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    expected.setDevicePixelRatio(2.0);
    QCOMPARE(doubled.toImage().convertToFormat(QImage::Format_ARGB32), expected);
}

void TestResources::unusedIndicesAreNull_data()
{
    QTest::addColumn<List>("list");
    QTest::addColumn<int>("index");
    for (List list : {List::Tray, List::NotesManager, List::NoteMenu}) {
        const QList<int> used = usedIndices(list);
        for (int index = -1; index <= 20; ++index) {
            if (!used.contains(index))
                QTest::addRow("%s %d", listName(list), index) << list << index;
        }
    }
}

void TestResources::unusedIndicesAreNull()
{
    QFETCH(List, list);
    QFETCH(int, index);
    QVERIFY(iconList(list)(index).isNull());
}

void TestResources::listIconsAreDistinct_data()
{
    QTest::addColumn<List>("list");
    for (List list : {List::Tray, List::NotesManager, List::NoteMenu})
        QTest::addRow("%s", listName(list)) << list;
}

void TestResources::listIconsAreDistinct()
{
    // Every command of a list shows its own picture.
    QFETCH(List, list);
    QHash<QByteArray, int> seen;
    for (int index : usedIndices(list)) {
        const QImage image = iconList(list)(index).pixmap(16, 16).toImage();
        const QByteArray key(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
        QVERIFY2(!seen.contains(key),
                 qPrintable(QStringLiteral("%1 and %2 look the same").arg(seen.value(key)).arg(index)));
        seen.insert(key, index);
    }
}

void TestResources::programIconSizes_data()
{
    QTest::addColumn<int>("size");
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QTest::addRow("%d", size) << size;
}

void TestResources::programIconSizes()
{
    QFETCH(int, size);
    const QString path = QStringLiteral(BRISQUEL_RESOURCES_BUILD "/hicolor/%1x%1/apps/brisquel.png").arg(size);
    QImage image;
    QVERIFY2(image.load(path, "PNG"), qPrintable(path));
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());
    QVERIFY(opaqueShare(image) > 0.3);
    // Transparent corners: the note shape, not a filled square.
    QCOMPARE(qAlpha(image.pixel(size - 1, size - 1)), 0);
}

void TestResources::trillIsSmallWave()
{
    const QByteArray wave = fileBytes(QStringLiteral(BRISQUEL_RESOURCES_SOURCE "/trill.wav"));
    QVERIFY(wave.size() > 44);
    QVERIFY(wave.size() < 60 * 1024);

    QDataStream in(wave);
    in.setByteOrder(QDataStream::LittleEndian);
    char tag[4];
    quint32 riffSize = 0;
    QCOMPARE(in.readRawData(tag, 4), 4);
    QCOMPARE(QByteArray(tag, 4), QByteArray("RIFF"));
    in >> riffSize;
    QCOMPARE(qint64(riffSize), qint64(wave.size()) - 8);
    in.readRawData(tag, 4);
    QCOMPARE(QByteArray(tag, 4), QByteArray("WAVE"));

    quint16 format = 0, channels = 0, bits = 0;
    quint32 rate = 0, dataSize = 0;
    bool haveFormat = false, haveData = false;
    while (!in.atEnd() && !haveData) {
        quint32 chunkSize = 0;
        QCOMPARE(in.readRawData(tag, 4), 4);
        in >> chunkSize;
        QVERIFY(qint64(chunkSize) <= wave.size() - in.device()->pos());
        const QByteArray id(tag, 4);
        if (id == "fmt ") {
            quint32 byteRate = 0;
            quint16 blockAlign = 0;
            in >> format >> channels >> rate >> byteRate >> blockAlign >> bits;
            QCOMPARE(byteRate, rate * channels * bits / 8);
            in.skipRawData(int(chunkSize) - 16);
            haveFormat = true;
        } else if (id == "data") {
            dataSize = chunkSize;
            haveData = true;
        } else {
            in.skipRawData(int(chunkSize + (chunkSize & 1)));
        }
    }
    QVERIFY(haveFormat);
    QVERIFY(haveData);
    QCOMPARE(format, quint16(1)); // PCM: every player reads it
    QVERIFY(channels == 1 || channels == 2);
    QVERIFY(bits == 8 || bits == 16);
    // The alarm repeats the sound every second: it must be shorter than that.
    const double seconds = double(dataSize) / (rate * channels * bits / 8);
    QVERIFY2(seconds > 0.3 && seconds < 1.0, qPrintable(QString::number(seconds)));
}

void TestResources::trillBesideProgram()
{
    // The default alarm sound is the program folder's trill.wav.
    const QByteArray copy = fileBytes(QStringLiteral(BRISQUEL_PROGRAM_DIR "/trill.wav"));
    QVERIFY(!copy.isEmpty());
    QCOMPARE(copy, fileBytes(QStringLiteral(BRISQUEL_RESOURCES_SOURCE "/trill.wav")));
}

void TestResources::desktopEntryInBuildFolder()
{
    const QMap<QString, QString> entry = readDesktopEntry(QStringLiteral(BRISQUEL_RESOURCES_BUILD "/brisquel.desktop"));
    QCOMPARE(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(entry.value(QStringLiteral("Name")), QStringLiteral("Brisquel"));
    QCOMPARE(entry.value(QStringLiteral("Icon")), QStringLiteral("brisquel"));
    QCOMPARE(execPath(entry.value(QStringLiteral("Exec"))),
             QStringLiteral(BRISQUEL_INSTALLED_PROGRAM));
}

void TestResources::desktopEntryExec_data()
{
    QTest::addColumn<QString>("executable");
    QTest::newRow("plain") << QStringLiteral("/home/user/Brisquel/brisquel");
    QTest::newRow("blank") << QStringLiteral("/home/user/My Programs/Brisquel/brisquel");
    QTest::newRow("percent") << QStringLiteral("/home/user/100% notes/brisquel");
    QTest::newRow("shell characters") << QStringLiteral("/home/user/a\"b`c$d'e&f;g(h)/brisquel");
    QTest::newRow("backslash") << QStringLiteral("/home/user/a\\b/brisquel");
    QTest::newRow("chinese") << QStringLiteral("/home/user/便笺/brisquel");
}

void TestResources::desktopEntryExec()
{
    // Any folder the person chooses must give an Exec the desktop can start.
    QFETCH(QString, executable);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString output = folder.filePath(QStringLiteral("brisquel.desktop"));
    QProcess cmake;
    cmake.start(QStringLiteral(CMAKE_COMMAND_PATH),
                {QStringLiteral("-DTEMPLATE=" BRISQUEL_RESOURCES_SOURCE "/brisquel.desktop.in"),
                 QStringLiteral("-DOUTPUT=") + output, QStringLiteral("-DEXECUTABLE=") + executable,
                 QStringLiteral("-P"), QStringLiteral(BRISQUEL_RESOURCES_SOURCE "/DesktopEntry.cmake")});
    QVERIFY(cmake.waitForFinished(60000));
    QVERIFY2(cmake.exitCode() == 0, cmake.readAllStandardError().constData());

    const QMap<QString, QString> entry = readDesktopEntry(output);
    QCOMPARE(execPath(entry.value(QStringLiteral("Exec"))), executable);
    QCOMPARE(entry.value(QStringLiteral("Name")), QStringLiteral("Brisquel"));
}

void TestResources::chineseFontFallback_data()
{
    QTest::addColumn<QString>("face");
    QTest::newRow("SimSun") << QStringLiteral("SimSun");
    QTest::newRow("Simsun") << QStringLiteral("Simsun");
    QTest::newRow("宋体") << QStringLiteral("宋体");
    QTest::newRow("MS Shell Dlg 2") << QStringLiteral("MS Shell Dlg 2");
}

void TestResources::chineseFontFallback()
{
    QFETCH(QString, face);
    const QStringList fallback = CjkFallbackFamilies();
    if (fallback.isEmpty())
        QSKIP("no font with Chinese glyphs is installed (fonts-noto-cjk or fonts-wqy-microhei)");
    QVERIFY(InstallFontFallback());

    QFont font(face, 9);
    const QString resolved = QFontInfo(font).family();
    QVERIFY2(fallback.contains(resolved), qPrintable(resolved));
    // The font itself has the glyphs, not only some fallback behind it.
    const QRawFont raw = QRawFont::fromFont(font);
    QVERIFY(raw.isValid());
    for (const QChar c : QStringLiteral("便笺管理"))
        QVERIFY2(raw.supportsCharacter(c), qPrintable(QString(c)));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
