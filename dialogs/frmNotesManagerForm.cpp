#include "dialogs/frmNotesManagerForm.h"

#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "notes/NoteExportDialog.h"
#include "notes/NoteImport.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteConfUnit.h"
#include "platform/CodePage.h"
#include "platform/RtfReader.h"
#include "resources/BrisquelResources.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTextCharFormat>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

TNotesManagerForm *NotesManagerForm = nullptr;

const QString TNotesManagerForm::PlacementKey = QStringLiteral("\\SOFTWARE\\Orvanta\\Brisquel\\NotesManagerWin");

namespace {

constexpr int kTitleMinWidth = 200;
// Rows of deleted notes, which have no wrapper: the note's file, its text
// as search compares it, and the times of the time columns.
constexpr int kDeletedFileRole = Qt::UserRole + 2;
constexpr int kSearchTextRole = Qt::UserRole + 3;
constexpr int kTimeRole = Qt::UserRole + 4;

TNoteWrapper *wrapperOf(const QTreeWidgetItem *row)
{
    return row ? static_cast<TNoteWrapper *>(row->data(0, Qt::UserRole).value<void *>()) : nullptr;
}

// Ordinal, byte by byte over the text in the program's code page.
int compareText(const QString &a, const QString &b)
{
    const QByteArray left = CodePage::toCp936(a);
    const QByteArray right = CodePage::toCp936(b);
    const int common = int(qMin(left.size(), right.size()));
    for (int i = 0; i < common; ++i) {
        if (quint8(left.at(i)) != quint8(right.at(i)))
            return quint8(left.at(i)) < quint8(right.at(i)) ? -1 : 1;
    }
    return left.size() == right.size() ? 0 : (left.size() < right.size() ? -1 : 1);
}

// The time a row shows in the alarm or auto-show column; none when unset.
std::optional<TDateTime> timeOf(const QTreeWidgetItem *row, int column)
{
    const TNoteWrapper *wrapper = wrapperOf(row);
    if (!wrapper) {
        const QVariant time = row->data(column, kTimeRole);
        return time.isValid() ? std::optional<TDateTime>(time.toDouble()) : std::nullopt;
    }
    if (column == 2 && wrapper->Note->AlarmSet)
        return wrapper->Note->AlarmTime;
    if (column == 3 && wrapper->Note->AutoShowState == 1)
        return wrapper->Note->AutoShowTime;
    return std::nullopt;
}

// The preview as rich text with the words searched for marked.
QString highlighted(const NoteSearch &search, const QString &preview)
{
    // Rich text breaks the line at a carriage return and again at the line
    // feed after it; a word found never contains either.
    const auto escaped = [&preview](qsizetype from, qsizetype length) {
        return preview.mid(from, length).toHtmlEscaped().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    };
    QString html = QStringLiteral("<p style=\"white-space:pre-wrap\">Note text preview:<br>");
    qsizetype done = 0;
    for (const auto &[start, length] : search.occurrences(preview)) {
        html += escaped(done, start - done);
        html += QStringLiteral("<span style=\"background-color:#ffff00\">") + escaped(start, length)
            + QStringLiteral("</span>");
        done = start + length;
    }
    html += escaped(done, -1) + QStringLiteral("</p>");
    return html;
}

} // namespace

TNotesManagerForm::TNotesManagerForm(TNotesManager *manager, QWidget *owner)
    : QWidget(owner, Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
    , SearchEdit(new QLineEdit(this))
    , Notes(new QGroupBox(QStringLiteral("便笺"), this))
    , NotesListView(new QTreeWidget(Notes))
    , DownPanel(new QWidget(this))
    , CloseButton(new QPushButton(QStringLiteral("关闭"), DownPanel))
    , Button1(new QPushButton(DownPanel))
    , NotePopupMan(new QMenu(this))
    , m_manager(manager)
{
    m_shellHeld.emplace();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("便笺管理"));
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    setFont(font);
    resize(530, 328);

    NotesListView->setColumnCount(4);
    NotesListView->setHeaderLabels(
        {QStringLiteral("标题"), QStringLiteral("组"), QStringLiteral("报警"), QStringLiteral("自动显示")});
    NotesListView->setRootIsDecorated(false);
    NotesListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    NotesListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    NotesListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    NotesListView->setContextMenuPolicy(Qt::CustomContextMenu);
    NotesListView->header()->setSectionsClickable(true);
    NotesListView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    NotesListView->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    NotesListView->header()->setMinimumSectionSize(40);
    fitTitleColumn();
    NotesListView->viewport()->installEventFilter(this);
    auto *listLayout = new QVBoxLayout(Notes);
    listLayout->addWidget(NotesListView);

    DownPanel->setFixedHeight(29);
    CloseButton->setFixedSize(75, 24);
    // The tray's exit picture: the window's own list has no close glyph.
    CloseButton->setIcon(TrayMenuIcon(1));
    CloseButton->setDefault(true);
    Button1->setFixedSize(75, 24);
    // Enter on the focused new-note button presses it, as on the close button.
    Button1->setAutoDefault(true);
    Button1->move(3, 4);
    CloseButton->move(0, 4);

    SearchEdit->setPlaceholderText(QStringLiteral("搜索"));
    SearchEdit->setClearButtonEnabled(true);
    SearchEdit->installEventFilter(this);
    // The list keeps the first focus; the field comes after it on Tab.
    setTabOrder(NotesListView, SearchEdit);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(SearchEdit);
    layout->addWidget(Notes);
    layout->addWidget(DownPanel);

    createActions();
    connect(SearchEdit, &QLineEdit::textChanged, this, &TNotesManagerForm::SearchEditChange);
    connect(CloseButton, &QPushButton::clicked, this, &TNotesManagerForm::CloseButtonClick);
    connect(Button1, &QPushButton::clicked, NewNote, &QAction::trigger);
    connect(NotesListView->header(), &QHeaderView::sectionClicked, this,
            &TNotesManagerForm::NotesListViewColumnClick);
    connect(NotesListView, &QTreeWidget::itemDoubleClicked, this, &TNotesManagerForm::NotesListViewDblClick);
    connect(NotesListView, &QTreeWidget::itemSelectionChanged, this, &TNotesManagerForm::updateActions);
    connect(NotesListView, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        updateActions();
        NotePopupMan->popup(NotesListView->viewport()->mapToGlobal(pos));
    });
    updateActions();
}

TNotesManagerForm::~TNotesManagerForm()
{
    if (NotesManagerForm == this)
        NotesManagerForm = nullptr;
}

void TNotesManagerForm::createActions()
{
    const auto make = [this](const QString &caption, const QKeySequence &shortcut, int image,
                             void (TNotesManagerForm::*execute)()) {
        auto *action = new QAction(caption, this);
        if (!shortcut.isEmpty()) {
            action->setShortcut(shortcut);
            action->setShortcutContext(Qt::WindowShortcut);
        }
        if (image >= 0)
            action->setIcon(NotesManagerIcon(image));
        connect(action, &QAction::triggered, this, execute);
        addAction(action);
        return action;
    };
    NewNote = make(QStringLiteral("新建便笺(&N)"), QKeySequence(Qt::CTRL | Qt::Key_N), 0,
                   &TNotesManagerForm::NewNoteExecute);
    HideNote = make(QStringLiteral("关闭便笺"), QKeySequence(Qt::Key_C), 3, &TNotesManagerForm::HideNoteExecute);
    ShowNote = make(QStringLiteral("显示便笺"), QKeySequence(Qt::Key_S), -1, &TNotesManagerForm::ShowNoteExecute);
    EditNote = make(QStringLiteral("便笺属性"), QKeySequence(Qt::CTRL | Qt::Key_P), -1,
                    &TNotesManagerForm::EditNoteExecute);
    HideGroup = make(QStringLiteral("关闭同组的所有便笺"), QKeySequence(), -1, &TNotesManagerForm::HideGroupExecute);
    ShowGroup = make(QStringLiteral("显示同组的所有便笺"), QKeySequence(), -1, &TNotesManagerForm::ShowGroupExecute);
    DeleteNote = make(QStringLiteral("删除便笺"), QKeySequence(Qt::Key_Delete), 2,
                      &TNotesManagerForm::DeleteNoteExecute);
    Button1->setText(NewNote->text());

    NotePopupMan->addAction(HideNote);
    NotePopupMan->addAction(ShowNote);
    N2 = NotePopupMan->addSeparator();
    NotePopupMan->addAction(ShowGroup);
    NotePopupMan->addAction(HideGroup);
    NotePopupMan->addSeparator();
    NotePopupMan->addAction(NewNote);
    NotePopupMan->addAction(DeleteNote);
    NotePopupMan->addSeparator();
    NotePopupMan->addAction(EditNote);

    createDeletedActions();
    createExportImportActions();
}

void TNotesManagerForm::createDeletedActions()
{
    ShowDeleted = new QAction(QStringLiteral("已删除的便笺"), this);
    ShowDeleted->setCheckable(true);
    connect(ShowDeleted, &QAction::toggled, this, &TNotesManagerForm::ShowDeletedExecute);
    RestoreNote = new QAction(QStringLiteral("恢复便笺"), this);
    connect(RestoreNote, &QAction::triggered, this, &TNotesManagerForm::RestoreNoteExecute);
    RemoveForGood = new QAction(QStringLiteral("彻底删除"), this);
    connect(RemoveForGood, &QAction::triggered, this, &TNotesManagerForm::RemoveForGoodExecute);
    addActions({ShowDeleted, RestoreNote, RemoveForGood});

    NotePopupMan->addSeparator();
    NotePopupMan->addAction(RestoreNote);
    NotePopupMan->addAction(RemoveForGood);
    NotePopupMan->addAction(ShowDeleted);

    DeletedButton = new QToolButton(DownPanel);
    DeletedButton->setDefaultAction(ShowDeleted);
    DeletedButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    DeletedButton->setFixedSize(100, 24);
    DeletedButton->move(81, 4);
}

void TNotesManagerForm::createExportImportActions()
{
    ExportNote = new QAction(QStringLiteral("导出..."), this);
    connect(ExportNote, &QAction::triggered, this, &TNotesManagerForm::ExportNoteExecute);
    addAction(ExportNote);
    ImportNotes = new QAction(QStringLiteral("导入..."), this);
    connect(ImportNotes, &QAction::triggered, this, &TNotesManagerForm::ImportNotesExecute);
    addAction(ImportNotes);
    setAcceptDrops(true);

    NotePopupMan->addSeparator();
    NotePopupMan->addAction(ExportNote);
    NotePopupMan->addAction(ImportNotes);
}

void TNotesManagerForm::FormCreate()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize area = screen->geometry().size();
        move((area.width() - width()) / 2, (area.height() - height()) / 2);
    }
    m_saver.LoadFromRegistry(PlacementKey);
    m_saver.ApplyToForm(this);
}

void TNotesManagerForm::closeEvent(QCloseEvent *event)
{
    // The window goes, and gives the tray back, even when its placement
    // cannot be stored; the error itself goes on to be reported.
    const auto released = qScopeGuard([this] {
        if (NotesManagerForm == this)
            NotesManagerForm = nullptr;
        m_shellHeld.reset();
    });
    m_saver.ReadFromForm(this);
    m_saver.SaveToRegistry(PlacementKey);
    event->accept();
}

void TNotesManagerForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    CloseButton->move(DownPanel->width() - CloseButton->width() - 5, CloseButton->y());
}

void TNotesManagerForm::keyPressEvent(QKeyEvent *event)
{
    // Enter that no control took presses the default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        CloseButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TNotesManagerForm::eventFilter(QObject *watched, QEvent *event)
{
    // Enter and Esc act on the field only while something is typed; in an
    // empty field they do what they do elsewhere in the window.
    if (watched == SearchEdit && event->type() == QEvent::KeyPress && !SearchEdit->text().isEmpty()) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            SearchEditEnter();
            return true;
        }
        if (key == Qt::Key_Escape) {
            SearchEdit->clear();
            return true;
        }
    }
    if (watched == NotesListView->viewport() && event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = NotesListViewInfoTip(NotesListView->itemAt(help->pos()));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, NotesListView->viewport());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QString TNotesManagerForm::NotesListViewInfoTip(QTreeWidgetItem *row) const
{
    TNoteWrapper *wrapper = wrapperOf(row);
    if (!wrapper)
        return QString();
    if (!m_search.isEmpty())
        return highlighted(m_search, wrapper->GetPreview());
    return QStringLiteral("Note text preview:") + QStringLiteral("\n\r") + wrapper->GetPreview();
}

void TNotesManagerForm::refill(const QList<TNoteWrapper *> &wrappers)
{
    if (ShowDeleted->isChecked()) {
        fillDeleted();
        return;
    }
    const QList<TNoteWrapper *> selected = selectedWrappers();
    TNoteWrapper *current = selectedWrapper();
    NotesListView->setUpdatesEnabled(false);
    NotesListView->clear();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(wrappers.size());
    for (TNoteWrapper *wrapper : wrappers) {
        auto *row = new QTreeWidgetItem(4);
        wrapper->FillListItem(row);
        row->setIcon(0, NotesManagerIcon(row->data(0, TNoteWrapper::ImageIndexRole).toInt()));
        rows.append(row);
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [this](const QTreeWidgetItem *a, const QTreeWidgetItem *b) { return NotesListViewCompare(a, b); });
    NotesListView->addTopLevelItems(rows);
    applySearch();
    reselect(selected, current);
    fitTitleColumn();
    NotesListView->setUpdatesEnabled(true);
    updateActions();
}

void TNotesManagerForm::fitTitleColumn()
{
    NotesListView->resizeColumnToContents(0);
    NotesListView->setColumnWidth(0, qMax(NotesListView->columnWidth(0), kTitleMinWidth));
}

void TNotesManagerForm::sortRows()
{
    const QList<TNoteWrapper *> selected = selectedWrappers();
    TNoteWrapper *current = selectedWrapper();
    QList<QTreeWidgetItem *> rows;
    while (NotesListView->topLevelItemCount() > 0)
        rows.append(NotesListView->takeTopLevelItem(0));
    std::stable_sort(rows.begin(), rows.end(),
                     [this](const QTreeWidgetItem *a, const QTreeWidgetItem *b) { return NotesListViewCompare(a, b); });
    NotesListView->addTopLevelItems(rows);
    applySearch();
    reselect(selected, current);
}

bool TNotesManagerForm::NotesListViewCompare(const QTreeWidgetItem *a, const QTreeWidgetItem *b) const
{
    if (m_sortColumn == 1) {
        const int byGroup = compareText(a->text(1), b->text(1));
        if (byGroup != 0)
            return byGroup < 0;
    } else if (m_sortColumn == 2 || m_sortColumn == 3) {
        // By time, rows without a time last.
        const std::optional<TDateTime> left = timeOf(a, m_sortColumn);
        const std::optional<TDateTime> right = timeOf(b, m_sortColumn);
        if (left.has_value() != right.has_value())
            return left.has_value();
        if (left && *left != *right)
            return *left < *right;
    }
    return compareText(a->text(0), b->text(0)) < 0;
}

QList<QTreeWidgetItem *> TNotesManagerForm::selectedRows() const
{
    QList<QTreeWidgetItem *> rows;
    for (int i = 0; i < NotesListView->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = NotesListView->topLevelItem(i);
        if (row->isSelected() && !row->isHidden())
            rows.append(row);
    }
    return rows;
}

QTreeWidgetItem *TNotesManagerForm::chosenRow() const
{
    const QList<QTreeWidgetItem *> rows = selectedRows();
    QTreeWidgetItem *current = NotesListView->currentItem();
    if (current && rows.contains(current))
        return current;
    return rows.size() == 1 ? rows.constFirst() : nullptr;
}

TNoteWrapper *TNotesManagerForm::selectedWrapper() const
{
    return wrapperOf(chosenRow());
}

QList<TNoteWrapper *> TNotesManagerForm::selectedWrappers() const
{
    QList<TNoteWrapper *> wrappers;
    for (const QTreeWidgetItem *row : selectedRows()) {
        if (TNoteWrapper *wrapper = wrapperOf(row))
            wrappers.append(wrapper);
    }
    return wrappers;
}

void TNotesManagerForm::reselect(const QList<TNoteWrapper *> &selected, TNoteWrapper *current)
{
    selectWrapper(current);
    for (int i = 0; i < NotesListView->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = NotesListView->topLevelItem(i);
        if (!row->isHidden() && selected.contains(wrapperOf(row)))
            row->setSelected(true);
    }
}

void TNotesManagerForm::selectWrapper(TNoteWrapper *wrapper)
{
    if (!wrapper)
        return;
    for (int i = 0; i < NotesListView->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = NotesListView->topLevelItem(i);
        if (wrapperOf(row) == wrapper) {
            if (!row->isHidden())
                NotesListView->setCurrentItem(row);
            return;
        }
    }
}

void TNotesManagerForm::updateActions()
{
    TNoteWrapper *wrapper = selectedWrapper();
    HideNote->setVisible(wrapper && wrapper->IsShown());
    ShowNote->setEnabled(wrapper != nullptr);
    ShowNote->setVisible(!wrapper || !wrapper->IsShown());
    N2->setVisible(true);
    EditNote->setEnabled(wrapper != nullptr);
    HideGroup->setEnabled(wrapper != nullptr);
    ShowGroup->setEnabled(wrapper != nullptr);
    DeleteNote->setEnabled(wrapper != nullptr);
    // A damaged note has no body to export.
    const QList<TNoteWrapper *> selected = selectedWrappers();
    ExportNote->setEnabled(
        std::any_of(selected.cbegin(), selected.cend(), [](const TNoteWrapper *note) { return !note->Damaged; }));

    updateDeletedActions();
}

void TNotesManagerForm::updateDeletedActions()
{
    const bool deleted = ShowDeleted->isChecked();
    const bool chosen = deleted && !selectedDeletedFile().isEmpty();
    RestoreNote->setVisible(deleted);
    RemoveForGood->setVisible(deleted);
    RestoreNote->setEnabled(chosen);
    RemoveForGood->setEnabled(chosen);
    NewNote->setEnabled(!deleted);
    Button1->setEnabled(!deleted);
    HideNote->setEnabled(!deleted);
    if (deleted) {
        for (QAction *live : {ShowNote, EditNote, HideGroup, ShowGroup, DeleteNote})
            live->setEnabled(false);
    }
}

void TNotesManagerForm::bringBack()
{
    raise();
    activateWindow();
}

void TNotesManagerForm::NewNoteExecute()
{
    if (m_manager)
        m_manager->NewNote();
}

void TNotesManagerForm::HideNoteExecute()
{
    if (TNoteWrapper *wrapper = selectedWrapper(); wrapper && wrapper->IsShown())
        wrapper->HideNote(true);
}

void TNotesManagerForm::ShowNoteExecute()
{
    TNoteWrapper *wrapper = selectedWrapper();
    if (!wrapper || wrapper->IsShown())
        return;
    wrapper->ShowNote();
    bringBack();
}

void TNotesManagerForm::EditNoteExecute()
{
    if (TNoteWrapper *wrapper = selectedWrapper()) {
        EditNoteProperties(wrapper, -1, -1);
        bringBack();
    }
}

void TNotesManagerForm::HideGroupExecute()
{
    if (TNoteWrapper *wrapper = selectedWrapper(); wrapper && m_manager)
        m_manager->ShowHideGroup(wrapper->Note->Group, false);
}

void TNotesManagerForm::ShowGroupExecute()
{
    if (TNoteWrapper *wrapper = selectedWrapper(); wrapper && m_manager)
        m_manager->ShowHideGroup(wrapper->Note->Group, true);
}

void TNotesManagerForm::DeleteNoteExecute()
{
    if (TNoteWrapper *wrapper = selectedWrapper(); wrapper && m_manager)
        m_manager->DeleteNote(wrapper, true);
}

void TNotesManagerForm::NotesListViewColumnClick(int column)
{
    m_sortColumn = column;
    sortRows();
}

void TNotesManagerForm::NotesListViewDblClick()
{
    updateActions();
    if (ShowNote->isEnabled())
        ShowNote->trigger();
}

void TNotesManagerForm::CloseButtonClick()
{
    close();
}

void TNotesManagerForm::SearchEditChange(const QString &text)
{
    m_search = NoteSearch(text);
    NotesListView->setUpdatesEnabled(false);
    applySearch();
    NotesListView->setUpdatesEnabled(true);
    updateActions();
}

void TNotesManagerForm::applySearch()
{
    for (int i = 0; i < NotesListView->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = NotesListView->topLevelItem(i);
        TNoteWrapper *wrapper = wrapperOf(row);
        const bool shown = m_search.isEmpty()
            || m_search.matches(wrapper ? wrapper->SearchText() : row->data(0, kSearchTextRole).toString());
        // By row number: finding an item's row is a search of its own.
        if (NotesListView->isRowHidden(i, QModelIndex()) == shown)
            NotesListView->setRowHidden(i, QModelIndex(), !shown);
    }
}

void TNotesManagerForm::SearchEditEnter()
{
    for (int i = 0; i < NotesListView->topLevelItemCount(); ++i) {
        if (NotesListView->isRowHidden(i, QModelIndex()))
            continue;
        QTreeWidgetItem *row = NotesListView->topLevelItem(i);
        NotesListView->setCurrentItem(row);
        // Showing refills the list; the row is not used after.
        if (TNoteWrapper *wrapper = wrapperOf(row))
            wrapper->ShowNote();
        return;
    }
}

QString TNotesManagerForm::selectedDeletedFile() const
{
    const QTreeWidgetItem *row = chosenRow();
    return row ? row->data(0, kDeletedFileRole).toString() : QString();
}

void TNotesManagerForm::fillDeleted()
{
    const QString selected = selectedDeletedFile();
    m_deleted = m_manager ? m_manager->DeletedList() : QList<DeletedNotes::Entry>();
    NotesListView->setUpdatesEnabled(false);
    NotesListView->clear();
    const QString unset = QStringLiteral("未设置");
    QList<QTreeWidgetItem *> rows;
    for (const DeletedNotes::Entry &entry : std::as_const(m_deleted)) {
        const TNoteClass &note = entry.note;
        auto *row = new QTreeWidgetItem(4);
        row->setText(0, NoteFolder::shownTitle(note.Title, entry.conflictCopy));
        row->setText(1, note.Group);
        row->setText(2, note.AlarmSet ? dateTimeText(note.AlarmTime) : unset);
        row->setText(3, dateTimeText(entry.deletedAt));
        row->setIcon(0, NotesManagerIcon(1));
        row->setData(0, kDeletedFileRole, entry.file);
        row->setData(0, kSearchTextRole,
                     NoteSearch::fold(note.Title) + QLatin1Char('\n') + NoteSearch::fold(note.Group) + QLatin1Char('\n')
                         + NoteSearch::fold(Rtf::toPlainText(note.Content)));
        if (note.AlarmSet)
            row->setData(2, kTimeRole, note.AlarmTime);
        row->setData(3, kTimeRole, toDateTime(entry.deletedAt));
        rows.append(row);
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [this](const QTreeWidgetItem *a, const QTreeWidgetItem *b) { return NotesListViewCompare(a, b); });
    NotesListView->addTopLevelItems(rows);
    applySearch();
    for (QTreeWidgetItem *row : std::as_const(rows)) {
        if (row->data(0, kDeletedFileRole).toString() == selected && !row->isHidden())
            NotesListView->setCurrentItem(row);
    }
    fitTitleColumn();
    NotesListView->setUpdatesEnabled(true);
    updateActions();
}

void TNotesManagerForm::ShowDeletedExecute(bool shown)
{
    Notes->setTitle(shown ? QStringLiteral("已删除的便笺") : QStringLiteral("便笺"));
    NotesListView->headerItem()->setText(3, shown ? QStringLiteral("删除时间") : QStringLiteral("自动显示"));
    NotesListView->clear();
    refill(m_manager ? m_manager->Notes.snapshot() : QList<TNoteWrapper *>());
}

void TNotesManagerForm::RestoreNoteExecute()
{
    const QString file = selectedDeletedFile();
    if (file.isEmpty() || !m_manager)
        return;
    if (!m_manager->RestoreDeleted(file)) {
        ShowWarning(QStringLiteral("便笺不能恢复"));
        fillDeleted();
        return;
    }
    bringBack();
}

void TNotesManagerForm::RemoveForGoodExecute()
{
    const QString file = selectedDeletedFile();
    const auto entry = std::find_if(m_deleted.cbegin(), m_deleted.cend(),
                                    [&file](const DeletedNotes::Entry &deleted) { return deleted.file == file; });
    // A copy: the list may be filled again while the question is open.
    if (entry != m_deleted.cend() && m_manager)
        m_manager->RemoveDeletedForGood(DeletedNotes::Entry(*entry));
}

namespace {

QStringList localFiles(const QMimeData *data)
{
    QStringList files;
    if (!data)
        return files;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

// The style a new note's body is written in.
QTextCharFormat newNoteStyle()
{
    const ToolkitFont body = RecordToFont(Settings.NoteFont);
    QTextCharFormat style;
    style.setFont(body.font);
    style.setForeground(toQColor(body.color));
    return style;
}

} // namespace

void TNotesManagerForm::ExportNoteExecute()
{
    const QList<TNoteWrapper *> wrappers = selectedWrappers();
    if (wrappers.size() > 1)
        ExportNotes(this, wrappers);
    else if (!wrappers.isEmpty() && !wrappers.constFirst()->Damaged)
        ::ExportNote(this, *wrappers.constFirst());
    else
        return;
    bringBack();
}

void TNotesManagerForm::ImportNotesExecute()
{
    QFileDialog dialog(this, QStringLiteral("导入便笺"), QDir::homePath(),
                       QStringLiteral("可导入的文件 (*.txt *.md *.html *.htm *.rtf)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() == QDialog::Accepted)
        importFiles(dialog.selectedFiles());
}

void TNotesManagerForm::importFiles(const QStringList &paths)
{
    const QTextCharFormat style = newNoteStyle();
    for (const QString &path : paths) {
        const NoteImport::ImportedNote imported = NoteImport::readNoteFile(path, style);
        if (!imported.error.isEmpty()) {
            ShowErrorBox(imported.error);
            continue;
        }
        // The message let events run, among them a shutdown.
        if (!m_manager)
            return;
        TNoteWrapper *wrapper = m_manager->NewNote();
        wrapper->Note->Title = imported.title;
        wrapper->Note->Content = imported.body;
        wrapper->RefreshWindow();
        wrapper->Save();
    }
    bringBack();
}

void TNotesManagerForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (!localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TNotesManagerForm::dragMoveEvent(QDragMoveEvent *event)
{
    if (!localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TNotesManagerForm::dropEvent(QDropEvent *event)
{
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    importFiles(files);
}
