#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// Initialisation-style text ("ini" files: [section] headers and key=value
// lines), read and written the way the desktop's private-profile functions
// do it, because the to-do files were written by them.

// Reads decoded profile text. Section and key names match without regard to
// letter case; the first section of a name answers for all of that name.
class ProfileReader final
{
public:
    explicit ProfileReader(QStringView text);

    // Every section name in file order, duplicates included.
    QStringList sectionNames() const;
    // True when the first section of that name holds at least one key line
    // (comment lines starting with ';' do not count).
    bool sectionHasKeys(const QString &section) const;
    // The value with blanks at its ends dropped and one matching pair of
    // enclosing quotes removed; the default when the section, the key or
    // its '=' is missing.
    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;
    qint32 readInteger(const QString &section, const QString &key, qint32 defaultValue) const;

private:
    struct Entry
    {
        QString name;
        std::optional<QString> value;
    };
    struct Section
    {
        QString name;
        QList<Entry> entries;
    };

    const Section *findSection(const QString &name) const;

    QList<Section> m_sections;
    QHash<QString, qsizetype> m_firstOfName; // case-folded name -> index
};

// Builds profile text section by section, lines ending in CR LF.
class ProfileWriter final
{
public:
    void beginSection(const QString &name);
    // A line break in the value would start a line of its own, so it is
    // written as a blank.
    void writeValue(const QString &key, const QString &value);
    const QString &text() const { return m_text; }

private:
    QString m_text;
};

// The integer reading of a profile value: a decimal number with an optional
// sign, or hexadecimal after "$" or a leading "0x"; anything else, or a
// number out of the 32-bit range, gives the default.
qint32 profileInteger(QStringView value, qint32 defaultValue);
