// The floor of the toolkit: what Qt alone costs on this X server for the
// windows a note program shows. Opens COUNT frameless tool windows, each
// nothing but one QTextEdit, placed and sized as the benchmark's notes are,
// and idles until it is killed. With --texts it shows the notes' texts as
// plain text, read from the content-* files bench_notegen writes for xpad
// (the same characters, so the same fonts, as the note programs show);
// otherwise a few words of Latin text. desktop_bench.py starts it through
// bench_startup in turns with Brisquel and xpad, so that their figures can be
// given as ratios to this one.
// With --caret each editor takes the keyboard focus, so that the active
// window shows a blinking text cursor, as a note's body does; without it no
// editor has the focus and the program does nothing at all while it idles.
//
//   bench_floor [--count N] [--texts XPAD_CONFIG_DIR] [--caret]

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QTextEdit>

#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser options;
    options.addOption({QStringLiteral("count"), QStringLiteral("Windows to open (100)."), QStringLiteral("N"),
                       QStringLiteral("100")});
    options.addOption({QStringLiteral("texts"), QStringLiteral("Folder of content-* files to show."),
                       QStringLiteral("DIR")});
    options.addOption({QStringLiteral("caret"), QStringLiteral("Give each editor the keyboard focus.")});
    options.addHelpOption();
    options.process(app);
    bool ok = false;
    const int count = options.value(QStringLiteral("count")).toInt(&ok);
    if (!ok || count < 1) {
        std::fprintf(stderr, "bench_floor: --count must be a positive number\n");
        return 2;
    }

    QStringList texts;
    if (options.isSet(QStringLiteral("texts"))) {
        const QDir folder(options.value(QStringLiteral("texts")));
        const QStringList names = folder.entryList({QStringLiteral("content-*")}, QDir::Files, QDir::Name);
        for (const QString &name : names) {
            QFile file(folder.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                texts.append(QString::fromUtf8(file.readAll()));
        }
    }

    // Where the benchmark's notes sit on its 1024 x 768 screen, and their size.
    constexpr int kWidth = 200;
    constexpr int kHeight = 180;
    std::vector<std::unique_ptr<QTextEdit>> windows;
    windows.reserve(size_t(count));
    for (int index = 0; index < count; ++index) {
        auto window = std::make_unique<QTextEdit>();
        window->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
        window->setWindowTitle(QStringLiteral("Floor"));
        window->setPlainText(index < texts.size() ? texts.at(index)
                                                  : QStringLiteral("Note %1\nA few words to show.").arg(index));
        window->setGeometry(10 + (index * 53) % (1024 - kWidth - 20), 30 + (index * 37) % (768 - kHeight - 40),
                            kWidth, kHeight);
        window->show();
        if (options.isSet(QStringLiteral("caret")))
            window->setFocus();
        windows.push_back(std::move(window));
    }
    return app.exec();
}
