// Draws the polylines of vector files as the vector overlay does, but into a
// memory context instead of a window, and dumps the pixels. Built twice from
// this one source: against our platform layer, and with MinGW-w64 against
// the real GDI, run under Wine. The two dumps of every case must agree.
//
// Why a memory context: under Wine, lines drawn into another process's
// window are drawn by the X server, whose tie-breaking is not GDI's; on a
// memory context Wine draws them with its own GDI, as Windows draws into any
// window. The window comparison covers the box around the lines.
//
//   polyline_probe CASES INPUT_DIR OUTPUT_DIR
//
// CASES is the table tests/wine/view_inputs writes. For every "-v" or "-d"
// case the vector file (FILE with its last three characters replaced by
// "VCT") is placed in a box of X2 - X1 by Y2 - Y1 pixels, white at first,
// and OUTPUT_DIR/NAME.raw receives the box's pixels, top row first, as
// GetBitmapBits gives them for a 32-bit bitmap. One line a case on stdout:
//
//   NAME WIDTHxHEIGHT LEFT,TOP FITTED_WxFITTED_H RECORDS end|stopped
//   NAME no-file | empty-picture | no-bitmap | bad-line
//
// RECORDS counts the records drawn; "stopped" says a record was bad or cut,
// which ends the drawing as it ends the overlay. The exit status is 1 when a
// dump could not be written, 0 otherwise.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "reading/byte_cursor.h"
#include "drawing/drawing.h"
#include "platform/platform.h"
#include "present/present.h"
#include "tests/fixtures/canvas.h"
#include "tests/fixtures/tool_start.h"
#include "view_case.h"

namespace {

int WriteDump(const char* path, const unsigned char* bytes, size_t size) {
    FILE* file = fopen(path, "wb");
    if (!file) return -1;
    size_t written = fwrite(bytes, 1, size, file);
    if (fclose(file) != 0 || written != size) return -1;
    return 0;
}

// One case; 0, or -1 when the dump could not be written.
int ProbeCase(HDC screen, const char* name, const char* vector_path, const char* dump_path, int box_width,
              int box_height) {
    FILE* stream = fopen(vector_path, "rb");
    if (!stream) {
        printf("%s no-file\n", name);
        return 0;
    }
    RenderState& state = g_render_state;
    unsigned char header[4];
    if (ReadStreamExact(stream, header, sizeof header) != 0) {
        fclose(stream);
        printf("%s no-file\n", name);
        return 0;
    }
    ByteCursor cursor = MakeCursor(header, sizeof header);
    ReadU16Le(&cursor, &state.source_width);
    ReadU16Le(&cursor, &state.source_height);
    if (state.source_width == 0 || state.source_height == 0) {
        fclose(stream);
        printf("%s empty-picture\n", name);
        return 0;
    }

    // The placement and scale exactly as the overlay works them out.
    BoxPlacement p = FitToBox(box_width, box_height, state.source_width, state.source_height);
    state.scale = static_cast<float>(static_cast<double>(p.fitted_width) / state.source_width);

    const size_t size = static_cast<size_t>(box_width) * static_cast<size_t>(box_height) * 4;
    Canvas canvas(box_width, box_height, screen);
    unsigned char* bytes = static_cast<unsigned char*>(malloc(size));
    BITMAP shape = {};
    if (!canvas.dc || !canvas.bitmap || !bytes ||
        GetObject(canvas.bitmap, sizeof shape, &shape) != static_cast<int>(sizeof shape) || shape.bmBitsPixel != 32) {
        // Anything but 32 bits a pixel would make the dumps incomparable.
        printf("%s no-bitmap\n", name);
        free(bytes);
        fclose(stream);
        return 0;
    }
    HDC dc = canvas.dc;
    BitBlt(dc, 0, 0, box_width, box_height, nullptr, 0, 0, WHITENESS);
    state.device_context = dc;

    HRGN clip = CreateRectRgn(p.left, p.top, p.left + p.fitted_width, p.top + p.fitted_height);
    SelectClipRgn(dc, clip);
    DeleteObject(clip);

    int records = 0;
    const char* ending = "end";
    for (;;) {
        int next = fgetc(stream);
        if (next == EOF) {
            if (ferror(stream)) ending = "stopped";
            break;
        }
        ungetc(next, stream);
        if (DrawPolylineRecord(stream, p.left, p.top) != 0) {
            ending = "stopped";
            break;
        }
        records++;
    }
    fclose(stream);
    state.device_context = nullptr;

    const LONG got = GetBitmapBits(canvas.bitmap, static_cast<LONG>(size), bytes);
    int result = 0;
    if (got != static_cast<LONG>(size) || WriteDump(dump_path, bytes, size) != 0) {
        fprintf(stderr, "polyline_probe: cannot dump case %s into %s\n", name, dump_path);
        result = -1;
    }
    printf("%s %dx%d %d,%d %dx%d %d %s\n", name, box_width, box_height, static_cast<int>(p.left),
           static_cast<int>(p.top), static_cast<int>(p.fitted_width), static_cast<int>(p.fitted_height), records,
           ending);
    free(bytes);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (CheckUsage(argc, 4, "polyline_probe CASES INPUT_DIR OUTPUT_DIR") != 0) return 2;
    FILE* cases = OpenToRead("polyline_probe", argv[1]);
    if (!cases) return 1;
    HDC screen = GetDC(nullptr);
    if (!screen) {
        fprintf(stderr, "polyline_probe: no screen context\n");
        fclose(cases);
        return 1;
    }
    int result = 0;
    char line[1024];
    while (fgets(line, sizeof line, cases)) {
        ViewCase c;
        if (ParseViewCase(line, &c) != 0) {
            printf("%.40s bad-line\n", line);
            result = 1;
            continue;
        }
        if (strcmp(c.mode, "-v") != 0 && strcmp(c.mode, "-d") != 0) continue;
        const size_t length = strlen(c.file);
        const int box_width = c.x2 - c.x1, box_height = c.y2 - c.y1;
        if (length < 3 || box_width <= 0 || box_height <= 0 || box_width > MAX_BOX_SIDE ||
            box_height > MAX_BOX_SIDE) {
            printf("%s bad-line\n", c.name);
            result = 1;
            continue;
        }
        memcpy(c.file + length - 3, "VCT", 3);
        char vector_path[1024], dump_path[1024];
        snprintf(vector_path, sizeof vector_path, "%s/%s", argv[2], c.file);
        snprintf(dump_path, sizeof dump_path, "%s/%s.raw", argv[3], c.name);
        if (ProbeCase(screen, c.name, vector_path, dump_path, box_width, box_height) != 0) result = 1;
    }
    ReleaseDC(nullptr, screen);
    fclose(cases);
    fflush(stdout);
    return result;
}
