// libFuzzer entry for the reader of to-do projects (.tdl). Built with
// -DBRISQUEL_FUZZ=ON under clang; scripts/fuzz.sh builds and runs it.

#include "fuzz/FuzzEntry.h"
#include "fuzz/ReaderChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzEntry::run(data, size, ReaderChecks::todo);
}
