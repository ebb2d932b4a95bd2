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
//
// A title matches when the window's WM_NAME or _NET_WM_NAME is exactly TITLE.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <signal.h>
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
    if (!isStartup && !isMoving) {
        std::fprintf(stderr, "usage: pelmora-bench-window startup TIMEOUT_MS TITLE PROGRAM [ARG...]\n"
                             "       pelmora-bench-window moving WINDOW_ID\n");
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
    const int status = isStartup
        ? startup(display, std::atoi(argv[2]), argv[3], argv + 4)
        : moving(display, Window(std::strtoul(argv[2], nullptr, 0)));
    XCloseDisplay(display);
    return status;
}
