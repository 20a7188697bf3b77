// The seam between the software GDI and the windowing system that owns the
// foreign windows the window modes draw into. One sibling folder of gdi/
// implements it (x11/ on Linux); the display is opened on first use.
#pragma once

#include "../platform.h"

// The deepest viewable window under a screen point, the root over the bare
// desktop, NULL outside every screen or without a display.
HWND ForeignWindowAtPoint(int32_t x, int32_t y);
// The size of a window that can be drawn into: 0, or -1 for a window that is
// gone or whose pixels this backend does not convert, which is then never
// touched.
int ForeignWindowSize(HWND window, int32_t* width, int32_t* height);
// Pixels as 0x00RRGGBB words, row by row, converted from and to whatever the
// window's visual holds; 0 or -1. Reading fails for a rectangle that does
// not lie inside the window.
int ReadForeignPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* words);
int WriteForeignPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, const uint32_t* words,
                       int32_t stride_words);
