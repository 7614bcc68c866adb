// Speed of the note-body RTF codec on a 1 MiB note of mixed formatted text:
// RTF to plain text (MiB/s), RTF into a QTextDocument and the document back
// to RTF (ms). Prints the best of several runs.

#include "bench/BenchNotes.h"
#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// Best time of a few runs, in milliseconds.
double bestMilliseconds(int runs, const std::function<void()> &work)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    BenchNotes::prepareProcess();
    QGuiApplication app(argc, argv);

    const QByteArray note = BenchNotes::megabyteNote();
    const double mebibytes = note.size() / double(1024 * 1024);

    qsizetype characters = 0;
    const double plainMs = bestMilliseconds(20, [&] { characters = Rtf::toPlainText(note).size(); });

    QTextDocument document;
    const double readMs = bestMilliseconds(5, [&] { Rtf::readInto(document, note); });

    qsizetype written = 0;
    const double writeMs = bestMilliseconds(5, [&] { written = Rtf::write(document).size(); });

    std::printf("note: %lld bytes of RTF, %lld characters of text, %d paragraphs\n", qlonglong(note.size()),
                qlonglong(characters), document.blockCount());
    std::printf("RTF to plain text:    %8.2f ms  %8.1f MiB/s  (goal: 100 MiB/s or more)\n", plainMs,
                mebibytes / (plainMs / 1000.0));
    std::printf("RTF to QTextDocument: %8.2f ms  (goal: under 100 ms)\n", readMs);
    std::printf("QTextDocument to RTF: %8.2f ms  (goal: under 100 ms), %lld bytes\n", writeMs, qlonglong(written));
    return 0;
}
