#pragma once

#include "app/InternalProcs.h"
#include "dialogs/FormSaverClassUnit.h"
#include "notes/DeletedNotes.h"
#include "notes/NoteSearch.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QAction;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QTreeWidget;
class TNotesManager;
class QTreeWidgetItem;
class TNoteWrapper;

// The window that lists every note, one row per note, and shows, closes,
// edits, creates and deletes notes singly or by group. Several rows can be
// selected; only export acts on all of them, the other commands on the
// current one.
class TNotesManagerForm final : public QWidget
{
    Q_OBJECT

public:
    // Shows and acts on the notes of `manager`, while that lasts.
    TNotesManagerForm(TNotesManager *manager, QWidget *owner);
    ~TNotesManagerForm() override;

    // Filters the list as the user types.
    QLineEdit *SearchEdit;
    QGroupBox *Notes;
    QTreeWidget *NotesListView;
    QWidget *DownPanel;
    QPushButton *CloseButton;
    QPushButton *Button1;
    QMenu *NotePopupMan;

    QAction *NewNote;
    QAction *HideNote;
    QAction *ShowNote;
    QAction *EditNote;
    QAction *HideGroup;
    QAction *ShowGroup;
    QAction *DeleteNote;
    QAction *N2;

    // Deleted notes: while ShowDeleted is checked the list shows them instead
    // of the live notes, and only RestoreNote and RemoveForGood act on it.
    QAction *ShowDeleted;
    QAction *RestoreNote;
    QAction *RemoveForGood;
    QToolButton *DeletedButton;

    // Export and import of notes as files.
    QAction *ExportNote;
    QAction *ImportNotes;

    // The column rows are ordered by; the title column at creation.
    int sortColumn() const { return m_sortColumn; }

    // Rebuilds every row from the notes, in the current order, keeping the
    // selected notes selected.
    void refill(const QList<TNoteWrapper *> &wrappers);
    // The note the commands for one note act on: the current row when it is
    // selected, else the only selected row; none otherwise.
    TNoteWrapper *selectedWrapper() const;
    // The notes of every selected row, in the list's order.
    QList<TNoteWrapper *> selectedWrappers() const;
    void selectWrapper(TNoteWrapper *wrapper);
    // The action update handlers, run whenever selection or rows change.
    void updateActions();
    QString NotesListViewInfoTip(QTreeWidgetItem *row) const;

    static const QString PlacementKey;

    // Centres the window and gives it its stored placement; a damaged
    // placement throws ERegistryException and leaves it centred.
    void FormCreate();

    void NewNoteExecute();
    void HideNoteExecute();
    void ShowNoteExecute();
    void EditNoteExecute();
    void HideGroupExecute();
    void ShowGroupExecute();
    void DeleteNoteExecute();
    void NotesListViewColumnClick(int column);
    void NotesListViewDblClick();
    void CloseButtonClick();
    void SearchEditChange(const QString &text);
    // Enter in the field: shows the first note listed and raises its window.
    void SearchEditEnter();

    void ShowDeletedExecute(bool shown);
    void RestoreNoteExecute();
    void RemoveForGoodExecute();
    // Export of the selected notes (one file, or a folder for several) and import of
    // files, chosen or dropped onto the window: one new note per file, in
    // the style of a new note; a file that cannot be taken is named in a
    // message of its own and the others are still imported.
    void ExportNoteExecute();
    void ImportNotesExecute();
    void importFiles(const QStringList &paths);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createActions();
    void createDeletedActions();
    void updateDeletedActions();
    void fillDeleted();
    QString selectedDeletedFile() const;
    // Selected rows the search leaves shown, in the list's order.
    QList<QTreeWidgetItem *> selectedRows() const;
    QTreeWidgetItem *chosenRow() const;
    // Selects the rows of the notes again after the rows were rebuilt.
    void reselect(const QList<TNoteWrapper *> &selected, TNoteWrapper *current);
    void createExportImportActions();
    void fitTitleColumn();
    void sortRows();
    // Hides the rows the search does not match. A hidden row's note is no
    // selection for the commands (the view leaves hidden rows out of it).
    void applySearch();
    bool NotesListViewCompare(const QTreeWidgetItem *a, const QTreeWidgetItem *b) const;
    void bringBack();

    const QPointer<TNotesManager> m_manager;
    int m_sortColumn = 0;
    NoteSearch m_search;
    TFormSaver m_saver;
    // The tray's settings, exit and double-click wait while the window is
    // open, however it closes.
    std::optional<ShellReadyGuard> m_shellHeld;
    // What the list shows while ShowDeleted is checked.
    QList<DeletedNotes::Entry> m_deleted;
};

// The open notes manager window, none while it is closed.
extern TNotesManagerForm *NotesManagerForm;
