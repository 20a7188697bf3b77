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

// Whether a request has gone out that the server has not yet answered:
// only then may an error still be on its way. Requests are answered in
// order, so once the last one is, every earlier error has been handled.
int Unanswered(Display* display) {
    return NextRequest(display) - 1 != LastKnownRequestProcessed(display);
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
        if (Unanswered(g_display)) XSync(g_display, False);
        g_x_failed = 0;
    }
    return g_display;
}

// Runs the requests made since the last call to the server and says whether
// any of them failed.
int XFailedSince(Display* display) {
    if (Unanswered(display)) XSync(display, False);
    int failed = g_x_failed;
    g_x_failed = 0;
    return failed;
}

Window WindowOf(HWND window) {
    return static_cast<Window>(reinterpret_cast<uintptr_t>(window));
}

// How a window's pixel values stand for colours. TrueColor values hold each
// channel in a mask of their own; the colormapped classes hold an index into
// the window's colormap. DirectColor is not drawn into: its values index
// three ramps that the window's owner loads and may load again at any time,
// and a shared cell there takes an entry of each ramp, so a picture drawn
// through today's ramps has no colours of its own.
enum { FORMAT_MASKS, FORMAT_COLORMAP };

struct Channel {
    int shift;
    int bits;
};

struct PixelFormat {
    int kind;
    Visual* visual;
    int depth;
    Colormap colormap;
    Channel red, green, blue;
    unsigned long alpha_mask;  // bits of the value outside every colour mask
    int gray;
    int writable;  // a colormap whose cells are allocated, not all fixed
    int significant_bits;  // of each channel in a colormap cell
    int entries;
    // 32-bit values laid out 0x00RRGGBB in this machine's byte order: the
    // words are copied as they are.
    int plain_words;
};

// What a colormap holds: each entry as a 0x00RRGGBB word, and the pixel
// already known for some colours, taken from what was read or allocated, so
// that a pixel read and written back unchanged keeps its value and each
// colour costs the server one request at most. Everything in it belongs to
// the colormap, not to a window: windows that share one (every window of a
// run, in practice, and the tests' several windows of one process) share the
// table, and a window of another colormap loads that one's in its place.
struct ColourTable {
    Colormap colormap;
    int entries;
    uint32_t* words;
    int full;      // an allocation failed: no cell is left
    // Open addressing on a power-of-two number of slots, at most half used.
    size_t slots;
    size_t used;
    uint32_t* keys;
    unsigned long* pixels;
    unsigned char* taken;
};
ColourTable g_colours;

int ChannelOf(unsigned long mask, Channel* channel) {
    if (!mask) return -1;
    int shift = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        shift++;
    }
    int bits = 0;
    while (mask & 1) {
        mask >>= 1;
        bits++;
    }
    if (mask) return -1;  // not one run of bits
    channel->shift = shift;
    channel->bits = bits;
    return 0;
}

// The format of a window that can be drawn into: 0, or -1 for a window that
// is gone or has a visual that is not drawn into.
int FormatOf(Display* display, Window window, XWindowAttributes* attributes, PixelFormat* format) {
    if (!XGetWindowAttributes(display, window, attributes) || XFailedSince(display)) return -1;
    Visual* visual = attributes->visual;
    memset(format, 0, sizeof *format);
    format->visual = visual;
    format->depth = attributes->depth;
    format->colormap = attributes->colormap;
    format->entries = visual->map_entries;
    if (attributes->depth < 1 || attributes->depth > 32) return -1;
    switch (visual->c_class) {
        case TrueColor: {
            format->kind = FORMAT_MASKS;
            if (ChannelOf(visual->red_mask, &format->red) != 0 || ChannelOf(visual->green_mask, &format->green) != 0 ||
                ChannelOf(visual->blue_mask, &format->blue) != 0)
                return -1;
            const unsigned long all = attributes->depth == 32 ? 0xFFFFFFFFul : (1ul << attributes->depth) - 1;
            format->alpha_mask = all & ~(visual->red_mask | visual->green_mask | visual->blue_mask);
            format->plain_words = visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 &&
                                  visual->blue_mask == 0x0000FF && format->alpha_mask == 0;
            return 0;
        }
        case PseudoColor:
        case StaticColor:
        case GrayScale:
        case StaticGray:
            // Every entry is read at once; a map larger than any display of
            // these classes has is not.
            if (format->entries < 1 || format->entries > 65536 || format->colormap == None) return -1;
            format->kind = FORMAT_COLORMAP;
            format->gray = visual->c_class == GrayScale || visual->c_class == StaticGray;
            format->writable = visual->c_class == PseudoColor || visual->c_class == GrayScale;
            format->significant_bits = visual->bits_per_rgb >= 1 && visual->bits_per_rgb <= 16 ? visual->bits_per_rgb : 16;
            return 0;
        default:
            return -1;
    }
}

// A channel of `bits` widened to 8 by repeating its top bits below it, or
// narrowed to its top 8.
unsigned WidenChannel(unsigned long value, int bits) {
    if (bits >= 8) return static_cast<unsigned>(value >> (bits - 8)) & 0xFF;
    unsigned wide = 0;
    for (int filled = 0; filled < 8; filled += bits) wide |= static_cast<unsigned>(value) << (8 - bits) >> filled;
    return wide & 0xFF;
}

// An 8-bit channel narrowed to its top `bits`, or widened by repeating its
// bits below it.
unsigned long NarrowChannel(unsigned value, int bits) {
    if (bits <= 8) return value >> (8 - bits);
    unsigned long wide = 0;
    for (int filled = 0; filled < bits; filled += 8)
        wide |= static_cast<unsigned long>(value) << (bits - 8) >> filled;
    return wide & ((1ul << bits) - 1);
}

uint32_t WordFromMasks(const PixelFormat& f, unsigned long pixel) {
    const unsigned r = WidenChannel(pixel >> f.red.shift & ((1ul << f.red.bits) - 1), f.red.bits);
    const unsigned g = WidenChannel(pixel >> f.green.shift & ((1ul << f.green.bits) - 1), f.green.bits);
    const unsigned b = WidenChannel(pixel >> f.blue.shift & ((1ul << f.blue.bits) - 1), f.blue.bits);
    return r << 16 | g << 8 | b;
}

// The window shows colours only: where its visual has an alpha channel, the
// picture is opaque.
unsigned long PixelFromMasks(const PixelFormat& f, uint32_t word) {
    return NarrowChannel(word >> 16 & 0xFF, f.red.bits) << f.red.shift |
           NarrowChannel(word >> 8 & 0xFF, f.green.bits) << f.green.shift |
           NarrowChannel(word & 0xFF, f.blue.bits) << f.blue.shift | f.alpha_mask;
}

// A key of the known pixels: a colour word, or on a gray visual a level
// with the top bit set, so that the two never meet.
const uint32_t GRAY_KEY = 0x80000000u;

size_t KnownSlot(uint32_t key, size_t slots) {
    return (key * 2654435761u) & (slots - 1);
}

// Remembers the pixel for a key that is not known yet; where memory runs out
// it is simply not remembered.
void RememberPixel(uint32_t key, unsigned long pixel) {
    ColourTable& t = g_colours;
    if (2 * (t.used + 1) > t.slots) {
        const size_t slots = t.slots ? 2 * t.slots : 1024;
        uint32_t* keys = static_cast<uint32_t*>(malloc(slots * sizeof *keys));
        unsigned long* pixels = static_cast<unsigned long*>(malloc(slots * sizeof *pixels));
        unsigned char* taken = static_cast<unsigned char*>(calloc(slots, 1));
        if (!keys || !pixels || !taken) {
            free(keys);
            free(pixels);
            free(taken);
            return;
        }
        for (size_t i = 0; i < t.slots; i++) {
            if (!t.taken[i]) continue;
            size_t at = KnownSlot(t.keys[i], slots);
            while (taken[at]) at = (at + 1) & (slots - 1);
            taken[at] = 1;
            keys[at] = t.keys[i];
            pixels[at] = t.pixels[i];
        }
        free(t.keys);
        free(t.pixels);
        free(t.taken);
        t.keys = keys;
        t.pixels = pixels;
        t.taken = taken;
        t.slots = slots;
    }
    size_t at = KnownSlot(key, t.slots);
    while (t.taken[at]) {
        if (t.keys[at] == key) return;
        at = (at + 1) & (t.slots - 1);
    }
    t.taken[at] = 1;
    t.keys[at] = key;
    t.pixels[at] = pixel;
    t.used++;
}

int KnownPixel(uint32_t key, unsigned long* pixel) {
    const ColourTable& t = g_colours;
    if (!t.slots) return 0;
    for (size_t at = KnownSlot(key, t.slots); t.taken[at]; at = (at + 1) & (t.slots - 1)) {
        if (t.keys[at] == key) {
            *pixel = t.pixels[at];
            return 1;
        }
    }
    return 0;
}

void ForgetColourTable(void) {
    ColourTable& t = g_colours;
    free(t.words);
    free(t.keys);
    free(t.pixels);
    free(t.taken);
    memset(&t, 0, sizeof t);
}

// Reads the whole colormap of the window about to be drawn, unless the table
// already holds that colormap: 0, or -1 when it cannot be read.
int LoadColourTable(Display* display, const PixelFormat& f) {
    ColourTable& t = g_colours;
    if (t.words && t.colormap == f.colormap) return 0;
    ForgetColourTable();
    XColor* cells = static_cast<XColor*>(calloc(static_cast<size_t>(f.entries), sizeof(XColor)));
    uint32_t* words = static_cast<uint32_t*>(malloc(static_cast<size_t>(f.entries) * 4));
    if (!cells || !words) {
        free(cells);
        free(words);
        return -1;
    }
    for (int i = 0; i < f.entries; i++) cells[i].pixel = static_cast<unsigned long>(i);
    XQueryColors(display, f.colormap, cells, f.entries);
    const int failed = XFailedSince(display);
    for (int i = 0; i < f.entries && !failed; i++)
        words[i] = static_cast<uint32_t>(cells[i].red >> 8) << 16 | static_cast<uint32_t>(cells[i].green >> 8) << 8 |
                   static_cast<uint32_t>(cells[i].blue >> 8);
    free(cells);
    if (failed) {
        free(words);
        return -1;
    }
    t.colormap = f.colormap;
    t.entries = f.entries;
    t.words = words;
    return 0;
}

long Luma(uint32_t word) {
    return 30 * static_cast<long>(word >> 16 & 0xFF) + 59 * static_cast<long>(word >> 8 & 0xFF) +
           11 * static_cast<long>(word & 0xFF);
}

// The entry whose colour lies nearest to `word`: by brightness on a gray
// visual, by the distance of the three channels otherwise.
unsigned long NearestEntry(const PixelFormat& f, uint32_t word) {
    const ColourTable& t = g_colours;
    unsigned long best = 0;
    long best_distance = -1;
    for (int i = 0; i < t.entries; i++) {
        long distance;
        if (f.gray) {
            distance = Luma(t.words[i]) - Luma(word);
            distance = distance < 0 ? -distance : distance;
        } else {
            const long r = static_cast<long>(t.words[i] >> 16 & 0xFF) - static_cast<long>(word >> 16 & 0xFF);
            const long g = static_cast<long>(t.words[i] >> 8 & 0xFF) - static_cast<long>(word >> 8 & 0xFF);
            const long b = static_cast<long>(t.words[i] & 0xFF) - static_cast<long>(word & 0xFF);
            distance = r * r + g * g + b * b;
        }
        if (best_distance < 0 || distance < best_distance) {
            best_distance = distance;
            best = static_cast<unsigned long>(i);
        }
    }
    return best;
}

// The pixel that shows `word` in a colormapped window: one already known; on
// a writable colormap (PseudoColor, GrayScale) a read-only cell allocated for
// it, and once no cell is left, its nearest entry; on a static one (whose
// cells are all there is) its nearest entry. Allocated cells are this
// client's and are given back when the run ends, as every client's are:
// keeping them past the run would keep the run's slot in the server too, and
// after a few hundred jobs the server would take no new client. The picture
// keeps its colours until another client takes those cells.
unsigned long PixelFromColourTable(Display* display, const PixelFormat& f, uint32_t word) {
    unsigned long pixel;
    if (KnownPixel(word, &pixel)) return pixel;
    XColor cell = {};
    cell.red = static_cast<unsigned short>((word >> 16 & 0xFF) * 0x101);
    cell.green = static_cast<unsigned short>((word >> 8 & 0xFF) * 0x101);
    cell.blue = static_cast<unsigned short>((word & 0xFF) * 0x101);
    // A gray cell that is allocated holds one level, the server's own
    // weighting of the three channels to the visual's significant bits:
    // colours of the same level share a pixel and one request.
    uint32_t key = word;
    const int by_level = f.gray && f.writable;
    if (by_level) {
        const unsigned long level = (30ul * cell.red + 59ul * cell.green + 11ul * cell.blue) / 100;
        cell.red = cell.green = cell.blue = static_cast<unsigned short>(level);
        key = GRAY_KEY | static_cast<uint32_t>(level >> (16 - f.significant_bits));
        if (KnownPixel(key, &pixel)) {
            RememberPixel(word, pixel);
            return pixel;
        }
    }
    Status allocated = 0;
    if (f.writable && !g_colours.full) {
        // A full colormap answers with an error that is expected here and
        // must not fail the transfer.
        const int failed_before = g_x_failed;
        allocated = XAllocColor(display, f.colormap, &cell);
        g_x_failed = failed_before;
        if (!allocated) g_colours.full = 1;
    }
    if (allocated && cell.pixel < static_cast<unsigned long>(g_colours.entries)) {
        pixel = cell.pixel;
        g_colours.words[pixel] = static_cast<uint32_t>(cell.red >> 8) << 16 |
                                 static_cast<uint32_t>(cell.green >> 8) << 8 | static_cast<uint32_t>(cell.blue >> 8);
    } else {
        pixel = NearestEntry(f, word);
    }
    if (by_level) RememberPixel(key, pixel);
    RememberPixel(word, pixel);
    return pixel;
}

uint32_t WordFromPixel(const PixelFormat& f, unsigned long pixel) {
    if (f.kind == FORMAT_MASKS) return WordFromMasks(f, pixel);
    const uint32_t word = pixel < static_cast<unsigned long>(g_colours.entries) ? g_colours.words[pixel] : 0;
    RememberPixel(word, pixel);
    return word;
}

// The display, attributes and pixel format for moving a width x height block
// of `window`'s pixels: 0, or -1 when there is no block or the window cannot
// take one.
int OpenTransfer(HWND window, int32_t width, int32_t height, Display** display, XWindowAttributes* attributes,
                 PixelFormat* format) {
    *display = OpenDisplay();
    if (!*display || !window || width <= 0 || height <= 0 ||
        FormatOf(*display, WindowOf(window), attributes, format) != 0 ||
        (format->kind == FORMAT_COLORMAP && LoadColourTable(*display, *format) != 0))
        return -1;
    return 0;
}

}  // namespace

void EndRunWhenDisplayIsLost(void) {
    XSetIOErrorHandler(EndRunSilently);
}

// The point is one of the screen that DISPLAY names: other screens of the
// same server have roots of their own, and their windows belong to whoever
// asked on them.
HWND ForeignWindowAtPoint(int32_t x, int32_t y) {
    Display* display = OpenDisplay();
    if (!display) return nullptr;
    const int screen = DefaultScreen(display);
    Window root = RootWindow(display, screen);
    if (x < 0 || y < 0 || x >= DisplayWidth(display, screen) || y >= DisplayHeight(display, screen)) return nullptr;
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

int ForeignWindowSize(HWND window, int32_t* width, int32_t* height) {
    Display* display = OpenDisplay();
    XWindowAttributes attributes;
    PixelFormat format;
    if (!display || !window || FormatOf(display, WindowOf(window), &attributes, &format) != 0) return -1;
    *width = attributes.width;
    *height = attributes.height;
    return 0;
}

int ReadForeignPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* words) {
    Display* display = nullptr;
    XWindowAttributes attributes;
    PixelFormat format;
    if (OpenTransfer(window, width, height, &display, &attributes, &format) != 0) return -1;
    XImage* image = XGetImage(display, WindowOf(window), x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (XFailedSince(display) || !image) {
        if (image) XDestroyImage(image);
        return -1;
    }
    // Words in this machine's byte order are copied as they are; any other
    // layout goes pixel by pixel, as the image says it is laid out.
    const int machine_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
    const int native = format.plain_words && image->bits_per_pixel == 32 && image->byte_order == machine_order;
    for (int32_t row = 0; row < height; row++) {
        uint32_t* out = words + static_cast<size_t>(row) * width;
        if (native) {
            const char* line = image->data + static_cast<size_t>(row) * image->bytes_per_line;
            memcpy(out, line, static_cast<size_t>(width) * 4);
            for (int32_t column = 0; column < width; column++) out[column] &= 0x00FFFFFF;
            continue;
        }
        for (int32_t column = 0; column < width; column++)
            out[column] = WordFromPixel(format, XGetPixel(image, column, row));
    }
    XDestroyImage(image);
    return 0;
}

int WriteForeignPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, const uint32_t* words,
                       int32_t stride_words) {
    Display* display = nullptr;
    XWindowAttributes attributes;
    PixelFormat format;
    if (OpenTransfer(window, width, height, &display, &attributes, &format) != 0) return -1;
    XImage* image = nullptr;
    if (format.plain_words) {
        // The image borrows the caller's words; it is detached before it is
        // freed.
        image = XCreateImage(display, attributes.visual, static_cast<unsigned>(attributes.depth), ZPixmap, 0,
                             const_cast<char*>(reinterpret_cast<const char*>(words)), static_cast<unsigned>(width),
                             static_cast<unsigned>(height), 32, stride_words * 4);
        if (!image) return -1;
    } else {
        // An image of the server's own layout for the depth, filled pixel by
        // pixel.
        image = XCreateImage(display, attributes.visual, static_cast<unsigned>(attributes.depth), ZPixmap, 0, nullptr,
                             static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
        if (!image) return -1;
        const size_t size = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height);
        image->data = static_cast<char*>(malloc(size));
        if (!image->data) {
            XDestroyImage(image);
            return -1;
        }
        for (int32_t row = 0; row < height; row++) {
            const uint32_t* line = words + static_cast<size_t>(row) * stride_words;
            for (int32_t column = 0; column < width; column++) {
                const uint32_t word = line[column] & 0x00FFFFFF;
                XPutPixel(image, column, row,
                          format.kind == FORMAT_MASKS ? PixelFromMasks(format, word)
                                                      : PixelFromColourTable(display, format, word));
            }
        }
    }
    int result = -1;
    GC gc = XCreateGC(display, WindowOf(window), 0, nullptr);
    if (gc) {
        XPutImage(display, WindowOf(window), gc, image, 0, 0, x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
        XFreeGC(display, gc);
        result = XFailedSince(display) ? -1 : 0;
    }
    if (format.plain_words) image->data = nullptr;
    XDestroyImage(image);
    return result;
}
