#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

struct sockaddr_un;

// A stream socket in the file system (AF_UNIX) of the single-instance
// service. Written on the system's calls rather than Qt's network module:
// that module and the Kerberos and proxy libraries it brings cost every run
// more than a megabyte for the one socket the program has.
//
// The socket is non-blocking; the calls that wait take a deadline. Owns its
// descriptor and closes it when destroyed.
class LocalSocket final
{
public:
    LocalSocket() = default;
    ~LocalSocket();
    LocalSocket(LocalSocket &&other) noexcept;
    LocalSocket &operator=(LocalSocket &&other) noexcept;
    LocalSocket(const LocalSocket &) = delete;
    LocalSocket &operator=(const LocalSocket &) = delete;

    bool isValid() const { return m_descriptor >= 0; }
    int descriptor() const { return m_descriptor; }

    // Listens at path, replacing whatever file is there, open to the user
    // only. Invalid when that cannot be done.
    static LocalSocket listen(const QString &path);
    // The next waiting connection; invalid when none waits.
    LocalSocket accept() const;
    // Connects to a listener, waiting while its queue is full. Invalid when
    // nothing listens at path or the deadline passes.
    static LocalSocket connectTo(const QString &path, QDeadlineTimer deadline);

    // Whether the other end runs as this process's user; anything that cannot
    // be verified counts as foreign.
    bool peerIsSameUser() const;

    enum class ReadState { Open, Closed };
    // Appends what has arrived, up to a total of size bytes, without waiting.
    // Closed once the peer hung up or the socket failed.
    ReadState readAvailable(QByteArray &into, qsizetype size) const;
    // Waits until into holds size bytes; false when the peer hung up first
    // or the deadline passed.
    bool read(QByteArray &into, qsizetype size, QDeadlineTimer deadline) const;
    // Writes all bytes, waiting while the peer does not take them.
    bool write(const QByteArray &bytes, QDeadlineTimer deadline) const;

private:
    explicit LocalSocket(int descriptor) : m_descriptor(descriptor) {}
    // A fresh socket and the address of path; invalid when either cannot be had.
    static LocalSocket forPath(const QString &path, sockaddr_un &address);
    bool waitFor(short events, QDeadlineTimer deadline) const;

    int m_descriptor = -1;
};
