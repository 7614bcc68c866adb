#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// One requester's connection, from its acceptance until it is answered or
// hangs up.
class InstanceRequest final : public QObject
{
public:
    InstanceRequest(LocalSocket socket, QObject *parent)
        : QObject(parent)
        , m_socket(std::move(socket))
        , m_readable(new QSocketNotifier(qintptr(m_socket.descriptor()), QSocketNotifier::Read, this))
    {
    }
    // The notifier goes before the descriptor it watches.
    ~InstanceRequest() override { delete m_readable; }

    const LocalSocket &socket() const { return m_socket; }
    QSocketNotifier *readable() const { return m_readable; }
    QByteArray &received() { return m_received; }

private:
    LocalSocket m_socket;
    QSocketNotifier *m_readable;
    QByteArray m_received;
};

namespace {

const QString LockFileName = QStringLiteral("Brisquel_istance.lock");
const QString SocketName = QStringLiteral("Brisquel_istance");
constexpr int MessageSize = 4;
// The answer is written just before the process ends; give the kernel time
// to take it, but never hang the shutdown on a requester that stopped reading.
constexpr int AnswerFlushMs = 5000;

// Makes sure the folder exists, is a real folder of the effective user and is
// private to that user.
bool ensurePrivateFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    return (info.st_mode & 07777) == 0700 || ::chmod(native.constData(), 0700) == 0;
}

QByteArray encodeMessage(qint32 value)
{
    QByteArray bytes(MessageSize, Qt::Uninitialized);
    qToLittleEndian<qint32>(value, bytes.data());
    return bytes;
}

qint32 decodeMessage(const QByteArray &bytes)
{
    return qFromLittleEndian<qint32>(bytes.constData());
}

// Answers and hangs up.
void sendAnswer(InstanceRequest *request, qint32 answer)
{
    if (!request)
        return;
    request->socket().write(encodeMessage(answer), QDeadlineTimer(AnswerFlushMs));
    request->deleteLater();
}

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
}

SingleInstance::~SingleInstance()
{
    // The socket goes before the lock, so that a successor that takes the lock
    // never loses its fresh socket to us.
    delete std::exchange(m_serverNotifier, nullptr);
    if (m_server.isValid()) {
        m_server = {};
        QFile::remove(m_socketPath);
    }
    m_lock.reset();
}

QString SingleInstance::instanceFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/brisquel-") + QString::number(::geteuid());
    return ensurePrivateFolder(folder) ? folder : QString();
}

bool SingleInstance::IsAlreadyRunning()
{
    const QString folder = instanceFolder();
    if (folder.isEmpty())
        return false;
    auto lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + LockFileName);
    // Held for the whole run, so age never makes it stale; only the death of
    // its holder does, which QLockFile detects by itself.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return lock->error() == QLockFile::LockFailedError;
    m_lock = std::move(lock);
    startServer(folder);
    return false;
}

bool SingleInstance::holdsLock() const
{
    return m_lock != nullptr;
}

bool SingleInstance::isListening() const
{
    return m_server.isValid();
}

void SingleInstance::setTerminateHandler(std::function<int()> handler)
{
    m_handler = std::move(handler);
    // Not served here: the handler ends the event loop, which it cannot do
    // before the loop runs.
    if (m_handler && !m_requests.isEmpty())
        QTimer::singleShot(0, this, &SingleInstance::serveRequests);
}

void SingleInstance::startServer(const QString &folder)
{
    // Only the lock holder gets here, so a socket file already in place is a
    // dead holder's, and listening replaces it.
    m_socketPath = folder + QLatin1Char('/') + SocketName;
    m_server = LocalSocket::listen(m_socketPath);
    if (!m_server.isValid())
        return;
    m_serverNotifier = new QSocketNotifier(qintptr(m_server.descriptor()), QSocketNotifier::Read, this);
    connect(m_serverNotifier, &QSocketNotifier::activated, this, &SingleInstance::acceptConnections);
}

void SingleInstance::acceptConnections()
{
    for (LocalSocket socket = m_server.accept(); socket.isValid(); socket = m_server.accept()) {
        if (!socket.peerIsSameUser())
            continue;
        auto *request = new InstanceRequest(std::move(socket), this);
        connect(request->readable(), &QSocketNotifier::activated, this, [this, request] { readRequest(request); });
        readRequest(request);
    }
}

void SingleInstance::readRequest(InstanceRequest *request)
{
    const LocalSocket::ReadState state = request->socket().readAvailable(request->received(), MessageSize);
    if (request->received().size() < MessageSize) {
        if (state == LocalSocket::ReadState::Closed)
            request->deleteLater();
        return;
    }
    request->readable()->setEnabled(false);
    if (decodeMessage(request->received()) != TerminateMessage) {
        request->deleteLater();
        return;
    }
    m_requests.append(request);
    emit terminateRequested();
    serveRequests();
}

void SingleInstance::serveRequests()
{
    // A handler may run nested event loops; requests arriving meanwhile wait
    // in the queue for the outer call. Requests that come before the handler
    // (during start-up) wait for it: answering them would leave the program
    // running while its requester believes it has ended.
    if (m_serving)
        return;
    while (m_handler && !m_requests.isEmpty()) {
        const QPointer<InstanceRequest> request = m_requests.takeFirst();
        bool answered = false;
        m_serving = true;
        const auto done = qScopeGuard([&] {
            m_serving = false;
            if (answered)
                return;
            // The handler threw: let its requester go and keep serving.
            if (request)
                request->deleteLater();
            if (!m_requests.isEmpty())
                QTimer::singleShot(0, this, &SingleInstance::serveRequests);
        });
        const qint32 answer = m_handler();
        answered = true;
        sendAnswer(request, answer);
    }
}

SingleInstance::TerminateReply SingleInstance::SendTerminateRequest(int timeoutMs)
{
    const QString folder = instanceFolder();
    if (folder.isEmpty())
        return {};
    const QDeadlineTimer deadline(timeoutMs);
    const LocalSocket socket = LocalSocket::connectTo(folder + QLatin1Char('/') + SocketName, deadline);
    if (!socket.isValid() || !socket.peerIsSameUser())
        return {};
    QByteArray answer;
    if (!socket.write(encodeMessage(TerminateMessage), deadline) || !socket.read(answer, MessageSize, deadline))
        return {TerminateStatus::NoAnswer, 0};
    return {TerminateStatus::Answered, decodeMessage(answer)};
}
