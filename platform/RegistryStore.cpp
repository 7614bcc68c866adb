#include "platform/RegistryStore.h"

#include "platform/CodePage.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringConverter>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace {

const QString kRootName = QStringLiteral("HKEY_CURRENT_USER");
const QString kHeader = QStringLiteral("REGEDIT4");
const QString kLineEnd = QStringLiteral("\r\n");
// regedit breaks hex data once a line reaches this many characters.
constexpr qsizetype kMaxHexLine = 77;
// The program's settings take a few kilobytes; a larger file is not ours to
// read into memory (nor to overwrite).
constexpr qint64 kMaxStoreSize = 1024 * 1024;

// Text that is not valid UTF-8 was most likely written on Windows in the
// system code page.
QString decodeUtf8Or936(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? CodePage::fromCp936(bytes) : text;
}

// Half of a UTF-16 pair (a damaged UTF-16 file) becomes U+FFFD. Left in,
// it would make QRegularExpression match nothing in the whole text, and it
// could not be written back as UTF-8.
QString withoutLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

// regedit itself writes UTF-16 with a byte-order mark; this store writes UTF-8.
QString decodeFile(const QByteArray &bytes)
{
    if (const auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        return withoutLoneSurrogates(decoder.decode(bytes));
    }
    return decodeUtf8Or936(bytes);
}

bool hasControlCharacter(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20)
            return true;
    }
    return false;
}

bool isHexNumber(QStringView text, qsizetype maxDigits)
{
    static const QRegularExpression hexDigits(QStringLiteral("^[0-9A-Fa-f]+$"));
    return text.size() <= maxDigits && hexDigits.match(text).hasMatch();
}

bool isBlankOrComment(QStringView rest)
{
    const QStringView trimmed = rest.trimmed();
    return trimmed.isEmpty() || trimmed.startsWith(u';');
}

int comparePaths(const QStringList &a, const QStringList &b)
{
    const qsizetype common = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (const int c = QString::compare(a.at(i), b.at(i), Qt::CaseInsensitive))
            return c;
    }
    return int(a.size() - b.size());
}

bool isAncestorOrSelf(const QStringList &path, const QStringList &of)
{
    if (path.size() > of.size())
        return false;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (QString::compare(path.at(i), of.at(i), Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

QString escaped(const QString &text)
{
    QString result = text;
    result.replace(u'\\', QStringLiteral("\\\\"));
    result.replace(u'"', QStringLiteral("\\\""));
    return result;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the
// closing quote. Only \\ and \" are escapes in this format.
bool parseQuoted(QStringView text, qsizetype &pos, QString &result)
{
    result.clear();
    for (qsizetype i = pos + 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'"') {
            pos = i + 1;
            return true;
        }
        if (c == u'\\' && i + 1 < text.size() && (text.at(i + 1) == u'\\' || text.at(i + 1) == u'"'))
            ++i;
        result += text.at(i);
    }
    return false;
}

bool parseHexBytes(QStringView text, QByteArray &bytes)
{
    bytes.clear();
    const qsizetype comment = text.indexOf(u';');
    const QStringView list = (comment >= 0 ? text.left(comment) : text).trimmed();
    if (list.isEmpty())
        return true;
    const auto pieces = list.split(u',');
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const QStringView piece = pieces.at(i).trimmed();
        if (piece.isEmpty() && i == pieces.size() - 1)
            break; // trailing comma
        if (!isHexNumber(piece, 2))
            return false;
        bytes.append(char(piece.toUInt(nullptr, 16)));
    }
    return true;
}

struct ParsedData
{
    bool remove = false;
    quint32 type = 0;
    QByteArray data;
};

bool parseData(QStringView text, ParsedData &parsed)
{
    if (text.startsWith(u'-')) {
        parsed.remove = true;
        return isBlankOrComment(text.mid(1));
    }
    if (text.startsWith(u'"')) {
        qsizetype pos = 0;
        QString value;
        if (!parseQuoted(text, pos, value) || !isBlankOrComment(text.mid(pos)))
            return false;
        parsed.type = REG_SZ;
        parsed.data = value.toUtf8() + '\0';
        return true;
    }
    if (text.startsWith(u"dword:", Qt::CaseInsensitive)) {
        QStringView digits = text.mid(6);
        const qsizetype comment = digits.indexOf(u';');
        digits = (comment >= 0 ? digits.left(comment) : digits).trimmed();
        if (!isHexNumber(digits, 8))
            return false;
        parsed.type = REG_DWORD;
        parsed.data.resize(4);
        qToLittleEndian(digits.toUInt(nullptr, 16), parsed.data.data());
        return true;
    }
    if (text.startsWith(u"hex:", Qt::CaseInsensitive)) {
        parsed.type = REG_BINARY;
        return parseHexBytes(text.mid(4), parsed.data);
    }
    if (text.startsWith(u"hex(", Qt::CaseInsensitive)) {
        const qsizetype close = text.indexOf(u"):");
        if (close < 0)
            return false;
        const QStringView number = text.mid(4, close - 4);
        if (!isHexNumber(number, 8))
            return false;
        parsed.type = number.toUInt(nullptr, 16);
        return parseHexBytes(text.mid(close + 2), parsed.data);
    }
    return false;
}

// Removes trailing blanks and a final backslash; true when there was one.
bool chopContinuation(QString &text)
{
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    if (!text.endsWith(u'\\'))
        return false;
    text.chop(1);
    return true;
}

// Hex data continues on the next line after a trailing backslash; a line
// that cannot be a continuation ends the value as damaged.
bool joinContinuations(const QStringList &lines, qsizetype &index, QString &data)
{
    static const QRegularExpression hexStart(QStringLiteral("^[0-9A-Fa-f]"));
    while (chopContinuation(data)) {
        if (index + 1 >= lines.size())
            return false;
        const QString next = lines.at(index + 1).trimmed();
        if (!hexStart.match(next).hasMatch())
            return false;
        data += next;
        ++index;
    }
    return true;
}

// Gathers the keys and values a file names, with indexed lookups so that
// even a large hand-made file reads in linear time.
class DocumentBuilder
{
public:
    qsizetype key(const QStringList &path)
    {
        const QString folded = path.join(u'\\').toCaseFolded();
        if (const auto found = m_keyIndex.constFind(folded); found != m_keyIndex.cend())
            return *found;
        m_keys.append(PendingKey{RegistryDocument::Key{path, {}}, {}, {}});
        m_keyIndex.insert(folded, m_keys.size() - 1);
        return m_keys.size() - 1;
    }

    void setValue(qsizetype key, const QString &name, quint32 type, const QByteArray &data)
    {
        PendingKey &pending = m_keys[key];
        const QString folded = name.toCaseFolded();
        if (const auto found = pending.index.constFind(folded); found != pending.index.cend()) {
            pending.key.values[*found].type = type;
            pending.key.values[*found].data = data;
            return;
        }
        pending.key.values.append(RegistryDocument::Value{name, type, data});
        pending.live.append(true);
        pending.index.insert(folded, pending.key.values.size() - 1);
    }

    void removeValue(qsizetype key, const QString &name)
    {
        PendingKey &pending = m_keys[key];
        if (const auto found = pending.index.constFind(name.toCaseFolded()); found != pending.index.cend()) {
            pending.live[*found] = false;
            pending.index.erase(found);
        }
    }

    QList<RegistryDocument::Key> finish() const
    {
        QList<RegistryDocument::Key> keys;
        keys.reserve(m_keys.size());
        for (const PendingKey &pending : m_keys) {
            RegistryDocument::Key key{pending.key.path, {}};
            for (qsizetype v = 0; v < pending.key.values.size(); ++v) {
                if (pending.live.at(v))
                    key.values.append(pending.key.values.at(v));
            }
            keys.append(key);
        }
        return keys;
    }

private:
    struct PendingKey
    {
        RegistryDocument::Key key;
        QList<bool> live; // false once a later line deleted the value
        QHash<QString, qsizetype> index;
    };
    QList<PendingKey> m_keys;
    QHash<QString, qsizetype> m_keyIndex;
};

QString hexTypePrefix(quint32 type)
{
    return type == REG_BINARY ? QStringLiteral("hex:") : QStringLiteral("hex(%1):").arg(type, 0, 16);
}

// Wraps the way regedit does: a line break after the comma once the line
// reaches the limit, continued with two blanks.
QString hexLines(qsizetype lineLength, const QByteArray &bytes)
{
    QString text;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        text += QStringLiteral("%1").arg(uint(quint8(bytes.at(i))), 2, 16, QLatin1Char('0'));
        if (i == bytes.size() - 1)
            break;
        text += u',';
        lineLength += 3;
        if (lineLength >= kMaxHexLine) {
            text += QStringLiteral("\\") + kLineEnd + QStringLiteral("  ");
            lineLength = 2;
        }
    }
    return text;
}

// A string is written in quotes when it reads back the same that way.
bool quotable(const QByteArray &data)
{
    if (!data.endsWith('\0') || data.indexOf('\0') != data.size() - 1)
        return false;
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(data).chopped(1));
    return !utf8.hasError() && !text.contains(u'\r') && !text.contains(u'\n');
}

QString valueLine(const RegistryDocument::Value &value)
{
    QString line = value.name.isEmpty() ? QStringLiteral("@=")
                                        : u'"' + escaped(value.name) + QStringLiteral("\"=");
    if (value.type == REG_SZ && quotable(value.data))
        return line + u'"' + escaped(QString::fromUtf8(value.data.chopped(1))) + u'"';
    if (value.type == REG_DWORD && value.data.size() == 4)
        return line + QStringLiteral("dword:%1").arg(qFromLittleEndian<quint32>(value.data.constData()), 8, 16,
                                                      QLatin1Char('0'));
    const QString prefix = hexTypePrefix(value.type);
    return line + prefix + hexLines(line.size() + prefix.size(), value.data);
}

// Path below the root named by a section line, or false when the section is
// not one of the current user's keys.
bool parseSection(QStringView line, QStringList &path)
{
    if (line.startsWith(u"[-"))
        return false;
    const qsizetype close = line.lastIndexOf(u']');
    if (close < 0)
        return false;
    const auto parts = line.mid(1, close - 1).split(u'\\', Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.first().trimmed().compare(kRootName, Qt::CaseInsensitive) != 0)
        return false;
    path.clear();
    for (qsizetype i = 1; i < parts.size(); ++i)
        path << parts.at(i).toString();
    return true;
}

bool parseValueName(QStringView line, qsizetype &pos, QString &name)
{
    pos = 0;
    if (line.startsWith(u'@')) {
        name.clear();
        pos = 1;
    } else if (!line.startsWith(u'"') || !parseQuoted(line, pos, name)) {
        return false;
    }
    while (pos < line.size() && line.at(pos).isSpace())
        ++pos;
    if (pos >= line.size() || line.at(pos) != u'=')
        return false;
    ++pos;
    while (pos < line.size() && line.at(pos).isSpace())
        ++pos;
    return true;
}

ERegistryException getDataError(const QString &name)
{
    return ERegistryException(QStringLiteral("Failed to get data for '%1'").arg(name));
}

ERegistryException dataTypeError(const QString &name)
{
    return ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
}

ERegistryException setDataError(const QString &name)
{
    return ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(name));
}

} // namespace

RegistryDocument RegistryDocument::parse(const QByteArray &fileBytes)
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    const QStringList lines = decodeFile(fileBytes).split(lineBreak);

    DocumentBuilder builder;
    qsizetype current = -1; // the key the values belong to
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            QStringList path;
            current = parseSection(line, path) ? builder.key(path) : -1;
            continue;
        }
        if (current < 0)
            continue;
        qsizetype pos = 0;
        QString name;
        if (!parseValueName(line, pos, name))
            continue;
        QString data = line.mid(pos);
        if (data.startsWith(u"hex", Qt::CaseInsensitive) && !joinContinuations(lines, i, data))
            continue;
        ParsedData parsed;
        if (!parseData(data, parsed))
            continue;
        if (parsed.remove)
            builder.removeValue(current, name);
        else
            builder.setValue(current, name, parsed.type, parsed.data);
    }
    RegistryDocument document;
    document.m_keys = builder.finish();
    return document;
}

QByteArray RegistryDocument::serialize() const
{
    QString text = kHeader + kLineEnd + kLineEnd;
    for (const Key &key : m_keys) {
        QStringList names{kRootName};
        names += key.path;
        text += u'[' + names.join(u'\\') + u']' + kLineEnd;
        for (const Value &value : key.values)
            text += valueLine(value) + kLineEnd;
        text += kLineEnd;
    }
    return text.toUtf8();
}

bool RegistryDocument::keyExists(const QStringList &path) const
{
    if (path.isEmpty())
        return true;
    return std::any_of(m_keys.cbegin(), m_keys.cend(),
                       [&](const Key &key) { return isAncestorOrSelf(path, key.path); });
}

const RegistryDocument::Key *RegistryDocument::findKey(const QStringList &path) const
{
    for (const Key &key : m_keys) {
        if (comparePaths(key.path, path) == 0)
            return &key;
    }
    return nullptr;
}

RegistryDocument::Key &RegistryDocument::ensureKey(const QStringList &path)
{
    qsizetype insertAt = m_keys.size();
    for (qsizetype k = 0; k < m_keys.size(); ++k) {
        const int order = comparePaths(m_keys.at(k).path, path);
        if (order == 0)
            return m_keys[k];
        if (order > 0 && insertAt == m_keys.size())
            insertAt = k;
    }
    m_keys.insert(insertAt, Key{path, {}});
    return m_keys[insertAt];
}

const RegistryDocument::Value *RegistryDocument::findValue(const Key &key, const QString &name)
{
    for (const Value &value : key.values) {
        if (value.name.compare(name, Qt::CaseInsensitive) == 0)
            return &value;
    }
    return nullptr;
}

void RegistryDocument::setValue(Key &key, const QString &name, quint32 type, const QByteArray &data)
{
    for (Value &value : key.values) {
        if (value.name.compare(name, Qt::CaseInsensitive) == 0) {
            value.type = type;
            value.data = data;
            return;
        }
    }
    key.values.append(Value{name, type, data});
}

bool RegistryDocument::removeValue(Key &key, const QString &name)
{
    return key.values.removeIf([&](const Value &value) {
        return value.name.compare(name, Qt::CaseInsensitive) == 0;
    }) > 0;
}

TRegistry::TRegistry() = default;

QString TRegistry::storeFileName()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QString() : config + QStringLiteral("/Orvanta/Brisquel.reg");
}

QStringList TRegistry::resolve(const QString &path) const
{
    QStringList result = (path.startsWith(u'\\') || !m_open) ? QStringList() : m_path;
    result += path.split(u'\\', Qt::SkipEmptyParts);
    return result;
}

bool TRegistry::reload()
{
    m_document = RegistryDocument();
    m_readable = true;
    const QString fileName = storeFileName();
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.exists())
        return true;
    QFile file(fileName);
    // Only a regular file: a device or a pipe has no size to trust.
    if (!info.isFile() || info.size() > kMaxStoreSize || !file.open(QIODevice::ReadOnly)) {
        m_readable = false;
        return false;
    }
    m_document = RegistryDocument::parse(file.read(info.size()));
    return true;
}

bool TRegistry::commit()
{
    const QString fileName = storeFileName();
    if (fileName.isEmpty() || !m_readable)
        return false;
    const QFileInfo folder(QFileInfo(fileName).absolutePath());
    if (!folder.exists()) {
        const QDir parent(folder.absolutePath());
        if (!parent.mkpath(QStringLiteral("."))
            || !parent.mkdir(folder.fileName(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return false;
    }
    return SafeFile::write(fileName, m_document.serialize()) == SafeFile::Result::Saved;
}

bool TRegistry::KeyExists(const QString &path)
{
    const QStringList resolved = resolve(path);
    reload();
    return m_document.keyExists(resolved);
}

bool TRegistry::OpenKey(const QString &path, bool canCreate)
{
    const QStringList resolved = resolve(path);
    CloseKey();
    reload();
    if (!m_document.keyExists(resolved)) {
        if (!canCreate || std::any_of(resolved.cbegin(), resolved.cend(), hasControlCharacter))
            return false;
        m_document.ensureKey(resolved);
        if (!commit()) {
            reload();
            return false;
        }
    }
    m_open = true;
    m_path = resolved;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const QString &path)
{
    const QStringList resolved = resolve(path);
    CloseKey();
    reload();
    if (!m_document.keyExists(resolved))
        return false;
    m_open = true;
    m_readOnly = true;
    m_path = resolved;
    return true;
}

void TRegistry::CloseKey()
{
    m_open = false;
    m_readOnly = false;
    m_path.clear();
    // An uncommitted batch is dropped with its key.
    m_batching = false;
    m_firstBatched.clear();
}

QString TRegistry::CurrentPath() const
{
    return m_open ? u'\\' + m_path.join(u'\\') : QString();
}

bool TRegistry::ValueExists(const QString &name) const
{
    return GetDataSize(name) >= 0;
}

int TRegistry::GetDataSize(const QString &name) const
{
    const RegistryDocument::Key *key = m_open ? m_document.findKey(m_path) : nullptr;
    const RegistryDocument::Value *found = key ? RegistryDocument::findValue(*key, name) : nullptr;
    return found ? int(found->data.size()) : -1;
}

const RegistryDocument::Value &TRegistry::value(const QString &name) const
{
    const RegistryDocument::Key *key = m_open ? m_document.findKey(m_path) : nullptr;
    const RegistryDocument::Value *found = key ? RegistryDocument::findValue(*key, name) : nullptr;
    if (!found)
        throw getDataError(name);
    return *found;
}

qint32 TRegistry::ReadInteger(const QString &name) const
{
    const RegistryDocument::Value &found = value(name);
    if (found.type != REG_DWORD)
        throw dataTypeError(name);
    if (found.data.size() != 4)
        throw getDataError(name);
    return qFromLittleEndian<qint32>(found.data.constData());
}

bool TRegistry::ReadBool(const QString &name) const
{
    return ReadInteger(name) != 0;
}

QString TRegistry::ReadString(const QString &name) const
{
    const RegistryDocument::Value &found = value(name);
    if (found.type != REG_SZ)
        throw dataTypeError(name);
    // The text ends at its terminator, like every reader of the registry sees it.
    const qsizetype end = found.data.indexOf('\0');
    return decodeUtf8Or936(end >= 0 ? QByteArrayView(found.data).first(end) : QByteArrayView(found.data));
}

int TRegistry::ReadBinaryData(const QString &name, void *buffer, int bufferSize) const
{
    const RegistryDocument::Value &found = value(name);
    if (found.type != REG_BINARY)
        throw dataTypeError(name);
    if (found.data.size() > qMax(bufferSize, 0) || (buffer == nullptr && !found.data.isEmpty()))
        throw getDataError(name);
    if (!found.data.isEmpty())
        memcpy(buffer, found.data.constData(), size_t(found.data.size()));
    return int(found.data.size());
}

void TRegistry::putValue(const QString &name, quint32 type, const QByteArray &data)
{
    // A name with a line break could not be written back in this format.
    if (!m_open || m_readOnly || hasControlCharacter(name))
        throw setDataError(name);
    if (m_batching) {
        RegistryDocument::setValue(m_document.ensureKey(m_path), name, type, data);
        if (m_firstBatched.isEmpty())
            m_firstBatched = name;
        return;
    }
    reload();
    RegistryDocument::setValue(m_document.ensureKey(m_path), name, type, data);
    if (!commit()) {
        reload();
        throw setDataError(name);
    }
}

void TRegistry::WriteInteger(const QString &name, qint32 value)
{
    QByteArray data(4, '\0');
    qToLittleEndian(value, data.data());
    putValue(name, REG_DWORD, data);
}

void TRegistry::WriteBool(const QString &name, bool value)
{
    WriteInteger(name, value ? 1 : 0);
}

void TRegistry::WriteString(const QString &name, const QString &value)
{
    putValue(name, REG_SZ, value.toUtf8() + '\0');
}

void TRegistry::WriteBinaryData(const QString &name, const void *buffer, int bufferSize)
{
    if (bufferSize < 0 || (buffer == nullptr && bufferSize > 0))
        throw setDataError(name);
    putValue(name, REG_BINARY, QByteArray(static_cast<const char *>(buffer), bufferSize));
}

bool TRegistry::DeleteValue(const QString &name)
{
    if (!m_open || m_readOnly)
        return false;
    if (!m_batching)
        reload();
    const RegistryDocument::Key *key = m_document.findKey(m_path);
    if (!key || !RegistryDocument::findValue(*key, name))
        return false;
    RegistryDocument::removeValue(m_document.ensureKey(m_path), name);
    if (m_batching) {
        if (m_firstBatched.isEmpty())
            m_firstBatched = name;
        return true;
    }
    if (!commit()) {
        reload();
        return false;
    }
    return true;
}

void TRegistry::BeginBatch()
{
    reload();
    m_batching = true;
    m_firstBatched.clear();
}

void TRegistry::CommitBatch()
{
    m_batching = false;
    const QString first = std::exchange(m_firstBatched, QString());
    if (first.isEmpty())
        return;
    if (!commit()) {
        reload();
        throw setDataError(first);
    }
}
