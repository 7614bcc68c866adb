#include "notewindow/NoteConfUnit.h"

#include "app/BrisquelMessages.h"
#include "app/InternalProcsGui.h"
#include "dialogs/ColorPicker.h"
#include "notes/NoteWrapper.h"
#include "platform/DateTime.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <optional>

namespace {

constexpr int kTitleLength = 124;
const QSize kPreviewSize(121, 105);
// Hours with one or two digits, the separator, two digits of minutes.
const QString kTimeMask = QStringLiteral("09:99;_");

class PreviewPaintBox final : public QWidget
{
public:
    PreviewPaintBox(TNoteConf *dialog, QWidget *parent)
        : QWidget(parent)
        , m_dialog(dialog)
    {
        setFixedSize(kPreviewSize);
    }

protected:
    void paintEvent(QPaintEvent *) override { m_dialog->PreviewBoxPaint(); }

private:
    TNoteConf *m_dialog;
};

// Calls the handler when the focus leaves the field.
class FocusExitFilter final : public QObject
{
public:
    FocusExitFilter(QObject *parent, std::function<void()> onExit)
        : QObject(parent)
        , m_onExit(std::move(onExit))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Only a move to another control leaves the field. When the dialog
        // closes (Enter on the field) the values are checked as they are
        // taken back, with their message, not silently reset here first.
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                m_onExit();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onExit;
};

std::optional<QTime> parseTimeField(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 2)
        return std::nullopt;
    bool hoursOk = false;
    bool minutesOk = false;
    const int hours = parts.at(0).trimmed().toInt(&hoursOk);
    const int minutes = parts.at(1).trimmed().toInt(&minutesOk);
    if (!hoursOk || !minutesOk || parts.at(1).trimmed().size() != 2 || hours < 0 || hours > 23 || minutes < 0
        || minutes > 59)
        return std::nullopt;
    return QTime(hours, minutes);
}

QString timeFieldText(TDateTime value)
{
    return fromDateTime(value).time().toString(QStringLiteral("HH:mm"));
}

// The date field's date plus the time field's time; none when the time does
// not parse, which the take-back refuses like a time already past.
std::optional<TDateTime> fieldsValue(const QDateEdit *date, const QLineEdit *time)
{
    const std::optional<QTime> parsed = parseTimeField(time->text());
    if (!parsed)
        return std::nullopt;
    return toDateTime(QDateTime(date->date(), *parsed));
}

void resetWhenInvalid(QLineEdit *time, QCheckBox *check)
{
    if (parseTimeField(time->text()))
        return;
    check->setChecked(false);
    time->setText(QStringLiteral("00:00"));
}

QLineEdit *makeTimeField(QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    field->setInputMask(kTimeMask);
    field->setMaxLength(5);
    field->setFixedWidth(60);
    return field;
}

QDateEdit *makeDateField(QWidget *parent)
{
    auto *field = new QDateEdit(parent);
    field->setCalendarPopup(true);
    field->setDisplayFormat(shortDateFormat());
    return field;
}

QGroupBox *framed(const QString &caption, QWidget *content, QWidget *parent)
{
    auto *frame = new QGroupBox(caption, parent);
    auto *layout = new QHBoxLayout(frame);
    layout->addWidget(content);
    return frame;
}

} // namespace

TNoteConf::TNoteConf(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowCloseButtonHint)
    , Pages(new QTabWidget(this))
{
    setWindowTitle(QStringLiteral("便笺选项"));
    QFont font(QStringLiteral("SimSun"));
    font.setPointSize(9);
    setFont(font);

    auto *general = new QWidget(Pages);
    Titleedit = new QLineEdit(general);
    Titleedit->setMaxLength(kTitleLength);
    GroupBox = new QComboBox(general);
    GroupBox->setEditable(true);
    GroupBox->setInsertPolicy(QComboBox::NoInsert);
    auto *fileRow = new QWidget(general);
    LinkedFileEdit = new QLineEdit(fileRow);
    auto *browse = new QToolButton(fileRow);
    browse->setText(QStringLiteral("..."));
    connect(browse, &QToolButton::clicked, this, &TNoteConf::browseLinkedFile);
    auto *fileLayout = new QHBoxLayout(fileRow);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    fileLayout->addWidget(LinkedFileEdit);
    fileLayout->addWidget(browse);
    auto *generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(framed(QStringLiteral("便笺标题"), Titleedit, general));
    generalLayout->addWidget(framed(QStringLiteral("便笺组"), GroupBox, general));
    generalLayout->addWidget(framed(QStringLiteral("附加文件"), fileRow, general));
    Pages->addTab(general, QStringLiteral("常规"));

    auto *appearance = new QWidget(Pages);
    PreviewBox = new PreviewPaintBox(this, appearance);
    BColor = new ColorPicker(appearance);
    NColor = new ColorPicker(appearance);
    TBcolor = new ColorPicker(appearance);
    auto *colours = new QGridLayout();
    colours->addWidget(new QLabel(QStringLiteral("标题颜色"), appearance), 0, 0);
    colours->addWidget(BColor, 0, 1);
    colours->addWidget(new QLabel(QStringLiteral("便笺颜色"), appearance), 1, 0);
    colours->addWidget(NColor, 1, 1);
    colours->addWidget(new QLabel(QStringLiteral("标题字体"), appearance), 2, 0);
    colours->addWidget(TBcolor, 2, 1);
    auto *appearanceLayout = new QHBoxLayout(appearance);
    appearanceLayout->addWidget(framed(QStringLiteral("便笺风格设置"), PreviewBox, appearance));
    appearanceLayout->addLayout(colours);
    Pages->addTab(appearance, QStringLiteral("外观"));
    for (ColorPicker *picker : {BColor, NColor, TBcolor}) {
        picker->setDefaultEntry(true, QStringLiteral("默认"));
        connect(picker, &ColorPicker::colorChanged, this, [this, picker] { BColorChange(picker); });
        connect(picker, &ColorPicker::clicked, this, [this, picker] { BColorClick(picker); });
    }

    const auto timePage = [this](const QString &checkCaption, const QString &dateLabel, const QString &timeLabel,
                                 QCheckBox *&check, QDateEdit *&date, QLineEdit *&time) {
        auto *page = new QWidget(Pages);
        check = new QCheckBox(checkCaption, page);
        date = makeDateField(page);
        time = makeTimeField(page);
        auto *layout = new QGridLayout(page);
        layout->addWidget(check, 0, 0, 1, 2);
        layout->addWidget(new QLabel(dateLabel, page), 1, 0);
        layout->addWidget(date, 1, 1);
        layout->addWidget(new QLabel(timeLabel, page), 2, 0);
        layout->addWidget(time, 2, 1);
        layout->setRowStretch(3, 1);
        return page;
    };
    Pages->addTab(timePage(QStringLiteral("自动显示在"), QStringLiteral("天后:"), QStringLiteral("时间后:"), AutoShowCB,
                           AutoShowDateEdit, AutoShowTimeEdit),
                  QStringLiteral("自动显示"));
    Pages->addTab(timePage(QStringLiteral("报告在"), QStringLiteral("天:"), QStringLiteral("时间"), CKAlarm, DayInfo,
                           TimeInfo),
                  QStringLiteral("报警"));
    AutoShowTimeEdit->installEventFilter(new FocusExitFilter(this, [this] { AutoShowTimeEditExit(); }));
    TimeInfo->installEventFilter(new FocusExitFilter(this, [this] { TimeInfoExit(); }));

    // Cancel left of OK on every platform, so not a button box.
    auto *cancel = new QPushButton(QStringLiteral("取消"), this);
    auto *ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Pages);
    layout->addLayout(buttons);
    FormCreate();
}

void TNoteConf::FormCreate()
{
    Pages->setCurrentIndex(0);
    Titleedit->setFocus();
}

void TNoteConf::PreviewBoxPaint()
{
    QPainter canvas(PreviewBox);
    DrawStylePreview(canvas, kPreviewSize.width(), kPreviewSize.height(), BColor->color(), TBcolor->color(),
                     NColor->color());
}

void TNoteConf::BColorChange(ColorPicker *)
{
    PreviewBox->update();
}

void TNoteConf::BColorClick(ColorPicker *picker)
{
    picker->chooseCustomColor();
    PreviewBox->update();
}

void TNoteConf::AutoShowTimeEditExit()
{
    resetWhenInvalid(AutoShowTimeEdit, AutoShowCB);
}

void TNoteConf::TimeInfoExit()
{
    resetWhenInvalid(TimeInfo, CKAlarm);
}

void TNoteConf::browseLinkedFile()
{
    const QString file = QFileDialog::getOpenFileName(this, QString(), LinkedFileEdit->text());
    if (!file.isEmpty())
        LinkedFileEdit->setText(file);
}

namespace {

void placeDialog(TNoteConf &dialog, int x, int y)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    dialog.adjustSize();
    const QSize size = dialog.size();
    const int left = (x == -1 || area.width() < x + size.width() + 10) ? (area.width() - size.width()) / 2 : x + 10;
    const int top = (y == -1 || area.height() < y + size.height() + 10) ? (area.height() - size.height()) / 2 : y + 10;
    dialog.move(left, top);
}

// Offers every group in use once, in order of first appearance, whatever
// the letter case.
void fillGroups(QComboBox *box, const TNoteOWN *notes)
{
    box->clear();
    if (!notes)
        return;
    const QList<TNoteWrapper *> inOrder = notes->NotesInOrder();
    for (const TNoteWrapper *wrapper : inOrder) {
        const QString group = wrapper->Note->Group;
        if (!group.trimmed().isEmpty() && box->findText(group, Qt::MatchFixedString) < 0)
            box->addItem(group);
    }
}

void fillDialog(TNoteConf &dialog, const TNoteWrapper &wrapper)
{
    const TNoteClass &note = *wrapper.Note;
    dialog.BColor->setColor(note.TitleColor);
    dialog.NColor->setColor(note.NoteColor);
    dialog.Titleedit->setText(note.Title);
    dialog.TBcolor->setColor(note.TitleTextColor);
    dialog.AutoShowCB->setChecked(note.AutoShowState == 1);
    dialog.AutoShowDateEdit->setDate(fromDateTime(note.AutoShowTime).date());
    dialog.AutoShowTimeEdit->setText(timeFieldText(note.AutoShowTime));
    dialog.CKAlarm->setChecked(note.AlarmSet);
    dialog.DayInfo->setDate(fromDateTime(note.AlarmTime).date());
    dialog.TimeInfo->setText(timeFieldText(note.AlarmTime));
    fillGroups(dialog.GroupBox, wrapper.Manager);
    dialog.GroupBox->setEditText(note.Group);
    dialog.LinkedFileEdit->setText(note.LinkedFile);
}

void takeBack(TNoteConf &dialog, TNoteClass &note)
{
    note.TitleColor = dialog.BColor->color();
    note.NoteColor = dialog.NColor->color();
    note.TitleTextColor = dialog.TBcolor->color();
    note.Title = dialog.Titleedit->text();
    if (dialog.AutoShowCB->isChecked()) {
        const std::optional<TDateTime> time = fieldsValue(dialog.AutoShowDateEdit, dialog.AutoShowTimeEdit);
        if (!time || Now() >= *time) {
            ShowProgramError(65230);
            dialog.AutoShowCB->setChecked(false);
        } else {
            note.AutoShowTime = *time;
        }
    }
    note.AutoShowState = dialog.AutoShowCB->isChecked() ? 1 : 0;
    if (dialog.CKAlarm->isChecked()) {
        const std::optional<TDateTime> time = fieldsValue(dialog.DayInfo, dialog.TimeInfo);
        if (!time || Now() > *time) {
            ShowProgramError(65229);
            dialog.CKAlarm->setChecked(false);
        } else {
            note.AlarmTime = *time;
        }
    }
    note.AlarmSet = dialog.CKAlarm->isChecked();
    note.Group = dialog.GroupBox->currentText();
    note.LinkedFile = dialog.LinkedFileEdit->text();
}

void runDialog(TNoteWrapper &wrapper, int x, int y)
{
    TNoteConf dialog;
    placeDialog(dialog, x, y);
    fillDialog(dialog, wrapper);
    if (dialog.exec() == QDialog::Accepted)
        takeBack(dialog, *wrapper.Note);
    wrapper.RefreshWindow();
}

// Whichever way the dialog ended, the note is saved; a failing save goes on
// to the caller, after the preview is marked for renewal.
void finishEditing(TNoteWrapper &wrapper)
{
    const auto afterSave = qScopeGuard([&wrapper] { wrapper.InvalidatePreview(); });
    wrapper.Save();
}

} // namespace

void EditNoteProperties(TNoteWrapper *wrapper, int x, int y)
{
    if (!wrapper)
        return;
    const ShellReadyGuard dialogOpen;
    try {
        runDialog(*wrapper, x, y);
    } catch (...) {
        finishEditing(*wrapper);
        throw;
    }
    finishEditing(*wrapper);
}
