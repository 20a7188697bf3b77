// The program's one message box, on X11: a small window titled with the
// caption, showing the text, a stop sign and an OK button, that returns once
// the user clicks OK or presses Enter, Space or Escape (or closes it).
//
// Without a display the caption and text go to the standard error stream and
// count as acknowledged at once. X protocol errors are ignored, never fatal;
// a lost connection ends the run, silently, as in the window modes.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <errno.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>

#include "x11.h"

namespace {


// A request that fails is not fatal: the dialog goes on with what it has.
int IgnoreProtocolError(Display* display, XErrorEvent* error) {
    (void)display;
    (void)error;
    return 0;
}

void WriteToStderr(LPCSTR text, LPCSTR caption) {
    fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    fflush(stderr);
}

const int kMargin = 16;
const int kIconSize = 32;
const int kButtonWidth = 80;
const int kButtonHeight = 26;

struct Dialog {
    Display* display;
    Window window;
    GC gc;
    XFontStruct* font;
    unsigned long black;
    unsigned long white;
    unsigned long red;
    int width;
    int height;
    int line_height;
    int ascent;
    XRectangle button;
    const char* text;
};

int TextWidth(const Dialog* dialog, const char* text, int length) {
    if (dialog->font) return XTextWidth(dialog->font, text, length);
    return 6 * length;
}

// Splits the text at line breaks: calls `each` with every line in turn.
template <typename Each>
void ForEachLine(const char* text, Each each) {
    int index = 0;
    while (1) {
        const char* end = strchr(text, '\n');
        int length = end ? static_cast<int>(end - text) : static_cast<int>(strlen(text));
        each(index++, text, length);
        if (!end) return;
        text = end + 1;
    }
}

void Layout(Dialog* dialog) {
    dialog->ascent = dialog->font ? dialog->font->ascent : 10;
    dialog->line_height = dialog->font ? dialog->font->ascent + dialog->font->descent : 13;
    int widest = 0, lines = 0;
    ForEachLine(dialog->text, [&](int, const char* line, int length) {
        int w = TextWidth(dialog, line, length);
        if (w > widest) widest = w;
        lines++;
    });
    int text_height = lines * dialog->line_height;
    int top_height = text_height > kIconSize ? text_height : kIconSize;
    dialog->width = kMargin * 3 + kIconSize + widest;
    if (dialog->width < kButtonWidth + 2 * kMargin) dialog->width = kButtonWidth + 2 * kMargin;
    dialog->height = kMargin * 3 + top_height + kButtonHeight;
    dialog->button.x = static_cast<short>((dialog->width - kButtonWidth) / 2);
    dialog->button.y = static_cast<short>(dialog->height - kMargin - kButtonHeight);
    dialog->button.width = kButtonWidth;
    dialog->button.height = kButtonHeight;
}

void Paint(const Dialog* d) {
    Display* display = d->display;
    XSetForeground(display, d->gc, d->white);
    XFillRectangle(display, d->window, d->gc, 0, 0, static_cast<unsigned>(d->width), static_cast<unsigned>(d->height));

    XSetForeground(display, d->gc, d->red);
    XFillArc(display, d->window, d->gc, kMargin, kMargin, kIconSize, kIconSize, 0, 360 * 64);
    XSetForeground(display, d->gc, d->white);
    XSetLineAttributes(display, d->gc, 3, LineSolid, CapButt, JoinMiter);
    int a = kMargin + 10, b = kMargin + kIconSize - 10;
    XDrawLine(display, d->window, d->gc, a, a, b, b);
    XDrawLine(display, d->window, d->gc, a, b, b, a);
    XSetLineAttributes(display, d->gc, 1, LineSolid, CapButt, JoinMiter);

    XSetForeground(display, d->gc, d->black);
    int text_x = 2 * kMargin + kIconSize;
    ForEachLine(d->text, [&](int index, const char* line, int length) {
        XDrawString(display, d->window, d->gc, text_x, kMargin + d->ascent + index * d->line_height, line, length);
    });

    XDrawRectangle(display, d->window, d->gc, d->button.x, d->button.y, d->button.width, d->button.height);
    int label_width = TextWidth(d, "OK", 2);
    XDrawString(display, d->window, d->gc, d->button.x + (kButtonWidth - label_width) / 2,
                d->button.y + (kButtonHeight + d->ascent) / 2 - 1, "OK", 2);
    XFlush(display);
}

unsigned long AllocateRed(Display* display, int screen, unsigned long fallback) {
    XColor colour;
    memset(&colour, 0, sizeof colour);
    colour.red = 0xD000;
    colour.green = 0x2000;
    colour.blue = 0x2000;
    colour.flags = DoRed | DoGreen | DoBlue;
    if (!XAllocColor(display, DefaultColormap(display, screen), &colour)) return fallback;
    return colour.pixel;
}

void SetWindowProperties(Dialog* d, int screen, LPCSTR caption, Atom* close_atom) {
    Display* display = d->display;
    XStoreName(display, d->window, caption);
    Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom net_name = XInternAtom(display, "_NET_WM_NAME", False);
    if (utf8 != None && net_name != None)
        XChangeProperty(display, d->window, net_name, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(caption), static_cast<int>(strlen(caption)));
    Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    Atom dialog_type = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    if (type != None && dialog_type != None)
        XChangeProperty(display, d->window, type, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&dialog_type), 1);
    *close_atom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    if (*close_atom != None) XSetWMProtocols(display, d->window, close_atom, 1);

    XSizeHints* size = XAllocSizeHints();
    if (size) {
        size->flags = PPosition | PMinSize | PMaxSize;
        size->x = (DisplayWidth(display, screen) - d->width) / 2;
        size->y = (DisplayHeight(display, screen) - d->height) / 2;
        size->min_width = size->max_width = d->width;
        size->min_height = size->max_height = d->height;
        XSetWMNormalHints(display, d->window, size);
        XFree(size);
    }
    XWMHints* hints = XAllocWMHints();
    if (hints) {
        hints->flags = InputHint;
        hints->input = True;
        XSetWMHints(display, d->window, hints);
        XFree(hints);
    }
    XClassHint* class_hint = XAllocClassHint();
    if (class_hint) {
        char name[] = "blitview";
        char class_name[] = "Blitview";
        class_hint->res_name = name;
        class_hint->res_class = class_name;
        XSetClassHint(display, d->window, class_hint);
        XFree(class_hint);
    }
}

int Inside(const XRectangle& r, int x, int y) {
    return x >= r.x && y >= r.y && x < r.x + r.width && y < r.y + r.height;
}

// 1 when the event acknowledges the dialog.
int HandleEvent(Dialog* d, XEvent* event, Atom close_atom, int* focused) {
    switch (event->type) {
        case Expose:
            if (event->xexpose.count == 0) Paint(d);
            if (!*focused) {
                XSetInputFocus(d->display, d->window, RevertToParent, CurrentTime);
                *focused = 1;
            }
            return 0;
        case KeyPress: {
            KeySym key = XLookupKeysym(&event->xkey, 0);
            return key == XK_Return || key == XK_KP_Enter || key == XK_space || key == XK_Escape;
        }
        case ButtonRelease:
            return event->xbutton.button == Button1 && Inside(d->button, event->xbutton.x, event->xbutton.y);
        case ClientMessage:
            return close_atom != None && static_cast<Atom>(event->xclient.data.l[0]) == close_atom;
        default:
            return 0;
    }
}

// Shows the dialog until it is acknowledged: 1, or 0 when the window could
// not be made.
int RunDialog(Display* display, LPCSTR text, LPCSTR caption) {
    Dialog d;
    memset(&d, 0, sizeof d);
    d.display = display;
    d.text = text;
    int screen = DefaultScreen(display);
    d.black = BlackPixel(display, screen);
    d.white = WhitePixel(display, screen);
    d.red = AllocateRed(display, screen, d.black);
    d.font = XLoadQueryFont(display, "fixed");
    Layout(&d);

    int acknowledged = 0;
    XSetWindowAttributes attributes;
    memset(&attributes, 0, sizeof attributes);
    attributes.background_pixel = d.white;
    attributes.event_mask = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    d.window = XCreateWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(d.width),
                             static_cast<unsigned>(d.height), 0, CopyFromParent, InputOutput, CopyFromParent,
                             CWBackPixel | CWEventMask, &attributes);
    if (d.window != None) d.gc = XCreateGC(display, d.window, 0, nullptr);
    if (d.window != None && d.gc) {
        if (d.font) XSetFont(display, d.gc, d.font->fid);
        Atom close_atom = None;
        SetWindowProperties(&d, screen, caption, &close_atom);
        XMapRaised(display, d.window);
        XFlush(display);
        int focused = 0;
        struct pollfd connection = {ConnectionNumber(display), POLLIN, 0};
        while (!acknowledged) {
            // Waiting on the connection rather than in XNextEvent: a hang-up
            // makes XPending meet the lost connection, which ends the run.
            while (!acknowledged && XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                acknowledged = HandleEvent(&d, &event, close_atom, &focused);
            }
            if (acknowledged) break;
            if (poll(&connection, 1, -1) < 0 && errno != EINTR) break;
            if (connection.revents & (POLLERR | POLLHUP)) {
                XPending(display);
                if (!(connection.revents & POLLIN)) break;
            }
        }
    }
    if (d.gc) XFreeGC(display, d.gc);
    if (d.window != None) XDestroyWindow(display, d.window);
    if (d.font) XFreeFont(display, d.font);
    XSync(display, False);
    return acknowledged;
}

}  // namespace

HWND GetFocus(void) {
    return nullptr;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    (void)owner;
    (void)type;  // one OK button and the stop sign are all the program asks for
    if (!text) text = "";
    if (!caption) caption = "Error";
    const char* name = getenv("DISPLAY");
    Display* display = name && name[0] ? XOpenDisplay(nullptr) : nullptr;
    if (!display) {
        WriteToStderr(text, caption);
        return IDOK;
    }
    XErrorHandler previous = XSetErrorHandler(IgnoreProtocolError);
    EndRunWhenDisplayIsLost();
    int acknowledged = RunDialog(display, text, caption);
    XCloseDisplay(display);
    XSetErrorHandler(previous);
    if (!acknowledged) {
        // Nobody could see it: the message still reaches someone.
        WriteToStderr(text, caption);
        return 0;
    }
    return IDOK;
}
