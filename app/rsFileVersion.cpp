#include "app/rsFileVersion.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <exception>

TrsFileVersion::TrsFileVersion()
{
    Clear();
}

void TrsFileVersion::Clear()
{
    VersionText.clear();
    Major = Minor = Release = Build = 0;
}

bool TrsFileVersion::GetFixedVersion(const QString &path, quint16 *major, quint16 *minor, quint16 *release,
                                     quint16 *build)
{
    const QString own = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    const QString wanted = QFileInfo(path).canonicalFilePath();
    if (wanted.isEmpty() || wanted != own)
        return false;
    if (major)
        *major = BRISQUEL_VERSION_MAJOR;
    if (minor)
        *minor = BRISQUEL_VERSION_MINOR;
    if (release)
        *release = BRISQUEL_VERSION_RELEASE;
    if (build)
        *build = BRISQUEL_VERSION_BUILD;
    return true;
}

bool TrsFileVersion::ReadFromFile(const QString &path)
{
    quint16 major = 0;
    quint16 minor = 0;
    quint16 release = 0;
    quint16 build = 0;
    if (!GetFixedVersion(path, &major, &minor, &release, &build)) {
        Clear();
        return false;
    }
    Major = major;
    Minor = minor;
    Release = release;
    Build = build;
    VersionText = QStringLiteral("%1.%2.%3").arg(Major).arg(Minor).arg(Release);
    return true;
}

QString FileVersionText(const QString &path)
{
    try {
        TrsFileVersion version;
        version.ReadFromFile(path);
        return version.VersionText + QStringLiteral(" Build: ") + QString::number(version.Build);
    } catch (const std::exception &) {
        return QStringLiteral("N.A.");
    }
}
