#pragma once

#include "platform/ColorValue.h"

#include <QDialog>

class ColorPicker;
class FontColorDialog;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QTabWidget;
class QToolButton;

// The global options: safe saving, animations, transparency, starting at
// log-in, the alarm sound, the note folder
// and the default look and size of notes. The note engine fills the
// controls from the settings, runs the dialog and reads them back on OK.
class TConfigurationForm final : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kPreviewSide = 113;

    explicit TConfigurationForm(QWidget *parent = nullptr);

    QTabWidget *PageControl1;
    QWidget *Options;
    QWidget *NoteApp;

    QCheckBox *SafeSave;
    QCheckBox *Noteanim;
    QCheckBox *TransNote;
    QCheckBox *AutoStart;
    QLineEdit *TrillFileEdit;
    QAction *TrillFileBrowse; // the browse button inside the file field
    QToolButton *SpeedButton1;
    // The chosen note folder; empty for the default one, whose path the
    // field shows greyed.
    QLineEdit *NoteFolderEdit;
    QToolButton *NoteFolderBrowse;
    QToolButton *NoteFolderDefault;

    QWidget *PreviewBox;
    ColorPicker *BColor;
    ColorPicker *NColor;
    QToolButton *TitleFontSelect;
    QToolButton *NoteFontSelect;
    QToolButton *NoteSizeChange;
    QLabel *SizeLabel;
    FontColorDialog *TitleFontDialog;
    FontColorDialog *NoteFontDialog;

    QPushButton *CancelBtn;
    QPushButton *OKBtn;

    // The default note size chosen so far; taken over only on OK.
    int PendingWidth = 160;
    int PendingHeight = 160;

    void FormShow();
    void PreviewBoxPaint(QPainter &canvas);
    void TitleFontSelectClick();
    void NoteFontSelectClick();
    void BColorChange();
    void BColorClick(ColorPicker *picker);
    void TrillFileBrowseClick();
    void SpeedButton1Click();
    void NoteFolderBrowseClick();
    void NoteFolderDefaultClick();
    void NoteSizeChangeClick();
    void UpdateSizeLabel();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createOptionsPage();
    void createNoteAppPage();
};
