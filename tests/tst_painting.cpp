#include "app/InternalProcsGui.h"
#include "app/RegistryUnit.h"

#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QtTest>

namespace {

constexpr int kStripWidth = 100;
constexpr int kStripHeight = 13;
// The canvas is larger than the strip, so painting outside it shows up.
constexpr QSize kCanvas(110, 20);

constexpr TColor kTitle = rgbColor(200, 0, 0);
constexpr TColor kText = rgbColor(0, 0, 200);
constexpr TColor kNote = rgbColor(0, 200, 0);

const QColor kBlank(Qt::white);

QColor rgb(TColor color)
{
    return toQColor(color);
}

FontRecord testFont(TColor color)
{
    FontRecord record;
    record.setFaceName(QStringLiteral("DejaVu Sans"));
    record.Size = 7;
    record.Color = color;
    return record;
}

QImage blankCanvas(QSize size = kCanvas)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kBlank);
    return image;
}

QImage paintStrip(const QString &caption, bool glyph, TColor title = kTitle, TColor text = kText,
                  TColor note = kNote, const FontRecord &font = testFont(kText))
{
    QImage image = blankCanvas();
    QPainter painter(&image);
    DrawTitleStrip(painter, caption, kStripWidth, kStripHeight, title, text, note, font, glyph);
    return image;
}

// Pixels of the page glyph for x0 = width - 23: its lines leave out their
// end points, the corner pixel is set on its own.
QSet<QPoint> pageGlyphPixels(int x0)
{
    QSet<QPoint> pixels;
    for (int y = 2; y <= 9; ++y)
        pixels.insert({x0, y});
    for (int x = x0; x <= x0 + 6; ++x)
        pixels.insert({x, 2});
    for (int y = 2; y <= 8; ++y)
        pixels.insert({x0 + 7, y});
    for (int x = x0; x <= x0 + 5; ++x)
        pixels.insert({x, 10});
    pixels.insert({x0 + 5, 9});
    pixels.insert({x0 + 5, 8});
    pixels.insert({x0 + 5, 7});
    pixels.insert({x0 + 6, 7});
    pixels.insert({x0 + 6, 9});
    return pixels;
}

QRect pixelsOfColour(const QImage &image, const QColor &colour, const QRect &area)
{
    QRect found;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixelColor(x, y) == colour)
                found |= QRect(x, y, 1, 1);
        }
    }
    return found;
}

// Smoothed text blends into the background: whatever is not background
// colour in the area is text.
QRect pixelsNotOfColour(const QImage &image, const QColor &colour, const QRect &area)
{
    QRect found;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixelColor(x, y) != colour)
                found |= QRect(x, y, 1, 1);
        }
    }
    return found;
}

} // namespace

class TestPainting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void stripStaysInsideItsRectangle();
    void menuCircle();
    void closeBoxAndCross();
    void linkGlyph_data();
    void linkGlyph();
    void captionStartsAtFourteenOnTheBottomEdge();
    void noneColoursResolveToSettings();
    void systemColourCodes();
    void painterStateIsKept();

    void previewFillsWithNoteColourAndShowsGlyph();
    void previewSampleText_data();
    void previewSampleText();
    void previewTitleFontGivesStripTextColour();

private:
    GlobalSettings m_saved;
};

void TestPainting::initTestCase()
{
    QVERIFY2(QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans")), "the tests draw text in DejaVu Sans");
    m_saved = Settings;
}

void TestPainting::cleanup()
{
    Settings = m_saved;
}

void TestPainting::stripStaysInsideItsRectangle()
{
    const QImage image = paintStrip(QString(), true);
    QCOMPARE(image.pixelColor(0, 0), rgb(kTitle));
    QCOMPARE(image.pixelColor(kStripWidth - 1, kStripHeight - 1), rgb(kTitle));
    QCOMPARE(image.pixelColor(60, 6), rgb(kTitle));
    for (int y = 0; y < kCanvas.height(); ++y)
        QCOMPARE(image.pixelColor(kStripWidth, y), kBlank);
    for (int x = 0; x < kCanvas.width(); ++x)
        QCOMPARE(image.pixelColor(x, kStripHeight), kBlank);
}

void TestPainting::menuCircle()
{
    const QImage image = paintStrip(QString(), false);
    // Outlined in the text colour, filled with the note colour, within 2..10.
    QCOMPARE(pixelsOfColour(image, rgb(kText), QRect(0, 0, 13, 13)), QRect(QPoint(2, 2), QPoint(10, 10)));
    QCOMPARE(image.pixelColor(6, 2), rgb(kText));
    QCOMPARE(image.pixelColor(2, 6), rgb(kText));
    QCOMPARE(image.pixelColor(10, 6), rgb(kText));
    QCOMPARE(image.pixelColor(6, 10), rgb(kText));
    QCOMPARE(image.pixelColor(6, 6), rgb(kNote));
    QCOMPARE(image.pixelColor(2, 2), rgb(kTitle));
    QCOMPARE(image.pixelColor(11, 6), rgb(kTitle));
    QCOMPARE(image.pixelColor(6, 11), rgb(kTitle));
}

void TestPainting::closeBoxAndCross()
{
    const QImage image = paintStrip(QString(), false);
    // The box (88, 1)-(98, 11), nothing beyond.
    QCOMPARE(image.pixelColor(88, 1), rgb(kNote));
    QCOMPARE(image.pixelColor(98, 1), rgb(kNote));
    QCOMPARE(image.pixelColor(88, 11), rgb(kNote));
    QCOMPARE(image.pixelColor(98, 11), rgb(kNote));
    QCOMPARE(image.pixelColor(87, 6), rgb(kTitle));
    QCOMPARE(image.pixelColor(99, 6), rgb(kTitle));
    QCOMPARE(image.pixelColor(93, 0), rgb(kTitle));
    QCOMPARE(image.pixelColor(93, 12), rgb(kTitle));
    // The cross from (90, 3) to (96, 9) both ways, with a margin of box colour.
    for (int step = 0; step <= 6; ++step) {
        QCOMPARE(image.pixelColor(90 + step, 3 + step), rgb(kText));
        QCOMPARE(image.pixelColor(96 - step, 3 + step), rgb(kText));
    }
    QCOMPARE(pixelsOfColour(image, rgb(kText), QRect(QPoint(88, 1), QPoint(98, 11))),
             QRect(QPoint(90, 3), QPoint(96, 9)));
    QCOMPARE(image.pixelColor(93, 3), rgb(kNote));
    QCOMPARE(image.pixelColor(93, 9), rgb(kNote));
    QCOMPARE(image.pixelColor(90, 6), rgb(kNote));
    QCOMPARE(image.pixelColor(96, 6), rgb(kNote));
}

void TestPainting::linkGlyph_data()
{
    QTest::addColumn<bool>("glyph");
    QTest::newRow("with the attached-file glyph") << true;
    QTest::newRow("without it") << false;
}

void TestPainting::linkGlyph()
{
    QFETCH(bool, glyph);
    const QImage image = paintStrip(QString(), glyph);
    const QSet<QPoint> lines = pageGlyphPixels(kStripWidth - 23);
    // The box (75, 1)-(86, 11) with the page outline from x 77; without the
    // glyph the strip colour shows there.
    for (int y = 0; y < kStripHeight; ++y) {
        for (int x = 74; x <= 87; ++x) {
            const bool inBox = glyph && x >= 75 && x <= 86 && y >= 1 && y <= 11;
            const QColor expected = !inBox ? rgb(kTitle) : lines.contains({x, y}) ? rgb(kText) : rgb(kNote);
            QVERIFY2(image.pixelColor(x, y) == expected, qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
        }
    }
}

void TestPainting::captionStartsAtFourteenOnTheBottomEdge()
{
    const FontRecord font = testFont(kText);
    const QImage image = paintStrip(QStringLiteral("HHH"), false, kTitle, kText, kNote, font);
    const QRect text = pixelsNotOfColour(image, rgb(kTitle), QRect(11, 0, 60, kStripHeight));
    QVERIFY(!text.isEmpty());
    QVERIFY2(text.left() >= 14 && text.left() <= 15, qPrintable(QString::number(text.left())));

    // The caption's cell ends on the strip's bottom edge: "H" stands on the
    // baseline, which is the descent above it.
    QImage probe = blankCanvas();
    QPainter painter(&probe);
    painter.setFont(RecordToFont(font).font);
    const QFontMetrics metrics = painter.fontMetrics();
    QCOMPARE(text.bottom(), kStripHeight - metrics.descent() - 1);
}

void TestPainting::noneColoursResolveToSettings()
{
    Settings.TitleColor = rgbColor(10, 20, 30);
    Settings.NoteColor = rgbColor(40, 50, 60);
    Settings.TitleFont = testFont(rgbColor(70, 80, 90));

    QImage image = blankCanvas();
    QPainter painter(&image);
    DrawNoteTitle(painter, QStringLiteral("HH"), kStripWidth, kStripHeight, clNone, clNone, clNone, true);

    QCOMPARE(image.pixelColor(0, 0), rgb(Settings.TitleColor));
    QCOMPARE(image.pixelColor(6, 6), rgb(Settings.NoteColor));
    QCOMPARE(image.pixelColor(6, 2), rgb(Settings.TitleFont.Color));
    QCOMPARE(image.pixelColor(88, 1), rgb(Settings.NoteColor));
    QCOMPARE(image.pixelColor(93, 6), rgb(Settings.TitleFont.Color));
    QCOMPARE(image.pixelColor(78, 5), rgb(Settings.NoteColor));
    QCOMPARE(image.pixelColor(77, 5), rgb(Settings.TitleFont.Color));
    QVERIFY(!pixelsNotOfColour(image, rgb(Settings.TitleColor), QRect(14, 0, 40, kStripHeight)).isEmpty());
}

void TestPainting::systemColourCodes()
{
    const QImage image = paintStrip(QString(), false, clHighlight, clWindowText, clBtnFace);
    QCOMPARE(image.pixelColor(0, 0), toQColor(clHighlight));
    QCOMPARE(image.pixelColor(6, 2), toQColor(clWindowText));
    QCOMPARE(image.pixelColor(88, 1), toQColor(clBtnFace));
}

void TestPainting::painterStateIsKept()
{
    QImage image = blankCanvas();
    QPainter painter(&image);
    const QPen pen(Qt::magenta, 3);
    const QFont font(QStringLiteral("DejaVu Sans"), 20);
    painter.setPen(pen);
    painter.setBrush(Qt::cyan);
    painter.setFont(font);
    painter.setRenderHint(QPainter::Antialiasing, true);

    DrawTitleStrip(painter, QStringLiteral("x"), kStripWidth, kStripHeight, kTitle, kText, kNote, testFont(kText), true);

    QCOMPARE(painter.pen(), pen);
    QCOMPARE(painter.brush().color(), QColor(Qt::cyan));
    QCOMPARE(painter.font(), font);
    QVERIFY(painter.testRenderHint(QPainter::Antialiasing));
}

void TestPainting::previewFillsWithNoteColourAndShowsGlyph()
{
    Settings.NoteColor = rgbColor(40, 50, 60);
    QImage image = blankCanvas(QSize(120, 60));
    QPainter painter(&image);
    DrawStylePreview(painter, 120, 60, kTitle, kText, clNone);

    const QColor note = rgb(Settings.NoteColor);
    QCOMPARE(pixelsOfColour(image, note, QRect(0, 13, 120, 47)), QRect(0, 13, 120, 47));
    QCOMPARE(image.pixelColor(0, 12), rgb(kTitle));
    QCOMPARE(image.pixelColor(119, 0), rgb(kTitle));
    // The attached-file glyph is always shown, at width - 23 = 97.
    QCOMPARE(image.pixelColor(97, 5), rgb(kText));
    QCOMPARE(image.pixelColor(98, 5), note);
}

void TestPainting::previewSampleText_data()
{
    QTest::addColumn<bool>("withNoteFont");
    QTest::newRow("note font given") << true;
    QTest::newRow("no note font") << false;
}

void TestPainting::previewSampleText()
{
    QFETCH(bool, withNoteFont);
    ToolkitFont noteFont;
    noteFont.font = QFont(QStringLiteral("DejaVu Sans"), 10);
    noteFont.color = rgbColor(255, 0, 255);

    QImage image = blankCanvas(QSize(120, 60));
    QPainter painter(&image);
    DrawStylePreview(painter, 120, 60, kTitle, kText, kNote, withNoteFont ? &noteFont : nullptr);

    const QRect sample = pixelsNotOfColour(image, rgb(kNote), QRect(0, 13, 120, 47));
    QCOMPARE(sample.isEmpty(), !withNoteFont);
    if (withNoteFont) {
        // "示范便笺" drawn with its cell's top-left corner at (4, 15).
        QVERIFY2(sample.top() >= 15, qPrintable(QString::number(sample.top())));
        QVERIFY2(sample.left() >= 4 && sample.left() <= 6, qPrintable(QString::number(sample.left())));
        QVERIFY(sample.bottom() < 15 + QFontMetrics(noteFont.font, &image).height());
    }
}

void TestPainting::previewTitleFontGivesStripTextColour()
{
    Settings.TitleFont = testFont(rgbColor(1, 2, 3));
    ToolkitFont titleFont;
    titleFont.font = QFont(QStringLiteral("DejaVu Sans"), 7);
    titleFont.color = rgbColor(0, 120, 120);

    QImage image = blankCanvas(QSize(120, 60));
    QPainter painter(&image);
    DrawStylePreview(painter, 120, 60, kTitle, clNone, kNote, nullptr, &titleFont);
    QCOMPARE(image.pixelColor(97, 5), rgb(titleFont.color));
    QCOMPARE(image.pixelColor(6, 2), rgb(titleFont.color));

    QImage fromSettings = blankCanvas(QSize(120, 60));
    QPainter second(&fromSettings);
    DrawStylePreview(second, 120, 60, kTitle, clNone, kNote);
    QCOMPARE(fromSettings.pixelColor(97, 5), rgb(Settings.TitleFont.Color));
}

QTEST_MAIN(TestPainting)
#include "tst_painting.moc"
