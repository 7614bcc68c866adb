#pragma once

#include "platform/BrisquelError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Registry value types kept by the store (the numbers of the Windows registry).
constexpr quint32 REG_SZ = 1;
constexpr quint32 REG_BINARY = 3;
constexpr quint32 REG_DWORD = 4;

class ERegistryException : public BrisquelError
{
public:
    using BrisquelError::BrisquelError;
};

// The current user's registry as the text of a Windows ".reg" export
// (REGEDIT4). Parsing is forgiving: a line that cannot be read is skipped and
// never stops the rest. Key paths are lists of key names below the root;
// key and value names compare without regard to letter case.
class RegistryDocument final
{
public:
    struct Value
    {
        QString name;      // empty for the key's default value ("@")
        quint32 type = 0;  // REG_SZ, REG_BINARY, REG_DWORD or any other kept as read
        QByteArray data;   // REG_SZ: UTF-8 with its terminating zero; REG_DWORD: 4 bytes little-endian
    };
    struct Key
    {
        QStringList path;
        QList<Value> values;
    };

    static RegistryDocument parse(const QByteArray &fileBytes);
    QByteArray serialize() const;

    // A key exists when it was created itself or lies above one that was.
    bool keyExists(const QStringList &path) const;
    const Key *findKey(const QStringList &path) const;
    // Finds the key, adding it (in sorted place) when it is missing.
    Key &ensureKey(const QStringList &path);

    static const Value *findValue(const Key &key, const QString &name);
    // Replaces a value of the same name (keeping the name as first written)
    // or appends a new one.
    static void setValue(Key &key, const QString &name, quint32 type, const QByteArray &data);
    static bool removeValue(Key &key, const QString &name);

    const QList<Key> &keys() const { return m_keys; }

private:
    QList<Key> m_keys;
};

// Typed access to the current user's registry, kept in one file. Every
// change rewrites the whole file atomically; opening a key reads the file
// again, so changes made by another process are seen.
class TRegistry final
{
public:
    TRegistry();

    // Path of the store file (created on the first write).
    static QString storeFileName();

    // A path starting with a backslash is taken from the root; any other
    // path from the open key (or the root when none is open).
    bool KeyExists(const QString &path);
    bool OpenKey(const QString &path, bool canCreate);
    bool OpenKeyReadOnly(const QString &path);
    void CloseKey();
    // Path of the open key, starting with a backslash; empty when none is open.
    QString CurrentPath() const;

    bool ValueExists(const QString &name) const;
    // Size in bytes as the registry reports it (strings with their
    // terminator), -1 when the value does not exist.
    int GetDataSize(const QString &name) const;
    qint32 ReadInteger(const QString &name) const;
    bool ReadBool(const QString &name) const;
    QString ReadString(const QString &name) const;
    // Returns the number of bytes copied; a value longer than bufferSize is an error.
    int ReadBinaryData(const QString &name, void *buffer, int bufferSize) const;

    void WriteInteger(const QString &name, qint32 value);
    void WriteBool(const QString &name, bool value);
    void WriteString(const QString &name, const QString &value);
    void WriteBinaryData(const QString &name, const void *buffer, int bufferSize);
    bool DeleteValue(const QString &name);

    // Writes until CommitBatch go to the file together, in one atomic
    // rewrite: a process killed between them leaves none of them stored.
    void BeginBatch();
    // Throws the error the first write of the batch would have thrown when
    // the file cannot be written; nothing of the batch is stored then.
    void CommitBatch();

private:
    QStringList resolve(const QString &path) const;
    bool reload();
    bool commit();
    const RegistryDocument::Value &value(const QString &name) const;
    void putValue(const QString &name, quint32 type, const QByteArray &data);

    RegistryDocument m_document;
    // False while the store file exists but cannot be read: writing then
    // would replace it with what little is known.
    bool m_readable = true;
    bool m_open = false;
    bool m_readOnly = false;
    bool m_batching = false;
    QString m_firstBatched; // name of the batch's first write, empty when none
    QStringList m_path;
};
