// Shared between the sibling files of the POSIX platform backend only.
#pragma once

#include "platform.h"

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

