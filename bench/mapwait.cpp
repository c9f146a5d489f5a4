// Starts a program and prints the milliseconds from its start to the first
// top-level window mapped on the display, then ends the program. For timing
// how long a window takes to open: run it on a display of its own (Xvfb),
// where no other client maps windows meanwhile.
//
//     mapwait [--timeout SECONDS] PROGRAM [ARGUMENT...]
//
// Exit status: 0 with the time on standard output; 1 when no window was
// mapped in time or the program ended first; 2 for a usage or display error.
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Ends the program and whatever it started in its process group.
void endProgram(pid_t pid)
{
    kill(-pid, SIGTERM);
    for (int tenths = 0; tenths < 50; ++tenths) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return;
        }
        usleep(100 * 1000);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Whether a map notice of a window that a window manager would manage (not a
// menu, tool tip or other override-redirect window) arrived.
bool topLevelMapped(xcb_connection_t *connection)
{
    bool mapped = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto *notice = reinterpret_cast<xcb_map_notify_event_t *>(event);
            mapped = mapped || !notice->override_redirect;
        }
        std::free(event);
    }
    return mapped;
}
}

int main(int argc, char **argv)
{
    int first = 1;
    int timeoutSeconds = 60;
    if (argc > 2 && std::strcmp(argv[1], "--timeout") == 0) {
        timeoutSeconds = std::atoi(argv[2]);
        first = 3;
    }
    if (first >= argc || timeoutSeconds <= 0) {
        std::fprintf(stderr, "usage: %s [--timeout SECONDS] PROGRAM [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)> connection(xcb_connect(nullptr, nullptr), xcb_disconnect);
    if (xcb_connection_has_error(connection.get())) {
        std::fprintf(stderr, "mapwait: cannot connect to the display\n");
        return 2;
    }
    // Every window the program maps directly on the screen is a child of the root.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_void_cookie_t selected = xcb_change_window_attributes_checked(connection.get(), root, XCB_CW_EVENT_MASK, &mask);
    if (xcb_generic_error_t *error = xcb_request_check(connection.get(), selected)) {
        std::free(error);
        std::fprintf(stderr, "mapwait: cannot watch the root window\n");
        return 2;
    }

    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("mapwait: fork");
        return 2;
    }
    if (pid == 0) {
        setpgid(0, 0);
        execvp(argv[first], argv + first);
        std::perror("mapwait: exec");
        _exit(127);
    }
    setpgid(pid, pid);

    pollfd display{xcb_get_file_descriptor(connection.get()), POLLIN, 0};
    for (;;) {
        if (topLevelMapped(connection.get())) {
            std::printf("%.1f\n", millisecondsSince(start));
            std::fflush(stdout);
            endProgram(pid);
            return 0;
        }
        if (xcb_connection_has_error(connection.get())) {
            std::fprintf(stderr, "mapwait: lost the display\n");
            endProgram(pid);
            return 2;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "mapwait: %s ended before it mapped a window\n", argv[first]);
            return 1;
        }
        if (millisecondsSince(start) > timeoutSeconds * 1000.0) {
            std::fprintf(stderr, "mapwait: no window within %d s\n", timeoutSeconds);
            endProgram(pid);
            return 1;
        }
        // Wakes for the display or every 50 ms to look after the program.
        if (poll(&display, 1, 50) < 0 && errno != EINTR) {
            std::perror("mapwait: poll");
            endProgram(pid);
            return 2;
        }
    }
}
