// A stand-in host for the window modes: a window of its own at a known root
// position and colour, the program run against it, and its pixels read back.
#pragma once

#include <X11/Xlib.h>
#include <stdint.h>

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

// Runs the program with these arguments, in `directory` when one is given,
// and with at most `address_space` bytes of address space when that is not 0;
// its exit status, -1 if it did not run or did not exit.
int RunBlitview(const std::vector<std::string>& arguments, const char* directory = nullptr,
                uint64_t address_space = 0);
