#pragma once

#include "platform/ColorValue.h"

#include "notewindow/LinkHighlighter.h"
#include "notewindow/NoteEditor.h"
#include "notewindow/SelectionFormat.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTextCharFormat>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class CreationDateItem;
class NoteBodyView;
class QAction;
class QMenu;
class QPrinter;
class QTextDocument;
class QWidgetAction;
class StripButton;
class TNoteWrapper;
class WindowDrag;

// The note window's commands, with their shortcuts. A window makes them at
// its first key or when a menu first opens: most notes are only looked at.
struct TNoteActionList
{
    QAction *MenuShortCut;
    QAction *ONTop;
    QAction *ReduceToggle;
    QAction *Customize;
    QAction *DeleteNote;
    QAction *CloseNote;
    QAction *CloseFormBut;
    QAction *PrintNote;
    QAction *ExportNote;

    QAction *Undo;
    QAction *Cut;
    QAction *Copy;
    QAction *Paste;
    QAction *Delete;
    QAction *SelectAll;
    QAction *Font;
    QAction *Pain;
    QAction *Bold;
    QAction *Italic;
    QAction *Underline;
    QAction *Strikeout;
};

// The sticky note: a borderless window with a coloured title strip, a
// rich-text body and thin borders to resize it by. It never owns the note's
// data; its wrapper fills it from the note record and reads it back.
class TNoteForm final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kStripHeight = 13;
    static constexpr int kBorderWidth = 3;
    static constexpr int kGlyphSize = 11;
    static constexpr int kMinimumSide = 80;
    static constexpr int kActiveAlpha = 225;
    static constexpr int kInactiveAlpha = 200;

    TNoteForm();
    ~TNoteForm() override;

    TNoteWrapper *Wrapper = nullptr;
    // Set when the window starts to close, never cleared: from then on the
    // delayed store and the reduced-state handling do nothing.
    bool Closing = false;

    QTimer *UpdateTimer;
    QTimer *Allarme;

    QWidget *TitleOwnerDraw;
    QWidget *LeftBorder;
    QWidget *RightBorder;
    QWidget *BottomBorder;
    QWidget *Sizer;
    // The body's text, shown as a picture until the window is first
    // clicked, scrolled, typed into or dragged onto; from then on in the
    // editor, made when first asked for.
    QTextDocument *Document() const { return m_body; }
    NoteEditor *NoteEdit();
    StripButton *NoteMenuButton;
    StripButton *LinkButton;
    StripButton *CloseButton;

    // The menus are built when first needed: most windows never open them,
    // and every menu is a window of its own.
    QMenu *NoteMenu();
    QWidgetAction *CreationDateMenu();
    QMenu *Closefor1();
    // The close-for commands in menu order; the minutes are in each action's data.
    const QList<QAction *> &CloseForActions();
    QMenu *EditMenu();
    QMenu *Style1();
    // The close glyph's context menu: a label above the close-for commands
    // again, as actions of their own.
    QMenu *CloseForMenu();
    QWidgetAction *CloseForLab1();
    const QList<QAction *> &CloseForMenuActions();

    const TNoteActionList &ActionList1();

    // The web addresses marked in the body.
    const LinkHighlighter &WebLinks() const { return *m_links; }
    // The printer the print command offers: the main form's, or one of this
    // window's own when there is no main form.
    QPrinter *NotePrinter();

    // The program places the window; this stays the note's place until the
    // user or the program moves the window again.
    void PlaceAt(const QRect &place);
    // The place to store for the note. What the window system did to the
    // window on its own counts only after the user began to move or resize
    // it, and never where the window system does not report places.
    QRect NotePlace() const { return m_notePlace; }

    void ApplyNoteColor(TColor colour);
    void ApplyOnTop();
    void ApplyReduced();
    void RestartUpdateTimer();
    void StopAlarm();

    // Per-window alpha; the close animation fades only while it is on.
    void SetAlphaBlend(bool on, int value);
    void SetAlphaBlendValue(int value);
    bool AlphaBlend() const { return m_alphaBlend; }
    int AlphaBlendValue() const { return m_alphaBlendValue; }

    // The body from and to the note record's rich text.
    void LoadContent(const QByteArray &rtf);
    QByteArray SaveContent() const;

    void FormResize();
    void FormShow();
    void FormActivate();
    void FormDeactivate();
    void FormClick();
    // Close animation; closing is always allowed.
    bool FormCloseQuery();

    void TitleOwnerDrawPaint(QPainter &canvas);
    void TitleOwnerDrawMouseDown(QMouseEvent *event);
    void TitleOwnerDrawMouseUp();
    void TitleOwnerDrawClick();
    void TitleOwnerDrawDblClick();
    void BorderMouseDown(QWidget *border, QMouseEvent *event);
    void NoteEditChange();
    void NoteEditMouseDown(QMouseEvent *event);
    void NoteEditMouseUp(QMouseEvent *event);
    void NoteEditURLClick(Qt::MouseButton button, const QString &link);
    void LinkButtonClick();
    void JvDragFileGetDrop(const QStringList &paths);
    void UpdateTimerTimer();
    void AllarmeTimer();
    void Shake();

    void MenuShortCutExecute();
    void NoteMenuPopup();
    void ONTopExecute();
    void ONTopUpdate();
    void ReduceToggleExecute();
    void ReduceToggleUpdate();
    void CustomizeExecute();
    void DeleteNoteExecute();
    void CloseFormButExecute();
    void N5Minutes1Click();
    void illtomorrow1Click();
    void PrintNoteExecute();
    void ExportNoteExecute();

    void EditMenuPopup();
    void UndoExecute();
    void UndoUpdate();
    void PasteExecute();
    void DeleteExecute();
    void FontExecute();
    void PainExecute();
    void BoldExecute();
    void ItalicExecute();
    void UnderlineExecute();
    void StrikeoutExecute();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createControls();
    void createEditor();
    void clearBody();
    QWidget *bodyWidget() const;
    bool viewEvent(QEvent *event);
    void createActions();
    QList<QAction *> createCloseForActions(QLatin1Char nameSuffix);
    void createNoteMenu();
    void createEditActions();
    void createEditMenu();
    void createCloseForMenu();
    bool bodyEvent(QEvent *event);
    void toggleStyle(TextStyle style);
    void applyBodyFont();
    bool isAttached() const;
    void fadeOut();
    void shrinkOut();
    void followWindowPlace(QEvent *event);

    WindowDrag *m_drag;
    QMenu *m_noteMenu = nullptr;
    QWidgetAction *m_creationDateMenu = nullptr;
    CreationDateItem *m_creationDate = nullptr;
    QMenu *m_closefor1 = nullptr;
    QList<QAction *> m_closeForActions;
    QMenu *m_editMenu = nullptr;
    QMenu *m_style1 = nullptr;
    QMenu *m_closeForMenu = nullptr;
    QWidgetAction *m_closeForLab1 = nullptr;
    QList<QAction *> m_closeForMenuActions;
    bool m_alphaBlend = false;
    int m_alphaBlendValue = 255;
    bool m_stripPressed = false;
    QRect m_notePlace;
    bool m_userPlacing = false;
    QTextDocument *m_body;
    NoteBodyView *m_view = nullptr;
    NoteEditor *m_editor = nullptr;
    // What is typed first into an empty body, until there is an editor.
    std::optional<QTextCharFormat> m_typingFormat;
    std::unique_ptr<TNoteActionList> m_actions;
    LinkHighlighter *m_links;
    std::optional<WebLink> m_pressedLink;
    std::unique_ptr<QPrinter> m_ownPrinter;
};
