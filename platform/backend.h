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

// The last-error code that stands for an errno value.
DWORD ErrorFromErrno(int error);

// The pixels of a 32-bit device-dependent bitmap, top row first, for the DIB
// upload: 0 and *words, or -1 for any other kind of bitmap or handle, or
// when its pixels cannot be made.
struct DeviceBitmapWords {
    uint32_t* words;
    int width;
    int height;
    int stride_words;
};
int GetDeviceBitmapWords(HBITMAP bitmap, DeviceBitmapWords* words);
// 1 for a 32-bit device-dependent bitmap, 0 for anything else.
int IsDeviceBitmap(HBITMAP bitmap);

// ---- Uploads kept for later ----
// A device bitmap's pixels are made when something first uses them. A
// SetDIBits into a bitmap that has none yet, from a header and pixels inside
// one heap block, is kept as its arguments instead: a stretch then decodes
// only the pixels it picks, and any other use of the bitmap, or freeing the
// block, first paints the whole upload as the call would have.
struct PendingUpload {
    UINT start;
    UINT lines;
    const void* bits;
    const BITMAPINFO* info;
};
// 0 when the bitmap keeps the upload for later, -1 when it must be painted now.
int KeepUploadPending(HBITMAP bitmap, const PendingUpload* upload);
// Paints an accepted upload into zeroed words: 0, or -1 when memory runs out.
int PaintUpload(const PendingUpload* upload, const DeviceBitmapWords* target);
// The pixels of a width x height bitmap, holding nothing but the upload, at
// the picked rows (ascending, distinct, inside the bitmap) and columns
// (ascending, any value; those outside the bitmap read 0): `take` is called
// once per picked row with its index and the words of the picked columns.
struct UploadPick {
    const int64_t* rows;
    int64_t row_count;
    const int64_t* columns;
    int64_t column_count;
    void (*take)(void* context, int64_t row_index, const uint32_t* words);
    void* context;
};
int ReadUploadPicks(const PendingUpload* upload, int64_t width, int64_t height, const UploadPick* pick);
// The live heap block that holds `pointer`, NULL when none does.
const void* HeapBlockHolding(const void* pointer);
// Paints every kept upload that reads from the heap block [start, start + size),
// before the block is freed.
void SettleUploadsFrom(const void* start, size_t size);

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
