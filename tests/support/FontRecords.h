#pragma once

#include "app/RegistryUnit.h"

// A font record as the settings store holds one.
inline FontRecord fontRecord(const QString &face, quint8 size, quint8 style, TColor color)
{
    FontRecord record;
    record.setFaceName(face);
    record.Size = size;
    record.Style = style;
    record.Color = color;
    return record;
}
