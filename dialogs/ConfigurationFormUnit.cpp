#include "dialogs/ConfigurationFormUnit.h"

#include "app/InternalProcsGui.h"
#include "dialogs/ColorPicker.h"
#include "dialogs/FontColorDialog.h"
#include "dialogs/dlgDefaultNoteSize.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>

#include <functional>

namespace {

constexpr QSize kClientSize(364, 262);
constexpr QRect kPageControlGeometry(1, 2, 361, 225);
constexpr QRect kCancelGeometry(200, 233, 75, 25);
constexpr QRect kOkGeometry(283, 233, 75, 25);
const QString kSoundFilter = QStringLiteral("音频文件 (*.wav)");

// The rows beside the preview: label, joining line, button.
constexpr int kRowTop = 14;
constexpr int kRowStep = 32;
constexpr int kRowLabelLeft = 146;
constexpr int kRowButtonLeft = 282;
constexpr QSize kRowButtonSize(64, 22);

// A surface painted by its owner.
class PaintBox final : public QWidget
{
public:
    PaintBox(QWidget *parent, std::function<void(QPainter &)> paint)
        : QWidget(parent)
        , m_paint(std::move(paint))
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter canvas(this);
        m_paint(canvas);
    }

private:
    std::function<void(QPainter &)> m_paint;
};

QFont songFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体")});
    font.setPointSize(9);
    return font;
}

QToolButton *flatButton(QWidget *parent, const char *name, const QString &text)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(text);
    button->setAutoRaise(true);
    return button;
}

QCheckBox *checkBox(QWidget *parent, const char *name, const QString &text, int top)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(12, top, 300, 18);
    return box;
}

// One row of the style page; the thin line joins the label to its button.
QLabel *styleRow(QWidget *page, int row, const QString &caption, QWidget *button, int labelWidth)
{
    const int top = kRowTop + row * kRowStep;
    auto *label = new QLabel(caption, page);
    label->setGeometry(kRowLabelLeft, top + 3, labelWidth, 16);
    button->setGeometry(QRect(QPoint(kRowButtonLeft, top), kRowButtonSize));
    auto *line = new QWidget(page);
    line->setAutoFillBackground(true);
    QPalette colours = line->palette();
    colours.setColor(QPalette::Window, toQColor(clBtnHighlight));
    line->setPalette(colours);
    const int lineLeft = kRowLabelLeft + labelWidth + 4;
    line->setGeometry(lineLeft, top + kRowButtonSize.height() / 2, kRowButtonLeft - 4 - lineLeft, 1);
    return label;
}

} // namespace

TConfigurationForm::TConfigurationForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , PageControl1(new QTabWidget(this))
    , Options(new QWidget())
    , NoteApp(new QWidget())
    , TitleFontDialog(new FontColorDialog(this))
    , NoteFontDialog(new FontColorDialog(this))
    , CancelBtn(new QPushButton(QStringLiteral("取消"), this))
    , OKBtn(new QPushButton(QStringLiteral("确定"), this))
{
    setObjectName(QStringLiteral("ConfigurationForm"));
    setWindowTitle(QStringLiteral("Brisquel 设置"));
    setFont(songFont());
    setFixedSize(kClientSize);

    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(kPageControlGeometry);
    Options->setObjectName(QStringLiteral("Options"));
    NoteApp->setObjectName(QStringLiteral("NoteApp"));
    PageControl1->addTab(Options, QStringLiteral("选项"));
    PageControl1->addTab(NoteApp, QStringLiteral("默认便笺风格"));
    createOptionsPage();
    createNoteAppPage();
    PageControl1->setCurrentWidget(NoteApp);

    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(kCancelGeometry);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(kOkGeometry);
    OKBtn->setDefault(true);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TConfigurationForm::createOptionsPage()
{
    auto *noteOptions = new QGroupBox(QStringLiteral("便笺选项"), Options);
    noteOptions->setGeometry(6, 6, 343, 102);
    SafeSave = checkBox(noteOptions, "SafeSave", QStringLiteral("启用屏保(&S)"), 18);
    Noteanim = checkBox(noteOptions, "Noteanim", QStringLiteral("便笺动画(&A)"), 38);
    TransNote = checkBox(noteOptions, "TransNote", QStringLiteral("透明便笺 (仅 Win2k/xp)"), 58);
    AutoStart = checkBox(noteOptions, "AutoStart", QStringLiteral("登录时启动 Brisquel"), 78);

    auto *sound = new QGroupBox(QStringLiteral("报警声音文件"), Options);
    sound->setGeometry(6, 112, 343, 52);
    TrillFileEdit = new QLineEdit(sound);
    TrillFileEdit->setObjectName(QStringLiteral("TrillFileEdit"));
    TrillFileEdit->setGeometry(12, 20, 290, 22);
    TrillFileBrowse = TrillFileEdit->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                               QLineEdit::TrailingPosition);
    TrillFileBrowse->setObjectName(QStringLiteral("TrillFileBrowse"));
    connect(TrillFileBrowse, &QAction::triggered, this, &TConfigurationForm::TrillFileBrowseClick);
    SpeedButton1 = new QToolButton(sound);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    SpeedButton1->setGeometry(308, 19, 24, 24);
    connect(SpeedButton1, &QToolButton::clicked, this, &TConfigurationForm::SpeedButton1Click);

    auto *folderLabel = new QLabel(QStringLiteral("便笺文件夹(&F)"), Options);
    folderLabel->setGeometry(8, 175, 84, 16);
    NoteFolderEdit = new QLineEdit(Options);
    NoteFolderEdit->setObjectName(QStringLiteral("NoteFolderEdit"));
    NoteFolderEdit->setGeometry(94, 172, 188, 22);
    folderLabel->setBuddy(NoteFolderEdit);
    NoteFolderBrowse = new QToolButton(Options);
    NoteFolderBrowse->setObjectName(QStringLiteral("NoteFolderBrowse"));
    NoteFolderBrowse->setText(QStringLiteral("..."));
    NoteFolderBrowse->setGeometry(284, 172, 24, 22);
    connect(NoteFolderBrowse, &QToolButton::clicked, this, &TConfigurationForm::NoteFolderBrowseClick);
    NoteFolderDefault = new QToolButton(Options);
    NoteFolderDefault->setObjectName(QStringLiteral("NoteFolderDefault"));
    NoteFolderDefault->setText(QStringLiteral("默认"));
    NoteFolderDefault->setGeometry(310, 172, 39, 22);
    connect(NoteFolderDefault, &QToolButton::clicked, this, &TConfigurationForm::NoteFolderDefaultClick);
}

void TConfigurationForm::createNoteAppPage()
{
    auto *previewFrame = new QGroupBox(QStringLiteral("便笺风格设置"), NoteApp);
    previewFrame->setGeometry(6, 6, 129, 139);
    PreviewBox = new PaintBox(previewFrame, [this](QPainter &canvas) { PreviewBoxPaint(canvas); });
    PreviewBox->setObjectName(QStringLiteral("PreviewBox"));
    PreviewBox->setGeometry(8, 18, kPreviewSide, kPreviewSide);

    BColor = new ColorPicker(NoteApp);
    BColor->setObjectName(QStringLiteral("BColor"));
    NColor = new ColorPicker(NoteApp);
    NColor->setObjectName(QStringLiteral("NColor"));
    for (ColorPicker *picker : {BColor, NColor}) {
        connect(picker, &ColorPicker::colorChanged, this, &TConfigurationForm::BColorChange);
        connect(picker, &QToolButton::clicked, this, [this, picker] { BColorClick(picker); });
    }
    TitleFontSelect = flatButton(NoteApp, "TitleFontSelect", QStringLiteral("改变"));
    connect(TitleFontSelect, &QToolButton::clicked, this, &TConfigurationForm::TitleFontSelectClick);
    NoteFontSelect = flatButton(NoteApp, "NoteFontSelect", QStringLiteral("改变"));
    connect(NoteFontSelect, &QToolButton::clicked, this, &TConfigurationForm::NoteFontSelectClick);
    NoteSizeChange = flatButton(NoteApp, "NoteSizeChange", QStringLiteral("改变"));
    connect(NoteSizeChange, &QToolButton::clicked, this, &TConfigurationForm::NoteSizeChangeClick);

    const QFontMetrics metrics(font());
    const int captionWidth = metrics.horizontalAdvance(QStringLiteral("标题颜色"));
    styleRow(NoteApp, 0, QStringLiteral("标题颜色"), BColor, captionWidth);
    styleRow(NoteApp, 1, QStringLiteral("便笺颜色"), NColor, captionWidth);
    styleRow(NoteApp, 2, QStringLiteral("标题字体"), TitleFontSelect, captionWidth);
    styleRow(NoteApp, 3, QStringLiteral("文本字体"), NoteFontSelect, captionWidth);
    SizeLabel = styleRow(NoteApp, 4, QString(), NoteSizeChange,
                         metrics.horizontalAdvance(QStringLiteral("大小: 540x540")));
    SizeLabel->setObjectName(QStringLiteral("SizeLabel"));
}

void TConfigurationForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (const QScreen *shownOn = screen())
        move(shownOn->availableGeometry().center() - rect().center());
    FormShow();
}

void TConfigurationForm::FormShow()
{
    UpdateSizeLabel();
}

void TConfigurationForm::UpdateSizeLabel()
{
    SizeLabel->setText(QStringLiteral("大小: %1x%2").arg(PendingWidth).arg(PendingHeight));
}

void TConfigurationForm::PreviewBoxPaint(QPainter &canvas)
{
    const ToolkitFont &titleFont = TitleFontDialog->selectedFont();
    const ToolkitFont &noteFont = NoteFontDialog->selectedFont();
    DrawStylePreview(canvas, kPreviewSide, kPreviewSide, BColor->color(), titleFont.color, NColor->color(),
                     &noteFont, &titleFont);
}

void TConfigurationForm::TitleFontSelectClick()
{
    TitleFontDialog->Execute();
    PreviewBox->update();
}

void TConfigurationForm::NoteFontSelectClick()
{
    NoteFontDialog->Execute();
    PreviewBox->update();
}

void TConfigurationForm::BColorChange()
{
    PreviewBox->update();
}

void TConfigurationForm::BColorClick(ColorPicker *picker)
{
    picker->chooseCustomColor();
}

void TConfigurationForm::TrillFileBrowseClick()
{
    const QString current = TrillFileEdit->text();
    QFileDialog dialog(this, QStringLiteral("打开"), QFileInfo(current).absolutePath(), kSoundFilter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!current.isEmpty())
        dialog.selectFile(current);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        TrillFileEdit->setText(dialog.selectedFiles().constFirst());
}

void TConfigurationForm::SpeedButton1Click()
{
    PlaySoundFile(TrillFileEdit->text(), true);
}

void TConfigurationForm::NoteFolderBrowseClick()
{
    const QString current = NoteFolderEdit->text().isEmpty() ? NoteFolderEdit->placeholderText()
                                                              : NoteFolderEdit->text();
    const QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("选择便笺文件夹"), current);
    if (!chosen.isEmpty())
        NoteFolderEdit->setText(chosen);
}

void TConfigurationForm::NoteFolderDefaultClick()
{
    NoteFolderEdit->clear();
}

void TConfigurationForm::NoteSizeChangeClick()
{
    {
        TDefaultNoteSizeForm sizeForm(this);
        sizeForm.resize(PendingWidth, PendingHeight);
        if (sizeForm.exec() == QDialog::Accepted) {
            PendingWidth = sizeForm.width();
            PendingHeight = sizeForm.height();
        }
    }
    UpdateSizeLabel();
}
