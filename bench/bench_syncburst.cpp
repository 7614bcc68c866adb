// A sync tool delivering 1,000 notes at once into the folder of a running
// note list, each renamed into place as sync tools do: the time of the one
// pass that takes them all in (100 of them open a window), and that the pass
// after it, and after the program's own saves, finds nothing to take in.

#include "app/InternalProcs.h"
#include "bench/BenchNotes.h"
#include "notes/NoteManagerUnit.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kNotes = 1000;
constexpr int kOpen = 100;

} // namespace

int main(int argc, char **argv)
{
    BenchNotes::prepareProcess();
    QApplication app(argc, argv);
    BenchNotes::useDefaultSettings();
    QTemporaryDir staging;
    QTemporaryDir live;
    if (!staging.isValid() || !live.isValid())
        return 1;

    const QString arriving = BenchNotes::writeBrisquelNotes(staging.path(), kNotes, kOpen);
    UserFolder = live.path() + QLatin1Char('/');
    TNotesManager manager;
    Starting = false;
    int passes = 0;
    QObject::connect(manager.NoteFiles(), &FolderWatch::changed, [&passes] { ++passes; });

    const QStringList names = QDir(arriving).entryList(QDir::Files);
    for (const QString &name : names)
        QFile::rename(arriving + name, UserFolder + name);
    QElapsedTimer taking;
    taking.start();
    manager.NoteFiles()->scan();
    const double ms = double(taking.nsecsElapsed()) / 1e6;
    std::printf("RESULT\ttaking in %d notes synced at once, %d of them opening a window (offscreen)\t%.0f\tms\t"
                "< 1000 ms\t%s\n",
                manager.Notes.Count(), kOpen, ms, ms < 1000.0 && manager.Notes.Count() == kNotes ? "met" : "MISSED");

    passes = 0;
    manager.SaveAll();
    manager.NoteFiles()->scan();
    std::printf("RESULT\tpasses taking anything in after saving all of them\t%d\t\t0\t%s\n", passes,
                passes == 0 ? "met" : "MISSED");
    manager.CloseAll();
    return 0;
}
