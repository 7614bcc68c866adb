#include "errors/ftmExceptionForm.h"

#include "app/InternalProcs.h"
#include "app/rsFileVersion.h"
#include "platform/DateTime.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QTextBlock>
#include <QTextLayout>

namespace {

constexpr int kClientWidth = 506;
constexpr int kClientHeight = 193;
constexpr int kStripWidth = 49;
constexpr int kBoxWidth = 457;
constexpr int kBoxHeight = 162;
constexpr int kMiddleLeft = 97;
constexpr int kMiddleWidth = 224;
constexpr int kRightLeft = kMiddleLeft + kMiddleWidth;
constexpr int kRowHeight = kClientHeight - kBoxHeight;

QFont dialogFont()
{
    QFont font(QStringLiteral("MS Shell Dlg 2"));
    font.setPixelSize(11);
    return font;
}

QFont labelFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    font.setBold(true);
    return font;
}

QPushButton *makeButton(QWidget *parent, const QString &caption, int left)
{
    auto *button = new QPushButton(caption, parent);
    button->setGeometry(left, kBoxHeight + 4, 75, 25);
    return button;
}

// Linux stand-ins for the Windows patterns "*.exe", "*.dll" and "*.bpl":
// executables carry no extension, so the program's own file comes first,
// and shared libraries are "*.so" files. The Windows patterns stay, for
// files of that kind kept beside the program.
QStringList productPatterns()
{
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return {program,          QStringLiteral("*.exe"), QStringLiteral("*.so"),
            QStringLiteral("*.so.*"), QStringLiteral("*.dll"), QStringLiteral("*.bpl")};
}

} // namespace

TExceptionForm::TExceptionForm(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("异常错误"));
    setFont(dialogFont());
    setFixedSize(kClientWidth, kClientHeight);

    ErrorIcon = new QLabel(this);
    ErrorIcon->setGeometry(8, 8, 32, 32);
    ErrorIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));

    ErrorLog = new QPlainTextEdit(this);
    ErrorLog->setObjectName(QStringLiteral("ErrorLog"));
    ErrorLog->setGeometry(kStripWidth, 0, kBoxWidth, kBoxHeight);
    ErrorLog->setReadOnly(true);
    ErrorLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ErrorLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ErrorLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ErrorLog->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    TerminateBTN = makeButton(this, QStringLiteral("终止(&T)"), 4);
    TerminateBTN->setObjectName(QStringLiteral("TerminateBTN"));

    ReportLabel = new QLabel(QStringLiteral("请报告这个错误 \n到 Orvanta"), this);
    ReportLabel->setGeometry(kMiddleLeft, kBoxHeight, kMiddleWidth, kRowHeight);
    ReportLabel->setFont(labelFont());
    ReportLabel->setAlignment(Qt::AlignCenter);
    ReportLabel->setWordWrap(true);

    CopyBTN = makeButton(this, QStringLiteral("复制(&P)"), kRightLeft + 30);
    CopyBTN->setObjectName(QStringLiteral("CopyBTN"));
    CloseBTN = makeButton(this, QStringLiteral("关闭(&C)"), kRightLeft + 110);
    CloseBTN->setObjectName(QStringLiteral("CloseBTN"));

    connect(TerminateBTN, &QPushButton::clicked, this, &TExceptionForm::TerminateBTNClick);
    connect(CopyBTN, &QPushButton::clicked, this, &TExceptionForm::CopyBTNClick);
    connect(CloseBTN, &QPushButton::clicked, this, &TExceptionForm::CloseBTNClick);

    FormCreate();
}

void TExceptionForm::FormCreate()
{
    ErrorLog->clear();
}

void TExceptionForm::SetReportLines(const QStringList &lines)
{
    ErrorLog->setPlainText(lines.join(QLatin1Char('\n')));
}

void TExceptionForm::AddProductVersions()
{
    ErrorLog->appendPlainText(QString(64, QLatin1Char('-')));
    ErrorLog->appendPlainText(QStringLiteral("Product Versions"));
    ErrorLog->appendPlainText(QString());
    const QDir folder(ProgramFolder());
    QSet<QString> listed;
    for (const QString &pattern : productPatterns()) {
        const QFileInfoList entries = folder.entryInfoList(
            {pattern}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QFileInfo &entry : entries) {
            if (listed.contains(entry.fileName()))
                continue;
            listed.insert(entry.fileName());
            ErrorLog->appendPlainText(entry.fileName() + QLatin1Char(':') + FileVersionText(entry.filePath())
                                      + QLatin1Char(' ') + dateTimeText(entry.lastModified()));
        }
    }
}

// A hidden widget gets its resize event only when shown, and until then the
// box lays its text out for a width it does not have yet. The log is written
// before the dialog shows, from the lines the shown box will have.
void TExceptionForm::layOutHiddenBox()
{
    ensurePolished();
    if (ErrorLog->isVisible())
        return;
    // The box places its viewport on its own resize and lays out the text on
    // the viewport's.
    QResizeEvent boxResized(ErrorLog->size(), QSize());
    QCoreApplication::sendEvent(ErrorLog, &boxResized);
    QResizeEvent viewportResized(ErrorLog->viewport()->size(), QSize());
    QCoreApplication::sendEvent(ErrorLog->viewport(), &viewportResized);
}

QStringList TExceptionForm::ReportLines()
{
    layOutHiddenBox();
    const QTextDocument *document = ErrorLog->document();
    auto *layout = qobject_cast<QPlainTextDocumentLayout *>(document->documentLayout());
    QStringList lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        if (layout)
            layout->ensureBlockLayout(block);
        const QTextLayout *blockLayout = block.layout();
        if (!blockLayout || blockLayout->lineCount() == 0) {
            lines.append(text);
            continue;
        }
        for (int index = 0; index < blockLayout->lineCount(); ++index) {
            const QTextLine line = blockLayout->lineAt(index);
            lines.append(text.mid(line.textStart(), line.textLength()));
        }
    }
    return lines;
}

int TExceptionForm::ShowModal()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    return exec();
}

void TExceptionForm::CloseBTNClick()
{
    done(ResultOk);
}

void TExceptionForm::CopyBTNClick()
{
    QString text;
    for (const QString &line : ReportLines())
        text += line + QStringLiteral("\r\n");
    QGuiApplication::clipboard()->setText(text);
}

void TExceptionForm::TerminateBTNClick()
{
    done(ResultAbort);
}

// Reached through the close box of the caption.
void TExceptionForm::reject()
{
    done(ResultCancel);
}

// Esc presses the close button rather than the close box.
void TExceptionForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CloseBTN->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
