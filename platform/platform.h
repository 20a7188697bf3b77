// The platform contract: the Win32 GDI, USER and kernel calls that the rest of
// the program uses, under their Win32 names, types and argument orders.
//
// On Windows this is <windows.h> itself. Elsewhere the same names are provided
// by our own implementation: an exact software rasteriser for memory device
// contexts and a POSIX kernel layer. app/, drawing/, bitmap/ and present/ only
// include this header, so they compile unchanged on both.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef _WIN32

#include <windows.h>

#else

// ---- Basic types (LLP64 sizes, as on 64-bit Windows) ----
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef int INT;
typedef size_t SIZE_T;
typedef uintptr_t UINT_PTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;
typedef DWORD COLORREF;

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0

#define DECLARE_PLATFORM_HANDLE(name) \
    struct name##__;                  \
    typedef struct name##__* name
DECLARE_PLATFORM_HANDLE(HDC);
DECLARE_PLATFORM_HANDLE(HBITMAP);
DECLARE_PLATFORM_HANDLE(HPEN);
DECLARE_PLATFORM_HANDLE(HBRUSH);
DECLARE_PLATFORM_HANDLE(HRGN);
DECLARE_PLATFORM_HANDLE(HWND);
DECLARE_PLATFORM_HANDLE(HINSTANCE);
#undef DECLARE_PLATFORM_HANDLE
typedef void* HANDLE;
typedef void* HGDIOBJ;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

struct POINT {
    LONG x;
    LONG y;
};
typedef POINT* LPPOINT;

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
};
#pragma pack(pop)

struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
};

// The layouts of <windows.h> on the same word size: the pointer and the
// handle take 8 bytes, aligned, on 64-bit targets and 4 on 32-bit ones.
static_assert(sizeof(BITMAP) == (sizeof(void*) == 8 ? 32 : 24), "BITMAP layout");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER layout");
static_assert(sizeof(BITMAPFILEHEADER) == 14, "BITMAPFILEHEADER layout");
static_assert(sizeof(DIBSECTION) == (sizeof(void*) == 8 ? 104 : 84), "DIBSECTION layout");

// ---- Constants ----
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)((c) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define CLR_INVALID 0xFFFFFFFF

#define SRCCOPY 0x00CC0020
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062
#define PS_SOLID 0
#define DIB_RGB_COLORS 0
#define BI_RGB 0
#define BI_RLE8 1
#define BI_RLE4 2
#define BI_BITFIELDS 3
#define NULLREGION 1
#define SIMPLEREGION 2
#define BLACKONWHITE 1
#define COLORONCOLOR 3
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_MEMDC 10

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define FILE_SHARE_READ 0x00000001
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
#define HEAP_ZERO_MEMORY 0x00000008

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_ACCESS_DENIED 5
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_WRITE_FAULT 29
#define ERROR_GEN_FAILURE 31
#define ERROR_INVALID_PARAMETER 87
#define ERROR_ALREADY_EXISTS 183

#define SW_SHOWDEFAULT 10
#define MB_OK 0x00000000
#define MB_ICONERROR 0x00000010
#define IDOK 1
#define INVALID_FILE_SIZE 0xFFFFFFFF
#define BI_JPEG 4
#define BI_PNG 5

// ---- Kernel ----
DWORD GetLastError(void);
void SetLastError(DWORD error);
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD disposition, DWORD flags, HANDLE template_file);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE object);
BOOL DeleteFileA(LPCSTR name);
BOOL IsBadReadPtr(const void* pointer, UINT_PTR size);
HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T size);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped);
DWORD GetFileSize(HANDLE file, LPDWORD high_part);

// ---- GDI ----
HDC CreateCompatibleDC(HDC reference);
BOOL DeleteDC(HDC dc);
HBITMAP CreateCompatibleBitmap(HDC reference, int width, int height);
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
int GetObjectA(HANDLE object, int size, LPVOID buffer);
#define GetObject GetObjectA
HBRUSH CreateSolidBrush(COLORREF colour);
HPEN CreatePen(int style, int width, COLORREF colour);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
BOOL BitBlt(HDC dc, int x, int y, int width, int height, HDC source, int source_x, int source_y,
            DWORD rop);
BOOL StretchBlt(HDC dc, int x, int y, int width, int height, HDC source, int source_x, int source_y,
                int source_width, int source_height, DWORD rop);
int SetStretchBltMode(HDC dc, int mode);
BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous);
BOOL Polyline(HDC dc, const POINT* points, int count);
HRGN CreateRectRgn(int left, int top, int right, int bottom);
int SelectClipRgn(HDC dc, HRGN region);
BOOL LineTo(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF colour);
COLORREF GetPixel(HDC dc, int x, int y);
UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colours);
LONG GetBitmapBits(HBITMAP bitmap, LONG count, LPVOID bits);
int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT usage);
// TRUE when everything drawn into foreign windows since the last call reached
// them; a window DC's lines reach its window when it is released.
BOOL GdiFlush(void);

// ---- USER ----
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HWND WindowFromPoint(POINT point);
HWND GetFocus(void);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// The program's entry; on this platform main() builds the command line and calls it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);

#endif  // _WIN32

// ---- Not Win32: direct access to a memory context's pixels ----
// The 32-bit pixels of the bitmap selected into a memory DC, top row first,
// one word 0x00RRGGBB per pixel, when the platform can hand them out and the
// DC has no clip region. Painting a word there is what SetPixel does, only
// without the call. 0 when `surface` was filled, -1 otherwise (always on
// Windows, where device bitmaps stay behind GDI).
struct DirectSurface {
    uint32_t* words;
    int32_t width;
    int32_t height;
    int32_t stride_words;
};
int GetDirectSurface(HDC dc, DirectSurface* surface);

// ---- Not Win32: replacing a file whole ----
// A file written to take the place of `path`: CreateReplacementFile opens it
// beside the path (INVALID_HANDLE_VALUE on failure), WriteFile writes it, and
// CloseReplacementFile closes it and, when `complete` and every write landed,
// puts it in place of `path` (TRUE). Otherwise it is dropped (FALSE): the path
// keeps what it held and nothing is left beside it.
HANDLE CreateReplacementFile(LPCSTR path);
BOOL CloseReplacementFile(HANDLE file, LPCSTR path, BOOL complete);

// ---- Not Win32: one directory for a whole job ----
// HoldDirectoryOf finds the directory that `path` names once: until
// ReleaseHeldDirectory, every file call given a path in that directory (by the
// same text) works in the directory found then, whatever the text comes to
// name meanwhile. 0, or -1 when it cannot be found. OpenFileStream opens a
// file for reading in binary mode, as fopen(path, "rb") does, NULL on failure.
int HoldDirectoryOf(LPCSTR path);
void ReleaseHeldDirectory(void);
FILE* OpenFileStream(LPCSTR path);
