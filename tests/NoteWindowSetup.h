#pragma once

#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "platform/DateTime.h"

#include <QDir>

// The state every note-window test starts from: default settings with the
// given body font and no animations, the program neither starting nor
// shutting down, the clock at 5 March 2024 10:00 and an empty note folder.
inline void resetNoteWindowWorld(const QString &bodyFace, quint8 bodySize)
{
    Settings = GlobalSettings();
    Settings.NoteFont.setFaceName(bodyFace);
    Settings.NoteFont.Size = bodySize;
    Settings.NoteAnimations = false;
    Starting = false;
    ShuttingDown = false;
    Clock::setNow(QDateTime(QDate(2024, 3, 5), QTime(10, 0)));
    QDir(UserFolder).removeRecursively();
    InitUserFolder();
}
