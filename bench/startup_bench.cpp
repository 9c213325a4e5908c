// Start-up time and memory of several programs side by side, on one display:
//   bench_startup [--rounds N] [--settle S] --baseline NAME NAME=COMMAND...
// Each round starts every program in turn (the order rotates from round to
// round, and one warm-up round is not counted), waits for the X server to map
// its first top-level window, reads its resident memory S seconds (default 3)
// later, and ends it with all it started. Start-up is the time from fork and
// exec to the MapNotify the server sends on the root window: the window
// itself when it is unmanaged, or the frame the window manager put it in.
// Memory is VmRSS of the program's process and its descendants; a command run
// under dbus-run-session is measured from the program it starts, and the
// session's own processes (dbus-daemon and the services it activates) are
// printed apart. Prints medians and the ratio to the baseline program;
// figures are never judged, and the exit status is 1 only when the set-up is
// broken (no display, bad arguments).

#include "ProcStatus.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// The connection's resource mask, which tells whose a window is, is kept in
// the display structure that only this header spells out; its
// min and max macros would break the standard library, hence it comes last.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& message)
{
    std::fprintf(stderr, "bench_startup: %s\n", message.c_str());
    std::exit(1);
}

struct Program {
    std::string name;
    std::vector<std::string> argv;
    std::vector<double> startupMs;      // one per counted run that showed a window
    std::vector<double> residentKiB;    // the program and its descendants
    std::vector<double> sessionKiB;     // what a D-Bus session around it adds
    int failures = 0;
};

// --- /proc

std::string commandName(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(file, name);
    return name;
}

// Parent of every live process, from /proc/PID/stat (the name may hold spaces
// and brackets, so the fields are read after its last ')').
std::map<pid_t, pid_t> parents()
{
    std::map<pid_t, pid_t> result;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream file(entry.path() / "stat");
        std::string text;
        if (!std::getline(file, text))
            continue;
        const size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(text.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        if (fields >> state >> parent)
            result[std::stoi(name)] = parent;
    }
    return result;
}

// Every process below root, root included.
std::vector<pid_t> tree(pid_t root)
{
    const auto parentOf = parents();
    std::vector<pid_t> found{root};
    for (size_t i = 0; i < found.size(); ++i)
        for (const auto& [pid, parent] : parentOf)
            if (parent == found[i] && pid != root)
                found.push_back(pid);
    return found;
}

long residentKiB(const std::vector<pid_t>& pids)
{
    long sum = 0;
    for (pid_t pid : pids)
        sum += ::residentKiB(pid);
    return sum;
}

// The process that is the program itself: below a dbus-run-session wrapper,
// its child that is not the session's bus.
pid_t programProcess(pid_t launched)
{
    if (commandName(launched) != "dbus-run-session")
        return launched;
    for (const auto& [pid, parent] : parents())
        if (parent == launched && commandName(pid) != "dbus-daemon")
            return pid;
    return launched;
}

// Ends every process this one started, however deep, and reaps them. As the
// subreaper, this process inherits what daemonises (D-Bus activated services
// double-fork), so its own descendants are the whole list.
void endEverything()
{
    for (int sweep = 0; sweep < 5; ++sweep) {
        std::vector<pid_t> left = tree(getpid());
        left.erase(left.begin());
        if (left.empty())
            return;
        for (pid_t pid : left)
            kill(pid, sweep < 2 ? SIGTERM : SIGKILL);
        const auto deadline = Clock::now() + std::chrono::seconds(3);
        while (Clock::now() < deadline) {
            while (waitpid(-1, nullptr, WNOHANG) > 0) {
            }
            std::vector<pid_t> now = tree(getpid());
            if (now.size() == 1)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::fprintf(stderr, "bench_startup: some processes outlived SIGKILL\n");
}

// --- X

// The client a resource belongs to: the bits above the server's resource mask.
class Clients {
public:
    explicit Clients(Display* display)
        : display_(display), mask_(display->resource_mask)
    {
    }

    unsigned long of(Window window) const { return window & ~mask_; }

    // The clients owning some window now, the root's owner (the server) included.
    std::set<unsigned long> owningWindows() const
    {
        std::set<unsigned long> owners;
        collect(DefaultRootWindow(display_), owners);
        return owners;
    }

private:
    void collect(Window window, std::set<unsigned long>& owners) const
    {
        owners.insert(of(window));
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, window, &root, &parent, &children, &count))
            return;
        for (unsigned i = 0; i < count; ++i)
            collect(children[i], owners);
        if (children)
            XFree(children);
    }

    Display* display_;
    unsigned long mask_;
};

// Windows vanish while the tree is walked; that is no reason to stop.
int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

void drain(Display* display)
{
    XSync(display, False);
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
    }
}

double median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Run {
    std::optional<double> startupMs;
    long residentKiB = 0;
    long sessionKiB = 0;
    std::string problem;
};

Run runOnce(Display* display, const Clients& clients, const std::set<unsigned long>& known, const Program& program,
            double settleSeconds)
{
    Run run;
    // The last program's windows must be gone, or a client slot it frees
    // could be taken for one of the desktop's own.
    for (int i = 0; i < 250; ++i) {
        const std::set<unsigned long> owners = clients.owningWindows();
        if (std::includes(known.begin(), known.end(), owners.begin(), owners.end()))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    drain(display);

    char logName[] = "/tmp/bench_startup.XXXXXX";
    const int log = mkstemp(logName);
    const auto launched = Clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        die("cannot fork");
    if (pid == 0) {
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        std::vector<char*> argv;
        for (const std::string& word : program.argv)
            argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }

    // Windows of new clients reparented into a frame: frame -> window.
    std::set<Window> framesOfNew;
    std::optional<Clock::time_point> shown;
    const int fd = ConnectionNumber(display);
    while (!shown) {
        while (XPending(display) && !shown) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ReparentNotify && !known.count(clients.of(event.xreparent.window)))
                framesOfNew.insert(event.xreparent.parent);
            else if (event.type == MapNotify && event.xmap.event == DefaultRootWindow(display)
                     && (!known.count(clients.of(event.xmap.window)) || framesOfNew.count(event.xmap.window)))
                shown = Clock::now();
        }
        if (shown)
            break;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.problem = WIFEXITED(status) ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                            : "was killed by signal " + std::to_string(WTERMSIG(status));
            run.problem += " before showing a window";
            break;
        }
        if (Clock::now() - launched > std::chrono::seconds(20)) {
            run.problem = "showed no window within 20 s";
            break;
        }
        pollfd wait{fd, POLLIN, 0};
        poll(&wait, 1, 20);
    }

    if (shown) {
        run.startupMs = std::chrono::duration<double, std::milli>(*shown - launched).count();
        std::this_thread::sleep_until(*shown + std::chrono::duration<double>(settleSeconds));
        const std::vector<pid_t> own = tree(programProcess(pid));
        std::vector<pid_t> all = tree(getpid());
        all.erase(all.begin());
        run.residentKiB = residentKiB(own);
        run.sessionKiB = residentKiB(all) - run.residentKiB;
        if (run.residentKiB == 0)
            run.problem = "ended within " + std::to_string(settleSeconds) + " s of showing its window";
    }
    endEverything();
    if (!run.problem.empty() && log >= 0) {
        std::ifstream text(logName);
        std::string line, tail;
        for (int n = 0; std::getline(text, line) && n < 5; ++n)
            tail += "\n    " + line;
        if (!tail.empty())
            run.problem += "; it said:" + tail;
    }
    if (log >= 0) {
        close(log);
        unlink(logName);
    }
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 10;
    double settle = 3;
    std::string baseline;
    std::vector<Program> programs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (arg == "--settle" && i + 1 < argc)
            settle = std::atof(argv[++i]);
        else if (arg == "--baseline" && i + 1 < argc)
            baseline = argv[++i];
        else if (const size_t eq = arg.find('='); eq != std::string::npos && eq > 0 && arg[0] != '-') {
            Program program;
            program.name = arg.substr(0, eq);
            std::istringstream words(arg.substr(eq + 1));
            for (std::string word; words >> word;)
                program.argv.push_back(word);
            if (program.argv.empty())
                die("'" + arg + "' names no command");
            programs.push_back(program);
        } else
            die("unknown argument '" + arg
                + "'; usage: bench_startup [--rounds N] [--settle S] --baseline NAME NAME=COMMAND...");
    }
    if (rounds < 1 || settle <= 0)
        die("--rounds and --settle must be positive");
    const auto base = std::find_if(programs.begin(), programs.end(), [&](const Program& p) { return p.name == baseline; });
    if (base == programs.end())
        die("the baseline '" + baseline + "' is not among the programs");

    Display* display = XOpenDisplay(nullptr);
    if (!display)
        die("cannot open the display");
    XSetErrorHandler(ignoreErrors);
    // Whatever a program daemonises comes back to this process to be ended.
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0)
        die("cannot become the subreaper of the programs it starts");
    std::signal(SIGINT, [](int) { endEverything(); std::_Exit(130); });
    std::signal(SIGTERM, [](int) { endEverything(); std::_Exit(143); });
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    const Clients clients(display);
    std::set<unsigned long> known = clients.owningWindows();
    known.insert(clients.of(display->resource_base));

    std::printf("side by side: %d rounds after one warm-up round, each program in turn, memory %.0f s after its window showed\n",
                rounds, settle);
    std::fflush(stdout);
    for (int round = 0; round <= rounds; ++round) {
        for (size_t k = 0; k < programs.size(); ++k) {
            Program& program = programs[(k + static_cast<size_t>(round)) % programs.size()];
            const Run run = runOnce(display, clients, known, program, settle);
            if (!run.problem.empty()) {
                ++program.failures;
                std::printf("  %s %s\n", program.name.c_str(), run.problem.c_str());
                std::fflush(stdout);
                continue;
            }
            if (round == 0)
                continue;
            program.startupMs.push_back(*run.startupMs);
            program.residentKiB.push_back(static_cast<double>(run.residentKiB));
            program.sessionKiB.push_back(static_cast<double>(run.sessionKiB));
        }
    }

    const double baseStartup = median(base->startupMs);
    const double baseResident = median(base->residentKiB) / 1024;
    std::printf("%-16s %26s %9s %22s %12s\n", "program", "start-up, median (range)", "ratio", "memory, median (range)",
                "difference");
    for (const Program& p : programs) {
        if (p.startupMs.empty()) {
            std::printf("%-16s no run showed a window\n", p.name.c_str());
            continue;
        }
        const auto [fastest, slowest] = std::minmax_element(p.startupMs.begin(), p.startupMs.end());
        const auto [least, most] = std::minmax_element(p.residentKiB.begin(), p.residentKiB.end());
        const double resident = median(p.residentKiB) / 1024;
        char startup[64], memory[64];
        std::snprintf(startup, sizeof startup, "%.0f ms (%.0f-%.0f)", median(p.startupMs), *fastest, *slowest);
        std::snprintf(memory, sizeof memory, "%.1f MiB (%.1f-%.1f)", resident, *least / 1024, *most / 1024);
        std::printf("%-16s %26s %8.2fx %22s %+8.1f MiB", p.name.c_str(), startup, median(p.startupMs) / baseStartup,
                    memory, resident - baseResident);
        if (median(p.sessionKiB) > 512)
            std::printf("   (+ %.1f MiB in its D-Bus session, not counted)", median(p.sessionKiB) / 1024);
        if (p.failures)
            std::printf("   (%d runs failed)", p.failures);
        std::printf("\n");
    }
    std::printf("ratio = start-up / the %s's; difference = memory - the %s's (targets for the keyboard: "
                "ratio at most 1.5, difference at most +6 MiB)\n",
                base->name.c_str(), base->name.c_str());
    XCloseDisplay(display);
    return 0;
}
