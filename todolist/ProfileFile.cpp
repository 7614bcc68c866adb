#include "todolist/ProfileFile.h"

namespace {

// The profile functions count control characters up to the blank, and the
// end-of-file mark Ctrl-Z, as blanks.
bool isProfileBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')
        || c == QLatin1Char('\v') || c == QLatin1Char('\f') || c == QChar(0x1a);
}

QStringView trimmedBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isProfileBlank(text.at(begin)))
        ++begin;
    while (end > begin && isProfileBlank(text.at(end - 1)))
        --end;
    return text.sliced(begin, end - begin);
}

QString withoutQuotes(const QString &value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int digit = -1;
    if (u >= u'0' && u <= u'9')
        digit = u - u'0';
    else if (u >= u'a' && u <= u'f')
        digit = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        digit = u - u'A' + 10;
    return digit < base ? digit : -1;
}

QString lineBreaksAsBlanks(QString value)
{
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    value.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return value;
}

} // namespace

ProfileReader::ProfileReader(QStringView text)
{
    Section *current = nullptr;
    for (QStringView rawLine : text.tokenize(QLatin1Char('\n'))) {
        const QStringView line = trimmedBlanks(rawLine);
        if (line.isEmpty())
            continue;
        const qsizetype close = line.lastIndexOf(QLatin1Char(']'));
        if (line.front() == QLatin1Char('[') && close > 0) {
            const QString name = line.sliced(1, close - 1).toString();
            m_sections.append(Section{name, {}});
            current = &m_sections.back();
            continue;
        }
        // Lines before the first section belong to no section that can be read.
        if (!current)
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            current->entries.append(Entry{line.toString(), std::nullopt});
            continue;
        }
        current->entries.append(Entry{trimmedBlanks(line.first(equals)).toString(),
                                      trimmedBlanks(line.sliced(equals + 1)).toString()});
    }
    // Walking backwards leaves the first section of each name in the index.
    for (qsizetype i = m_sections.size() - 1; i >= 0; --i)
        m_firstOfName.insert(m_sections.at(i).name.toCaseFolded(), i);
}

const ProfileReader::Section *ProfileReader::findSection(const QString &name) const
{
    const auto found = m_firstOfName.constFind(name.toCaseFolded());
    return found == m_firstOfName.cend() ? nullptr : &m_sections.at(found.value());
}

QStringList ProfileReader::sectionNames() const
{
    QStringList names;
    names.reserve(m_sections.size());
    for (const Section &section : m_sections)
        names.append(section.name);
    return names;
}

bool ProfileReader::sectionHasKeys(const QString &section) const
{
    const Section *found = findSection(section);
    if (!found)
        return false;
    for (const Entry &entry : found->entries) {
        if (!entry.name.startsWith(QLatin1Char(';')))
            return true;
    }
    return false;
}

QString ProfileReader::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const Section *found = findSection(section);
    if (!found)
        return defaultValue;
    for (const Entry &entry : found->entries) {
        if (entry.name.compare(key, Qt::CaseInsensitive) == 0)
            return entry.value ? withoutQuotes(*entry.value) : defaultValue;
    }
    return defaultValue;
}

qint32 ProfileReader::readInteger(const QString &section, const QString &key, qint32 defaultValue) const
{
    return profileInteger(readString(section, key, QString()), defaultValue);
}

void ProfileWriter::beginSection(const QString &name)
{
    m_text += QLatin1Char('[') + name + QStringLiteral("]\r\n");
}

void ProfileWriter::writeValue(const QString &key, const QString &value)
{
    m_text += key + QLatin1Char('=') + lineBreaksAsBlanks(value) + QStringLiteral("\r\n");
}

qint32 profileInteger(QStringView value, qint32 defaultValue)
{
    QString text = value.toString();
    if (text.size() > 2 && text.at(0) == QLatin1Char('0')
        && (text.at(1) == QLatin1Char('x') || text.at(1) == QLatin1Char('X')))
        text = QLatin1Char('$') + text.mid(2);

    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < text.size() && text.at(i) == QLatin1Char('$')) {
        base = 16;
        ++i;
    }
    if (i >= text.size())
        return defaultValue;

    // Hexadecimal takes the whole 32 bits (so $FFFFFFFF is -1); decimal
    // must stay within the signed range.
    const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = digitValue(text.at(i), base);
        if (digit < 0)
            return defaultValue;
        magnitude = magnitude * quint64(base) + quint64(digit);
        if (magnitude > limit)
            return defaultValue;
    }
    quint32 bits = quint32(magnitude);
    if (negative)
        bits = 0u - bits;
    return qint32(bits);
}
