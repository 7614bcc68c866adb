#include "platform/CrashLog.h"

#include "platform/CodePage.h"
#include "platform/StackTracer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <backtrace.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = int(std::size(kSignals));
constexpr int kMaxModules = 512;

// Prepared at install time; the handler only reads it.
struct Prepared
{
    char logPath[4096];
    char programPath[4096];
    char machineText[4096]; // the system lines, CR LF after each
    long utcOffset;         // seconds east of UTC when installed
    StackTracer::ModuleRange modules[kMaxModules];
    int moduleCount;
};

Prepared prepared;
struct sigaction previousActions[kSignalCount];
stack_t previousStack;
bool installed = false;
std::atomic<long> handlingThread{0};

// Big enough for naming frames from the debug information, and usable when
// the crash is a stack overflow.
alignas(16) char alternateStack[256 * 1024];

void copyBytes(char *target, std::size_t size, const QByteArray &source)
{
    const std::size_t length = std::min<std::size_t>(size - 1, std::size_t(source.size()));
    std::memcpy(target, source.constData(), length);
    target[length] = '\0';
}

const char *signalName(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "signal";
    }
}

// Collects the record in a fixed buffer and hands it to write(2) in pieces.
class RecordWriter
{
public:
    explicit RecordWriter(int fd)
        : fd_(fd)
    {
    }

    void text(const char *value) { bytes(value, std::strlen(value)); }

    void bytes(const char *value, std::size_t length)
    {
        for (std::size_t index = 0; index < length; ++index) {
            if (used_ == sizeof buffer_)
                flush();
            buffer_[used_++] = value[index];
        }
    }

    void endLine() { text("\r\n"); }

    void line(const char *value)
    {
        text(value);
        endLine();
    }

    void number(unsigned long value, int minDigits, int base)
    {
        char digits[24];
        int count = 0;
        do {
            digits[count++] = "0123456789ABCDEF"[value % base];
            value /= base;
        } while (value != 0 && count < int(sizeof digits));
        for (int pad = count; pad < minDigits; ++pad)
            text("0");
        while (count > 0)
            bytes(&digits[--count], 1);
    }

    void flush()
    {
        std::size_t done = 0;
        while (done < used_) {
            const ssize_t written = write(fd_, buffer_ + done, used_ - done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                break;
            done += std::size_t(written);
        }
        used_ = 0;
    }

private:
    int fd_;
    char buffer_[4096];
    std::size_t used_ = 0;
};

// Local time as "yyyy-MM-dd HH:mm:ss". The locale's formats cannot be used
// in a signal handler, so the civil date is computed from the clock and the
// offset from UTC taken at install time.
void writeNow(RecordWriter &out)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long local = now.tv_sec + prepared.utcOffset;
    long long days = local / 86400;
    long long seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    // Days since 1970-01-01 to a civil date (proleptic Gregorian).
    const long long shifted = days + 719468;
    const long long era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const long long dayOfEra = shifted - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    out.number((unsigned long)year, 4, 10);
    out.text("-");
    out.number((unsigned long)month, 2, 10);
    out.text("-");
    out.number((unsigned long)day, 2, 10);
    out.text(" ");
    out.number((unsigned long)(seconds / 3600), 2, 10);
    out.text(":");
    out.number((unsigned long)(seconds / 60 % 60), 2, 10);
    out.text(":");
    out.number((unsigned long)(seconds % 60), 2, 10);
}

std::uintptr_t faultingPc(void *context)
{
    const auto *machine = static_cast<const ucontext_t *>(context);
#if defined(__x86_64__)
    return std::uintptr_t(machine->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return std::uintptr_t(machine->uc_mcontext.pc);
#else
    (void)machine;
    return 0;
#endif
}

struct PcList
{
    std::uintptr_t pcs[StackTracer::kMaxFrames];
    int count;
};

int collectPc(void *data, std::uintptr_t pc)
{
    auto *list = static_cast<PcList *>(data);
    if (list->count >= StackTracer::kMaxFrames)
        return 1;
    if (pc != 0 && pc != ~std::uintptr_t(0))
        list->pcs[list->count++] = pc;
    return 0;
}

void ignoreError(void *, const char *, int) {}

void writeFrameLine(void *context, const char *text, std::size_t length)
{
    auto *out = static_cast<RecordWriter *>(context);
    out->bytes(text, length);
    out->endLine();
}

void writeStack(RecordWriter &out, void *context)
{
    PcList list{};
    if (backtrace_state *state = StackTracer::backtraceState())
        backtrace_simple(state, 0, collectPc, ignoreError, &list);
    // The frames above the faulting instruction belong to this handler and
    // the signal trampoline.
    const std::uintptr_t fault = faultingPc(context);
    int first = 0;
    while (first < list.count && list.pcs[first] != fault)
        ++first;
    const std::uintptr_t *pcs = list.pcs + first;
    int count = list.count - first;
    if (count == 0 && fault != 0) {
        pcs = &fault;
        count = 1;
    } else if (count == 0) {
        pcs = list.pcs;
        count = list.count;
    }
    StackTracer::renderFrames(pcs, count, prepared.modules, prepared.moduleCount, false, writeFrameLine, &out);
}

const char kDashes[] = "----------------------------------------------------------------";

void writeRecord(int signal, const siginfo_t *info, void *context)
{
    const int fd = open(prepared.logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    RecordWriter out(fd);
    out.text("############# ERROR ON: ");
    writeNow(out);
    out.endLine();
    out.line(prepared.programPath);
    out.text("Fatal signal ");
    out.number((unsigned long)signal, 1, 10);
    out.text(" (");
    out.text(signalName(signal));
    out.text(")");
    // Only a fault the kernel raised has an address; a sent signal has none.
    if (info && info->si_code > 0 && signal != SIGABRT) {
        out.text(" at address ");
        out.number((unsigned long)(std::uintptr_t)info->si_addr, 8, 16);
    }
    out.endLine();
    out.line(kDashes);
    out.text("Stack list, generated ");
    writeNow(out);
    out.endLine();
    writeStack(out, context);
    out.line(kDashes);
    out.text(prepared.machineText);
    out.line(kDashes);
    out.line("### END LOG");
    out.endLine();
    out.endLine();
    out.flush();
    close(fd);
}

void endWithDefaultAction(int signal)
{
    struct sigaction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    // Still blocked here: delivered, with the default action, as soon as the
    // handler returns.
    raise(signal);
}

void onFatalSignal(int signal, siginfo_t *info, void *context)
{
    const long self = syscall(SYS_gettid);
    long expected = 0;
    if (!handlingThread.compare_exchange_strong(expected, self)) {
        // A fault while writing the record ends the process at once; another
        // thread's crash waits for the record being written.
        if (expected != self) {
            const timespec pause{0, 10 * 1000 * 1000};
            for (int round = 0; round < 1000; ++round)
                nanosleep(&pause, nullptr);
        }
        endWithDefaultAction(signal);
        return;
    }
    writeRecord(signal, info, context);
    endWithDefaultAction(signal);
}

void prepare(const QString &logPath, const QStringList &machineLines)
{
    copyBytes(prepared.logPath, sizeof prepared.logPath, QFile::encodeName(logPath));
    copyBytes(prepared.programPath, sizeof prepared.programPath,
              CodePage::toCp936(QCoreApplication::applicationFilePath()));
    QByteArray machine;
    for (const QString &line : machineLines)
        machine += CodePage::toCp936(line) + "\r\n";
    copyBytes(prepared.machineText, sizeof prepared.machineText, machine);
    prepared.utcOffset = QDateTime::currentDateTime().offsetFromUtc();
    prepared.moduleCount = StackTracer::snapshotModules(prepared.modules, kMaxModules);
    // Loads libgcc's unwinder now: its first use may call the heap. The
    // debug information is left for the first naming of frames (tens of
    // megabytes and a tenth of a second that most runs never need).
    PcList warmUp{};
    if (backtrace_state *state = StackTracer::backtraceState())
        backtrace_simple(state, 0, collectPc, ignoreError, &warmUp);
}

} // namespace

namespace CrashLog {

void install(const QString &logPath, const QStringList &machineLines)
{
    if (installed)
        uninstall();
    prepare(logPath, machineLines);
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, &previousStack);
    struct sigaction action{};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    for (int index = 0; index < kSignalCount; ++index)
        sigaction(kSignals[index], &action, &previousActions[index]);
    installed = true;
}

void uninstall()
{
    if (!installed)
        return;
    for (int index = 0; index < kSignalCount; ++index)
        sigaction(kSignals[index], &previousActions[index], nullptr);
    sigaltstack(&previousStack, nullptr);
    installed = false;
}

bool isInstalled()
{
    return installed;
}

} // namespace CrashLog
