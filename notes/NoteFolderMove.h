#pragma once

#include <QString>

// How a move of the note files into another folder ended.
struct NoteFolderMoveResult
{
    enum class Outcome {
        Moved,
        CopyFailed,      // a copy could not be written
        ReadBackDiffers, // a copy does not read back as its original
        NameTaken,       // the new folder holds a different file of that name
        OldFilesLeft,    // everything is in the new folder, but an old file could not be removed
    };
    Outcome outcome = Outcome::Moved;
    QString file; // name of the file that failed
};

// Moves every note (*.knt, any case), to-do project (*.tdl) and deleted
// note of one folder into another. Every file is copied and read back before any old one is
// removed; when one fails, the copies made so far are removed again and
// every old file stays. A file the new folder already holds with the same
// content counts as copied and stays there.
NoteFolderMoveResult MoveNoteFiles(const QString &from, const QString &to);
