#pragma once

#include "app/InternalProcs.h"

#include <QDialog>

class ColorPicker;
class QFontDialog;

// The font chooser the notes need: face, size, style and effects from the
// toolkit's font chooser, and the colour beside them. It keeps its font
// between openings; only OK changes it.
class FontColorDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit FontColorDialog(QWidget *parent = nullptr);

    const ToolkitFont &selectedFont() const { return m_font; }
    void setSelectedFont(const ToolkitFont &font) { m_font = font; }

    // Shows the held font, runs the dialog modally and takes the choice on
    // OK. Returns whether the user confirmed.
    bool Execute();
    // Puts a font and its colour into the controls.
    void showFont(const ToolkitFont &font);

    QFontDialog *FontChooser;
    ColorPicker *ColorChooser;

private:
    ToolkitFont m_font;
};
