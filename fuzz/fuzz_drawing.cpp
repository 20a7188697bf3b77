// Drawing files of any content, their records read and painted onto a
// canvas: nothing may crash, hang, leak or touch memory the program does not
// own. The two low bits of the input's first byte pick the real canvas, or a
// half, a quarter or a sixteenth of it on each side: small canvases run
// fastest, large ones have rows wide enough for the strip painter's column
// sets to span many words. The drawing file follows and is read by the
// converter's own record loop from a stream that, like a pipe, cannot tell
// its size, so that records cut short fail as they are read.
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
