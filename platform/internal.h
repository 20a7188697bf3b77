// Shared between the sibling files of the POSIX platform backend only.
#pragma once

#include "platform_test.h"

// Consumes one call of `kind`: 1 when an injected fault makes it fail now.
int TakeFault(PlatformFault kind);

// Live-object accounting, kept by each backend file and summed by GetPlatformCounts.
int CountLiveGdiObjects(void);
int CountLiveDeviceContexts(void);
int CountOpenFiles(void);
int CountHeapBlocks(void);

// The pixels of a 32-bit device-dependent bitmap, top row first, for the DIB
// upload: 0 and *words, or -1 for any other kind of bitmap or handle.
struct DeviceBitmapWords {
    uint32_t* words;
    int width;
    int height;
    int stride_words;
};
int GetDeviceBitmapWords(HBITMAP bitmap, DeviceBitmapWords* words);

// A lost X server ends the process at once with the failure status (-1),
// printing nothing; set on every display the platform opens.
void EndRunWhenDisplayIsLost(void);

// Foreign windows over X11. The display is opened on first use.
// The deepest viewable window under a root point, the root over the bare
// desktop, NULL outside every screen or without a display.
HWND X11WindowAtPoint(int32_t x, int32_t y);
int X11WindowSize(HWND window, int32_t* width, int32_t* height);
// Pixels as 0x00RRGGBB words, row by row; 0 or -1.
int X11ReadPixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* words);
int X11WritePixels(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, const uint32_t* words,
                   int32_t stride_words);
