#!/usr/bin/env python3
"""An example host for blitview that is a native Wayland client, in Python
with GTK 4: a window with a box in it, in which the host paints the pixels
that blitview would draw there. No other client may draw into a Wayland
surface, so the host asks blitview-inspect for the box's pixels and shows
them itself, rendered again whenever the box changes size. See docs/hosting.md.

    python3 gtk4_host.py MODE FILE [BLITVIEW_INSPECT]

MODE is -b, -v or -d; BLITVIEW_INSPECT is the program to run,
"blitview-inspect" (looked up in PATH) by default. The host prints each
command line it ran and its exit status, and "shown WxH" once a box of that
size is painted. Close the window, or press Escape, to end it.

Needs Debian's python3-gi, python3-gi-cairo and gir1.2-gtk-4.0. It runs on Wayland only: GTK
is told not to fall back to X11.
"""
import os
import sys

# Set before GTK is loaded: a native Wayland window, or none.
os.environ["GDK_BACKEND"] = "wayland"

import gi  # noqa: E402

gi.require_version("Gdk", "4.0")
gi.require_version("Gtk", "4.0")
from gi.repository import Gdk, GdkPixbuf, Gio, GLib, Gtk  # noqa: E402

BOX_WIDTH, BOX_HEIGHT = 512, 400
# The host's own colour around the box: the colour the window modes would
# find three rows below the box in a window of this host.
HOST_COLOUR = "d4d0c8"


class Host:
    def __init__(self, loop, program, mode, path):
        self.program, self.mode, self.path = program, mode, path
        self.pixbuf = None     # the last box rendered, shown until the next
        self.requested = 0     # renders started, the latest one counts
        self.shown = None      # the size of a box painted for the first time
        self.window = Gtk.Window(title="blitview host", default_width=BOX_WIDTH + 48)
        self.window.connect("close-request", lambda window: loop.quit())
        css = Gtk.CssProvider()
        css.load_from_data(("window, box { background: #%s; }" % HOST_COLOUR).encode())
        Gtk.StyleContext.add_provider_for_display(Gdk.Display.get_default(), css,
                                                  Gtk.STYLE_PROVIDER_PRIORITY_APPLICATION)
        layout = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=8)
        for side in ("top", "bottom", "start", "end"):
            getattr(layout, "set_margin_" + side)(24)
        # The box: a drawing area that takes what the window gives it.
        self.box = Gtk.DrawingArea(content_width=BOX_WIDTH, content_height=BOX_HEIGHT,
                                   hexpand=True, vexpand=True)
        self.box.set_draw_func(self.draw)
        self.box.connect("resize", self.resized)
        self.status = Gtk.Label(label="")
        layout.append(self.box)
        layout.append(self.status)
        self.window.set_child(layout)
        keys = Gtk.EventControllerKey()
        keys.connect("key-pressed", self.key)
        self.window.add_controller(keys)
        self.window.present()

    def key(self, controller, keyval, keycode, state):
        if keyval == Gdk.KEY_Escape:
            self.window.close()
            return True
        return False

    def resized(self, area, width, height):
        # blitview-inspect takes no single-instance claim, so a render may
        # start while an older one runs; only the latest one is shown.
        self.requested += 1
        command = [self.program, "--render", self.mode[-1], "--box", "%dx%d" % (width, height),
                   "--background", HOST_COLOUR, "--ppm", "-", self.path]
        try:
            job = Gio.Subprocess.new(command, Gio.SubprocessFlags.STDOUT_PIPE)
        except GLib.Error as error:
            print("could not run %s: %s" % (self.program, error.message), flush=True)
            self.status.set_label("blitview-inspect could not be run")
            return
        # Read without blocking, so that the window stays responsive.
        job.communicate_async(None, None, self.rendered, (self.requested, command, width, height))

    def rendered(self, job, result, request):
        number, command, width, height = request
        ok, output, _ = job.communicate_finish(result)
        status = job.get_exit_status()
        print("%s: exit status %d" % (" ".join(command), status), flush=True)
        self.status.set_label("blitview-inspect: exit status %d" % status)
        if number != self.requested:
            return
        pixbuf = None
        # A binary PPM: a header whose every byte is known from the box's
        # size, then the rows of red, green and blue bytes, which the pixbuf
        # takes where they are, without a decoder or a copy.
        header = b"P6\n%d %d\n255\n" % (width, height)
        size = width * height * 3
        if ok and status == 0 and output.get_size() == len(header) + size and \
                GLib.Bytes.new_from_bytes(output, 0, len(header)).get_data() == header:
            pixels = GLib.Bytes.new_from_bytes(output, len(header), size)
            pixbuf = GdkPixbuf.Pixbuf.new_from_bytes(pixels, GdkPixbuf.Colorspace.RGB, False, 8,
                                                     width, height, width * 3)
        # A failed job leaves the box empty: --render writes nothing then.
        self.pixbuf = pixbuf
        self.shown = (width, height) if pixbuf else None
        self.box.queue_draw()

    def draw(self, area, cr, width, height):
        if not self.pixbuf:
            return
        # One pixel for one pixel: the picture is the box's size.
        Gdk.cairo_set_source_pixbuf(cr, self.pixbuf, 0, 0)
        cr.paint()
        if self.shown:
            print("shown %dx%d" % self.shown, flush=True)
            self.shown = None


def main():
    if len(sys.argv) not in (3, 4) or sys.argv[1] not in ("-b", "-v", "-d"):
        sys.stderr.write("usage: gtk4_host.py -b|-v|-d FILE [BLITVIEW_INSPECT]\n")
        return 2
    program = sys.argv[3] if len(sys.argv) == 4 else "blitview-inspect"
    # A plain main loop: an application object would want a session bus.
    loop = GLib.MainLoop()
    Host(loop, program, sys.argv[1], sys.argv[2])
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
