// SetDIBits into the software GDI's 32-bit device bitmaps: every header form,
// bit depth and compression the reference GDI takes, with its colour rules and
// its refusals, so that an uploaded picture matches it pixel for pixel.
//
// The header is read byte by byte through a cursor: a BMP file's header sits
// at byte 14 of its block, where a BITMAPINFOHEADER is not aligned.
#include <stdlib.h>
#include <string.h>

#include "dib_header.h"
#include "internal.h"

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
    if (ReadDibHeader(&cursor, &header) != 0) return -1;
    if (header.width <= 0 || header.height == 0 || header.planes == 0) return -1;

    int bpp = header.bit_count;
    switch (header.compression) {
        case BI_RLE8:
        case BI_RLE4:
            if (bpp != (header.compression == BI_RLE8 ? 8 : 4) || header.height < 0 || header.image_size == 0)
                return -1;
            break;
        case BI_RGB:
            if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return -1;
            break;
        case BI_BITFIELDS: {
            if (bpp != 16 && bpp != 32) return -1;
            // The masks follow the first 40 bytes of every info header; in a
            // V4 or V5 header those are its own mask fields.
            if (ReadDibMasks(&cursor, &header) != 0) return -1;
            for (int channel = 0; channel < 3; channel++) {
                form->masks[channel] = header.masks[channel];
                if (form->masks[channel] == 0) return -1;  // a channel without bits is refused
            }
            break;
        }
        default:
            return -1;
    }

    if (bpp <= 8) {
        form->colour_count = DibColourCount(&header);
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

void ConvertRow(const RowConverter* converter, const unsigned char* row, uint32_t* out, int64_t count) {
    const DibForm* form = converter->form;
    int bpp = form->header.bit_count;
    for (int64_t x = 0; x < count; x++) {
        uint32_t word;
        if (bpp <= 8) {
            uint64_t bit = static_cast<uint64_t>(x) * bpp;
            unsigned index = (row[bit >> 3] >> (8 - bpp - (bit & 7))) & ((1u << bpp) - 1);
            word = converter->palette[index];
        } else if (bpp == 24) {
            const unsigned char* p = row + x * 3;
            word = (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
        } else {
            const unsigned char* p = row + x * (bpp / 8);
            uint32_t pixel = bpp == 16 ? static_cast<uint32_t>(p[0] | (p[1] << 8))
                                       : static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                             (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
            if (form->copy_whole)
                word = pixel;
            else
                word = (Channel(pixel, converter->fields[0]) << 16) | (Channel(pixel, converter->fields[1]) << 8) |
                       Channel(pixel, converter->fields[2]);
        }
        out[x] = word;
    }
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

void CommitRleRow(const RleRow* row, int64_t y, const uint32_t* palette, const DeviceBitmapWords* target) {
    if (row->left == row->right || y >= target->height) return;
    uint32_t* out = target->words + static_cast<size_t>(y) * target->stride_words;
    int64_t end = row->right < row->visible ? row->right : row->visible;
    for (int64_t x = row->left; x < end; x++) out[x] = palette[row->indices[x]];
}

// Decodes an RLE8 or RLE4 stream of form->header.image_size bytes, bottom row first.
// Runs and literals are cut at the row's end; indices past the table are black.
int PaintRle(const DibForm* form, const unsigned char* data, const uint32_t* palette,
             const DeviceBitmapWords* target) {
    int64_t width = form->header.width;
    RleRow row;
    row.visible = width < target->width ? width : target->width;
    row.indices = static_cast<unsigned char*>(calloc(static_cast<size_t>(row.visible) + 1, 1));
    if (!row.indices) return -1;
    row.left = row.right = 0;
    int four = form->header.bit_count == 4;
    size_t size = form->header.image_size;
    size_t i = 0;
    int64_t x = 0;
    int64_t y = form->header.height - 1;
    while (i + 1 < size) {
        unsigned count = data[i];
        unsigned code = data[i + 1];
        i += 2;
        if (count != 0) {
            int64_t n = count < width - x ? count : width - x;
            for (int64_t k = 0; k < n; k++) PutIndex(&row, x + k, !four ? code : (k & 1) ? code & 15 : code >> 4);
            x += n;
            row.right = x;
        } else if (code < 3) {
            CommitRleRow(&row, y, palette, target);
            if (code == 1) break;
            if (code == 0) {
                x = row.left = row.right = 0;
                if (--y < 0) break;
                continue;
            }
            if (i + 1 >= size) break;
            x += data[i];
            if (x > width) x = width;
            row.left = row.right = x;
            y -= data[i + 1];
            if (y < 0) break;
            i += 2;
        } else {
            size_t bytes = four ? (code + 1) / 2 : code;
            if (bytes > size - i) break;
            int64_t n = code < width - x ? code : width - x;
            for (int64_t k = 0; k < n; k++) {
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

}  // namespace

int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT usage) {
    (void)dc;
    DeviceBitmapWords target;
    DibForm form;
    if (GetDeviceBitmapWords(bitmap, &target) != 0 || !bits || !info || usage != DIB_RGB_COLORS ||
        ReadDibForm(info, &form) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lines == 0) return 0;
    uint32_t palette[256] = {};
    if (form.header.bit_count <= 8) ReadColourTable(info, &form, palette);
    const unsigned char* data = static_cast<const unsigned char*>(bits);

    if (form.header.compression == BI_RLE8 || form.header.compression == BI_RLE4) {
        // A compressed picture is always decoded whole, whatever was asked.
        if (PaintRle(&form, data, palette, &target) != 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        return static_cast<int>(form.header.height);
    }

    int64_t rows = form.header.height < 0 ? -form.header.height : form.header.height;
    if (start >= rows) return 0;
    int64_t count = lines < rows - start ? lines : rows - start;
    int64_t stride = (form.header.width * form.header.bit_count + 31) / 32 * 4;
    int64_t visible = form.header.width < target.width ? form.header.width : target.width;
    RowConverter converter = {&form, palette, {FieldOf(form.masks[0]), FieldOf(form.masks[1]), FieldOf(form.masks[2])}};
    // `bits` holds the scan lines from `start` on, in stored order; the DIB's
    // top row lands on the bitmap's top row.
    for (int64_t k = 0; k < count; k++) {
        int64_t y = form.header.height > 0 ? rows - 1 - (start + k) : start + k;
        if (y >= target.height) continue;
        ConvertRow(&converter, data + k * stride, target.words + y * target.stride_words, visible);
    }
    return static_cast<int>(count);
}
