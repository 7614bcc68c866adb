#pragma once

#include <QByteArrayView>
#include <QString>

// Feeds one input to a reader of outside data the way the program reads that
// kind of file, and checks what came out. Shared by the fuzz entry points
// and by the test that replays their seeds and the inputs that once failed.
// Each check returns an empty text when everything held, else what failed.
namespace ReaderChecks {

// Prepares what the readers need: a folder for the files they read (it also
// serves as the home and program folder), and prompts answered "no" without
// a window. Call once, before the first check.
void prepare(const QString &folder);

// A ".knt" note file of any version; what loads must save and load again
// unchanged.
QString note(QByteArrayView input);
// A note body; both readers agree on the text, and our own output reads back
// as itself.
QString rtf(QByteArrayView input);
// A ".tdl" to-do file; saving what was read keeps every task.
QString todo(QByteArrayView input);
// The settings store; what it writes reads back as itself, and the settings
// load from it.
QString registry(QByteArrayView input);

} // namespace ReaderChecks
