// The once-a-second scan (CheckTimers, and the rest of the main form's tick)
// over 10,000 notes, 100 of them open, with none, some and all of them
// carrying an alarm and an auto-show time that are not yet due. Prints the
// median and the 90th percentile of many scans.

#include "app/InternalProcsGui.h"
#include "bench/BenchNotes.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/DateTime.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

constexpr int kNotes = 10000;
constexpr int kOpen = 100;
constexpr int kScans = 300;

void report(const char *what, const QList<double> &times)
{
    const double median = BenchNotes::median(times);
    std::printf("RESULT\tscan of %d notes, %s\t%.3f\tms\t< 1 ms\t%s\n", kNotes, what, median,
                median < 1.0 ? "met" : "MISSED");
    std::printf("RESULT\t  90th percentile\t%.3f\tms\t\t\n", BenchNotes::percentile(times, 0.9));
}

// Arms or disarms the alarm and the auto-show of every note for which
// chosen answers true; both lie days ahead, so no scan fires anything.
void arm(TNotesManager &manager, const std::function<bool(int)> &chosen)
{
    const TDateTime later = Now() + 5.0;
    for (int index = 0; index < manager.Notes.Count(); ++index) {
        TNoteClass &note = *manager.Notes.Get(index)->Note;
        const bool armed = chosen(index);
        note.AlarmSet = armed;
        note.AlarmTime = later;
        note.AutoShowState = armed ? 1 : 0;
        note.AutoShowTime = later;
    }
}

} // namespace

int main(int argc, char **argv)
{
    BenchNotes::prepareProcess();
    QApplication app(argc, argv);
    BenchNotes::useDefaultSettings();
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;

    BenchNotes::writeBrisquelNotes(folder.path(), kNotes, kOpen);
    QElapsedTimer loading;
    loading.start();
    TNotesManager manager;
    std::printf("RESULT\tloading %d notes, %d of them opening a window (offscreen)\t%.0f\tms\t\t\n", kNotes, kOpen,
                double(loading.nsecsElapsed()) / 1e6);
    Starting = false;

    const auto scan = [&manager] { manager.CheckTimers(); };
    const auto tick = [&manager] {
        manager.CheckTimers();
        HideAppWindows();
    };

    report("as written (alarms on 5 %, auto-show on 20 % of the hidden)", BenchNotes::timeRuns(kScans, scan));
    arm(manager, [](int) { return false; });
    report("nothing armed", BenchNotes::timeRuns(kScans, scan));
    arm(manager, [](int index) { return index % 10 == 0; });
    report("alarm and auto-show armed on 10 %", BenchNotes::timeRuns(kScans, scan));
    arm(manager, [](int) { return true; });
    report("alarm and auto-show armed on all", BenchNotes::timeRuns(kScans, scan));
    report("the whole tick (scan and hiding the main form), all armed", BenchNotes::timeRuns(kScans, tick));

    // Closed without the closing saves of 10,000 notes, which are no part of
    // this benchmark.
    for (int index = 0; index < manager.Notes.Count(); ++index)
        delete manager.Notes.Get(index)->Window.data();
    return 0;
}
