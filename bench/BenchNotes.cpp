#include "bench/BenchNotes.h"

#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/RtfWriter.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPoint>
#include <QStandardPaths>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace BenchNotes {

namespace {

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kNoteWidth = 200;
constexpr int kNoteHeight = 180;
// Kinds of body: line count, styles and colours repeat with this period.
constexpr int kBodyKinds = 40;

const char *const kTopics[] = {
    "meeting notes", "shopping list", "phone numbers", "project plan", "reading list",
    "travel",        "recipes",       "passwords hint", "ideas",       "to call back",
};

const char16_t *const kLines[] = {
    u"明天上午十点在三楼会议室开会，请准时参加。",
    u"Review the quarterly budget with Alice and Bob before Friday.",
    u"买牛奶、鸡蛋和面包；给水管工打电话。",
    u"Call the dentist: 010-6552 3098 (ask for Dr. Wang)",
    u"项目进度：第一阶段已完成，第二阶段预计下月开始。",
    u"Flight CA1234 departs 08:45, terminal 3, gate 21.",
    u"记得备份数据库和配置文件。",
    u"Ideas: a smaller tray menu, bigger fonts for the titles.",
    u"周末去图书馆还书。",
    u"Password hint: the name of the first cat + the year.",
};

QTextCharFormat plainFormat()
{
    QTextCharFormat format;
    format.setFontFamilies({QStringLiteral("Arial")});
    format.setFontPointSize(8);
    format.setForeground(QColor(0, 0, 0));
    return format;
}

// Fills the document with note kind's text: a bold title line, then three to
// eight lines, one word in two colours, some italic, a larger line now and then.
void fillBody(QTextDocument &document, int index)
{
    const int kind = index % kBodyKinds;
    document.clear();
    QTextCursor cursor(&document);
    QTextCharFormat title = plainFormat();
    title.setFontWeight(QFont::Bold);
    cursor.insertText(titleLine(index), title);
    const int lines = 3 + kind % 6;
    for (int line = 0; line < lines; ++line) {
        cursor.insertBlock();
        const QString text = QString::fromUtf16(kLines[(kind + line * 3) % std::size(kLines)]);
        QTextCharFormat format = plainFormat();
        if (text.at(0).unicode() > 0x2E80)
            format.setFontFamilies({QStringLiteral("SimSun")});
        if ((kind + line) % 4 == 0)
            format.setFontItalic(true);
        if ((kind + line) % 7 == 0)
            format.setFontPointSize(11);
        const qsizetype split = text.size() / 3;
        cursor.insertText(text.left(split), format);
        QTextCharFormat marked = format;
        marked.setForeground((kind + line) % 2 ? QColor(255, 0, 0) : QColor(0, 0, 255));
        marked.setFontWeight(QFont::Bold);
        cursor.insertText(text.mid(split, 4), marked);
        cursor.insertText(text.mid(split + 4), format);
    }
}

QString hexId(int index)
{
    // The program's own ids are "N" and hex digits; these sort by index.
    return QStringLiteral("N%1").arg(0x1260000000LL + index, 0, 16).toUpper();
}

QPoint placeOf(int index)
{
    return QPoint(10 + (index * 53) % (kScreenWidth - kNoteWidth - 20),
                  30 + (index * 37) % (kScreenHeight - kNoteHeight - 40));
}

QByteArray hexEscaped(QStringView text)
{
    QByteArray out;
    for (char byte : CodePage::toCp936(text))
        out += "\\'" + QByteArray::number(uchar(byte), 16).rightJustified(2, '0');
    return out;
}

void writeTextFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

} // namespace

QByteArray megabyteNote()
{
    constexpr qsizetype kNoteSize = 1024 * 1024;
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl"
                     "{\\f0\\fswiss\\fcharset0 Arial;}{\\f1\\fnil\\fcharset134 "
                     + hexEscaped(u"宋体") + ";}{\\f2\\fnil\\fcharset134 " + hexEscaped(u"微软雅黑")
                     + ";}}\r\n{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
                       "\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    const QByteArray paragraphs[] = {
        "\\cf1\\b Meeting notes:\\cf0\\b0  review the \\i quarterly\\i0  budget with \\ul Alice\\ulnone  and "
        "Bob\\tab 10:30\\par\r\n",
        "\\f1\\fs24\\lang2052 " + hexEscaped(u"明天上午十点在三楼会议室开会，请准时参加并带上笔记本。")
            + "\\lang1033\\f0\\fs20  (room 3.14)\\par\r\n",
        "\\pard\\qc\\f2\\fs28\\cf2 " + hexEscaped(u"重要提醒")
            + "\\cf0\\f0\\fs20  \\strike cancelled\\strike0  \\u-10179?\\u-8704? ok\\line second line\\par\r\n"
              "\\pard ",
        "Buy milk, eggs and bread on the way home; call the plumber about the kitchen sink before Friday.\\par\r\n",
    };
    for (int i = 0; rtf.size() < kNoteSize; ++i)
        rtf += paragraphs[i % std::size(paragraphs)];
    rtf += "\\par\r\n}\r\n";
    return rtf;
}

void prepareProcess()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
}

void useDefaultSettings()
{
    Settings = GlobalSettings();
    Settings.NoteFont.setFaceName(QStringLiteral("Arial"));
    Settings.NoteFont.Size = 8;
    Settings.NoteFont.Color = clBlack;
    Settings.TitleFont = Settings.NoteFont;
    Settings.TitleFont.Size = 7;
}

QString titleLine(int index)
{
    return QStringLiteral("Note %1: %2").arg(index).arg(QLatin1String(kTopics[index % std::size(kTopics)]));
}

QByteArray body(int index)
{
    QTextDocument document;
    fillBody(document, index);
    return Rtf::write(document);
}

QString plainText(int index)
{
    QTextDocument document;
    fillBody(document, index);
    return document.toPlainText();
}

std::unique_ptr<TNoteClass> makeNote(int index, bool hidden)
{
    auto note = std::make_unique<TNoteClass>(hexId(index));
    const QPoint place = placeOf(index);
    note->Left = place.x();
    note->Top = place.y();
    note->Width = kNoteWidth;
    note->Height = kNoteHeight;
    note->Created = Now() - 30.0 - index % 300;
    note->Title = titleLine(index);
    note->Group = (index % 3 == 0) ? QStringLiteral("工作") : QString();
    note->SetHidden(hidden);
    if (index % 20 == 7) {
        note->AlarmSet = true;
        note->AlarmTime = Now() + 2.0 + index % 10;
    }
    note->Content = body(index);
    return note;
}

bool isVisible(int index, int count, int visible)
{
    const qint64 before = qint64(index) * visible / count;
    const qint64 after = qint64(index + 1) * visible / count;
    return after > before;
}

QString writeBrisquelNotes(const QString &programFolder, int count, int visible)
{
    setProgramFolder(programFolder);
    InitUserFolder();
    int hiddenSeen = 0;
    for (int index = 0; index < count; ++index) {
        const bool hidden = !isVisible(index, count, visible);
        auto note = makeNote(index, hidden);
        if (hidden && hiddenSeen++ % 5 == 0) {
            note->AutoShowState = 1;
            note->AutoShowTime = Now() + 3.0 + index % 7;
        }
        // The file image as the program writes it, private as the program
        // leaves it, without the flush to disk of a real save: thousands of
        // notes are written per benchmark.
        const QString path = NoteFileName(note->NoteID);
        writeTextFile(path, note->toFileBytes());
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
    return UserFolder;
}

void writeXpadNotes(const QString &configFolder, int count, int visible)
{
    QDir().mkpath(configFolder);
    // Without its style file xpad believes it runs for the first time and
    // opens its help window.
    writeTextFile(configFolder + QStringLiteral("/default-style"),
                  "decorations 0\nheight 180\nwidth 200\nconfirm_destroy 1\nedit_lock 0\nsticky_on_start 0\n"
                  "tray_enabled 1\ntray_click_configuration 1\nback rgb(255,238,153)\nuse_back 1\n"
                  "text rgb(0,0,0)\nuse_text 1\nfontname Sans 9\ntoolbar 1\nauto_hide_toolbar 1\nscrollbar 1\n"
                  "buttons New, Delete, Separator, Cut, Copy, Paste, Separator, Undo, Redo, Separator, Find\n"
                  "autostart_wait_systray 0\nautostart_delay 0\nautostart_new_pad 0\nautostart_display_pads 2\n"
                  "hide_from_taskbar 0\nhide_from_task_switcher 0\nline_numbering 0\n");
    for (int index = 0; index < count; ++index) {
        const QString suffix = QStringLiteral("%1").arg(index, 6, 10, QLatin1Char('0'));
        const QPoint place = placeOf(index);
        const QString info = QStringLiteral("width %1\nheight %2\nx %3\ny %4\nfollow_font 1\nfollow_color 1\n"
                                            "sticky 0\nhidden %5\nback rgb(255,238,153)\ntext rgb(0,0,0)\n"
                                            "fontname Sans 9\ncontent content-%6\n")
                                 .arg(kNoteWidth)
                                 .arg(kNoteHeight)
                                 .arg(place.x())
                                 .arg(place.y())
                                 .arg(isVisible(index, count, visible) ? 0 : 1)
                                 .arg(suffix);
        writeTextFile(configFolder + QStringLiteral("/info-") + suffix, info.toUtf8());
        writeTextFile(configFolder + QStringLiteral("/content-") + suffix, plainText(index).toUtf8());
    }
}

QList<double> timeRuns(int runs, const std::function<void()> &work)
{
    QList<double> times;
    times.reserve(runs);
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(double(timer.nsecsElapsed()) / 1e6);
    }
    return times;
}

double median(QList<double> values)
{
    return percentile(std::move(values), 0.5);
}

double percentile(QList<double> values, double fraction)
{
    if (values.isEmpty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto at = qsizetype(std::lround(fraction * double(values.size() - 1)));
    return values.at(std::clamp<qsizetype>(at, 0, values.size() - 1));
}

} // namespace BenchNotes
