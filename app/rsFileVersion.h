#pragma once

#include <QString>

// The fixed version number of an executable file. ELF files carry no version
// resource, so only the running program's own executable reports one.
class TrsFileVersion
{
public:
    TrsFileVersion();

    QString VersionText;
    quint32 Major = 0;
    quint32 Minor = 0;
    quint32 Release = 0;
    quint32 Build = 0;

    void Clear();
    bool ReadFromFile(const QString &path);

    static bool GetFixedVersion(const QString &path, quint16 *major = nullptr, quint16 *minor = nullptr,
                                quint16 *release = nullptr, quint16 *build = nullptr);
};

// "major.minor.release Build: n"; " Build: 0" for a file without a version;
// "N.A." when reading raises an error.
QString FileVersionText(const QString &path);
