#pragma once

#include "platform/ColorValue.h"
#include "platform/DateTime.h"

#include <QByteArray>
#include <QString>

// The note record: everything about one note that outlives its window,
// with the reading and writing of the note's file.
class TNoteClass
{
public:
    explicit TNoteClass(const QString &noteId);

    TDateTime Created;
    qint32 Left;
    qint32 Top;
    qint32 Width;
    qint32 Height;
    TColor NoteColor = clNone;
    TColor TitleColor = clNone;
    TColor TitleTextColor = clNone;
    QString NoteID;
    QString Title;
    QString Group;
    quint32 Flags = 0;
    qint32 AutoShowState = 0;
    TDateTime AutoShowTime = 0.0;
    bool ReservedFlag = false;
    TDateTime ReservedTime;
    bool AlarmSet = false;
    TDateTime AlarmTime = 0.0;
    QString LinkedFile;
    QByteArray Content; // the body: RTF as the note window saves it

    static constexpr int HiddenBit = 0;
    static constexpr int OnTopBit = 1;
    static constexpr int ReducedBit = 2;

    bool GetFlag(int bit) const;
    void SetFlag(int bit, bool value);
    bool IsHidden() const { return GetFlag(HiddenBit); }
    void SetHidden(bool value) { SetFlag(HiddenBit, value); }
    bool IsOnTop() const { return GetFlag(OnTopBit); }
    void SetOnTop(bool value) { SetFlag(OnTopBit, value); }
    bool IsReduced() const { return GetFlag(ReducedBit); }
    void SetReduced(bool value) { SetFlag(ReducedBit, value); }
    bool HasLinkedFile() const;

    // What LoadFromFile found; only Loaded leaves the file's note in the record.
    enum class LoadResult {
        Loaded,
        EmptyFile,    // the file holds no bytes
        NewerVersion, // written by a later version of the program
        Damaged,      // the file ends early or holds a value of the wrong kind
    };
    // Throws BrisquelError when the file cannot be opened.
    LoadResult LoadFromFile(const QString &path);
    // Writes a version 3 file through a temporary file, so the previous file
    // stays intact when anything fails; a private file that already holds
    // exactly these bytes is left as it is. Throws BrisquelError when the file
    // cannot be created; false when writing fails.
    bool SaveToFile(const QString &path) const;

    // The file image of the record, as SaveToFile writes it.
    QByteArray toFileBytes() const;

private:
    bool LoadLegacy(const QByteArray &data);
    bool LoadCurrent(const QByteArray &data);
};
