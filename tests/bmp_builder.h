// BMP files built field by field, for tests and input writers that need
// exact bytes, malformed ones included. Header only and self-contained, so
// that programs which link nothing of the product share it too.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct BmpBuilder {
    std::vector<unsigned char> bytes;

    BmpBuilder& U16(uint32_t value) {
        bytes.push_back(static_cast<unsigned char>(value));
        bytes.push_back(static_cast<unsigned char>(value >> 8));
        return *this;
    }
    BmpBuilder& U32(uint32_t value) { return U16(value & 0xFFFF).U16(value >> 16); }
    BmpBuilder& Raw(const unsigned char* data, size_t size) {
        bytes.insert(bytes.end(), data, data + size);
        return *this;
    }
    // "BM", a file size of 0 until Finish, the reserved words, bfOffBits.
    BmpBuilder& FileHeader(uint32_t pixel_offset) { return U16(0x4D42).U32(0).U32(0).U32(pixel_offset); }
    // A 40-byte info header: one plane, no colours counted.
    BmpBuilder& InfoHeader(int32_t width, int32_t height, uint16_t bit_count, uint32_t compression = 0,
                           uint32_t image_size = 0, uint32_t pixels_per_metre = 0) {
        U32(40).U32(static_cast<uint32_t>(width)).U32(static_cast<uint32_t>(height)).U16(1).U16(bit_count);
        return U32(compression).U32(image_size).U32(pixels_per_metre).U32(pixels_per_metre).U32(0).U32(0);
    }
    // bfSize: `size`, or the bytes so far when none is given.
    BmpBuilder& FileSize(int64_t size = -1) {
        uint32_t value = static_cast<uint32_t>(size < 0 ? static_cast<int64_t>(bytes.size()) : size);
        for (int i = 0; i < 4; i++) bytes[2 + i] = static_cast<unsigned char>(value >> (8 * i));
        return *this;
    }
    std::vector<unsigned char> Finish() { return FileSize().bytes; }
};
