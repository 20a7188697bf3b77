/* An example host for blitview, in plain C with Xlib: a window with a box in
 * it, a picture shown in the box by one blitview job, and the picture kept
 * on screen afterwards. See docs/hosting.md.
 *
 *   xlib_host MODE FILE [BLITVIEW]
 *
 * MODE is -b, -v or -d; BLITVIEW is the program to run, "blitview" (looked
 * up in PATH) by default. The host prints the command line it ran and the
 * exit status, and stays open until a key is pressed in its window or the
 * window is closed.
 *
 * Build: cc -o xlib_host xlib_host.c -lX11
 */
#include <X11/Xlib.h>
#include <errno.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

enum {
    WINDOW_WIDTH = 560,
    WINDOW_HEIGHT = 460,
    BOX_LEFT = 24,
    BOX_TOP = 24,
    BOX_WIDTH = 512,
    BOX_HEIGHT = 400,
    /* blitview fills the box with the colour the box's window shows three
     * rows below the box, so the window reaches that far. */
    BELOW_BOX = 3,
    /* Colours as 0xRRGGBB, turned into pixel values of the display's own
     * visual by Pixel(). */
    HOST_COLOUR = 0xD4D0C8,
    BOX_COLOUR = 0xECE9E0,
};

/* Runs one job and waits for it: the exit status, which is 0 or 255, or -1
 * when the program could not be run at all. */
static int RunJob(const char *program, const char *mode, const char *file, int x1, int y1, int x2, int y2) {
    char numbers[4][16];
    snprintf(numbers[0], sizeof numbers[0], "%d", x1);
    snprintf(numbers[1], sizeof numbers[1], "%d", y1);
    snprintf(numbers[2], sizeof numbers[2], "%d", x2);
    snprintf(numbers[3], sizeof numbers[3], "%d", y2);
    char *argv[] = {(char *)program, (char *)mode, (char *)file,
                    numbers[0], numbers[1], numbers[2], numbers[3], NULL};
    fflush(stdout);
    pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        execvp(program, argv);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) return -1;
    return WEXITSTATUS(status);
}

/* The pixel value that shows the colour 0xRRGGBB on the default visual,
 * whatever its depth: a read-only colormap cell, or white where none is
 * left. */
static unsigned long Pixel(Display *display, unsigned rgb) {
    XColor colour;
    colour.red = (unsigned short)((rgb >> 16 & 0xFF) * 0x101);
    colour.green = (unsigned short)((rgb >> 8 & 0xFF) * 0x101);
    colour.blue = (unsigned short)((rgb & 0xFF) * 0x101);
    if (!XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &colour))
        return WhitePixel(display, DefaultScreen(display));
    return colour.pixel;
}

int main(int argc, char **argv) {
    if (argc < 3 || argc > 4) {
        fprintf(stderr, "usage: xlib_host -b|-v|-d FILE [BLITVIEW]\n");
        return 2;
    }
    const char *mode = argv[1], *file = argv[2], *program = argc == 4 ? argv[3] : "blitview";
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "xlib_host: cannot open the display\n");
        return 1;
    }
    Window root = DefaultRootWindow(display);
    Window window = XCreateSimpleWindow(display, root, 40, 40, WINDOW_WIDTH, WINDOW_HEIGHT, 0, 0,
                                        Pixel(display, HOST_COLOUR));
    XStoreName(display, window, "blitview host");
    Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &delete_window, 1);
    XSelectInput(display, window, KeyPressMask);

    /* The box is a native child window of its own: blitview draws into the
     * deepest window under (x1, y1), at that window's origin. */
    Window box = XCreateSimpleWindow(display, window, BOX_LEFT, BOX_TOP, BOX_WIDTH, BOX_HEIGHT + BELOW_BOX, 0, 0,
                                     Pixel(display, BOX_COLOUR));
    XSelectInput(display, box, ExposureMask);
    XMapWindow(display, box);
    XMapWindow(display, window);

    /* Wait until the box is on screen: drawing into an unmapped window
     * shows nothing. */
    XEvent event;
    do XNextEvent(display, &event);
    while (event.type != Expose || event.xexpose.window != box);
    XSync(display, False);

    /* The root coordinates of the box's origin, wherever a window manager
     * has put the window. A window manager may still move it after it first
     * shows (weston places an XWayland window a moment later), and a job
     * that met the move halfway has drawn part of the picture elsewhere: it
     * runs again at the new place. */
    int x1 = 0, y1 = 0, status = -1;
    for (int attempt = 0; attempt < 5; attempt++) {
        int now_x = 0, now_y = 0;
        Window child;
        XTranslateCoordinates(display, box, root, 0, 0, &x1, &y1, &child);
        status = RunJob(program, mode, file, x1, y1, x1 + BOX_WIDTH, y1 + BOX_HEIGHT);
        XTranslateCoordinates(display, box, root, 0, 0, &now_x, &now_y, &child);
        if (now_x == x1 && now_y == y1) break;
    }
    printf("%s %s %s %d %d %d %d: exit status %d\n", program, mode, file, x1, y1, x1 + BOX_WIDTH,
           y1 + BOX_HEIGHT, status);
    fflush(stdout);

    /* blitview has exited and will not repaint: the pixels are the host's
     * now. A copy becomes the box's background, which the X server paints
     * back by itself whenever part of the box is exposed again. */
    Pixmap kept = None;
    if (status == 0) {
        XWindowAttributes attributes;
        XGetWindowAttributes(display, box, &attributes);
        kept = XCreatePixmap(display, box, (unsigned)attributes.width, (unsigned)attributes.height,
                             (unsigned)attributes.depth);
        GC gc = XCreateGC(display, kept, 0, NULL);
        XSetGraphicsExposures(display, gc, False);
        XCopyArea(display, box, kept, gc, 0, 0, (unsigned)attributes.width, (unsigned)attributes.height, 0, 0);
        XFreeGC(display, gc);
        XSetWindowBackgroundPixmap(display, box, kept);
        XSync(display, False);
    }

    for (;;) {
        XNextEvent(display, &event);
        if (event.type == KeyPress) break;
        if (event.type == ClientMessage && (Atom)event.xclient.data.l[0] == delete_window) break;
    }
    if (kept != None) XFreePixmap(display, kept);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return status == 0 ? 0 : 1;
}
