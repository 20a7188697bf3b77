// The inputs the benchmarks make for themselves: BMP files of large
// declared sizes in small files, and vector files of many short polylines or
// a few very long ones.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline void PutU16(Bytes* bytes, unsigned value) {
    bytes->push_back(static_cast<unsigned char>(value & 0xFF));
    bytes->push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

inline void PutU32(Bytes* bytes, uint32_t value) {
    PutU16(bytes, value & 0xFFFF);
    PutU16(bytes, value >> 16);
}

inline int Save(const std::string& path, const Bytes& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return -1;
    size_t written = fwrite(bytes.data(), 1, bytes.size(), file);
    return (fclose(file) == 0 && written == bytes.size()) ? 0 : -1;
}

// A vector file in 600 x 480 units of `records` short two-point polylines
// spread over the picture.
inline Bytes VectorFile(long records) {
    Bytes bytes;
    PutU16(&bytes, 600);
    PutU16(&bytes, 480);
    uint32_t seed = 12345;
    for (long i = 0; i < records; i++) {
        seed = seed * 1103515245u + 12345u;
        int x = static_cast<int>((seed >> 8) % 590), y = static_cast<int>((seed >> 20) % 470);
        PutU16(&bytes, static_cast<unsigned>(i % 8));
        PutU16(&bytes, 2);
        PutU16(&bytes, static_cast<unsigned>(x));
        PutU16(&bytes, static_cast<unsigned>(y));
        PutU16(&bytes, static_cast<unsigned>(x + 7));
        PutU16(&bytes, static_cast<unsigned>(y + 3));
    }
    return bytes;
}

// An RLE8 BMP of width x height whose every row is runs of 255 pixels (the
// last one shorter) of colour (row + run) % 256, with a grey-ramp palette.
inline Bytes RleBmp(int width, int height) {
    Bytes body;
    for (int row = 0; row < height; row++) {
        for (int column = 0, run = 0; column < width; column += 255, run++) {
            int length = width - column < 255 ? width - column : 255;
            body.push_back(static_cast<unsigned char>(length));
            body.push_back(static_cast<unsigned char>((row + run) & 0xFF));
        }
        body.push_back(0);
        body.push_back(0);
    }
    body.push_back(0);
    body.push_back(1);
    Bytes bytes;
    const uint32_t offset = 14 + 40 + 1024;
    bytes.push_back('B');
    bytes.push_back('M');
    PutU32(&bytes, offset + static_cast<uint32_t>(body.size()));
    PutU32(&bytes, 0);
    PutU32(&bytes, offset);
    PutU32(&bytes, 40);
    PutU32(&bytes, static_cast<uint32_t>(width));
    PutU32(&bytes, static_cast<uint32_t>(height));
    PutU16(&bytes, 1);
    PutU16(&bytes, 8);
    PutU32(&bytes, 1);  // BI_RLE8
    PutU32(&bytes, static_cast<uint32_t>(body.size()));
    PutU32(&bytes, 0);
    PutU32(&bytes, 0);
    PutU32(&bytes, 256);
    PutU32(&bytes, 0);
    for (unsigned i = 0; i < 256; i++) PutU32(&bytes, i * 0x010101u);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

// An uncompressed top-down 1-bit BMP of width x height, stripes of both colours.
inline Bytes TopDownMonoBmp(int width, int height) {
    const uint32_t offset = 14 + 40 + 8, stride = (static_cast<uint32_t>(width) + 31) / 32 * 4;
    Bytes bytes;
    bytes.reserve(offset + static_cast<size_t>(stride) * height);
    bytes.push_back('B');
    bytes.push_back('M');
    PutU32(&bytes, offset + stride * static_cast<uint32_t>(height));
    PutU32(&bytes, 0);
    PutU32(&bytes, offset);
    PutU32(&bytes, 40);
    PutU32(&bytes, static_cast<uint32_t>(width));
    PutU32(&bytes, static_cast<uint32_t>(-height));
    PutU16(&bytes, 1);
    PutU16(&bytes, 1);
    for (int i = 0; i < 6; i++) PutU32(&bytes, 0);
    PutU32(&bytes, 0x00FF8000);
    PutU32(&bytes, 0x000040FF);
    for (int row = 0; row < height; row++)
        for (uint32_t i = 0; i < stride; i++) bytes.push_back(static_cast<unsigned char>(row * 3 + i));
    return bytes;
}

// An uncompressed bottom-up 24-bit BMP of width x height in ramps of colour,
// as large as a camera's picture is at 6000 x 4000.
inline Bytes Rgb24Bmp(int width, int height) {
    const uint32_t offset = 14 + 40, stride = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
    Bytes bytes;
    bytes.reserve(offset + static_cast<size_t>(stride) * height);
    bytes.push_back('B');
    bytes.push_back('M');
    PutU32(&bytes, offset + stride * static_cast<uint32_t>(height));
    PutU32(&bytes, 0);
    PutU32(&bytes, offset);
    PutU32(&bytes, 40);
    PutU32(&bytes, static_cast<uint32_t>(width));
    PutU32(&bytes, static_cast<uint32_t>(height));
    PutU16(&bytes, 1);
    PutU16(&bytes, 24);
    for (int i = 0; i < 6; i++) PutU32(&bytes, 0);
    for (int row = 0; row < height; row++) {
        for (int x = 0; x < width; x++) {
            bytes.push_back(static_cast<unsigned char>(x * 255 / width));
            bytes.push_back(static_cast<unsigned char>(row * 255 / height));
            bytes.push_back(static_cast<unsigned char>((x + row) & 0xFF));
        }
        for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < stride; pad++) bytes.push_back(0);
    }
    return bytes;
}

// A vector file of 4000 x 3000 units, 4 polylines of 65,535 random points, or its header alone.
inline Bytes LongPolylines(int polylines) {
    Bytes bytes;
    PutU16(&bytes, 4000);
    PutU16(&bytes, 3000);
    uint32_t seed = 4242;
    for (int p = 0; p < polylines; p++) {
        PutU16(&bytes, static_cast<unsigned>(p));
        PutU16(&bytes, 65535);
        for (int i = 0; i < 65535; i++) {
            seed = seed * 1103515245u + 12345u;
            const unsigned x = (seed >> 8) % 4000;
            seed = seed * 1103515245u + 12345u;
            PutU16(&bytes, x);
            PutU16(&bytes, (seed >> 8) % 3000);
        }
    }
    return bytes;
}
