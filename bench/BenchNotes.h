#pragma once

#include "notes/ClassesUnit.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// Notes as people keep them, for the benchmarks: a title line, a few lines of
// mixed Chinese and English with some bold, italic and coloured words, stored
// as the program itself stores them. The same notes can be written for
// Brisquel and, as plain text, for xpad, so that both start from one set.
namespace BenchNotes {

// The first line of a note's text; xpad names its window after it.
QString titleLine(int index);

// The note's body as RTF, as the note window saves it (needs a GUI
// application object for fonts).
QByteArray body(int index);
QString plainText(int index);

// A 1 MiB note in the style the Windows rich-text control saves: two
// Chinese fonts and a Western one, colours, styles, tabs, soft breaks,
// alignment, Chinese text as code page 936 bytes and an emoji as \uN.
QByteArray megabyteNote();

// Before the application object: the offscreen platform unless another is
// asked for, and settings in a test location, never the user's own.
void prepareProcess();

// The look the program starts with when no settings are stored.
void useDefaultSettings();

// Note number index with its body, placed on a 1024 x 768 screen; every
// twentieth note has an alarm some days ahead.
std::unique_ptr<TNoteClass> makeNote(int index, bool hidden);

// True for the notes that open at start when visible of count are shown.
bool isVisible(int index, int count, int visible);

// Writes count notes into the user folder below programFolder, visible of
// them shown, the rest hidden (every fifth hidden one with auto-show armed
// some days ahead). Answers the user folder.
QString writeBrisquelNotes(const QString &programFolder, int count, int visible);

// The same notes in xpad's own form: info-* and content-* files in its
// configuration folder, plus its default style.
void writeXpadNotes(const QString &configFolder, int count, int visible);

// Milliseconds of each of runs calls of work.
QList<double> timeRuns(int runs, const std::function<void()> &work);
double median(QList<double> values);
double percentile(QList<double> values, double fraction);

} // namespace BenchNotes
