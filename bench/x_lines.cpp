// The X server's own lines beside blitview's: the job of "-v PATH x1 y1 x2 y2"
// done the way a plain Xlib client would do it. The window under (x1, y1) is
// found as blitview finds it, the box is prepared in it (the background
// sampled below the box, the white picture rectangle, its frame), and each
// polyline of the vector file goes to the server as one XDrawLines with a
// GC of line width 0, clipped to the picture rectangle, placed and scaled
// by the same rules. The run ends once the server has drawn everything.
// Exit 0, or 1 when anything fails. Built with the benchmarks only, and like
// blitview without the C++ library, whose loading would be timed too.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "drawing/drawing.h"
#include "present/present.h"

namespace {

unsigned long ChannelValue(unsigned long mask, unsigned value) {
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) shift++;
    int bits = 0;
    while ((mask >> (shift + bits)) & 1) bits++;
    return (static_cast<unsigned long>(value) >> (8 - bits) << shift) & mask;
}

// The pixel of a COLORREF on a true-colour visual.
unsigned long PixelOf(const Visual* visual, COLORREF colour) {
    return ChannelValue(visual->red_mask, GetRValue(colour)) | ChannelValue(visual->green_mask, GetGValue(colour)) |
           ChannelValue(visual->blue_mask, GetBValue(colour));
}

// The deepest mapped window that holds the root point.
Window WindowAt(Display* display, int x, int y) {
    const Window root = DefaultRootWindow(display);
    Window found = root;
    for (int depth = 0; depth < 256; depth++) {
        int local_x, local_y;
        Window child = None;
        if (!XTranslateCoordinates(display, root, found, x, y, &local_x, &local_y, &child) || child == None) break;
        found = child;
    }
    return found;
}

int16_t Short(int32_t value) {
    return static_cast<int16_t>(value < INT16_MIN ? INT16_MIN : value > INT16_MAX ? INT16_MAX : value);
}

uint16_t U16(const unsigned char* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7 || strcmp(argv[1], "-v") != 0) {
        fprintf(stderr, "usage: x_lines -v PATH x1 y1 x2 y2\n");
        return 1;
    }
    char path[4096];
    const size_t length = strlen(argv[2]);
    if (length < 3 || length >= sizeof path) return 1;
    memcpy(path, argv[2], length - 3);
    memcpy(path + length - 3, "VCT", 4);
    const int x1 = atoi(argv[3]), y1 = atoi(argv[4]);
    const int box_width = atoi(argv[5]) - x1, box_height = atoi(argv[6]) - y1;
    FILE* file = fopen(path, "rb");
    unsigned char head[4];
    if (!file || fread(head, 1, 4, file) != 4) return 1;
    const uint16_t width = U16(head), height = U16(head + 2);
    if (!width || !height) return 1;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    const Window window = WindowAt(display, x1, y1);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || attributes.visual->c_class != TrueColor) return 1;
    const Visual* visual = attributes.visual;

    const BoxPlacement p = FitToBox(box_width, box_height, width, height);
    const float scale = static_cast<float>(static_cast<double>(p.fitted_width) / width);
    GC gc = XCreateGC(display, window, 0, nullptr);
    XImage* sample = XGetImage(display, window, 0, box_height + 2, 1, 1, AllPlanes, ZPixmap);
    XSetForeground(display, gc, sample ? XGetPixel(sample, 0, 0) : 0);
    if (sample) XDestroyImage(sample);
    XFillRectangle(display, window, gc, 0, 0, box_width, box_height);
    XSetForeground(display, gc, PixelOf(visual, RGB(255, 255, 255)));
    XFillRectangle(display, window, gc, p.left, p.top, p.fitted_width, p.fitted_height);
    XSetForeground(display, gc, PixelOf(visual, FRAME_COLOR));
    XSetLineAttributes(display, gc, 2, LineSolid, CapButt, JoinMiter);
    XDrawRectangle(display, window, gc, p.left, p.top, p.fitted_width, p.fitted_height);

    XSetLineAttributes(display, gc, 0, LineSolid, CapButt, JoinMiter);
    XRectangle clip = {Short(p.left), Short(p.top), static_cast<unsigned short>(p.fitted_width),
                       static_cast<unsigned short>(p.fitted_height)};
    XSetClipRectangles(display, gc, 0, 0, &clip, 1, YXBanded);
    // Room for the longest record, its points read as they are stored.
    unsigned char* bytes = static_cast<unsigned char*>(malloc(4 * 65535));
    XPoint* points = static_cast<XPoint*>(malloc(sizeof(XPoint) * 65535));
    int failed = !bytes || !points;
    while (!failed && fread(head, 1, 4, file) == 4) {
        const uint16_t colour_index = U16(head), count = U16(head + 2);
        if (colour_index >= DRAWING_PALETTE_SIZE || fread(bytes, 4, count, file) != count) {
            failed = 1;
            break;
        }
        for (size_t i = 0; i < count; i++) {
            const int16_t x = static_cast<int16_t>(U16(&bytes[4 * i]));
            const int16_t y = static_cast<int16_t>(U16(&bytes[4 * i + 2]));
            points[i].x = Short(p.left + ScaleCoordinate(x, scale));
            points[i].y = Short(p.top + ScaleCoordinate(y, scale));
        }
        if (count < 2) continue;
        XSetForeground(display, gc, PixelOf(visual, DrawingPalette[colour_index]));
        XDrawLines(display, window, gc, points, count, CoordModeOrigin);
    }
    free(points);
    free(bytes);
    fclose(file);
    XFreeGC(display, gc);
    XSync(display, False);
    XCloseDisplay(display);
    return failed;
}
