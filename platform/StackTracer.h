#pragma once

#include <QDateTime>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>

struct backtrace_state;

// Call stacks captured where C++ exceptions are thrown. Every throw of the
// process passes through a hook of __cxa_throw that records the raising
// thread's stack with a time stamp; each thread keeps its latest list. The
// frames are named only when a report asks for them.
namespace StackTracer {

inline constexpr int kMaxFrames = 128;

// The latest list recorded on the calling thread.
struct StackList
{
    QDateTime generated;
    QList<quintptr> frames; // program counters, innermost first
};

std::optional<StackList> threadStackList();
void clearThreadStackList();

// Called by the throw hook only; records the calling thread's stack.
void recordThrow() noexcept;

// The address range of one loaded module and its file name, in plain
// storage so that a signal handler can read it.
struct ModuleRange
{
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    char name[96] = {};
};

// Fills at most `capacity` ranges from the modules loaded now and returns
// how many were filled. Not for signal handlers.
int snapshotModules(ModuleRange *ranges, int capacity);

// The shared libbacktrace state, created on first use.
backtrace_state *backtraceState();

// Receives one rendered frame line (not terminated).
using LineSink = void (*)(void *context, const char *text, std::size_t length);

// Renders frames as "[address] {module} function (Line n, "file") + $offset",
// as far as the symbol and debug information go; an inlined call gives one
// line per level. Leading frames of the tracer itself are dropped by name.
// With demangle false it allocates nothing from the heap and may run in a
// signal handler: the symbol and debug information, read on first use, comes
// in with plain system calls and mapped memory.
void renderFrames(const std::uintptr_t *pcs, int count, const ModuleRange *modules, int moduleCount, bool demangle,
                  LineSink sink, void *context);

// The frame lines of a recorded list, names demangled.
QStringList frameLines(const QList<quintptr> &frames);

} // namespace StackTracer
