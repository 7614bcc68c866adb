#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "notes/NoteManagerUnit.h"
#include "notes/NoteWrapper.h"
#include "notewindow/NoteBorders.h"
#include "notewindow/NoteConfUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/DateTime.h"
#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"
#include "tests/support/Actions.h"
#include "tests/support/NoteWindowSetup.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QWidgetAction>
#include <QWindow>
#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

// Samples a value at every pass of the event loop, which the close
// animation runs once per step.
template <typename Sample>
QList<int> recordSteps(TNoteForm *form, Sample sample)
{
    QList<int> values;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const int value = sample();
        if (values.isEmpty() || values.last() != value)
            values.append(value);
    });
    probe.start();
    form->close();
    probe.stop();
    return values;
}

// A window placed and shown, without a note behind it.
std::unique_ptr<TNoteForm, void (*)(TNoteForm *)> shownForm(const QRect &geometry)
{
    auto *form = new TNoteForm;
    form->setAttribute(Qt::WA_DeleteOnClose, false);
    form->setGeometry(geometry);
    form->show();
    return {form, [](TNoteForm *f) { delete f; }};
}

} // namespace

class TestNoteForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void minimumSizeHolds();
    void stripMovesWindowWithoutWindowManager();
    void bordersResizeWithoutWindowManager_data();
    void bordersResizeWithoutWindowManager();
    void transparencyFollowsActivation();
    void fadeSteps_data();
    void fadeSteps();
    void shrinkKeepsTopLeftAndEndsBelow90();
    void noAnimationWhenShuttingDownOrSwitchedOff();
    void noteMenuItems();
    void altSpaceAndGlyphOpenMenuAndStopAlarm();
    void bodyIsAPictureUntilUsed_data();
    void bodyIsAPictureUntilUsed();
    void updateTimerWaitsForLastChange();
    void stripPixels();

    void linkButtonFollowsLinkedFile();
    void reducedStateMasksToStrip();
    void delayedStoreReadsWindowAndSavesWithSafeSave();
    void closeGlyphHidesAndSavesOnce();
    void windowManagerCloseGoesThroughCloseCommand();
    void closeCommandSurvivesFailingSave();
    void onTopKeepsPlace();
    void windowSystemPlacesCountOnlyAfterUserMove();
    void customizeOpensPropertiesAndSaves();
    void propertiesEnterChecksTimeFirst();
    void propertiesFailingSaveStillRestores();
    void closeForHidesUntilLater();
    void deleteNoteAsksThenCloses();

private:
    TNoteWrapper *newNote();

    QTemporaryDir m_dir;
    std::unique_ptr<TNotesManager> m_manager;
};

void TestNoteForm::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    setProgramFolder(m_dir.path());
    InitUserFolder();
}

void TestNoteForm::init()
{
    resetNoteWindowWorld(QStringLiteral("Arial"), 9);
    m_manager = std::make_unique<TNotesManager>();
}

void TestNoteForm::cleanup()
{
    setPromptHook({});
    if (m_manager)
        m_manager->CloseAll();
    m_manager.reset();
    flushDeletes();
    Clock::useSystemTime();
}

TNoteWrapper *TestNoteForm::newNote()
{
    TNoteWrapper *wrapper = m_manager->NewNote();
    if (!wrapper->Window)
        return wrapper;
    // As on a desktop, the new note is active before the user reaches its commands.
    if (!activateNote(wrapper->Window))
        qWarning("the new note did not become active");
    // Fixed place and size, stored so that later reads compare with them.
    wrapper->Window->setGeometry(120, 90, 180, 160);
    wrapper->ReadFromWindow();
    return wrapper;
}

void TestNoteForm::layout_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("design") << QSize(157, 150);
    QTest::newRow("tall") << QSize(200, 300);
    QTest::newRow("smallest") << QSize(80, 80);
    QTest::newRow("wide") << QSize(500, 90);
}

void TestNoteForm::layout()
{
    QFETCH(QSize, size);
    auto form = shownForm(QRect(QPoint(50, 50), size));
    const int w = size.width();
    const int h = size.height();
    QCOMPARE(form->TitleOwnerDraw->geometry(), QRect(0, 0, w, 13));
    QCOMPARE(form->LeftBorder->geometry(), QRect(0, 13, 3, h - 16));
    QCOMPARE(form->RightBorder->geometry(), QRect(w - 3, 13, 3, h - 16));
    QCOMPARE(form->BottomBorder->geometry(), QRect(0, h - 3, w, 3));
    QCOMPARE(form->Sizer->geometry(), QRect(w - 3, h - 3, 3, 3));
    QCOMPARE(form->NoteEdit()->geometry(), QRect(3, 13, w - 6, h - 16));
    QCOMPARE(form->NoteMenuButton->geometry(), QRect(1, 1, 11, 11));
    QCOMPARE(form->CloseButton->geometry(), QRect(w - 12, 1, 11, 11));
    QCOMPARE(form->LinkButton->y(), -25);
    QVERIFY(!form->LinkButton->isEnabled());
    // What lies on top takes the clicks.
    QCOMPARE(form->childAt(w - 2, h - 2), form->Sizer);
    QCOMPARE(form->childAt(5, 5), form->NoteMenuButton);
    QCOMPARE(form->childAt(w - 6, 6), form->CloseButton);
    QCOMPARE(form->childAt(w / 2, 6), form->TitleOwnerDraw);
}

void TestNoteForm::minimumSizeHolds()
{
    auto form = shownForm(QRect(50, 50, 157, 150));
    form->resize(20, 30);
    QCOMPARE(form->size(), QSize(80, 80));

    // Dragging the left border far to the right stops at the minimum with
    // the right edge in place.
    form->setGeometry(50, 50, 157, 150);
    const int right = form->geometry().right();
    QTest::mousePress(form->LeftBorder, Qt::LeftButton, {}, QPoint(1, 40));
    QTest::mouseMove(form->LeftBorder, QPoint(201, 40));
    QTest::mouseRelease(form->LeftBorder, Qt::LeftButton, {}, QPoint(201, 40));
    QCOMPARE(form->width(), 80);
    QCOMPARE(form->geometry().right(), right);
}

void TestNoteForm::windowSystemPlacesCountOnlyAfterUserMove()
{
    Settings.SafeSave = false;
    TNoteWrapper *wrapper = newNote();
    TNoteForm *form = wrapper->Window;
    // The window system puts the window elsewhere on its own, as a desktop
    // that places new windows itself does when they open.
    form->windowHandle()->setPosition(64, 64);
    QTRY_COMPARE(form->pos(), QPoint(64, 64));
    wrapper->ReadFromWindow();
    QCOMPARE(QPoint(wrapper->Note->Left, wrapper->Note->Top), QPoint(120, 90));

    // Once the user drags the strip, the places the window system reports are
    // the user's: here the window manager's move loop.
    QTest::mousePress(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(40, 6));
    QTest::mouseMove(form->TitleOwnerDraw, QPoint(41, 6));
    QTest::mouseRelease(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(41, 6));
    form->windowHandle()->setPosition(300, 200);
    QTRY_COMPARE(form->pos(), QPoint(300, 200));
    TRIGGER_ACTION(form, "关闭便笺");
    TNoteClass stored(wrapper->NoteID);
    QCOMPARE(stored.LoadFromFile(wrapper->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(QPoint(stored.Left, stored.Top), QPoint(300, 200));
    QCOMPARE(QSize(stored.Width, stored.Height), QSize(180, 160));
}

void TestNoteForm::stripMovesWindowWithoutWindowManager()
{
    auto form = shownForm(QRect(100, 100, 157, 150));
    form->Allarme->start();
    QTest::mousePress(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(40, 6));
    QVERIFY(!form->Allarme->isActive());
    QTest::mouseMove(form->TitleOwnerDraw, QPoint(60, 16));
    QCOMPARE(form->pos(), QPoint(120, 110));
    // The strip moved with the window: (35, 1) is now the screen point
    // (155, 111), 15 and 5 pixels from where the press was.
    QTest::mouseMove(form->TitleOwnerDraw, QPoint(35, 1));
    QCOMPARE(form->pos(), QPoint(115, 105));
    QTest::mouseRelease(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(35, 1));
    QCOMPARE(form->size(), QSize(157, 150));

    // After the release the window no longer follows.
    QMouseEvent stray(QEvent::MouseMove, QPointF(80, 8), form->TitleOwnerDraw->mapToGlobal(QPointF(80, 8)),
                      Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->TitleOwnerDraw, &stray);
    QCOMPARE(form->pos(), QPoint(115, 105));
    QVERIFY(form->UpdateTimer->isActive());
}

void TestNoteForm::bordersResizeWithoutWindowManager_data()
{
    QTest::addColumn<QString>("border");
    QTest::addColumn<QPoint>("drag");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("left") << "LeftBorder" << QPoint(-20, 15) << QRect(80, 100, 177, 150);
    QTest::newRow("right") << "RightBorder" << QPoint(30, 15) << QRect(100, 100, 187, 150);
    QTest::newRow("bottom") << "BottomBorder" << QPoint(15, 25) << QRect(100, 100, 157, 175);
    QTest::newRow("sizer") << "Sizer" << QPoint(30, -100) << QRect(100, 100, 187, 80);
}

void TestNoteForm::bordersResizeWithoutWindowManager()
{
    QFETCH(QString, border);
    QFETCH(QPoint, drag);
    QFETCH(QRect, expected);
    auto form = shownForm(QRect(100, 100, 157, 150));
    auto *grip = form->findChild<QWidget *>(border);
    QVERIFY(grip);
    const QPoint start(1, 1);
    QTest::mousePress(grip, Qt::LeftButton, {}, start);
    // The grip moves with the window, so aim at the screen point.
    const QPoint target = grip->mapToGlobal(start) + drag;
    QTest::mouseMove(grip, grip->mapFromGlobal(target));
    QTest::mouseRelease(grip, Qt::LeftButton, {}, grip->mapFromGlobal(target));
    QCOMPARE(form->geometry(), expected);
}

void TestNoteForm::transparencyFollowsActivation()
{
    Settings.NoteTransparency = true;
    auto first = shownForm(QRect(10, 10, 157, 150));
    auto second = shownForm(QRect(300, 10, 157, 150));
    first->SetAlphaBlend(true, TNoteForm::kInactiveAlpha);
    second->SetAlphaBlend(true, TNoteForm::kInactiveAlpha);

    first->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(first.get()));
    QCOMPARE(first->windowOpacity(), 225 / 255.0);
    second->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(second.get()));
    QCOMPARE(first->windowOpacity(), 200 / 255.0);
    QCOMPARE(second->windowOpacity(), 225 / 255.0);

    // Without the setting, activation leaves the window opaque.
    Settings.NoteTransparency = false;
    first->SetAlphaBlend(false, TNoteForm::kInactiveAlpha);
    first->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(first.get()));
    QCOMPARE(first->windowOpacity(), 1.0);
    QCOMPARE(first->AlphaBlendValue(), 200);
}

void TestNoteForm::fadeSteps_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("last");
    QTest::newRow("active") << 225 << 15;
    QTest::newRow("inactive") << 200 << 10;
}

void TestNoteForm::fadeSteps()
{
    QFETCH(int, start);
    QFETCH(int, last);
    Settings.NoteAnimations = true;
    auto *form = new TNoteForm;
    form->show();
    form->SetAlphaBlend(true, start);
    const QPointer<TNoteForm> watch(form);
    const QList<int> steps = recordSteps(form, [form] { return qRound(form->windowOpacity() * 255); });

    QList<int> expected;
    for (int alpha = start - 10; alpha >= last; alpha -= 10)
        expected.append(alpha);
    QCOMPARE(steps, expected);
    QVERIFY(watch->Closing);
    QVERIFY(!watch->isVisible());
    flushDeletes();
    QVERIFY(watch.isNull());
}

void TestNoteForm::shrinkKeepsTopLeftAndEndsBelow90()
{
    Settings.NoteAnimations = true;
    auto *form = new TNoteForm;
    form->setGeometry(60, 70, 157, 150);
    form->show();
    const QList<int> widths = recordSteps(form, [form] { return form->width(); });
    QCOMPARE(widths, QList<int>({133, 113, 96, 82}));
    QCOMPARE(form->pos(), QPoint(60, 70));
    QCOMPARE(form->height(), 79);
    flushDeletes();
}

void TestNoteForm::noAnimationWhenShuttingDownOrSwitchedOff()
{
    Settings.NoteAnimations = true;
    ShuttingDown = true;
    auto *form = new TNoteForm;
    form->show();
    form->SetAlphaBlend(true, 225);
    QVERIFY(recordSteps(form, [form] { return qRound(form->windowOpacity() * 255); }).isEmpty());
    QCOMPARE(form->AlphaBlendValue(), 225);

    ShuttingDown = false;
    Settings.NoteAnimations = false;
    form = new TNoteForm;
    form->setGeometry(10, 10, 157, 150);
    form->show();
    QVERIFY(recordSteps(form, [form] { return form->width(); }).isEmpty());
    QCOMPARE(form->width(), 157);
    flushDeletes();
}

void TestNoteForm::noteMenuItems()
{
    auto form = shownForm(QRect(10, 10, 157, 150));
    const QList<QAction *> items = form->NoteMenu()->actions();
    QCOMPARE(actionCaptions(items), QStringList({QString(), "-", "总在最上面", "简化", "关闭于", "-", "打印便笺",
                                                 "导出(&E)...", "-", "定制(&M)", "-", "删除便笺(&D)", "关闭便笺(&C)"}));
    QCOMPARE(items.at(0), form->CreationDateMenu());
    QVERIFY(!form->CreationDateMenu()->isEnabled());
    QVERIFY(items.at(2)->isCheckable());
    QVERIFY(items.at(3)->isCheckable());
    QVERIFY(form->ActionList1().PrintNote->isEnabled());
    QVERIFY(form->ActionList1().Customize->isEnabled());
    QCOMPARE(form->ActionList1().Customize->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QCOMPARE(form->ActionList1().DeleteNote->shortcut(), QKeySequence(QStringLiteral("Ctrl+D")));
    QCOMPARE(form->ActionList1().CloseNote->shortcut(), QKeySequence(QStringLiteral("Ctrl+H")));
    QCOMPARE(form->ActionList1().MenuShortCut->shortcut(), QKeySequence(QStringLiteral("Alt+Space")));

    QMenu *closeFor = items.at(4)->menu();
    QVERIFY(closeFor);
    QList<uint> minutes;
    for (const QAction *item : closeFor->actions())
        minutes << item->data().toUInt();
    QCOMPARE(actionCaptions(closeFor->actions()),
             QStringList({"5 分钟", "10 分钟", "15 分钟", "30 分钟", "45 分钟", "1 小时", "2 小时", "直到明天"}));
    QCOMPARE(minutes, QList<uint>({5, 10, 15, 30, 45, 60, 120, 0}));

    const QFontMetrics metrics(form->CreationDateMenu()->defaultWidget()->font());
    QCOMPARE(form->CreationDateMenu()->defaultWidget()->sizeHint().height(), 2 * metrics.height() + 8);
}

void TestNoteForm::altSpaceAndGlyphOpenMenuAndStopAlarm()
{
    auto form = shownForm(QRect(100, 120, 157, 150));
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    form->Allarme->start();
    QTest::keyClick(form.get(), Qt::Key_Space, Qt::AltModifier);
    QVERIFY(form->NoteMenu()->isVisible());
    QCOMPARE(form->NoteMenu()->pos(), QPoint(100, 132));
    QVERIFY(!form->Allarme->isActive());
    form->NoteMenu()->hide();

    form->move(140, 200);
    form->Allarme->start();
    QTest::mouseClick(form->NoteMenuButton, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(form->NoteMenu()->isVisible());
    QCOMPARE(form->NoteMenu()->pos(), QPoint(140, 212));
    QVERIFY(!form->Allarme->isActive());
    form->NoteMenu()->hide();
}

void TestNoteForm::bodyIsAPictureUntilUsed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("how");
    const QString shortText = QStringLiteral("便笺 see www.example.org/a today");
    QString longText;
    for (int line = 0; line < 30; ++line)
        longText += QStringLiteral("第 %1 行 line of a long note\n").arg(line);
    QTest::newRow("short, clicked") << shortText << "click";
    QTest::newRow("longer than the window, clicked") << longText << "click";
    QTest::newRow("short, typed into at once") << shortText << "type";
    QTest::newRow("long, scrolled") << longText << "wheel";
}

// Until a note is used its body is only drawn; the editor that replaces it
// looks the same and takes the press, the key or the wheel that asked for it.
void TestNoteForm::bodyIsAPictureUntilUsed()
{
    QFETCH(QString, text);
    QFETCH(QString, how);
    auto form = shownForm(QRect(100, 120, 180, 160));
    QTextDocument source;
    source.setPlainText(text);
    form->LoadContent(Rtf::write(source));
    form->ApplyNoteColor(0x80FFFF);
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QVERIFY(!form->findChild<NoteEditor *>());
    const QImage picture = form->grab().toImage();

    if (how == QLatin1String("click")) {
        QWidget *body = QApplication::widgetAt(form->mapToGlobal(QPoint(40, 40)));
        QVERIFY(body && body != form.get());
        // On the second line: the cursor goes there, not to the end.
        const QPoint at(20, 4 + QFontMetrics(form->Document()->defaultFont()).lineSpacing() * 3 / 2);
        QTest::mouseClick(body, Qt::LeftButton, {}, at);
        QVERIFY(form->findChild<NoteEditor *>());
        const int clicked = form->NoteEdit()->cursorForPosition(at).position();
        QVERIFY(clicked > 0 && clicked < text.size());
        QCOMPARE(form->NoteEdit()->textCursor().position(), clicked);
        QVERIFY(form->NoteEdit()->hasFocus());
    } else if (how == QLatin1String("type")) {
        // Active but untouched, it shows no cursor: nothing blinks.
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QVERIFY(!form->findChild<NoteEditor *>());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("!"));
        QCOMPARE(form->Document()->toPlainText(), text + QLatin1Char('!'));
    } else {
        QWidget *body = QApplication::widgetAt(form->mapToGlobal(QPoint(40, 40)));
        QWheelEvent wheel(QPointF(40, 40), form->mapToGlobal(QPointF(40, 40)), {}, QPoint(0, -120), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(body, &wheel);
        QVERIFY(form->NoteEdit()->verticalScrollBar()->value() > 0);
        return;
    }
    if (how == QLatin1String("click")) {
        // Inactive, the editor shows no cursor: the same picture as before.
        form->NoteEdit()->clearFocus();
        QCOMPARE(form->grab().toImage(), picture);
    }
}

void TestNoteForm::updateTimerWaitsForLastChange()
{
    auto form = shownForm(QRect(10, 10, 157, 150));
    QCOMPARE(form->UpdateTimer->interval(), 1000);
    QSignalSpy fired(form->UpdateTimer, &QTimer::timeout);

    const auto restartedBy = [&](const std::function<void()> &change) {
        form->UpdateTimer->stop();
        change();
        return form->UpdateTimer->isActive();
    };
    QVERIFY(restartedBy([&] { form->resize(170, 150); }));
    QVERIFY(restartedBy([&] { form->move(30, 40); }));
    QVERIFY(restartedBy([&] { QTest::keyClicks(form->NoteEdit(), QStringLiteral("abc")); }));
    QVERIFY(restartedBy([&] { QTest::mouseRelease(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(30, 5)); }));
    QCOMPARE(fired.count(), 0);

    // While the program starts, the store waits and the timer keeps running.
    Starting = true;
    form->UpdateTimerTimer();
    QVERIFY(form->UpdateTimer->isActive());
    Starting = false;
    QVERIFY(fired.wait(5000));
    QVERIFY(!form->UpdateTimer->isActive());

    form->Closing = true;
    form->RestartUpdateTimer();
    QVERIFY(!form->UpdateTimer->isActive());
    form->UpdateTimer->start();
    form->UpdateTimerTimer();
    QVERIFY(form->UpdateTimer->isActive());
    form->Closing = false;
}

void TestNoteForm::stripPixels()
{
    Settings.TitleColor = rgbColor(10, 200, 30);
    Settings.NoteColor = rgbColor(250, 240, 100);
    Settings.TitleFont.Color = rgbColor(200, 0, 0);
    auto form = shownForm(QRect(10, 10, 157, 150));
    form->ApplyNoteColor(clNone);
    const QImage picture = form->grab().toImage();
    const int w = form->width();
    QCOMPARE(picture.pixelColor(60, 1), QColor(10, 200, 30));
    QCOMPARE(picture.pixelColor(w - 11, 2), QColor(250, 240, 100));
    QCOMPARE(picture.pixelColor(w - 7, 6), QColor(200, 0, 0));
    QCOMPARE(picture.pixelColor(6, 6), QColor(250, 240, 100));
    QCOMPARE(picture.pixelColor(1, 60), QColor(250, 240, 100));
    QCOMPARE(picture.pixelColor(60, 60), QColor(250, 240, 100));
}

void TestNoteForm::linkButtonFollowsLinkedFile()
{
    TNoteWrapper *wrapper = newNote();
    TNoteForm *form = wrapper->Window;
    QVERIFY(form);
    QCOMPARE(form->Wrapper, wrapper);
    QCOMPARE(form->LinkButton->y(), -25);
    QVERIFY(!form->LinkButton->isEnabled());

    QFile linked(m_dir.filePath(QStringLiteral("linked.txt")));
    QVERIFY(linked.open(QIODevice::WriteOnly));
    linked.close();
    wrapper->Note->LinkedFile = linked.fileName();
    form->FormResize();
    QCOMPARE(form->LinkButton->pos(), QPoint(form->width() - 25, 1));
    QVERIFY(form->LinkButton->isEnabled());

    // Blanks alone are no link.
    wrapper->Note->LinkedFile = QStringLiteral("   ");
    form->FormResize();
    QCOMPARE(form->LinkButton->y(), -25);
    QVERIFY(!form->LinkButton->isEnabled());
}

void TestNoteForm::reducedStateMasksToStrip()
{
    TNoteWrapper *wrapper = newNote();
    TNoteForm *form = wrapper->Window;
    QTest::mouseDClick(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(40, 6));
    QTest::mouseRelease(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(40, 6));
    QVERIFY(wrapper->Note->IsReduced());
    QCOMPARE(form->mask(), QRegion(0, 0, 180, 13));
    QCOMPARE(form->size(), QSize(180, 160));
    wrapper->ReadFromWindow();
    QCOMPARE(wrapper->Note->Height, 160);

    form->NoteMenuPopup();
    QVERIFY(form->ActionList1().ReduceToggle->isChecked());

    // Reopening keeps the state; a double-click brings the body back.
    wrapper->RefreshWindow();
    QCOMPARE(form->mask(), QRegion(0, 0, 180, 13));
    QTest::mouseDClick(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(40, 6));
    QTest::mouseRelease(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(40, 6));
    QVERIFY(!wrapper->Note->IsReduced());
    QVERIFY(form->mask().isEmpty());
    QCOMPARE(form->size(), QSize(180, 160));
}

void TestNoteForm::delayedStoreReadsWindowAndSavesWithSafeSave()
{
    Settings.SafeSave = false;
    TNoteWrapper *wrapper = newNote();
    TNoteForm *form = wrapper->Window;
    QTest::mousePress(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(40, 6));
    QTest::mouseMove(form->TitleOwnerDraw, QPoint(70, 26));
    QTest::mouseRelease(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(70, 26));
    QCOMPARE(wrapper->Note->Left, 120);
    QSignalSpy fired(form->UpdateTimer, &QTimer::timeout);
    QVERIFY(fired.wait(5000));
    QCOMPARE(wrapper->Note->Left, 150);
    QCOMPARE(wrapper->Note->Top, 110);
    QVERIFY(!QFile::exists(wrapper->FileName));

    Settings.SafeSave = true;
    QTest::keyClicks(form->NoteEdit(), QStringLiteral("milk"));
    QVERIFY(fired.wait(5000));
    TNoteClass stored(wrapper->NoteID);
    QCOMPARE(stored.LoadFromFile(wrapper->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(Rtf::toPlainText(stored.Content), QStringLiteral("milk"));
    QCOMPARE(stored.Left, 150);
}

void TestNoteForm::closeGlyphHidesAndSavesOnce()
{
    Settings.SafeSave = false;
    TNoteWrapper *wrapper = newNote();
    const QPointer<TNoteForm> form = wrapper->Window.data();
    QTest::keyClicks(form->NoteEdit(), QStringLiteral("keep me"));
    QTest::mouseClick(form->CloseButton, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(wrapper->Window.isNull());
    QVERIFY(wrapper->Note->IsHidden());
    QVERIFY(form->Closing);
    QVERIFY(!form->isVisible());
    TNoteClass stored(wrapper->NoteID);
    QCOMPARE(stored.LoadFromFile(wrapper->FileName), TNoteClass::LoadResult::Loaded);
    QVERIFY(stored.IsHidden());
    QCOMPARE(Rtf::toPlainText(stored.Content), QStringLiteral("keep me"));

    // A second click while the window goes does nothing more.
    QVERIFY(!form->ActionList1().CloseFormBut->isEnabled());
    QVERIFY(QFile::remove(wrapper->FileName));
    form->CloseFormButExecute();
    QVERIFY(!QFile::exists(wrapper->FileName));
    flushDeletes();
    QVERIFY(form.isNull());
}

void TestNoteForm::windowManagerCloseGoesThroughCloseCommand()
{
    Settings.SafeSave = false;
    TNoteWrapper *wrapper = newNote();
    const QPointer<TNoteForm> form = wrapper->Window.data();
    QTest::keyClicks(form->NoteEdit(), QStringLiteral("typed"));
    form->move(200, 150);
    QVERIFY(!form->close());
    QTRY_VERIFY(wrapper->Window.isNull());
    QVERIFY(wrapper->Note->IsHidden());
    QCOMPARE(wrapper->Note->Left, 200);
    flushDeletes();
    QVERIFY(form.isNull());
    TNoteClass stored(wrapper->NoteID);
    QCOMPARE(stored.LoadFromFile(wrapper->FileName), TNoteClass::LoadResult::Loaded);
    QVERIFY(stored.IsHidden());
    QCOMPARE(stored.Top, 150);
    QCOMPARE(Rtf::toPlainText(stored.Content), QStringLiteral("typed"));
}

void TestNoteForm::closeCommandSurvivesFailingSave()
{
    TNoteWrapper *wrapper = newNote();
    const QPointer<TNoteForm> form = wrapper->Window.data();
    // A folder where the note file belongs cannot be replaced by the file.
    QVERIFY(QDir().mkpath(wrapper->FileName));
    QStringList errors;
    setPromptHook([&](const PromptRequest &request) -> PromptReply {
        errors << request.text;
        throw std::runtime_error("prompt failed");
    });
    TRIGGER_ACTION(form.data(), "关闭便笺");
    QCOMPARE(errors.size(), 1);
    // Once detached, the window goes: nothing would read it any more.
    QVERIFY(wrapper->Window.isNull());
    QVERIFY(wrapper->Note->IsHidden());
    QVERIFY(form->Closing);
    flushDeletes();
    QVERIFY(form.isNull());
    QVERIFY(QDir(wrapper->FileName).removeRecursively());
}

void TestNoteForm::onTopKeepsPlace()
{
    TNoteWrapper *wrapper = newNote();
    TNoteForm *form = wrapper->Window;
    form->move(210, 130);
    TRIGGER_ACTION(form, "总在最上面");
    QVERIFY(wrapper->Note->IsOnTop());
    QCOMPARE(wrapper->Window.data(), form);
    QVERIFY(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(form->isVisible());
    QCOMPARE(form->pos(), QPoint(210, 130));
    form->NoteMenuPopup();
    QVERIFY(form->ActionList1().ONTop->isChecked());

    TRIGGER_ACTION(form, "总在最上面");
    QVERIFY(!wrapper->Note->IsOnTop());
    QVERIFY(!form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(form->isVisible());
    QCOMPARE(form->pos(), QPoint(210, 130));
}

void TestNoteForm::customizeOpensPropertiesAndSaves()
{
    Settings.SafeSave = false;
    TNoteWrapper *wrapper = newNote();
    TNoteForm *form = wrapper->Window;
    form->move(230, 140);
    QTest::keyClicks(form->NoteEdit(), QStringLiteral("props"));
    QString caption;
    QTimer::singleShot(0, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            caption = dialog->windowTitle();
            dialog->reject();
        }
    });
    TRIGGER_ACTION(form, "定制");
    QCOMPARE(caption, QStringLiteral("便笺选项"));
    QCOMPARE(wrapper->Window.data(), form);
    QCOMPARE(wrapper->Note->Left, 230);
    TNoteClass stored(wrapper->NoteID);
    QCOMPARE(stored.LoadFromFile(wrapper->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(stored.Top, 140);
    QCOMPARE(Rtf::toPlainText(stored.Content), QStringLiteral("props"));
}

void TestNoteForm::propertiesEnterChecksTimeFirst()
{
    TNoteWrapper *wrapper = newNote();
    QStringList messages;
    setPromptHook([&](const PromptRequest &request) {
        messages << request.text;
        return PromptReply{true, QString()};
    });
    bool okRightOfCancel = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<TNoteConf *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QTimer::singleShot(5000, dialog, &QDialog::reject);
        QPushButton *ok = nullptr;
        QPushButton *cancel = nullptr;
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->text() == QStringLiteral("确定"))
                ok = button;
            else if (button->text() == QStringLiteral("取消"))
                cancel = button;
        }
        QVERIFY(ok && cancel);
        okRightOfCancel = ok->mapTo(dialog, QPoint()).x() > cancel->mapTo(dialog, QPoint()).x();

        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        // Leaving a time field for another control resets it at once.
        dialog->Pages->setCurrentIndex(2);
        dialog->AutoShowCB->setChecked(true);
        dialog->AutoShowTimeEdit->setFocus();
        dialog->AutoShowTimeEdit->selectAll();
        QTest::keyClicks(dialog->AutoShowTimeEdit, QStringLiteral("2500"));
        QTest::keyClick(dialog->AutoShowTimeEdit, Qt::Key_Tab);
        QVERIFY(!dialog->AutoShowCB->isChecked());
        QCOMPARE(dialog->AutoShowTimeEdit->text(), QStringLiteral("00:00"));

        // Enter on a time field closes the dialog; the take-back tells why
        // the alarm is off.
        dialog->Pages->setCurrentIndex(3);
        dialog->CKAlarm->setChecked(true);
        dialog->TimeInfo->setFocus();
        dialog->TimeInfo->selectAll();
        QTest::keyClicks(dialog->TimeInfo, QStringLiteral("2500"));
        QCOMPARE(dialog->TimeInfo->text(), QStringLiteral("25:00"));
        QTest::keyClick(dialog->TimeInfo, Qt::Key_Return);
    });
    TRIGGER_ACTION(wrapper->Window.data(), "定制");
    QVERIFY(okRightOfCancel);
    QCOMPARE(messages, QStringList{QStringLiteral("Allarm time is previous than current time, allarm disabled!")});
    QVERIFY(!wrapper->Note->AlarmSet);
}

void TestNoteForm::propertiesFailingSaveStillRestores()
{
    TNoteWrapper *wrapper = newNote();
    // A folder where the note file belongs cannot be replaced by the file,
    // and the report of that fails in turn.
    QVERIFY(QDir().mkpath(wrapper->FileName));
    setPromptHook([](const PromptRequest &) -> PromptReply { throw std::runtime_error("prompt failed"); });
    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    ShellReady = true;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, EditNoteProperties(wrapper, -1, -1));
    QVERIFY(ShellReady);
    QVERIFY(QDir(wrapper->FileName).removeRecursively());
}

void TestNoteForm::closeForHidesUntilLater()
{
    TNoteWrapper *wrapper = newNote();
    QPointer<TNoteForm> form = wrapper->Window.data();
    QTest::keyClicks(form->NoteEdit(), QStringLiteral("later"));
    TRIGGER_ACTION(form->Closefor1(), "5 分钟");
    QVERIFY(wrapper->Window.isNull());
    QVERIFY(wrapper->Note->IsHidden());
    QCOMPARE(wrapper->Note->AutoShowState, 1);
    QCOMPARE(wrapper->Note->AutoShowTime, Now() + 5 / 1440.0);
    TNoteClass stored(wrapper->NoteID);
    QCOMPARE(stored.LoadFromFile(wrapper->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(Rtf::toPlainText(stored.Content), QStringLiteral("later"));
    flushDeletes();
    QVERIFY(form.isNull());

    wrapper->ShowNote();
    form = wrapper->Window.data();
    QVERIFY(form);
    QCOMPARE(form->NoteEdit()->toPlainText(), QStringLiteral("later"));
    TRIGGER_ACTION(form->Closefor1(), "直到明天");
    QCOMPARE(wrapper->Note->AutoShowTime, dateOf(Now()) + 1);
    QVERIFY(wrapper->Window.isNull());
}

void TestNoteForm::deleteNoteAsksThenCloses()
{
    m_manager.reset();
    CreateNoteEngine();
    Settings.NoteAnimations = false;
    TNoteWrapper *wrapper = NoteEngine->Manager->NewNote();
    wrapper->Save();
    const QString file = wrapper->FileName;
    const QPointer<TNoteForm> form = wrapper->Window.data();
    QVERIFY(activateNote(form));

    QStringList asked;
    bool answer = false;
    setPromptHook([&](const PromptRequest &request) {
        asked << request.text;
        return PromptReply{answer, QString()};
    });
    TRIGGER_ACTION(form.data(), "删除便笺");
    QCOMPARE(asked.size(), 1);
    QVERIFY(form && form->isVisible());
    QVERIFY(QFile::exists(file));

    answer = true;
    TRIGGER_ACTION(form.data(), "删除便笺");
    QCOMPARE(asked.size(), 2);
    QVERIFY(!QFile::exists(file));
    QCOMPARE(NoteEngine->Manager->Notes.Count(), 0);
    flushDeletes();
    QVERIFY(form.isNull());

    setPromptHook({});
    DestroyNoteEngine();
}

QTEST_MAIN(TestNoteForm)
#include "tst_noteform.moc"
