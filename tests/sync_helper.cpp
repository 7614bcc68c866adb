// The real program (its normal run, engine and windows) with a user who
// takes orders from stdin, one per line, for the tests that keep two note
// folders in step with a sync tool. Every order is carried out through the
// tray menu's and the note windows' actions and by typing, and answered with
// one JSON line on stdout:
//
//   new TEXT        a new note from the tray, TEXT typed in   {"id": ...}
//   edit ID TEXT    the note's text replaced by TEXT           {"ok": true}
//   append ID TEXT  TEXT typed at the end of the note's text   {"ok": true}
//   delete ID       "删除便笺" in the note's window, answered yes {"ok": true}
//   list            every note of the list                     [{...}, ...]
//   quit            the tray's exit command; the process ends with 0
//
// Failures answer {"error": "..."}. Orders that arrive during the start
// wait until it is over.
#include "app/BrisquelApplication.h"
#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/FontFallback.h"
#include "app/InternalProcs.h"
#include "app/MainFormUnit.h"
#include "app/ProgramEntry.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/RtfReader.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QQueue>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

// Longer than the window's delayed store, on a busy machine.
constexpr int kStepWaitMs = 20000;

// Lets messages run until `done` holds, for at most kStepWaitMs.
bool waitFor(const std::function<bool()> &done)
{
    const QDeadlineTimer deadline(kStepWaitMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

TNoteWrapper *findNote(const QString &id)
{
    for (TNoteWrapper *wrapper : NoteEngine->Manager->Notes.snapshot()) {
        if (wrapper->NoteID == id)
            return wrapper;
    }
    return nullptr;
}

QJsonObject failure(const QString &why)
{
    return {{QStringLiteral("error"), why}};
}

bool trigger(QAction *action)
{
    if (!action || !action->isEnabled())
        return false;
    action->trigger();
    return true;
}

// Key presses that carry the text, one character each: the test library's
// key clicks take only ASCII.
void typeText(QWidget *editor, const QString &text)
{
    for (const QChar character : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(character));
        QCoreApplication::sendEvent(editor, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(character));
        QCoreApplication::sendEvent(editor, &release);
    }
}

enum class Typing { Replace, Append };

// Replaces the window's text as a user does (select all, type) or types at
// its end, and waits for the window's delayed store to take it.
QJsonObject typeInto(TNoteForm *window, const QString &text, Typing typing = Typing::Replace)
{
    window->activateWindow();
    window->NoteEdit()->setFocus();
    if (typing == Typing::Replace) {
        if (!trigger(window->ActionList1().SelectAll))
            return failure(QStringLiteral("select all is not available"));
    } else {
        QKeyEvent toEnd(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QCoreApplication::sendEvent(window->NoteEdit(), &toEnd);
    }
    const QString expected = typing == Typing::Replace ? text : window->NoteEdit()->toPlainText() + text;
    typeText(window->NoteEdit(), text);
    if (window->NoteEdit()->toPlainText() != expected)
        return failure(QStringLiteral("the editor holds ") + window->NoteEdit()->toPlainText());
    const QPointer<TNoteForm> alive(window);
    if (!waitFor([&] { return !alive || !alive->UpdateTimer->isActive(); }))
        return failure(QStringLiteral("the note was not stored"));
    return {{QStringLiteral("ok"), true}};
}

QJsonObject newNote(const QString &text)
{
    const QList<TNoteWrapper *> before = NoteEngine->Manager->Notes.snapshot();
    if (!trigger(BrisquelMainForm->NewNote1))
        return failure(QStringLiteral("the tray's new-note command is not available"));
    TNoteWrapper *made = nullptr;
    waitFor([&] {
        for (TNoteWrapper *wrapper : NoteEngine->Manager->Notes.snapshot()) {
            if (!before.contains(wrapper) && wrapper->IsShown())
                made = wrapper;
        }
        return made != nullptr;
    });
    if (!made)
        return failure(QStringLiteral("no new note window"));
    const QString id = made->NoteID;
    QJsonObject answer = typeInto(made->Window, text);
    if (answer.contains(QStringLiteral("ok")))
        answer = {{QStringLiteral("id"), id}};
    return answer;
}

QJsonObject editNote(const QString &id, const QString &text, Typing typing)
{
    TNoteWrapper *wrapper = findNote(id);
    if (!wrapper)
        return failure(QStringLiteral("no note ") + id);
    // A closed note is opened first, as from the notes manager.
    if (!wrapper->IsShown())
        wrapper->ShowNote();
    if (!wrapper->IsShown())
        return failure(QStringLiteral("the note's window does not open"));
    return typeInto(wrapper->Window, text, typing);
}

QJsonObject deleteNote(const QString &id)
{
    TNoteWrapper *wrapper = findNote(id);
    if (!wrapper || !wrapper->IsShown())
        return failure(QStringLiteral("no open note ") + id);
    if (!trigger(wrapper->Window->ActionList1().DeleteNote))
        return failure(QStringLiteral("the delete command is not available"));
    if (!waitFor([&] { return !findNote(id); }))
        return failure(QStringLiteral("the note stayed in the list"));
    return {{QStringLiteral("ok"), true}};
}

QJsonArray listNotes()
{
    QJsonArray notes;
    for (TNoteWrapper *wrapper : NoteEngine->Manager->Notes.snapshot()) {
        QJsonObject note{{QStringLiteral("id"), wrapper->NoteID},
                         {QStringLiteral("file"), wrapper->FileName},
                         {QStringLiteral("title"), wrapper->Note->Title},
                         {QStringLiteral("text"), Rtf::toPlainText(wrapper->Note->Content)},
                         {QStringLiteral("shown"), wrapper->IsShown()}};
        // What the user sees, which may differ from the record until stored.
        if (wrapper->IsShown())
            note.insert(QStringLiteral("windowText"), wrapper->Window->NoteEdit()->toPlainText());
        notes.append(note);
    }
    return notes;
}

void answer(const QJsonDocument &document)
{
    std::fputs(document.toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Reads orders from stdin and carries them out one at a time once the
// program has started; orders that arrive while one runs wait their turn.
class User : public QObject
{
public:
    User()
        : m_input(STDIN_FILENO, QSocketNotifier::Read)
    {
        connect(&m_input, &QSocketNotifier::activated, this, &User::readInput);
        m_poll.setInterval(50);
        connect(&m_poll, &QTimer::timeout, this, &User::carryOut);
        m_poll.start();
    }

private:
    void readInput()
    {
        char chunk[4096];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            // The test went away: end as the tray's exit would.
            m_input.setEnabled(false);
            m_orders.enqueue(QStringLiteral("quit"));
            return;
        }
        m_pending.append(chunk, got);
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            m_orders.enqueue(QString::fromUtf8(m_pending.left(end)));
            m_pending.remove(0, end + 1);
        }
    }

    void carryOut()
    {
        if (m_busy || Starting || !BrisquelMainForm || !NoteEngine)
            return;
        m_busy = true;
        while (!m_orders.isEmpty())
            run(m_orders.dequeue());
        m_busy = false;
    }

    void run(const QString &order)
    {
        const QString verb = order.section(QLatin1Char(' '), 0, 0);
        const QString rest = order.section(QLatin1Char(' '), 1);
        if (verb == QLatin1String("new")) {
            answer(QJsonDocument(newNote(rest)));
        } else if (verb == QLatin1String("edit") || verb == QLatin1String("append")) {
            answer(QJsonDocument(editNote(rest.section(QLatin1Char(' '), 0, 0), rest.section(QLatin1Char(' '), 1),
                                          verb == QLatin1String("edit") ? Typing::Replace : Typing::Append)));
        } else if (verb == QLatin1String("delete")) {
            answer(QJsonDocument(deleteNote(rest)));
        } else if (verb == QLatin1String("list")) {
            answer(QJsonDocument(listNotes()));
        } else if (verb == QLatin1String("quit")) {
            m_poll.stop();
            m_orders.clear();
            if (!trigger(BrisquelMainForm->Exit1)) {
                answer(QJsonDocument(failure(QStringLiteral("the tray's exit command is not available"))));
                QCoreApplication::exit(1);
            }
        } else {
            answer(QJsonDocument(failure(QStringLiteral("unknown order ") + order)));
        }
    }

    QSocketNotifier m_input;
    QTimer m_poll;
    QByteArray m_pending;
    QQueue<QString> m_orders;
    bool m_busy = false;
};

} // namespace

int main(int argc, char *argv[])
{
    BrisquelApplication app(argc, argv);
    InstallFontFallback();
    setPromptHook([](const PromptRequest &request) { return PromptReply{request.kind == PromptKind::Confirmation, {}}; });
    User user;
    return RunNormal(false);
}
