#include "notes/NoteExportDialog.h"

#include "app/BrisquelMessages.h"
#include "notes/NoteExport.h"
#include "notes/NoteWrapper.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

namespace {

using NoteExport::Format;

struct FormatFilter
{
    Format format;
    const char *filter;
};

// RTF first: it keeps everything the note holds.
constexpr FormatFilter kFilters[] = {
    {Format::Rtf, "RTF 文档 (*.rtf)"},
    {Format::Html, "网页 (*.html *.htm)"},
    {Format::Markdown, "Markdown 文档 (*.md)"},
    {Format::PlainText, "纯文本 (*.txt)"},
};

Format formatOfFilter(const QString &filter)
{
    for (const FormatFilter &entry : kFilters) {
        if (filter == QString::fromUtf8(entry.filter))
            return entry.format;
    }
    return Format::Rtf;
}

bool writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

void ExportNote(QWidget *parent, TNoteWrapper &wrapper)
{
    // Taken before the dialog lets messages run, during which the note may go.
    wrapper.ReadFromWindow();
    const QString title = wrapper.Note->Title;
    const QByteArray body = wrapper.Note->Content;
    QStringList filters;
    for (const FormatFilter &entry : kFilters)
        filters.append(QString::fromUtf8(entry.filter));

    QFileDialog dialog(parent, QStringLiteral("导出便笺"), QDir::homePath());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // Replacing a file is asked below, once the extension is known.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(NoteExport::safeFileName(title) + NoteExport::extensionOf(Format::Rtf));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;

    QString path = dialog.selectedFiles().constFirst();
    std::optional<Format> format = NoteExport::formatOfFile(path);
    if (!format) {
        format = formatOfFilter(dialog.selectedNameFilter());
        path += NoteExport::extensionOf(*format);
    }
    if (QFileInfo::exists(path)
        && !ConfirmYesNo(QStringLiteral("文件已经存在, 是否替换?") + QStringLiteral("\n") + path))
        return;
    if (!writeWhole(path, NoteExport::bodyAs(body, *format)))
        ShowErrorBox(QStringLiteral("便笺不能导出: ") + title + QStringLiteral("\n") + path);
}
