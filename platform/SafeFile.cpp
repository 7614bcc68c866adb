#include "platform/SafeFile.h"

#include <QSaveFile>

namespace SafeFile {

Result write(const QString &path, const QByteArray &bytes, QString *errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (errorText)
            *errorText = file.errorString();
        return Result::CannotCreate;
    }
    // commit() does not notice a short write in its final flush (disk full),
    // so the flush is checked before the old file is replaced.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || file.write(bytes) != bytes.size()
        || !file.flush()) {
        if (errorText)
            *errorText = file.errorString();
        file.cancelWriting();
        return Result::WriteFailed;
    }
    if (!file.commit()) {
        if (errorText)
            *errorText = file.errorString();
        return Result::WriteFailed;
    }
    return Result::Saved;
}

} // namespace SafeFile
