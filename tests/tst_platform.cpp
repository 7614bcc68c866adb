#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/DisplayPlatform.h"

#include <QtTest>

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void cp936RoundTrip();
    void displayPlatformChoice_data();
    void displayPlatformChoice();
};

void TestPlatform::cp936RoundTrip()
{
    const QString text = QStringLiteral("便笺 abc");
    const QByteArray bytes = CodePage::toCp936(text);
    QCOMPARE(bytes, QByteArray("\xB1\xE3\xBC\xE3 abc"));
    QCOMPARE(CodePage::fromCp936(bytes), text);
}

void TestPlatform::displayPlatformChoice_data()
{
    QTest::addColumn<QByteArray>("requested");
    QTest::addColumn<QByteArray>("x11");
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QByteArray>("chosen");
    QTest::newRow("XWayland beside Wayland") << QByteArray() << QByteArray(":0") << QByteArray("wayland-0")
                                             << QByteArray("xcb;wayland");
    QTest::newRow("only Wayland") << QByteArray() << QByteArray() << QByteArray("wayland-0") << QByteArray("wayland");
    QTest::newRow("only X11") << QByteArray() << QByteArray(":0") << QByteArray() << QByteArray();
    QTest::newRow("the user's choice") << QByteArray("wayland") << QByteArray(":0") << QByteArray("wayland-0")
                                       << QByteArray();
}

void TestPlatform::displayPlatformChoice()
{
    QFETCH(QByteArray, requested);
    QFETCH(QByteArray, x11);
    QFETCH(QByteArray, wayland);
    QFETCH(QByteArray, chosen);
    QCOMPARE(DisplayPlatform::choose(requested, x11, wayland), chosen);
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
