#include "notewindow/NoteEditor.h"

#include <QMimeData>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

namespace {

// Marks what a note body puts on the clipboard, so that another note body
// takes its formatting along.
const QString kNoteTextFormat = QStringLiteral("application/x-brisquel-note-text");

// Steps dropped at once beyond the limit, so that the history is rebuilt
// only every so many edits.
constexpr int kUndoSlack = 100;

bool fromNoteBody(const QMimeData *source)
{
    return source->hasFormat(kNoteTextFormat) && source->hasHtml();
}

} // namespace

NoteEditor::NoteEditor(QTextDocument *text, QWidget *parent)
    : QTextEdit(parent)
{
    setTabChangesFocus(false);
    setDocument(text);
    // After the edit that went over the limit, not inside it.
    connect(document(), &QTextDocument::undoCommandAdded, this, [this] {
        if (m_dropQueued || document()->availableUndoSteps() <= kUndoLimit)
            return;
        m_dropQueued = true;
        QMetaObject::invokeMethod(this, &NoteEditor::dropOldestUndoSteps, Qt::QueuedConnection);
    });
}

// The document keeps every step and can only forget all of its history, so
// the newest steps are undone, the rest of the history is forgotten, and they
// are redone: that leaves them alone in the history, and the text and the
// cursor as they were.
void NoteEditor::dropOldestUndoSteps()
{
    m_dropQueued = false;
    QTextDocument *text = document();
    if (text->availableUndoSteps() <= kUndoLimit)
        return;
    // Nothing changes for whoever watches the editor.
    const QSignalBlocker quiet(this);
    const QTextCursor cursor = textCursor();
    const int anchor = cursor.anchor();
    const int position = cursor.position();
    int kept = 0;
    for (; kept < kUndoLimit - kUndoSlack && text->isUndoAvailable(); ++kept)
        text->undo();
    text->clearUndoRedoStacks(QTextDocument::UndoStack);
    for (int step = 0; step < kept; ++step)
        text->redo();
    QTextCursor restored(text);
    restored.setPosition(anchor);
    restored.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(restored);
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
