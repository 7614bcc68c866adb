// Starts a program on the current X display and watches it from outside,
// as a person looking at the screen would: the time from process start until
// COUNT of its windows with the given name are viewable (and the processor
// time it used until then), its resident and proportional memory one second
// later and, if asked, the processor time it uses while it idles.
//
//   bench_startup --count N (--name TITLE | --name-prefix TEXT) [--timeout S]
//                 [--settle S] [--idle S] [--min-size PIXELS] [--log FILE]
//                 -- PROGRAM [ARGS...]
//
// Windows are followed through X events (creation, mapping, name changes),
// not by polling the window tree, so the watcher itself costs the display
// next to nothing while the program starts. Results are printed as
// key=value lines followed by "ready"; the program is then left running
// until somebody else ends it (the benchmark script asks it to quit in its
// own way), and the watcher exits with it.

#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Options
{
    int count = 0;
    std::string name;
    bool prefix = false;
    double timeout = 60.0;
    double settle = 0.0;
    double idle = 0.0;
    int minSize = 40;
    std::string log = "/dev/null";
    std::vector<char *> program;
};

double monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void sleepMs(double ms)
{
    const double end = monotonicMs() + ms;
    for (double left = ms; left > 0; left = end - monotonicMs()) {
        timespec pause{time_t(left / 1e3), long(std::fmod(left, 1e3) * 1e6)};
        nanosleep(&pause, nullptr);
    }
}

[[noreturn]] void usage(const char *why)
{
    std::fprintf(stderr,
                 "bench_startup: %s\nusage: bench_startup --count N (--name TITLE | --name-prefix TEXT) "
                 "[--timeout S] [--settle S] [--idle S] [--min-size PIXELS] [--log FILE] -- PROGRAM [ARGS...]\n",
                 why);
    std::exit(2);
}

Options parse(int argc, char **argv)
{
    Options options;
    int i = 1;
    const auto value = [&](const char *option) -> std::string {
        if (i + 1 >= argc)
            usage((std::string(option) + " needs a value").c_str());
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            for (++i; i < argc; ++i)
                options.program.push_back(argv[i]);
            break;
        }
        if (arg == "--count")
            options.count = std::atoi(value("--count").c_str());
        else if (arg == "--name")
            options.name = value("--name");
        else if (arg == "--name-prefix") {
            options.name = value("--name-prefix");
            options.prefix = true;
        } else if (arg == "--timeout")
            options.timeout = std::atof(value("--timeout").c_str());
        else if (arg == "--settle")
            options.settle = std::atof(value("--settle").c_str());
        else if (arg == "--idle")
            options.idle = std::atof(value("--idle").c_str());
        else if (arg == "--min-size")
            options.minSize = std::atoi(value("--min-size").c_str());
        else if (arg == "--log")
            options.log = value("--log");
        else
            usage(("unknown option " + arg).c_str());
    }
    if (options.count <= 0 || options.name.empty() || options.program.empty())
        usage("--count, a name and a program are needed");
    options.program.push_back(nullptr);
    return options;
}

template<typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template<typename T>
Reply<T> reply(T *raw)
{
    return Reply<T>(raw, &std::free);
}

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    auto answer = reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr));
    return answer ? answer->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The windows of the display that might be the program's, followed through
// their events.
class WindowWatch
{
public:
    WindowWatch(xcb_connection_t *connection, const Options &options)
        : m_connection(connection)
        , m_options(options)
        , m_netWmName(internAtom(connection, "_NET_WM_NAME"))
    {
    }

    void follow(xcb_window_t window)
    {
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
        // It may have been mapped or named before the mask took effect.
        auto attributes = reply(
            xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
        if (!attributes)
            return;
        State &state = m_windows[window];
        state.mapped = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
        state.matches = matches(window);
    }

    void handle(xcb_generic_event_t *event)
    {
        switch (event->response_type & ~0x80) {
        case XCB_CREATE_NOTIFY: {
            const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event);
            if (!created->override_redirect)
                follow(created->window);
            break;
        }
        case XCB_MAP_NOTIFY:
            setMapped(reinterpret_cast<xcb_map_notify_event_t *>(event)->window, true);
            break;
        case XCB_UNMAP_NOTIFY:
            setMapped(reinterpret_cast<xcb_unmap_notify_event_t *>(event)->window, false);
            break;
        case XCB_DESTROY_NOTIFY:
            m_windows.erase(reinterpret_cast<xcb_destroy_notify_event_t *>(event)->window);
            break;
        case XCB_PROPERTY_NOTIFY: {
            const auto *property = reinterpret_cast<xcb_property_notify_event_t *>(event);
            if (property->atom == m_netWmName || property->atom == XCB_ATOM_WM_NAME) {
                const auto found = m_windows.find(property->window);
                if (found != m_windows.end())
                    found->second.matches = matches(property->window);
            }
            break;
        }
        default:
            break;
        }
    }

    // Windows of the right name that the events say are mapped.
    int mappedCount() const
    {
        int count = 0;
        for (const auto &[window, state] : m_windows)
            count += state.matches && state.mapped;
        return count;
    }

    // Of those, the ones the server reports viewable (mapped, and so is
    // every ancestor up to the root, the window manager's frame included)
    // and at least --min-size on each side: a tray icon of the same name
    // is no note.
    int viewableCount()
    {
        struct Cookies
        {
            xcb_get_window_attributes_cookie_t attributes;
            xcb_get_geometry_cookie_t geometry;
        };
        std::vector<Cookies> cookies;
        for (const auto &[window, state] : m_windows) {
            if (state.matches && state.mapped)
                cookies.push_back({xcb_get_window_attributes(m_connection, window),
                                   xcb_get_geometry(m_connection, window)});
        }
        int count = 0;
        for (const Cookies &cookie : cookies) {
            auto attributes = reply(xcb_get_window_attributes_reply(m_connection, cookie.attributes, nullptr));
            auto geometry = reply(xcb_get_geometry_reply(m_connection, cookie.geometry, nullptr));
            count += attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE
                && geometry->width >= m_options.minSize && geometry->height >= m_options.minSize;
        }
        return count;
    }

private:
    struct State
    {
        bool mapped = false;
        bool matches = false;
    };

    void setMapped(xcb_window_t window, bool mapped)
    {
        const auto found = m_windows.find(window);
        if (found != m_windows.end())
            found->second.mapped = mapped;
    }

    std::string nameOf(xcb_window_t window)
    {
        for (const xcb_atom_t atom : {m_netWmName, xcb_atom_t(XCB_ATOM_WM_NAME)}) {
            auto property = reply(xcb_get_property_reply(
                m_connection, xcb_get_property(m_connection, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                nullptr));
            if (property && xcb_get_property_value_length(property.get()) > 0)
                return std::string(static_cast<const char *>(xcb_get_property_value(property.get())),
                                   size_t(xcb_get_property_value_length(property.get())));
        }
        return {};
    }

    bool matches(xcb_window_t window)
    {
        const std::string name = nameOf(window);
        return m_options.prefix ? name.rfind(m_options.name, 0) == 0 : name == m_options.name;
    }

    xcb_connection_t *m_connection;
    const Options &m_options;
    xcb_atom_t m_netWmName;
    std::map<xcb_window_t, State> m_windows;
};

// The value of the "Key:" line of a /proc file, in kiB, or -1.
long procKiB(pid_t pid, const char *file, const std::string &key)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/" + file);
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    }
    return -1;
}

// User plus system time of the process, in milliseconds.
double cpuMs(pid_t pid)
{
    std::ifstream statFile("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold blanks.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int number = 3; fields >> field; ++number) {
        if (number == 14)
            utime = std::stoull(field);
        else if (number == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    return double(utime + stime) * 1e3 / double(sysconf(_SC_CLK_TCK));
}

pid_t launch(const Options &options)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int log = open(options.log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
            close(log);
        }
        execv(options.program[0], options.program.data());
        std::perror("bench_startup: exec");
        _exit(127);
    }
    return pid;
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parse(argc, argv);
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "bench_startup: cannot open the display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &rootMask);
    xcb_flush(connection);
    WindowWatch watch(connection, options);

    const double started = monotonicMs();
    const pid_t pid = launch(options);
    if (pid < 0) {
        std::perror("bench_startup: fork");
        return 2;
    }

    double mappedMs = -1;
    pollfd display{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (monotonicMs() - started < options.timeout * 1e3) {
        poll(&display, 1, 2);
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            watch.handle(event);
            std::free(event);
        }
        xcb_flush(connection);
        if (watch.mappedCount() >= options.count && watch.viewableCount() >= options.count) {
            mappedMs = monotonicMs() - started;
            break;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "bench_startup: the program ended before its windows were up\n");
            return 1;
        }
    }
    std::printf("pid=%d\n", int(pid));
    if (mappedMs < 0) {
        std::printf("mapped_ms=-1\nseen=%d\n", watch.mappedCount());
        std::fflush(stdout);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return 1;
    }
    std::printf("mapped_ms=%.1f\nstart_cpu_ms=%.0f\n", mappedMs, cpuMs(pid));
    std::fflush(stdout);
    sleepMs(1000);
    // Resident, and proportional: pages shared with other processes (fonts,
    // libraries) counted in shares.
    std::printf("rss_kib=%ld\npss_kib=%ld\n", procKiB(pid, "status", "VmRSS:"),
                procKiB(pid, "smaps_rollup", "Pss:"));
    std::fflush(stdout);
    if (options.idle > 0) {
        sleepMs(options.settle * 1e3);
        const double before = cpuMs(pid);
        sleepMs(options.idle * 1e3);
        const double used = cpuMs(pid) - before;
        std::printf("idle_cpu_ms=%.0f\nidle_s=%.1f\nidle_percent=%.3f\n", used, options.idle,
                    used / (options.idle * 1e3) * 100.0);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    xcb_disconnect(connection);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
