#pragma once

#include "platform/LocalSocket.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class InstanceRequest;
class QLockFile;
class QSocketNotifier;

// The single-instance service of the normal run. The instance that holds the
// lock file "Brisquel_istance.lock" in the user's private runtime folder is the
// running program; it also listens on the local socket "Brisquel_istance" in
// that folder, which stands for its main window: a "/TERMINATE" run connects,
// sends the terminate message and waits for the answer.
//
// Wire format, both ways: one 4-byte little-endian signed integer. The
// requester sends TerminateMessage; the instance answers with the value its
// terminate handler returned, after the handler has returned.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    static constexpr qint32 TerminateMessage = 6702;

    enum class TerminateStatus {
        NoInstance, // nothing listens: no running program
        Answered,   // the running program ran its handler and answered
        NoAnswer,   // connected, but the program went away or the time ran out
    };
    struct TerminateReply
    {
        TerminateStatus status = TerminateStatus::NoInstance;
        qint32 answer = 0;
    };

    // Needs the application object, since the server runs on its event loop.
    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock, kept until this object is destroyed. True when another
    // process holds it. When the lock cannot be created at all (no usable
    // folder, file system error) this returns false and the run goes on as
    // the first instance, without a server.
    bool IsAlreadyRunning();

    bool holdsLock() const;
    bool isListening() const;

    // Runs for each terminate request; its result is the answer sent back.
    // Requests are served one at a time, never inside a running handler.
    // Whoever installs a handler clears it (empty function) before the objects
    // it uses go away. While there is no handler, requests are held, without
    // an answer; setting one serves them from the event loop.
    void setTerminateHandler(std::function<int()> handler);

    // Asks the running instance to terminate and waits for its answer, at
    // most timeoutMs milliseconds (-1: without limit). Returns at once when
    // no instance listens.
    static TerminateReply SendTerminateRequest(int timeoutMs);

    // The private folder of the lock and the socket, created with mode 0700
    // when missing; empty when no folder owned by the user can be had.
    static QString instanceFolder();

signals:
    // A terminate request came in; it is served once a handler is set.
    void terminateRequested();

private:
    void startServer(const QString &folder);
    void acceptConnections();
    void readRequest(InstanceRequest *request);
    void serveRequests();

    std::unique_ptr<QLockFile> m_lock;
    LocalSocket m_server;
    QString m_socketPath;
    QSocketNotifier *m_serverNotifier = nullptr;
    std::function<int()> m_handler;
    QList<QPointer<InstanceRequest>> m_requests;
    bool m_serving = false;
};
