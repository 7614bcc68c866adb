#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "dialogs/ColorPicker.h"
#include "dialogs/ConfigurationFormUnit.h"
#include "dialogs/FontColorDialog.h"
#include "dialogs/dlgDefaultNoteSize.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/Autostart.h"
#include "platform/RegistryStore.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/FontRecords.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QtTest>

#include <functional>

namespace {

// Answers the modal dialogs a test opens: each action runs once, on the
// next dialog of its type, as soon as that dialog is the active modal one.
// An action must always close its dialog.
class ModalAnswers final : public QObject
{
public:
    template <typename T>
    void next(std::function<void(T *)> action)
    {
        ++m_waiting;
        auto *poll = new QTimer(this);
        poll->setInterval(1);
        connect(poll, &QTimer::timeout, this, [this, poll, action] {
            auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            poll->stop();
            poll->deleteLater();
            --m_waiting;
            action(dialog);
        });
        poll->start();
    }

    // Actions whose dialog has not come up.
    int waiting() const { return m_waiting; }

    void clear()
    {
        qDeleteAll(findChildren<QTimer *>());
        m_waiting = 0;
    }

private:
    int m_waiting = 0;
};

// The look a fresh engine puts in place, with an alarm file of its own.
GlobalSettings firstLook()
{
    GlobalSettings look;
    look.NoteFont = fontRecord(QStringLiteral("Arial"), 8, 0, clBlack);
    look.TitleFont = fontRecord(QStringLiteral("Arial"), 7, 0, clBlack);
    look.TrillFile = QStringLiteral("/sounds/trill.wav");
    return look;
}

// Every value differs from firstLook().
GlobalSettings otherLook()
{
    GlobalSettings look;
    look.SafeSave = false;
    look.NoteColor = 0x00C0FFC0;
    look.TitleColor = 0x00FF8040;
    look.NoteAnimations = false;
    look.NoteTransparency = true;
    look.TitleFont = fontRecord(QStringLiteral("DejaVu Serif"), 11, FontRecord::fsBold | FontRecord::fsItalic,
                                0x000000FF);
    look.NoteFont = fontRecord(QStringLiteral("DejaVu Sans Mono"), 13,
                               FontRecord::fsUnderline | FontRecord::fsStrikeOut, 0x00808000);
    look.DefNoteWidth = 300;
    look.DefNoteHeight = 220;
    look.TrillFile = QStringLiteral("/other/bell.wav");
    return look;
}

QString describeFont(const FontRecord &font)
{
    return QStringLiteral("%1/%2/%3/%4")
        .arg(font.faceName())
        .arg(font.Size)
        .arg(font.Style)
        .arg(font.Color, 8, 16, QLatin1Char('0'));
}

// The ten values, readable in a failure message.
QStringList describe(const GlobalSettings &look)
{
    return {
        QStringLiteral("SafeSave=%1").arg(int(look.SafeSave)),
        QStringLiteral("NoteColor=%1").arg(look.NoteColor, 8, 16, QLatin1Char('0')),
        QStringLiteral("TitleColor=%1").arg(look.TitleColor, 8, 16, QLatin1Char('0')),
        QStringLiteral("NoteAnimations=%1").arg(int(look.NoteAnimations)),
        QStringLiteral("NoteTransparency=%1").arg(int(look.NoteTransparency)),
        QStringLiteral("TitleFont=") + describeFont(look.TitleFont),
        QStringLiteral("NoteFont=") + describeFont(look.NoteFont),
        QStringLiteral("TrillFile=") + look.TrillFile,
        QStringLiteral("DefNoteWidth=%1").arg(look.DefNoteWidth),
        QStringLiteral("DefNoteHeight=%1").arg(look.DefNoteHeight),
    };
}

// What the dialog's controls hold, in the settings' terms.
GlobalSettings shownIn(const TConfigurationForm &dialog)
{
    GlobalSettings look;
    look.SafeSave = dialog.SafeSave->isChecked();
    look.NoteAnimations = dialog.Noteanim->isChecked();
    look.NoteTransparency = dialog.TransNote->isChecked();
    look.TrillFile = dialog.TrillFileEdit->text();
    look.TitleColor = dialog.BColor->color();
    look.NoteColor = dialog.NColor->color();
    look.DefNoteWidth = dialog.PendingWidth;
    look.DefNoteHeight = dialog.PendingHeight;
    look.TitleFont = FontToRecord(dialog.TitleFontDialog->selectedFont());
    look.NoteFont = FontToRecord(dialog.NoteFontDialog->selectedFont());
    return look;
}

void putInto(TConfigurationForm &dialog, const GlobalSettings &look)
{
    dialog.SafeSave->setChecked(look.SafeSave);
    dialog.Noteanim->setChecked(look.NoteAnimations);
    dialog.TransNote->setChecked(look.NoteTransparency);
    dialog.TrillFileEdit->setText(look.TrillFile);
    dialog.BColor->setColor(look.TitleColor);
    dialog.NColor->setColor(look.NoteColor);
    dialog.PendingWidth = look.DefNoteWidth;
    dialog.PendingHeight = look.DefNoteHeight;
    dialog.TitleFontDialog->setSelectedFont(RecordToFont(look.TitleFont));
    dialog.NoteFontDialog->setSelectedFont(RecordToFont(look.NoteFont));
}

// Answers a font dialog with the given font, confirming or not.
std::function<void(FontColorDialog *)> chooseFont(const FontRecord &font, bool confirm)
{
    return [font, confirm](FontColorDialog *dialog) {
        dialog->showFont(RecordToFont(font));
        if (confirm)
            dialog->accept();
        else
            dialog->reject();
    };
}

QToolButton *swatch(const ColorPicker &picker, TColor color)
{
    const QString name = toQColor(color).name();
    const QList<QToolButton *> buttons = picker.palettePanel()->findChildren<QToolButton *>();
    for (QToolButton *button : buttons) {
        if (button->toolTip() == name)
            return button;
    }
    return nullptr;
}

QToolButton *paletteEntry(const ColorPicker &picker, const QString &text)
{
    const QList<QToolButton *> buttons = picker.palettePanel()->findChildren<QToolButton *>();
    for (QToolButton *button : buttons) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// A press on the strip, one move by `delta`, the release; positions are
// those of the press, as the strip moves with the window.
void drag(QWidget *strip, const QPoint &from, const QPoint &delta)
{
    const QPoint global = strip->mapToGlobal(from);
    const auto send = [strip](QEvent::Type type, const QPoint &local, const QPoint &screen, Qt::MouseButton button,
                              Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(local), QPointF(screen), button, held, Qt::NoModifier);
        QApplication::sendEvent(strip, &event);
    };
    send(QEvent::MouseButtonPress, from, global, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, from + delta, global + delta, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + delta, global + delta, Qt::LeftButton, Qt::NoButton);
}

const QStringList kValueNames = {
    QStringLiteral("SafeSave"),       QStringLiteral("NoteColor"), QStringLiteral("TitleColor"),
    QStringLiteral("NoteAnimations"), QStringLiteral("NoteTransparency"), QStringLiteral("TitleFont"),
    QStringLiteral("NoteFont"),       QStringLiteral("TrillFile"), QStringLiteral("DefNoteWidth"),
    QStringLiteral("DefNoteHeight"),
};

// The ten values as the settings store holds them; missing ones are left out.
QStringList storedValues()
{
    TRegistry registry;
    QStringList values;
    if (!registry.OpenKeyReadOnly(BrisquelKey))
        return {QStringLiteral("no key")};
    for (const QString &name : kValueNames) {
        if (!registry.ValueExists(name))
            continue;
        if (name == QLatin1String("TrillFile")) {
            values << name + u'=' + registry.ReadString(name);
        } else if (name.endsWith(QLatin1String("Font"))) {
            FontRecord font;
            font.assignBytes([&] {
                QByteArray bytes(FontRecord::kSize, '\0');
                registry.ReadBinaryData(name, bytes.data(), int(bytes.size()));
                return bytes;
            }());
            values << name + u'=' + describeFont(font);
        } else if (name.startsWith(QLatin1String("Def"))) {
            values << name + u'=' + QString::number(registry.ReadInteger(name));
        } else if (name.endsWith(QLatin1String("Color"))) {
            values << name + u'=' + QStringLiteral("%1").arg(quint32(registry.ReadInteger(name)), 8, 16, QLatin1Char('0'));
        } else {
            values << name + u'=' + QString::number(registry.ReadInteger(name));
        }
    }
    return values;
}

} // namespace

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void colorPickerPalette();
    void colorPickerDefaultEntry();
    void colorPickerCustomColor_data();
    void colorPickerCustomColor();
    void fontDialogKeepsFontUntilConfirmed_data();
    void fontDialogKeepsFontUntilConfirmed();

    void sizeDialogTexts();
    void sizeDialogLimits_data();
    void sizeDialogLimits();

    void configurationTexts();
    void previewShowsChosenStyle();
    void sizeDialogOkShowsAtOnceCancelKeeps();
    void browseForSoundFile();

    void configureFillsAndTakesBack_data();
    void configureFillsAndTakesBack();
    void cancelAfterChangingEverything();
    void okAppliesToOpenAndNewNotes();
    void settingsFileAfterOkAndLaterCancel();
    void failedSaveStillFreesTheShell();
    void startAtLogInFollowsTheAutostartEntry();

private:
    void startEngine();
    void writeNote(const QString &id, TColor noteColor);
    TNoteForm *windowOf(const QString &id) const;

    QTemporaryDir m_home;
    QTemporaryDir *m_program = nullptr;
    ModalAnswers m_answers;
    QStringList m_prompts;
};

void TestOptions::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(TRegistry::storeFileName().startsWith(m_home.path() + u'/'));
}

void TestOptions::init()
{
    m_program = new QTemporaryDir();
    QVERIFY(m_program->isValid());
    setProgramFolder(m_program->path());
    InitUserFolder();
    QDir(QFileInfo(TRegistry::storeFileName()).absolutePath()).removeRecursively();
    Settings = GlobalSettings();
    SettingsChanged = false;
    Starting = false;
    ShuttingDown = false;
    ShellReady = true;
    m_prompts.clear();
    setPromptHook([this](const PromptRequest &request) {
        m_prompts << request.text;
        return PromptReply{true, request.defaultText};
    });
}

void TestOptions::cleanup()
{
    m_answers.clear();
    // A store made unwritable by a test must not fail the engine's last save.
    QDir(QFileInfo(TRegistry::storeFileName()).absolutePath()).removeRecursively();
    Settings.NoteAnimations = false;
    DestroyNoteEngine();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    setPromptHook({});
    delete m_program;
    m_program = nullptr;
}

void TestOptions::startEngine()
{
    CreateNoteEngine();
}

void TestOptions::writeNote(const QString &id, TColor noteColor)
{
    TNoteClass note(id);
    note.Title = id;
    note.NoteColor = noteColor;
    note.Left = 40;
    note.Top = 40;
    note.Width = 170;
    note.Height = 150;
    QVERIFY(note.SaveToFile(NoteFileName(id)));
}

TNoteForm *TestOptions::windowOf(const QString &id) const
{
    for (int index = 0; index < NoteEngine->Manager->Notes.Count(); ++index) {
        TNoteWrapper *wrapper = NoteEngine->Manager->Notes.Get(index);
        if (wrapper->NoteID == id)
            return wrapper->Window.data();
    }
    return nullptr;
}

void TestOptions::colorPickerPalette()
{
    const QList<TColor> &colors = ColorPicker::standardColors();
    QCOMPARE(colors.size(), 40);
    for (TColor color : colors)
        QVERIFY2(color <= 0x00FFFFFF, "the palette offers no system colours");

    ColorPicker picker;
    picker.setColor(clYellow);
    QSignalSpy changed(&picker, &ColorPicker::colorChanged);
    QToolButton *red = swatch(picker, 0x000000FF);
    QVERIFY(red);
    QVERIFY(!red->isChecked());
    red->click();
    QCOMPARE(picker.color(), TColor(0x000000FF));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().value<TColor>(), TColor(0x000000FF));
    QVERIFY(red->isChecked());
    QVERIFY(!swatch(picker, clYellow)->isChecked());
    QVERIFY(picker.text().isEmpty());

    // The same colour again is no change.
    red->click();
    QCOMPARE(changed.size(), 1);
}

void TestOptions::colorPickerDefaultEntry()
{
    ColorPicker plain;
    QVERIFY(!plain.hasDefaultEntry());
    QVERIFY(paletteEntry(plain, QStringLiteral("默认"))->isHidden());
    plain.setColor(clNone);
    QVERIFY(plain.text().isEmpty());

    ColorPicker withDefault;
    withDefault.setDefaultEntry(true);
    QToolButton *entry = paletteEntry(withDefault, QStringLiteral("默认"));
    QVERIFY(entry);
    QVERIFY(!entry->isHidden());
    withDefault.setColor(0x00FF0000);
    QVERIFY(withDefault.text().isEmpty());
    QSignalSpy changed(&withDefault, &ColorPicker::colorChanged);
    entry->click();
    QCOMPARE(withDefault.color(), clNone);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(withDefault.text(), QStringLiteral("默认"));
    swatch(withDefault, 0x00FFFFFF)->click();
    QCOMPARE(withDefault.color(), TColor(0x00FFFFFF));
    QVERIFY(withDefault.text().isEmpty());

    // A caption of the owner's choosing.
    withDefault.setDefaultEntry(true, QStringLiteral("全局"));
    withDefault.setColor(clNone);
    QCOMPARE(withDefault.text(), QStringLiteral("全局"));
}

void TestOptions::colorPickerCustomColor_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("confirmed") << true;
    QTest::newRow("cancelled") << false;
}

void TestOptions::colorPickerCustomColor()
{
    QFETCH(bool, confirm);
    ColorPicker picker;
    picker.setColor(0x00336699);
    QColor preset;
    m_answers.next<QColorDialog>([&](QColorDialog *dialog) {
        preset = dialog->currentColor();
        dialog->setCurrentColor(QColor(10, 20, 30));
        if (confirm)
            dialog->accept();
        else
            dialog->reject();
    });
    QToolButton *custom = paletteEntry(picker, QStringLiteral("定制"));
    QVERIFY(custom);
    custom->click();
    QTRY_COMPARE(m_answers.waiting(), 0);
    QCOMPARE(preset, toQColor(0x00336699));
    QCOMPARE(picker.color(), confirm ? rgbColor(10, 20, 30) : TColor(0x00336699));
}

void TestOptions::fontDialogKeepsFontUntilConfirmed_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("confirmed") << true;
    QTest::newRow("cancelled") << false;
}

void TestOptions::fontDialogKeepsFontUntilConfirmed()
{
    QFETCH(bool, confirm);
    const FontRecord first = otherLook().TitleFont;
    const FontRecord second = otherLook().NoteFont;
    FontColorDialog dialog;
    dialog.setSelectedFont(RecordToFont(first));

    QString shownFamily;
    int shownSize = 0;
    bool shownBold = false;
    TColor shownColor = clNone;
    m_answers.next<FontColorDialog>([&](FontColorDialog *open) {
        const QFont current = open->FontChooser->currentFont();
        shownFamily = current.family();
        shownSize = current.pointSize();
        shownBold = current.bold();
        shownColor = open->ColorChooser->color();
        chooseFont(second, confirm)(open);
    });
    QCOMPARE(dialog.Execute(), confirm);
    QCOMPARE(m_answers.waiting(), 0);
    QCOMPARE(shownFamily, first.faceName());
    QCOMPARE(shownSize, int(first.Size));
    QVERIFY(shownBold);
    QCOMPARE(shownColor, first.Color);
    QCOMPARE(describeFont(FontToRecord(dialog.selectedFont())), describeFont(confirm ? second : first));

    // The next opening starts from what was kept, even after Escape in
    // the embedded chooser.
    m_answers.next<FontColorDialog>([&](FontColorDialog *open) {
        shownFamily = open->FontChooser->currentFont().family();
        QTest::keyClick(open->FontChooser, Qt::Key_Escape);
    });
    QVERIFY(!dialog.Execute());
    QCOMPARE(shownFamily, (confirm ? second : first).faceName());
    QVERIFY(dialog.FontChooser->isHidden());
    m_answers.next<FontColorDialog>([&](FontColorDialog *open) {
        shownFamily = open->FontChooser->isVisible() ? QStringLiteral("visible") : QString();
        open->reject();
    });
    dialog.Execute();
    QCOMPARE(shownFamily, QStringLiteral("visible"));
}

void TestOptions::sizeDialogTexts()
{
    TDefaultNoteSizeForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("DefaultNoteSizeForm"));
    QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(form.Panel1->text(), QStringLiteral("便笺尺寸"));
    QCOMPARE(form.Label1->text(), QStringLiteral("按下 \"确定\" 接受新的便笺尺寸, \"取消\" 使用前个便笺尺寸"));
    QVERIFY(form.Label1->wordWrap());
    QCOMPARE(form.CancelBTN->geometry(), QRect(8, 56, 75, 24));
    QCOMPARE(form.OKBTN->geometry(), QRect(8, 80, 75, 24));

    form.resize(20, 900);
    form.show();
    QCOMPARE(form.size(), QSize(100, 540));
    QCOMPARE(form.PaintBox1->geometry().right(), 99);
    QCOMPARE(form.PaintBox2->geometry().bottom(), 539);
}

void TestOptions::sizeDialogLimits_data()
{
    QTest::addColumn<QString>("strip");
    QTest::addColumn<bool>("atRightEnd");
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<QSize>("expected");

    QTest::newRow("within limits") << "PaintBox1" << false << QPoint(40, 0) << QSize(200, 160);
    QTest::newRow("right edge below 100") << "PaintBox1" << false << QPoint(-200, 0) << QSize(100, 160);
    QTest::newRow("right edge past 540") << "PaintBox1" << false << QPoint(500, 0) << QSize(540, 160);
    QTest::newRow("left edge below 100") << "PaintBox3" << false << QPoint(150, 0) << QSize(100, 160);
    QTest::newRow("left edge past 540") << "PaintBox3" << false << QPoint(-450, 0) << QSize(540, 160);
    QTest::newRow("bottom edge below 100") << "PaintBox2" << false << QPoint(0, -100) << QSize(160, 100);
    QTest::newRow("bottom edge past 540") << "PaintBox2" << false << QPoint(0, 600) << QSize(160, 540);
    QTest::newRow("corner past 540") << "PaintBox2" << true << QPoint(600, 700) << QSize(540, 540);
    QTest::newRow("corner below 100") << "PaintBox2" << true << QPoint(-90, -90) << QSize(100, 100);
}

void TestOptions::sizeDialogLimits()
{
    QFETCH(QString, strip);
    QFETCH(bool, atRightEnd);
    QFETCH(QPoint, delta);
    QFETCH(QSize, expected);

    TDefaultNoteSizeForm form;
    form.resize(160, 160);
    form.show();
    const QRect before = form.geometry();
    auto *edge = form.findChild<QWidget *>(strip);
    QVERIFY(edge);
    drag(edge, QPoint(atRightEnd ? edge->width() - 1 : 1, 1), delta);
    QCOMPARE(form.size(), expected);
    // The opposite edges stay in place while the window grows within limits.
    QCOMPARE(form.geometry().top(), before.top());
    if (strip != QLatin1String("PaintBox3"))
        QCOMPARE(form.geometry().left(), before.left());
    else if (expected.width() < TDefaultNoteSizeForm::kMaximumSide)
        QCOMPARE(form.geometry().right(), before.right());
}

void TestOptions::configurationTexts()
{
    TConfigurationForm form;
    form.show();
    QCOMPARE(form.windowTitle(), QStringLiteral("Brisquel 设置"));
    QCOMPARE(form.size(), QSize(364, 262));
    QCOMPARE(form.PageControl1->count(), 2);
    QCOMPARE(form.PageControl1->tabText(form.PageControl1->indexOf(form.Options)), QStringLiteral("选项"));
    QCOMPARE(form.PageControl1->tabText(form.PageControl1->indexOf(form.NoteApp)), QStringLiteral("默认便笺风格"));
    QCOMPARE(form.PageControl1->currentWidget(), form.NoteApp);

    QCOMPARE(form.SafeSave->text(), QStringLiteral("启用屏保(&S)"));
    QCOMPARE(form.Noteanim->text(), QStringLiteral("便笺动画(&A)"));
    QCOMPARE(form.TransNote->text(), QStringLiteral("透明便笺 (仅 Win2k/xp)"));
    QStringList frames;
    for (const QWidget *page : {form.Options, form.NoteApp}) {
        for (const QGroupBox *box : page->findChildren<QGroupBox *>())
            frames << box->title();
    }
    frames.sort();
    QStringList expectedFrames{QStringLiteral("便笺选项"), QStringLiteral("报警声音文件"), QStringLiteral("便笺风格设置")};
    expectedFrames.sort();
    QCOMPARE(frames, expectedFrames);
    QStringList labels;
    for (const QLabel *label : form.NoteApp->findChildren<QLabel *>())
        labels << label->text();
    for (const char *caption : {"标题颜色", "便笺颜色", "标题字体", "文本字体"})
        QVERIFY2(labels.contains(QString::fromUtf8(caption)), caption);

    for (QToolButton *button : {form.TitleFontSelect, form.NoteFontSelect, form.NoteSizeChange}) {
        QCOMPARE(button->text(), QStringLiteral("改变"));
        QVERIFY(button->autoRaise());
    }
    QVERIFY(!form.BColor->hasDefaultEntry());
    QVERIFY(!form.NColor->hasDefaultEntry());
    QCOMPARE(form.PreviewBox->size(), QSize(113, 113));
    QCOMPARE(form.SizeLabel->text(), QStringLiteral("大小: 160x160"));
    QCOMPARE(form.CancelBtn->text(), QStringLiteral("取消"));
    QCOMPARE(form.OKBtn->text(), QStringLiteral("确定"));
    QVERIFY(form.CancelBtn->x() < form.OKBtn->x());
}

void TestOptions::previewShowsChosenStyle()
{
    TConfigurationForm form;
    form.BColor->setColor(0x000000FF);
    form.NColor->setColor(0x00FF0000);
    const ToolkitFont body = RecordToFont(fontRecord(QStringLiteral("DejaVu Sans"), 28, FontRecord::fsBold, 0x0000FF00));
    form.NoteFontDialog->setSelectedFont(body);
    form.TitleFontDialog->setSelectedFont(RecordToFont(fontRecord(QStringLiteral("DejaVu Sans"), 7, 0, 0x00FFFFFF)));

    const QImage preview = form.PreviewBox->grab().toImage();
    QCOMPARE(preview.size(), QSize(113, 113));
    QCOMPARE(preview.pixelColor(0, 0), QColor(255, 0, 0));     // strip in the title colour
    QCOMPARE(preview.pixelColor(112, 112), QColor(0, 0, 255)); // body in the note colour
    QCOMPARE(preview.pixelColor(6, 6), QColor(0, 0, 255));     // the circle holds the note colour
    // The close cross is drawn in the title font's colour.
    QCOMPARE(preview.pixelColor(113 - 7, 6), QColor(255, 255, 255));
    const auto hasPixel = [&](const QRect &area, const std::function<bool(const QColor &)> &test) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (test(preview.pixelColor(x, y)))
                    return true;
            }
        }
        return false;
    };
    const QRect sampleText(4, 15, 105, 60);
    QVERIFY2(hasPixel(sampleText, [](const QColor &c) { return c.green() > 200 && c.red() < 60 && c.blue() < 60; }),
             "the sample text is drawn in the text font's colour");
}

void TestOptions::sizeDialogOkShowsAtOnceCancelKeeps()
{
    TConfigurationForm form;
    form.PendingWidth = 160;
    form.PendingHeight = 160;
    form.show();

    QSize offered;
    m_answers.next<TDefaultNoteSizeForm>([&](TDefaultNoteSizeForm *sizeForm) {
        offered = sizeForm->size();
        sizeForm->resize(300, 200);
        sizeForm->OKBTN->click();
    });
    form.NoteSizeChange->click();
    QCOMPARE(m_answers.waiting(), 0);
    QCOMPARE(offered, QSize(160, 160));
    QCOMPARE(form.PendingWidth, 300);
    QCOMPARE(form.PendingHeight, 200);
    QCOMPARE(form.SizeLabel->text(), QStringLiteral("大小: 300x200"));

    m_answers.next<TDefaultNoteSizeForm>([&](TDefaultNoteSizeForm *sizeForm) {
        offered = sizeForm->size();
        sizeForm->resize(400, 400);
        sizeForm->CancelBTN->click();
    });
    form.NoteSizeChange->click();
    QCOMPARE(m_answers.waiting(), 0);
    QCOMPARE(offered, QSize(300, 200));
    QCOMPARE(form.PendingWidth, 300);
    QCOMPARE(form.PendingHeight, 200);
    QCOMPARE(form.SizeLabel->text(), QStringLiteral("大小: 300x200"));
}

void TestOptions::browseForSoundFile()
{
    const QString chosen = m_program->filePath(QStringLiteral("bell.wav"));
    QVERIFY(writeFileBytes(chosen, {}));

    TConfigurationForm form;
    form.TrillFileEdit->setText(QStringLiteral("/nowhere/trill.wav"));
    form.show();
    QStringList filters;
    m_answers.next<QFileDialog>([&](QFileDialog *dialog) {
        filters = dialog->nameFilters();
        dialog->reject();
    });
    form.TrillFileBrowse->trigger();
    QCOMPARE(m_answers.waiting(), 0);
    QCOMPARE(filters, QStringList{QStringLiteral("音频文件 (*.wav)")});
    QCOMPARE(form.TrillFileEdit->text(), QStringLiteral("/nowhere/trill.wav"));

    m_answers.next<QFileDialog>([&](QFileDialog *dialog) {
        dialog->selectFile(chosen);
        static_cast<QDialog *>(dialog)->accept();
    });
    form.TrillFileBrowse->trigger();
    QCOMPARE(m_answers.waiting(), 0);
    QCOMPARE(form.TrillFileEdit->text(), chosen);
}

void TestOptions::configureFillsAndTakesBack_data()
{
    QTest::addColumn<bool>("reverse");
    QTest::newRow("first look to other look") << false;
    QTest::newRow("other look to first look") << true;
}

void TestOptions::configureFillsAndTakesBack()
{
    QFETCH(bool, reverse);
    const GlobalSettings from = reverse ? otherLook() : firstLook();
    const GlobalSettings to = reverse ? firstLook() : otherLook();

    writeNote(QStringLiteral("N01"), clNone);
    startEngine();
    Settings = from;
    TNoteForm *note = windowOf(QStringLiteral("N01"));
    QVERIFY(note);
    note->NoteEdit()->setPlainText(QStringLiteral("typed before the settings"));
    const QString noteFile = NoteFileName(QStringLiteral("N01"));
    QVERIFY(!fileBytes(noteFile).contains("typed before"));

    QStringList shown;
    QString sizeLabel;
    bool readyWhileOpen = true;
    bool noteSavedFirst = false;
    m_answers.next<TConfigurationForm>([&](TConfigurationForm *dialog) {
        readyWhileOpen = ShellReady;
        noteSavedFirst = fileBytes(noteFile).contains("typed before");
        shown = describe(shownIn(*dialog));
        sizeLabel = dialog->SizeLabel->text();
        putInto(*dialog, to);
        dialog->OKBtn->click();
    });
    NoteEngine->Configure();
    QCOMPARE(m_answers.waiting(), 0);
    QVERIFY(!readyWhileOpen);
    QVERIFY(ShellReady);
    QVERIFY(noteSavedFirst);
    QCOMPARE(shown, describe(from));
    QCOMPARE(sizeLabel, QStringLiteral("大小: %1x%2").arg(from.DefNoteWidth).arg(from.DefNoteHeight));
    QVERIFY(SettingsChanged);
    QCOMPARE(describe(Settings), describe(to));
    QCOMPARE(storedValues(), describe(to));
}

void TestOptions::cancelAfterChangingEverything()
{
    // Values an earlier run stored stay as they are.
    Settings = firstLook();
    SettingsChanged = true;
    SaveSettings();
    SettingsChanged = false;
    const QByteArray storeBefore = fileBytes(TRegistry::storeFileName());
    writeNote(QStringLiteral("N01"), clNone);
    startEngine();
    const GlobalSettings before = Settings;
    QCOMPARE(describe(before), describe(firstLook()));
    const GlobalSettings wanted = otherLook();

    QStringList changed;
    QString sizeLabel;
    m_answers.next<TConfigurationForm>([&](TConfigurationForm *dialog) {
        dialog->SafeSave->click();
        dialog->Noteanim->click();
        dialog->TransNote->click();
        dialog->TrillFileEdit->setText(wanted.TrillFile);
        swatch(*dialog->BColor, 0x00FF6633)->click();
        m_answers.next<QColorDialog>([&](QColorDialog *colors) {
            colors->setCurrentColor(toQColor(wanted.NoteColor));
            colors->accept();
        });
        dialog->NColor->click();
        m_answers.next<FontColorDialog>(chooseFont(wanted.TitleFont, true));
        dialog->TitleFontSelect->click();
        m_answers.next<FontColorDialog>(chooseFont(wanted.NoteFont, true));
        dialog->NoteFontSelect->click();
        m_answers.next<TDefaultNoteSizeForm>([&](TDefaultNoteSizeForm *sizeForm) {
            sizeForm->resize(wanted.DefNoteWidth, wanted.DefNoteHeight);
            sizeForm->OKBTN->click();
        });
        dialog->NoteSizeChange->click();
        sizeLabel = dialog->SizeLabel->text();
        // The sound test with a file that does not exist returns after the
        // fallback sound.
        dialog->SpeedButton1->click();
        changed = describe(shownIn(*dialog));
        dialog->CancelBtn->click();
    });
    NoteEngine->Configure();
    QCOMPARE(m_answers.waiting(), 0);

    GlobalSettings expectedChange = wanted;
    expectedChange.TitleColor = 0x00FF6633;
    QCOMPARE(changed, describe(expectedChange));
    QCOMPARE(sizeLabel, QStringLiteral("大小: 300x220"));
    QCOMPARE(describe(Settings), describe(before));
    QVERIFY(!SettingsChanged);
    QVERIFY(ShellReady);
    QCOMPARE(fileBytes(TRegistry::storeFileName()), storeBefore);
    TNoteForm *note = windowOf(QStringLiteral("N01"));
    QVERIFY(note);
    QCOMPARE(note->palette().color(QPalette::Window), toQColor(before.NoteColor));
    QVERIFY(!note->AlphaBlend());
}

void TestOptions::okAppliesToOpenAndNewNotes()
{
    const TColor ownColor = 0x00FF8000;
    writeNote(QStringLiteral("N01"), clNone);
    writeNote(QStringLiteral("N02"), ownColor);
    startEngine();
    Settings.NoteAnimations = false;
    const GlobalSettings wanted = otherLook();
    TNoteForm *followsDefault = windowOf(QStringLiteral("N01"));
    TNoteForm *ownColoured = windowOf(QStringLiteral("N02"));
    QVERIFY(followsDefault && ownColoured);
    QCOMPARE(followsDefault->palette().color(QPalette::Window), toQColor(clYellow));
    QVERIFY(!followsDefault->AlphaBlend());

    const auto confirm = [&](const GlobalSettings &look) {
        m_answers.next<TConfigurationForm>([&](TConfigurationForm *dialog) {
            putInto(*dialog, look);
            dialog->OKBtn->click();
        });
        NoteEngine->Configure();
    };
    confirm(wanted);
    QCOMPARE(m_answers.waiting(), 0);
    QCOMPARE(windowOf(QStringLiteral("N01")), followsDefault);
    QCOMPARE(followsDefault->palette().color(QPalette::Window), toQColor(wanted.NoteColor));
    QCOMPARE(ownColoured->palette().color(QPalette::Window), toQColor(ownColor));
    for (TNoteForm *form : {followsDefault, ownColoured}) {
        QVERIFY(form->AlphaBlend());
        QCOMPARE(form->AlphaBlendValue(), form->isActiveWindow() ? TNoteForm::kActiveAlpha : TNoteForm::kInactiveAlpha);
    }

    TNoteWrapper *created = NoteEngine->Manager->NewNote();
    QVERIFY(created->Window);
    QCOMPARE(created->Window->size(), QSize(wanted.DefNoteWidth, wanted.DefNoteHeight));
    const QFont body = created->Window->NoteEdit()->document()->defaultFont();
    QCOMPARE(body.family(), wanted.NoteFont.faceName());
    QCOMPARE(body.pointSize(), int(wanted.NoteFont.Size));
    QVERIFY(created->Window->AlphaBlend());

    GlobalSettings opaque = wanted;
    opaque.NoteTransparency = false;
    confirm(opaque);
    QCOMPARE(m_answers.waiting(), 0);
    for (TNoteForm *form : {followsDefault, ownColoured, created->Window.data()})
        QVERIFY(!form->AlphaBlend());
}

void TestOptions::settingsFileAfterOkAndLaterCancel()
{
    startEngine();
    const auto cancel = [&] {
        m_answers.next<TConfigurationForm>([&](TConfigurationForm *dialog) {
            putInto(*dialog, firstLook());
            dialog->CancelBtn->click();
        });
        NoteEngine->Configure();
    };

    // Nothing confirmed yet: the key is made, no value is written.
    cancel();
    QCOMPARE(m_answers.waiting(), 0);
    QCOMPARE(storedValues(), QStringList());

    m_answers.next<TConfigurationForm>([&](TConfigurationForm *dialog) {
        putInto(*dialog, otherLook());
        dialog->OKBtn->click();
    });
    NoteEngine->Configure();
    QCOMPARE(m_answers.waiting(), 0);
    QCOMPARE(storedValues(), describe(otherLook()));

    // Once confirmed, every later run writes all ten values again, even
    // when it is cancelled.
    {
        TRegistry registry;
        QVERIFY(registry.OpenKey(BrisquelKey, false));
        registry.WriteInteger(QStringLiteral("NoteColor"), 0x00123456);
        QVERIFY(registry.DeleteValue(QStringLiteral("TrillFile")));
    }
    cancel();
    QCOMPARE(m_answers.waiting(), 0);
    QCOMPARE(describe(Settings), describe(otherLook()));
    QCOMPARE(storedValues(), describe(otherLook()));
}

void TestOptions::failedSaveStillFreesTheShell()
{
    startEngine();
    // A folder where the store file should be: it can be neither read nor written.
    QVERIFY(QDir().mkpath(TRegistry::storeFileName()));
    m_answers.next<TConfigurationForm>([&](TConfigurationForm *dialog) {
        putInto(*dialog, otherLook());
        dialog->OKBtn->click();
    });
    QVERIFY_THROWS_EXCEPTION(ERegistryException, NoteEngine->Configure());
    QCOMPARE(m_answers.waiting(), 0);
    QVERIFY(ShellReady);
    QCOMPARE(describe(Settings), describe(otherLook()));
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"

void TestOptions::startAtLogInFollowsTheAutostartEntry()
{
    startEngine();
    const QString entry = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/brisquel.desktop");
    QFile::remove(entry);
    // Opens the options, notes the box's state and leaves by OK or Cancel.
    bool shown = false;
    const auto configure = [&](bool click, QPushButton *TConfigurationForm::*button) {
        m_answers.next<TConfigurationForm>([&](TConfigurationForm *dialog) {
            QCOMPARE(dialog->AutoStart->parentWidget()->parentWidget(), dialog->Options);
            QCOMPARE(dialog->AutoStart->text(), QStringLiteral("登录时启动 Brisquel"));
            QVERIFY(dialog->AutoStart->isEnabled());
            shown = dialog->AutoStart->isChecked();
            if (click)
                dialog->AutoStart->click();
            (dialog->*button)->click();
        });
        NoteEngine->Configure();
        QCOMPARE(m_answers.waiting(), 0);
    };

    configure(true, &TConfigurationForm::CancelBtn);
    QVERIFY(!shown);
    QVERIFY(!QFileInfo::exists(entry));
    configure(true, &TConfigurationForm::OKBtn);
    QVERIFY(!shown);
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    file.close();
    QCOMPARE(lines.value(0), QStringLiteral("[Desktop Entry]"));
    QVERIFY(lines.contains(QStringLiteral("Type=Application")));
    QVERIFY(lines.contains(QStringLiteral("Exec=") + QCoreApplication::applicationFilePath() + QStringLiteral(" /S")));

    configure(true, &TConfigurationForm::CancelBtn);
    QVERIFY(shown);
    QVERIFY(QFileInfo::exists(entry));
    configure(true, &TConfigurationForm::OKBtn);
    QVERIFY(shown);
    QVERIFY(!QFileInfo::exists(entry));

    // Taken away by hand, or hidden as the autostart rules allow: off.
    configure(true, &TConfigurationForm::OKBtn);
    QVERIFY(!shown);
    QVERIFY(QFile::remove(entry));
    configure(false, &TConfigurationForm::OKBtn);
    QVERIFY(!shown);
    QVERIFY(Autostart::setAutostartEnabled(true));
    QVERIFY(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    configure(false, &TConfigurationForm::CancelBtn);
    QVERIFY(!shown);
}
