#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QTabWidget;
class QWidget;
class ColorPicker;
class TNoteWrapper;

// The modal dialog in which one note's title, group, linked file, colours,
// auto-show time and alarm time are edited.
class TNoteConf final : public QDialog
{
    Q_OBJECT

public:
    explicit TNoteConf(QWidget *parent = nullptr);

    QTabWidget *Pages;
    QLineEdit *Titleedit;
    QComboBox *GroupBox;
    QLineEdit *LinkedFileEdit;
    QWidget *PreviewBox;
    ColorPicker *BColor;
    ColorPicker *NColor;
    ColorPicker *TBcolor;
    QCheckBox *AutoShowCB;
    QDateEdit *AutoShowDateEdit;
    QLineEdit *AutoShowTimeEdit;
    QCheckBox *CKAlarm;
    QDateEdit *DayInfo;
    QLineEdit *TimeInfo;

    void PreviewBoxPaint();
    void BColorChange(ColorPicker *picker);
    void BColorClick(ColorPicker *picker);
    void AutoShowTimeEditExit();
    void TimeInfoExit();
    void browseLinkedFile();

private:
    void FormCreate();
};

// Runs the dialog for one note; x and y are the calling window's position,
// or -1 to centre the dialog. The note is saved whichever button closes it.
void EditNoteProperties(TNoteWrapper *wrapper, int x, int y);
