#include "tests/support/NoteWindowSetup.h"

#include "app/BrisquelEngineUnit.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "dialogs/frmNotesManagerForm.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/DateTime.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QTest>

void resetNoteWindowWorld(const QString &bodyFace, quint8 bodySize)
{
    Settings = GlobalSettings();
    Settings.NoteFont.setFaceName(bodyFace);
    Settings.NoteFont.Size = bodySize;
    Settings.NoteAnimations = false;
    Starting = false;
    ShuttingDown = false;
    Clock::setNow(QDateTime(QDate(2024, 3, 5), QTime(10, 0)));
    // The folder of the program folder set now, never an earlier or an
    // empty one (which would name the working folder).
    InitUserFolder();
    QDir(UserFolder).removeRecursively();
    InitUserFolder();
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool activateNote(TNoteForm *window)
{
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        return false;
    QTest::keyClick(window, Qt::Key_Shift);
    const auto *editor = window->findChild<NoteEditor *>();
    return editor && editor->hasFocus();
}

void closeNoteEngine()
{
    if (NotesManagerForm)
        NotesManagerForm->close();
    DestroyNoteEngine();
    QTest::qWait(10);
}
