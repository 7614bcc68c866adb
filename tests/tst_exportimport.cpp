#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "dialogs/frmNotesManagerForm.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/CodePage.h"
#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"
#include "tests/support/Actions.h"
#include "tests/support/NoteWindowSetup.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/FontRecords.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTreeWidget>
#include <QtTest>

namespace {

// Types `typed` (file names, quoted when several) into the file dialog that
// opens next in `folder`, with `filter`, and accepts.
void answerFileDialog(const QString &folder, const QString &typed, const QString &filter = {},
                      QString *suggested = nullptr)
{
    QTimer::singleShot(0, [=] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        if (suggested)
            *suggested = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        if (!filter.isEmpty())
            dialog->selectNameFilter(filter);
        dialog->setDirectory(folder);
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(typed);
        static_cast<QDialog *>(dialog)->accept();
    });
}

// Chooses `folder` in the folder dialog that opens next, then `format` in the
// question after it; `meanwhile` runs between the two.
void answerFolderAndFormat(const QString &folder, const QString &format, const std::function<void()> &meanwhile = {})
{
    QTimer::singleShot(0, [=] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        if (dialog->fileMode() != QFileDialog::Directory) {
            static_cast<QDialog *>(dialog)->reject();
            QFAIL("no folder asked for");
        }
        QTimer::singleShot(0, [=] {
            auto *question = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            QVERIFY(question);
            if (meanwhile)
                meanwhile();
            question->setTextValue(format);
            question->accept();
        });
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(folder);
        static_cast<QDialog *>(dialog)->accept();
    });
}

QByteArray formattedBody()
{
    QTextDocument document;
    document.setHtml(QStringLiteral(
        "<p style=\"font-family:'DejaVu Sans'; font-size:10pt\"><b>粗体</b> <i>斜体</i> <u>下划线</u> <s>删除线</s></p>"
        "<p style=\"font-family:'DejaVu Sans'; font-size:10pt\"><span style=\"color:#ff0000\">红色</span> "
        "<span style=\"font-family:'DejaVu Serif'; font-size:20pt\">大字</span></p>"));
    return Rtf::write(document);
}

// Each run of the body: text, font, size, styles and colour.
QStringList runsOf(const QByteArray &rtf)
{
    QTextDocument document;
    Rtf::readInto(document, rtf);
    QStringList runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            runs << QStringLiteral("%1 %2 %3pt b%4i%5u%6s%7 %8")
                        .arg(it.fragment().text(), f.fontFamilies().toStringList().value(0))
                        .arg(f.fontPointSize())
                        .arg(f.fontWeight() >= QFont::Bold)
                        .arg(f.fontItalic())
                        .arg(f.fontUnderline())
                        .arg(f.fontStrikeOut())
                        .arg(f.foreground().color().name());
        }
    }
    return runs;
}

} // namespace

class TestExportImport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void exportFromNoteMenu_data();
    void exportFromNoteMenu();
    void exportAsksBeforeReplacing();
    void roundTripThroughRtf();
    void exportSeveralIntoFolder();
    void importKeepsGoingPastBrokenFile_data();
    void importKeepsGoingPastBrokenFile();

private:
    TNoteWrapper *openNote(const QString &title, const QByteArray &body);
    TNoteWrapper *titled(const QString &title) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_files;
    QList<PromptRequest> m_prompts;
    bool m_confirm = true;
};

void TestExportImport::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_files = std::make_unique<QTemporaryDir>();
    setProgramFolder(m_dir->path());
    InitUserFolder();
    Starting = false;
    Settings.NoteAnimations = false;
    m_prompts.clear();
    m_confirm = true;
    setPromptHook([this](const PromptRequest &request) {
        m_prompts.append(request);
        return PromptReply{m_confirm, {}};
    });
    CreateNoteEngine();
    // Not one of the engine's defaults, so that taking it is seen.
    Settings.NoteFont = fontRecord(QStringLiteral("DejaVu Sans Mono"), 11, 0, 0x00800000);
}

void TestExportImport::cleanup()
{
    closeNoteEngine();
    setPromptHook({});
}

TNoteWrapper *TestExportImport::openNote(const QString &title, const QByteArray &body)
{
    TNoteWrapper *wrapper = NoteEngine->Manager->NewNote();
    wrapper->Note->Title = title;
    wrapper->Note->Content = body;
    wrapper->RefreshWindow();
    return wrapper;
}

// The last note of the title.
TNoteWrapper *TestExportImport::titled(const QString &title) const
{
    TNoteWrapper *found = nullptr;
    for (TNoteWrapper *wrapper : NoteEngine->Manager->Notes.snapshot())
        found = wrapper->Note->Title == title ? wrapper : found;
    return found;
}

void TestExportImport::exportFromNoteMenu_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("text") << QStringLiteral("纯文本 (*.txt)") << QStringLiteral(".txt")
                          << QStringList{QStringLiteral("粗体 斜体 下划线 删除线\n红色 大字")};
    QTest::newRow("html") << QStringLiteral("网页 (*.html *.htm)") << QStringLiteral(".html")
                          << QStringList{"charset=\"utf-8\"", "font-weight:700;\">粗体", "font-style:italic;\">斜体",
                                         "underline;\">下划线", "line-through;\">删除线", "color:#ff0000;\">红色",
                                         "font-family:'DejaVu Serif'; font-size:20pt;\">大字"};
    QTest::newRow("markdown") << QStringLiteral("Markdown 文档 (*.md)") << QStringLiteral(".md")
                              << QStringList{"**粗体** *斜体*", "~~删除线~~", "红色 大字"};
}

void TestExportImport::exportFromNoteMenu()
{
    QFETCH(QString, filter);
    QFETCH(QString, extension);
    QFETCH(QStringList, expected);
    TNoteWrapper *note = openNote(QStringLiteral("会议/纪要: 周一"), formattedBody());
    QString suggested;
    // Typed without an extension: the filter chosen gives it.
    answerFileDialog(m_files->path(), QStringLiteral("导出"), filter, &suggested);
    TRIGGER_ACTION(note->Window->NoteMenu()->actions(), "导出...");
    QCOMPARE(suggested, QStringLiteral("会议_纪要_ 周一.rtf"));
    const QString exported = QString::fromUtf8(fileBytes(m_files->filePath(QStringLiteral("导出") + extension)));
    for (const QString &part : expected)
        QVERIFY2(exported.contains(part), qPrintable(part + QStringLiteral(" not in:\n") + exported));
}

void TestExportImport::exportAsksBeforeReplacing()
{
    TNoteWrapper *note = openNote(QStringLiteral("笔记"), formattedBody());
    // What the window shows is exported, also before it was stored.
    note->Window->NoteEdit()->setPlainText(QStringLiteral("刚刚输入"));
    const QString target = m_files->filePath(QStringLiteral("笔记.txt"));
    QVERIFY(writeFileBytes(target, "old"));
    for (const bool replace : {false, true}) {
        m_confirm = replace;
        answerFileDialog(m_files->path(), QStringLiteral("笔记.txt"));
        TRIGGER_ACTION(note->Window->NoteMenu()->actions(), "导出...");
        QCOMPARE(m_prompts.size(), replace ? 2 : 1);
        QCOMPARE(m_prompts.last().kind, PromptKind::Confirmation);
        QVERIFY(m_prompts.last().text.contains(target));
        QCOMPARE(fileBytes(target), replace ? QStringLiteral("刚刚输入").toUtf8() : QByteArray("old"));
    }
}

void TestExportImport::roundTripThroughRtf()
{
    TNoteWrapper *note = openNote(QStringLiteral("周报"), formattedBody());
    note->Save();
    NoteEngine->ShowNotesManager();
    QVERIFY(!NotesManagerForm->ExportNote->isEnabled());
    NotesManagerForm->NotesListView->setCurrentItem(
        NotesManagerForm->NotesListView->findItems(QStringLiteral("周报"), Qt::MatchExactly).value(0));
    answerFileDialog(m_files->path(), QStringLiteral("周报.rtf"));
    TRIGGER_ACTION(NotesManagerForm, "导出...");
    QCOMPARE(fileBytes(m_files->filePath(QStringLiteral("周报.rtf"))), note->Note->Content);

    answerFileDialog(m_files->path(), QStringLiteral("周报.rtf"));
    TRIGGER_ACTION(NotesManagerForm, "导入...");
    TNoteWrapper *imported = titled(QStringLiteral("周报"));
    QVERIFY(imported != note && imported->IsShown());
    QCOMPARE(runsOf(imported->Window->SaveContent()), runsOf(note->Note->Content));
    const QStringList runs = runsOf(note->Note->Content);
    QVERIFY(runs.contains(QStringLiteral("删除线 DejaVu Sans 10pt b0i0u0s1 #000000")));
    QVERIFY(runs.contains(QStringLiteral("红色 DejaVu Sans 10pt b0i0u0s0 #ff0000")));
    QVERIFY(runs.contains(QStringLiteral("大字 DejaVu Serif 20pt b0i0u0s0 #000000")));
    QVERIFY(m_prompts.isEmpty());
}

void TestExportImport::exportSeveralIntoFolder()
{
    // A damaged note, as the engine finds it when it starts.
    DestroyNoteEngine();
    QVERIFY(writeFileBytes(NoteFileName(QStringLiteral("N90")), QByteArray("\x03garbage")));
    CreateNoteEngine();
    for (const char *body : {"first", "second"})
        openNote(QStringLiteral("周报"), rtfOf(QString::fromLatin1(body)));
    openNote(QStringLiteral("会议/纪要"), rtfOf(QStringLiteral("minutes")));
    openNote(QStringLiteral("其他"), rtfOf(QStringLiteral("left out")));
    QVERIFY(writeFileBytes(m_files->filePath(QStringLiteral("周报.txt")), "old"));
    NoteEngine->ShowNotesManager();
    QTreeWidget *list = NotesManagerForm->NotesListView;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) != QStringLiteral("其他"))
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              list->visualItemRect(list->topLevelItem(i)).center());
    }
    // Commands for one note act on the current row; the list is rebuilt
    // keeping the selection, and rows the search hides are no part of it.
    QCOMPARE(NotesManagerForm->selectedWrapper(), NotesManagerForm->selectedWrappers().constLast());
    NotesManagerForm->refill(NoteEngine->Manager->Notes.snapshot());
    QCOMPARE(NotesManagerForm->selectedWrappers().size(), 4);
    NotesManagerForm->SearchEdit->setText(QStringLiteral("周报"));
    QCOMPARE(NotesManagerForm->selectedWrappers().size(), 2);
    NotesManagerForm->SearchEdit->clear();

    answerFolderAndFormat(m_files->path(), QStringLiteral("纯文本 (*.txt)"));
    TRIGGER_ACTION(NotesManagerForm, "导出...");
    const QByteArrayList written{fileBytes(m_files->filePath(QStringLiteral("周报.txt"))),
                                 fileBytes(m_files->filePath(QStringLiteral("周报 (2).txt"))),
                                 fileBytes(m_files->filePath(QStringLiteral("周报 (3).txt"))),
                                 fileBytes(m_files->filePath(QStringLiteral("会议_纪要.txt")))};
    QCOMPARE(written, (QByteArrayList{"old", "first", "second", "minutes"}));
    QCOMPARE(QDir(m_files->path()).count(), 2 + 4);
    QCOMPARE(m_prompts.size(), 1);
    QVERIFY(m_prompts.constFirst().kind == PromptKind::Warning && m_prompts.constFirst().text.contains("N90"));

    // The folder goes while the format is asked: each file gets its message.
    QTemporaryDir gone;
    answerFolderAndFormat(gone.path(), QStringLiteral("Markdown 文档 (*.md)"), [&gone] { QVERIFY(gone.remove()); });
    TRIGGER_ACTION(NotesManagerForm, "导出...");
    QStringList errors;
    for (const PromptRequest &prompt : std::as_const(m_prompts).mid(1))
        errors << (prompt.kind == PromptKind::Error ? prompt.text.section(u'/', -1) : prompt.text);
    QCOMPARE(errors, (QStringList{"会议_纪要.md", "周报.md", "周报 (2).md", "损坏的便笺没有导出: N90"}));
}

void TestExportImport::importKeepsGoingPastBrokenFile_data()
{
    QTest::addColumn<bool>("dropped");
    QTest::newRow("chosen by \"导入...\"") << false;
    QTest::newRow("dropped onto the window") << true;
}

void TestExportImport::importKeepsGoingPastBrokenFile()
{
    QFETCH(bool, dropped);
    const QList<std::pair<QString, QByteArray>> files{
        {QStringLiteral("utf8.txt"), QStringLiteral("UTF-8 的文本\n第二行").toUtf8()},
        {QStringLiteral("gbk.txt"), CodePage::toCp936(QStringLiteral("代码页 936 的文本"))},
        {QStringLiteral("坏的.rtf"), "this is no rich text"},
        {QStringLiteral("中文标题.md"), QStringLiteral("**重要** 事项").toUtf8()},
        {QStringLiteral("page.html"), QStringLiteral("<i>网页</i>").toUtf8()}};
    QStringList typed;
    QList<QUrl> urls;
    for (const auto &[name, bytes] : files) {
        QVERIFY(writeFileBytes(m_files->filePath(name), bytes));
        typed << u'"' + name + u'"';
        urls << QUrl::fromLocalFile(m_files->filePath(name));
    }
    NoteEngine->ShowNotesManager();
    if (dropped) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(NotesManagerForm, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(NotesManagerForm, &drop);
    } else {
        answerFileDialog(m_files->path(), typed.join(u' '));
        TRIGGER_ACTION(NotesManagerForm, "导入...");
    }

    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.constFirst().kind, PromptKind::Error);
    QVERIFY(m_prompts.constFirst().text.contains(m_files->filePath(QStringLiteral("坏的.rtf"))));
    QCOMPARE(NotesManagerForm->NotesListView->topLevelItemCount(), 4);
    // Plain text takes the new notes' font; the file's formats survive.
    QCOMPARE(runsOf(titled(QStringLiteral("utf8"))->Note->Content),
             QStringList({"UTF-8 的文本 DejaVu Sans Mono 11pt b0i0u0s0 #000080",
                          "第二行 DejaVu Sans Mono 11pt b0i0u0s0 #000080"}));
    QCOMPARE(Rtf::toPlainText(titled(QStringLiteral("gbk"))->Note->Content), QStringLiteral("代码页 936 的文本"));
    QVERIFY(runsOf(titled(QStringLiteral("page"))->Note->Content)
                .value(0)
                .startsWith(QStringLiteral("网页 DejaVu Sans Mono 11pt b0i1")));
    TNoteWrapper *markdown = titled(QStringLiteral("中文标题"));
    QVERIFY(runsOf(markdown->Note->Content).value(0).startsWith(QStringLiteral("重要 DejaVu Sans Mono 11pt b1i0")));
    // Stored at once.
    TNoteClass stored(markdown->NoteID);
    QCOMPARE(stored.LoadFromFile(markdown->FileName), TNoteClass::LoadResult::Loaded);
    QCOMPARE(stored.Title, QStringLiteral("中文标题"));
}

QTEST_MAIN(TestExportImport)
#include "tst_exportimport.moc"
