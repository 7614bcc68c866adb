#include "app/InternalProcs.h"

#include "platform/CodePage.h"
#include "platform/DateTime.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWidget>

#include <pwd.h>
#include <unistd.h>

bool Starting = true;
bool ShuttingDown = false;
bool ShellReady = true;
QString UserFolder;

namespace {

int shellHolds = 0;
bool readyBeforeHolds = true;

QString &programFolderOverride()
{
    static QString folder;
    return folder;
}

QString withSeparator(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}


// Creates the folder and its missing parents; the folders made here are
// readable by their owner only.
void makePrivatePath(const QString &path)
{
    const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'));
    QString current;
    for (const QString &part : parts) {
        current += part + QLatin1Char('/');
        if (part.isEmpty() || QDir(current).exists())
            continue;
        QDir().mkdir(current, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

} // namespace

QString TrimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

ShellReadyGuard::ShellReadyGuard()
{
    if (shellHolds++ == 0)
        readyBeforeHolds = ShellReady;
    ShellReady = false;
}

ShellReadyGuard::~ShellReadyGuard()
{
    if (--shellHolds == 0)
        ShellReady = readyBeforeHolds;
}

QString ProgramFolder()
{
    const QString &folder = programFolderOverride();
    return withSeparator(folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder);
}

void setProgramFolder(const QString &folder)
{
    programFolderOverride() = folder;
}

QString LogOnName()
{
    const passwd *entry = getpwuid(getuid());
    const QString name = entry && entry->pw_name ? TrimBlanks(QString::fromLocal8Bit(entry->pw_name)) : QString();
    return name.isEmpty() ? QStringLiteral("defaultUser") : name;
}

namespace {

const QString kDataName = QStringLiteral("brisquel");

// The data folder of an installed copy: share/brisquel beside its bin/.
QString installedDataFolder()
{
    const QDir program(ProgramFolder());
    if (program.dirName() != QLatin1String("bin"))
        return QString();
    return QDir::cleanPath(program.absoluteFilePath(QStringLiteral("../share/")) + QLatin1Char('/') + kDataName)
        + QLatin1Char('/');
}

// Whether the folder, or the nearest of its parents that exists, takes new
// files.
bool canWriteBelow(const QString &path)
{
    QFileInfo folder(QDir::cleanPath(path));
    while (!folder.exists() && !folder.isRoot())
        folder = QFileInfo(folder.absolutePath());
    return folder.isDir() && folder.isWritable();
}

// Installed copies are shared by every user even where one of them (root)
// could write into bin/, so only a folder of its own counts as portable.
bool isPortable()
{
    const QString program = ProgramFolder();
    if (QFileInfo(program + QStringLiteral("Users")).isDir())
        return true;
    const QString installed = installedDataFolder();
    if (!installed.isEmpty() && QFileInfo(installed).isDir())
        return false;
    return canWriteBelow(program);
}

} // namespace

QString DataFolder()
{
    if (isPortable())
        return ProgramFolder();
    const QString folder = withSeparator(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        + kDataName + QLatin1Char('/');
    makePrivatePath(folder);
    return folder;
}

QString UsersFolder()
{
    return DataFolder() + QStringLiteral("Users/");
}

QString ProgramDataFile(const QString &name)
{
    const QString beside = ProgramFolder() + name;
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = installedDataFolder();
    if (!installed.isEmpty() && QFileInfo::exists(installed + name))
        return installed + name;
    const QString shared = QStandardPaths::locate(QStandardPaths::GenericDataLocation, kDataName + QLatin1Char('/') + name);
    return shared.isEmpty() ? beside : shared;
}

void InitUserFolder()
{
    UserFolder = UsersFolder() + LogOnName() + QLatin1Char('/');
    makePrivatePath(UserFolder);
    // A folder made by an older copy or by hand may let others read the notes.
    const QFileInfo folder(UserFolder);
    const QFileDevice::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    if (folder.isDir() && folder.ownerId() == ::geteuid() && (folder.permissions() & others))
        QFile::setPermissions(UserFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString NoteFileName(const QString &id)
{
    return UserFolder + TrimBlanks(id) + QStringLiteral(".knt");
}

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

QString NewNoteID()
{
    const QString digits = Clock::now().toString(QStringLiteral("yyyyMMddHHmmss"));
    const QString base = QLatin1Char('N') + QString::number(digits.toLongLong(), 16).toUpper();
    for (quint64 counter = 0;; ++counter) {
        const QString candidate = base + QStringLiteral("%1").arg(counter, 2, 16, QLatin1Char('0')).toUpper();
        if (!QFile::exists(NoteFileName(candidate)) && !IsComponentNameUsed(candidate))
            return candidate;
    }
}

FontRecord FontToRecord(const ToolkitFont &font)
{
    FontRecord record;
    record.setFaceName(font.font.family());
    record.Size = quint8(font.font.pointSize() & 0xFF);
    record.Style = (font.font.bold() ? FontRecord::fsBold : 0) | (font.font.italic() ? FontRecord::fsItalic : 0)
        | (font.font.underline() ? FontRecord::fsUnderline : 0)
        | (font.font.strikeOut() ? FontRecord::fsStrikeOut : 0);
    record.Color = font.color;
    return record;
}

ToolkitFont RecordToFont(const FontRecord &record)
{
    ToolkitFont result;
    result.font.setFamily(record.faceName());
    if (record.Size > 0)
        result.font.setPointSize(record.Size);
    result.font.setBold(record.Style & FontRecord::fsBold);
    result.font.setItalic(record.Style & FontRecord::fsItalic);
    result.font.setUnderline(record.Style & FontRecord::fsUnderline);
    result.font.setStrikeOut(record.Style & FontRecord::fsStrikeOut);
    result.color = record.Color;
    return result;
}

// Shell, sound, hiding the main form and the shared strip painter.

#include "platform/BrisquelError.h"
#include "platform/Sound.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QThread>
#include <QUrl>

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
