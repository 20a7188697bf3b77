// "-v": the coloured polylines of a vector file, drawn straight into the
// host's window and clipped to the picture rectangle.
#include <string.h>

#include "../reading/reading.h"
#include "../drawing/drawing.h"
#include "../drawing/drawing_format.h"
#include "present.h"

// Where the record being read begins in the vector file, counted from its
// header on by the readers here, so that a reason names its byte.
static int64_t record_offset = 0;

// The polyline's points, read from the stream and placed in the window.
static int ReadPolylinePoints(FILE* stream, POINT* points, uint16_t count, int32_t left, int32_t top) {
    const float scale = g_render_state.scale;
    for (uint32_t i = 0; i < count; i++) {
        unsigned char pair[4];
        if (ReadStreamExact(stream, pair, sizeof pair) != 0) {
            NoteStop(record_offset, "polyline at byte %lld declares %u points; the file ends in point %u",
                     static_cast<long long>(record_offset), count, i + 1);
            return -1;
        }
        ByteCursor point_cursor = MakeCursor(pair, sizeof pair);
        int16_t x, y;
        ReadI16Le(&point_cursor, &x);
        ReadI16Le(&point_cursor, &y);
        points[i].x = left + ScaleCoordinate(x, scale);
        points[i].y = top + ScaleCoordinate(y, scale);
    }
    return 0;
}

static int StrokePolyline(const POINT* points, uint16_t count, uint16_t colour_index) {
    HDC dc = g_render_state.device_context;
    HPEN pen = CreatePen(PS_SOLID, 1, DrawingPalette[colour_index]);
    if (!pen) {  // drawn in another colour it would be wrong, not missing
        NoteStop(record_offset, "no pen for the polyline at byte %lld", static_cast<long long>(record_offset));
        return -1;
    }
    HGDIOBJ previous = SelectObject(dc, pen);
    Polyline(dc, points, count);
    SelectObject(dc, previous);
    DeleteObject(pen);
    return 0;
}

static int StopInsideHead(void) {
    NoteStop(record_offset, "polyline at byte %lld ends inside its 4-byte head", static_cast<long long>(record_offset));
    return -1;
}

// The rest of the polyline record whose 4-byte head has been read.
static int DrawPolyline(FILE* stream, const unsigned char head[4], int32_t left, int32_t top) {
    const long long at = static_cast<long long>(record_offset);
    ByteCursor cursor = MakeCursor(head, 4);
    uint16_t colour_index, count;
    ReadU16Le(&cursor, &colour_index);
    ReadU16Le(&cursor, &count);
    if (colour_index >= DRAWING_PALETTE_SIZE) {
        NoteStop(record_offset, "colour index %u in the polyline at byte %lld", colour_index, at);
        return -1;
    }

    // At most 65535 points of 8 bytes: the size cannot overflow.
    POINT* points = static_cast<POINT*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(POINT) * count));
    if (!points) {
        NoteStop(record_offset, "no memory for the %u points of the polyline at byte %lld", count, at);
        return -1;
    }
    int result = ReadPolylinePoints(stream, points, count, left, top);
    if (result == 0 && g_record_listener) {
        RecordNote note;
        StartRecordNote(&note, RECORD_POLYLINE, record_offset);
        AddRecordField(&note, "colour_index", colour_index);
        AddRecordField(&note, "points", count);
        SendRecordNote(&note);
    }
    if (result == 0) result = StrokePolyline(points, count, colour_index);
    HeapFree(GetProcessHeap(), 0, points);
    if (result == 0) record_offset += 4 + 4 * static_cast<int64_t>(count);
    return result;
}

int DrawPolylineRecord(FILE* stream, int32_t left, int32_t top) {
    unsigned char head[4];
    if (ReadStreamExact(stream, head, sizeof head) != 0) return StopInsideHead();
    return DrawPolyline(stream, head, left, top);
}

// The box composed off screen and copied in once: the background, the white
// picture rectangle and its frame.
static void PrepareBox(HDC window_dc, const ViewBox& box, const BoxPlacement& p) {
    HDC dc = CreateCompatibleDC(window_dc);
    HBITMAP bitmap = CreateCompatibleBitmap(window_dc, box.width, box.height);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    FillBox(dc, box.width, box.height, BoxBackground(window_dc, box.height));
    BitBlt(dc, p.left, p.top, p.fitted_width, p.fitted_height, nullptr, 0, 0, WHITENESS);
    DrawFrame(dc, p.left, p.top, p.left + p.fitted_width, p.top + p.fitted_height);
    BitBlt(window_dc, 0, 0, box.width, box.height, dc, 0, 0, SRCCOPY);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// The header: the picture's width and height, neither of them 0.
static int ReadVectorHeader(FILE* stream) {
    RenderState& state = g_render_state;
    unsigned char header[4];
    if (ReadStreamExact(stream, header, 2) != 0 || ReadStreamExact(stream, header + 2, 2) != 0) {
        NoteStop(0, "the file ends inside the 4-byte header");
        return -1;
    }
    ByteCursor cursor = MakeCursor(header, sizeof header);
    ReadU16Le(&cursor, &state.source_width);
    ReadU16Le(&cursor, &state.source_height);
    if (g_record_listener) {
        RecordNote note;
        StartRecordNote(&note, RECORD_HEADER, 0);
        AddRecordField(&note, "width", state.source_width);
        AddRecordField(&note, "height", state.source_height);
        SendRecordNote(&note);
    }
    // A zero side leaves no picture rectangle and no scale: nothing to draw.
    if (state.source_width == 0 || state.source_height == 0) {
        NoteStop(state.source_width == 0 ? 0 : 2, "the header declares %u x %u file units: no picture to fit",
                 state.source_width, state.source_height);
        return -1;
    }
    return 0;
}

int OpenVectorFile(const char* path, FILE** opened) {
    FILE* stream = fopen(path, "rb");
    if (!stream) {
        NoteStop(-1, "the file cannot be opened");
        return -1;
    }
    if (ReadVectorHeader(stream) != 0) {
        fclose(stream);
        return -1;
    }
    record_offset = 4;
    *opened = stream;
    return 0;
}

BoxPlacement PlaceVectors(int32_t box_width, int32_t box_height) {
    RenderState& state = g_render_state;
    BoxPlacement p = FitToBox(box_width, box_height, state.source_width, state.source_height);
    state.scale = static_cast<float>(static_cast<double>(p.fitted_width) / state.source_width);
    return p;
}

int DrawVectorRecords(FILE* stream, int32_t left, int32_t top) {
    for (;;) {
        unsigned char head[4];
        const size_t read = ReadStreamUpTo(stream, head, sizeof head);
        // The end of the file, where a record would begin; a read error is
        // no end.
        if (read == 0 && !ferror(stream)) return 0;
        if (read == 0) {
            NoteStop(record_offset, "the file cannot be read at byte %lld", static_cast<long long>(record_offset));
            return -1;
        }
        if (read < sizeof head) return StopInsideHead();
        if (DrawPolyline(stream, head, left, top) != 0) return -1;
    }
}

int ShowVectorsInto(const char* command_line, int prepare, HDC target) {
    char path[256];
    ViewBox box;
    if (ParseViewCommand(command_line, "-v %255s%n", path, &box) != 0) return -1;
    // The vector file is the path with its last three characters replaced;
    // a shorter path has no three characters to replace.
    size_t length = strlen(path);
    if (length < 3) return -1;
    memcpy(path + length - 3, "VCT", 3);

    FILE* stream = nullptr;
    if (OpenVectorFile(path, &stream) != 0) return -1;
    HWND window;
    HDC window_dc = OpenBoxWindow(box, target, &window);
    int result = -1;
    if (window_dc) {
        RenderState& state = g_render_state;
        state.device_context = window_dc;

        BoxPlacement p = PlaceVectors(box.width, box.height);
        if (prepare) PrepareBox(window_dc, box, p);

        // The window DC keeps its own copy of the clip.
        HRGN clip = CreateRectRgn(p.left, p.top, p.left + p.fitted_width, p.top + p.fitted_height);
        SelectClipRgn(window_dc, clip);
        DeleteObject(clip);

        result = DrawVectorRecords(stream, p.left, p.top);
        state.device_context = nullptr;
    }
    // The window's context is the last thing a view releases.
    fclose(stream);
    if (window_dc && CloseBoxWindow(window, window_dc, target) != 0) result = -1;
    return result;
}

int ShowVectors(const char* command_line, int prepare) {
    return ShowVectorsInto(command_line, prepare, nullptr);
}
