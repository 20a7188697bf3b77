// What the POSIX platform offers the tests, fuzzers, benchmarks and probes
// besides the Win32 calls: live-object accounting, fault injection and a
// switch for direct surfaces. The program itself never includes it. On
// Windows none of it exists.
#pragma once

#include "platform.h"

#ifndef _WIN32

// Every live GDI object (stock objects excepted), device context, open file
// handle and heap block is counted, so that a test can assert that a handler
// released everything it acquired.
struct PlatformCounts {
    int gdi_objects;
    int device_contexts;
    int files;
    int heap_blocks;
};
PlatformCounts GetPlatformCounts(void);

enum PlatformFault {
    FAULT_HEAP_ALLOC,     // HeapAlloc returns NULL
    FAULT_CREATE_FILE,    // CreateFileA returns INVALID_HANDLE_VALUE
    FAULT_WRITE_FILE,     // WriteFile fails and writes nothing
    FAULT_SHORT_WRITE,    // WriteFile writes half and reports it
    FAULT_CLOSE_HANDLE,   // CloseHandle of a file being written fails
    FAULT_READ_FILE,      // ReadFile fails and reads nothing
    FAULT_FILE_SIZE,      // GetFileSize reports INVALID_FILE_SIZE
    FAULT_CREATE_DC,      // CreateCompatibleDC returns NULL
    FAULT_CREATE_BITMAP,  // CreateCompatibleBitmap and CreateDIBSection return NULL
    FAULT_CREATE_OBJECT,  // CreatePen and CreateSolidBrush return NULL
    FAULT_KIND_COUNT
};
// The call of that kind after `skip` further successful calls fails, once.
void InjectFault(PlatformFault kind, int skip);
// Clears every injected fault; returns how many of them never fired.
int ClearFaults(void);

// A window over a 32-bit device bitmap, for a program that renders a box
// without a window to draw into: GetDC gives it a window DC like any other,
// whose pixels are the bitmap's, so that what is drawn there takes the path
// it takes into a foreign window. NULL for any other bitmap or without
// memory. Destroyed before the bitmap is deleted; it counts as a GDI object
// while it lives.
HWND CreateBitmapWindow(HBITMAP bitmap);
BOOL DestroyBitmapWindow(HWND window);

// Whether GetDirectSurface hands out pixels (on by default), so that tests can
// drive the SetPixel path of the callers as well.
void EnableDirectSurfaces(int enabled);

#endif  // _WIN32
