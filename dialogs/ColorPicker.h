#pragma once

#include "platform/ColorValue.h"

#include <QList>
#include <QString>
#include <QToolButton>

class QMenu;
class QWidget;

// A flat colour button. The face shows the colour; the arrow opens a palette
// of standard colours with "定制" (any colour through the colour chooser)
// and, where the owner wants one, a default entry that stands for "no colour
// of its own" (clNone). System colours are never offered. A click on the
// face only emits clicked(): the owning dialog decides what it does.
class ColorPicker final : public QToolButton
{
    Q_OBJECT

public:
    explicit ColorPicker(QWidget *parent = nullptr);

    TColor color() const { return m_color; }
    // Emits colorChanged when the colour differs from the current one.
    void setColor(TColor color);

    // With the default entry shown, clNone is a choice of its own and the
    // face then reads `caption`; any other colour leaves the face without text.
    void setDefaultEntry(bool shown, const QString &caption = QStringLiteral("默认"));
    bool hasDefaultEntry() const { return m_defaultEntry; }

    // The colour chooser, preset with the current colour; the picker takes
    // the chosen colour only when the user confirms.
    bool chooseCustomColor();

    // The panel the arrow shows: a button per standard colour (its tool tip
    // is the colour's #rrggbb name), "定制" and the default entry.
    QWidget *palettePanel() const { return m_panel; }

    // The palette's colours, row by row.
    static const QList<TColor> &standardColors();

signals:
    void colorChanged(TColor color);

private:
    void buildPalette();
    void pickFromPalette(TColor color);
    void refreshFace();

    TColor m_color = clBlack;
    bool m_defaultEntry = false;
    QString m_defaultCaption;
    QMenu *m_menu;
    QWidget *m_panel;
    QToolButton *m_defaultButton = nullptr;
    QList<QToolButton *> m_swatches;
};
