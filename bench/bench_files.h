// The inputs the benchmarks make for themselves: BMP files of large
// declared sizes in small files, and vector files of many short polylines or
// a few very long ones.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tests/fixtures/file_builders.h"

using Bytes = std::vector<unsigned char>;

inline void PutU16(Bytes* bytes, unsigned value) {
    bytes->push_back(static_cast<unsigned char>(value & 0xFF));
    bytes->push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
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
    VectorBuilder vectors(600, 480);
    uint32_t seed = 12345;
    for (long i = 0; i < records; i++) {
        seed = seed * 1103515245u + 12345u;
        int x = static_cast<int>((seed >> 8) % 590), y = static_cast<int>((seed >> 20) % 470);
        vectors.Polyline(static_cast<uint16_t>(i % 8), {{x, y}, {x + 7, y + 3}});
    }
    return vectors.bytes;
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
    BmpBuilder bmp;
    bmp.FileHeader(14 + 40 + 1024).U32(40).U32(static_cast<uint32_t>(width)).U32(static_cast<uint32_t>(height));
    bmp.U16(1).U16(8).U32(1 /* BI_RLE8 */).U32(static_cast<uint32_t>(body.size())).U32(0).U32(0).U32(256).U32(0);
    for (unsigned i = 0; i < 256; i++) bmp.U32(i * 0x010101u);
    return bmp.Raw(body.data(), body.size()).Finish();
}

// An uncompressed top-down 1-bit BMP of width x height, stripes of both colours.
inline Bytes TopDownMonoBmp(int width, int height) {
    const uint32_t stride = (static_cast<uint32_t>(width) + 31) / 32 * 4;
    BmpBuilder bmp;
    bmp.bytes.reserve(14 + 40 + 8 + static_cast<size_t>(stride) * height);
    bmp.FileHeader(14 + 40 + 8).InfoHeader(width, -height, 1).U32(0x00FF8000).U32(0x000040FF);
    for (int row = 0; row < height; row++)
        for (uint32_t i = 0; i < stride; i++) bmp.bytes.push_back(static_cast<unsigned char>(row * 3 + i));
    return bmp.Finish();
}

// An uncompressed bottom-up 24-bit BMP of width x height in ramps of colour,
// as large as a camera's picture is at 6000 x 4000.
inline Bytes Rgb24Bmp(int width, int height) {
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) / 4 * 4;
    BmpBuilder bmp;
    bmp.bytes.reserve(14 + 40 + static_cast<size_t>(stride) * height);
    bmp.FileHeader(14 + 40).InfoHeader(width, height, 24);
    for (int row = 0; row < height; row++) {
        for (int x = 0; x < width; x++) {
            bmp.bytes.push_back(static_cast<unsigned char>(x * 255 / width));
            bmp.bytes.push_back(static_cast<unsigned char>(row * 255 / height));
            bmp.bytes.push_back(static_cast<unsigned char>((x + row) & 0xFF));
        }
        for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < stride; pad++) bmp.bytes.push_back(0);
    }
    return bmp.Finish();
}

// A vector file of 4000 x 3000 units, 4 polylines of 65,535 random points, or its header alone.
inline Bytes LongPolylines(int polylines) {
    VectorBuilder vectors(4000, 3000);
    uint32_t seed = 4242;
    for (int p = 0; p < polylines; p++) {
        std::vector<std::pair<int, int>> points(65535);
        for (auto& point : points) {
            seed = seed * 1103515245u + 12345u;
            point.first = static_cast<int>((seed >> 8) % 4000);
            seed = seed * 1103515245u + 12345u;
            point.second = static_cast<int>((seed >> 8) % 3000);
        }
        vectors.Polyline(static_cast<uint16_t>(p), points);
    }
    return vectors.bytes;
}
