#include "notes/ClassesUnit.h"

#include "app/RegistryUnit.h"
#include "platform/BrisquelError.h"
#include "platform/CodePage.h"
#include "platform/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

enum Tag : quint8 {
    vaInt8 = 0x02,
    vaInt16 = 0x03,
    vaInt32 = 0x04,
    vaString = 0x06,
    vaFalse = 0x08,
    vaTrue = 0x09,
    vaLString = 0x0C,
    vaDate = 0x11,
    vaWString = 0x12,
    vaInt64 = 0x13,
    vaUTF8String = 0x14,
};

constexpr int kCurrentVersion = 3;

QSize primaryScreenSize()
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            return screen->geometry().size();
    }
    return QSize(1024, 768);
}

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw BrisquelError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    return file.readAll();
}

// Raised by the readers below when the file image ends early or holds a
// value of the wrong kind.
struct ReadError
{
};

// A bounds-checked cursor over the file image: nothing is read past the end
// and no length is trusted beyond the bytes that remain.
class ByteReader
{
public:
    explicit ByteReader(const QByteArray &data)
        : m_data(data)
    {
    }

    qsizetype remaining() const { return m_data.size() - m_pos; }

    QByteArray takeBytes(qint64 count)
    {
        if (count < 0 || count > remaining())
            throw ReadError();
        const QByteArray bytes = m_data.mid(m_pos, qsizetype(count));
        m_pos += qsizetype(count);
        return bytes;
    }

    template<typename T>
    T take()
    {
        if (qsizetype(sizeof(T)) > remaining())
            throw ReadError();
        const T value = qFromLittleEndian<T>(m_data.constData() + m_pos);
        m_pos += qsizetype(sizeof(T));
        return value;
    }

    double takeDouble()
    {
        const quint64 bits = take<quint64>();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const QByteArray &m_data;
    qsizetype m_pos = 0;
};

// Reads the tagged values of the current layout.
class ValueReader
{
public:
    explicit ValueReader(ByteReader &bytes)
        : m_bytes(bytes)
    {
    }

    qint32 readInteger() { return integerPayload(m_bytes.take<quint8>()); }

    // A date-time also accepts an integer: that whole number of days.
    TDateTime readDate()
    {
        const quint8 tag = m_bytes.take<quint8>();
        return tag == vaDate ? m_bytes.takeDouble() : TDateTime(integerPayload(tag));
    }

    // Exactly one byte: 0x09 is true, anything else false, no payload skipped.
    bool readBoolean() { return m_bytes.take<quint8>() == vaTrue; }

    QString readText()
    {
        switch (m_bytes.take<quint8>()) {
        case vaString:
            return CodePage::fromCp936(m_bytes.takeBytes(m_bytes.take<quint8>()));
        case vaLString:
            return CodePage::fromCp936(m_bytes.takeBytes(m_bytes.take<qint32>()));
        case vaWString: {
            const QByteArray raw = m_bytes.takeBytes(qint64(m_bytes.take<qint32>()) * 2);
            QString text(raw.size() / 2, Qt::Uninitialized);
            for (qsizetype i = 0; i < text.size(); ++i)
                text[i] = QChar(qFromLittleEndian<quint16>(raw.constData() + 2 * i));
            return text;
        }
        case vaUTF8String:
            return QString::fromUtf8(m_bytes.takeBytes(m_bytes.take<qint32>()));
        default:
            throw ReadError();
        }
    }

private:
    qint32 integerPayload(quint8 tag)
    {
        switch (tag) {
        case vaInt8:
            return m_bytes.take<qint8>();
        case vaInt16:
            return m_bytes.take<qint16>();
        case vaInt32:
            return m_bytes.take<qint32>();
        default:
            throw ReadError();
        }
    }

    ByteReader &m_bytes;
};

class ValueWriter
{
public:
    void writeInteger(qint64 value)
    {
        if (value >= -128 && value <= 127) {
            put(vaInt8);
            putLE(qint8(value));
        } else if (value >= -32768 && value <= 32767) {
            put(vaInt16);
            putLE(qint16(value));
        } else {
            put(vaInt32);
            putLE(qint32(value));
        }
    }

    void writeBoolean(bool value) { put(value ? vaTrue : vaFalse); }

    void writeDate(TDateTime value)
    {
        put(vaDate);
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        putLE(bits);
    }

    void writeText(const QString &value)
    {
        const QByteArray utf8 = value.toUtf8();
        if (utf8.size() >= 2 * value.size()) {
            put(vaWString);
            putLE(qint32(value.size()));
            for (const QChar c : value)
                putLE(quint16(c.unicode()));
            return;
        }
        const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return quint8(c) < 0x80; });
        if (ascii) {
            if (utf8.size() <= 255) {
                put(vaString);
                put(quint8(utf8.size()));
            } else {
                put(vaLString);
                putLE(qint32(utf8.size()));
            }
        } else {
            put(vaUTF8String);
            putLE(qint32(utf8.size()));
        }
        m_out += utf8;
    }

    void writeRaw(const QByteArray &bytes) { m_out += bytes; }
    void put(quint8 byte) { m_out += char(byte); }

    template<typename T>
    void putLE(T value)
    {
        char raw[sizeof(T)];
        qToLittleEndian(value, raw);
        m_out.append(raw, sizeof(T));
    }

    const QByteArray &bytes() const { return m_out; }

private:
    QByteArray m_out;
};

// A store that changes nothing is common: every window opened at start
// stores its note a second later, and every note is saved at exit. Reading
// the file back is far cheaper than writing it and flushing it to disk again.
// A file that others may read is rewritten all the same, so that it becomes
// private as every saved note.
bool alreadyHolds(const QString &path, const QByteArray &image)
{
    const QFileInfo info(path);
    constexpr QFile::Permissions kOthers = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    if (!info.isFile() || info.size() != image.size() || (info.permissions() & kOthers))
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll() == image;
}

quint32 maskOf(int bit)
{
    return bit >= 30 ? 0x40000000u : (1u << bit);
}

} // namespace

TNoteClass::TNoteClass(const QString &noteId)
    : Created(Now())
    , Width(Settings.DefNoteWidth)
    , Height(Settings.DefNoteHeight)
    , NoteID(noteId)
    , Title(dateTimeText(Created))
    , ReservedTime(Created + 1.0)
{
    const QSize screen = primaryScreenSize();
    Left = (screen.width() - Width) / 2;
    Top = (screen.height() - Height) / 2;
}

bool TNoteClass::GetFlag(int bit) const
{
    return (Flags & maskOf(bit)) != 0;
}

void TNoteClass::SetFlag(int bit, bool value)
{
    if (value)
        Flags |= maskOf(bit);
    else
        Flags &= ~maskOf(bit);
}

bool TNoteClass::HasLinkedFile() const
{
    for (const QChar c : LinkedFile) {
        if (c.unicode() > 0x20)
            return true;
    }
    return false;
}

TNoteClass::LoadResult TNoteClass::LoadFromFile(const QString &path)
{
    // Read once: the layout depends on the first byte.
    const QByteArray data = readWholeFile(path);
    if (data.isEmpty())
        return LoadResult::EmptyFile;
    const int version = quint8(data.at(0));
    if (version > kCurrentVersion)
        return LoadResult::NewerVersion;
    const bool loaded = version == kCurrentVersion ? LoadCurrent(data) : LoadLegacy(data);
    return loaded ? LoadResult::Loaded : LoadResult::Damaged;
}

bool TNoteClass::LoadCurrent(const QByteArray &data)
{
    ByteReader bytes(data);
    ValueReader values(bytes);
    try {
        bytes.take<quint8>();
        Created = values.readDate();
        Left = values.readInteger();
        Top = values.readInteger();
        Width = values.readInteger();
        Height = values.readInteger();
        TitleTextColor = TColor(values.readInteger());
        TitleColor = TColor(values.readInteger());
        NoteColor = TColor(values.readInteger());
        Title = values.readText();
        Group = values.readText();
        Flags = quint32(values.readInteger());
        AutoShowState = values.readInteger();
        AutoShowTime = values.readDate();
        ReservedFlag = values.readBoolean();
        ReservedTime = values.readDate();
        AlarmSet = values.readBoolean();
        AlarmTime = values.readDate();
        LinkedFile = values.readText();
        Content = bytes.takeBytes(values.readInteger());
        return true;
    } catch (const ReadError &) {
        Content.clear();
        return false;
    }
}

bool TNoteClass::LoadLegacy(const QByteArray &data)
{
    ByteReader bytes(data);
    try {
        const quint8 version = bytes.take<quint8>();
        // A file that ends early leaves the remaining fields as they were.
        bool headerComplete = true;
        try {
            Left = bytes.take<quint16>();
            Top = bytes.take<quint16>();
            Width = bytes.take<quint16>();
            Height = bytes.take<quint16>();
            bytes.take<quint8>();
            Created = bytes.takeDouble();
            AlarmSet = bytes.take<quint8>() != 0;
            AlarmTime = bytes.takeDouble();
            if (version == 2) {
                NoteColor = bytes.take<quint32>();
                TitleColor = bytes.take<quint32>();
                TitleTextColor = bytes.take<quint32>();
                const quint8 titleLength = bytes.take<quint8>();
                Title = CodePage::fromCp936(bytes.takeBytes(128).left(qMin<int>(titleLength, 128)));
                ReservedFlag = bytes.take<quint8>() != 0;
                ReservedTime = bytes.takeDouble();
            }
        } catch (const ReadError &) {
            headerComplete = false;
        }
        try {
            if (!headerComplete)
                throw ReadError();
            Content = bytes.takeBytes(bytes.take<qint32>());
        } catch (const ReadError &) {
            Content = CodePage::toCp936(QStringLiteral("错误读取便笺文本"));
        }
    } catch (const std::exception &) {
        Title = QStringLiteral("错误读取便笺") + QString(16, QLatin1Char(' '));
        Content.clear();
    }
    return true;
}

QByteArray TNoteClass::toFileBytes() const
{
    ValueWriter out;
    out.put(kCurrentVersion);
    out.writeDate(Created);
    out.writeInteger(Left);
    out.writeInteger(Top);
    out.writeInteger(Width);
    out.writeInteger(Height);
    out.writeInteger(qint32(TitleTextColor));
    out.writeInteger(qint32(TitleColor));
    out.writeInteger(qint32(NoteColor));
    out.writeText(Title);
    out.writeText(Group);
    // Written as signed 32-bit values so that whatever was read can be read back.
    out.writeInteger(qint32(Flags));
    out.writeInteger(AutoShowState);
    out.writeDate(AutoShowTime);
    out.writeBoolean(ReservedFlag);
    out.writeDate(ReservedTime);
    out.writeBoolean(AlarmSet);
    out.writeDate(AlarmTime);
    out.writeText(LinkedFile);
    out.writeInteger(Content.size());
    out.writeRaw(Content);
    return out.bytes();
}

bool TNoteClass::SaveToFile(const QString &path) const
{
    const QByteArray image = toFileBytes();
    if (alreadyHolds(path, image))
        return true;
    QString error;
    switch (SafeFile::write(path, image, &error)) {
    case SafeFile::Result::Saved:
        return true;
    case SafeFile::Result::CannotCreate:
        throw BrisquelError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, error));
    case SafeFile::Result::WriteFailed:
        break;
    }
    return false;
}
