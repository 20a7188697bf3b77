#include "x11_host.h"

#include <X11/Xutil.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int OpenHostWindow(HostWindow* host, int x, int y, int width, int height, uint32_t rgb) {
    host->display = XOpenDisplay(nullptr);
    if (!host->display) return -1;
    Display* d = host->display;
    XSetWindowAttributes attributes = {};
    attributes.override_redirect = True;  // placed exactly where asked
    attributes.background_pixel = rgb;
    attributes.event_mask = ExposureMask | StructureNotifyMask;
    host->window = XCreateWindow(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(width),
                                 static_cast<unsigned>(height), 0, 24, InputOutput,
                                 DefaultVisual(d, DefaultScreen(d)),
                                 CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    host->x = x;
    host->y = y;
    host->width = width;
    host->height = height;
    XMapRaised(d, host->window);
    for (;;) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.type == Expose && event.xexpose.window == host->window) break;
    }
    PaintHostWindow(*host, 0, 0, width, height, rgb);
    return 0;
}

void CloseHostWindow(HostWindow* host) {
    if (!host->display) return;
    XDestroyWindow(host->display, host->window);
    XCloseDisplay(host->display);
    host->display = nullptr;
}

void PaintHostWindow(const HostWindow& host, int x, int y, int width, int height, uint32_t rgb) {
    GC gc = XCreateGC(host.display, host.window, 0, nullptr);
    XSetForeground(host.display, gc, rgb);
    XFillRectangle(host.display, host.window, gc, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFreeGC(host.display, gc);
    XSync(host.display, False);
}

std::vector<uint32_t> ReadHostWindow(const HostWindow& host) {
    std::vector<uint32_t> words(static_cast<size_t>(host.width) * host.height);
    XSync(host.display, False);
    XImage* image = XGetImage(host.display, host.window, 0, 0, static_cast<unsigned>(host.width),
                              static_cast<unsigned>(host.height), AllPlanes, ZPixmap);
    if (!image) return words;
    for (int row = 0; row < host.height; row++)
        for (int column = 0; column < host.width; column++)
            words[static_cast<size_t>(row) * host.width + column] =
                static_cast<uint32_t>(XGetPixel(image, column, row)) & 0xFFFFFF;
    XDestroyImage(image);
    return words;
}

int RunBlitviewWithin(const std::vector<std::string>& arguments, const RunLimits& limits, struct rusage* usage) {
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (limits.directory && chdir(limits.directory) != 0) _exit(127);
        const rlimit limit = {limits.address_space, limits.address_space};
        if (limits.address_space && setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
        if (limits.seconds) alarm(limits.seconds);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(BLITVIEW_PATH));
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(BLITVIEW_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage used = {};
    if (wait4(child, &status, 0, &used) != child || !WIFEXITED(status)) return -1;
    if (usage) *usage = used;
    return WEXITSTATUS(status);
}
