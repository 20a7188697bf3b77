#!/usr/bin/env python3
"""An example host for blitview, in Python with Tkinter: a window with a box
in it, a picture shown in the box by blitview, and shown again whenever the
box is uncovered. See docs/hosting.md.

    python3 tk_host.py MODE FILE [BLITVIEW]

MODE is -b, -v or -d; BLITVIEW is the program to run, "blitview" (looked up
in PATH) by default. The host prints each command line it ran and its exit
status. Close the window, or press Escape, to end it.
"""
import ctypes
import ctypes.util
import subprocess
import sys
import tkinter

BOX_WIDTH, BOX_HEIGHT = 512, 400
# blitview fills the box with the colour the box's window shows three rows
# below the box, so the window reaches that far.
BELOW_BOX = 3
HOST_COLOUR, BOX_COLOUR = "#d4d0c8", "#ece9e0"


class RootPosition:
    """Where a window's origin is on the root window, as the X server says.

    Tk's own winfo_rootx/rooty are worked out from the configure events Tk
    has seen, and some window managers (weston's, for one) send events that
    make them wrong. Tk has no XTranslateCoordinates, so this asks libX11 for
    it through a connection of its own to Tk's display."""

    def __init__(self, widget):
        name = ctypes.util.find_library("X11") or "libX11.so.6"
        self.xlib = ctypes.CDLL(name)
        self.xlib.XOpenDisplay.restype = ctypes.c_void_p
        self.xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.xlib.XDefaultRootWindow.restype = ctypes.c_ulong
        self.xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.xlib.XTranslateCoordinates.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
            ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong)]
        # The screen Tk's window is on, which is the one blitview looks on.
        self.display = self.xlib.XOpenDisplay(widget.winfo_screen().encode())
        if not self.display:
            raise OSError("cannot open the display %s" % widget.winfo_screen())
        self.root = self.xlib.XDefaultRootWindow(self.display)

    def of(self, widget):
        x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
        if not self.xlib.XTranslateCoordinates(self.display, widget.winfo_id(), self.root, 0, 0,
                                               ctypes.byref(x), ctypes.byref(y), ctypes.byref(child)):
            return widget.winfo_rootx(), widget.winfo_rooty()
        return x.value, y.value


class Host:
    def __init__(self, root, program, mode, path):
        self.root, self.program, self.mode, self.path = root, program, mode, path
        self.job = None        # the running blitview, if any
        self.wanted = False    # the box needs (another) job
        root.title("blitview host")
        root.configure(background=HOST_COLOUR, padx=24, pady=24)
        # Every Tk frame is a native X window of its own: the deepest window
        # under the box's corner, at whose origin blitview draws.
        self.box = tkinter.Frame(root, width=BOX_WIDTH, height=BOX_HEIGHT + BELOW_BOX,
                                 background=BOX_COLOUR, borderwidth=0, highlightthickness=0)
        self.box.pack()
        self.status = tkinter.Label(root, text="", background=HOST_COLOUR)
        self.status.pack(pady=(8, 0))
        # The first Expose says the box is on screen; a later one says that
        # something uncovered it and Tk has cleared it: the picture is the
        # host's to restore, and this host asks blitview to draw it again.
        self.box.bind("<Expose>", self.exposed)
        root.bind("<Escape>", lambda event: root.destroy())
        self.position = RootPosition(root)

    def exposed(self, event):
        # Tk handles all the Expose events of one exposure before it next
        # idles, so this comes to one job.
        self.wanted = True
        self.root.after_idle(self.start)

    def start(self):
        # One job at a time: a second copy would fail at once. A request
        # made meanwhile is taken up when the running job ends.
        if self.job is not None or not self.wanted:
            return
        self.wanted = False
        # Tk paints the frame when it is idle. Let it finish, then make a
        # round trip to the X server, so that its painting is on screen
        # before blitview's and cannot cover the picture.
        self.root.update_idletasks()
        self.root.winfo_pointerxy()
        x1, y1 = self.job_position = self.position.of(self.box)
        self.command = [self.program, self.mode, self.path,
                        str(x1), str(y1), str(x1 + BOX_WIDTH), str(y1 + BOX_HEIGHT)]
        try:
            self.job = subprocess.Popen(self.command)
        except OSError as error:
            print("could not run %s: %s" % (self.program, error.strerror), flush=True)
            self.status.configure(text="blitview could not be run")
            return
        self.root.after(20, self.wait)

    def wait(self):
        # Polled, so that the window stays responsive while the job runs.
        status = self.job.poll()
        if status is None:
            self.root.after(20, self.wait)
            return
        self.job = None
        # A window manager may move the window a moment after it first
        # shows (weston places an XWayland window so), and a job that met
        # the move has drawn part of the picture elsewhere: it runs again.
        if self.position.of(self.box) != self.job_position:
            self.wanted = True
        self.status.configure(text="blitview: exit status %d" % status)
        print("%s: exit status %d" % (" ".join(self.command), status), flush=True)
        if self.wanted:
            self.start()


def main():
    if len(sys.argv) not in (3, 4):
        sys.stderr.write("usage: tk_host.py -b|-v|-d FILE [BLITVIEW]\n")
        return 2
    root = tkinter.Tk()
    Host(root, sys.argv[3] if len(sys.argv) == 4 else "blitview", sys.argv[1], sys.argv[2])
    root.mainloop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
