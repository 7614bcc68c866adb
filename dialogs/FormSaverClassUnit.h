#pragma once

#include <QString>

class QWidget;

// Remembers where a window was and how big it was, between runs, under a
// sub-key of the program's settings key.
class TFormSaver
{
public:
    qint32 X = 0;
    qint32 Y = 0;
    qint32 W = 0;
    qint32 H = 0;
    bool Max = false;

    // True when the key exists. A key that lacks a value or holds one of
    // another type throws ERegistryException.
    bool LoadFromRegistry(const QString &key);
    void ApplyToForm(QWidget *window) const;
    void ReadFromForm(const QWidget *window);
    void SaveToRegistry(const QString &key) const;
};
