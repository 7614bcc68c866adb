#include "app/InternalProcsGui.h"

#include "app/RegistryUnit.h"
#include "platform/BrisquelError.h"
#include "platform/Sound.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QThread>
#include <QUrl>
#include <QWidget>

namespace {

QPointer<QWidget> &mainFormWindow()
{
    static QPointer<QWidget> window;
    return window;
}

QColor resolvedColor(TColor color, TColor fallback)
{
    return toQColor(color == clNone ? fallback : color);
}

// The strip geometry is given in the canvas conventions the notes were
// designed with: a box (left, top, right, bottom) leaves out its right and
// bottom edge, and a line leaves out its end point.
void fillBox(QPainter &canvas, int left, int top, int right, int bottom, const QColor &color)
{
    canvas.fillRect(QRect(left, top, right - left, bottom - top), color);
}

// For horizontal, vertical and diagonal lines of a one-pixel pen.
void drawLineWithoutEnd(QPainter &canvas, QPoint from, QPoint to)
{
    const QPoint step((to.x() > from.x()) - (to.x() < from.x()), (to.y() > from.y()) - (to.y() < from.y()));
    if (step.isNull())
        return;
    canvas.drawLine(from, to - step);
}

QPen thinPen(const QColor &color)
{
    QPen pen(color);
    pen.setWidth(1);
    return pen;
}

void drawLinkGlyph(QPainter &canvas, int width, const QColor &lineColor, const QColor &noteColor)
{
    fillBox(canvas, width - 25, 1, width - 13, 12, noteColor);
    canvas.setPen(thinPen(lineColor));
    const int x0 = width - 23;
    drawLineWithoutEnd(canvas, {x0, 2}, {x0, 10});
    drawLineWithoutEnd(canvas, {x0, 2}, {x0 + 7, 2});
    drawLineWithoutEnd(canvas, {x0 + 7, 2}, {x0 + 7, 9});
    drawLineWithoutEnd(canvas, {x0, 10}, {x0 + 6, 10});
    drawLineWithoutEnd(canvas, {x0 + 5, 9}, {x0 + 5, 7});
    drawLineWithoutEnd(canvas, {x0 + 5, 7}, {x0 + 7, 7});
    canvas.drawPoint(x0 + 6, 9);
}

void drawCloseGlyph(QPainter &canvas, int width, const QColor &lineColor, const QColor &noteColor)
{
    fillBox(canvas, width - 12, 1, width - 1, 12, noteColor);
    // A two-pixel pen covers both end points with its round caps; drawn
    // through the pixel centres so the cross sits square in its box.
    QPen pen(lineColor);
    pen.setWidth(2);
    pen.setCapStyle(Qt::RoundCap);
    canvas.setPen(pen);
    const QPointF centre(0.5, 0.5);
    canvas.drawLine(QPointF(width - 10, 3) + centre, QPointF(width - 4, 9) + centre);
    canvas.drawLine(QPointF(width - 4, 3) + centre, QPointF(width - 10, 9) + centre);
}

} // namespace

bool IsComponentNameUsed(const QString &name)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return false;
    const QString wanted = name.toUpper();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget *window : windows) {
        if (window->objectName().toUpper() == wanted)
            return true;
    }
    return false;
}

void setMainFormWindow(QWidget *window)
{
    mainFormWindow() = window;
}

void OpenLinkedFile(const QString &path)
{
    const QFileInfo file(path);
    if (!file.isFile())
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
}

void OpenDocument(const QString &target)
{
    const QString trimmed = target.trimmed();
    if (trimmed.isEmpty())
        return;
    // A bare address such as www.example.com becomes an http address; an
    // existing absolute path becomes a file address.
    QDesktopServices::openUrl(QUrl::fromUserInput(trimmed));
}

void PlaySoundFile(const QString &file, bool wait)
{
    if (wait)
        Sound::playSync(file);
    else
        Sound::playAsync(file);
}

void PlayAlarmSound()
{
    PlaySoundFile(Settings.TrillFile, false);
}

void HideAppWindows()
{
    if (QWidget *window = mainFormWindow())
        window->hide();
    QThread::yieldCurrentThread();
}

void DrawTitleStrip(QPainter &canvas, const QString &caption, int width, int height, TColor titleColor,
                    TColor textColor, TColor noteColor, const FontRecord &font, bool showLinkGlyph)
{
    const QColor title = resolvedColor(titleColor, Settings.TitleColor);
    const QColor note = resolvedColor(noteColor, Settings.NoteColor);
    const QColor text = resolvedColor(textColor, font.Color);

    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);

    fillBox(canvas, 0, 0, width, height, title);

    canvas.setPen(thinPen(text));
    canvas.setBrush(note);
    canvas.drawEllipse(QRect(2, 2, 8, 8));

    canvas.setFont(RecordToFont(font).font);
    const QFontMetrics metrics = canvas.fontMetrics();
    canvas.setPen(text);
    canvas.drawText(QPoint(14, height - metrics.height() + metrics.ascent()), caption);

    if (showLinkGlyph)
        drawLinkGlyph(canvas, width, text, note);
    drawCloseGlyph(canvas, width, text, note);

    canvas.restore();
}

void DrawNoteTitle(QPainter &canvas, const QString &caption, int width, int height, TColor titleColor,
                   TColor textColor, TColor noteColor, bool showLinkGlyph)
{
    DrawTitleStrip(canvas, caption, width, height, titleColor, textColor, noteColor, Settings.TitleFont,
                   showLinkGlyph);
}

void DrawStylePreview(QPainter &canvas, int width, int height, TColor titleColor, TColor textColor,
                      TColor noteColor, const ToolkitFont *noteFont, const ToolkitFont *titleFont)
{
    canvas.save();
    fillBox(canvas, 0, 0, width, height, resolvedColor(noteColor, Settings.NoteColor));
    if (noteFont) {
        canvas.setFont(noteFont->font);
        canvas.setPen(toQColor(noteFont->color));
        canvas.drawText(QPoint(4, 15 + canvas.fontMetrics().ascent()), QStringLiteral("示范便笺"));
    }
    canvas.restore();

    const FontRecord stripFont = titleFont ? FontToRecord(*titleFont) : Settings.TitleFont;
    DrawTitleStrip(canvas, QStringLiteral("示范标题"), width, 13, titleColor, textColor, noteColor, stripFont, true);
}

void BeginPrintCanvas(QPainter &canvas, QPrinter &printer)
{
    if (!canvas.begin(&printer))
        throw BrisquelError(QStringLiteral("Unable to start the print job"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(10);
    canvas.setFont(font);
}
