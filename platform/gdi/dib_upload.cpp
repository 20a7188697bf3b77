// SetDIBits into the software GDI's 32-bit device bitmaps: every header form,
// bit depth and compression the reference GDI takes, with its colour rules and
// its refusals, so that an uploaded picture matches it pixel for pixel.
//
// The header is read byte by byte through a cursor: a BMP file's header sits
// at byte 14 of its block, where a BITMAPINFOHEADER is not aligned.
#include <stdlib.h>
#include <string.h>

#include "../../reading/reading.h"
#include "gdi.h"

namespace {

struct DibForm {
    DibHeader header;
    uint32_t colour_count;  // table entries that an index may name
    uint32_t masks[3];      // red, green, blue
    int copy_whole;         // 32-bit words are taken as they are, alpha included
};

struct ChannelField {
    int shift;
    int length;
};

const unsigned char* BytesOf(const BITMAPINFO* info) {
    return reinterpret_cast<const unsigned char*>(info);
}

// 0 when the reference GDI takes the header's form, -1 when it refuses it.
// SetDIBits is given no byte count: the header is taken to hold what it
// declares, as GDI takes it.
int ReadDibForm(const BITMAPINFO* info, DibForm* form) {
    memset(form, 0, sizeof *form);
    DibHeader& header = form->header;
    ByteCursor cursor = MakeCursor(info, SIZE_MAX);
    if (ReadDibHeader(&cursor, &header) != 0) {
        NoteStop(-1, "GDI takes no header of this size");
        return -1;
    }
    if (header.width <= 0 || header.height == 0 || header.planes == 0) {
        NoteStop(-1, "GDI takes no picture of %lld x %lld pixels in %u planes", static_cast<long long>(header.width),
                 static_cast<long long>(header.height), header.planes);
        return -1;
    }

    int bpp = header.bit_count;
    switch (header.compression) {
        case BI_RLE8:
        case BI_RLE4: {
            const int rle_bpp = header.compression == BI_RLE8 ? 8 : 4;
            if (bpp != rle_bpp || header.height < 0 || header.image_size == 0) {
                if (bpp != rle_bpp)
                    NoteStop(-1, "GDI takes %d-bit run-length data only at %d bits per pixel, not %d", rle_bpp,
                             rle_bpp, bpp);
                else
                    NoteStop(-1, header.height < 0 ? "GDI takes no top-down run-length picture"
                                                   : "GDI takes no run-length picture whose biSizeImage is 0");
                return -1;
            }
            break;
        }
        case BI_RGB:
            if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
                NoteStop(-1, "GDI takes no uncompressed picture of %d bits per pixel", bpp);
                return -1;
            }
            break;
        case BI_BITFIELDS: {
            if (bpp != 16 && bpp != 32) {
                NoteStop(-1, "GDI takes bit fields only at 16 or 32 bits per pixel, not %d", bpp);
                return -1;
            }
            // The masks follow the first 40 bytes of every info header; in a
            // V4 or V5 header those are its own mask fields.
            if (ReadDibMasks(&cursor, &header) != 0) {
                NoteStop(-1, "the bit-field masks cannot be read");
                return -1;
            }
            static const char* const kChannels[3] = {"red", "green", "blue"};
            for (int channel = 0; channel < 3; channel++) {
                form->masks[channel] = header.masks[channel];
                // A channel without bits is refused.
                if (form->masks[channel] == 0) {
                    NoteStop(-1, "the %s bit-field mask is zero", kChannels[channel]);
                    return -1;
                }
            }
            break;
        }
        default:
            NoteStop(-1, "GDI uploads no data of compression %lu", static_cast<unsigned long>(header.compression));
            return -1;
    }

    if (bpp <= 8) {
        form->colour_count = DibReachableColourCount(&header);
    } else if (bpp == 16 && header.compression == BI_RGB) {
        form->masks[0] = 0x7C00;
        form->masks[1] = 0x03E0;
        form->masks[2] = 0x001F;
    } else if (bpp == 32) {
        form->copy_whole = header.compression == BI_RGB ||
                           (form->masks[0] == 0xFF0000 && form->masks[1] == 0xFF00 && form->masks[2] == 0xFF);
    }
    return 0;
}

// The table as pixel words; the entries past it stay black. The reserved
// byte of an entry is not copied.
void ReadColourTable(const BITMAPINFO* info, const DibForm* form, uint32_t* palette) {
    size_t entry_size = DibColourEntrySize(&form->header);
    ByteCursor cursor = MakeCursor(BytesOf(info) + form->header.header_size, form->colour_count * entry_size);
    for (uint32_t i = 0; i < form->colour_count && CursorRemaining(&cursor) >= entry_size; i++) {
        const unsigned char* entry = cursor.data + cursor.position;
        palette[i] = (static_cast<uint32_t>(entry[2]) << 16) | (static_cast<uint32_t>(entry[1]) << 8) | entry[0];
        cursor.position += entry_size;
    }
}

ChannelField FieldOf(uint32_t mask) {
    ChannelField field = {0, 0};
    if (mask == 0) return field;
    while (!(mask & 1)) {
        mask >>= 1;
        field.shift++;
    }
    while (mask & 1) {
        mask >>= 1;
        field.length++;
    }
    return field;
}

// A channel widened or narrowed to 8 bits: a narrow field is shifted to the
// top and its top bits repeated once below it; a wide field keeps its top 8.
uint32_t Channel(uint32_t pixel, ChannelField field) {
    if (field.length == 0) return 0;
    uint32_t value = pixel >> field.shift;
    if (field.length < 32) value &= (1u << field.length) - 1;
    if (field.length >= 8) return (value >> (field.length - 8)) & 0xFF;
    uint32_t high = value << (8 - field.length);
    return (high | (high >> field.length)) & 0xFF;
}

struct RowConverter {
    const DibForm* form;
    const uint32_t* palette;
    ChannelField fields[3];
};

uint32_t ConvertPixel(const RowConverter* converter, const unsigned char* row, int64_t x) {
    const DibForm* form = converter->form;
    int bpp = form->header.bit_count;
    if (bpp <= 8) {
        uint64_t bit = static_cast<uint64_t>(x) * bpp;
        unsigned index = (row[bit >> 3] >> (8 - bpp - (bit & 7))) & ((1u << bpp) - 1);
        return converter->palette[index];
    }
    if (bpp == 24) {
        const unsigned char* p = row + x * 3;
        return (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
    }
    const unsigned char* p = row + x * (bpp / 8);
    uint32_t pixel = bpp == 16 ? static_cast<uint32_t>(p[0] | (p[1] << 8))
                               : static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                     (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    if (form->copy_whole) return pixel;
    return (Channel(pixel, converter->fields[0]) << 16) | (Channel(pixel, converter->fields[1]) << 8) |
           Channel(pixel, converter->fields[2]);
}

void ConvertRow(const RowConverter* converter, const unsigned char* row, uint32_t* out, int64_t count) {
    for (int64_t x = 0; x < count; x++) out[x] = ConvertPixel(converter, row, x);
}

// The current row's pending stretch of decoded indices. It reaches the bitmap
// only when an end-of-line, end-of-bitmap or delta code follows it; data that
// simply ends leaves it unpainted, as in the reference.
struct RleRow {
    unsigned char* indices;  // one per visible column
    int64_t visible;
    int64_t left;
    int64_t right;
};

void PutIndex(RleRow* row, int64_t x, unsigned index) {
    if (x < row->visible) row->indices[x] = static_cast<unsigned char>(index);
}

// Where the decoded stretches go: `commit` is called with each one that
// reaches the bitmap, the columns left <= x < end of row y. The indices of a
// row that `wants` turns down are not stored, only counted.
struct RleSink {
    void (*commit)(void* context, const RleRow* row, int64_t y, int64_t end);
    int (*wants)(void* context, int64_t y);
    void* context;
};

void CommitRleRow(const RleRow* row, int64_t y, int64_t height, const RleSink* sink) {
    if (row->left == row->right || y >= height) return;
    int64_t end = row->right < row->visible ? row->right : row->visible;
    sink->commit(sink->context, row, y, end);
}

// Decodes an RLE8 or RLE4 stream of form->header.image_size bytes, bottom
// row first, into a bitmap of width x height. Runs and literals are cut at
// the row's end.
int DecodeRle(const DibForm* form, const unsigned char* data, int64_t bitmap_width, int64_t bitmap_height,
              const RleSink* sink) {
    int64_t width = form->header.width;
    RleRow row;
    row.visible = width < bitmap_width ? width : bitmap_width;
    row.indices = static_cast<unsigned char*>(calloc(static_cast<size_t>(row.visible) + 1, 1));
    if (!row.indices) return -1;
    row.left = row.right = 0;
    int four = form->header.bit_count == 4;
    size_t size = form->header.image_size;
    size_t i = 0;
    int64_t x = 0;
    int64_t y = form->header.height - 1;
    int wanted = sink->wants(sink->context, y);
    while (i + 1 < size) {
        unsigned count = data[i];
        unsigned code = data[i + 1];
        i += 2;
        if (count != 0) {
            int64_t n = count < width - x ? count : width - x;
            for (int64_t k = 0; wanted && k < n; k++)
                PutIndex(&row, x + k, !four ? code : (k & 1) ? code & 15 : code >> 4);
            x += n;
            row.right = x;
        } else if (code < 3) {
            CommitRleRow(&row, y, bitmap_height, sink);
            if (code == 1) break;
            if (code == 0) {
                x = row.left = row.right = 0;
                if (--y < 0) break;
                wanted = sink->wants(sink->context, y);
                continue;
            }
            if (i + 1 >= size) break;
            x += data[i];
            if (x > width) x = width;
            row.left = row.right = x;
            y -= data[i + 1];
            if (y < 0) break;
            wanted = sink->wants(sink->context, y);
            i += 2;
        } else {
            size_t bytes = four ? (code + 1) / 2 : code;
            if (bytes > size - i) break;
            int64_t n = code < width - x ? code : width - x;
            for (int64_t k = 0; wanted && k < n; k++) {
                unsigned index = !four ? data[i + k] : (k & 1) ? data[i + k / 2] & 15 : data[i + k / 2] >> 4;
                PutIndex(&row, x + k, index);
            }
            x += n;
            row.right = x;
            i += (bytes + 1) & ~static_cast<size_t>(1);
        }
    }
    free(row.indices);
    return 0;
}

// A whole decode: each stretch painted into the bitmap's words; indices past
// the table are black.
struct RlePainter {
    const uint32_t* palette;
    const DeviceBitmapWords* target;
};

int WantsEveryRow(void* context, int64_t y) {
    (void)context;
    (void)y;
    return 1;
}

void PaintRleStretch(void* context, const RleRow* row, int64_t y, int64_t end) {
    const RlePainter* painter = static_cast<const RlePainter*>(context);
    uint32_t* out = painter->target->words + static_cast<size_t>(y) * painter->target->stride_words;
    for (int64_t x = row->left; x < end; x++) out[x] = painter->palette[row->indices[x]];
}

// A decode through a pick: only the picked columns of the picked rows are
// kept, one row's worth at a time, and each picked row is handed on once.
struct RlePicker {
    const uint32_t* palette;
    const UploadPick* pick;
    uint32_t* words;        // the picked columns of the row being decoded
    int64_t current;        // its index among the picked rows, -1 before the first
    unsigned char* handed;  // per picked row: already handed on
};

void HandOnPickedRow(RlePicker* picker) {
    if (picker->current < 0) return;
    picker->pick->take(picker->pick->context, picker->current, picker->words);
    picker->handed[picker->current] = 1;
    memset(picker->words, 0, sizeof(uint32_t) * static_cast<size_t>(picker->pick->column_count));
    picker->current = -1;
}

// The first index of a sorted list whose value is at least `value`.
int64_t FirstAtLeast(const int64_t* values, int64_t count, int64_t value) {
    int64_t low = 0, high = count;
    while (low < high) {
        int64_t middle = low + (high - low) / 2;
        if (values[middle] < value)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// The index of row y among the picked rows, -1 when it is not picked.
int64_t PickedRowIndex(const UploadPick* pick, int64_t y) {
    int64_t index = FirstAtLeast(pick->rows, pick->row_count, y);
    return index < pick->row_count && pick->rows[index] == y ? index : -1;
}

int WantsPickedRow(void* context, int64_t y) {
    return PickedRowIndex(static_cast<RlePicker*>(context)->pick, y) >= 0;
}

void PickRleStretch(void* context, const RleRow* row, int64_t y, int64_t end) {
    RlePicker* picker = static_cast<RlePicker*>(context);
    const UploadPick* pick = picker->pick;
    int64_t index = PickedRowIndex(pick, y);
    if (index < 0) return;
    if (index != picker->current) {
        HandOnPickedRow(picker);
        picker->current = index;
    }
    for (int64_t c = FirstAtLeast(pick->columns, pick->column_count, row->left);
         c < pick->column_count && pick->columns[c] < end; c++)
        picker->words[c] = picker->palette[row->indices[pick->columns[c]]];
}

struct UploadParts {
    DibForm form;
    uint32_t palette[256];
    const unsigned char* data;
    int compressed;
};

// The call's form and colours, read again from its arguments.
int ReadUploadParts(const PendingUpload* upload, UploadParts* parts) {
    if (ReadDibForm(upload->info, &parts->form) != 0) return -1;
    memset(parts->palette, 0, sizeof parts->palette);
    if (parts->form.header.bit_count <= 8) ReadColourTable(upload->info, &parts->form, parts->palette);
    parts->data = static_cast<const unsigned char*>(upload->bits);
    parts->compressed = parts->form.header.compression == BI_RLE8 || parts->form.header.compression == BI_RLE4;
    return 0;
}

// What an uncompressed upload puts on the bitmap's row y: the stored row, or
// nothing (NULL) for a row the call does not set.
const unsigned char* StoredRowFor(const PendingUpload* upload, const UploadParts* parts, int64_t y) {
    const DibHeader& header = parts->form.header;
    int64_t rows = header.height < 0 ? -header.height : header.height;
    int64_t count = upload->lines < rows - upload->start ? upload->lines : rows - upload->start;
    int64_t k = (header.height > 0 ? rows - 1 - y : y) - upload->start;
    if (k < 0 || k >= count) return nullptr;
    int64_t stride = (header.width * header.bit_count + 31) / 32 * 4;
    return parts->data + k * stride;
}

RowConverter ConverterFor(const UploadParts* parts) {
    const DibForm& form = parts->form;
    return {&form, parts->palette, {FieldOf(form.masks[0]), FieldOf(form.masks[1]), FieldOf(form.masks[2])}};
}

// How many lines the call sets, the form already accepted: 0 for none.
int64_t LinesSet(const DibForm* form, UINT start, UINT lines) {
    // A compressed picture is always decoded whole, whatever was asked.
    if (form->header.compression == BI_RLE8 || form->header.compression == BI_RLE4) return form->header.height;
    int64_t rows = form->header.height < 0 ? -form->header.height : form->header.height;
    if (start >= rows) return 0;
    int64_t count = lines < rows - start ? lines : rows - start;
    // The rows' offsets must be expressible, whatever the header declares.
    int64_t stride = (form->header.width * form->header.bit_count + 31) / 32 * 4;
    if (count > INT64_MAX / stride) return 0;
    return count;
}

}  // namespace

int PaintUpload(const PendingUpload* upload, const DeviceBitmapWords* target) {
    UploadParts parts;
    if (ReadUploadParts(upload, &parts) != 0) return -1;
    if (parts.compressed) {
        RlePainter painter = {parts.palette, target};
        const RleSink sink = {PaintRleStretch, WantsEveryRow, &painter};
        return DecodeRle(&parts.form, parts.data, target->width, target->height, &sink);
    }
    const int64_t visible = parts.form.header.width < target->width ? parts.form.header.width : target->width;
    const RowConverter converter = ConverterFor(&parts);
    // The DIB's top row lands on the bitmap's top row.
    for (int64_t y = 0; y < target->height; y++) {
        const unsigned char* stored = StoredRowFor(upload, &parts, y);
        if (stored) ConvertRow(&converter, stored, target->words + y * target->stride_words, visible);
    }
    return 0;
}

int ReadUploadPicks(const PendingUpload* upload, int64_t width, int64_t height, const UploadPick* pick) {
    UploadParts parts;
    if (ReadUploadParts(upload, &parts) != 0) return -1;
    const size_t columns = static_cast<size_t>(pick->column_count);
    uint32_t* words = static_cast<uint32_t*>(calloc(columns + 1, sizeof(uint32_t)));
    unsigned char* handed = static_cast<unsigned char*>(calloc(static_cast<size_t>(pick->row_count) + 1, 1));
    int result = words && handed ? 0 : -1;
    if (result == 0 && parts.compressed) {
        RlePicker picker = {parts.palette, pick, words, -1, handed};
        const RleSink sink = {PickRleStretch, WantsPickedRow, &picker};
        result = DecodeRle(&parts.form, parts.data, width, height, &sink);
        HandOnPickedRow(&picker);
        // Rows that no stretch reached hold nothing.
        for (int64_t r = 0; result == 0 && r < pick->row_count; r++)
            if (!handed[r]) pick->take(pick->context, r, words);
    } else if (result == 0) {
        const int64_t visible = parts.form.header.width < width ? parts.form.header.width : width;
        const RowConverter converter = ConverterFor(&parts);
        for (int64_t r = 0; r < pick->row_count; r++) {
            const int64_t y = pick->rows[r];
            const unsigned char* stored = y < height ? StoredRowFor(upload, &parts, y) : nullptr;
            for (size_t c = 0; c < columns; c++) {
                const int64_t x = pick->columns[c];
                words[c] = stored && x >= 0 && x < visible ? ConvertPixel(&converter, stored, x) : 0;
            }
            pick->take(pick->context, r, words);
        }
    }
    free(handed);
    free(words);
    return result;
}

int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT usage) {
    (void)dc;
    DibForm form;
    if (!IsDeviceBitmap(bitmap) || !bits || !info || usage != DIB_RGB_COLORS || ReadDibForm(info, &form) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lines == 0) return 0;
    const int64_t set = LinesSet(&form, start, lines);
    if (set == 0) return 0;
    const PendingUpload upload = {start, lines, bits, info};
    if (KeepUploadPending(bitmap, &upload) == 0) return static_cast<int>(set);
    DeviceBitmapWords target;
    if (GetDeviceBitmapWords(bitmap, &target) != 0 || PaintUpload(&upload, &target) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    return static_cast<int>(set);
}
