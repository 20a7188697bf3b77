// A BMP file as the bitmap view would take it: its headers, whether -b shows
// the picture, its background only, or fails, and the picture itself.
#include <string.h>
#include <sys/stat.h>

#include "../bitmap/bitmap.h"
#include "../reading/reading.h"
#include "../present/present.h"
#include "../pictures/pictures.h"
#include "inspect.h"

namespace {

// The file header and the DIB header behind it, and more than the largest
// header and its masks take.
const size_t kHeadBytes = 14 + 124 + 12;

const char* HeaderKindName(DibHeaderKind kind) {
    switch (kind) {
        case DIB_HEADER_CORE: return "core";
        case DIB_HEADER_INFO: return "info";
        case DIB_HEADER_V4: return "V4";
        case DIB_HEADER_V5: return "V5";
    }
    return "unknown";
}

const char* CompressionName(uint32_t compression) {
    switch (compression) {
        case BI_RGB: return "none (BI_RGB)";
        case BI_RLE8: return "RLE8";
        case BI_RLE4: return "RLE4";
        case BI_BITFIELDS: return "bit fields (BI_BITFIELDS)";
        case BI_JPEG: return "JPEG";
        case BI_PNG: return "PNG";
    }
    return "unknown";
}

// The headers as stored, described from the file's first bytes; the
// verdicts below come from the reader and the upload themselves.
void ReportHeaders(Report* report, const char* path) {
    unsigned char head[kHeadBytes];
    size_t got = 0;
    FILE* stream = fopen(path, "rb");
    if (stream) {
        got = fread(head, 1, sizeof head, stream);
        fclose(stream);
    }
    struct stat status;
    if (stat(path, &status) == 0) ReportInteger(report, "length", static_cast<int64_t>(status.st_size));
    ByteCursor cursor = MakeCursor(head, got);
    uint32_t declared = 0, offset = 0;
    if (SeekCursor(&cursor, 2) == 0 && ReadU32Le(&cursor, &declared) == 0) {
        BeginGroup(report, "file_header");
        ReportInteger(report, "bf_size", declared);
        if (SeekCursor(&cursor, 10) == 0 && ReadU32Le(&cursor, &offset) == 0)
            ReportInteger(report, "bf_off_bits", offset);
        EndGroup(report);
    }
    if (SeekCursor(&cursor, 14) != 0) return;

    DibHeader header;
    const size_t start = cursor.position;
    if (ReadDibHeader(&cursor, &header) != 0) {
        cursor.position = start;
        BeginGroup(report, "header");
        uint32_t size = 0;
        const int sized = ReadU32Le(&cursor, &size) == 0;
        ReportString(report, "kind", sized && (size == 12 || size >= 40) ? "cut short" : "no known form");
        if (sized) ReportInteger(report, "size", size);
        EndGroup(report);
        return;
    }
    BeginGroup(report, "header");
    ReportString(report, "kind", HeaderKindName(header.kind));
    ReportInteger(report, "size", header.header_size);
    EndGroup(report);

    BeginGroup(report, "picture");
    ReportInteger(report, "width", header.width);
    ReportInteger(report, "height", header.height < 0 ? -header.height : header.height);
    ReportString(report, "row_order", header.height < 0 ? "top row first" : "bottom row first");
    ReportInteger(report, "bit_count", header.bit_count);
    ReportInteger(report, "planes", header.planes);
    ReportString(report, "compression", CompressionName(header.compression));
    EndGroup(report);

    const uint32_t entries = DibReachableColourCount(&header);
    if (header.compression == BI_BITFIELDS && ReadDibMasks(&cursor, &header) == 0) {
        char text[16];
        BeginGroup(report, "masks");
        const char* names[3] = {"red", "green", "blue"};
        for (int i = 0; i < 3; i++) {
            snprintf(text, sizeof text, "0x%08X", header.masks[i]);
            ReportString(report, names[i], text);
        }
        EndGroup(report);
    }
    BeginGroup(report, "colour_table");
    ReportInteger(report, "entries", entries);
    if (entries > 0) ReportInteger(report, "entry_bytes", DibColourEntrySize(&header));
    EndGroup(report);
}

// The picture as the bitmap view composes it at its natural size: the
// uploaded bitmap stretched upside down onto a bitmap of its own size, which
// shows a top-row-first file upright.
int SaveShownPicture(HDC screen, HDC source_dc, const LoadedBitmap* picture, const InspectOptions* options,
                     char* error, size_t error_size) {
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, picture->width, picture->height);
    if (!dc || !bitmap) {
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        snprintf(error, error_size, "no memory for a picture of %d x %d", picture->width, picture->height);
        return -1;
    }
    HGDIOBJ previous = SelectObject(dc, bitmap);
    BoxPlacement p = FitToBox(picture->width, picture->height, picture->width, picture->height);
    StretchPictureMirrored(dc, &p, source_dc, picture->width, picture->height);
    DirectSurface surface;
    int result = -1;
    if (GetDirectSurface(dc, &surface) == 0)
        result = SavePicture(options->picture_path, options->picture_form, surface.words, surface.stride_words,
                             surface.width, surface.height, error, error_size);
    else
        snprintf(error, error_size, "the picture's pixels are not at hand");
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return result;
}

}  // namespace

int InspectBitmap(Report* report, const char* path, const InspectOptions* options) {
    BeginFileReport(report, path, "bmp");
    ReportHeaders(report, path);

    const char* refusal = PathRefusal(path);
    LoadedBitmap picture;
    ClearStopReason();
    if (LoadBmpFile(&picture, path) != 0) {
        ReportReaderVerdict(report, "fails", "the BMP reader refuses the file");
        EndFileReport(report);
        return 1;
    }

    // The upload exactly as the bitmap view makes it, onto a bitmap in the
    // screen's format, which is the window's.
    HDC screen = GetDC(nullptr);
    HDC source_dc = CreateCompatibleDC(screen);
    HBITMAP source = CreateCompatibleBitmap(screen, picture.width, picture.height);
    HGDIOBJ previous_source = SelectObject(source_dc, source);
    const int shown = UploadLoadedBitmap(source_dc, source, &picture) != 0;

    if (shown && options->has_box) {
        BoxPlacement p = FitToBox(options->box_width, options->box_height, picture.width, picture.height);
        ReportBox(report, &p, -1);
    }
    int result = 0;
    if (options->picture_path) {
        char error[512];
        if (!shown) {
            snprintf(error, sizeof error, "no picture written: -b shows no picture of this file");
            result = 1;
        } else if (SaveShownPicture(screen, source_dc, &picture, options, error, sizeof error) != 0) {
            result = 1;
        } else {
            ReportString(report, PictureOption(options), options->picture_path);
        }
        if (result != 0) fprintf(stderr, "blitview-inspect: %s: %s\n", path, error);
    }
    SelectObject(source_dc, previous_source);
    DeleteObject(source);
    DeleteDC(source_dc);
    ReleaseDC(nullptr, screen);
    FreeBmpFile(&picture);

    if (refusal)
        ReportVerdict(report, "fails", refusal, -1);
    else if (shown)
        ReportVerdict(report, "shows the picture", nullptr, -1);
    else
        ReportReaderVerdict(report, "shows the background only", "the upload is refused");
    EndFileReport(report);
    return refusal ? 1 : result;
}
