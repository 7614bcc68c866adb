#include "platform/StackTracer.h"

#include <backtrace.h>
#include <cxxabi.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

struct ThrowRecord
{
    std::uintptr_t pcs[StackTracer::kMaxFrames];
    int count;
    timespec when;
};

// Plain data, so that recording allocates nothing and cannot throw.
thread_local ThrowRecord lastThrow;

constexpr std::uintptr_t kEndOfStack = ~std::uintptr_t(0);

void ignoreError(void *, const char *, int) {}

struct PcCollector
{
    std::uintptr_t *pcs;
    int capacity;
    int count;
};

int collectPc(void *data, std::uintptr_t pc)
{
    auto *collector = static_cast<PcCollector *>(data);
    if (collector->count >= collector->capacity)
        return 1;
    if (pc != kEndOfStack && pc != 0)
        collector->pcs[collector->count++] = pc;
    return 0;
}

void copyText(char *target, std::size_t size, const char *source)
{
    if (!source) {
        target[0] = '\0';
        return;
    }
    std::size_t length = 0;
    while (length + 1 < size && source[length] != '\0') {
        target[length] = source[length];
        ++length;
    }
    target[length] = '\0';
}

const char *baseName(const char *path)
{
    if (!path)
        return nullptr;
    const char *name = path;
    for (const char *cursor = path; *cursor != '\0'; ++cursor) {
        if (*cursor == '/')
            name = cursor + 1;
    }
    return name;
}

bool startsWith(const char *text, const char *prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The tracer's own frames on top of a recorded stack: the hook and the
// recorder, in their linkage and their plain names.
bool isTracerFunction(const char *name)
{
    return std::strcmp(name, "__cxa_throw") == 0 || startsWith(name, "_ZN11StackTracer")
        || startsWith(name, "StackTracer::");
}

const char *programPath()
{
    static char path[512];
    if (path[0] == '\0') {
        const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        path[length > 0 ? length : 0] = '\0';
    }
    return path;
}

struct ModuleCollector
{
    StackTracer::ModuleRange *ranges;
    int capacity;
    int count;
};

int addModule(dl_phdr_info *info, std::size_t, void *data)
{
    auto *collector = static_cast<ModuleCollector *>(data);
    if (collector->count >= collector->capacity)
        return 1;
    std::uintptr_t low = kEndOfStack;
    std::uintptr_t high = 0;
    for (int index = 0; index < info->dlpi_phnum; ++index) {
        const ElfW(Phdr) &header = info->dlpi_phdr[index];
        if (header.p_type != PT_LOAD)
            continue;
        low = std::min<std::uintptr_t>(low, info->dlpi_addr + header.p_vaddr);
        high = std::max<std::uintptr_t>(high, info->dlpi_addr + header.p_vaddr + header.p_memsz);
    }
    if (high == 0)
        return 0;
    StackTracer::ModuleRange &range = collector->ranges[collector->count++];
    range.start = low;
    range.end = high;
    const bool isProgram = !info->dlpi_name || info->dlpi_name[0] == '\0';
    copyText(range.name, sizeof range.name, baseName(isProgram ? programPath() : info->dlpi_name));
    return 0;
}

// One line of text in fixed storage; what does not fit is cut off.
class LineBuffer
{
public:
    void append(const char *text)
    {
        while (text && *text != '\0' && length_ + 1 < sizeof text_)
            text_[length_++] = *text++;
    }

    void appendChar(char character)
    {
        if (length_ + 1 < sizeof text_)
            text_[length_++] = character;
    }

    void appendHex(std::uintptr_t value, int minDigits)
    {
        char digits[2 * sizeof value];
        int count = 0;
        do {
            digits[count++] = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        } while (value != 0);
        for (int pad = count; pad < minDigits; ++pad)
            appendChar('0');
        while (count > 0)
            appendChar(digits[--count]);
    }

    void appendDecimal(long value)
    {
        if (value < 0) {
            appendChar('-');
            value = -value;
        }
        char digits[24];
        int count = 0;
        do {
            digits[count++] = char('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0)
            appendChar(digits[--count]);
    }

    void appendPadded(const char *text, std::size_t width)
    {
        const std::size_t before = length_;
        append(text);
        while (length_ - before < width)
            appendChar(' ');
    }

    const char *text() const { return text_; }
    std::size_t length() const { return length_; }

private:
    char text_[2048] = {};
    std::size_t length_ = 0;
};

struct InlineEntry
{
    char function[512];
    char file[160];
    int line;
};

// What the debug information says about one program counter, innermost
// inlined call first.
struct PcInfo
{
    InlineEntry entries[8];
    int count;
};

int collectInline(void *data, std::uintptr_t, const char *filename, int lineno, const char *function)
{
    auto *info = static_cast<PcInfo *>(data);
    if (info->count >= int(std::size(info->entries)))
        return 1;
    if (!function && !filename)
        return 0;
    InlineEntry &entry = info->entries[info->count++];
    copyText(entry.function, sizeof entry.function, function);
    copyText(entry.file, sizeof entry.file, baseName(filename));
    entry.line = filename ? lineno : 0;
    return 0;
}

struct SymbolInfo
{
    char name[512];
    std::uintptr_t start;
    bool found;
};

void collectSymbol(void *data, std::uintptr_t, const char *symname, std::uintptr_t symval, std::uintptr_t)
{
    auto *symbol = static_cast<SymbolInfo *>(data);
    if (!symname)
        return;
    copyText(symbol->name, sizeof symbol->name, symname);
    symbol->start = symval;
    symbol->found = true;
}

void appendFunction(LineBuffer &line, const char *name, bool demangle)
{
    if (demangle && startsWith(name, "_Z")) {
        int status = 0;
        char *plain = abi::__cxa_demangle(name, nullptr, nullptr, &status);
        if (plain && status == 0) {
            line.append(plain);
            std::free(plain);
            return;
        }
        std::free(plain);
    }
    line.append(name);
}

const StackTracer::ModuleRange *moduleOf(std::uintptr_t pc, const StackTracer::ModuleRange *modules, int count)
{
    for (int index = 0; index < count; ++index) {
        if (pc >= modules[index].start && pc < modules[index].end)
            return &modules[index];
    }
    return nullptr;
}

struct FrameParts
{
    std::uintptr_t pc;
    const StackTracer::ModuleRange *module;
    const char *function; // empty when unknown
    const char *file;     // empty when unknown
    int line;
    bool withOffset;
    std::uintptr_t offset;
};

void renderLine(const FrameParts &parts, bool demangle, StackTracer::LineSink sink, void *context)
{
    LineBuffer line;
    line.appendChar('[');
    line.appendHex(parts.pc, 8);
    line.appendChar(']');
    if (parts.module) {
        line.append(" {");
        line.appendPadded(parts.module->name, 12);
        line.appendChar('}');
    }
    if (parts.function[0] != '\0') {
        line.appendChar(' ');
        appendFunction(line, parts.function, demangle);
        if (parts.line > 0 && parts.file[0] != '\0') {
            line.append(" (Line ");
            line.appendDecimal(parts.line);
            line.append(", \"");
            line.append(parts.file);
            line.append("\")");
        }
        if (parts.withOffset) {
            line.append(" + $");
            line.appendHex(parts.offset, 1);
        }
    }
    sink(context, line.text(), line.length());
}

void appendToList(void *context, const char *text, std::size_t length)
{
    static_cast<QStringList *>(context)->append(QString::fromUtf8(text, qsizetype(length)));
}

} // namespace

namespace StackTracer {

backtrace_state *backtraceState()
{
    static backtrace_state *const state = backtrace_create_state(nullptr, 1, ignoreError, nullptr);
    return state;
}

void recordThrow() noexcept
{
    backtrace_state *state = backtraceState();
    if (!state)
        return;
    ThrowRecord &record = lastThrow;
    PcCollector collector{record.pcs, kMaxFrames, 0};
    backtrace_simple(state, 0, collectPc, ignoreError, &collector);
    clock_gettime(CLOCK_REALTIME, &record.when);
    record.count = collector.count;
}

std::optional<StackList> threadStackList()
{
    const ThrowRecord &record = lastThrow;
    if (record.count <= 0)
        return std::nullopt;
    StackList list;
    list.generated = QDateTime::fromMSecsSinceEpoch(qint64(record.when.tv_sec) * 1000 + record.when.tv_nsec / 1000000);
    for (int index = 0; index < record.count; ++index)
        list.frames.append(quintptr(record.pcs[index]));
    return list;
}

void clearThreadStackList()
{
    lastThrow.count = 0;
}

int snapshotModules(ModuleRange *ranges, int capacity)
{
    ModuleCollector collector{ranges, capacity, 0};
    dl_iterate_phdr(addModule, &collector);
    return collector.count;
}

void renderFrames(const std::uintptr_t *pcs, int count, const ModuleRange *modules, int moduleCount, bool demangle,
                  LineSink sink, void *context)
{
    backtrace_state *state = backtraceState();
    bool leading = true;
    for (int index = 0; index < count; ++index) {
        const std::uintptr_t pc = pcs[index];
        PcInfo info{};
        SymbolInfo symbol{};
        if (state) {
            backtrace_syminfo(state, pc, collectSymbol, ignoreError, &symbol);
            backtrace_pcinfo(state, pc, collectInline, ignoreError, &info);
        }
        const char *outermost = info.count > 0 && info.entries[info.count - 1].function[0] != '\0'
            ? info.entries[info.count - 1].function
            : symbol.name;
        if (leading && isTracerFunction(outermost))
            continue;
        leading = false;
        FrameParts parts{pc, moduleOf(pc, modules, moduleCount), symbol.name, "", 0, symbol.found && pc >= symbol.start,
                         pc - symbol.start};
        if (info.count == 0) {
            renderLine(parts, demangle, sink, context);
            continue;
        }
        for (int level = 0; level < info.count; ++level) {
            const InlineEntry &entry = info.entries[level];
            // The debug information names a function without its namespace
            // where the symbol table has the full name: that one wins for the
            // real function, the outermost level.
            const bool outermostLevel = level == info.count - 1;
            const bool useSymbol = (outermostLevel && symbol.found) || entry.function[0] == '\0';
            parts.function = useSymbol ? symbol.name : entry.function;
            parts.file = entry.file;
            parts.line = entry.line;
            // The byte offset counts from the start of the real function.
            parts.withOffset = outermostLevel && symbol.found && pc >= symbol.start;
            renderLine(parts, demangle, sink, context);
        }
    }
}

QStringList frameLines(const QList<quintptr> &frames)
{
    std::vector<ModuleRange> modules(512);
    const int moduleCount = snapshotModules(modules.data(), int(modules.size()));
    const std::vector<std::uintptr_t> pcs(frames.cbegin(), frames.cend());
    QStringList lines;
    renderFrames(pcs.data(), int(pcs.size()), modules.data(), moduleCount, true, appendToList, &lines);
    return lines;
}

} // namespace StackTracer
