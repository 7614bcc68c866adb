#include "notewindow/NotePrinting.h"

#include "app/InternalProcsGui.h"
#include "notes/ClassesUnit.h"
#include "platform/BrisquelError.h"
#include "platform/DateTime.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QTextLayout>
#include <QTextOption>

const QString MakerAddress = QStringLiteral("https://orvanta.example/brisquel");

namespace {

constexpr int kMargin = 100;
constexpr int kLineGap = 10;
constexpr int kTabColumns = 8;

// Lays out and prints the body line by line, starting a new page when the
// next line does not fit above the page bottom.
class BodyPrinter
{
public:
    BodyPrinter(QPrinter &printer, QPainter &canvas, int top)
        : m_printer(printer)
        , m_canvas(canvas)
        , m_y(top)
        , m_width(printer.width() - 2 * kMargin)
    {
        m_option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        m_option.setTabStopDistance(kTabColumns * canvas.fontMetrics().averageCharWidth());
    }

    void printParagraph(const QString &paragraph)
    {
        QTextLayout layout(paragraph, m_canvas.font(), &m_printer);
        layout.setTextOption(m_option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
            line.setLineWidth(qMax(1, m_width));
        layout.endLayout();
        for (int index = 0; index < layout.lineCount(); ++index)
            printLine(layout.lineAt(index));
    }

private:
    void printLine(QTextLine line)
    {
        const int height = qCeil(line.height());
        // A line taller than a whole page is printed anyway rather than
        // starting page after page.
        if (m_y + height > m_printer.height() && m_linesOnPage > 0) {
            if (!m_printer.newPage())
                throw BrisquelError(QStringLiteral("Unable to start a new page"));
            m_y = kMargin;
            m_linesOnPage = 0;
        }
        line.draw(&m_canvas, QPointF(kMargin, m_y - line.y()));
        m_y += height;
        ++m_linesOnPage;
    }

    QPrinter &m_printer;
    QPainter &m_canvas;
    QTextOption m_option;
    int m_y;
    const int m_width;
    int m_linesOnPage = 0;
};

} // namespace

std::unique_ptr<QPrinter> NewPrinter()
{
    return std::make_unique<QPrinter>(QPrinter::HighResolution);
}

void PrintNote(QPrinter &printer, const TNoteClass &note, const QString &plainText)
{
    QPainter canvas;
    BeginPrintCanvas(canvas, printer);
    const QFontMetrics metrics = canvas.fontMetrics();
    // Lines are placed by the top of their text.
    const auto textOut = [&](int y, const QString &text) {
        canvas.drawText(QPoint(kMargin, y + metrics.ascent()), text);
    };

    const QString header = QStringLiteral("使用 Brisquel 打印: ") + MakerAddress;
    const int h = metrics.height();
    textOut(kMargin, header);
    textOut(h + kMargin + kLineGap,
            QStringLiteral("便笺:   ") + note.Title + QStringLiteral(" 共:  ") + dateTimeText(note.Created));
    textOut(2 * h + kMargin + 2 * kLineGap, QStringLiteral("便笺文本: "));

    BodyPrinter body(printer, canvas, 3 * h + kMargin + 3 * kLineGap);
    if (!plainText.isEmpty()) {
        const QStringList paragraphs = plainText.split(QLatin1Char('\n'));
        for (const QString &paragraph : paragraphs)
            body.printParagraph(paragraph);
    }
    canvas.end();
}
