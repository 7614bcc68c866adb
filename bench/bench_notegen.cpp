// Writes the notes of one start-up benchmark: N notes of which V open at
// start, for Brisquel (its program folder) and for xpad (its configuration
// folder), from the same texts.
//
//   bench_notegen --count N --visible V [--brisquel PROGRAM_DIR] [--xpad CONFIG_DIR]

#include "bench/BenchNotes.h"

#include <QCommandLineParser>
#include <QGuiApplication>

#include <cstdio>
#include <exception>

int main(int argc, char **argv)
{
    BenchNotes::prepareProcess();
    QGuiApplication app(argc, argv);

    QCommandLineParser options;
    options.addOption({QStringLiteral("count"), QStringLiteral("Notes in all."), QStringLiteral("N")});
    options.addOption({QStringLiteral("visible"), QStringLiteral("Notes open at start."), QStringLiteral("V")});
    options.addOption({QStringLiteral("brisquel"), QStringLiteral("Brisquel's program folder."), QStringLiteral("DIR")});
    options.addOption({QStringLiteral("xpad"), QStringLiteral("xpad's configuration folder."), QStringLiteral("DIR")});
    options.addHelpOption();
    options.process(app);

    bool countOk = false;
    bool visibleOk = false;
    const int count = options.value(QStringLiteral("count")).toInt(&countOk);
    const int visible = options.value(QStringLiteral("visible")).toInt(&visibleOk);
    if (!countOk || !visibleOk || count < 0 || visible < 0 || visible > count) {
        std::fprintf(stderr, "bench_notegen: --count and --visible must be numbers, visible <= count\n");
        return 2;
    }
    try {
        if (options.isSet(QStringLiteral("brisquel"))) {
            const QString folder = BenchNotes::writeBrisquelNotes(options.value(QStringLiteral("brisquel")), count,
                                                                  visible);
            std::printf("%s\n", qPrintable(folder));
        }
        if (options.isSet(QStringLiteral("xpad")))
            BenchNotes::writeXpadNotes(options.value(QStringLiteral("xpad")), count, visible);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_notegen: %s\n", error.what());
        return 1;
    }
    return 0;
}
