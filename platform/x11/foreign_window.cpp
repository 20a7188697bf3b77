// Foreign windows over Xlib: the window under a root point, its size, and
// reading and writing its pixels. The display is opened on first use only,
// so the drawing conversion never opens one. X errors never end the process:
// a request that fails (a window that vanished, say) reports -1 instead. A
// lost X server does end it, as a failed run and silently.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "../gdi/foreign_window.h"
#include "x11.h"

namespace {

Display* g_display = nullptr;
int g_display_tried = 0;
int g_x_failed = 0;

int NoteXError(Display* display, XErrorEvent* event) {
    (void)display;
    (void)event;
    g_x_failed = 1;
    return 0;
}

// Without its server nothing that was asked of a window can be done, and
// Xlib's own handler would print a message and exit with 1.
int EndRunSilently(Display* display) {
    (void)display;
    _exit(255);  // -1 as an exit status
}

// The display for a new operation, with any error left over from an earlier
// one collected and forgotten, so that it is not blamed on this one.
Display* OpenDisplay(void) {
    if (!g_display_tried) {
        g_display_tried = 1;
        g_display = XOpenDisplay(nullptr);
        if (g_display) {
            XSetErrorHandler(NoteXError);
            EndRunWhenDisplayIsLost();
        }
    }
    if (g_display) {
        XSync(g_display, False);
        g_x_failed = 0;
    }
    return g_display;
}

// Runs the requests made since the last call to the server and says whether
// any of them failed.
int XFailedSince(Display* display) {
    XSync(display, False);
    int failed = g_x_failed;
    g_x_failed = 0;
    return failed;
}

Window WindowOf(HWND window) {
    return static_cast<Window>(reinterpret_cast<uintptr_t>(window));
}

// A window whose pixels are 0x00RRGGBB words: TrueColor at depth 24 or 32
// with the usual masks. Other visuals are not drawn into.
int HasWordPixels(Display* display, Window window, XWindowAttributes* attributes) {
    if (!XGetWindowAttributes(display, window, attributes) || XFailedSince(display)) return 0;
    const Visual* visual = attributes->visual;
    return (attributes->depth == 24 || attributes->depth == 32) && visual->c_class == TrueColor &&
           visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF;
}

}  // namespace

void EndRunWhenDisplayIsLost(void) {
    XSetIOErrorHandler(EndRunSilently);
}

HWND ForeignWindowAtPoint(int32_t x, int32_t y) {
    Display* display = OpenDisplay();
    if (!display) return nullptr;
    for (int screen = 0; screen < ScreenCount(display); screen++) {
        Window root = RootWindow(display, screen);
        if (x < 0 || y < 0 || x >= DisplayWidth(display, screen) || y >= DisplayHeight(display, screen))
            continue;
        // Descend to the deepest mapped child that holds the point: the root
        // itself over the bare desktop.
        Window found = root;
        for (int depth = 0; depth < 256; depth++) {
            int local_x, local_y;
            Window child = None;
            if (!XTranslateCoordinates(display, root, found, x, y, &local_x, &local_y, &child) ||
                XFailedSince(display) || child == None)
                break;
            found = child;
        }
        return reinterpret_cast<HWND>(static_cast<uintptr_t>(found));
    }
    return nullptr;
}

int ForeignWindowSize(HWND window, int32_t* width, int32_t* height) {
    Display* display = OpenDisplay();
    XWindowAttributes attributes;
    if (!display || !window || !XGetWindowAttributes(display, WindowOf(window), &attributes) ||
        XFailedSince(display))
        return -1;
    *width = attributes.width;
    *height = attributes.height;
    return 0;
}

int ReadForeignPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* words) {
    Display* display = OpenDisplay();
    XWindowAttributes attributes;
    if (!display || !window || width <= 0 || height <= 0 || !HasWordPixels(display, WindowOf(window), &attributes))
        return -1;
    XImage* image = XGetImage(display, WindowOf(window), x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (XFailedSince(display) || !image) {
        if (image) XDestroyImage(image);
        return -1;
    }
    // Words in this machine's byte order are copied as they are; any other
    // layout goes pixel by pixel.
    const int machine_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
    const int native = image->bits_per_pixel == 32 && image->byte_order == machine_order;
    for (int32_t row = 0; row < height; row++) {
        uint32_t* out = words + static_cast<size_t>(row) * width;
        if (native) {
            const char* line = image->data + static_cast<size_t>(row) * image->bytes_per_line;
            memcpy(out, line, static_cast<size_t>(width) * 4);
            for (int32_t column = 0; column < width; column++) out[column] &= 0x00FFFFFF;
            continue;
        }
        for (int32_t column = 0; column < width; column++)
            out[column] = static_cast<uint32_t>(XGetPixel(image, column, row)) & 0x00FFFFFF;
    }
    XDestroyImage(image);
    return 0;
}

int WriteForeignPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, const uint32_t* words,
                   int32_t stride_words) {
    Display* display = OpenDisplay();
    XWindowAttributes attributes;
    if (!display || !window || width <= 0 || height <= 0 || !HasWordPixels(display, WindowOf(window), &attributes))
        return -1;
    // The image borrows the caller's words; it is detached before it is freed.
    XImage* image = XCreateImage(display, attributes.visual, static_cast<unsigned>(attributes.depth), ZPixmap, 0,
                                 const_cast<char*>(reinterpret_cast<const char*>(words)),
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32,
                                 stride_words * 4);
    if (!image) return -1;
    int result = -1;
    GC gc = XCreateGC(display, WindowOf(window), 0, nullptr);
    if (gc) {
        XPutImage(display, WindowOf(window), gc, image, 0, 0, x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
        XFreeGC(display, gc);
        result = XFailedSince(display) ? -1 : 0;
    }
    image->data = nullptr;
    XDestroyImage(image);
    return result;
}
