// The "-f" job: render a drawing file onto the canvas and write the canvas as
// a BMP over the drawing file, or leave nothing at the path.
#include <string.h>

#include "../bitmap/bitmap.h"
#include "../reading/reading.h"
#include "drawing.h"
#include "drawing_format.h"

RenderState g_render_state;

const COLORREF DrawingPalette[DRAWING_PALETTE_SIZE] = {
    RGB(0, 0, 0),     RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),   RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 102, 0),
};

void CanvasSizeFor(uint16_t source_width, uint16_t source_height, uint16_t* canvas_width,
                   uint16_t* canvas_height) {
    // floor(short * 1024 / long) equals the truncated double quotient times
    // 1024 for every pair of 16-bit sides; single precision would not.
    if (source_width > source_height) {
        *canvas_width = CANVAS_LONG_SIDE;
        *canvas_height = static_cast<uint16_t>(static_cast<uint32_t>(source_height) * CANVAS_LONG_SIDE /
                                               source_width);
    } else {
        *canvas_height = CANVAS_LONG_SIDE;
        *canvas_width = source_height == 0
                            ? 0
                            : static_cast<uint16_t>(static_cast<uint32_t>(source_width) *
                                                    CANVAS_LONG_SIDE / source_height);
    }
}

// Closes the drawing file and passes a result through.
static int CloseAndReturn(FILE* stream, int result) {
    fclose(stream);
    return result;
}

int RenderDrawing(const char* path) {
    RenderState& state = g_render_state;
    FILE* stream = OpenFileStream(path);
    if (!stream) {
        NoteStop(-1, "the file cannot be opened");
        return -1;
    }

    if (ReadDrawingHeader(stream, &state.source_width, &state.source_height) != 0)
        return CloseAndReturn(stream, -1);

    state.device_context = CreateCompatibleDC(nullptr);
    if (!state.device_context) {
        NoteStop(-1, "no memory context for the canvas");
        return CloseAndReturn(stream, -1);
    }

    // A zero side would give a canvas without pixels and a scale of 0/0:
    // such a drawing cannot be converted.
    CanvasSizeFor(state.source_width, state.source_height, &state.canvas_width, &state.canvas_height);
    if (state.canvas_width == 0 || state.canvas_height == 0) {
        NoteStop(state.source_width == 0 ? 0 : 2, "the header declares %u x %u file units: a canvas without pixels",
                 state.source_width, state.source_height);
        return CloseAndReturn(stream, -1);
    }

    HDC screen = GetDC(nullptr);
    if (screen) {
        state.canvas_bitmap = CreateCompatibleBitmap(screen, state.canvas_width, state.canvas_height);
        ReleaseDC(nullptr, screen);
    }
    if (!state.canvas_bitmap) {
        NoteStop(-1, "no canvas of %u x %u pixels", state.canvas_width, state.canvas_height);
        return CloseAndReturn(stream, -1);
    }

    state.previous_bitmap = SelectObject(state.device_context, state.canvas_bitmap);
    BitBlt(state.device_context, 0, 0, state.canvas_width, state.canvas_height, nullptr, 0, 0,
           WHITENESS);
    state.scale = static_cast<float>(static_cast<double>(state.canvas_width) / state.source_width);

    return CloseAndReturn(stream, DrawRecords(stream));
}

int SaveCanvasAsBmp(const char* path) {
    return SaveBitmapAsBmp(path, g_render_state.canvas_bitmap) == 1 ? 0 : -1;
}

void ReleaseCanvas(void) {
    RenderState& state = g_render_state;
    if (state.canvas_bitmap) {
        SelectObject(state.device_context, state.previous_bitmap);
        DeleteObject(state.canvas_bitmap);
        state.canvas_bitmap = nullptr;
        state.previous_bitmap = nullptr;
    }
    if (state.device_context) {
        DeleteDC(state.device_context);
        state.device_context = nullptr;
    }
}

int ConvertDrawing(const char* command_line) {
    char path[256];
    int consumed = 0;
    // The path is one word of at most 255 characters; a longer one is refused
    // rather than cut, so that no other file is ever touched.
    if (sscanf(command_line, "-f %255s%n", path, &consumed) != 1) return -1;
    if (WordWasCut(command_line + consumed)) return -1;

    RenderState& state = g_render_state;
    state.canvas_width = 0;
    state.canvas_height = 0;
    state.device_context = nullptr;
    state.canvas_bitmap = nullptr;
    state.previous_bitmap = nullptr;
    state.scale = 0.0f;

    // The path's directory is found once, before the drawing is read: the
    // BMP, and the removal after a failure, land where the drawing came from
    // even if a directory on the way is swapped meanwhile.
    if (HoldDirectoryOf(path) != 0) return -1;
    // DeleteFileA rather than remove(): a directory given as the path must
    // never be removed.
    int result = 0;
    if (RenderDrawing(path) != 0 || SaveCanvasAsBmp(path) != 0) {
        ReleaseCanvas();
        DeleteFileA(path);
        result = -1;
    } else {
        ReleaseCanvas();
    }
    ReleaseHeldDirectory();
    return result;
}
