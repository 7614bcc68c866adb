#include "dialogs/FormSaverClassUnit.h"
#include "platform/RegistryStore.h"

#include <QScreen>
#include <QWidget>
#include <QtTest>

namespace {

const QString kKey = QStringLiteral("\\SOFTWARE\\Orvanta\\Brisquel\\TestWin");

void storePlacement(qint32 x, qint32 y, qint32 w, qint32 h, bool max)
{
    TFormSaver saver;
    saver.X = x;
    saver.Y = y;
    saver.W = w;
    saver.H = h;
    saver.Max = max;
    saver.SaveToRegistry(kKey);
}

} // namespace

class TestFormSaver : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstOpeningHasNoKey();
    void savedPlacementIsRestored();
    void unusablePlacements_data();
    void unusablePlacements();
    void maximisedAfterFirstRunStoresZeros();
    void maximisedKeepsLoadedNormalPlacement();
    void minimisedChangesNothing();
    void brokenKeyThrows();
};

void TestFormSaver::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestFormSaver::init()
{
    QFile::remove(TRegistry::storeFileName());
}

void TestFormSaver::firstOpeningHasNoKey()
{
    TFormSaver saver;
    QVERIFY(!saver.LoadFromRegistry(kKey));
    QWidget window;
    window.setGeometry(40, 50, 300, 200);
    saver.ApplyToForm(&window);
    QCOMPARE(window.geometry(), QRect(40, 50, 300, 200));
    saver.ReadFromForm(&window);
    saver.SaveToRegistry(kKey);

    TRegistry registry;
    QVERIFY(registry.OpenKeyReadOnly(kKey));
    QCOMPARE(registry.ReadInteger(QStringLiteral("FormX")), window.x());
    QCOMPARE(registry.ReadInteger(QStringLiteral("FormW")), 300);
    QCOMPARE(registry.ReadInteger(QStringLiteral("FormH")), 200);
    QCOMPARE(registry.ReadBool(QStringLiteral("FormMax")), false);
}

void TestFormSaver::savedPlacementIsRestored()
{
    storePlacement(120, 80, 400, 250, false);
    TFormSaver saver;
    QVERIFY(saver.LoadFromRegistry(kKey));
    QWidget window;
    window.setGeometry(10, 10, 100, 100);
    saver.ApplyToForm(&window);
    QCOMPARE(window.pos(), QPoint(120, 80));
    QCOMPARE(window.size(), QSize(400, 250));
    QVERIFY(!window.isMaximized());

    storePlacement(120, 80, 400, 250, true);
    TFormSaver maximised;
    QVERIFY(maximised.LoadFromRegistry(kKey));
    QWidget second;
    maximised.ApplyToForm(&second);
    QVERIFY(second.windowState() & Qt::WindowMaximized);
}

void TestFormSaver::unusablePlacements_data()
{
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("applied");
    QTest::newRow("x 0") << 0 << 50 << 300 << 200 << false;
    QTest::newRow("y 0") << 50 << 0 << 300 << 200 << false;
    QTest::newRow("negative") << -5 << 50 << 300 << 200 << false;
    QTest::newRow("beyond width") << screen.width() + 1 << 50 << 300 << 200 << false;
    QTest::newRow("at width") << screen.width() << 50 << 300 << 200 << true;
    QTest::newRow("beyond height") << 50 << screen.height() + 1 << 300 << 200 << false;
    QTest::newRow("no width") << 50 << 50 << 0 << 200 << false;
    QTest::newRow("no height") << 50 << 50 << 300 << -1 << false;
}

void TestFormSaver::unusablePlacements()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(bool, applied);
    storePlacement(x, y, w, h, false);
    TFormSaver saver;
    QVERIFY(saver.LoadFromRegistry(kKey));
    QWidget window;
    window.setGeometry(7, 9, 111, 99);
    saver.ApplyToForm(&window);
    QCOMPARE(window.pos() == QPoint(x, y), applied);
    QCOMPARE(window.size() == QSize(w, h), applied);
}

void TestFormSaver::maximisedAfterFirstRunStoresZeros()
{
    TFormSaver saver;
    QVERIFY(!saver.LoadFromRegistry(kKey));
    QWidget window;
    window.showMaximized();
    QVERIFY(window.isMaximized());
    saver.ReadFromForm(&window);
    saver.SaveToRegistry(kKey);
    TFormSaver next;
    QVERIFY(next.LoadFromRegistry(kKey));
    QCOMPARE(QList<int>({next.X, next.Y, next.W, next.H}), QList<int>({0, 0, 0, 0}));
    QVERIFY(next.Max);
    QWidget reopened;
    reopened.setGeometry(30, 30, 200, 100);
    next.ApplyToForm(&reopened);
    QVERIFY(!(reopened.windowState() & Qt::WindowMaximized));
    QCOMPARE(reopened.pos(), QPoint(30, 30));
}

void TestFormSaver::maximisedKeepsLoadedNormalPlacement()
{
    storePlacement(100, 90, 350, 240, false);
    TFormSaver saver;
    QVERIFY(saver.LoadFromRegistry(kKey));
    QWidget window;
    saver.ApplyToForm(&window);
    window.showMaximized();
    saver.ReadFromForm(&window);
    saver.SaveToRegistry(kKey);
    TFormSaver next;
    QVERIFY(next.LoadFromRegistry(kKey));
    QCOMPARE(QList<int>({next.X, next.Y, next.W, next.H}), QList<int>({100, 90, 350, 240}));
    QVERIFY(next.Max);
}

void TestFormSaver::minimisedChangesNothing()
{
    storePlacement(100, 90, 350, 240, false);
    TFormSaver saver;
    QVERIFY(saver.LoadFromRegistry(kKey));
    QWidget window;
    window.setGeometry(200, 200, 300, 300);
    window.showMinimized();
    saver.ReadFromForm(&window);
    QCOMPARE(QList<int>({saver.X, saver.Y, saver.W, saver.H}), QList<int>({100, 90, 350, 240}));
}

void TestFormSaver::brokenKeyThrows()
{
    TRegistry registry;
    QVERIFY(registry.OpenKey(kKey, true));
    registry.WriteInteger(QStringLiteral("FormX"), 10);
    registry.WriteString(QStringLiteral("FormY"), QStringLiteral("ten"));
    registry.CloseKey();
    TFormSaver saver;
    QVERIFY_THROWS_EXCEPTION(ERegistryException, saver.LoadFromRegistry(kKey));

    // Closing writes all five values again, which repairs the key.
    QWidget window;
    window.setGeometry(60, 70, 200, 100);
    saver.ReadFromForm(&window);
    saver.SaveToRegistry(kKey);
    TFormSaver repaired;
    QVERIFY(repaired.LoadFromRegistry(kKey));
    QCOMPARE(repaired.W, 200);
}

QTEST_MAIN(TestFormSaver)
#include "tst_formsaver.moc"
