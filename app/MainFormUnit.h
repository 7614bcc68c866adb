#pragma once

#include <QWidget>

#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;
class QPrinter;

// The program's hidden main window: the tray icon with its menu, the
// one-second timer and the ways the program ends.
class TBrisquelMainForm final : public QWidget
{
    Q_OBJECT

public:
    TBrisquelMainForm();
    ~TBrisquelMainForm() override;

    QMenu *TrayMenu;
    QSystemTrayIcon *TrayIcon;
    QTimer *NoteSystemTimer;
    // The printer all notes share, so a choice made in one print dialog
    // holds for the next; made on the first print.
    QPrinter *PrintDialog();

    QAction *NewNote1;
    QAction *ShowNotesManager1;
    QAction *MyTODOList1;
    QAction *Setup1;
    QAction *About1;
    QAction *Exit1;

    void TrayIconClick();
    void TrayIconDblClick();
    void TrayMenuPopup();
    void NewNote1Click();
    void ShowNotesManager1Click();
    void MyTODOList1Click();
    void Setup1Click();
    void About1Click();
    void Exit1Click();
    void NoteSystemTimerTimer();
    void AppDeactivate();
    // The request of a second instance started with "/TERMINATE"; answers 1.
    int TerminateMessage();
    // The desktop's log-off query; answers 1.
    int LogOffQuery();

    // True when there is no tray and the form stands in for it on the screen.
    bool standsInForTray() const { return m_noTray; }

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<QPrinter> m_printDialog;

    void FormCreate();
    void buildTrayMenu();
    void showWithoutTray();

    bool m_noTray = false;
};

extern TBrisquelMainForm *BrisquelMainForm;

// Stops the note side of the program; with terminate true it also ends the
// application. A second call does nothing.
void ReleaseEngine(bool terminate);
// The orderly, once-only shutdown of the terminate message and the log-off.
void ShutdownApplication();
// Tells the user, once and not at every start, that this desktop keeps the
// notes from their saved places.
void TellPlacesNotRestoredOnce();
