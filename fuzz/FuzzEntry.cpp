#include "fuzz/FuzzEntry.h"

#include "fuzz/ReaderChecks.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <sanitizer/allocator_interface.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace FuzzEntry {

namespace {

// What a reader may take in one allocation: a few times the input (text
// decoded to UTF-16, a copy while parsing) and a fixed part for the
// toolkit's own tables. A length field trusted from the input shows up far
// above this.
constexpr size_t kBytesPerInputByte = 8;
constexpr size_t kFixedBytes = 256 * 1024;

std::atomic<bool> metering{false};
std::atomic<size_t> largest{0};

void onMalloc(const volatile void *, size_t size)
{
    if (!metering.load(std::memory_order_relaxed))
        return;
    size_t seen = largest.load(std::memory_order_relaxed);
    while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
}

void onFree(const volatile void *)
{
}

void prepare()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    static int argc = 1;
    static char name[] = "brisquel_fuzz";
    static char *argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "minimal");
    static QGuiApplication application(argc, argv);
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/brisquel-fuzz-XXXXXX"));
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot make a folder for the readers' files\n");
        std::abort();
    }
    ReaderChecks::prepare(folder.path());
    // The toolkit's one-time set-up (code page tables, fonts) happens here,
    // outside the measured calls.
    for (const Check warmUp :
         {ReaderChecks::note, ReaderChecks::rtf, ReaderChecks::todo, ReaderChecks::registry})
        warmUp(QByteArrayView("{\\rtf1 \\'b1\\'e3 x}\r\n[main]\r\nfileinfo=1\r\n"));
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
}

} // namespace

int run(const uint8_t *data, size_t size, Check check)
{
    prepare();
    largest = 0;
    metering = true;
    const QString problem = check(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    metering = false;
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "reader check failed: %s\n", qPrintable(problem));
        std::abort();
    }
    const size_t allowed = kBytesPerInputByte * size + kFixedBytes;
    if (largest > allowed) {
        std::fprintf(stderr, "one allocation of %zu bytes for an input of %zu bytes (at most %zu allowed)\n",
                     largest.load(), size, allowed);
        std::abort();
    }
    return 0;
}

} // namespace FuzzEntry
