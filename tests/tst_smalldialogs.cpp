#include "app/InternalProcsGui.h"
#include "dialogs/dlgAboutBrisquel.h"
#include "dialogs/dlgClosingBrisquel.h"
#include "dialogs/frmSplashForm.h"
#include "platform/Sound.h"
#include "resources/BrisquelResources.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/UrlRecorder.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

namespace {

template <typename T>
T *child(const QWidget &parent, const char *name)
{
    T *found = parent.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &local, const QPoint &global, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(local), QPointF(global), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void deleteReleasedWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A short silent wave file.
void writeSilentWave(const QString &path)
{
    const quint32 samples = 800;
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples * 2);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(16000) << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(samples * 2);
    data.append(QByteArray(samples * 2, '\0'));
    QVERIFY(writeFileBytes(path, data));
}

} // namespace

class TestSmallDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    // About box
    void aboutBoxControls();
    void aboutBoxMakerText();
    void aboutStripPaintedWithCloseBoxUnderButton();
    void aboutCloses_data();
    void aboutCloses();
    void aboutModalLoopEndsWithClose();
    void aboutMovesByDragging_data();
    void aboutMovesByDragging();

    // Splash and closing notice
    void splashWindow();
    void splashCreateAndReleaseAreSafe();
    void closingNotice();

    // Shell, sound and the hidden main form
    void linkedFileOpensOnlyWhenItExists();
    void documentAddresses_data();
    void documentAddresses();
    void soundFallsBackToBeep();
    void soundOfAPlayableFilePlays();
    void hideAppWindowsHidesRegisteredForm();

private:
    UrlRecorder m_recorder;
    QTemporaryDir m_soundDir;
};

void TestSmallDialogs::initTestCase()
{
    // Where the sound service goes through ALSA, its null device is a real
    // sink that accepts every sound; it must be chosen before the first play.
    QVERIFY(m_soundDir.isValid());
    const QString config = m_soundDir.filePath(QStringLiteral("asound.conf"));
    QVERIFY(writeFileBytes(config, "pcm.!default { type null }\n"));
    qputenv("ALSA_CONFIG_PATH", QFile::encodeName(config));
}

void TestSmallDialogs::cleanup()
{
    ReleaseSplash();
    deleteReleasedWindows();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    m_recorder.urls.clear();
    setMainFormWindow(nullptr);
}

void TestSmallDialogs::aboutBoxControls()
{
    TAboutBrisquel about;
    QCOMPARE(about.windowTitle(), QStringLiteral("关于信息..."));
    QCOMPARE(about.size(), QSize(314, 191));
    QVERIFY(about.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(about.palette().color(QPalette::Window), QColor(Qt::yellow));

    QCOMPARE(child<QWidget>(about, "TitleOwnerDraw")->geometry(), QRect(0, 0, 314, 13));
    QCOMPARE(child<QAbstractButton>(about, "SpeedButton2")->geometry(), QRect(302, 1, 11, 11));
    QVERIFY(child<QAbstractButton>(about, "SpeedButton2")->text().isEmpty());

    const QLabel *logo = child<QLabel>(about, "LogoImage");
    QCOMPARE(logo->geometry(), QRect(8, 24, 50, 50));
    QCOMPARE(logo->pixmap().size(), QSize(48, 48));

    const QLabel *name = child<QLabel>(about, "Label1");
    QCOMPARE(name->pos(), QPoint(72, 29));
    QCOMPARE(name->text(), QStringLiteral("Brisquel"));

    const QLabel *version = child<QLabel>(about, "VerLabel");
    QCOMPARE(version->pos(), QPoint(200, 68));
    QCOMPARE(version->text(), QStringLiteral("v2.2.0"));

    const QToolButton *close = child<QToolButton>(about, "SpeedButton1");
    QCOMPARE(close->geometry(), QRect(248, 160, 57, 22));
    QCOMPARE(close->text(), QStringLiteral("关闭"));
}

void TestSmallDialogs::aboutBoxMakerText()
{
    TAboutBrisquel about;
    const QPlainTextEdit *memo = child<QPlainTextEdit>(about, "Memo1");
    QCOMPARE(memo->geometry(), QRect(8, 88, 297, 65));
    QVERIFY(memo->isReadOnly());

    const QStringList lines = memo->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).contains(QStringLiteral("Orvanta")));
    QVERIFY(lines.at(1).contains(QStringLiteral("Orvanta")));
    QVERIFY(lines.at(2).isEmpty());
    QVERIFY(lines.at(3).isEmpty());
}

void TestSmallDialogs::aboutStripPaintedWithCloseBoxUnderButton()
{
    TAboutBrisquel about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const QImage strip = child<QWidget>(about, "TitleOwnerDraw")->grab().toImage();
    QCOMPARE(strip.size(), QSize(314, 13));

    const QColor stripColour(236, 236, 0);
    QCOMPARE(strip.pixelColor(0, 0), stripColour);
    QCOMPARE(strip.pixelColor(6, 6), QColor(Qt::yellow));
    QCOMPARE(strip.pixelColor(6, 2), QColor(Qt::black));
    // No attached-file glyph; the close box from x 302 to 312 with its cross.
    QCOMPARE(strip.pixelColor(291, 5), stripColour);
    QCOMPARE(strip.pixelColor(302, 1), QColor(Qt::yellow));
    QCOMPARE(strip.pixelColor(312, 11), QColor(Qt::yellow));
    QCOMPARE(strip.pixelColor(301, 6), stripColour);
    QCOMPARE(strip.pixelColor(307, 6), QColor(Qt::black));
    // Caption text from x 14.
    bool captionPainted = false;
    for (int x = 14; x < 100 && !captionPainted; ++x) {
        for (int y = 0; y < 13; ++y)
            captionPainted = captionPainted || strip.pixelColor(x, y) != stripColour;
    }
    QVERIFY(captionPainted);

    // A click on the painted close box lands on the invisible button.
    QCOMPARE(about.childAt(QPoint(307, 6)), child<QWidget>(about, "SpeedButton2"));
    QCOMPARE(about.childAt(QPoint(302, 1)), child<QWidget>(about, "SpeedButton2"));
    QCOMPARE(about.childAt(QPoint(312, 11)), child<QWidget>(about, "SpeedButton2"));
}

void TestSmallDialogs::aboutCloses_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::newRow("关闭") << QByteArray("SpeedButton1");
    QTest::newRow("close box on the strip") << QByteArray("SpeedButton2");
}

void TestSmallDialogs::aboutCloses()
{
    QFETCH(QByteArray, button);
    TAboutBrisquel about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(child<QAbstractButton>(about, button.constData()), Qt::LeftButton);
    QVERIFY(!about.isVisible());
}

void TestSmallDialogs::aboutModalLoopEndsWithClose()
{
    TAboutBrisquel about;
    bool clicked = false;
    QTimer::singleShot(0, &about, [&] {
        if (QApplication::activeModalWidget() == &about) {
            clicked = true;
            QTest::mouseClick(child<QAbstractButton>(about, "SpeedButton1"), Qt::LeftButton);
        } else {
            about.done(QDialog::Accepted);
        }
    });
    const int result = about.exec();
    QVERIFY(clicked);
    QCOMPARE(result, int(QDialog::Rejected));
}

void TestSmallDialogs::aboutMovesByDragging_data()
{
    QTest::addColumn<QByteArray>("surface");
    QTest::addColumn<QPoint>("pressAt");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("strip, left button") << QByteArray("TitleOwnerDraw") << QPoint(60, 6) << Qt::LeftButton;
    QTest::newRow("strip, right button") << QByteArray("TitleOwnerDraw") << QPoint(150, 4) << Qt::RightButton;
    QTest::newRow("background") << QByteArray() << QPoint(150, 80) << Qt::LeftButton;
}

void TestSmallDialogs::aboutMovesByDragging()
{
    QFETCH(QByteArray, surface);
    QFETCH(QPoint, pressAt);
    QFETCH(Qt::MouseButton, button);

    TAboutBrisquel about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QWidget *target = surface.isEmpty() ? &about : child<QWidget>(about, surface.constData());
    if (surface.isEmpty())
        QCOMPARE(about.childAt(pressAt), nullptr);

    // Without a window manager the box follows the mouse itself.
    const QPoint start = about.pos();
    const QPoint globalPress = target->mapToGlobal(pressAt);
    sendMouse(target, QEvent::MouseButtonPress, pressAt, globalPress, button, button);
    sendMouse(target, QEvent::MouseMove, pressAt, globalPress + QPoint(10, 5), Qt::NoButton, button);
    sendMouse(target, QEvent::MouseMove, pressAt, globalPress + QPoint(37, -21), Qt::NoButton, button);
    QCOMPARE(about.pos(), start + QPoint(37, -21));
    sendMouse(target, QEvent::MouseButtonRelease, pressAt, globalPress + QPoint(37, -21), button, Qt::NoButton);

    // After the release, moving the mouse no longer moves the box.
    sendMouse(target, QEvent::MouseMove, pressAt, globalPress + QPoint(90, 90), Qt::NoButton, Qt::NoButton);
    QCOMPARE(about.pos(), start + QPoint(37, -21));
    QVERIFY(about.isVisible());
}

void TestSmallDialogs::splashWindow()
{
    CreateSplash(true);
    QVERIFY(SplashForm);
    QVERIFY(!SplashForm->isVisible());
    QCOMPARE(SplashForm->size(), QSize(247, 110));
    QVERIFY(SplashForm->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(qFuzzyCompare(SplashForm->windowOpacity(), 200.0 / 255.0));

    const QPixmap picture = SplashPicture();
    QCOMPARE(picture.size(), QSize(247, 110));
    const QImage shown = SplashForm->grab().toImage();
    QCOMPARE(shown, picture.toImage().convertToFormat(shown.format()));

    const QPixmap logo = MainIcon().pixmap(48, 48);
    QVERIFY(!logo.isNull());
}

void TestSmallDialogs::splashCreateAndReleaseAreSafe()
{
    CreateSplash(false);
    QCOMPARE(SplashForm, nullptr);
    ReleaseSplash();
    ReleaseSplash();
    QCOMPARE(SplashForm, nullptr);

    CreateSplash(true);
    QPointer<TSplashForm> first = SplashForm;
    CreateSplash(true);
    QPointer<TSplashForm> second = SplashForm;
    QVERIFY(second && !first);

    SplashForm->show();
    ReleaseSplash();
    QCOMPARE(SplashForm, nullptr);
    QVERIFY(!second);
    ReleaseSplash();
}

void TestSmallDialogs::closingNotice()
{
    TClosingBrisquelDLG notice;
    QCOMPARE(notice.size(), QSize(270, 67));
    QVERIFY(notice.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(notice.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    notice.show();
    notice.repaint();
    QVERIFY(QTest::qWaitForWindowExposed(&notice));

    const QLabel *panel = notice.findChild<QLabel *>();
    QVERIFY(panel);
    QCOMPARE(panel->text(), QStringLiteral("正在关闭 Brisquel . . ."));
    QCOMPARE(panel->alignment(), Qt::AlignCenter);
    QCOMPARE(panel->geometry(), notice.rect());
}

void TestSmallDialogs::linkedFileOpensOnlyWhenItExists()
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_recorder, "open");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("清单 1.txt"));

    OpenLinkedFile(path);
    OpenLinkedFile(dir.path());
    QVERIFY(m_recorder.urls.isEmpty());

    QVERIFY(writeFileBytes(path, {}));
    OpenLinkedFile(path);
    QCOMPARE(m_recorder.urls, QList<QUrl>{QUrl::fromLocalFile(path)});
}

void TestSmallDialogs::documentAddresses_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QUrl>("opened");
    QTest::newRow("bare address") << QStringLiteral("www.example.com") << QUrl(QStringLiteral("http://www.example.com"));
    QTest::newRow("full address") << QStringLiteral("https://example.com/a?b=1")
                                  << QUrl(QStringLiteral("https://example.com/a?b=1"));
    QTest::newRow("surrounding blanks") << QStringLiteral(" http://example.com/ ")
                                        << QUrl(QStringLiteral("http://example.com/"));
    QTest::newRow("file path") << QStringLiteral("/tmp") << QUrl::fromLocalFile(QStringLiteral("/tmp"));
    QTest::newRow("nothing") << QStringLiteral("  ") << QUrl();
}

void TestSmallDialogs::documentAddresses()
{
    QFETCH(QString, target);
    QFETCH(QUrl, opened);
    for (const char *scheme : {"file", "http", "https"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_recorder, "open");
    OpenDocument(target);
    QCOMPARE(m_recorder.urls, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{opened});
}

void TestSmallDialogs::soundFallsBackToBeep()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("missing.wav"));
    QCOMPARE(Sound::playAsync(missing), Sound::Outcome::Beeped);
    QCOMPARE(Sound::playSync(missing, std::chrono::seconds(5)), Sound::Outcome::Beeped);
    PlaySoundFile(missing, false);
    PlaySoundFile(missing, true);
}

void TestSmallDialogs::soundOfAPlayableFilePlays()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString wave = dir.filePath(QStringLiteral("silence.wav"));
    writeSilentWave(wave);
    PlaySoundFile(wave, true);
    const Sound::Outcome waited = Sound::playSync(wave, std::chrono::seconds(5));
    if (waited == Sound::Outcome::Beeped)
        QSKIP("the sound service reaches no output here");
    QCOMPARE(waited, Sound::Outcome::Played);
    QCOMPARE(Sound::playAsync(wave), Sound::Outcome::Played);
}

void TestSmallDialogs::hideAppWindowsHidesRegisteredForm()
{
    HideAppWindows();

    auto *form = new QWidget;
    form->show();
    setMainFormWindow(form);
    HideAppWindows();
    QVERIFY(!form->isVisible());

    delete form;
    HideAppWindows();
}

QTEST_MAIN(TestSmallDialogs)
#include "tst_smalldialogs.moc"
