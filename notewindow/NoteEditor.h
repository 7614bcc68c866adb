#pragma once

#include <QTextEdit>

// The note body. It takes no embedded objects: what comes in from the
// clipboard or a drag is inserted as plain text in the current format, except
// text from another note body, which keeps its formatting. Tab inserts a tab.
// At most kUndoLimit edits can be undone. It edits a document it is given,
// which outlives it.
class NoteEditor final : public QTextEdit
{
    Q_OBJECT

public:
    static constexpr int kUndoLimit = 1000;

    NoteEditor(QTextDocument *text, QWidget *parent);

protected:
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void dropOldestUndoSteps();

    bool m_dropQueued = false;
};
