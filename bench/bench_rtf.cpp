// Speed of the note-body RTF codec on a 1 MiB note of mixed formatted text:
// RTF to plain text (MiB/s), RTF into a QTextDocument and the document back
// to RTF (ms). Prints the best of several runs.

#include "platform/CodePage.h"
#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr qsizetype kNoteSize = 1024 * 1024;

QByteArray hexEscaped(QStringView text)
{
    QByteArray out;
    for (char byte : CodePage::toCp936(text))
        out += "\\'" + QByteArray::number(uchar(byte), 16).rightJustified(2, '0');
    return out;
}

// A note in the style the Windows rich-text control saves: two Chinese
// fonts and a Western one, colours, styles, tabs, soft breaks, alignment,
// Chinese text as code page 936 bytes and an emoji as \uN.
QByteArray mixedNote()
{
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

// Best time of a few runs, in milliseconds.
double bestMilliseconds(int runs, const std::function<void()> &work)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QByteArray note = mixedNote();
    const double mebibytes = note.size() / double(1024 * 1024);

    qsizetype characters = 0;
    const double plainMs = bestMilliseconds(20, [&] { characters = Rtf::toPlainText(note).size(); });

    QTextDocument document;
    const double readMs = bestMilliseconds(5, [&] { Rtf::readInto(document, note); });

    qsizetype written = 0;
    const double writeMs = bestMilliseconds(5, [&] { written = Rtf::write(document).size(); });

    std::printf("note: %lld bytes of RTF, %lld characters of text, %d paragraphs\n", qlonglong(note.size()),
                qlonglong(characters), document.blockCount());
    std::printf("RTF to plain text:    %8.2f ms  %8.1f MiB/s  (goal: 100 MiB/s or more)\n", plainMs,
                mebibytes / (plainMs / 1000.0));
    std::printf("RTF to QTextDocument: %8.2f ms  (goal: under 100 ms)\n", readMs);
    std::printf("QTextDocument to RTF: %8.2f ms  (goal: under 100 ms), %lld bytes\n", writeMs, qlonglong(written));
    return 0;
}
