// Loading and saving note files, RTF to plain text, and a 1 MiB note into
// the note window's editor and back. Saving is shown in two parts: the
// program's own work (the editor's content to RTF and the file image) and
// the file system's (a temporary file written, flushed to disk and renamed
// over the note). Prints medians of repeated runs.

#include "app/InternalProcs.h"
#include "bench/BenchNotes.h"
#include "notes/NoteManagerUnit.h"
#include "notes/NoteWrapper.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/RtfReader.h"
#include "platform/SafeFile.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kFiles = 1000;
constexpr int kRounds = 3;
constexpr int kTypicalNotes = 20;
constexpr int kTypicalRuns = 20;

void result(const QString &measure, double value, const char *unit, const char *goal = "", const char *verdict = "")
{
    std::printf("RESULT\t%s\t%.3f\t%s\t%s\t%s\n", qPrintable(measure), value, unit, goal, verdict);
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

QList<std::shared_ptr<TNoteClass>> makeNotes()
{
    QList<std::shared_ptr<TNoteClass>> notes;
    for (int index = 0; index < kFiles; ++index)
        notes.append(BenchNotes::makeNote(index, true));
    return notes;
}

void benchSaveAndLoad()
{
    QTemporaryDir folder;
    setProgramFolder(folder.path());
    InitUserFolder();
    const QList<std::shared_ptr<TNoteClass>> notes = makeNotes();

    // Each round moves every note, so that every save has something to write.
    QList<double> imageTimes;
    QList<double> saveTotals;
    QList<double> saveTimes;
    for (int round = 1; round <= kRounds; ++round) {
        double total = 0;
        for (const auto &note : notes) {
            note->Left += round;
            imageTimes.append(BenchNotes::timeRuns(1, [&] { note->toFileBytes(); }).constFirst());
            const double ms = BenchNotes::timeRuns(1, [&] { note->SaveToFile(NoteFileName(note->NoteID)); })
                                  .constFirst();
            saveTimes.append(ms);
            total += ms;
        }
        saveTotals.append(total);
    }
    result(QStringLiteral("saving %1 changed note files (SaveToFile), all").arg(kFiles), BenchNotes::median(saveTotals),
           "ms");
    result(QStringLiteral("  one file, median"), BenchNotes::median(saveTimes), "ms");
    result(QStringLiteral("  of which the file image (toFileBytes)"), BenchNotes::median(imageTimes), "ms");
    const QList<double> unchangedTimes = BenchNotes::timeRuns(kRounds, [&] {
        for (const auto &note : notes)
            note->SaveToFile(NoteFileName(note->NoteID));
    });
    result(QStringLiteral("saving %1 unchanged note files, all (as at exit)").arg(kFiles),
           BenchNotes::median(unchangedTimes), "ms");

    QList<double> loadTotals;
    QList<double> loadTimes;
    for (int round = 0; round < kRounds; ++round) {
        double total = 0;
        for (const auto &note : notes) {
            TNoteClass loaded(note->NoteID);
            const double ms
                = BenchNotes::timeRuns(1, [&] { loaded.LoadFromFile(NoteFileName(note->NoteID)); }).constFirst();
            loadTimes.append(ms);
            total += ms;
        }
        loadTotals.append(total);
    }
    result(QStringLiteral("loading %1 note files (LoadFromFile), all").arg(kFiles), BenchNotes::median(loadTotals),
           "ms");
    result(QStringLiteral("  one file, median"), BenchNotes::median(loadTimes), "ms");

    // The start-up's share for hidden notes: folder listing, a record and a
    // wrapper for each, no window.
    const QList<double> managerTimes = BenchNotes::timeRuns(kRounds, [] { TNotesManager manager; });
    result(QStringLiteral("notes manager over %1 hidden notes (start-up share)").arg(kFiles),
           BenchNotes::median(managerTimes), "ms");
}

void benchTypicalSave()
{
    QTemporaryDir folder;
    setProgramFolder(folder.path());
    InitUserFolder();
    std::vector<std::unique_ptr<TNoteWrapper>> wrappers;
    for (int index = 0; index < kTypicalNotes; ++index) {
        const auto note = BenchNotes::makeNote(index, false);
        note->SaveToFile(NoteFileName(note->NoteID));
        wrappers.push_back(std::make_unique<TNoteWrapper>(note->NoteID, nullptr));
    }

    const auto timeEach = [&wrappers](const std::function<void(TNoteWrapper &)> &work) {
        QList<double> times;
        for (int run = 0; run < kTypicalRuns; ++run) {
            for (const auto &wrapper : wrappers)
                times.append(BenchNotes::timeRuns(1, [&] { work(*wrapper); }).constFirst());
        }
        return times;
    };
    const QList<double> readTimes = timeEach([](TNoteWrapper &wrapper) { wrapper.ReadFromWindow(); });
    const QList<double> ownTimes = timeEach([](TNoteWrapper &wrapper) {
        wrapper.ReadFromWindow();
        wrapper.Note->toFileBytes();
    });
    const QList<double> fileTimes = timeEach(
        [](TNoteWrapper &wrapper) { SafeFile::write(wrapper.FileName, wrapper.Note->toFileBytes()); });
    const QList<double> unchangedTimes = timeEach([](TNoteWrapper &wrapper) { wrapper.Save(); });
    // A typed character before each save gives it something to write.
    QList<double> editedTimes;
    for (int run = 0; run < kTypicalRuns; ++run) {
        for (const auto &wrapper : wrappers) {
            wrapper->Window->NoteEdit()->textCursor().insertText(QStringLiteral("x"));
            editedTimes.append(BenchNotes::timeRuns(1, [&] { wrapper->Save(); }).constFirst());
        }
    }
    const double own = BenchNotes::median(ownTimes);
    result(QStringLiteral("saving a typical open note after an edit (Save), median"), BenchNotes::median(editedTimes),
           "ms");
    result(QStringLiteral("  the program's part: editor to RTF and file image"), own, "ms", "< 1 ms",
           verdict(own < 1.0));
    result(QStringLiteral("    of which the editor to RTF (ReadFromWindow)"), BenchNotes::median(readTimes), "ms");
    result(QStringLiteral("  the file system's part: write, flush to disk, rename"), BenchNotes::median(fileTimes),
           "ms");
    result(QStringLiteral("storing an unchanged open note (Save), as a second after start"),
           BenchNotes::median(unchangedTimes), "ms");
    for (const auto &wrapper : wrappers)
        delete wrapper->Window.data();
}

void benchPlainText()
{
    QList<QByteArray> bodies;
    qsizetype bytes = 0;
    for (int index = 0; index < kFiles; ++index) {
        bodies.append(BenchNotes::body(index));
        bytes += bodies.constLast().size();
    }
    const QList<double> allTimes = BenchNotes::timeRuns(5, [&] {
        for (const QByteArray &body : std::as_const(bodies))
            Rtf::toPlainText(body);
    });
    const double all = BenchNotes::median(allTimes);
    result(QStringLiteral("RTF to plain text, %1 typical notes (%2 bytes each on average)")
               .arg(kFiles)
               .arg(bytes / kFiles),
           all, "ms");
    result(QStringLiteral("  throughput"), double(bytes) / (1024.0 * 1024.0) / (all / 1000.0), "MiB/s");

    const QByteArray big = BenchNotes::megabyteNote();
    result(QStringLiteral("RTF to plain text, 1 MiB note"),
           BenchNotes::median(BenchNotes::timeRuns(10, [&] { Rtf::toPlainText(big); })), "ms");
}

void benchMegabyteEditor()
{
    const QByteArray big = BenchNotes::megabyteNote();
    TNoteForm window;
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.resize(400, 600);
    window.show();
    QApplication::processEvents();

    const QList<double> loadTimes = BenchNotes::timeRuns(5, [&] { window.LoadContent(big); });
    result(QStringLiteral("1 MiB note into the editor (LoadContent)"), BenchNotes::median(loadTimes), "ms");
    const QList<double> shownTimes = BenchNotes::timeRuns(5, [&] {
        window.LoadContent(big);
        QApplication::processEvents();
    });
    result(QStringLiteral("  and laid out and painted"), BenchNotes::median(shownTimes), "ms");
    qsizetype written = 0;
    const QList<double> saveTimes = BenchNotes::timeRuns(5, [&] { written = window.SaveContent().size(); });
    result(QStringLiteral("1 MiB note out of the editor (SaveContent, %1 bytes)").arg(written),
           BenchNotes::median(saveTimes), "ms");
    window.UpdateTimer->stop();
}

} // namespace

int main(int argc, char **argv)
{
    BenchNotes::prepareProcess();
    QApplication app(argc, argv);
    BenchNotes::useDefaultSettings();
    // No delayed stores or scans run in between: nothing here enters the
    // event loop while notes are attached to windows.
    Starting = false;

    benchSaveAndLoad();
    benchTypicalSave();
    benchPlainText();
    benchMegabyteEditor();
    return 0;
}
