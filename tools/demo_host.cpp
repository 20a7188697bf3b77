// Stands in for a host application in the demo: maps a window, runs a
// blitview command line against it, and saves what the window then shows.
//   demo_host X Y WIDTH HEIGHT OUT.png BLITVIEW ARGS...
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "../pictures/pictures.h"

namespace {

int RunAndWait(char** argv) {
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        fprintf(stderr, "usage: demo_host X Y WIDTH HEIGHT OUT.png BLITVIEW ARGS...\n");
        return 2;
    }
    const int x = atoi(argv[1]), y = atoi(argv[2]), width = atoi(argv[3]), height = atoi(argv[4]);
    if (width <= 0 || height <= 0) {
        fprintf(stderr, "demo_host: the window needs a size\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        fprintf(stderr, "demo_host: no X display\n");
        return 1;
    }
    // A light grey host window without decorations, exactly where asked.
    XSetWindowAttributes attributes = {};
    attributes.override_redirect = True;
    attributes.background_pixel = 0xD8D8D8;
    attributes.event_mask = ExposureMask;
    Window window = XCreateWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                  CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
    XMapRaised(display, window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == Expose) break;
    }
    XSync(display, False);

    const int status = RunAndWait(argv + 6);
    printf("blitview exited with %d\n", status);

    int result = 1;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (image) {
        std::vector<uint32_t> words(static_cast<size_t>(width) * height);
        for (int row = 0; row < height; row++)
            for (int column = 0; column < width; column++)
                words[static_cast<size_t>(row) * width + column] = static_cast<uint32_t>(XGetPixel(image, column, row));
        XDestroyImage(image);
        char error[512] = "";
        result = SavePicture(argv[5], PICTURE_PNG, words.data(), width, width, height, error, sizeof error) == 0 ? 0 : 1;
        if (result != 0) fprintf(stderr, "demo_host: %s\n", error);
    }
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return status == 0 ? result : 1;
}
