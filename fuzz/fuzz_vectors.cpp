// Vector records of any content drawn into a memory DC with a clip, at a
// scale and place taken from the input's first bytes.
#include <stdio.h>

#include "drawing/drawing.h"
#include "fuzz_support.h"
#include "present/present.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    FILE* stream = fmemopen(const_cast<uint8_t*>(data + 4), size - 4, "rb");
    if (!stream && size > 4) return 0;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 96, 72);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    HRGN clip = CreateRectRgn(data[0] % 32, data[1] % 32, 96 - data[2] % 32, 72 - data[3] % 32);
    SelectClipRgn(dc, clip);
    DeleteObject(clip);
    g_render_state.device_context = dc;
    g_render_state.scale = static_cast<float>(data[0] + 1) / static_cast<float>(data[1] + 1);
    if (stream) {
        while (DrawPolylineRecord(stream, data[2] - 128, data[3] - 128) == 0) {
        }
        fclose(stream);
    }
    g_render_state.device_context = nullptr;
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    CheckNothingLive();
    return 0;
}
