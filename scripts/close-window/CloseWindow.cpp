// Waits for a mapped top-level window with the given title and asks it to close, the way a window
// manager does when the user clicks the close button: a WM_DELETE_WINDOW client message. Needs no
// window manager, so it works on a bare virtual X server.
//   tavrin-close-window TITLE SECONDS

#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr auto PollInterval = std::chrono::milliseconds(100);

constexpr int Closed = 0;
constexpr int UsageError = 2;
constexpr int NoDisplay = 3;
constexpr int NotShown = 4;
constexpr int NoCloseProtocol = 5;

std::string titleOf(Display *display, Window window)
{
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char *data = nullptr;
    std::string title;
    if (XGetWindowProperty(
            display, window, netName, 0, 1024, False, utf8, &type, &format, &count, &remaining, &data)
            == Success
        && data) {
        title.assign(reinterpret_cast<const char *>(data), count);
        XFree(data);
        return title;
    }
    char *name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

// Without a window manager the program's windows are children of the root window themselves.
Window findShownWindow(Display *display, const std::string &title)
{
    Window root = 0;
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable
            && titleOf(display, children[i]) == title)
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

bool acceptsCloseRequests(Display *display, Window window, Atom deleteWindow)
{
    Atom *protocols = nullptr;
    int count = 0;
    if (!XGetWMProtocols(display, window, &protocols, &count))
        return false;
    bool accepts = false;
    for (int i = 0; i < count; ++i)
        accepts = accepts || protocols[i] == deleteWindow;
    XFree(protocols);
    return accepts;
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc == 3 ? std::atoi(argv[2]) : 0;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s TITLE SECONDS\n", argv[0]);
        return UsageError;
    }
    const std::string title = argv[1];
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cannot open the X display\n");
        return NoDisplay;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    Window window = 0;
    while (!(window = findShownWindow(display, title)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(PollInterval);
    if (!window) {
        std::fprintf(stderr, "no window \"%s\" shown within %d s\n", title.c_str(), seconds);
        XCloseDisplay(display);
        return NotShown;
    }

    XWindowAttributes attributes;
    XGetWindowAttributes(display, window, &attributes);
    std::printf("window \"%s\" shown at %dx%d\n", title.c_str(), attributes.width, attributes.height);

    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    if (!acceptsCloseRequests(display, window, deleteWindow)) {
        std::fprintf(stderr, "the window does not take close requests\n");
        XCloseDisplay(display);
        return NoCloseProtocol;
    }
    XEvent request;
    std::memset(&request, 0, sizeof request);
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = protocols;
    request.xclient.format = 32;
    request.xclient.data.l[0] = static_cast<long>(deleteWindow);
    request.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &request);
    XCloseDisplay(display);
    std::printf("close request sent\n");
    return Closed;
}
