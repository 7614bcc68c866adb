// Stands in for a running program (and for a requester) in the single-instance
// tests, so that they work with real processes.
//
//   instance_helper serve <marker>     take the single instance (exit 3 when
//                                      another holds it), print "ready listening"
//                                      or "ready alone", and run until a terminate
//                                      request; its handler writes <marker>
//   instance_helper serve-late <marker>
//                                      the same, but the handler is set only once
//                                      the first request has come in, as when a
//                                      request arrives during start-up
//   instance_helper terminate          send a terminate request, print the outcome
//   instance_helper send-as <uid> <socket>
//                                      switch to another user, send the terminate
//                                      message over a raw connection, print
//                                      "answer N", "dropped" (connected, no answer)
//                                      or "refused" (exit 4 when the switch fails)
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Like the main form: the handler spins a nested event loop before it shuts
// down, so that an early answer would show as a missing marker.
int terminateHandler(const QString &marker)
{
    QEventLoop wait;
    QTimer::singleShot(300, &wait, &QEventLoop::quit);
    wait.exec();
    QFile file(marker);
    if (file.open(QIODevice::WriteOnly))
        file.write("terminated\n");
    file.close();
    QCoreApplication::quit();
    return 1;
}

int serve(const QString &marker, bool late)
{
    SingleInstance instance;
    if (instance.IsAlreadyRunning())
        return 3;
    if (!late)
        instance.setTerminateHandler([marker] { return terminateHandler(marker); });
    say(instance.isListening() ? "ready listening" : "ready alone");
    if (late) {
        QEventLoop startUp;
        QObject::connect(&instance, &SingleInstance::terminateRequested, &startUp, &QEventLoop::quit);
        startUp.exec();
        instance.setTerminateHandler([marker] { return terminateHandler(marker); });
    }
    const int result = QCoreApplication::exec();
    instance.setTerminateHandler({});
    return result;
}

int terminate()
{
    const SingleInstance::TerminateReply reply = SingleInstance::SendTerminateRequest(-1);
    switch (reply.status) {
    case SingleInstance::TerminateStatus::NoInstance:
        say("no-instance");
        break;
    case SingleInstance::TerminateStatus::Answered:
        say("answered " + QByteArray::number(reply.answer));
        break;
    case SingleInstance::TerminateStatus::NoAnswer:
        say("no-answer");
        break;
    }
    return 0;
}

int sendAs(uid_t uid, const QString &socketPath)
{
    if (::setgid(uid) != 0 || ::setuid(uid) != 0)
        return 4;
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(10000)) {
        say("refused");
        return 0;
    }
    QByteArray message(4, Qt::Uninitialized);
    qToLittleEndian<qint32>(SingleInstance::TerminateMessage, message.data());
    socket.write(message);
    socket.waitForBytesWritten(10000);
    while (socket.bytesAvailable() < 4 && socket.waitForReadyRead(10000)) {
    }
    if (socket.bytesAvailable() < 4)
        say("dropped");
    else
        say("answer " + QByteArray::number(qFromLittleEndian<qint32>(socket.read(4).constData())));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString mode = arguments.value(1);
    if ((mode == QLatin1String("serve") || mode == QLatin1String("serve-late")) && arguments.size() == 3)
        return serve(arguments.at(2), mode == QLatin1String("serve-late"));
    if (mode == QLatin1String("terminate"))
        return terminate();
    if (mode == QLatin1String("send-as") && arguments.size() == 4)
        return sendAs(arguments.at(2).toUInt(), arguments.at(3));
    say("usage: instance_helper serve|serve-late <marker> | terminate | send-as <uid> <socket>");
    return 2;
}
