// Dwell timing and CPU cost of the real keyboard, measured from the X server's
// own event times:
//   bench_dwell [--short] [--timings FILE] KELVO
// starts KELVO, moves the pointer onto the "H" key and off again with XTest,
// and records through the RECORD extension the MotionNotify that puts the
// pointer on the key and every KeyPress the keyboard then sends. Prints the
// delay of the first keystroke, the repeat period, the drift over a long rest,
// and the CPU time the keyboard takes while the pointer is away and while it
// rests on a key. The keystrokes go to whichever window has the focus (make
// bench gives it to an xterm running cat). Figures are printed, never judged;
// the exit status is 1 only when the set-up is broken (no display, no RECORD
// or XTest, no window, no keystrokes at all) and 0 otherwise. --short runs a
// quick pass with fewer keystrokes and shorter CPU windows; --timings writes
// every first delay and repeat period, one "first MS" or "period MS" a line,
// for the plot of their distribution.

#include "ProcStatus.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/record.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The window as the keyboard draws it, in logical pixels.
constexpr int kWindowWidth = 264;
constexpr int kWindowHeight = 298;
// Key 7 "H": 945, 945, 300, 300 twips; its centre in pixels from the window's corner.
constexpr int kKeyCentreX = (2 * 945 + 300) / 30;
constexpr int kKeyCentreY = (2 * 945 + 300) / 30;
// Key 9 "J" (945, 345, 300, 300 twips), right above "H": its centre.
constexpr int kNextKeyCentreX = (2 * 945 + 300) / 30;
constexpr int kNextKeyCentreY = (2 * 345 + 300) / 30;
// Off the keyboard: left of the window, over whatever lies there.
constexpr int kOffX = -200;
constexpr int kOffY = 100;
// The dwell period the keyboard aims at, in milliseconds.
constexpr double kTargetMs = 200.0;

[[noreturn]] void die(const std::string& message)
{
    std::fprintf(stderr, "bench_dwell: %s\n", message.c_str());
    std::exit(1);
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// One recorded device event: its type, the server's time in milliseconds and,
// for motion, where the pointer went.
struct Event {
    int type;
    uint32_t time;
    int rootX;
    int rootY;
    int keycode;
};

// Records the core device events of every client on a connection of its own,
// through the RECORD extension; the events pile up in order of arrival.
class Recorder {
public:
    explicit Recorder(const char* displayName)
    {
        control_ = XOpenDisplay(displayName);
        data_ = XOpenDisplay(displayName);
        if (!control_ || !data_)
            die("cannot open a second connection to the display for recording");
        int major = 0, minor = 0;
        if (!XRecordQueryVersion(control_, &major, &minor))
            die("the display has no RECORD extension; the server's event times cannot be read");
        XRecordRange* range = XRecordAllocRange();
        if (!range)
            die("out of memory for a record range");
        range->device_events.first = KeyPress;
        range->device_events.last = MotionNotify;
        XRecordClientSpec clients = XRecordAllClients;
        context_ = XRecordCreateContext(control_, 0, &clients, 1, &range, 1);
        XFree(range);
        if (!context_)
            die("the server refused a record context");
        XSync(control_, False);
        thread_ = std::thread([this] {
            if (!XRecordEnableContext(data_, context_, &Recorder::intercept, reinterpret_cast<XPointer>(this)))
                failed_ = true;
        });
        // The context is live once the server says the recording has begun.
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::seconds(10), [this] { return started_ || failed_; }))
            die("the recording did not start within 10 s");
        if (failed_)
            die("the server would not start the recording");
    }

    ~Recorder()
    {
        XRecordDisableContext(control_, context_);
        XSync(control_, False);
        if (thread_.joinable())
            thread_.join();
        XRecordFreeContext(control_, context_);
        XCloseDisplay(data_);
        XCloseDisplay(control_);
    }

    // The number of events recorded so far.
    size_t size()
    {
        std::lock_guard lock(mutex_);
        return events_.size();
    }

    // A copy of the events recorded from index from on.
    std::vector<Event> since(size_t from)
    {
        std::lock_guard lock(mutex_);
        return {events_.begin() + static_cast<std::ptrdiff_t>(std::min(from, events_.size())), events_.end()};
    }

    // Waits until predicate holds for the events from index from on, at most
    // timeout; returns whether it came to hold. The server holds recorded
    // events back until it next writes to some client, which may be never
    // while the pointer rests on the bare desktop; a round trip on the
    // waiting thread's own connection poke, every 10 ms, makes it write.
    template <typename Predicate>
    bool waitFor(Display* poke, size_t from, std::chrono::milliseconds timeout, Predicate predicate)
    {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                const auto slice = std::min(deadline, Clock::now() + std::chrono::milliseconds(10));
                if (arrived_.wait_until(lock, slice, [&] {
                        return predicate(std::span<const Event>(events_).subspan(std::min(from, events_.size())));
                    }))
                    return true;
            }
            if (Clock::now() >= deadline)
                return false;
            XSync(poke, False);
        }
    }

private:
    static void intercept(XPointer self, XRecordInterceptData* data)
    {
        auto* recorder = reinterpret_cast<Recorder*>(self);
        {
            std::lock_guard lock(recorder->mutex_);
            if (data->category == XRecordStartOfData) {
                recorder->started_ = true;
            } else if (data->category == XRecordFromServer && data->data_len * 4 >= sizeof(xEvent)) {
                const auto* event = reinterpret_cast<const xEvent*>(data->data);
                recorder->events_.push_back({event->u.u.type & 0x7f, event->u.keyButtonPointer.time,
                                             event->u.keyButtonPointer.rootX, event->u.keyButtonPointer.rootY,
                                             event->u.u.detail});
            }
        }
        recorder->arrived_.notify_all();
        XRecordFreeData(data);
    }

    Display* control_ = nullptr;
    Display* data_ = nullptr;
    XRecordContext context_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Event> events_;
    bool started_ = false;
    bool failed_ = false;
};

// Milliseconds from server time a to server time b (the clock wraps after 49 days).
double between(uint32_t a, uint32_t b)
{
    return static_cast<double>(static_cast<int32_t>(b - a));
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(std::ceil(fraction * values.size())) - 1);
    return values[index];
}

double median(const std::vector<double>& values)
{
    return percentile(values, 0.5);
}

std::vector<double> absoluteErrors(const std::vector<double>& values, double target)
{
    std::vector<double> errors;
    for (double v : values)
        errors.push_back(std::fabs(v - target));
    return errors;
}

// utime + stime of process pid in clock ticks, from /proc; nullopt once it has gone.
std::optional<long long> cpuTicks(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(file, text))
        return std::nullopt;
    // The command name may hold spaces; the fields after it are plain.
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    // Fields 3 to 15 of the line; utime and stime are 14 and 15.
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14)
            utime = std::atoll(field.c_str());
        if (number == 15)
            stime = std::atoll(field.c_str());
    }
    if (!fields)
        return std::nullopt;
    return utime + stime;
}


pid_t child = 0;

void stopChild()
{
    if (child > 0) {
        kill(child, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(child, nullptr, WNOHANG) == child) {
                child = 0;
                return;
            }
            sleepMs(50);
        }
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        child = 0;
    }
}

void childAlive(const char* during)
{
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
        child = 0;
        if (WIFSIGNALED(status))
            die(std::string("the keyboard was killed by signal ") + std::to_string(WTERMSIG(status)) + " " + during);
        die(std::string("the keyboard exited with status ") + std::to_string(WEXITSTATUS(status)) + " " + during);
    }
}

// A viewable window titled "Kelvo" of the keyboard's size, anywhere in the tree.
Window findKeyboard(Display* display, Window window)
{
    char* name = nullptr;
    bool titled = XFetchName(display, window, &name) && name && std::strcmp(name, "Kelvo") == 0;
    if (name)
        XFree(name);
    if (titled) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable
            && attributes.width == kWindowWidth && attributes.height == kWindowHeight)
            return window;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i)
        found = findKeyboard(display, children[i]);
    if (children)
        XFree(children);
    return found;
}

// Windows come and go while the tree is walked; a request about one that has
// just gone is no reason to stop.
int ignoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

// Where the window's top-left corner is on the screen.
bool windowOrigin(Display* display, Window window, int& x, int& y)
{
    Window unused = 0;
    return XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &unused);
}

struct Rest {
    uint32_t arrival = 0;           // server time of the MotionNotify onto the key
    std::vector<uint32_t> presses;  // server times of the KeyPress events while resting
    int afterLeaving = 0;           // KeyPress events stamped after the pointer left
    double latestAfterLeaving = 0;  // how long after the pointer left the last of them came, in ms
};

class Bench {
public:
    Bench(Display* display, Recorder& recorder, int keyX, int keyY, int nextX, int nextY, int offX, int offY)
        : display_(display), recorder_(recorder), keyX_(keyX), keyY_(keyY), nextX_(nextX), nextY_(nextY),
          offX_(offX), offY_(offY)
    {
    }

    // Moves the pointer to x, y and returns the server time of the motion, as recorded.
    uint32_t moveTo(int x, int y)
    {
        const size_t from = recorder_.size();
        XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
        XFlush(display_);
        uint32_t time = 0;
        const bool seen = recorder_.waitFor(display_, from, std::chrono::seconds(5), [&](std::span<const Event> events) {
            for (const Event& e : events)
                if (e.type == MotionNotify && e.rootX == x && e.rootY == y) {
                    time = e.time;
                    return true;
                }
            return false;
        });
        if (!seen) {
            Window root = 0, child = 0;
            int px = 0, py = 0, wx = 0, wy = 0;
            unsigned mask = 0;
            XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &px, &py, &wx, &wy, &mask);
            std::string recent;
            const auto events = recorder_.since(from);
            for (const Event& e : events)
                recent += " " + std::to_string(e.type) + "@" + std::to_string(e.rootX) + "," + std::to_string(e.rootY);
            die("the motion to " + std::to_string(x) + "," + std::to_string(y)
                + " was not recorded within 5 s; the pointer is at " + std::to_string(px) + "," + std::to_string(py)
                + "; events recorded meanwhile (type@x,y):" + (recent.empty() ? " none" : recent));
        }
        return time;
    }

    // Moves onto the key, waits for presses keystrokes (or until the pointer
    // has rested there for at least restMs, whichever is later) and moves off;
    // keystrokes arriving after the pointer left are counted for a short while.
    Rest rest(int presses, int restMs = 0)
    {
        Rest result;
        const size_t from = recorder_.size();
        const auto start = Clock::now();
        // Each rest lands one pixel beside the last: the toolkit drops a move
        // to the very point it saw last, even after the pointer was away, and
        // that is probed on its own (samePixel), not folded into the timing.
        lastX_ = (lastX_ == keyX_) ? keyX_ + 1 : keyX_;
        result.arrival = moveTo(lastX_, keyY_);
        const auto limit = std::chrono::milliseconds(static_cast<int>(presses * kTargetMs) + restMs + 3000);
        const bool enough = recorder_.waitFor(display_, from, limit, [&](std::span<const Event> events) {
            return std::count_if(events.begin(), events.end(), [](const Event& e) { return e.type == KeyPress; })
                   >= presses;
        });
        if (restMs > 0) {
            const auto end = start + std::chrono::milliseconds(restMs);
            std::this_thread::sleep_until(end);
        }
        const uint32_t left = moveTo(offX_, offY_);
        if (!enough && restMs == 0) {
            const auto got = recorder_.since(from);
            const long count = std::count_if(got.begin(), got.end(), [](const Event& e) { return e.type == KeyPress; });
            die("only " + std::to_string(count) + " keystrokes of " + std::to_string(presses) + " arrived within "
                + std::to_string(limit.count()) + " ms of resting on the key");
        }
        // A tick due just as the pointer left may still come; more than a
        // period later nothing should.
        sleepMs(static_cast<int>(kTargetMs * 1.5));
        for (const Event& e : recorder_.since(from)) {
            if (e.type != KeyPress)
                continue;
            if (between(left, e.time) > 0) {
                ++result.afterLeaving;
                result.latestAfterLeaving = std::max(result.latestAfterLeaving, between(left, e.time));
            }
            else
                result.presses.push_back(e.time);
        }
        return result;
    }

private:
    Display* display_;
    Recorder& recorder_;
    int keyX_, keyY_, nextX_, nextY_, offX_, offY_;
    int lastX_ = 0;

    // Whether a KeyPress stamped after server time since arrives within a second.
    bool typesAfter(size_t from, uint32_t since)
    {
        return recorder_.waitFor(display_, from, std::chrono::milliseconds(1000), [&](std::span<const Event> events) {
            return std::any_of(events.begin(), events.end(),
                               [&](const Event& e) { return e.type == KeyPress && between(since, e.time) >= 0; });
        });
    }

public:
    // Moves back onto the very pixel of the last rest and says whether a
    // keystroke came within a second; leaves the pointer off the keyboard.
    bool samePixel()
    {
        const size_t from = recorder_.size();
        const bool typed = typesAfter(from, moveTo(lastX_, keyY_));
        moveTo(offX_, offY_);
        sleepMs(static_cast<int>(kTargetMs * 1.5));
        return typed;
    }

    // Rests on "H" until it types, then jumps straight to "J" in one motion
    // and says whether "J" types within a second; leaves the pointer off the
    // keyboard.
    bool keyToKey()
    {
        size_t from = recorder_.size();
        lastX_ = (lastX_ == keyX_) ? keyX_ + 1 : keyX_;
        const bool first = typesAfter(from, moveTo(lastX_, keyY_));
        from = recorder_.size();
        const bool typed = first && typesAfter(from, moveTo(nextX_, nextY_));
        moveTo(offX_, offY_);
        sleepMs(static_cast<int>(kTargetMs * 1.5));
        return typed;
    }
};

} // namespace

int main(int argc, char** argv)
{
    bool quick = false;
    const char* timingsPath = nullptr;
    int first = 1;
    for (; first < argc; ++first) {
        if (std::strcmp(argv[first], "--short") == 0)
            quick = true;
        else if (std::strcmp(argv[first], "--timings") == 0 && first + 1 < argc)
            timingsPath = argv[++first];
        else
            break;
    }
    if (argc != first + 1) {
        std::fprintf(stderr, "usage: bench_dwell [--short] [--timings FILE] PATH-TO-KELVO\n");
        return 2;
    }
    const char* program = argv[first];
    const int keystrokeTarget = quick ? 22 : 200;
    const int keystrokesPerRest = 11;
    const int idleSeconds = quick ? 2 : 30;
    const int busySeconds = quick ? 11 : 30;
    const int driftRepeats = 50;

    Display* display = XOpenDisplay(nullptr);
    if (!display)
        die("cannot open the display; DISPLAY is \"" + std::string(std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "")
            + "\"");
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor))
        die("the display has no XTEST extension; the pointer cannot be moved");
    XSetErrorHandler(ignoreErrors);
    Recorder recorder(nullptr);

    // The pointer starts well away from where the keyboard will be.
    XTestFakeMotionEvent(display, DefaultScreen(display), 10, 10, CurrentTime);
    XSync(display, False);

    const auto launched = Clock::now();
    child = fork();
    if (child < 0)
        die("cannot fork");
    if (child == 0) {
        execl(program, program, static_cast<char*>(nullptr));
        std::fprintf(stderr, "bench_dwell: cannot run %s: %s\n", program, std::strerror(errno));
        _exit(127);
    }
    std::atexit(stopChild);
    std::signal(SIGINT, [](int) { std::exit(130); });
    std::signal(SIGTERM, [](int) { std::exit(143); });

    Window window = 0;
    while (!(window = findKeyboard(display, DefaultRootWindow(display)))) {
        childAlive("before its window appeared");
        if (Clock::now() - launched > std::chrono::seconds(20))
            die("no viewable 264x298 window titled \"Kelvo\" within 20 s of starting " + std::string(program));
        sleepMs(10);
    }
    // The window may be placed just after it is mapped: wait until it stays put.
    int x = -1, y = -1;
    for (int stable = 0, tries = 0; stable < 3; ++tries) {
        int nx = 0, ny = 0;
        if (!windowOrigin(display, window, nx, ny))
            die("the keyboard's window went away");
        stable = (nx == x && ny == y) ? stable + 1 : 0;
        x = nx;
        y = ny;
        if (tries > 200)
            die("the keyboard's window kept moving");
        sleepMs(50);
    }
    std::printf("keyboard window at %d,%d; pointer rests on key 7 \"H\" at %d,%d\n", x, y, x + kKeyCentreX,
                y + kKeyCentreY);
    std::fflush(stdout);

    Bench bench(display, recorder, x + kKeyCentreX, y + kKeyCentreY, x + kNextKeyCentreX, y + kNextKeyCentreY,
                x + kOffX, y + kOffY);
    bench.moveTo(x + kOffX, y + kOffY);

    // Short rests: the first keystroke's delay and the period of the repeats.
    std::vector<double> firstDelays, periods;
    int afterLeaving = 0, keystrokes = 0, rests = 0;
    double latestAfterLeaving = 0;
    while (keystrokes < keystrokeTarget) {
        childAlive("while resting on a key");
        const Rest rest = bench.rest(keystrokesPerRest);
        ++rests;
        keystrokes += static_cast<int>(rest.presses.size());
        afterLeaving += rest.afterLeaving;
        latestAfterLeaving = std::max(latestAfterLeaving, rest.latestAfterLeaving);
        if (rest.presses.empty())
            continue;
        firstDelays.push_back(between(rest.arrival, rest.presses.front()));
        for (size_t i = 1; i < rest.presses.size(); ++i)
            periods.push_back(between(rest.presses[i - 1], rest.presses[i]));
    }

    const bool samePixelTyped = bench.samePixel();
    const bool keyToKeyTyped = bench.keyToKey();

    // Idle: the pointer is away, so nothing should run at all.
    sleepMs(500);
    childAlive("before the idle measurement");
    const long idleKiB = residentKiB(child);
    const auto idleStart = Clock::now();
    const auto idleBefore = cpuTicks(child);
    sleepMs(idleSeconds * 1000);
    const auto idleAfter = cpuTicks(child);
    const double idleTaken = std::chrono::duration<double>(Clock::now() - idleStart).count();
    childAlive("while idle");

    // One long rest: CPU while typing, and the drift over its first repeats.
    const auto busyStart = Clock::now();
    const auto busyBefore = cpuTicks(child);
    const Rest longRest = bench.rest(driftRepeats + 1, busySeconds * 1000);
    const auto busyAfter = cpuTicks(child);
    const double busyTaken = std::chrono::duration<double>(Clock::now() - busyStart).count();
    childAlive("during the long rest");
    afterLeaving += longRest.afterLeaving;
    latestAfterLeaving = std::max(latestAfterLeaving, longRest.latestAfterLeaving);
    if (!longRest.presses.empty())
        firstDelays.push_back(between(longRest.arrival, longRest.presses.front()));

    if (timingsPath) {
        std::ofstream timings(timingsPath);
        for (double ms : firstDelays)
            timings << "first " << ms << '\n';
        for (double ms : periods)
            timings << "period " << ms << '\n';
        if (!timings)
            die(std::string("cannot write the timings to ") + timingsPath);
    }

    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    std::printf("dwell, first keystroke after arriving on a key, %zu rests: median %.0f ms, p95 |error| %.0f ms, max %.0f ms (target %.0f ms)\n",
                firstDelays.size(), median(firstDelays), percentile(absoluteErrors(firstDelays, kTargetMs), 0.95),
                firstDelays.empty() ? NAN : *std::max_element(firstDelays.begin(), firstDelays.end()), kTargetMs);
    std::printf("dwell, repeat period, %zu repeats in %d rests (%d keystrokes): median %.0f ms, p95 |error| %.0f ms, max %.0f ms (target %.0f ms)\n",
                periods.size(), rests, keystrokes, median(periods), percentile(absoluteErrors(periods, kTargetMs), 0.95),
                periods.empty() ? NAN : *std::max_element(periods.begin(), periods.end()), kTargetMs);
    if (longRest.presses.size() > static_cast<size_t>(driftRepeats)) {
        const double mean = between(longRest.presses[0], longRest.presses[driftRepeats]) / driftRepeats;
        std::printf("dwell, drift over one rest of %d repeats: (t%d - t0)/%d = %.1f ms, %+.1f ms a repeat, %+.0f ms after %d repeats (target %.0f ms)\n",
                    driftRepeats, driftRepeats, driftRepeats, mean, mean - kTargetMs,
                    (mean - kTargetMs) * driftRepeats, driftRepeats, kTargetMs);
    } else {
        std::printf("dwell, drift: only %zu keystrokes in a %d s rest, %d repeats wanted\n", longRest.presses.size(),
                    busySeconds, driftRepeats);
    }
    std::printf("dwell, keystrokes stamped after the pointer had left the key: %d in %d rests, the latest %.0f ms after (target 0; a tick due as the pointer leaves may slip through within the ~16 ms leave check)\n",
                afterLeaving, rests + 1, latestAfterLeaving);
    std::printf("dwell, pointer back on the very pixel where it left the key: %s (target: types)\n",
                samePixelTyped ? "types" : "typed nothing within 1 s");
    std::printf("dwell, pointer jumping in one motion from a typing key (\"H\") to the next (\"J\"): %s (target: types)\n",
                keyToKeyTyped ? "types" : "typed nothing within 1 s");
    if (idleBefore && idleAfter)
        std::printf("CPU idle, pointer away from the keyboard, %d s: %lld ticks of 1/%ld s, %.2f %% of one core (target 0 ticks)\n",
                    idleSeconds, *idleAfter - *idleBefore, ticksPerSecond,
                    100.0 * static_cast<double>(*idleAfter - *idleBefore) / (idleTaken * ticksPerSecond));
    if (busyBefore && busyAfter)
        std::printf("CPU resting on a key, typing every period, %d s: %lld ticks of 1/%ld s, %.2f %% of one core (target at most 1 %%)\n",
                    busySeconds, *busyAfter - *busyBefore, ticksPerSecond,
                    100.0 * static_cast<double>(*busyAfter - *busyBefore) / (busyTaken * ticksPerSecond));
    if (idleKiB > 0)
        std::printf("memory, resident while idle: %ld KiB\n", idleKiB);
    std::fflush(stdout);

    // The keyboard ends cleanly on SIGTERM; say so if it does not.
    kill(child, SIGTERM);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 100 && (ended = waitpid(child, &status, WNOHANG)) == 0; ++i)
        sleepMs(50);
    if (ended == child) {
        child = 0;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            std::printf("note: the keyboard ended with %s %d on SIGTERM (0 expected)\n",
                        WIFSIGNALED(status) ? "signal" : "status",
                        WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
    } else {
        std::printf("note: the keyboard was still running 5 s after SIGTERM; killed\n");
    }
    XCloseDisplay(display);
    return 0;
}
