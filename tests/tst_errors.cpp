#include "app/BrisquelApplication.h"
#include "app/InternalProcs.h"
#include "app/rsFileVersion.h"
#include "errors/PellixErrorHandler.h"
#include "errors/ftmExceptionForm.h"
#include "platform/BrisquelError.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/StackTracer.h"
#include "platform/SystemInfo.h"
#include "tests/support/FileHelpers.h"

#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <functional>
#include <stdexcept>
#include <thread>

namespace {

const QString kDashes(64, QLatin1Char('-'));

[[gnu::noinline]] void throwFromTimer()
{
    throw BrisquelError(QStringLiteral("Timer failed\nsecond line"));
}

[[gnu::noinline]] void throwFromMenu()
{
    throw std::runtime_error("Menu action failed");
}

// Answers every exception dialog that comes up, as a user would, and keeps
// what each one showed.
class DialogAnswerer final : public QObject
{
public:
    struct Seen
    {
        QStringList text;  // the report's lines
        QStringList lines; // as the box shows them, wrapped
        int openBefore = 0; // dialogs still open when this one came up
    };

    // Returns true when it has answered the dialog.
    std::function<bool(TExceptionForm *, int index)> answer = [](TExceptionForm *form, int) {
        form->CloseBTN->click();
        return true;
    };
    QList<Seen> seen;

    DialogAnswerer()
    {
        connect(&poll_, &QTimer::timeout, this, &DialogAnswerer::check);
        poll_.start(10);
    }

private:
    void check()
    {
        auto *form = qobject_cast<TExceptionForm *>(QApplication::activeModalWidget());
        if (!form || answered_.contains(form))
            return;
        if (!forms_.contains(form)) {
            int open = 0;
            for (const QPointer<TExceptionForm> &earlier : std::as_const(forms_))
                open += earlier && earlier->isVisible() ? 1 : 0;
            forms_.append(form);
            seen.append({form->ErrorLog->toPlainText().split(u'\n'), form->ReportLines(), open});
        }
        if (answer(form, int(forms_.indexOf(form))))
            answered_.append(form);
    }

    QTimer poll_;
    QList<QPointer<TExceptionForm>> forms_;
    QList<QPointer<TExceptionForm>> answered_;
};

QStringList logRecords(const QString &path)
{
    const QString text = CodePage::fromCp936(fileBytes(path));
    QStringList records = text.split(QStringLiteral("### END LOG\r\n\r\n\r\n"));
    if (records.last().isEmpty())
        records.removeLast();
    return records;
}

int indexOfPrefix(const QStringList &lines, const QString &prefix, int from = 0)
{
    for (int index = from; index < lines.size(); ++index) {
        if (lines.at(index).startsWith(prefix))
            return index;
    }
    return -1;
}

QString runHelper(const QString &folder, const QString &how, QProcess::ExitStatus *status, int *code)
{
    QProcess helper;
    helper.start(QStringLiteral(CRASH_HELPER), {folder, how});
    if (!helper.waitForFinished(60000))
        return QStringLiteral("helper did not finish");
    *status = helper.exitStatus();
    *code = helper.exitCode();
    return QString::fromLocal8Bit(helper.readAllStandardError());
}

} // namespace

class TestErrors : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void normalizedMHz_data();
    void normalizedMHz();
    void processorLineFromCpuInfo_data();
    void processorLineFromCpuInfo();
    void systemLineOfThisMachine();
    void moduleLines_data();
    void moduleLines();
    void loadedModulesOfThisProcess();
    void preferredImageBaseFromElfHeader();

    void exceptionMessages_data();
    void exceptionMessages();
    void stackListIsKeptPerThread();
    void reportWithoutStackList();

    void dialogLayout();
    void dialogResults_data();
    void dialogResults();
    void logGetsTheWrappedLinesOfTheShownBox();
    void copyPutsTheBoxLinesOnTheClipboard();
    void productVersionsListTheProgramFiles();

    void logRecordFormat();
    void unwritableLogStillShowsTheDialog();

    void timerExceptionReachesDialogAndLog();
    void menuActionExceptionReachesDialog();
    void secondErrorOpensSecondDialog();
    void notifyWithoutHandlerKeepsRunning();
    void terminateEndsTheProcessWithCodeOne();
    void fatalSignalLeavesARecord_data();
    void fatalSignalLeavesARecord();

private:
    QTemporaryDir *folder_ = nullptr;
};

void TestErrors::init()
{
    folder_ = new QTemporaryDir();
    QVERIFY(folder_->isValid());
    setProgramFolder(folder_->path());
}

void TestErrors::cleanup()
{
    setProgramFolder(QString());
    Clock::useSystemTime();
    delete folder_;
    folder_ = nullptr;
}

void TestErrors::normalizedMHz_data()
{
    QTest::addColumn<double>("measured");
    QTest::addColumn<int>("reported");
    QTest::newRow("unknown") << 0.0 << 0;
    QTest::newRow("down to the hundred") << 2404.9 << 2400;
    QTest::newRow("tie between 00 and 20 goes up") << 2410.0 << 2420;
    QTest::newRow("tie between 20 and 33 goes up") << 1226.5 << 1233;
    QTest::newRow("33") << 1830.2 << 1833;
    QTest::newRow("50") << 2547.0 << 2550;
    QTest::newRow("60 over 66 when nearer") << 1662.9 << 1660;
    QTest::newRow("tie between 60 and 66 goes up") << 1663.0 << 1666;
    QTest::newRow("80") << 2784.0 << 2780;
    QTest::newRow("90") << 2394.454 << 2390;
    QTest::newRow("tie between 90 and the next hundred goes up") << 1995.0 << 2000;
    QTest::newRow("next hundred") << 2596.13 << 2600;
}

void TestErrors::normalizedMHz()
{
    QFETCH(double, measured);
    QFETCH(int, reported);
    QCOMPARE(SystemInfo::normalizedMHz(measured), reported);
}

void TestErrors::processorLineFromCpuInfo_data()
{
    QTest::addColumn<QByteArray>("cpuInfo");
    QTest::addColumn<QString>("line");
    const QByteArray first = "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Pentium(R) 4 CPU\n"
                             "cpu MHz\t\t: 2993.012\nfdiv_bug\t: no\nflags\t\t: fpu vme mmx sse\n\n";
    const QByteArray second = "processor\t: 1\nvendor_id\t: Other\nmodel name\t: Second\ncpu MHz\t\t: 100\n\n";
    QTest::newRow("first processor, MMX") << first + second
                                          << "Processor: GenuineIntel, Intel(R) Pentium(R) 4 CPU, 2990 MHz MMX";
    QTest::newRow("no MMX, division flaw")
        << QByteArray("vendor_id : GenuineIntel\nmodel name : Pentium 60\ncpu MHz : 59.9\nfdiv_bug : yes\n"
                      "flags : fpu mmxext\n")
        << "Processor: GenuineIntel, Pentium 60, 60 MHz  [FDIV Bug]";
    QTest::newRow("nothing known") << QByteArray() << "Processor: , , 0 MHz ";
}

void TestErrors::processorLineFromCpuInfo()
{
    QFETCH(QByteArray, cpuInfo);
    QFETCH(QString, line);
    QCOMPARE(SystemInfo::processorLine(SystemInfo::parseCpuInfo(cpuInfo)), line);
}

void TestErrors::systemLineOfThisMachine()
{
    const QStringList lines = SystemInfo::machineLines();
    QCOMPARE(lines.size(), 3);
    static const QRegularExpression system(
        QStringLiteral(R"re(^System   : (.+) (\S+), Version: (\d+)\.(\d+), Build: ([0-9A-F]+), "(.*)"$)re"));
    const QRegularExpressionMatch match = system.match(lines.at(0));
    QVERIFY2(match.hasMatch(), qPrintable(lines.at(0)));
    QCOMPARE(match.captured(1), QSysInfo::prettyProductName());
    const QString kernel = QSysInfo::kernelVersion();
    QCOMPARE(match.captured(2), kernel);
    const QStringList numbers = kernel.section(QLatin1Char('-'), 0, 0).split(QLatin1Char('.'));
    QCOMPARE(match.captured(3), numbers.value(0));
    QCOMPARE(match.captured(4), numbers.value(1));
    QCOMPARE(match.captured(5).toUInt(nullptr, 16), numbers.value(2).toUInt());
    QVERIFY(!match.captured(6).isEmpty());

    QVERIFY2(QRegularExpression(QStringLiteral(R"(^Processor: .*, .*, \d+ MHz (MMX)?( \[FDIV Bug\])?$)"))
                 .match(lines.at(1))
                 .hasMatch(),
             qPrintable(lines.at(1)));
    const QScreen *screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    QCOMPARE(lines.at(2), QStringLiteral("Display  : %1x%2 pixels, %3 bpp")
                              .arg(screen->size().width())
                              .arg(screen->size().height())
                              .arg(screen->depth()));
}

void TestErrors::moduleLines_data()
{
    QTest::addColumn<QList<SystemInfo::Module>>("modules");
    QTest::addColumn<QStringList>("lines");
    const QString blanks(12, QLatin1Char(' '));
    QTest::newRow("at its preferred base")
        << QList<SystemInfo::Module>{{QStringLiteral("/opt/a"), 0x400000, quintptr(0x400000)}}
        << QStringList{QStringLiteral("[00400000] /opt/a"), blanks + QStringLiteral(" Build: 0")};
    QTest::newRow("moved from its preferred base")
        << QList<SystemInfo::Module>{{QStringLiteral("/opt/b.so"), 0x7F12345000, quintptr(0)}}
        << QStringList{QStringLiteral("[7F12345000] /opt/b.so"), QStringLiteral("<00000000>   Build: 0")};
    QTest::newRow("header unreadable")
        << QList<SystemInfo::Module>{{QStringLiteral("linux-vdso.so.1"), 0xABC000, std::nullopt}}
        << QStringList{QStringLiteral("[00ABC000] linux-vdso.so.1"), blanks + QStringLiteral(" Build: 0")};
    QTest::newRow("sorted by load address")
        << QList<SystemInfo::Module>{{QStringLiteral("/high"), 0x9000, std::nullopt},
                                     {QStringLiteral("/low"), 0x1000, std::nullopt}}
        << QStringList{QStringLiteral("[00001000] /low"), blanks + QStringLiteral(" Build: 0"),
                       QStringLiteral("[00009000] /high"), blanks + QStringLiteral(" Build: 0")};
}

void TestErrors::moduleLines()
{
    QFETCH(QList<SystemInfo::Module>, modules);
    QFETCH(QStringList, lines);
    QCOMPARE(::moduleLines(modules), lines);
}

void TestErrors::loadedModulesOfThisProcess()
{
    const auto modules = SystemInfo::loadedModules();
    QVERIFY(modules.has_value());
    const QString self = QCoreApplication::applicationFilePath();
    const auto findModule = [&](const std::function<bool(const QString &)> &match) -> const SystemInfo::Module * {
        for (const SystemInfo::Module &module : *modules) {
            if (match(module.path))
                return &module;
        }
        return nullptr;
    };
    const SystemInfo::Module *program = findModule([&](const QString &path) { return path == self; });
    QVERIFY(program);
    const auto inProgram = reinterpret_cast<quintptr>(&throwFromTimer);
    QVERIFY(program->loadAddress <= inProgram);
    const SystemInfo::Module *core = findModule([](const QString &path) { return path.contains(u"libQt6Core.so"); });
    QVERIFY(core);
    QVERIFY(core->preferredBase.has_value());

    const QStringList lines = ::moduleLines(*modules);
    QCOMPARE(lines.size(), modules->size() * 2);
    quintptr previous = 0;
    for (int index = 0; index < lines.size(); index += 2) {
        const QRegularExpressionMatch first =
            QRegularExpression(QStringLiteral(R"(^\[([0-9A-F]{8,})\] (.+)$)")).match(lines.at(index));
        QVERIFY2(first.hasMatch(), qPrintable(lines.at(index)));
        const quintptr address = first.captured(1).toULongLong(nullptr, 16);
        QVERIFY(address >= previous);
        previous = address;
        QVERIFY2(QRegularExpression(QStringLiteral(R"(^(<[0-9A-F]{8,}>| {11}) .* Build: \d+$)"))
                     .match(lines.at(index + 1))
                     .hasMatch(),
                 qPrintable(lines.at(index + 1)));
    }
    const int own = int(lines.indexOf(QStringLiteral("[%1] %2").arg(SystemInfo::hex8(program->loadAddress), self)));
    QVERIFY(own >= 0);
    QVERIFY(lines.at(own + 1).endsWith(FileVersionText(self)));
}

void TestErrors::preferredImageBaseFromElfHeader()
{
    // This test is position-independent, the helper is linked for a fixed
    // address.
    QCOMPARE(SystemInfo::preferredImageBase(QCoreApplication::applicationFilePath()), std::optional<quintptr>(0));
    QCOMPARE(SystemInfo::preferredImageBase(QStringLiteral(CRASH_HELPER)), std::optional<quintptr>(0x400000));

    const QString text = folder_->filePath(QStringLiteral("text.so"));
    QVERIFY(writeFileBytes(text, "not an executable\n"));
    QVERIFY(!SystemInfo::preferredImageBase(text).has_value());

    const QString cut = folder_->filePath(QStringLiteral("cut.so"));
    // The header promises program headers that are missing.
    QVERIFY(writeFileBytes(cut, fileBytes(QStringLiteral(CRASH_HELPER)).left(80)));
    QVERIFY(!SystemInfo::preferredImageBase(cut).has_value());
    QVERIFY(!SystemInfo::preferredImageBase(folder_->filePath(QStringLiteral("missing"))).has_value());
}

void TestErrors::exceptionMessages_data()
{
    QTest::addColumn<std::exception_ptr>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("standard") << std::make_exception_ptr(std::out_of_range("index 7 out of range"))
                              << "index 7 out of range";
    QTest::newRow("program's own") << std::make_exception_ptr(BrisquelError(QStringLiteral("便笺 failed")))
                                   << QStringLiteral("便笺 failed");
    QTest::newRow("anything else") << std::make_exception_ptr(42) << "Exception of class int";
}

void TestErrors::exceptionMessages()
{
    QFETCH(std::exception_ptr, error);
    QFETCH(QString, message);
    QCOMPARE(exceptionMessage(error), message);
}

void TestErrors::stackListIsKeptPerThread()
{
    try {
        throwFromTimer();
    } catch (const BrisquelError &) {
    }
    const auto ours = StackTracer::threadStackList();
    QVERIFY(ours.has_value());
    QVERIFY(QDateTime::currentDateTime().msecsTo(ours->generated) <= 0);

    bool workerHasList = false;
    std::thread worker([&workerHasList] {
        StackTracer::clearThreadStackList();
        try {
            throwFromMenu();
        } catch (const std::runtime_error &) {
        }
        workerHasList = StackTracer::threadStackList().has_value();
    });
    worker.join();
    QVERIFY(workerHasList);
    const auto after = StackTracer::threadStackList();
    QVERIFY(after.has_value());
    QCOMPARE(after->frames, ours->frames);

    // Named as far as the debug information goes; the tracer's own frames
    // are gone.
    const QStringList lines = StackTracer::frameLines(ours->frames);
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.at(0).contains(u"(anonymous namespace)::throwFromTimer()"), qPrintable(lines.at(0)));
    const QString file = QFileInfo(QStringLiteral(__FILE__)).fileName();
    QVERIFY2(QRegularExpression(QStringLiteral(R"(^\[[0-9A-F]{8,}\] \{%1 *\} \(anonymous namespace\)::throwFromTimer\(\) \(Line \d+, "%2"\))")
                                    .arg(QRegularExpression::escape(QFileInfo(QCoreApplication::applicationFilePath()).fileName()),
                                         QRegularExpression::escape(file)))
                 .match(lines.at(0))
                 .hasMatch(),
             qPrintable(lines.at(0)));
    const int caller = int(lines.indexOf(QRegularExpression(QStringLiteral(R"(^.* TestErrors::stackListIsKeptPerThread\(\) .*\+ \$[0-9A-F]+$)"))));
    QVERIFY2(caller > 0, qPrintable(lines.join(u'\n')));
}

void TestErrors::reportWithoutStackList()
{
    StackTracer::clearThreadStackList();
    QStringList lines{QStringLiteral("message"), kDashes};
    TPellixErrorHandler::AddDetails(lines);
    QVERIFY(lines.at(2).startsWith(QStringLiteral("System   : ")));
    QVERIFY(lines.at(3).startsWith(QStringLiteral("Processor: ")));
    QVERIFY(lines.at(4).startsWith(QStringLiteral("Display  : ")));
    QCOMPARE(lines.at(5), kDashes);
    QCOMPARE(lines.at(6), QStringLiteral("List of loaded modules:"));
    QCOMPARE(lines.at(7), QString());
    QVERIFY(lines.at(8).startsWith(u'['));
}

void TestErrors::dialogLayout()
{
    TExceptionForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("异常错误"));
    QCOMPARE(form.size(), QSize(506, 193));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(form.ErrorLog->toPlainText().isEmpty());
    QVERIFY(form.ErrorLog->isReadOnly());
    QCOMPARE(form.ErrorLog->geometry(), QRect(49, 0, 457, 162));
    QCOMPARE(form.ErrorLog->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(form.ErrorLog->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(form.ErrorIcon->geometry(), QRect(8, 8, 32, 32));
    QVERIFY(!form.ErrorIcon->pixmap().isNull());
    QCOMPARE(form.TerminateBTN->text(), QStringLiteral("终止(&T)"));
    QCOMPARE(form.TerminateBTN->geometry(), QRect(4, 166, 75, 25));
    QCOMPARE(form.CopyBTN->text(), QStringLiteral("复制(&P)"));
    QCOMPARE(form.CopyBTN->geometry(), QRect(351, 166, 75, 25));
    QCOMPARE(form.CloseBTN->text(), QStringLiteral("关闭(&C)"));
    QCOMPARE(form.CloseBTN->geometry(), QRect(431, 166, 75, 25));
    QCOMPARE(form.ReportLabel->text().split(u'\n'),
             QStringList({QStringLiteral("请报告这个错误 "), QStringLiteral("到 Orvanta")}));
    QVERIFY(form.ReportLabel->font().bold());
    QCOMPARE(form.ReportLabel->alignment(), Qt::AlignCenter);
}

void TestErrors::dialogResults_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("result");
    QTest::newRow("close button") << "close" << TExceptionForm::ResultOk;
    QTest::newRow("Esc") << "escape" << TExceptionForm::ResultOk;
    QTest::newRow("close box") << "closebox" << TExceptionForm::ResultCancel;
    QTest::newRow("terminate") << "terminate" << TExceptionForm::ResultAbort;
    QTest::newRow("Alt+T") << "alt-t" << TExceptionForm::ResultAbort;
}

void TestErrors::dialogResults()
{
    QFETCH(QString, action);
    QFETCH(int, result);
    TExceptionForm form;
    form.SetReportLines({QStringLiteral("report")});
    bool wasModal = false;
    QTimer::singleShot(0, &form, [&] {
        wasModal = QApplication::activeModalWidget() == &form;
        if (action == u"close")
            form.CloseBTN->click();
        else if (action == u"escape")
            QTest::keyClick(&form, Qt::Key_Escape);
        else if (action == u"closebox")
            form.close();
        else if (action == u"terminate")
            form.TerminateBTN->click();
        else {
            // Shortcuts reach the active window only.
            form.activateWindow();
            if (QTest::qWaitForWindowActive(&form))
                QTest::keyClick(&form, Qt::Key_T, Qt::AltModifier);
        }
    });
    // Should the action miss, the dialog ends with no result instead of
    // hanging the test.
    QTimer::singleShot(10000, &form, [&form] { form.done(0); });
    QCOMPARE(form.ShowModal(), result);
    QVERIFY(wasModal);
    QVERIFY(!form.isVisible());
}

void TestErrors::logGetsTheWrappedLinesOfTheShownBox()
{
    const QString words = QStringLiteral("word ").repeated(60).trimmed();
    const QString path = QStringLiteral("/a/very/long/path/without/any/blank/").repeated(6) + QStringLiteral("file");
    const QStringList report{QStringLiteral("short"), words, QString(), path, kDashes};
    TExceptionForm form;
    form.SetReportLines(report);
    const QStringList hidden = form.ReportLines();
    QVERIFY2(hidden.size() > report.size() + 2, qPrintable(hidden.join(u'|')));
    QCOMPARE(hidden.first(), QStringLiteral("short"));
    QCOMPARE(hidden.last(), kDashes);
    QVERIFY(hidden.contains(QString()));
    QCOMPARE(hidden.join(QString()), report.join(QString()));

    const int textWidth = form.ErrorLog->viewport()->width();
    QVERIFY(textWidth < 457 - form.ErrorLog->verticalScrollBar()->sizeHint().width() + 1);
    const QFontMetrics metrics(form.ErrorLog->font());
    for (const QString &line : hidden)
        QVERIFY2(metrics.horizontalAdvance(line.trimmed()) <= textWidth, qPrintable(line));

    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.ReportLines(), hidden);
    form.close();
}

void TestErrors::copyPutsTheBoxLinesOnTheClipboard()
{
    TExceptionForm form;
    form.SetReportLines({QStringLiteral("first"), QStringLiteral("detail ").repeated(40), QStringLiteral("last")});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QGuiApplication::clipboard()->clear();
    form.CopyBTN->click();
    QVERIFY(form.isVisible());
    QString expected;
    for (const QString &line : form.ReportLines())
        expected += line + QStringLiteral("\r\n");
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    QVERIFY(expected.startsWith(QStringLiteral("first\r\ndetail ")));
    QVERIFY(expected.endsWith(QStringLiteral("\r\nlast\r\n")));
    QVERIFY(expected.count(QStringLiteral("\r\n")) > 3);
    form.close();
}

void TestErrors::productVersionsListTheProgramFiles()
{
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    for (const QString &name : {program, QStringLiteral("libplugin.so"), QStringLiteral("libextra.so.2"),
                                QStringLiteral("old.dll"), QStringLiteral("notes.txt")}) {
        QVERIFY(writeFileBytes(folder_->filePath(name), "x"));
    }
    TExceptionForm form;
    form.SetReportLines({QStringLiteral("message")});
    form.AddProductVersions();
    const QStringList lines = form.ErrorLog->toPlainText().split(u'\n');
    QCOMPARE(lines.mid(0, 4), QStringList({QStringLiteral("message"), kDashes, QStringLiteral("Product Versions"),
                                           QString()}));
    const QStringList entries = lines.mid(4);
    QCOMPARE(entries.size(), 4);
    const auto expectedLine = [this](const QString &name) {
        const QFileInfo info(folder_->filePath(name));
        return name + QStringLiteral(": Build: 0 ") + dateTimeText(info.lastModified());
    };
    QCOMPARE(entries.at(0), expectedLine(program));
    QCOMPARE(entries.at(1), expectedLine(QStringLiteral("libplugin.so")));
    QCOMPARE(entries.at(2), expectedLine(QStringLiteral("libextra.so.2")));
    QCOMPARE(entries.at(3), expectedLine(QStringLiteral("old.dll")));
}

void TestErrors::logRecordFormat()
{
    Clock::setNow(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    const QString log = TPellixErrorHandler::LogPath();
    QCOMPARE(log, folder_->filePath(QStringLiteral("ExceptionsLog.txt")));
    TPellixErrorHandler::AppendToLog(log, {QStringLiteral("第一"), QStringLiteral("second")});
    Clock::setNow(QDateTime(QDate(2024, 3, 6), QTime(0, 0)));
    TPellixErrorHandler::AppendToLog(log, {QStringLiteral("third")});
    const QByteArray program = CodePage::toCp936(QCoreApplication::applicationFilePath());
    const QByteArray expected =
        "############# ERROR ON: " + dateTimeText(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))).toLatin1() + "\r\n"
        + program + "\r\n" + CodePage::toCp936(QStringLiteral("第一")) + "\r\nsecond\r\n### END LOG\r\n\r\n\r\n"
        + "############# ERROR ON: " + dateTimeText(QDateTime(QDate(2024, 3, 6), QTime(0, 0))).toLatin1()
        + "\r\n" + program + "\r\nthird\r\n### END LOG\r\n\r\n\r\n";
    QCOMPARE(fileBytes(log), expected);
    QVERIFY(!dateTimeText(QDateTime(QDate(2024, 3, 6), QTime(0, 0))).contains(u':'));
}

// Root writes anywhere, so the log is made unwritable by a folder standing
// where the file should be.
void TestErrors::unwritableLogStillShowsTheDialog()
{
    QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("ExceptionsLog.txt")));
    TPellixErrorHandler::AppendToLog(TPellixErrorHandler::LogPath(), {QStringLiteral("lost")});
    QVERIFY(QFileInfo(TPellixErrorHandler::LogPath()).isDir());

    TPellixErrorHandler handler;
    DialogAnswerer answerer;
    QTimer::singleShot(0, &throwFromTimer);
    QTRY_COMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().text.first(), QStringLiteral("Timer failed"));
    QVERIFY(QFileInfo(TPellixErrorHandler::LogPath()).isDir());
    QCOMPARE(QDir(folder_->path()).entryList(QDir::Files), QStringList());
}

void TestErrors::timerExceptionReachesDialogAndLog()
{
    TPellixErrorHandler handler;
    QCOMPARE(TPellixErrorHandler::instance(), &handler);
    DialogAnswerer answerer;
    bool carriedOn = false;
    QTimer::singleShot(0, &throwFromTimer);
    QTimer::singleShot(1, [&carriedOn] { carriedOn = true; });
    QTRY_COMPARE(answerer.seen.size(), 1);
    QTRY_VERIFY(carriedOn);

    const QStringList shown = answerer.seen.first().text;
    QCOMPARE(shown.mid(0, 3), QStringList({QStringLiteral("Timer failed"), QStringLiteral("second line"), kDashes}));
    QVERIFY(shown.at(3).startsWith(QStringLiteral("Stack list, generated ")));
    const int system = indexOfPrefix(shown, QStringLiteral("System   : "));
    QVERIFY(system > 4);
    QVERIFY(shown.at(4).contains(u"throwFromTimer()"));
    QVERIFY(!shown.at(4).contains(u"__cxa_throw"));
    QCOMPARE(shown.at(system - 1), kDashes);
    QVERIFY(shown.at(system + 1).startsWith(QStringLiteral("Processor: ")));
    QVERIFY(shown.at(system + 2).startsWith(QStringLiteral("Display  : ")));
    QCOMPARE(shown.at(system + 3), kDashes);
    QCOMPARE(shown.at(system + 4), QStringLiteral("List of loaded modules:"));
    QCOMPARE(shown.at(system + 5), QString());
    const int products = int(shown.lastIndexOf(QStringLiteral("Product Versions")));
    QVERIFY(products > system + 6);
    QCOMPARE(shown.at(products - 1), kDashes);
    QCOMPARE(shown.at(products + 1), QString());

    const QStringList records = logRecords(TPellixErrorHandler::LogPath());
    QCOMPARE(records.size(), 1);
    QStringList logged = records.first().split(QStringLiteral("\r\n"));
    QVERIFY(logged.takeFirst().startsWith(QStringLiteral("############# ERROR ON: ")));
    QCOMPARE(logged.takeFirst(), QCoreApplication::applicationFilePath());
    QCOMPARE(logged.takeLast(), QString());
    QCOMPARE(logged, answerer.seen.first().lines);
    QVERIFY(logged.size() > shown.size()); // long lines arrive wrapped
}

void TestErrors::menuActionExceptionReachesDialog()
{
    TPellixErrorHandler handler;
    DialogAnswerer answerer;
    QMenu menu;
    QAction *failing = menu.addAction(QStringLiteral("Fail"));
    QAction *working = menu.addAction(QStringLiteral("Work"));
    connect(failing, &QAction::triggered, &throwFromMenu);
    int worked = 0;
    connect(working, &QAction::triggered, [&worked] { ++worked; });

    menu.popup(QPoint(100, 100));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(failing).center());
    QTRY_COMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().text.first(), QStringLiteral("Menu action failed"));
    QVERIFY(answerer.seen.first().text.at(3).contains(u"throwFromMenu()"));
    QCOMPARE(logRecords(TPellixErrorHandler::LogPath()).size(), 1);

    // The menus keep working after the error.
    menu.popup(QPoint(100, 100));
    QVERIFY(QTest::qWaitForWindowExposed(&menu));
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(working).center());
    QTRY_COMPARE(worked, 1);
}

void TestErrors::secondErrorOpensSecondDialog()
{
    TPellixErrorHandler handler;
    DialogAnswerer answerer;
    bool thrown = false;
    answerer.answer = [&answerer, &thrown](TExceptionForm *form, int index) {
        if (index == 0 && answerer.seen.size() == 1) {
            if (!thrown) {
                thrown = true;
                QTimer::singleShot(0, &throwFromMenu);
            }
            return false; // stays open until the second one is answered
        }
        form->CloseBTN->click();
        return true;
    };
    QTimer::singleShot(0, &throwFromTimer);
    QTRY_COMPARE(answerer.seen.size(), 2);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(answerer.seen.at(0).openBefore, 0);
    QCOMPARE(answerer.seen.at(1).openBefore, 1);
    QCOMPARE(answerer.seen.at(1).text.first(), QStringLiteral("Menu action failed"));
    const QStringList records = logRecords(TPellixErrorHandler::LogPath());
    QCOMPARE(records.size(), 2);
    QVERIFY(records.at(0).contains(QStringLiteral("\r\nTimer failed\r\n")));
    QVERIFY(records.at(1).contains(QStringLiteral("\r\nMenu action failed\r\n")));
}

void TestErrors::notifyWithoutHandlerKeepsRunning()
{
    QVERIFY(!TPellixErrorHandler::instance());
    QTest::ignoreMessage(QtCriticalMsg, "Unhandled exception in an event handler: Menu action failed");
    bool carriedOn = false;
    QTimer::singleShot(0, &throwFromMenu);
    QTimer::singleShot(1, [&carriedOn] { carriedOn = true; });
    QTRY_VERIFY(carriedOn);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!QFileInfo::exists(TPellixErrorHandler::LogPath()));
}

void TestErrors::terminateEndsTheProcessWithCodeOne()
{
    QProcess::ExitStatus status = QProcess::CrashExit;
    int code = -1;
    const QString output = runHelper(folder_->path(), QStringLiteral("terminate"), &status, &code);
    QCOMPARE(status, QProcess::NormalExit);
    QVERIFY2(code == 1, qPrintable(output));
    const QStringList records = logRecords(folder_->filePath(QStringLiteral("ExceptionsLog.txt")));
    QCOMPARE(records.size(), 1);
    QVERIFY(records.first().contains(QStringLiteral("\r\nHelper failed\r\n")));
    QVERIFY(records.first().contains(QStringLiteral("throwFromTimer()")));

    // The helper is loaded where it was linked for: blanks instead of a
    // preferred base before its version.
    const QStringList lines = records.first().split(QStringLiteral("\r\n"));
    int line = indexOfPrefix(lines, QStringLiteral("[00400000] "));
    QVERIFY(line > 0);
    while (++line < lines.size() && !lines.at(line).startsWith(u' ') && !lines.at(line).startsWith(u'<')) {
    }
    QVERIFY(line < lines.size());
    QCOMPARE(lines.at(line), QString(12, u' ') + QStringLiteral(HELPER_VERSION_TEXT));
}

void TestErrors::fatalSignalLeavesARecord_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("signal");
    QTest::newRow("segmentation fault") << "segv" << SIGSEGV;
    QTest::newRow("bus error") << "bus" << SIGBUS;
    QTest::newRow("division by zero") << "fpe" << SIGFPE;
    QTest::newRow("illegal instruction") << "ill" << SIGILL;
    QTest::newRow("abort") << "abort" << SIGABRT;
}

void TestErrors::fatalSignalLeavesARecord()
{
    QFETCH(QString, how);
    QFETCH(int, signal);
    const QString log = folder_->filePath(QStringLiteral("ExceptionsLog.txt"));
    TPellixErrorHandler::AppendToLog(log, {QStringLiteral("earlier report")});
    QProcess::ExitStatus status = QProcess::NormalExit;
    int code = -1;
    const QString output = runHelper(folder_->path(), how, &status, &code);
    QVERIFY2(status == QProcess::CrashExit, qPrintable(output));
    QCOMPARE(code, signal);

    QCOMPARE(fileBytes(folder_->filePath(QStringLiteral("saved.knt"))), QByteArray("note saved before the failure\n"));

    const QStringList records = logRecords(log);
    QCOMPARE(records.size(), 2);
    QVERIFY(records.at(0).contains(QStringLiteral("\r\nearlier report\r\n")));
    const QStringList lines = records.at(1).split(QStringLiteral("\r\n"));
    QVERIFY2(QRegularExpression(QStringLiteral(R"(^############# ERROR ON: \d{4}-\d\d-\d\d \d\d:\d\d:\d\d$)"))
                 .match(lines.at(0))
                 .hasMatch(),
             qPrintable(lines.at(0)));
    QCOMPARE(lines.at(1), QStringLiteral(CRASH_HELPER));
    QVERIFY2(lines.at(2).startsWith(QStringLiteral("Fatal signal %1 (SIG").arg(signal)), qPrintable(lines.at(2)));
    QCOMPARE(lines.at(3), kDashes);
    QVERIFY(lines.at(4).startsWith(QStringLiteral("Stack list, generated ")));
    const int named = indexOfPrefix(lines, QStringLiteral("["), 5);
    QVERIFY(named == 5);
    int crashFrame = -1;
    for (int index = 5; index < lines.size() && crashFrame < 0; ++index) {
        if (lines.at(index).contains(u"crashInNamedFunction"))
            crashFrame = index;
    }
    QVERIFY2(crashFrame >= 5, qPrintable(records.at(1)));
    QVERIFY2(lines.at(crashFrame).contains(u"crash_helper.cpp"), qPrintable(lines.at(crashFrame)));
    const int system = indexOfPrefix(lines, QStringLiteral("System   : "));
    QVERIFY(system > crashFrame);
    QCOMPARE(lines.at(system - 1), kDashes);
    QVERIFY(lines.at(system + 1).startsWith(QStringLiteral("Processor: ")));
    QVERIFY(lines.at(system + 2).startsWith(QStringLiteral("Display  : ")));
    QCOMPARE(lines.at(system + 3), kDashes);
    QCOMPARE(lines.size(), system + 5); // the record's end follows
}

int main(int argc, char *argv[])
{
    BrisquelApplication app(argc, argv);
    TestErrors test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_errors.moc"
