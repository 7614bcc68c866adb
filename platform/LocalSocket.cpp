#include "platform/LocalSocket.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

const sockaddr *genericAddress(const sockaddr_un &address)
{
    return reinterpret_cast<const sockaddr *>(&address);
}

} // namespace

LocalSocket::~LocalSocket()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

LocalSocket::LocalSocket(LocalSocket &&other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
{
}

LocalSocket &LocalSocket::operator=(LocalSocket &&other) noexcept
{
    std::swap(m_descriptor, other.m_descriptor);
    return *this;
}

LocalSocket LocalSocket::forPath(const QString &path, sockaddr_un &address)
{
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty() || native.size() >= qsizetype(sizeof address.sun_path))
        return {};
    address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, native.constData(), std::size_t(native.size()));
    return LocalSocket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

LocalSocket LocalSocket::listen(const QString &path)
{
    sockaddr_un address;
    LocalSocket socket = forPath(path, address);
    if (!socket.isValid())
        return {};
    ::unlink(address.sun_path);
    if (::bind(socket.m_descriptor, genericAddress(address), sizeof address) != 0
        || ::chmod(address.sun_path, 0600) != 0 || ::listen(socket.m_descriptor, SOMAXCONN) != 0)
        return {};
    return socket;
}

LocalSocket LocalSocket::accept() const
{
    int descriptor;
    do {
        descriptor = ::accept4(m_descriptor, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    return LocalSocket(descriptor);
}

LocalSocket LocalSocket::connectTo(const QString &path, QDeadlineTimer deadline)
{
    constexpr int RetryMs = 10;
    sockaddr_un address;
    LocalSocket socket = forPath(path, address);
    if (!socket.isValid())
        return {};
    for (;;) {
        if (::connect(socket.m_descriptor, genericAddress(address), sizeof address) == 0)
            return socket;
        if (errno == EINTR)
            continue;
        // The listener's queue is full: it is busy, not gone.
        if (errno != EAGAIN || deadline.hasExpired())
            return {};
        const qint64 remaining = deadline.remainingTime();
        ::poll(nullptr, 0, remaining < 0 ? RetryMs : int(qMin<qint64>(remaining, RetryMs)));
    }
}

bool LocalSocket::peerIsSameUser() const
{
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    if (m_descriptor < 0 || ::getsockopt(m_descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0
        || length != sizeof credentials)
        return false;
    return credentials.uid == ::geteuid();
}

LocalSocket::ReadState LocalSocket::readAvailable(QByteArray &into, qsizetype size) const
{
    char buffer[64];
    while (into.size() < size) {
        const ssize_t count = ::recv(m_descriptor, buffer, std::size_t(qMin<qsizetype>(size - into.size(), sizeof buffer)), 0);
        if (count > 0) {
            into.append(buffer, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? ReadState::Open : ReadState::Closed;
    }
    return ReadState::Open;
}

bool LocalSocket::read(QByteArray &into, qsizetype size, QDeadlineTimer deadline) const
{
    for (;;) {
        const ReadState state = readAvailable(into, size);
        if (into.size() >= size)
            return true;
        if (state == ReadState::Closed || !waitFor(POLLIN, deadline))
            return false;
    }
}

bool LocalSocket::write(const QByteArray &bytes, QDeadlineTimer deadline) const
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        // A peer that has gone must not end this process with SIGPIPE.
        const ssize_t count = ::send(m_descriptor, bytes.constData() + written, std::size_t(bytes.size() - written),
                                     MSG_NOSIGNAL);
        if (count >= 0) {
            written += count;
            continue;
        }
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitFor(POLLOUT, deadline))
            return false;
    }
    return true;
}

bool LocalSocket::waitFor(short events, QDeadlineTimer deadline) const
{
    for (;;) {
        const qint64 remaining = deadline.remainingTime();
        pollfd entry{m_descriptor, events, 0};
        const int ready = ::poll(&entry, 1, remaining < 0 ? -1 : int(qMin<qint64>(remaining, INT_MAX)));
        // A hang-up or an error counts as ready: the next call reports it.
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}
