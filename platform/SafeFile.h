#pragma once

#include <QByteArray>
#include <QString>

// Writes a whole file through a temporary file in the same folder that is
// renamed over the old one, so that a failure or a crash at any moment
// leaves either the old or the new file, never a damaged one. The file is
// readable by its owner only.
namespace SafeFile {

enum class Result {
    Saved,
    CannotCreate, // the temporary file could not be made; nothing changed
    WriteFailed,  // writing or renaming failed; the old file is intact
};

Result write(const QString &path, const QByteArray &bytes, QString *errorText = nullptr);

} // namespace SafeFile
