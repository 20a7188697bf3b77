// An off-screen canvas for tests, probes and benchmarks: a memory context
// with a screen-compatible bitmap selected into it, all released in reverse
// order when it goes. Header only, so that the probes built with the Windows
// compiler against the real GDI share it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "platform/platform.h"

struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    int width = 0, height = 0;

    // Compatible with `screen` when one is given, else with a screen context
    // held only while the two are made.
    Canvas(int w, int h, HDC screen = nullptr) : width(w), height(h) {
        HDC own = screen ? nullptr : GetDC(nullptr);
        HDC reference = screen ? screen : own;
        dc = CreateCompatibleDC(reference);
        bitmap = CreateCompatibleBitmap(reference, w, h);
        if (own) ReleaseDC(nullptr, own);
        if (dc && bitmap) previous = SelectObject(dc, bitmap);
    }
    ~Canvas() {
        if (previous) SelectObject(dc, previous);
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // The pixels as GetBitmapBits gives them for a 32-bit bitmap, top row first.
    std::vector<uint32_t> Words() const {
        std::vector<uint32_t> words(static_cast<size_t>(width) * height);
        GetBitmapBits(bitmap, static_cast<LONG>(words.size() * 4), words.data());
        return words;
    }
};

// FNV-1a 64, the digest the upload comparisons record of a canvas's bytes.
inline uint64_t HashBytes(const unsigned char* bytes, size_t size) {
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < size; i++) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}
