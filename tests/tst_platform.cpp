#include "platform/CodePage.h"
#include "platform/DateTime.h"

#include <QtTest>

class TestPlatform : public QObject
{
    Q_OBJECT

private slots:
    void cp936RoundTrip();
};

void TestPlatform::cp936RoundTrip()
{
    const QString text = QStringLiteral("便笺 abc");
    const QByteArray bytes = CodePage::toCp936(text);
    QCOMPARE(bytes, QByteArray("\xB1\xE3\xBC\xE3 abc"));
    QCOMPARE(CodePage::fromCp936(bytes), text);
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
