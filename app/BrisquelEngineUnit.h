#pragma once

#include "notes/NoteManagerUnit.h"

#include <memory>

// The root of the note collection: brings settings, the note folder and all
// notes up in order, and takes them down again.
class TBrisquelEngine
{
public:
    TBrisquelEngine();
    ~TBrisquelEngine();
    TBrisquelEngine(const TBrisquelEngine &) = delete;
    TBrisquelEngine &operator=(const TBrisquelEngine &) = delete;

    std::unique_ptr<TNotesManager> Manager;

    void RefreshNotesManager();
    void ShowNotesManager();
    // Runs the configuration dialog and applies its result to all notes.
    void Configure();

private:
    // The manager of the notes in UserFolder, tied to the notes manager
    // window and the print dialog.
    void startManager();
    // Every note saved and closed, then the manager destroyed.
    void stopManager();
    // Takes another note folder into use, moving the notes there when the
    // user wants it.
    void changeNoteFolder(const QString &choice);
};

// None before the main form has built the engine and after shutdown; it
// observes the engine that CreateNoteEngine makes and owns.
extern TBrisquelEngine *NoteEngine;

// Builds the one engine (NoteEngine stays none meanwhile), then sets NoteEngine.
void CreateNoteEngine();
// Sets NoteEngine to none, then destroys the engine; nothing when there is none.
void DestroyNoteEngine();
