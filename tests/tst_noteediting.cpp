#include "app/BrisquelEngineUnit.h"
#include "app/InternalProcs.h"
#include "app/MainFormUnit.h"
#include "app/RegistryUnit.h"
#include "dialogs/ColorPicker.h"
#include "dialogs/FontColorDialog.h"
#include "notes/NoteManagerUnit.h"
#include "notes/NoteWrapper.h"
#include "notewindow/CloseForLabelItem.h"
#include "notewindow/LinkHighlighter.h"
#include "notewindow/NoteBorders.h"
#include "notewindow/NoteFormUnit.h"
#include "notewindow/NotePrinting.h"
#include "platform/DateTime.h"
#include "platform/RtfReader.h"
#include "resources/BrisquelResources.h"
#include "tests/support/Actions.h"
#include "tests/support/NoteWindowSetup.h"
#include "tests/support/PdfText.h"
#include "tests/support/UrlRecorder.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFontDialog>
#include <QMenu>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QWidgetAction>
#include <QtTest>

#include <memory>

namespace {

// The four styles of one character of the body, as bits 1, 2, 4, 8.
int stylesAt(const QTextEdit &editor, int position)
{
    QTextCursor cursor(editor.document());
    cursor.setPosition(position + 1);
    const QTextCharFormat format = cursor.charFormat();
    return (format.fontWeight() >= QFont::DemiBold ? 1 : 0) | (format.fontItalic() ? 2 : 0)
        | (format.fontUnderline() ? 4 : 0) | (format.fontStrikeOut() ? 8 : 0);
}

QTextCharFormat formatAt(const QTextEdit &editor, int position)
{
    QTextCursor cursor(editor.document());
    cursor.setPosition(position + 1);
    return cursor.charFormat();
}

QTextCharFormat styleFormat(int styles)
{
    QTextCharFormat format;
    format.setFontWeight(styles & 1 ? QFont::Bold : QFont::Normal);
    format.setFontItalic(styles & 2);
    format.setFontUnderline(styles & 4);
    format.setFontStrikeOut(styles & 8);
    return format;
}

void select(QTextEdit &editor, int from, int to)
{
    QTextCursor cursor(editor.document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
}

void formatRange(QTextEdit &editor, int from, int to, const QTextCharFormat &format)
{
    QTextCursor cursor(editor.document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(format);
}

// A point of the viewport on the character at a position.
QPoint pointOnCharacter(const QTextEdit &editor, int position)
{
    QTextCursor cursor(editor.document());
    cursor.setPosition(position);
    const QRect edge = editor.cursorRect(cursor);
    return QPoint(edge.x() + 2, edge.center().y());
}

void sendDrop(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    const QPointF at(20, 20);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

bool havePoppler()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

// The top-left corner of the first word of a page that starts with a
// prefix, in points.
QPointF wordPlace(const QString &pdf, int page, const QString &prefix)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                                                QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
    process.waitForFinished(-1);
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" yMax=\"[\\d.]+\">([^<]*)</word>"));
    const QString words = QString::fromUtf8(process.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
    for (const QRegularExpressionMatch &match : word.globalMatch(words)) {
        if (match.captured(3).startsWith(prefix))
            return QPointF(match.captured(1).toDouble(), match.captured(2).toDouble());
    }
    return QPointF(-1, -1);
}


QStringList nonEmptyLines(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    return lines;
}

} // namespace

class TestNoteEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void styleToggleKeepsOtherStyles_data();
    void styleToggleKeepsOtherStyles();
    void plainKeepsFaceSizeAndColour();
    void shortcutsFormatTheSelection();
    void fontDialogShowsAndSetsSelectionFont();
    void editMenuItems();
    void editMenuChecksAndPasteRule();
    void rightClickOpensEditMenuAtCursor();
    void pasteInsertsPlainTextExceptFromNotes();
    void tabInsertsTab();
    void undoKeepsNewestThousandSteps();

    void webLinksFound_data();
    void webLinksFound();
    void linkMarksAreNeverStored();
    void linkClicksOpenOnlyWithLeftButton();

    void dropLinksFirstFileOnly();
    void linkButtonOpensExistingFileOnly();

    void alarmFiresOnce();
    void alarmStops_data();
    void alarmStops();
    void alarmTickShakesAndReturns();
    void ringingAlarmLetsEditsBeStored();

    void closeForMenuOnCloseGlyph();
    void closeForLabelDrawsCentred();
    void closeForSurvivesRestart();
    void tillTomorrow_data();
    void tillTomorrow();

    void printsHeaderTitleAndWrappedBody();
    void longNoteContinuesOnNextPage();
    void emptyNotePrintsHeaderOnly();
    void printCommandGoesThroughDialog();

private:
    TNoteWrapper *newNote(const QString &text = QString());
    QString pdfPath(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    std::unique_ptr<TNotesManager> m_manager;
    UrlRecorder m_recorder;
};

void TestNoteEditing::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
    setProgramFolder(m_dir.path());
    InitUserFolder();
}

void TestNoteEditing::init()
{
    resetNoteWindowWorld(QStringLiteral("DejaVu Sans"), 10);
    Settings.SafeSave = false;
    m_manager = std::make_unique<TNotesManager>();
}

void TestNoteEditing::cleanup()
{
    for (const char *scheme : {"http", "https", "file", "mailto"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    m_recorder.urls.clear();
    QApplication::clipboard()->clear();
    if (m_manager)
        m_manager->CloseAll();
    m_manager.reset();
    flushDeletes();
    Clock::useSystemTime();
}

TNoteWrapper *TestNoteEditing::newNote(const QString &text)
{
    TNoteWrapper *wrapper = m_manager->NewNote();
    // As on a desktop, the new note is active before the user reaches its commands.
    if (!activateNote(wrapper->Window))
        qWarning("the new note did not become active");
    wrapper->Window->setGeometry(120, 90, 220, 180);
    if (!text.isEmpty())
        wrapper->Window->NoteEdit()->setPlainText(text);
    wrapper->ReadFromWindow();
    return wrapper;
}

void TestNoteEditing::styleToggleKeepsOtherStyles_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("bold off, rest kept") << "粗体" << 15 << 14;
    QTest::newRow("bold on") << "粗体" << 6 << 7;
    QTest::newRow("italic on alone") << "斜体" << 0 << 2;
    QTest::newRow("italic off") << "斜体" << 11 << 9;
    QTest::newRow("underline on beside bold") << "下划线" << 1 << 5;
    QTest::newRow("underline off") << "下划线" << 13 << 9;
    QTest::newRow("strike-out on") << "删除线" << 7 << 15;
    QTest::newRow("strike-out off") << "删除线" << 12 << 4;
}

void TestNoteEditing::styleToggleKeepsOtherStyles()
{
    QFETCH(QString, action);
    QFETCH(int, before);
    QFETCH(int, after);
    TNoteForm *form = newNote(QStringLiteral("alpha beta gamma"))->Window;
    NoteEditor &edit = *form->NoteEdit();
    formatRange(edit, 6, 10, styleFormat(before));
    select(edit, 6, 10);
    TRIGGER_ACTION(form, action);
    for (int position = 6; position < 10; ++position)
        QCOMPARE(stylesAt(edit, position), after);
    QCOMPARE(stylesAt(edit, 2), 0);
    QCOMPARE(stylesAt(edit, 12), 0);

    // The styles reach the stored rich text.
    QTextDocument stored;
    Rtf::readInto(stored, form->SaveContent());
    QTextCursor cursor(&stored);
    cursor.setPosition(8);
    const QTextCharFormat read = cursor.charFormat();
    QCOMPARE((read.fontWeight() >= QFont::DemiBold ? 1 : 0) | (read.fontItalic() ? 2 : 0)
                 | (read.fontUnderline() ? 4 : 0) | (read.fontStrikeOut() ? 8 : 0),
             after);

    // Toggling again brings the selection back.
    TRIGGER_ACTION(form, action);
    QCOMPARE(stylesAt(edit, 7), before);
}

void TestNoteEditing::plainKeepsFaceSizeAndColour()
{
    TNoteForm *form = newNote(QStringLiteral("serif mono"))->Window;
    NoteEditor &edit = *form->NoteEdit();
    QTextCharFormat serif = styleFormat(15);
    serif.setFontFamilies(QStringList{QStringLiteral("DejaVu Serif")});
    serif.setFontPointSize(14);
    serif.setForeground(QColor(200, 10, 20));
    formatRange(edit, 0, 5, serif);
    QTextCharFormat mono = styleFormat(5);
    mono.setFontFamilies(QStringList{QStringLiteral("DejaVu Sans Mono")});
    mono.setFontPointSize(8);
    mono.setForeground(QColor(0, 0, 180));
    formatRange(edit, 6, 10, mono);

    // One selection over two runs: each keeps its own face, size and colour.
    select(edit, 0, 10);
    TRIGGER_ACTION(form, "无格式");
    for (int position : {0, 4, 6, 9})
        QCOMPARE(stylesAt(edit, position), 0);
    QCOMPARE(formatAt(edit, 2).fontFamilies().toStringList(), QStringList{QStringLiteral("DejaVu Serif")});
    QCOMPARE(formatAt(edit, 2).fontPointSize(), 14.0);
    QCOMPARE(formatAt(edit, 2).foreground().color(), QColor(200, 10, 20));
    QCOMPARE(formatAt(edit, 8).fontFamilies().toStringList(), QStringList{QStringLiteral("DejaVu Sans Mono")});
    QCOMPARE(formatAt(edit, 8).fontPointSize(), 8.0);
    QCOMPARE(formatAt(edit, 8).foreground().color(), QColor(0, 0, 180));
}

void TestNoteEditing::shortcutsFormatTheSelection()
{
    TNoteWrapper *wrapper = newNote(QStringLiteral("one two three"));
    TNoteForm *form = wrapper->Window;
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
    form->NoteEdit()->setFocus();
    select(*form->NoteEdit(), 4, 7);
    QTest::keyClick(form->NoteEdit(), Qt::Key_B, Qt::ControlModifier);
    QCOMPARE(stylesAt(*form->NoteEdit(), 5), 1);
    // Ctrl+S is strike-out, not save: nothing is written.
    QTest::keyClick(form->NoteEdit(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(stylesAt(*form->NoteEdit(), 5), 9);
    QVERIFY(!QFile::exists(wrapper->FileName));
    QTest::keyClick(form->NoteEdit(), Qt::Key_I, Qt::ControlModifier);
    QTest::keyClick(form->NoteEdit(), Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(stylesAt(*form->NoteEdit(), 5), 15);
    // Ctrl+P is plain, not print: no dialog comes up.
    QTest::keyClick(form->NoteEdit(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(stylesAt(*form->NoteEdit(), 5), 0);
    QCOMPARE(form->NoteEdit()->toPlainText(), QStringLiteral("one two three"));
}

void TestNoteEditing::fontDialogShowsAndSetsSelectionFont()
{
    TNoteForm *form = newNote(QStringLiteral("pick a font"))->Window;
    QTextCharFormat start;
    start.setFontPointSize(11);
    start.setForeground(QColor(0, 128, 0));
    formatRange(*form->NoteEdit(), 0, 4, start);
    select(*form->NoteEdit(), 0, 4);

    TColor shownColour = clNone;
    int shownSize = 0;
    QFont chosen(QStringLiteral("DejaVu Serif"));
    chosen.setPointSize(16);
    chosen.setItalic(true);
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<FontColorDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        shownColour = dialog->ColorChooser->color();
        shownSize = dialog->FontChooser->currentFont().pointSize();
        dialog->FontChooser->setCurrentFont(chosen);
        dialog->ColorChooser->setColor(rgbColor(10, 20, 200));
        dialog->accept();
    });
    TRIGGER_ACTION(form, "字体");
    QCOMPARE(shownColour, rgbColor(0, 128, 0));
    QCOMPARE(shownSize, 11);
    const QTextCharFormat set = formatAt(*form->NoteEdit(), 1);
    QCOMPARE(set.fontFamilies().toStringList().value(0), QStringLiteral("DejaVu Serif"));
    QCOMPARE(set.fontPointSize(), 16.0);
    QVERIFY(set.fontItalic());
    QCOMPARE(set.foreground().color(), QColor(10, 20, 200));
    QCOMPARE(formatAt(*form->NoteEdit(), 6).fontPointSize(), formatAt(*form->NoteEdit(), 8).fontPointSize());
    QVERIFY(formatAt(*form->NoteEdit(), 6).fontFamilies().toStringList().value(0) != QStringLiteral("DejaVu Serif"));

    // Cancelling changes nothing, and no dialog is left behind.
    select(*form->NoteEdit(), 5, 6);
    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    TRIGGER_ACTION(form, "字体");
    QVERIFY(!formatAt(*form->NoteEdit(), 5).fontItalic());
    QVERIFY(form->findChildren<FontColorDialog *>().isEmpty());
}

void TestNoteEditing::editMenuItems()
{
    TNoteForm *form = newNote()->Window;
    QCOMPARE(actionCaptions(form->EditMenu()->actions()),
             QStringList({"撤销(&U)", "-", "剪切(&C)", "复制(&C)", "粘贴(&P)", "删除(&D)", "全选(&A)", "-", "字体(&F)",
                          "风格(&S)"}));
    QCOMPARE(actionCaptions(form->Style1()->actions()),
             QStringList({"无格式(&P)", "-", "粗体(&B)", "斜体(&I)", "下划线(&U)", "删除线(&S)"}));
    QCOMPARE(form->EditMenu()->actions().last()->menu(), form->Style1());

    const QList<std::pair<QAction *, QString>> shortcuts = {
        {form->ActionList1().Undo, "Ctrl+Z"},  {form->ActionList1().Cut, "Ctrl+X"},    {form->ActionList1().Copy, "Ctrl+C"},      {form->ActionList1().Paste, "Ctrl+V"},
        {form->ActionList1().Delete, ""},      {form->ActionList1().SelectAll, "Ctrl+A"}, {form->ActionList1().Font, "Ctrl+F"},   {form->ActionList1().Pain, "Ctrl+P"},
        {form->ActionList1().Bold, "Ctrl+B"},  {form->ActionList1().Italic, "Ctrl+I"}, {form->ActionList1().Underline, "Ctrl+U"}, {form->ActionList1().Strikeout, "Ctrl+S"},
    };
    for (const auto &[action, keys] : shortcuts) {
        QCOMPARE(action->shortcut(), QKeySequence(keys));
        QVERIFY2(!action->icon().isNull(), qPrintable(action->text()));
    }
    for (QAction *styled : {form->ActionList1().Bold, form->ActionList1().Italic, form->ActionList1().Underline, form->ActionList1().Strikeout})
        QVERIFY(styled->isCheckable());
    QVERIFY(!form->Style1()->menuAction()->icon().isNull());

    // The note menu's commands carry their icons too.
    for (QAction *action : {form->ActionList1().Customize, form->ActionList1().DeleteNote, form->ActionList1().CloseNote, form->ActionList1().PrintNote,
                            form->Closefor1()->menuAction()})
        QVERIFY2(!action->icon().isNull(), qPrintable(action->text()));
    QVERIFY(form->ActionList1().PrintNote->isEnabled());
}

void TestNoteEditing::editMenuChecksAndPasteRule()
{
    TNoteForm *form = newNote(QStringLiteral("styled plain"))->Window;
    formatRange(*form->NoteEdit(), 0, 6, styleFormat(1 | 4));
    select(*form->NoteEdit(), 0, 6);
    form->EditMenuPopup();
    QVERIFY(form->ActionList1().Bold->isChecked());
    QVERIFY(!form->ActionList1().Italic->isChecked());
    QVERIFY(form->ActionList1().Underline->isChecked());
    QVERIFY(!form->ActionList1().Strikeout->isChecked());

    select(*form->NoteEdit(), 7, 12);
    form->EditMenuPopup();
    QVERIFY(!form->ActionList1().Bold->isChecked());
    QVERIFY(!form->ActionList1().Underline->isChecked());

    // Paste is offered only while the clipboard holds text.
    QApplication::clipboard()->clear();
    form->EditMenuPopup();
    QVERIFY(!form->ActionList1().Paste->isEnabled());
    auto *picture = new QMimeData;
    picture->setImageData(QImage(4, 4, QImage::Format_RGB32));
    QApplication::clipboard()->setMimeData(picture);
    form->EditMenuPopup();
    QVERIFY(!form->ActionList1().Paste->isEnabled());
    QApplication::clipboard()->setText(QStringLiteral("words"));
    form->EditMenuPopup();
    QVERIFY(form->ActionList1().Paste->isEnabled());

    // Undo follows the editor.
    TNoteForm *fresh = newNote()->Window;
    fresh->EditMenuPopup();
    QVERIFY(!fresh->ActionList1().Undo->isEnabled());
    QTest::keyClicks(fresh->NoteEdit(), QStringLiteral("xy"));
    fresh->EditMenuPopup();
    TRIGGER_ACTION(fresh, "撤销");
    QCOMPARE(fresh->NoteEdit()->toPlainText(), QString());
}

void TestNoteEditing::rightClickOpensEditMenuAtCursor()
{
    TNoteForm *form = newNote(QStringLiteral("menu here"))->Window;
    QWidget *body = form->NoteEdit()->viewport();
    QTest::mouseClick(body, Qt::RightButton, {}, QPoint(30, 20));
    QVERIFY(form->EditMenu()->isVisible());
    QCOMPARE(form->EditMenu()->pos(), body->mapToGlobal(QPoint(30, 20)));
    form->EditMenu()->hide();

    // The left button opens nothing.
    QTest::mouseClick(body, Qt::LeftButton, {}, QPoint(30, 20));
    QVERIFY(!form->EditMenu()->isVisible());
}

void TestNoteEditing::pasteInsertsPlainTextExceptFromNotes()
{
    TNoteForm *form = newNote()->Window;
    auto *rich = new QMimeData;
    rich->setHtml(QStringLiteral("<b>loud</b><img src=\"x.png\">"));
    rich->setText(QStringLiteral("loud"));
    QApplication::clipboard()->setMimeData(rich);
    TRIGGER_ACTION(form, "粘贴");
    QCOMPARE(form->NoteEdit()->toPlainText(), QStringLiteral("loud"));
    QCOMPARE(stylesAt(*form->NoteEdit(), 1), 0);

    // What one note copies, another pastes with its formatting.
    TNoteForm *source = newNote(QStringLiteral("bold words"))->Window;
    formatRange(*source->NoteEdit(), 0, 4, styleFormat(1));
    select(*source->NoteEdit(), 0, 10);
    TRIGGER_ACTION(source, "复制");
    TNoteForm *target = newNote()->Window;
    TRIGGER_ACTION(target, "粘贴");
    QCOMPARE(target->NoteEdit()->toPlainText(), QStringLiteral("bold words"));
    QCOMPARE(stylesAt(*target->NoteEdit(), 1), 1);
    QCOMPARE(stylesAt(*target->NoteEdit(), 6), 0);

    // Without text on the clipboard nothing happens.
    auto *picture = new QMimeData;
    picture->setImageData(QImage(4, 4, QImage::Format_RGB32));
    QApplication::clipboard()->setMimeData(picture);
    target->ActionList1().Paste->trigger();
    QCOMPARE(target->NoteEdit()->toPlainText(), QStringLiteral("bold words"));
}

void TestNoteEditing::tabInsertsTab()
{
    TNoteForm *form = newNote()->Window;
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
    form->NoteEdit()->setFocus();
    QTest::keyClicks(form->NoteEdit(), QStringLiteral("a"));
    QTest::keyClick(form->NoteEdit(), Qt::Key_Tab);
    QTest::keyClicks(form->NoteEdit(), QStringLiteral("b"));
    QCOMPARE(form->NoteEdit()->toPlainText(), QStringLiteral("a\tb"));
    QVERIFY(form->NoteEdit()->hasFocus());
}

void TestNoteEditing::undoKeepsNewestThousandSteps()
{
    TNoteForm *form = newNote()->Window;
    // Each number and each line break is a step of its own.
    QStringList steps;
    for (int line = 0; line < 530; ++line)
        steps << QString::number(line) << QStringLiteral("\n");
    for (const QString &step : std::as_const(steps)) {
        if (step == QLatin1String("\n"))
            QTest::keyClick(form->NoteEdit(), Qt::Key_Return);
        else
            QTest::keyClicks(form->NoteEdit(), step);
    }
    QCoreApplication::processEvents();
    QCOMPARE(form->NoteEdit()->toPlainText(), steps.join(QString()));

    int undone = 0;
    while (form->ActionList1().Undo->isEnabled() && undone <= steps.size()) {
        form->ActionList1().Undo->trigger();
        ++undone;
    }
    // The newest steps are the ones kept, never more than a thousand.
    QVERIFY2(undone <= 1000 && undone >= 800, qPrintable(QString::number(undone)));
    QCOMPARE(form->NoteEdit()->toPlainText(), steps.mid(0, steps.size() - undone).join(QString()));
}

void TestNoteEditing::webLinksFound_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("links");
    QTest::newRow("http in a sentence") << "see http://example.org/a?b=1. then" << QStringList{"http://example.org/a?b=1"};
    QTest::newRow("www and comma") << "www.example.com, or not" << QStringList{"www.example.com"};
    QTest::newRow("inside Chinese") << "访问www.example.com吧" << QStringList{"www.example.com"};
    QTest::newRow("bracket of its own") << "(http://x.org/a_(b))" << QStringList{"http://x.org/a_(b)"};
    QTest::newRow("two links") << "ftp://f.org and mailto:me@x.org!" << QStringList{"ftp://f.org", "mailto:me@x.org"};
    QTest::newRow("upper case") << "HTTPS://X.ORG" << QStringList{"HTTPS://X.ORG"};
    QTest::newRow("scheme alone") << "http: and www." << QStringList{};
    QTest::newRow("inside a word") << "xhttp://a.b awww.c.d" << QStringList{};
    QTest::newRow("quotes end it") << "\"http://q.org/\"" << QStringList{"http://q.org/"};
}

void TestNoteEditing::webLinksFound()
{
    QFETCH(QString, text);
    QFETCH(QStringList, links);
    const QList<WebLink> found = findWebLinks(text);
    QStringList texts;
    for (const WebLink &link : found) {
        QCOMPARE(text.mid(link.start, link.length), link.text);
        texts << link.text;
    }
    QCOMPARE(texts, links);
}

void TestNoteEditing::linkMarksAreNeverStored()
{
    TNoteWrapper *wrapper = newNote(QStringLiteral("go to http://example.org now"));
    TNoteForm *form = wrapper->Window;
    const QList<QTextEdit::ExtraSelection> marks = form->NoteEdit()->extraSelections();
    QCOMPARE(marks.size(), 1);
    QCOMPARE(marks.first().cursor.selectedText(), QStringLiteral("http://example.org"));
    QVERIFY(marks.first().format.fontUnderline());
    // The document itself has no link format.
    QVERIFY(!formatAt(*form->NoteEdit(), 8).fontUnderline());
    QVERIFY(!formatAt(*form->NoteEdit(), 8).isAnchor());

    const QByteArray rtf = form->SaveContent();
    QVERIFY(!rtf.contains("\\ul"));
    QVERIFY(!rtf.contains("HYPERLINK"));
    QVERIFY(rtf.contains("http://example.org"));

    // Typing keeps the marks up to date, and a loaded note gets them too.
    QTextCursor end(form->NoteEdit()->document());
    end.movePosition(QTextCursor::End);
    form->NoteEdit()->setTextCursor(end);
    QTest::keyClicks(form->NoteEdit(), QStringLiteral(" www.two.org"));
    QCOMPARE(form->NoteEdit()->extraSelections().size(), 2);
    wrapper->ReadFromWindow();
    wrapper->RefreshWindow();
    QCOMPARE(form->WebLinks().links().size(), 2);
    QCOMPARE(form->NoteEdit()->extraSelections().size(), 2);
}

void TestNoteEditing::linkClicksOpenOnlyWithLeftButton()
{
    for (const char *scheme : {"http", "https"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_recorder, "open");
    TNoteForm *form = newNote(QStringLiteral("plain text www.example.com/x end"))->Window;
    QWidget *body = form->NoteEdit()->viewport();
    const QPoint onLink = pointOnCharacter(*form->NoteEdit(), 14);
    const QPoint offLink = pointOnCharacter(*form->NoteEdit(), 2);
    QVERIFY(form->WebLinks().linkAt(onLink));
    QVERIFY(!form->WebLinks().linkAt(offLink));

    QTest::mouseClick(body, Qt::RightButton, {}, onLink);
    QVERIFY(m_recorder.urls.isEmpty());
    QVERIFY(form->EditMenu()->isVisible());
    form->EditMenu()->hide();

    QTest::mouseClick(body, Qt::LeftButton, {}, offLink);
    QVERIFY(m_recorder.urls.isEmpty());

    QTest::mouseClick(body, Qt::LeftButton, {}, onLink);
    QCOMPARE(m_recorder.urls, QList<QUrl>{QUrl(QStringLiteral("http://www.example.com/x"))});

    // A press on the link that is released elsewhere is no click.
    QTest::mousePress(body, Qt::LeftButton, {}, onLink);
    QTest::mouseRelease(body, Qt::LeftButton, {}, offLink);
    QCOMPARE(m_recorder.urls.size(), 1);
}

void TestNoteEditing::dropLinksFirstFileOnly()
{
    TNoteWrapper *wrapper = newNote();
    TNoteForm *form = wrapper->Window;
    QTest::keyClicks(form->NoteEdit(), QStringLiteral("typed before"));
    QList<QUrl> files;
    for (const char *name : {"first.txt", "second.txt", "third.txt"}) {
        QFile file(m_dir.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        files << QUrl::fromLocalFile(file.fileName());
    }

    sendDrop(form->NoteEdit()->viewport(), files);
    QCOMPARE(wrapper->Note->LinkedFile, files.first().toLocalFile());
    QCOMPARE(Rtf::toPlainText(wrapper->Note->Content), QStringLiteral("typed before"));
    QCOMPARE(form->NoteEdit()->toPlainText(), QStringLiteral("typed before"));
    // The refresh shows the link glyph's button, and the store follows.
    QCOMPARE(form->LinkButton->pos(), QPoint(form->width() - 25, 1));
    QVERIFY(form->LinkButton->isEnabled());
    QVERIFY(form->UpdateTimer->isActive());

    // A folder, or a folder first, leaves the link as it is.
    const QUrl folder = QUrl::fromLocalFile(m_dir.path());
    sendDrop(form, {folder});
    sendDrop(form->NoteEdit()->viewport(), {folder, files.at(1)});
    QCOMPARE(wrapper->Note->LinkedFile, files.first().toLocalFile());

    sendDrop(form, {files.at(2)});
    QCOMPARE(wrapper->Note->LinkedFile, files.at(2).toLocalFile());
    QCOMPARE(form->NoteEdit()->toPlainText(), QStringLiteral("typed before"));
}

void TestNoteEditing::linkButtonOpensExistingFileOnly()
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_recorder, "open");
    TNoteWrapper *wrapper = newNote();
    TNoteForm *form = wrapper->Window;
    QFile file(m_dir.filePath(QStringLiteral("attached.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    wrapper->Note->LinkedFile = file.fileName();
    wrapper->RefreshWindow();
    QTest::mouseClick(form->LinkButton, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(m_recorder.urls, QList<QUrl>{QUrl::fromLocalFile(file.fileName())});

    QVERIFY(file.remove());
    QTest::mouseClick(form->LinkButton, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(m_recorder.urls.size(), 1);
}

void TestNoteEditing::alarmFiresOnce()
{
    TNoteWrapper *wrapper = newNote(QStringLiteral("ring"));
    wrapper->Note->AlarmSet = true;
    wrapper->Note->AlarmTime = Now() + 1 / 1440.0;
    m_manager->CheckTimers();
    QVERIFY(!wrapper->Window->Allarme->isActive());

    Clock::advance(61 * 1000);
    m_manager->CheckTimers();
    TNoteForm *form = wrapper->Window;
    QVERIFY(form->Allarme->isActive());
    QCOMPARE(form->Allarme->interval(), 1000);
    QVERIFY(!wrapper->Note->AlarmSet);

    // Stopped by a click into the body, it does not come back.
    QTest::mousePress(form->NoteEdit()->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(form->NoteEdit()->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
    QVERIFY(!form->Allarme->isActive());
    Clock::advance(60 * 1000);
    m_manager->CheckTimers();
    QVERIFY(!form->Allarme->isActive());
}

void TestNoteEditing::alarmStops_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("strip press") << "strip";
    QTest::newRow("body press") << "body";
    QTest::newRow("note menu glyph") << "menu";
    QTest::newRow("window surface") << "surface";
}

void TestNoteEditing::alarmStops()
{
    QFETCH(QString, how);
    TNoteForm *form = newNote(QStringLiteral("stop me"))->Window;
    form->Allarme->start();
    if (how == QLatin1String("strip")) {
        QTest::mousePress(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(40, 6));
        QVERIFY(!form->Allarme->isActive());
        QTest::mouseRelease(form->TitleOwnerDraw, Qt::LeftButton, {}, QPoint(40, 6));
    } else if (how == QLatin1String("body")) {
        QTest::mousePress(form->NoteEdit()->viewport(), Qt::RightButton, {}, QPoint(10, 10));
        QVERIFY(!form->Allarme->isActive());
        QTest::mouseRelease(form->NoteEdit()->viewport(), Qt::RightButton, {}, QPoint(10, 10));
        form->EditMenu()->hide();
    } else if (how == QLatin1String("menu")) {
        QTest::mouseClick(form->NoteMenuButton, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(form->NoteMenu()->isVisible());
        form->NoteMenu()->hide();
    } else {
        QTest::mouseClick(form, Qt::LeftButton, {}, QPoint(1, form->height() - 20));
    }
    QVERIFY(!form->Allarme->isActive());
}

void TestNoteEditing::alarmTickShakesAndReturns()
{
    TNoteForm *form = newNote(QStringLiteral("shake"))->Window;
    form->move(300, 200);
    QList<QPoint> places;
    class MoveRecorder final : public QObject
    {
    public:
        MoveRecorder(QWidget *window, QList<QPoint> &places)
            : m_window(window)
            , m_places(places)
        {
        }
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (watched == m_window && event->type() == QEvent::Move)
                m_places.append(m_window->pos());
            return false;
        }

    private:
        QWidget *m_window;
        QList<QPoint> &m_places;
    } recorder(form, places);
    form->installEventFilter(&recorder);

    for (int tick = 0; tick < 3; ++tick) {
        form->AllarmeTimer();
        QCOMPARE(form->pos(), QPoint(300, 200));
    }
    form->removeEventFilter(&recorder);
    QVERIFY(!places.isEmpty());
    QCOMPARE(places.last(), QPoint(300, 200));
    int shaken = 0;
    for (const QPoint &place : std::as_const(places)) {
        const QPoint offset = place - QPoint(300, 200);
        QVERIFY2(offset.x() >= -3 && offset.x() <= 2, qPrintable(QString::number(offset.x())));
        QVERIFY2(offset.y() >= -3 && offset.y() <= 2, qPrintable(QString::number(offset.y())));
        if (!offset.isNull())
            ++shaken;
    }
    // Twelve shakes cannot all stay in place by chance (1 in 36 each).
    QVERIFY(shaken > 0);

    // A closing window neither rings nor shakes.
    places.clear();
    form->installEventFilter(&recorder);
    form->Closing = true;
    form->AllarmeTimer();
    form->Closing = false;
    form->removeEventFilter(&recorder);
    QVERIFY(places.isEmpty());
}

void TestNoteEditing::ringingAlarmLetsEditsBeStored()
{
    Settings.SafeSave = true;
    TNoteWrapper *wrapper = newNote();
    TNoteForm *form = wrapper->Window;
    wrapper->Note->AlarmSet = true;
    wrapper->Note->AlarmTime = Now() - 1 / 1440.0;
    m_manager->CheckTimers();
    QSignalSpy ticks(form->Allarme, &QTimer::timeout);
    QVERIFY(ticks.wait(5000));

    // Typed between two ticks: every later tick shakes the window, and the
    // text still reaches the file while the signal goes on.
    QTest::keyClicks(form->NoteEdit(), QStringLiteral("call back"));
    const auto stored = [&] {
        TNoteClass note(wrapper->NoteID);
        return note.LoadFromFile(wrapper->FileName) == TNoteClass::LoadResult::Loaded ? Rtf::toPlainText(note.Content) : QString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(stored(), QStringLiteral("call back"), 5000);
    QVERIFY(form->Allarme->isActive());
    QVERIFY(ticks.count() > 1);
}

void TestNoteEditing::closeForMenuOnCloseGlyph()
{
    TNoteForm *form = newNote()->Window;
    QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(4, 4), form->CloseButton->mapToGlobal(QPoint(4, 4)));
    QCoreApplication::sendEvent(form->CloseButton, &request);
    QVERIFY(form->CloseForMenu()->isVisible());
    QCOMPARE(form->CloseForMenu()->pos(), form->CloseButton->mapToGlobal(QPoint(4, 4)));
    form->CloseForMenu()->hide();

    const QList<QAction *> items = form->CloseForMenu()->actions();
    QCOMPARE(items.size(), 9);
    QCOMPARE(items.first(), form->CloseForLab1());
    QVERIFY(!form->CloseForLab1()->isEnabled());
    QVERIFY(qobject_cast<CloseForLabelItem *>(form->CloseForLab1()->defaultWidget()));
    QStringList names;
    QStringList captions;
    QList<uint> minutes;
    for (const QAction *item : items.mid(1)) {
        names << item->objectName();
        captions << item->text();
        minutes << item->data().toUInt();
    }
    QCOMPARE(names, QStringList({"N5Minutes2", "N10Minutes2", "N15Minutes2", "N30Minutes2", "N45Minutes2", "N1Hour2",
                                 "N2Hours2", "illtomorrow2"}));
    QCOMPARE(captions, QStringList({"5 分钟", "10 分钟", "15 分钟", "30 分钟", "45 分钟", "1 小时", "2 小时", "直到明天"}));
    QCOMPARE(minutes, QList<uint>({5, 10, 15, 30, 45, 60, 120, 0}));
    QCOMPARE(form->CloseForActions().first()->objectName(), QStringLiteral("N5Minutes1"));
    QVERIFY(!form->Closefor1()->menuAction()->icon().isNull());
}

void TestNoteEditing::closeForLabelDrawsCentred()
{
    CloseForLabelItem label;
    QFont big = label.font();
    big.setPixelSize(20);
    label.setFont(big);
    const QFontMetrics metrics(big);
    QVERIFY(label.sizeHint().width() >= metrics.horizontalAdvance(CloseForLabelItem::caption()));
    QVERIFY(label.sizeHint().height() >= metrics.height());
    label.resize(200, 60);
    QPalette colours = label.palette();
    colours.setColor(QPalette::Window, Qt::white);
    colours.setColor(QPalette::WindowText, Qt::black);
    label.setPalette(colours);

    const QImage picture = label.grab().toImage();
    QRect ink;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (picture.pixelColor(x, y).lightness() < 128)
                ink |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY(!ink.isEmpty());
    // "关闭:" at the left, well short of what "CloseForLab" would take.
    QVERIFY2(ink.left() >= 2 && ink.left() <= 5, qPrintable(QString::number(ink.left())));
    QVERIFY(ink.right() < 2 + metrics.horizontalAdvance(CloseForLabelItem::label()) + 2);
    const int cellTop = (60 - metrics.height()) / 2;
    QVERIFY(ink.top() >= cellTop);
    QVERIFY(ink.bottom() < cellTop + metrics.height());
}

void TestNoteEditing::closeForSurvivesRestart()
{
    TNoteWrapper *wrapper = newNote();
    const QString id = wrapper->NoteID;
    TNoteForm *form = wrapper->Window;
    QTest::keyClicks(form->NoteEdit(), QStringLiteral("see you"));
    form->move(150, 160);
    const QPointer<TNoteForm> closed(form);
    TRIGGER_ACTION(form->CloseForMenu(), "10 分钟");
    QVERIFY(wrapper->Window.isNull());
    flushDeletes();
    QVERIFY(closed.isNull());

    // The program ends and starts again on the same folder.
    m_manager->CloseAll();
    m_manager.reset();
    flushDeletes();
    m_manager = std::make_unique<TNotesManager>();
    QCOMPARE(m_manager->Notes.Count(), 1);
    TNoteWrapper *again = m_manager->Notes.Get(0);
    QCOMPARE(again->NoteID, id);
    QVERIFY(!again->IsShown());
    QCOMPARE(again->Note->AutoShowState, 1);
    QCOMPARE(fromDateTime(again->Note->AutoShowTime), QDateTime(QDate(2024, 3, 5), QTime(10, 10)));

    Clock::setNow(QDateTime(QDate(2024, 3, 5), QTime(10, 10)));
    m_manager->CheckTimers();
    QVERIFY(!again->IsShown());
    Clock::advance(1000);
    m_manager->CheckTimers();
    QVERIFY(again->IsShown());
    QCOMPARE(again->Window->pos(), QPoint(150, 160));
    QCOMPARE(again->Window->NoteEdit()->toPlainText(), QStringLiteral("see you"));
    TNoteClass stored(id);
    QCOMPARE(stored.LoadFromFile(again->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(stored.AutoShowState, 0);
    QVERIFY(!stored.IsHidden());
}

void TestNoteEditing::tillTomorrow_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("until");
    QTest::addColumn<int>("item");
    QTest::newRow("23:59 from the close glyph")
        << QDateTime(QDate(2024, 3, 5), QTime(23, 59)) << QDateTime(QDate(2024, 3, 6), QTime(0, 0)) << 2;
    QTest::newRow("midnight from the note menu")
        << QDateTime(QDate(2024, 3, 5), QTime(0, 0)) << QDateTime(QDate(2024, 3, 6), QTime(0, 0)) << 1;
    QTest::newRow("end of year") << QDateTime(QDate(2024, 12, 31), QTime(18, 30, 5))
                                 << QDateTime(QDate(2025, 1, 1), QTime(0, 0)) << 2;
}

void TestNoteEditing::tillTomorrow()
{
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, until);
    QFETCH(int, item);
    Clock::setNow(now);
    TNoteWrapper *wrapper = newNote();
    QTest::keyClicks(wrapper->Window->NoteEdit(), QStringLiteral("tomorrow"));
    TNoteForm *form = wrapper->Window;
    TRIGGER_ACTION(item == 1 ? form->Closefor1() : form->CloseForMenu(), "直到明天");
    QVERIFY(wrapper->Window.isNull());
    QVERIFY(wrapper->Note->IsHidden());
    QCOMPARE(fromDateTime(wrapper->Note->AutoShowTime), until);
    TNoteClass stored(wrapper->NoteID);
    QCOMPARE(stored.LoadFromFile(wrapper->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(stored.AutoShowState, 1);
    QCOMPARE(Rtf::toPlainText(stored.Content), QStringLiteral("tomorrow"));
}

void TestNoteEditing::printsHeaderTitleAndWrappedBody()
{
    if (!havePoppler())
        QSKIP("pdftotext is not installed");
    TNoteClass note(QStringLiteral("N01"));
    note.Title = QStringLiteral("购物单");
    note.Created = toDateTime(QDateTime(QDate(2024, 3, 5), QTime(9, 30, 15)));
    QStringList words;
    for (int index = 1; index <= 60; ++index)
        words << QStringLiteral("word%1").arg(index, 2, 10, QLatin1Char('0'));
    const QString body = words.join(QLatin1Char(' ')) + QStringLiteral("\nsecond paragraph");

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath(QStringLiteral("note.pdf")));
    PrintNote(printer, note, body);

    QCOMPARE(pdfPages(printer.outputFileName()), 1);
    const QStringList lines = nonEmptyLines(pdfText(printer.outputFileName()));
    QVERIFY2(lines.size() >= 6, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(lines.at(0).simplified(), QStringLiteral("使用 Brisquel 打印: ") + MakerAddress);
    QCOMPARE(lines.at(1).simplified(),
             QStringLiteral("便笺: 购物单 共: ") + dateTimeText(note.Created).simplified());
    QCOMPARE(lines.at(2), QStringLiteral("便笺文本:"));

    // Wrapped at word boundaries, every word whole and in order, over
    // several lines; the second paragraph on a line of its own.
    const QStringList bodyLines = lines.mid(3);
    QVERIFY(bodyLines.size() >= 3);
    QCOMPARE(bodyLines.last(), QStringLiteral("second paragraph"));
    QStringList printedWords;
    for (const QString &line : bodyLines.mid(0, bodyLines.size() - 1))
        printedWords << line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(printedWords, words);
}

void TestNoteEditing::longNoteContinuesOnNextPage()
{
    if (!havePoppler())
        QSKIP("pdftotext is not installed");
    TNoteClass note(QStringLiteral("N02"));
    note.Title = QStringLiteral("long");
    QStringList rows;
    for (int index = 1; index <= 150; ++index)
        rows << QStringLiteral("row%1").arg(index, 3, 10, QLatin1Char('0'));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath(QStringLiteral("long.pdf")));
    PrintNote(printer, note, rows.join(QLatin1Char('\n')));

    const int pages = pdfPages(printer.outputFileName());
    QVERIFY(pages >= 2);
    QStringList printed;
    for (int page = 1; page <= pages; ++page) {
        const QStringList lines = nonEmptyLines(pdfText(printer.outputFileName(), page));
        printed << (page == 1 ? lines.mid(3) : lines);
    }
    // Nothing cut, nothing twice.
    QCOMPARE(printed, rows);

    // The second page starts at the top margin, where the header stood on
    // the first.
    const QString secondPageFirst = nonEmptyLines(pdfText(printer.outputFileName(), 2)).first();
    const double headerTop = wordPlace(printer.outputFileName(), 1, QStringLiteral("Brisquel")).y();
    const double continuedTop = wordPlace(printer.outputFileName(), 2, secondPageFirst).y();
    QVERIFY(headerTop > 0);
    QVERIFY2(qAbs(continuedTop - headerTop) < 2.0, qPrintable(QStringLiteral("%1 %2").arg(headerTop).arg(continuedTop)));
}

void TestNoteEditing::emptyNotePrintsHeaderOnly()
{
    if (!havePoppler())
        QSKIP("pdftotext is not installed");
    TNoteClass note(QStringLiteral("N03"));
    note.Title = QStringLiteral("empty");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfPath(QStringLiteral("empty.pdf")));
    PrintNote(printer, note, QString());
    QCOMPARE(pdfPages(printer.outputFileName()), 1);
    const QStringList lines = nonEmptyLines(pdfText(printer.outputFileName()));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.last(), QStringLiteral("便笺文本:"));
}

void TestNoteEditing::printCommandGoesThroughDialog()
{
    if (!havePoppler())
        QSKIP("pdftotext is not installed");
    // The running program's printer is the tray form's.
    TBrisquelMainForm mainForm;
    BrisquelMainForm = &mainForm;
    const auto release = qScopeGuard([] { ReleaseEngine(false); });
    TNoteWrapper *wrapper = NoteEngine->Manager->NewNote();
    QVERIFY(activateNote(wrapper->Window));
    wrapper->Window->NoteEdit()->setPlainText(QStringLiteral("print me"));
    wrapper->Note->Title = QStringLiteral("printed");
    TNoteForm *form = wrapper->Window;
    formatRange(*form->NoteEdit(), 0, 5, styleFormat(1));
    QPrinter *printer = form->NotePrinter();
    QCOMPARE(printer, mainForm.PrintDialog());
    const QString pdf = pdfPath(QStringLiteral("command.pdf"));
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(pdf);

    bool asked = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
        asked = dialog != nullptr;
        if (dialog)
            dialog->reject();
    });
    TRIGGER_ACTION(form, "打印便笺");
    QVERIFY(asked);
    QVERIFY(!QFile::exists(pdf));

    QTimer::singleShot(0, [&] {
        if (auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget()))
            dialog->accept();
    });
    TRIGGER_ACTION(form, "打印便笺");
    QVERIFY(QFile::exists(printer->outputFileName()));
    const QStringList lines = nonEmptyLines(pdfText(printer->outputFileName()));
    QVERIFY(lines.size() >= 4);
    QVERIFY2(lines.at(1).simplified().startsWith(QStringLiteral("便笺: printed 共: ")), qPrintable(lines.at(1)));
    QCOMPARE(lines.at(3), QStringLiteral("print me"));

    // Margins of 100 device pixels of a fine printer, as the page layout is
    // measured for: 6 points from the printable area's corner at 1200 dpi.
    const QPointF origin = printer->pageLayout().paintRect(QPageLayout::Point).topLeft();
    const QPointF header = wordPlace(pdf, 1, QStringLiteral("使用"));
    QVERIFY2(qAbs(header.x() - origin.x() - 6.0) < 1.0, qPrintable(QString::number(header.x() - origin.x())));
    QVERIFY2(qAbs(header.y() - origin.y() - 6.0) < 3.0, qPrintable(QString::number(header.y() - origin.y())));
}

QTEST_MAIN(TestNoteEditing)
#include "tst_noteediting.moc"
