// The real program (its normal run, engine and windows) with a user who
// deletes the note N02 as soon as it is open, and says yes to the question,
// for the test of a shutdown during a deletion.
//
//   delete_helper note      "删除便笺" in the note's own window
//   delete_helper manager   "删除便笺" in the notes manager window
//   delete_helper exit      as "note", then the tray's exit command once the
//                           close animation runs
//
// When the window's close animation shows its first frame, the helper prints
// "closing" and, unless it exits by itself, lets messages run until a
// shutdown has begun (a signal or a terminate request from the test), for
// at most 20 seconds.
#include "app/BrisquelApplication.h"
#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/FontFallback.h"
#include "app/InternalProcs.h"
#include "app/MainFormUnit.h"
#include "app/ProgramEntry.h"
#include "dialogs/frmNotesManagerForm.h"
#include "notewindow/NoteFormUnit.h"
#include "tests/support/Actions.h"

#include <QDeadlineTimer>
#include <QMenu>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace {

constexpr int kShutdownWaitMs = 20000;

class ClosingWatch : public QObject
{
public:
    explicit ClosingWatch(bool exitFromTray)
        : m_exitFromTray(exitFromTray)
    {
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto *form = qobject_cast<TNoteForm *>(watched);
        if (m_seen || !form || !form->Closing || event->type() != QEvent::Resize)
            return false;
        m_seen = true;
        std::fputs("closing\n", stdout);
        std::fflush(stdout);
        if (m_exitFromTray) {
            BrisquelMainForm->Exit1->trigger();
            return false;
        }
        const QDeadlineTimer deadline(kShutdownWaitMs);
        while (!ShuttingDown && !deadline.hasExpired()) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
        }
        return false;
    }

private:
    const bool m_exitFromTray;
    bool m_seen = false;
};

TNoteForm *noteWindow(const QString &id)
{
    if (!NoteEngine)
        return nullptr;
    for (TNoteWrapper *wrapper : NoteEngine->Manager->Notes.snapshot()) {
        if (wrapper->NoteID == id && wrapper->IsShown())
            return wrapper->Window;
    }
    return nullptr;
}

QAction *managerDeleteAction(const QString &id)
{
    NoteEngine->ShowNotesManager();
    QTreeWidget *list = NotesManagerForm->NotesListView;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = list->topLevelItem(i);
        if (static_cast<TNoteWrapper *>(row->data(0, Qt::UserRole).value<void *>())->NoteID == id)
            list->setCurrentItem(row);
    }
    NotesManagerForm->updateActions();
    return findAction(NotesManagerForm, QStringLiteral("删除便笺"));
}

} // namespace

int main(int argc, char *argv[])
{
    BrisquelApplication app(argc, argv);
    InstallFontFallback();
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    setPromptHook([](const PromptRequest &request) { return PromptReply{request.kind == PromptKind::Confirmation, {}}; });
    ClosingWatch watch(mode == QLatin1String("exit"));
    QTimer user;
    user.setInterval(50);
    QObject::connect(&user, &QTimer::timeout, [&] {
        TNoteForm *window = noteWindow(QStringLiteral("N02"));
        if (Starting || !BrisquelMainForm || !window)
            return;
        user.stop();
        window->installEventFilter(&watch);
        QAction *deleteNote = mode == QLatin1String("manager") ? managerDeleteAction(QStringLiteral("N02"))
                                                                : findAction(window->NoteMenu(), QStringLiteral("删除便笺"));
        if (deleteNote && deleteNote->isEnabled())
            deleteNote->trigger();
    });
    user.start();
    return RunNormal(false);
}
