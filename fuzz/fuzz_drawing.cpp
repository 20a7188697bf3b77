// Drawing files of any content, their records read and painted onto a
// canvas: nothing may crash, hang, leak or touch memory the program does not
// own. The input's first byte picks the canvas, the drawing file follows and
// is read by the converter's own record loop. Most runs take a sixteenth of
// the real canvas on each side, where a run costs microseconds; the rest take
// the full canvas, a half or a quarter, where rows are wide enough for the
// strip painter's column sets to span many words.
#include <stdio.h>

#include "drawing/drawing.h"
#include "fuzz_support.h"

namespace {

const uint16_t kCanvasDivisors[4] = {16, 1, 4, 2};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint16_t divisor = kCanvasDivisors[data[0] & 3];
    data++;
    size--;
    RenderState& state = g_render_state;
    state.source_width = static_cast<uint16_t>(data[0] | data[1] << 8);
    state.source_height = static_cast<uint16_t>(data[2] | data[3] << 8);
    uint16_t width, height;
    CanvasSizeFor(state.source_width, state.source_height, &width, &height);
    width = static_cast<uint16_t>(width / divisor);
    height = static_cast<uint16_t>(height / divisor);
    if (width == 0 || height == 0 || size == 4) return 0;
    FILE* stream = fmemopen(const_cast<uint8_t*>(data + 4), size - 4, "rb");
    if (!stream) return 0;
    HDC screen = GetDC(nullptr);
    state.device_context = CreateCompatibleDC(screen);
    state.canvas_bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    state.previous_bitmap = SelectObject(state.device_context, state.canvas_bitmap);
    state.canvas_width = width;
    state.canvas_height = height;
    state.scale = static_cast<float>(static_cast<double>(width) / state.source_width);
    BitBlt(state.device_context, 0, 0, width, height, nullptr, 0, 0, WHITENESS);
    DrawRecords(stream);
    fclose(stream);
    ReleaseCanvas();
    CheckNothingLive();
    return 0;
}
