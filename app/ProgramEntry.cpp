#include "app/ProgramEntry.h"

#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/MainFormUnit.h"
#include "dialogs/frmSplashForm.h"
#include "errors/PellixErrorHandler.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignal.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProgressDialog>
#include <QThread>

#include <memory>

namespace {

// Only ASCII letters change: a Unicode upper-casing would turn "/ſ" into "/S".
QString asciiUpper(const QString &text)
{
    QString result = text;
    for (QChar &character : result) {
        if (character >= u'a' && character <= u'z')
            character = QChar(character.unicode() - u'a' + u'A');
    }
    return result;
}

QStringList filesBelow(const QString &root)
{
    QStringList files;
    // Links are listed, never followed: only the tree itself is deleted.
    QDirIterator entries(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (entries.hasNext())
        files.append(entries.next());
    return files;
}

// Deletes the folder and everything below it without asking per file, file by
// file so that the progress window has something to show.
void deleteTreeWithProgress(const QString &root, const QString &title)
{
    const QStringList files = filesBelow(root);
    // No cancel button: the user has already agreed to the whole deletion.
    QProgressDialog progress(QString(), QString(), 0, int(files.size()) + 1);
    progress.setWindowTitle(title);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setValue(0);
    int done = 0;
    for (const QString &file : files) {
        QFile::remove(file);
        progress.setValue(++done);
    }
    // Folders, links to folders and whatever a plain remove left behind.
    QDir(root).removeRecursively();
    progress.setValue(progress.maximum());
}

constexpr int kSplashMs = 1000;

} // namespace

EntryMode entryModeFor(const QStringList &arguments)
{
    const QString first = arguments.size() > 1 ? asciiUpper(arguments.at(1)) : QString();
    if (first == QLatin1String("/UNINSTALL"))
        return EntryMode::Uninstall;
    if (first == QLatin1String("/TERMINATE"))
        return EntryMode::Terminate;
    if (first == QLatin1String("/S"))
        return EntryMode::NoSplash;
    return EntryMode::Normal;
}

int RunTerminateRequest()
{
    // Waits as long as the running instance takes to shut down; should it die
    // instead, its socket closes and the wait ends.
    SingleInstance::SendTerminateRequest(-1);
    return 0;
}

int RunUninstall()
{
    if (!ConfirmYesNo(QStringLiteral("你是否要删除所有的便笺?")))
        return 0;
    QCoreApplication::setApplicationName(QStringLiteral("Brisquel Uninstall"));
    deleteTreeWithProgress(UsersFolder(), QCoreApplication::applicationName());
    return 0;
}

int RunNormal(bool showSplash)
{
    SingleInstance instance;
    if (instance.IsAlreadyRunning())
        return 0;
    CreateSplash(showSplash);
    Starting = true;
    ShuttingDown = false;
    QCoreApplication::setApplicationName(QStringLiteral("Brisquel"));
    // Lives until the function returns, after the message loop and the saving.
    TPellixErrorHandler errorHandler;
    if (SplashForm) {
        SplashForm->show();
        SplashForm->repaint();
        QCoreApplication::processEvents();
        QThread::msleep(kSplashMs);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    std::unique_ptr<TBrisquelMainForm> mainForm;
    try {
        mainForm = std::make_unique<TBrisquelMainForm>();
    } catch (...) {
        ReleaseSplash();
        throw;
    }
    BrisquelMainForm = mainForm.get();
    ReleaseSplash();
    instance.setTerminateHandler([] { return BrisquelMainForm ? BrisquelMainForm->TerminateMessage() : 1; });
    TerminationSignal termination;
    QObject::connect(&termination, &TerminationSignal::received, [] { ShutdownApplication(); });
    const int exitCode = QApplication::exec();
    instance.setTerminateHandler({});
    // Whatever ended the loop, the notes are saved before the process goes.
    ReleaseEngine(false);
    return exitCode;
}
