#pragma once

#include <QString>

#include <chrono>

// Wave sound playback through the desktop's sound service. Whatever cannot be
// played (no sound service, missing or unreadable file) gives the system beep
// instead, as the program's sound calls never report failures.
namespace Sound {

enum class Outcome {
    Played,  // handed to the sound service (and, when waiting, finished or stopped at the time limit)
    Skipped, // another background sound is still playing; it is not cut off
    Beeped,  // the sound service refused; the system beep was given instead
};

// Longest wait of a synchronous play; a longer sound is stopped there.
inline constexpr std::chrono::milliseconds kLongestWait{30000};

// Starts the file in the background and returns at once. While an earlier
// background sound still plays, the new one is dropped.
Outcome playAsync(const QString &file);

// Plays the file and returns when it has ended, at the latest after `limit`.
Outcome playSync(const QString &file, std::chrono::milliseconds limit = kLongestWait);

} // namespace Sound
