#include "platform/TerminationSignal.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

int &writeEnd()
{
    static int fd = -1;
    return fd;
}

int &readEnd()
{
    static int fd = -1;
    return fd;
}

// Only async-signal-safe work here: one byte into the socket.
void onSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(writeEnd(), &byte, 1);
}

} // namespace

TerminationSignal::TerminationSignal(QObject *parent)
    : QObject(parent)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return;
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    writeEnd() = fds[0];
    readEnd() = fds[1];
    m_notifier = new QSocketNotifier(readEnd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignal::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

TerminationSignal::~TerminationSignal()
{
    if (!m_notifier)
        return;
    for (const int number : kSignals)
        std::signal(number, SIG_DFL);
    delete m_notifier;
    ::close(readEnd());
    ::close(writeEnd());
    readEnd() = writeEnd() = -1;
}

void TerminationSignal::readSignal()
{
    unsigned char byte = 0;
    if (::read(readEnd(), &byte, 1) == 1)
        emit received(byte);
}
