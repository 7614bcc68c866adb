// The throw hook of the stack tracer. This file must hold no throw expression
// and include nothing that does: GCC declares __cxa_throw itself wherever it
// compiles one and then refuses the definition below.

#include <dlfcn.h>

#include <cstdlib>

namespace StackTracer {
void recordThrow() noexcept;
}

namespace {

using ThrowFunction = void (*)(void *, void *, void (*)(void *));

ThrowFunction realThrow()
{
    static const auto function = reinterpret_cast<ThrowFunction>(dlsym(RTLD_NEXT, "__cxa_throw"));
    return function;
}

} // namespace

// Defined in the executable, this one comes before the C++ runtime's in the
// symbol lookup, so every throw of the process passes here first.
extern "C" [[noreturn]] void __cxa_throw(void *thrown, void *type, void (*destroy)(void *))
{
    StackTracer::recordThrow();
    if (const ThrowFunction function = realThrow())
        function(thrown, type, destroy);
    std::abort();
}
