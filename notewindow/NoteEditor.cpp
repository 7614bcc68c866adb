#include "notewindow/NoteEditor.h"

#include <QMimeData>

#include <memory>

namespace {

// Marks what a note body puts on the clipboard, so that another note body
// takes its formatting along.
const QString kNoteTextFormat = QStringLiteral("application/x-brisquel-note-text");

bool fromNoteBody(const QMimeData *source)
{
    return source->hasFormat(kNoteTextFormat) && source->hasHtml();
}

} // namespace

NoteEditor::NoteEditor(QWidget *parent)
    : QTextEdit(parent)
{
    setTabChangesFocus(false);
}

QMimeData *NoteEditor::createMimeDataFromSelection() const
{
    // The toolkit's own data lists a fixed set of formats, so the mark goes
    // into plain data of our own.
    const std::unique_ptr<QMimeData> selection(QTextEdit::createMimeDataFromSelection());
    auto *data = new QMimeData;
    data->setText(selection->text());
    data->setHtml(selection->html());
    data->setData(kNoteTextFormat, QByteArray("1"));
    return data;
}

bool NoteEditor::canInsertFromMimeData(const QMimeData *source) const
{
    return fromNoteBody(source) || (source->hasText() && !source->text().isEmpty());
}

void NoteEditor::insertFromMimeData(const QMimeData *source)
{
    if (fromNoteBody(source)) {
        QTextEdit::insertFromMimeData(source);
        return;
    }
    if (source->hasText())
        insertPlainText(source->text());
}
