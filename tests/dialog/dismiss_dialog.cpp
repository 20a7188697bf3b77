// Waits for the message box on the X display, checks that exactly one is
// shown and that the process showing it is still waiting, dismisses it with
// a key press sent to it, and waits for it to go.
//
//   dismiss_dialog TITLE KEYSYM_NAME PID
// Prints "dialogs N" (the most seen at once) and exits 0 when exactly one
// appeared, PID was alive while it was up, and it was gone afterwards.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include "../fixtures/tool_start.h"
#include "../fixtures/x11_host.h"

namespace {

int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

// Mapped top-level windows whose name is `title`; the first one in *found.
int CountDialogs(Display* display, const char* title, Window* found) {
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned count = 0;
    int matches = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count; i++) {
        XWindowAttributes attributes;
        char* name = nullptr;
        if (!XGetWindowAttributes(display, children[i], &attributes) || attributes.map_state != IsViewable) continue;
        if (XFetchName(display, children[i], &name) && name && strcmp(name, title) == 0) {
            if (matches++ == 0) *found = children[i];
        }
        if (name) XFree(name);
    }
    if (children) XFree(children);
    return matches;
}

void Sleep(long milliseconds) {
    struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000};
    nanosleep(&pause, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (CheckUsage(argc, 4, "dismiss_dialog TITLE KEYSYM_NAME PID") != 0) return 2;
    Display* display = OpenDisplayOrSay("dismiss_dialog");
    if (!display) return 2;
    XSetErrorHandler(IgnoreError);
    pid_t pid = static_cast<pid_t>(atol(argv[3]));
    Window dialog = 0;
    int most = 0;
    for (int waited = 0; waited < 30000 && most == 0; waited += 50) {
        most = CountDialogs(display, argv[1], &dialog);
        if (most == 0) Sleep(50);
    }
    // Give a second dialog, if any, the time to show up too.
    for (int i = 0; i < 10 && most > 0; i++) {
        Sleep(50);
        Window ignored;
        int now = CountDialogs(display, argv[1], &ignored);
        if (now > most) most = now;
    }
    int waiting = most > 0 && kill(pid, 0) == 0;
    if (most > 0) {
        XKeyEvent key;
        memset(&key, 0, sizeof key);
        key.display = display;
        key.window = dialog;
        key.root = DefaultRootWindow(display);
        key.time = CurrentTime;
        key.same_screen = True;
        key.keycode = XKeysymToKeycode(display, XStringToKeysym(argv[2]));
        key.type = KeyPress;
        XSendEvent(display, dialog, True, KeyPressMask, reinterpret_cast<XEvent*>(&key));
        key.type = KeyRelease;
        XSendEvent(display, dialog, True, KeyReleaseMask, reinterpret_cast<XEvent*>(&key));
        XFlush(display);
    }
    int gone = 0;
    for (int waited = 0; waited < 10000 && most > 0 && !gone; waited += 50) {
        Window ignored;
        gone = CountDialogs(display, argv[1], &ignored) == 0;
        if (!gone) Sleep(50);
    }
    printf("dialogs %d\n", most);
    if (most > 0 && !waiting) printf("the process was not waiting for the dialog\n");
    if (most > 0 && !gone) printf("the dialog stayed up\n");
    XCloseDisplay(display);
    return most == 1 && waiting && gone ? 0 : 1;
}
