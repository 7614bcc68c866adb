// libFuzzer entry for the note-body RTF reader; not part of the default build.
// Build by hand from the repository root, for example:
//   clang++ -std=c++20 -fsanitize=fuzzer,address -I. fuzz/fuzz_rtf.cpp platform/Rtf*.cpp
//       platform/CodePage.cpp $(pkg-config --cflags --libs Qt6Gui) -o fuzz_rtf
// then run ./fuzz_rtf tests/data/rtf (the corpus there makes good seeds).

#include "platform/RtfReader.h"
#include "platform/RtfWriter.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>

namespace {

// Documents and fonts need a GUI application; one serves every input.
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz_rtf";
    static char *argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(argc, argv);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ensureApplication();
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString plain = Rtf::toPlainText(input);
    QTextDocument document;
    Rtf::readInto(document, input);
    const QByteArray written = Rtf::write(document);
    // Both readers and our own output must agree on the text.
    if (Rtf::toPlainText(written) != plain)
        __builtin_trap();
    return 0;
}
