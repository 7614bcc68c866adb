#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Only connections of the same user may talk to the program; anything we
// cannot verify counts as foreign.
bool peerIsSameUser(qintptr descriptor)
{
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    if (descriptor < 0
        || ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0
        || length != sizeof credentials)
        return false;
    return credentials.uid == ::geteuid();
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

void sendAnswer(QLocalSocket *socket, qint32 answer)
{
    if (!socket || socket->state() != QLocalSocket::ConnectedState)
        return;
    socket->write(encodeMessage(answer));
    socket->flush();
    while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(AnswerFlushMs)) {
    }
    socket->disconnectFromServer();
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
    if (m_server)
        m_server->close();
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
    return m_server && m_server->isListening();
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
    const QString path = folder + QLatin1Char('/') + SocketName;
    // Only the lock holder gets here, so a socket file already in place is a
    // dead holder's; listening with these options replaces it.
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    if (!m_server->listen(path)) {
        delete m_server;
        m_server = nullptr;
    }
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsSameUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        readRequest(socket);
    }
}

void SingleInstance::readRequest(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < MessageSize)
        return;
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    if (decodeMessage(socket->read(MessageSize)) != TerminateMessage) {
        socket->abort();
        return;
    }
    m_requests.append(socket);
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
        const QPointer<QLocalSocket> socket = m_requests.takeFirst();
        bool answered = false;
        m_serving = true;
        const auto done = qScopeGuard([&] {
            m_serving = false;
            if (answered)
                return;
            // The handler threw: let its requester go and keep serving.
            if (socket)
                socket->abort();
            if (!m_requests.isEmpty())
                QTimer::singleShot(0, this, &SingleInstance::serveRequests);
        });
        const qint32 answer = m_handler();
        answered = true;
        sendAnswer(socket, answer);
    }
}

SingleInstance::TerminateReply SingleInstance::SendTerminateRequest(int timeoutMs)
{
    const QString folder = instanceFolder();
    if (folder.isEmpty())
        return {};
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(folder + QLatin1Char('/') + SocketName);
    if (!socket.waitForConnected(int(deadline.remainingTime())) || !peerIsSameUser(socket.socketDescriptor()))
        return {};
    socket.write(encodeMessage(TerminateMessage));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            return {TerminateStatus::NoAnswer, 0};
    }
    while (socket.bytesAvailable() < MessageSize) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return {TerminateStatus::NoAnswer, 0};
    }
    return {TerminateStatus::Answered, decodeMessage(socket.read(MessageSize))};
}
