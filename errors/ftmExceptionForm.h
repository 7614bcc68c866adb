#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The dialog that shows the report of an unhandled error and lets the user
// carry on, copy the report or end the program.
class TExceptionForm final : public QDialog
{
    Q_OBJECT

public:
    // The dialog's results.
    static constexpr int ResultOk = 1;     // "关闭(&C)" or Esc
    static constexpr int ResultCancel = 2; // the close box of the caption
    static constexpr int ResultAbort = 3;  // "终止(&T)"

    explicit TExceptionForm(QWidget *parent = nullptr);

    QLabel *ErrorIcon;
    QPlainTextEdit *ErrorLog;
    QPushButton *TerminateBTN;
    QLabel *ReportLabel;
    QPushButton *CopyBTN;
    QPushButton *CloseBTN;

    void FormCreate();
    // Replaces the text of the box with the report's lines.
    void SetReportLines(const QStringList &lines);
    // The "Product Versions" section: the program's files in its folder.
    void AddProductVersions();
    // The lines as the box shows them: a line longer than the box is wide
    // counts as the several lines it wraps into.
    QStringList ReportLines();
    // Centred on the desktop, modal; returns one of the results.
    int ShowModal();

    void CloseBTNClick();
    void CopyBTNClick();
    void TerminateBTNClick();

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void layOutHiddenBox();
};
