#!/usr/bin/env python3
"""An example host for blitview, in Python with Tkinter: a window with a box
in it, a picture shown in the box by blitview, and shown again whenever the
box is uncovered. See docs/hosting.md.

    python3 tk_host.py MODE FILE [BLITVIEW]

MODE is -b, -v or -d; BLITVIEW is the program to run, "blitview" (looked up
in PATH) by default. The host prints each command line it ran and its exit
status. Close the window, or press Escape, to end it.
"""
import subprocess
import sys
import tkinter

BOX_WIDTH, BOX_HEIGHT = 512, 400
# blitview fills the box with the colour the box's window shows three rows
# below the box, so the window reaches that far.
BELOW_BOX = 3
HOST_COLOUR, BOX_COLOUR = "#d4d0c8", "#ece9e0"


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
        x1, y1 = self.box.winfo_rootx(), self.box.winfo_rooty()
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
        print("%s: exit status %d" % (" ".join(self.command), status), flush=True)
        self.status.configure(text="blitview: exit status %d" % status)
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
