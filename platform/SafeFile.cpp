#include "platform/SafeFile.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>

namespace SafeFile {

namespace {

void setError(QString *errorText, const QString &text)
{
    if (errorText)
        *errorText = text;
}

// QSaveFile puts the random letters of its temporary file in place of a run
// of six 'X' in the file name, or after the whole name when there is none.
// With such a run the temporary file keeps the extension ("XXXXXX.tdl"
// becomes "a8Kq2z.tdl") and, left behind by a crash, would be taken for a
// project or a note of its own.
bool hasPlaceholderRun(const QString &path)
{
    return QFileInfo(path).fileName().contains(QLatin1String("XXXXXX"));
}

Result writeThroughSaveFile(const QString &path, const QByteArray &bytes, QString *errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(errorText, file.errorString());
        return Result::CannotCreate;
    }
    // commit() does not notice a short write in its final flush (disk full),
    // so the flush is checked before the old file is replaced.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || file.write(bytes) != bytes.size()
        || !file.flush()) {
        setError(errorText, file.errorString());
        file.cancelWriting();
        return Result::WriteFailed;
    }
    if (!file.commit()) {
        setError(errorText, file.errorString());
        return Result::WriteFailed;
    }
    return Result::Saved;
}

// Writes the whole file under a hidden name of its own in the same folder,
// then renames it over the target.
Result writeThroughNeutralName(const QString &path, const QByteArray &bytes, QString *errorText)
{
    QFileInfo target(path);
    // As QSaveFile does: a link is followed to the file it names.
    for (int depth = 0; depth < 128 && target.isSymLink(); ++depth)
        target.setFile(target.symLinkTarget());
    if (target.isDir() || (target.exists() && !target.isWritable())) {
        setError(errorText, QStringLiteral("Cannot replace \"%1\"").arg(target.filePath()));
        return Result::CannotCreate;
    }
    const QString neutral = target.absolutePath()
        + QStringLiteral("/.brisquel-%1.tmp").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    const Result written = writeThroughSaveFile(neutral, bytes, errorText);
    if (written != Result::Saved)
        return written;
    if (std::rename(QFile::encodeName(neutral).constData(), QFile::encodeName(target.absoluteFilePath()).constData())
        != 0) {
        setError(errorText, qt_error_string(errno));
        QFile::remove(neutral);
        return Result::WriteFailed;
    }
    return Result::Saved;
}

} // namespace

Result write(const QString &path, const QByteArray &bytes, QString *errorText)
{
    return hasPlaceholderRun(path) ? writeThroughNeutralName(path, bytes, errorText)
                                   : writeThroughSaveFile(path, bytes, errorText);
}

} // namespace SafeFile
