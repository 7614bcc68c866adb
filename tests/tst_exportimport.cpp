#include "app/BrisquelEngineUnit.h"
#include "app/BrisquelMessages.h"
#include "app/InternalProcs.h"
#include "app/RegistryUnit.h"
#include "dialogs/frmNotesManagerForm.h"
#include "notes/NoteManagerUnit.h"
#include "notewindow/NoteFormUnit.h"
#include "platform/CodePage.h"
#include "platform/RegistryStore.h"
#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"
#include "tests/support/Actions.h"
#include "tests/support/FileHelpers.h"
#include "tests/support/FontRecords.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTreeWidget>
#include <QtTest>

#include <functional>

namespace {

// Runs `answer` on the file dialog as soon as it is the active modal window;
// gives up after five seconds, so that a dialog that never came up fails.
void onFileDialog(std::function<void(QFileDialog *)> answer)
{
    auto *poll = new QTimer;
    auto *deadline = new QElapsedTimer;
    deadline->start();
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, answer] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog && deadline->elapsed() < 5000)
            return;
        poll->stop();
        poll->deleteLater();
        delete deadline;
        if (dialog)
            answer(dialog);
    });
    poll->start(1);
}

// Chooses `files` (in `folder`) in a file dialog, with the filter given.
std::function<void(QFileDialog *)> choose(const QString &folder, const QStringList &files,
                                          const QString &filter = {})
{
    return [folder, files, filter](QFileDialog *dialog) {
        if (!filter.isEmpty())
            dialog->selectNameFilter(filter);
        dialog->setDirectory(folder);
        QStringList quoted;
        for (const QString &file : files)
            quoted << u'"' + file + u'"';
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
            ->setText(files.size() == 1 ? files.constFirst() : quoted.join(u' '));
        static_cast<QDialog *>(dialog)->accept();
    };
}

// A body with every format a note carries, Chinese text in each run.
QByteArray formattedBody()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    const auto run = [&cursor](const QString &text, const std::function<void(QTextCharFormat &)> &style) {
        QTextCharFormat format;
        format.setFontFamilies({QStringLiteral("DejaVu Sans")});
        format.setFontPointSize(10);
        style(format);
        cursor.insertText(text, format);
        cursor.insertText(QStringLiteral(" "), QTextCharFormat());
    };
    run(QStringLiteral("粗体"), [](QTextCharFormat &f) { f.setFontWeight(QFont::Bold); });
    run(QStringLiteral("斜体"), [](QTextCharFormat &f) { f.setFontItalic(true); });
    run(QStringLiteral("下划线"), [](QTextCharFormat &f) { f.setFontUnderline(true); });
    run(QStringLiteral("删除线"), [](QTextCharFormat &f) { f.setFontStrikeOut(true); });
    cursor.insertBlock();
    run(QStringLiteral("红色"), [](QTextCharFormat &f) { f.setForeground(QColor(255, 0, 0)); });
    run(QStringLiteral("大字"), [](QTextCharFormat &f) {
        f.setFontFamilies({QStringLiteral("DejaVu Serif")});
        f.setFontPointSize(20);
    });
    return Rtf::write(document);
}

// Text and formats of a body, one line per run.
QStringList runsOf(const QByteArray &rtf)
{
    QTextDocument document;
    Rtf::readInto(document, rtf);
    QStringList runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (it.fragment().text().trimmed().isEmpty())
                continue;
            runs << QStringLiteral("%1 %2 %3pt %4%5%6%7 %8")
                        .arg(it.fragment().text(), f.fontFamilies().toStringList().value(0))
                        .arg(f.fontPointSize())
                        .arg(QChar(f.fontWeight() >= QFont::Bold ? u'B' : u'-'))
                        .arg(QChar(f.fontItalic() ? u'I' : u'-'))
                        .arg(QChar(f.fontUnderline() ? u'U' : u'-'))
                        .arg(QChar(f.fontStrikeOut() ? u'S' : u'-'))
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
    void initTestCase();
    void init();
    void cleanup();

    void exportFromNoteMenu_data();
    void exportFromNoteMenu();
    void exportNeverReplacesUnasked();
    void roundTripThroughRtf();
    void importKeepsGoingPastBrokenFile();
    void dropOntoNotesManager();

private:
    TNoteWrapper *writeAndOpen(const QString &title, const QByteArray &body);
    QList<TNoteWrapper *> notesTitled(const QString &title) const;
    void select(TNoteWrapper *wrapper);

    QTemporaryDir *m_dir = nullptr;
    QTemporaryDir *m_files = nullptr;
    QList<PromptRequest> m_prompts;
    bool m_confirm = true;
};

void TestExportImport::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestExportImport::init()
{
    m_dir = new QTemporaryDir();
    m_files = new QTemporaryDir();
    QVERIFY(m_dir->isValid() && m_files->isValid());
    QFile::remove(TRegistry::storeFileName());
    setProgramFolder(m_dir->path());
    InitUserFolder();
    Starting = false;
    ShuttingDown = false;
    Settings.NoteAnimations = false;
    m_prompts.clear();
    m_confirm = true;
    setPromptHook([this](const PromptRequest &request) {
        m_prompts.append(request);
        return PromptReply{m_confirm, request.defaultText};
    });
    CreateNoteEngine();
    // Not one of the engine's defaults, so that taking it is seen.
    Settings.NoteFont = fontRecord(QStringLiteral("DejaVu Sans Mono"), 11, 0, 0x00800000);
}

void TestExportImport::cleanup()
{
    if (NotesManagerForm)
        NotesManagerForm->close();
    DestroyNoteEngine();
    QTest::qWait(10);
    setPromptHook({});
    delete m_files;
    delete m_dir;
}

TNoteWrapper *TestExportImport::writeAndOpen(const QString &title, const QByteArray &body)
{
    TNoteWrapper *wrapper = NoteEngine->Manager->NewNote();
    wrapper->Note->Title = title;
    wrapper->Note->Content = body;
    wrapper->RefreshWindow();
    return wrapper;
}

QList<TNoteWrapper *> TestExportImport::notesTitled(const QString &title) const
{
    QList<TNoteWrapper *> found;
    for (TNoteWrapper *wrapper : NoteEngine->Manager->Notes.snapshot()) {
        if (wrapper->Note->Title == title)
            found << wrapper;
    }
    return found;
}

void TestExportImport::select(TNoteWrapper *wrapper)
{
    QTreeWidget *list = NotesManagerForm->NotesListView;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == wrapper->Note->Title)
            list->setCurrentItem(list->topLevelItem(i));
    }
}

void TestExportImport::exportFromNoteMenu_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("text") << QStringLiteral("纯文本 (*.txt)") << QStringLiteral(".txt")
                          << QStringList{QStringLiteral("粗体 斜体 下划线 删除线 \n红色 大字 ")};
    QTest::newRow("html") << QStringLiteral("网页 (*.html *.htm)") << QStringLiteral(".html")
                          << QStringList{QStringLiteral("charset=\"utf-8\""),
                                         QStringLiteral("font-weight:700;\">粗体"),
                                         QStringLiteral("font-style:italic;\">斜体"),
                                         QStringLiteral("text-decoration: underline;\">下划线"),
                                         QStringLiteral("text-decoration: line-through;\">删除线"),
                                         QStringLiteral("color:#ff0000;\">红色"),
                                         QStringLiteral("font-family:'DejaVu Serif'; font-size:20pt;\">大字")};
    QTest::newRow("markdown") << QStringLiteral("Markdown 文档 (*.md)") << QStringLiteral(".md")
                              << QStringList{QStringLiteral("**粗体**"), QStringLiteral("*斜体*"),
                                             QStringLiteral("~~删除线~~"), QStringLiteral("红色 大字")};
}

void TestExportImport::exportFromNoteMenu()
{
    QFETCH(QString, filter);
    QFETCH(QString, extension);
    QFETCH(QStringList, expected);
    TNoteWrapper *note = writeAndOpen(QStringLiteral("会议/纪要: 周一"), formattedBody());
    TNoteForm *form = note->Window;
    QVERIFY(form);

    QString suggested;
    QStringList filters;
    onFileDialog([&](QFileDialog *dialog) {
        suggested = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        filters = dialog->nameFilters();
        // Typed without an extension: the filter chosen gives it.
        choose(m_files->path(), {QStringLiteral("导出")}, filter)(dialog);
    });
    TRIGGER_ACTION(form->NoteMenu()->actions(), "导出...");
    QCOMPARE(suggested, QStringLiteral("会议_纪要_ 周一.rtf"));
    QCOMPARE(filters.size(), 4);

    const QString exported = QString::fromUtf8(fileBytes(m_files->filePath(QStringLiteral("导出") + extension)));
    for (const QString &part : expected)
        QVERIFY2(exported.contains(part), qPrintable(part + QStringLiteral(" not in:\n") + exported));
    QVERIFY(m_prompts.isEmpty());
}

void TestExportImport::exportNeverReplacesUnasked()
{
    TNoteWrapper *note = writeAndOpen(QStringLiteral("笔记"), formattedBody());
    // What the window shows is exported, also before it was stored.
    note->Window->NoteEdit->setPlainText(QStringLiteral("刚刚输入"));
    const QString target = m_files->filePath(QStringLiteral("笔记.txt"));
    QVERIFY(writeFileBytes(target, "old"));

    m_confirm = false;
    onFileDialog(choose(m_files->path(), {QStringLiteral("笔记.txt")}));
    TRIGGER_ACTION(note->Window->NoteMenu()->actions(), "导出...");
    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.constFirst().kind, PromptKind::Confirmation);
    QVERIFY(m_prompts.constFirst().text.contains(target));
    QCOMPARE(fileBytes(target), QByteArray("old"));

    m_confirm = true;
    onFileDialog(choose(m_files->path(), {QStringLiteral("笔记.txt")}));
    TRIGGER_ACTION(note->Window->NoteMenu()->actions(), "导出...");
    QCOMPARE(m_prompts.size(), 2);
    QCOMPARE(QString::fromUtf8(fileBytes(target)), QStringLiteral("刚刚输入"));
}

void TestExportImport::roundTripThroughRtf()
{
    const QByteArray body = formattedBody();
    TNoteWrapper *note = writeAndOpen(QStringLiteral("周报"), body);
    note->Save();
    const QByteArray stored = note->Note->Content;
    NoteEngine->ShowNotesManager();
    QVERIFY(NotesManagerForm);

    // Only a selected note is exported.
    NotesManagerForm->NotesListView->clearSelection();
    NotesManagerForm->updateActions();
    QVERIFY(!NotesManagerForm->ExportNote->isEnabled());
    select(note);
    onFileDialog(choose(m_files->path(), {QStringLiteral("周报.rtf")}));
    TRIGGER_ACTION(NotesManagerForm, "导出...");
    const QString file = m_files->filePath(QStringLiteral("周报.rtf"));
    QCOMPARE(fileBytes(file), stored);

    onFileDialog(choose(m_files->path(), {QStringLiteral("周报.rtf")}));
    TRIGGER_ACTION(NotesManagerForm, "导入...");
    const QList<TNoteWrapper *> both = notesTitled(QStringLiteral("周报"));
    QCOMPARE(both.size(), 2);
    TNoteWrapper *imported = both.at(1);
    QVERIFY(imported != note);
    QVERIFY(imported->IsShown());
    QCOMPARE(runsOf(imported->Note->Content), runsOf(body));
    QCOMPARE(runsOf(imported->Window->SaveContent()), runsOf(body));
    QCOMPARE(runsOf(body).size(), 6);
    QVERIFY(m_prompts.isEmpty());
}

void TestExportImport::importKeepsGoingPastBrokenFile()
{
    const auto put = [this](const QString &name, const QByteArray &bytes) {
        QVERIFY(writeFileBytes(m_files->filePath(name), bytes));
    };
    put(QStringLiteral("utf8.txt"), QStringLiteral("UTF-8 的文本\n第二行").toUtf8());
    put(QStringLiteral("gbk.txt"), CodePage::toCp936(QStringLiteral("代码页 936 的文本")));
    put(QStringLiteral("坏的.rtf"), "this is no rich text");
    put(QStringLiteral("中文标题.md"), QStringLiteral("**重要** 事项").toUtf8());
    put(QStringLiteral("page.html"), QStringLiteral("<p><i>网页</i></p>").toUtf8());
    NoteEngine->ShowNotesManager();
    const int before = NoteEngine->Manager->Notes.Count();

    onFileDialog(choose(m_files->path(), {QStringLiteral("utf8.txt"), QStringLiteral("gbk.txt"),
                                          QStringLiteral("坏的.rtf"), QStringLiteral("中文标题.md"),
                                          QStringLiteral("page.html")}));
    TRIGGER_ACTION(NotesManagerForm, "导入...");

    QCOMPARE(m_prompts.size(), 1);
    QCOMPARE(m_prompts.constFirst().kind, PromptKind::Error);
    QVERIFY(m_prompts.constFirst().text.contains(m_files->filePath(QStringLiteral("坏的.rtf"))));
    QCOMPARE(NoteEngine->Manager->Notes.Count(), before + 4);

    const auto textOf = [this](const QString &title) {
        const QList<TNoteWrapper *> found = notesTitled(title);
        return found.size() == 1 ? Rtf::toPlainText(found.constFirst()->Note->Content) : QString();
    };
    QCOMPARE(textOf(QStringLiteral("utf8")), QStringLiteral("UTF-8 的文本\r\n第二行"));
    QCOMPARE(textOf(QStringLiteral("gbk")), QStringLiteral("代码页 936 的文本"));
    QCOMPARE(textOf(QStringLiteral("中文标题")), QStringLiteral("重要 事项"));
    QCOMPARE(textOf(QStringLiteral("page")), QStringLiteral("网页"));

    // Formats of the file survive; plain text is in the new notes' font.
    TNoteWrapper *markdown = notesTitled(QStringLiteral("中文标题")).constFirst();
    QVERIFY(runsOf(markdown->Note->Content).constFirst().startsWith(QStringLiteral("重要")));
    QVERIFY(runsOf(markdown->Note->Content).constFirst().contains(QStringLiteral(" B---")));
    QVERIFY(runsOf(notesTitled(QStringLiteral("page")).constFirst()->Note->Content)
                .constFirst()
                .contains(QStringLiteral(" -I--")));
    QCOMPARE(runsOf(notesTitled(QStringLiteral("gbk")).constFirst()->Note->Content),
             QStringList{QStringLiteral("代码页 936 的文本 DejaVu Sans Mono 11pt ---- #000080")});

    // Each is a note of its own, stored at once and listed.
    for (const QString &title : {QStringLiteral("utf8"), QStringLiteral("gbk"), QStringLiteral("中文标题")}) {
        TNoteWrapper *wrapper = notesTitled(title).constFirst();
        TNoteClass stored(wrapper->NoteID);
        QCOMPARE(stored.LoadFromFile(wrapper->FileName), TNoteClass::LoadResult::Loaded);
        QCOMPARE(stored.Title, title);
    }
    QCOMPARE(NotesManagerForm->NotesListView->topLevelItemCount(), before + 4);
}

void TestExportImport::dropOntoNotesManager()
{
    QVERIFY(writeFileBytes(m_files->filePath(QStringLiteral("清单.txt")), "milk\neggs"));
    QVERIFY(writeFileBytes(m_files->filePath(QStringLiteral("photo.png")), "\x89PNG"));
    NoteEngine->ShowNotesManager();
    const int before = NoteEngine->Manager->Notes.Count();

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(m_files->filePath(QStringLiteral("photo.png"))),
                  QUrl::fromLocalFile(m_files->filePath(QStringLiteral("清单.txt")))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(NotesManagerForm, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(NotesManagerForm, &drop);

    QCOMPARE(m_prompts.size(), 1);
    QVERIFY(m_prompts.constFirst().text.contains(QStringLiteral("photo.png")));
    QCOMPARE(NoteEngine->Manager->Notes.Count(), before + 1);
    QCOMPARE(notesTitled(QStringLiteral("清单")).size(), 1);
}

QTEST_MAIN(TestExportImport)
#include "tst_exportimport.moc"
