#pragma once

// The shared routines that need windows: names of open windows, shell,
// sound, printing and the painting of the title strip.

#include "app/FontRecord.h"
#include "app/InternalProcs.h"
#include "platform/ColorValue.h"

#include <QString>

class QPainter;
class QPrinter;
class QWidget;

// Whether a top-level window has this name, in any case.
bool IsComponentNameUsed(const QString &name);

// Shell and sound.
void OpenLinkedFile(const QString &path);
void OpenDocument(const QString &target);
void PlaySoundFile(const QString &file, bool wait);
void PlayAlarmSound();
void HideAppWindows();
// The window HideAppWindows keeps off the screen and the task bar.
void setMainFormWindow(QWidget *window);

// Starts a print job on the printer, writing in the printouts' Arial 10;
// throws when the job cannot start.
void BeginPrintCanvas(QPainter &canvas, QPrinter &printer);

// Painting of the title strip and the style preview.
void DrawTitleStrip(QPainter &canvas, const QString &caption, int width, int height, TColor titleColor,
                    TColor textColor, TColor noteColor, const FontRecord &font, bool showLinkGlyph);
void DrawNoteTitle(QPainter &canvas, const QString &caption, int width, int height, TColor titleColor,
                   TColor textColor, TColor noteColor, bool showLinkGlyph);
void DrawStylePreview(QPainter &canvas, int width, int height, TColor titleColor, TColor textColor,
                      TColor noteColor, const ToolkitFont *noteFont = nullptr,
                      const ToolkitFont *titleFont = nullptr);
