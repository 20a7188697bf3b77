// The drawing file's format: the header, the record loop and the reader of
// each record kind. Every reader takes the stream just after its tag, reads
// exactly its body, and draws with g_render_state's context and scale.
#include "../reading/reading.h"
#include "drawing_format.h"

#include "drawing.h"
#include "raster_paint.h"

namespace {

const int64_t kHeaderBytes = 4;

// A raster strip's data is read and painted in pieces of about this size,
// so that memory stays bounded whatever the record declares.
const uint32_t kPieceBytes = 1u << 20;
static_assert(kPieceBytes >= 0xFFFF, "a piece holds at least one row of the longest");

// Where the stream stands, counted by every read here, and where the record
// being read begins: a reason names the byte of its record's tag, on any
// stream, a pipe included.
int64_t stream_offset = 0;
// The raster ink of the record loop not yet on the canvas; none outside it.
RasterPending* pending_ink = nullptr;
int64_t record_offset = 0;

int ReadCounted(FILE* stream, void* buffer, size_t size) {
    if (ReadStreamExact(stream, buffer, size) != 0) return -1;
    stream_offset += static_cast<int64_t>(size);
    return 0;
}

long long RecordByte() {
    return static_cast<long long>(record_offset);
}

// The fixed head of a record, `size` bytes after its tag.
int ReadRecordHead(FILE* stream, unsigned char* head, size_t size, const char* kind) {
    if (ReadCounted(stream, head, size) == 0) return 0;
    NoteStop(record_offset, "%s at byte %lld ends inside its %u-byte head", kind, RecordByte(),
             static_cast<unsigned>(size));
    return -1;
}

int CheckColourIndex(uint16_t colour_index, const char* kind) {
    if (colour_index < DRAWING_PALETTE_SIZE) return 0;
    NoteStop(record_offset, "colour index %u in the %s at byte %lld", colour_index, kind, RecordByte());
    return -1;
}

// Starts the note of a record, or of the header, with its 16-bit fields,
// by the format's names for them.
void StartHeadNote(RecordNote* note, RecordKind kind, int64_t offset, const char* const names[],
                   uint16_t* const fields[], int count) {
    StartRecordNote(note, kind, offset);
    for (int i = 0; i < count; i++) AddRecordField(note, names[i], *fields[i]);
}

void SendHeadNote(RecordKind kind, int64_t offset, const char* const names[], uint16_t* const fields[], int count) {
    RecordNote note;
    StartHeadNote(&note, kind, offset, names, fields, count);
    SendRecordNote(&note);
}

void NoteRasterStrip(uint16_t* const fields[7], uint32_t polarity) {
    static const char* const names[7] = {"y_base", "left", "top", "width", "rows", "bytes_per_row", "colour_index"};
    RecordNote note;
    StartHeadNote(&note, RECORD_RASTER_STRIP, record_offset, names, fields, 7);
    AddRecordHexField(&note, "polarity", polarity);
    AddRecordField(&note, "ink", polarity == INK_ON_ONES ? 1 : 0);
    AddRecordField(&note, "data_bytes", static_cast<int64_t>(*fields[4]) * *fields[5]);
    SendRecordNote(&note);
}

}  // namespace

int ReadDrawingHeader(FILE* stream, uint16_t* source_width, uint16_t* source_height) {
    unsigned char header[kHeaderBytes];
    stream_offset = 0;
    if (ReadCounted(stream, header, 2) != 0) {
        NoteStop(0, "the file ends before the header's width");
        return -1;
    }
    if (ReadCounted(stream, header + 2, 2) != 0) {
        NoteStop(2, "the file ends before the header's height");
        return -1;
    }
    ByteCursor cursor = MakeCursor(header, sizeof header);
    ReadU16Le(&cursor, source_width);
    ReadU16Le(&cursor, source_height);
    if (g_record_listener) {
        static const char* const names[] = {"width", "height"};
        uint16_t* const fields[] = {source_width, source_height};
        SendHeadNote(RECORD_HEADER, 0, names, fields, 2);
    }
    return 0;
}

int DrawFilledRect(FILE* stream) {
    unsigned char body[12];
    if (ReadRecordHead(stream, body, sizeof body, "rectangle") != 0) return -1;
    ByteCursor cursor = MakeCursor(body, sizeof body);
    uint16_t y_base, left, top, right, bottom, colour_index;
    uint16_t* const fields[] = {&y_base, &left, &top, &right, &bottom, &colour_index};
    for (uint16_t* field : fields) ReadU16Le(&cursor, field);
    if (CheckColourIndex(colour_index, "rectangle") != 0) return -1;

    const float scale = g_render_state.scale;
    // Only the top edge takes the base; the sum is formed without wrapping.
    RECT rect;
    rect.left = ScaleCoordinate(left, scale);
    rect.top = ScaleCoordinate(static_cast<int32_t>(y_base) + top, scale);
    rect.right = ScaleCoordinate(right, scale);
    rect.bottom = ScaleCoordinate(bottom, scale);

    // A record that cannot be drawn fails rather than vanish from the picture.
    HBRUSH brush = CreateSolidBrush(DrawingPalette[colour_index]);
    if (!brush) {
        NoteStop(record_offset, "no brush for the rectangle at byte %lld", RecordByte());
        return -1;
    }
    FillRect(g_render_state.device_context, &rect, brush);
    DeleteObject(brush);
    static const char* const names[] = {"y_base", "left", "top", "right", "bottom", "colour_index"};
    if (g_record_listener) SendHeadNote(RECORD_RECTANGLE, record_offset, names, fields, 6);
    return 0;
}

int DrawRunSet(FILE* stream) {
    unsigned char head[8];
    if (ReadRecordHead(stream, head, sizeof head, "run set") != 0) return -1;
    ByteCursor cursor = MakeCursor(head, sizeof head);
    int16_t count, y;
    uint16_t colour_index, ignored;
    ReadI16Le(&cursor, &count);
    ReadU16Le(&cursor, &colour_index);
    ReadU16Le(&cursor, &ignored);
    ReadI16Le(&cursor, &y);
    if (CheckColourIndex(colour_index, "run set") != 0) return -1;

    HDC dc = g_render_state.device_context;
    const float scale = g_render_state.scale;
    HPEN pen = CreatePen(PS_SOLID, 1, DrawingPalette[colour_index]);
    if (!pen) {
        NoteStop(record_offset, "no pen for the run set at byte %lld", RecordByte());
        return -1;
    }
    HGDIOBJ previous_pen = SelectObject(dc, pen);
    const int32_t row = ScaleCoordinate(y, scale);

    // The head's second group counts as the first of `count`, so the body
    // carries count - 1 runs, and none for a count of 1 or less.
    int result = 0;
    for (int run = 1; run < count; run++) {
        unsigned char pair[4];
        if (ReadCounted(stream, pair, sizeof pair) != 0) {
            NoteStop(record_offset, "run set at byte %lld declares %d runs; the file ends in run %d", RecordByte(),
                     count - 1, run);
            result = -1;
            break;
        }
        ByteCursor run_cursor = MakeCursor(pair, sizeof pair);
        int16_t x_start, x_end;
        ReadI16Le(&run_cursor, &x_start);
        ReadI16Le(&run_cursor, &x_end);
        MoveToEx(dc, ScaleCoordinate(x_start, scale), row, nullptr);
        LineTo(dc, ScaleCoordinate(x_end, scale), row);
    }
    SelectObject(dc, previous_pen);
    DeleteObject(pen);
    if (result == 0 && g_record_listener) {
        RecordNote note;
        StartRecordNote(&note, RECORD_RUN_SET, record_offset);
        AddRecordField(&note, "count", count);
        AddRecordField(&note, "colour_index", colour_index);
        AddRecordField(&note, "y", y);
        AddRecordField(&note, "runs", count > 1 ? count - 1 : 0);
        SendRecordNote(&note);
    }
    return result;
}

int DrawRasterStrip(FILE* stream) {
    unsigned char head[18];
    if (ReadRecordHead(stream, head, 14, "raster strip") != 0) return -1;
    ByteCursor cursor = MakeCursor(head, sizeof head);
    uint16_t y_base, left, top, width, rows, bytes_per_row, colour_index;
    uint16_t* const fields[] = {&y_base, &left, &top, &width, &rows, &bytes_per_row, &colour_index};
    for (uint16_t* field : fields) ReadU16Le(&cursor, field);
    if (CheckColourIndex(colour_index, "raster strip") != 0) return -1;
    if (ReadCounted(stream, head + 14, 4) != 0) {
        NoteStop(record_offset, "raster strip at byte %lld ends before its polarity word", RecordByte());
        return -1;
    }
    uint32_t polarity = 0;
    ReadU32Le(&cursor, &polarity);

    // No rows: nothing to read, whatever the row length says. Rows of no
    // bytes can never be read whole.
    if (rows == 0) {
        if (g_record_listener) NoteRasterStrip(fields, polarity);
        return 0;
    }
    if (bytes_per_row == 0) {
        NoteStop(record_offset, "raster strip at byte %lld declares %u rows of 0 bytes", RecordByte(), rows);
        return -1;
    }
    // A record cut short fails before anything is painted, where the file
    // can tell; a pipe cannot, and there the failure comes at the end,
    // which discards the canvas all the same.
    uint64_t total = static_cast<uint64_t>(rows) * bytes_per_row;
    uint64_t left_in_file;
    if (StreamBytesLeft(stream, &left_in_file) == 0 && left_in_file < total) {
        NoteStop(record_offset, "raster strip at byte %lld declares %u rows of %u bytes; %llu remain", RecordByte(),
                 rows, bytes_per_row, static_cast<unsigned long long>(left_in_file));
        return -1;
    }

    const RenderState& state = g_render_state;
    RasterStrip strip;
    strip.left = left;
    strip.right_limit = static_cast<int32_t>(left) + width;
    strip.first_row = static_cast<int32_t>(y_base) + top;
    strip.bytes_per_row = bytes_per_row;
    strip.colour = DrawingPalette[colour_index];
    strip.ink = polarity == INK_ON_ONES ? 1 : 0;
    strip.thinning = StripsThinned(state.scale);
    strip.scale = state.scale;
    strip.canvas_width = state.canvas_width;
    strip.canvas_height = state.canvas_height;

    uint32_t piece_rows = kPieceBytes / bytes_per_row;
    if (piece_rows > rows) piece_rows = rows;
    // One block holds a piece of data and, behind it, the strip's layout.
    size_t piece_bytes = AlignToWords(static_cast<size_t>(piece_rows) * bytes_per_row);
    unsigned char* block = static_cast<unsigned char*>(
        HeapAlloc(GetProcessHeap(), 0, piece_bytes + RasterScratchSize(&strip)));
    if (!block) {
        NoteStop(record_offset, "no memory for the raster strip at byte %lld", RecordByte());
        return -1;
    }
    RasterLayout layout;
    int result = 0;
    for (uint32_t done = 0; done < rows; done += piece_rows) {
        uint32_t count = rows - done < piece_rows ? rows - done : piece_rows;
        if (ReadCounted(stream, block, static_cast<size_t>(count) * bytes_per_row) != 0) {
            NoteStop(record_offset, "raster strip at byte %lld declares %u rows of %u bytes; the file ends first",
                     RecordByte(), rows, bytes_per_row);
            result = -1;
            break;
        }
        // Laid out once a whole row has arrived: the layout takes work in
        // proportion to the row's length, which a stream that cannot tell
        // its size (a pipe) may not hold at all.
        if (done == 0) PrepareRaster(state.device_context, &strip, pending_ink, block + piece_bytes, &layout);
        PaintRasterRows(&strip, &layout, block, done, count);
    }
    HeapFree(GetProcessHeap(), 0, block);
    if (result == 0 && g_record_listener) NoteRasterStrip(fields, polarity);
    return result;
}

static int DrawEveryRecord(FILE* stream) {
    stream_offset = kHeaderBytes;
    for (;;) {
        record_offset = stream_offset;
        unsigned char tag_bytes[2];
        size_t got = fread(tag_bytes, 1, 2, stream);
        if (got < 2) {
            // The end of the file, where a tag would begin, or one stray byte
            // after the last record. A read error is not an end.
            if (!ferror(stream)) return 0;
            NoteStop(record_offset, "the file cannot be read at byte %lld", RecordByte());
            return -1;
        }
        stream_offset += 2;
        uint16_t tag = static_cast<uint16_t>(tag_bytes[0] | (tag_bytes[1] << 8));
        int result;
        if (tag != TAG_RASTER && pending_ink) FlushRasterPending(pending_ink);
        if (tag == TAG_RASTER)
            result = DrawRasterStrip(stream);
        else if (tag == TAG_RECT)
            result = DrawFilledRect(stream);
        else if (tag == TAG_RUNS)
            result = DrawRunSet(stream);
        else {
            NoteStop(record_offset, "tag 0x%04X at byte %lld is no record", tag, RecordByte());
            return -1;
        }
        if (result != 0) return -1;
    }
}

int DrawRecords(FILE* stream) {
    // Strips of one colour in a row are gathered and written together, in
    // rows that every flush leaves empty again; they are touched only as
    // strips reach them.
    static unsigned char pending_rows[CANVAS_LONG_SIDE * RASTER_PENDING_ROW_BYTES];
    const RenderState& state = g_render_state;
    RasterPending pending;
    const int gathering = state.canvas_height <= CANVAS_LONG_SIDE;
    if (gathering) {
        StartRasterPending(&pending, pending_rows, state.canvas_width, state.canvas_height);
        pending_ink = &pending;
    }
    const int result = DrawEveryRecord(stream);
    if (gathering) {
        // What was drawn stays drawn, a failing run included.
        FlushRasterPending(&pending);
        pending_ink = nullptr;
    }
    return result;
}
