#include "notes/NoteExportDialog.h"

#include "app/BrisquelMessages.h"
#include "notes/NoteExport.h"
#include "notes/NoteWrapper.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QSaveFile>

#include <optional>

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

QStringList filterTexts()
{
    QStringList filters;
    for (const FormatFilter &entry : kFilters)
        filters.append(QString::fromUtf8(entry.filter));
    return filters;
}

bool writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// None when cancelled.
QString askFolder(QWidget *parent)
{
    QFileDialog dialog(parent, QStringLiteral("导出便笺到文件夹"), QDir::homePath());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

// A folder dialog has no file types to choose from, so the format is a
// question of its own. None when cancelled.
std::optional<Format> askFormat(QWidget *parent)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("导出便笺"));
    dialog.setLabelText(QStringLiteral("保存为:"));
    dialog.setComboBoxItems(filterTexts());
    dialog.setComboBoxEditable(false);
    dialog.setOkButtonText(QStringLiteral("确定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return formatOfFilter(dialog.textValue());
}

struct NoteToSave
{
    QString title;
    QByteArray body;
};

} // namespace

void ExportNote(QWidget *parent, TNoteWrapper &wrapper)
{
    // Taken before the dialog lets messages run, during which the note may go.
    wrapper.ReadFromWindow();
    const QString title = wrapper.Note->Title;
    const QByteArray body = wrapper.Note->Content;
    QFileDialog dialog(parent, QStringLiteral("导出便笺"), QDir::homePath());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filterTexts());
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

void ExportNotes(QWidget *parent, const QList<TNoteWrapper *> &wrappers)
{
    // Taken before the dialogs let messages run, during which notes may go.
    QList<NoteToSave> notes;
    QStringList damaged;
    for (TNoteWrapper *wrapper : wrappers) {
        if (wrapper->Damaged) {
            damaged.append(wrapper->NoteID);
            continue;
        }
        wrapper->ReadFromWindow();
        notes.append({wrapper->Note->Title, wrapper->Note->Content});
    }
    const QString folder = askFolder(parent);
    if (folder.isEmpty())
        return;
    const std::optional<Format> format = askFormat(parent);
    if (!format)
        return;

    QStringList titles;
    for (const NoteToSave &note : std::as_const(notes))
        titles.append(note.title);
    const QDir target(folder);
    const QStringList names = NoteExport::distinctFileNames(
        titles, *format, target.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    for (qsizetype i = 0; i < notes.size(); ++i) {
        const QString path = target.filePath(names.at(i));
        if (!writeWhole(path, NoteExport::bodyAs(notes.at(i).body, *format)))
            ShowErrorBox(QStringLiteral("便笺不能导出: ") + notes.at(i).title + QStringLiteral("\n") + path);
    }
    if (!damaged.isEmpty())
        ShowWarning(QStringLiteral("损坏的便笺没有导出: ") + damaged.join(QStringLiteral(", ")));
}
