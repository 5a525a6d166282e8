// Starts a program under an X server and measures it from outside, leaving the program
// untouched: the time from exec to its first top-level window being mapped, its resident
// memory once started, and optionally the CPU it burns while idle.
//
// The watcher subscribes to SubstructureNotify on the root window before it forks, so the
// MapNotify of the program's window cannot be missed and is timestamped as it arrives, not
// at the next tick of a polling loop. Without a window manager a top-level window is mapped
// directly as a child of the (mapped) root, so MapNotify means mapped and viewable.
//
// Usage: bench_mapwatch [--settle MS] [--idle S] [--timeout S] [--silent-wayland PATH] --
//        PROGRAM [ARG]...
// --silent-wayland: the program gets WAYLAND_DISPLAY=PATH, a socket that accepts connections
// and never answers, as a hung compositor would.
// Prints name: value lines: startup_ms, startup_cpu_ms (the CPU time its threads had used by
// then, less noisy than the wall time), rss_kb and, with --idle, idle_cpu_percent
// (utime+stime from /proc/PID/stat, in clock ticks) and idle_cpu_percent_ns (the on-CPU
// nanoseconds of every thread from /proc/PID/task/*/schedstat, which does not round to ticks).
#include <xcb/xcb.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long statusField(pid_t pid, const char *field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::atol(line.c_str() + length + 1);
    return -1;
}

// utime + stime of the whole process, in clock ticks.
long long cpuTicks(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold spaces and parentheses; the fields resume after the last ')'.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string skip;
    for (int field = 3; field < 14; ++field) // fields 3..13: state .. majflt
        fields >> skip;
    long long utime = 0, stime = 0;
    fields >> utime >> stime;
    return utime + stime;
}

// Nanoseconds on a CPU, summed over the threads alive now.
long long cpuNanoseconds(pid_t pid)
{
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::unique_ptr<DIR, int (*)(DIR *)> dir(opendir(tasks.c_str()), closedir);
    if (!dir)
        return -1;
    long long total = 0;
    while (dirent *entry = readdir(dir.get())) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream in(tasks + "/" + entry->d_name + "/schedstat");
        long long onCpu = 0;
        if (in >> onCpu)
            total += onCpu;
    }
    return total;
}

// Whether the window is the program's: it names its process in _NET_WM_PID, as Qt does, or
// names none. Asked only after the time is taken.
bool ownedBy(xcb_connection_t *x, xcb_window_t window, pid_t pid)
{
    static const char name[] = "_NET_WM_PID";
    std::unique_ptr<xcb_intern_atom_reply_t, void (*)(void *)> atom(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, sizeof name - 1, name), nullptr), free);
    if (!atom)
        return true;
    std::unique_ptr<xcb_get_property_reply_t, void (*)(void *)> property(
        xcb_get_property_reply(
            x, xcb_get_property(x, 0, window, atom->atom, XCB_ATOM_CARDINAL, 0, 1), nullptr),
        free);
    if (!property || xcb_get_property_value_length(property.get()) != 4)
        return true;
    return *static_cast<const uint32_t *>(xcb_get_property_value(property.get())) == uint32_t(pid);
}

bool childExited(pid_t pid, int *status)
{
    return waitpid(pid, status, WNOHANG) == pid;
}

void usage()
{
    std::fprintf(stderr, "usage: bench_mapwatch [--settle MS] [--idle S] [--timeout S] "
                         "[--silent-wayland PATH] -- PROGRAM [ARG]...\n");
    std::exit(2);
}

} // namespace

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure out as soon as it is known
    int settleMs = 1000;
    double idleS = 0, timeoutS = 30;
    const char *silentWayland = nullptr;
    int first = 1;
    for (; first < argc; ++first) {
        const std::string arg = argv[first];
        if (arg == "--") {
            ++first;
            break;
        }
        if (first + 1 >= argc)
            usage();
        if (arg == "--settle")
            settleMs = std::atoi(argv[++first]);
        else if (arg == "--idle")
            idleS = std::atof(argv[++first]);
        else if (arg == "--timeout")
            timeoutS = std::atof(argv[++first]);
        else if (arg == "--silent-wayland")
            silentWayland = argv[++first];
        else
            usage();
    }
    if (first >= argc)
        usage();

    int screenNumber = 0;
    xcb_connection_t *x = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "bench_mapwatch: cannot open the display\n");
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
    // A round trip, so the subscription is in force before the program exists.
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));
    const int xfd = xcb_get_file_descriptor(x);
    fcntl(xfd, F_SETFD, FD_CLOEXEC);

    int silent = -1;
    if (silentWayland) {
        // Connections queue in the backlog: connect() succeeds, nothing ever comes back.
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, silentWayland, sizeof address.sun_path - 1);
        silent = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        unlink(silentWayland);
        if (bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            listen(silent, 64) != 0 || setenv("WAYLAND_DISPLAY", silentWayland, 1) != 0) {
            std::perror("bench_mapwatch: silent Wayland socket");
            return 1;
        }
    }

    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("bench_mapwatch: fork");
        return 1;
    }
    if (pid == 0) {
        execvp(argv[first], argv + first);
        std::perror("bench_mapwatch: exec");
        _exit(127);
    }

    int status = 0;
    double mappedMs = -1;
    long long mappedCpuNs = -1;
    while (mappedMs < 0) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(x)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                // Override-redirect windows are popups and tooltips, never the main window.
                if (map->event == root && !map->override_redirect && mappedMs < 0) {
                    const double at = msSince(start);
                    const long long cpuNs = cpuNanoseconds(pid);
                    if (ownedBy(x, map->window, pid)) {
                        mappedMs = at;
                        mappedCpuNs = cpuNs;
                    }
                }
            }
            free(event);
        }
        if (mappedMs >= 0)
            break;
        if (xcb_connection_has_error(x)) {
            std::fprintf(stderr, "bench_mapwatch: lost the display\n");
            kill(pid, SIGKILL);
            return 1;
        }
        if (childExited(pid, &status)) {
            std::fprintf(stderr, "bench_mapwatch: %s exited before mapping a window\n",
                         argv[first]);
            return 1;
        }
        if (msSince(start) > timeoutS * 1000) {
            std::fprintf(stderr, "bench_mapwatch: no window after %.0f s\n", timeoutS);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return 1;
        }
        pollfd wait{xfd, POLLIN, 0};
        poll(&wait, 1, 50); // the timeout only paces the exit and time-out checks
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    const long rssKb = statusField(pid, "VmRSS");
    std::printf("startup_ms: %.2f\n", mappedMs);
    std::printf("startup_cpu_ms: %.2f\n", double(mappedCpuNs) / 1e6);
    std::printf("rss_kb: %ld\n", rssKb);

    if (idleS > 0) {
        const long ticksPerS = sysconf(_SC_CLK_TCK);
        const long long ticks0 = cpuTicks(pid), ns0 = cpuNanoseconds(pid);
        const Clock::time_point idleStart = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(idleS));
        const long long ticks1 = cpuTicks(pid), ns1 = cpuNanoseconds(pid);
        const double wallS = msSince(idleStart) / 1000;
        std::printf("idle_wall_s: %.2f\n", wallS);
        std::printf("idle_cpu_percent: %.4f\n",
                    100.0 * double(ticks1 - ticks0) / double(ticksPerS) / wallS);
        std::printf("idle_cpu_percent_ns: %.4f\n", 100.0 * double(ns1 - ns0) / 1e9 / wallS);
    }

    const bool alive = !childExited(pid, &status);
    if (alive) {
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
    }
    xcb_disconnect(x);
    if (silentWayland) {
        close(silent);
        unlink(silentWayland);
    }
    if (!alive) {
        std::fprintf(stderr, "bench_mapwatch: %s exited during the measurement\n", argv[first]);
        return 1;
    }
    return 0;
}
