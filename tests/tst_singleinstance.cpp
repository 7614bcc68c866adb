#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/ProgramEntry.h"
#include "platform/SingleInstance.h"
#include "tests/support/FileHelpers.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Safety limit for waits on helper processes; never an expected duration.
constexpr int ProcessLimitMs = 30000;

const QString SocketName = QStringLiteral("Brisquel_istance");
const QString LockName = QStringLiteral("Brisquel_istance.lock");

mode_t modeOf(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

bool makeFolder(const QString &path, mode_t mode)
{
    const QByteArray native = QFile::encodeName(path);
    return ::mkdir(native.constData(), mode) == 0 && ::chmod(native.constData(), mode) == 0;
}

QByteArray terminateMessage()
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian<qint32>(SingleInstance::TerminateMessage, bytes.data());
    return bytes;
}

// Who sends the terminate request.
enum class Requester {
    ThisProcess,
    HelperProcess,
    ProgramWithoutDisplay, // the real "brisquel /TERMINATE"
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void entryMode_data();
    void entryMode();

    void secondInstanceRefused();
    void lockRecoveredAfterKill();
    void terminateWithoutInstance();
    void terminateWaitsForHandler_data();
    void terminateWaitsForHandler();
    void malformedRequestsIgnored();
    void foreignUserDropped();
    void foldersAndSocketPrivate_data();
    void foldersAndSocketPrivate();
    void unusableFolderRunsAsFirst();

    void uninstall_data();
    void uninstall();
    void uninstallWithoutUsersFolder();

private:
    // Starts "instance_helper serve" (or another serving mode) and returns the
    // line it printed once it runs (empty when it ended instead).
    QByteArray startServing(QProcess &helper, const QString &marker,
                            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                            const QString &mode = QStringLiteral("serve"));
    QString marker(const QString &name) const { return m_work->filePath(name); }
    void buildProgramFolder(const QString &outside);
    QString fallbackFolder() const;
    QProcessEnvironment withoutRuntimeFolder() const;

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<QTemporaryDir> m_work;
    std::vector<std::unique_ptr<QProcess>> m_helpers;
    QProcess &newHelper();
};

void TestSingleInstance::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestSingleInstance::init()
{
    // Every test has a runtime folder of its own, so it never meets a real
    // running program nor what an earlier test left behind.
    m_runtime = std::make_unique<QTemporaryDir>();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_runtime->isValid() && m_work->isValid());
    QVERIFY(::chmod(QFile::encodeName(m_runtime->path()).constData(), 0700) == 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime->path()));
}

void TestSingleInstance::cleanup()
{
    for (const auto &helper : m_helpers) {
        if (helper->state() != QProcess::NotRunning) {
            helper->kill();
            helper->waitForFinished(ProcessLimitMs);
        }
    }
    m_helpers.clear();
    setPromptHook({});
    setProgramFolder(QString());
}

QProcess &TestSingleInstance::newHelper()
{
    m_helpers.push_back(std::make_unique<QProcess>());
    m_helpers.back()->setProgram(QStringLiteral(INSTANCE_HELPER));
    return *m_helpers.back();
}

QByteArray TestSingleInstance::startServing(QProcess &helper, const QString &markerFile,
                                            const QProcessEnvironment &environment, const QString &mode)
{
    helper.setProcessEnvironment(environment);
    helper.setArguments({mode, markerFile});
    helper.start();
    if (!helper.waitForStarted(ProcessLimitMs))
        return QByteArray();
    while (!helper.canReadLine() && helper.waitForReadyRead(ProcessLimitMs)) {
    }
    return helper.readLine().trimmed();
}

void TestSingleInstance::entryMode_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<EntryMode>("mode");

    const QString program = QStringLiteral("/opt/brisquel/brisquel");
    QTest::newRow("no argument") << QStringList{program} << EntryMode::Normal;
    QTest::newRow("empty command line") << QStringList{} << EntryMode::Normal;
    QTest::newRow("/S") << QStringList{program, QStringLiteral("/S")} << EntryMode::NoSplash;
    QTest::newRow("/s lower case") << QStringList{program, QStringLiteral("/s")} << EntryMode::NoSplash;
    QTest::newRow("/S second") << QStringList{program, QStringLiteral("x"), QStringLiteral("/S")}
                               << EntryMode::Normal;
    QTest::newRow("/S with blank") << QStringList{program, QStringLiteral("/S ")} << EntryMode::Normal;
    QTest::newRow("long s is no s") << QStringList{program, QStringLiteral("/ſ")} << EntryMode::Normal;
    QTest::newRow("/TERMINATE") << QStringList{program, QStringLiteral("/TERMINATE")} << EntryMode::Terminate;
    QTest::newRow("/terminate") << QStringList{program, QStringLiteral("/terminate")} << EntryMode::Terminate;
    QTest::newRow("/TeRmInAtE") << QStringList{program, QStringLiteral("/TeRmInAtE")} << EntryMode::Terminate;
    QTest::newRow("dotless i") << QStringList{program, QStringLiteral("/termınate")} << EntryMode::Normal;
    QTest::newRow("/Uninstall") << QStringList{program, QStringLiteral("/Uninstall"), QStringLiteral("/S")}
                                << EntryMode::Uninstall;
    QTest::newRow("/TERMINATE second") << QStringList{program, QStringLiteral("/S"), QStringLiteral("/TERMINATE")}
                                       << EntryMode::NoSplash;
}

void TestSingleInstance::entryMode()
{
    QFETCH(QStringList, arguments);
    QFETCH(EntryMode, mode);
    QCOMPARE(entryModeFor(arguments), mode);
}

void TestSingleInstance::secondInstanceRefused()
{
    QProcess &first = newHelper();
    QCOMPARE(startServing(first, marker(QStringLiteral("first"))), QByteArray("ready listening"));

    QProcess &second = newHelper();
    second.setArguments({QStringLiteral("serve"), marker(QStringLiteral("second"))});
    second.start();
    QVERIFY(second.waitForFinished(ProcessLimitMs));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 3);
    QCOMPARE(first.state(), QProcess::Running);

    // The first still owns the socket: the refused start did not replace it.
    const SingleInstance::TerminateReply reply = SingleInstance::SendTerminateRequest(ProcessLimitMs);
    QCOMPARE(reply.status, SingleInstance::TerminateStatus::Answered);
    QVERIFY(QFile::exists(marker(QStringLiteral("first"))));
    QVERIFY(!QFile::exists(marker(QStringLiteral("second"))));
    QVERIFY(first.waitForFinished(ProcessLimitMs));
}

void TestSingleInstance::lockRecoveredAfterKill()
{
    QProcess &killed = newHelper();
    QCOMPARE(startServing(killed, marker(QStringLiteral("killed"))), QByteArray("ready listening"));
    killed.kill();
    QVERIFY(killed.waitForFinished(ProcessLimitMs));
    QCOMPARE(killed.exitStatus(), QProcess::CrashExit);

    // The dead holder left its lock and socket files; nobody answers there.
    const QString folder = m_runtime->path();
    QVERIFY(QFile::exists(folder + QLatin1Char('/') + LockName));
    QVERIFY(QFile::exists(folder + QLatin1Char('/') + SocketName));
    QCOMPARE(SingleInstance::SendTerminateRequest(-1).status, SingleInstance::TerminateStatus::NoInstance);

    QProcess &successor = newHelper();
    QCOMPARE(startServing(successor, marker(QStringLiteral("successor"))), QByteArray("ready listening"));
    const SingleInstance::TerminateReply reply = SingleInstance::SendTerminateRequest(ProcessLimitMs);
    QCOMPARE(reply.status, SingleInstance::TerminateStatus::Answered);
    QCOMPARE(reply.answer, 1);
    QVERIFY(QFile::exists(marker(QStringLiteral("successor"))));
    QVERIFY(!QFile::exists(marker(QStringLiteral("killed"))));
    QVERIFY(successor.waitForFinished(ProcessLimitMs));
    QCOMPARE(successor.exitCode(), 0);
    // A clean end removes the socket, so the next start finds nothing stale.
    QVERIFY(!QFile::exists(folder + QLatin1Char('/') + SocketName));
}

void TestSingleInstance::terminateWithoutInstance()
{
    QCOMPARE(SingleInstance::SendTerminateRequest(-1).status, SingleInstance::TerminateStatus::NoInstance);
    QCOMPARE(RunTerminateRequest(), 0);

    QProcess &requester = newHelper();
    requester.setArguments({QStringLiteral("terminate")});
    requester.start();
    QVERIFY(requester.waitForFinished(ProcessLimitMs));
    QCOMPARE(requester.exitCode(), 0);
    QCOMPARE(requester.readAllStandardOutput().trimmed(), QByteArray("no-instance"));
}

void TestSingleInstance::terminateWaitsForHandler_data()
{
    QTest::addColumn<Requester>("requester");
    QTest::addColumn<QString>("serveMode");
    QTest::newRow("requester in this process") << Requester::ThisProcess << QStringLiteral("serve");
    QTest::newRow("requester process") << Requester::HelperProcess << QStringLiteral("serve");
    QTest::newRow("program without a display") << Requester::ProgramWithoutDisplay << QStringLiteral("serve");
    // The running side sets its handler only after the request has come in.
    QTest::newRow("request during start-up") << Requester::HelperProcess << QStringLiteral("serve-late");
}

void TestSingleInstance::terminateWaitsForHandler()
{
    QFETCH(Requester, requester);
    QFETCH(QString, serveMode);
    QProcess &running = newHelper();
    const QString done = marker(QStringLiteral("done"));
    QCOMPARE(startServing(running, done, QProcessEnvironment::systemEnvironment(), serveMode),
             QByteArray("ready listening"));

    // The handler writes the marker at its very end, after a nested event
    // loop: the request may return only after that.
    if (requester == Requester::ThisProcess) {
        QCOMPARE(RunTerminateRequest(), 0);
        QVERIFY(QFile::exists(done));
    } else {
        QProcess &process = newHelper();
        if (requester == Requester::ProgramWithoutDisplay) {
            // As from a service or a remote shell: no display to be reached.
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            for (const QString &name : {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                                        QStringLiteral("QT_QPA_PLATFORM")})
                environment.remove(name);
            process.setProcessEnvironment(environment);
            process.setProgram(QStringLiteral(BRISQUEL_PROGRAM));
            process.setArguments({QStringLiteral("/TERMINATE")});
        } else {
            process.setArguments({QStringLiteral("terminate")});
        }
        process.start();
        QVERIFY(process.waitForFinished(ProcessLimitMs));
        QVERIFY(QFile::exists(done));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        if (requester == Requester::HelperProcess)
            QCOMPARE(process.readAllStandardOutput().trimmed(), QByteArray("answered 1"));
    }
    QVERIFY(running.waitForFinished(ProcessLimitMs));
    QCOMPARE(running.exitStatus(), QProcess::NormalExit);
    QCOMPARE(running.exitCode(), 0);
}

void TestSingleInstance::malformedRequestsIgnored()
{
    QProcess &running = newHelper();
    const QString done = marker(QStringLiteral("done"));
    QCOMPARE(startServing(running, done), QByteArray("ready listening"));
    const QString socketPath = m_runtime->filePath(SocketName);

    QByteArray otherMessage(4, Qt::Uninitialized);
    qToLittleEndian<qint32>(4711, otherMessage.data());
    {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        QVERIFY(socket.waitForConnected(ProcessLimitMs));
        socket.write(otherMessage);
        QVERIFY(socket.waitForBytesWritten(ProcessLimitMs));
        // The instance hangs up without an answer.
        QVERIFY(socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(ProcessLimitMs));
        QCOMPARE(socket.bytesAvailable(), 0);
    }
    {
        QLocalSocket socket;
        socket.connectToServer(socketPath);
        QVERIFY(socket.waitForConnected(ProcessLimitMs));
        socket.write(terminateMessage().left(2));
        QVERIFY(socket.waitForBytesWritten(ProcessLimitMs));
        socket.disconnectFromServer();
    }
    QCOMPARE(running.state(), QProcess::Running);
    QVERIFY(!QFile::exists(done));

    // The same user on a raw connection is heard.
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    QVERIFY(socket.waitForConnected(ProcessLimitMs));
    socket.write(terminateMessage());
    while (socket.bytesAvailable() < 4)
        QVERIFY(socket.waitForReadyRead(ProcessLimitMs));
    QCOMPARE(qFromLittleEndian<qint32>(socket.read(4).constData()), 1);
    QVERIFY(QFile::exists(done));
    QVERIFY(running.waitForFinished(ProcessLimitMs));
}

void TestSingleInstance::foreignUserDropped()
{
    if (::geteuid() != 0)
        QSKIP("switching to another user needs root");
    QProcess &running = newHelper();
    const QString done = marker(QStringLiteral("done"));
    QCOMPARE(startServing(running, done), QByteArray("ready listening"));

    // Open the way on purpose, so that only the peer check stands between the
    // other user and the running program.
    const QString socketPath = m_runtime->filePath(SocketName);
    QVERIFY(::chmod(QFile::encodeName(m_runtime->path()).constData(), 0711) == 0);
    QVERIFY(::chmod(QFile::encodeName(socketPath).constData(), 0777) == 0);
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody)
        QSKIP("no user \"nobody\" to switch to");

    QProcess &stranger = newHelper();
    stranger.setArguments({QStringLiteral("send-as"), QString::number(nobody->pw_uid), socketPath});
    stranger.start();
    QVERIFY(stranger.waitForFinished(ProcessLimitMs));
    if (stranger.exitCode() == 4)
        QSKIP("this system refuses to switch users");
    QCOMPARE(stranger.readAllStandardOutput().trimmed(), QByteArray("dropped"));
    QCOMPARE(running.state(), QProcess::Running);
    QVERIFY(!QFile::exists(done));
}

void TestSingleInstance::foldersAndSocketPrivate_data()
{
    QTest::addColumn<bool>("useFallback");
    QTest::addColumn<int>("fallbackModeBefore"); // 0: fallback folder missing

    QTest::newRow("runtime folder") << false << 0;
    QTest::newRow("fallback created") << true << 0;
    QTest::newRow("fallback tightened") << true << 0755;
}

void TestSingleInstance::foldersAndSocketPrivate()
{
    QFETCH(bool, useFallback);
    QFETCH(int, fallbackModeBefore);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString folder = m_runtime->path();
    if (useFallback) {
        environment = withoutRuntimeFolder();
        QVERIFY(!environment.isEmpty());
        folder = fallbackFolder();
        if (fallbackModeBefore)
            QVERIFY(makeFolder(folder, mode_t(fallbackModeBefore)));
    }

    QProcess &running = newHelper();
    QCOMPARE(startServing(running, marker(QStringLiteral("done")), environment), QByteArray("ready listening"));
    QCOMPARE(modeOf(folder), mode_t(0700));
    const QString socketPath = folder + QLatin1Char('/') + SocketName;
    QVERIFY(QFileInfo(socketPath).exists());
    QCOMPARE(modeOf(socketPath) & 077, mode_t(0));
    QVERIFY(QFile::exists(folder + QLatin1Char('/') + LockName));

    QProcess &requester = newHelper();
    requester.setProcessEnvironment(environment);
    requester.setArguments({QStringLiteral("terminate")});
    requester.start();
    QVERIFY(requester.waitForFinished(ProcessLimitMs));
    QCOMPARE(requester.readAllStandardOutput().trimmed(), QByteArray("answered 1"));
    QVERIFY(running.waitForFinished(ProcessLimitMs));
}

void TestSingleInstance::unusableFolderRunsAsFirst()
{
    // Where no lock can be made at all, every start runs as the only one, and
    // nobody listens.
    const QProcessEnvironment environment = withoutRuntimeFolder();
    QVERIFY(!environment.isEmpty());
    QVERIFY(writeFileBytes(fallbackFolder(), "x"));

    QProcess &first = newHelper();
    QCOMPARE(startServing(first, marker(QStringLiteral("first")), environment), QByteArray("ready alone"));
    QProcess &second = newHelper();
    QCOMPARE(startServing(second, marker(QStringLiteral("second")), environment), QByteArray("ready alone"));
}

QString TestSingleInstance::fallbackFolder() const
{
    return m_work->path() + QStringLiteral("/brisquel-") + QString::number(::geteuid());
}

QProcessEnvironment TestSingleInstance::withoutRuntimeFolder() const
{
    // Qt's own fallback below TMPDIR is made unusable (not private), so that
    // Qt reports no runtime folder at all.
    const passwd *user = ::getpwuid(::geteuid());
    const QString temp = m_work->path();
    if (!user || !makeFolder(temp + QStringLiteral("/runtime-") + QString::fromLocal8Bit(user->pw_name), 0755))
        return QProcessEnvironment();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("TMPDIR"), temp);
    return environment;
}

void TestSingleInstance::buildProgramFolder(const QString &outside)
{
    const QDir program(m_work->filePath(QStringLiteral("program")));
    QVERIFY(program.mkpath(QStringLiteral("Users/alice")));
    QVERIFY(program.mkpath(QStringLiteral("Users/bob/deep/deeper")));
    QVERIFY(writeFileBytes(program.filePath(QStringLiteral("Users/alice/1.knt")), "x"));
    QVERIFY(writeFileBytes(program.filePath(QStringLiteral("Users/alice/工作.tdl")), "x"));
    QVERIFY(writeFileBytes(program.filePath(QStringLiteral("Users/alice/.hidden")), "x"));
    QVERIFY(writeFileBytes(program.filePath(QStringLiteral("Users/bob/deep/deeper/2.knt")), "x"));
    QVERIFY(QFile::setPermissions(program.filePath(QStringLiteral("Users/alice/1.knt")), QFile::ReadOwner));
    QVERIFY(writeFileBytes(program.filePath(QStringLiteral("ExceptionsLog.txt")), "x"));
    // Links lead out of the tree: what they point to is not ours to delete.
    QVERIFY(QDir().mkpath(outside));
    QVERIFY(writeFileBytes(outside + QStringLiteral("/keep.knt"), "x"));
    QVERIFY(QFile::link(outside, program.filePath(QStringLiteral("Users/bob/linked-folder"))));
    QVERIFY(QFile::link(outside + QStringLiteral("/keep.knt"), program.filePath(QStringLiteral("Users/linked.knt"))));
    setProgramFolder(program.path());
}

void TestSingleInstance::uninstall_data()
{
    QTest::addColumn<bool>("answerYes");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TestSingleInstance::uninstall()
{
    QFETCH(bool, answerYes);
    const QString outside = m_work->filePath(QStringLiteral("elsewhere"));
    buildProgramFolder(outside);
    if (QTest::currentTestFailed())
        return;
    const QString users = ProgramFolder() + QStringLiteral("Users");
    const QString name = QCoreApplication::applicationName();

    QList<PromptRequest> asked;
    QString nameWhileAsking;
    setPromptHook([&](const PromptRequest &request) {
        asked.append(request);
        nameWhileAsking = QCoreApplication::applicationName();
        return PromptReply{answerYes, QString()};
    });
    QCOMPARE(RunUninstall(), 0);

    QCOMPARE(asked.size(), 1);
    // The title changes only once the user has agreed.
    QCOMPARE(nameWhileAsking, name);
    QCOMPARE(asked.first().kind, PromptKind::Confirmation);
    QCOMPARE(asked.first().caption, QStringLiteral("确认"));
    QCOMPARE(asked.first().text, QStringLiteral("你是否要删除所有的便笺?"));
    QCOMPARE(QDir(users).exists(), !answerYes);
    QCOMPARE(QFile::exists(users + QStringLiteral("/bob/deep/deeper/2.knt")), !answerYes);
    QCOMPARE(QCoreApplication::applicationName(),
             answerYes ? QStringLiteral("Brisquel Uninstall") : name);
    QVERIFY(QFile::exists(ProgramFolder() + QStringLiteral("ExceptionsLog.txt")));
    QVERIFY(QFile::exists(outside + QStringLiteral("/keep.knt")));
    QCoreApplication::setApplicationName(name);
}

void TestSingleInstance::uninstallWithoutUsersFolder()
{
    const QString program = m_work->filePath(QStringLiteral("bare"));
    QVERIFY(QDir().mkpath(program));
    setProgramFolder(program);
    int asked = 0;
    setPromptHook([&](const PromptRequest &) {
        ++asked;
        return PromptReply{true, QString()};
    });
    const QString name = QCoreApplication::applicationName();
    QCOMPARE(RunUninstall(), 0);
    QCoreApplication::setApplicationName(name);
    QCOMPARE(asked, 1);
    QVERIFY(!QFileInfo::exists(program + QStringLiteral("/Users")));
    QVERIFY(QDir(program).exists());
}

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
