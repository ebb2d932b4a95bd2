// Watches windows on the X display for scripts/bench, straight through Xlib (no toolkit of its
// own, so it costs the measured programs next to nothing):
//
//   pelmora-bench-window startup TIMEOUT_MS TITLE PROGRAM [ARGUMENT...]
//       Starts PROGRAM (in the current directory) and prints the milliseconds from its start until
//       a top-level window titled TITLE is mapped ("RESULT startup_ms=…"), then ends it.
//   pelmora-bench-window moving WINDOW_ID
//       Prints "moving" when the bottom strip of the window (its lowest 16 pixels, without the
//       16-pixel picture at its left) changes between pictures taken 0.2 s apart over 2.4 s, and
//       "still" otherwise. That strip holds the main window's scrolling caption.
//   pelmora-bench-window mapped TIMEOUT_MS TITLE
//       Listens for windows being mapped and prints "READY" once it does; when a top-level window
//       titled TITLE is mapped, prints "MAPPED <seconds>", and when that window is unmapped or
//       destroyed, "GONE <seconds>", then ends. The seconds are CLOCK_MONOTONIC's (Python's
//       time.monotonic()), so the script that caused the window can take the difference. Fails
//       when TIMEOUT_MS passes before either.
//
// A title matches when the window's WM_NAME or _NET_WM_NAME is exactly TITLE.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <signal.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The window's title as UTF-8 from WM_NAME (any encoding Xlib knows), or from _NET_WM_NAME.
std::vector<std::string> titles(Display* display, Window window)
{
    std::vector<std::string> names;
    XTextProperty text{};
    if (XGetWMName(display, window, &text) && text.value) {
        char** list = nullptr;
        int count = 0;
        if (Xutf8TextPropertyToTextList(display, &text, &list, &count) >= Success && list) {
            for (int i = 0; i < count; ++i)
                names.emplace_back(list[i]);
            XFreeStringList(list);
        }
        XFree(text.value);
    }
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* value = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024,
                           False, XInternAtom(display, "UTF8_STRING", False), &type, &format,
                           &items, &after, &value) == Success && value) {
        names.emplace_back(reinterpret_cast<const char*>(value), items);
        XFree(value);
    }
    return names;
}

// A window may be gone by the time its title is asked for; Xlib's own handler would end the probe.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }

bool titled(Display* display, Window window, const std::string& title)
{
    for (const std::string& name : titles(display, window))
        if (name == title)
            return true;
    return false;
}

double monotonicSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Waits for the next event of the display until `deadline`: false when it passed.
bool nextEvent(Display* display, Clock::time_point deadline, XEvent& event)
{
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    while (XPending(display) == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        ::poll(&fd, 1, int(left.count()) + 1);
    }
    XNextEvent(display, &event);
    return true;
}

int mapped(Display* display, int timeoutMs, const std::string& title)
{
    XSetErrorHandler(ignoreErrors);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    std::printf("READY\n");
    std::fflush(stdout);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Window board = None;
    XEvent event;
    while (nextEvent(display, deadline, event)) {
        if (board == None && event.type == MapNotify && titled(display, event.xmap.window, title)) {
            board = event.xmap.window;
            std::printf("MAPPED %.6f\n", monotonicSeconds());
            std::fflush(stdout);
        } else if (board != None
                   && ((event.type == UnmapNotify && event.xunmap.window == board)
                       || (event.type == DestroyNotify && event.xdestroywindow.window == board))) {
            std::printf("GONE %.6f\n", monotonicSeconds());
            return 0;
        }
    }
    std::fprintf(stderr, "pelmora-bench-window: no window \"%s\" %s within %d ms\n", title.c_str(),
                 board == None ? "mapped" : "gone", timeoutMs);
    return 1;
}

void endChild(pid_t child)
{
    ::kill(child, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(child, nullptr, WNOHANG) == child)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

int startup(Display* display, int timeoutMs, const std::string& title, char** program)
{
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    const auto start = Clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(program[0], program);
        std::perror("pelmora-bench-window: exec");
        std::_Exit(127);
    }
    if (child < 0) {
        std::perror("pelmora-bench-window: fork");
        return 1;
    }
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    while (true) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify)
                continue;
            for (const std::string& name : titles(display, event.xmap.window)) {
                if (name != title)
                    continue;
                const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start);
                std::printf("RESULT startup_ms=%.1f\nRESULT window=%lu\n", elapsed.count(),
                            static_cast<unsigned long>(event.xmap.window));
                std::fflush(stdout);
                endChild(child);
                return 0;
            }
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        if (elapsed.count() > timeoutMs || ::waitpid(child, nullptr, WNOHANG) == child) {
            std::fprintf(stderr, "pelmora-bench-window: no window \"%s\" within %d ms\n",
                         title.c_str(), timeoutMs);
            endChild(child);
            return 1;
        }
        ::poll(&fd, 1, 50);
    }
}

int moving(Display* display, Window window)
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.width <= 24
        || attributes.height <= 16 || attributes.map_state != IsViewable) {
        std::fprintf(stderr, "pelmora-bench-window: no such window on screen\n");
        return 1;
    }
    const int left = 20;
    const int top = attributes.height - 16;
    const auto width = unsigned(attributes.width - left);
    std::vector<std::string> pictures;
    for (int i = 0; i < 13; ++i) {
        if (i > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        XImage* image = XGetImage(display, window, left, top, width, 16, AllPlanes, ZPixmap);
        if (!image) {
            std::fprintf(stderr, "pelmora-bench-window: cannot read the window\n");
            return 1;
        }
        pictures.emplace_back(image->data, std::size_t(image->bytes_per_line) * 16);
        XDestroyImage(image);
    }
    int changes = 0;
    for (std::size_t i = 1; i < pictures.size(); ++i)
        changes += pictures[i] != pictures[i - 1];
    // The caption is out of sight for about a second of each 4.3-second pass; the rest of the
    // time it changes the strip every 20 ms.
    std::printf("%s\n", changes >= 3 ? "moving" : "still");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool isStartup = argc >= 5 && std::strcmp(argv[1], "startup") == 0;
    const bool isMoving = argc == 3 && std::strcmp(argv[1], "moving") == 0;
    const bool isMapped = argc == 4 && std::strcmp(argv[1], "mapped") == 0;
    if (!isStartup && !isMoving && !isMapped) {
        std::fprintf(stderr, "usage: pelmora-bench-window startup TIMEOUT_MS TITLE PROGRAM [ARG...]\n"
                             "       pelmora-bench-window moving WINDOW_ID\n"
                             "       pelmora-bench-window mapped TIMEOUT_MS TITLE\n");
        return 2;
    }
    // Xlib converts window titles to UTF-8 only under a UTF-8 locale.
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        std::setlocale(LC_CTYPE, "");
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "pelmora-bench-window: cannot open the display\n");
        return 1;
    }
    const int status = isStartup ? startup(display, std::atoi(argv[2]), argv[3], argv + 4)
        : isMapped               ? mapped(display, std::atoi(argv[2]), argv[3])
                                 : moving(display, Window(std::strtoul(argv[2], nullptr, 0)));
    XCloseDisplay(display);
    return status;
}
