#pragma once

#include <QByteArray>
#include <QString>

// A file's bytes; empty when it cannot be read.
QByteArray fileBytes(const QString &path);

// Replaces the file's content; false unless all of it was written.
[[nodiscard]] bool writeFileBytes(const QString &path, const QByteArray &bytes);

// The RTF body a note of the given plain text has on disk.
QByteArray rtfOf(const QString &text);
