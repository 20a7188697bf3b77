// A stand-in host for the window modes: a window of its own at a known root
// position and colour, the program run against it, and its pixels read back.
#pragma once

#include <X11/Xlib.h>
#include <stdint.h>
#include <sys/resource.h>

#include <string>
#include <vector>

struct HostWindow {
    Display* display = nullptr;
    Window window = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

// Maps an undecorated window at (x, y) filled with `rgb` (0xRRGGBB) and waits
// until it shows. 0, or -1 when there is no display.
int OpenHostWindow(HostWindow* host, int x, int y, int width, int height, uint32_t rgb);
void CloseHostWindow(HostWindow* host);

// The window's pixels as 0x00RRGGBB words, row by row.
std::vector<uint32_t> ReadHostWindow(const HostWindow& host);

// Fills a rectangle of the window with `rgb`.
void PaintHostWindow(const HostWindow& host, int x, int y, int width, int height, uint32_t rgb);

// How a run of the program is bounded: the directory it runs in, its address
// space in bytes and its time in seconds, each when not 0.
struct RunLimits {
    const char* directory = nullptr;
    uint64_t address_space = 0;
    unsigned seconds = 0;
};

// Runs the program with these arguments within `limits`; its exit status, -1
// if it did not run or did not exit (stopped at the time limit, say). With
// `usage`, what the run used.
int RunBlitviewWithin(const std::vector<std::string>& arguments, const RunLimits& limits,
                      struct rusage* usage = nullptr);

inline int RunBlitview(const std::vector<std::string>& arguments, const char* directory = nullptr,
                       uint64_t address_space = 0) {
    RunLimits limits;
    limits.directory = directory;
    limits.address_space = address_space;
    return RunBlitviewWithin(arguments, limits);
}
