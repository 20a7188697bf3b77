// Drawing conversion: reads a drawing file, paints it onto an off-screen
// canvas and has the canvas written as a BMP over the drawing file.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "../platform/platform.h"

#define CANVAS_LONG_SIDE 1024
#define DRAWING_PALETTE_SIZE 8

// The process-wide drawing state. One run does one job, so the drawing
// conversion and the window views share this one instance.
struct RenderState {
    uint16_t canvas_width;
    uint16_t canvas_height;
    HDC device_context;
    HBITMAP canvas_bitmap;
    HGDIOBJ previous_bitmap;
    float scale;
    uint16_t source_width;
    uint16_t source_height;
};

extern RenderState g_render_state;

// Black, red, green, yellow, blue, magenta, cyan, orange.
extern const COLORREF DrawingPalette[DRAWING_PALETTE_SIZE];

// A file coordinate in pixels: the product with the single-precision scale is
// formed in double precision, where it is exact, and truncated toward zero.
inline int32_t ScaleCoordinate(int32_t value, float scale) {
    return static_cast<int32_t>(static_cast<double>(value) * static_cast<double>(scale));
}

int ConvertDrawing(const char* command_line);
int RenderDrawing(const char* path);
// The record loop: reads and draws every record from the stream, positioned
// after the header, up to its end. 0 when the file ends where a tag would
// begin (or one stray byte after the last record), -1 at the first record
// that fails, at a tag that names no record and on a read error.
// The readers of each record stand beside its tag in drawing_format.h.
int DrawRecords(FILE* stream);
int SaveCanvasAsBmp(const char* path);
void ReleaseCanvas(void);

// The canvas for a W x H drawing: the long side is CANVAS_LONG_SIDE, the short
// side floor(short * 1024 / long); a square takes the tall branch.
void CanvasSizeFor(uint16_t source_width, uint16_t source_height, uint16_t* canvas_width,
                   uint16_t* canvas_height);
