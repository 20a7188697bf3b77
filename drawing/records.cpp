// The filled-rectangle and run-set records of a drawing file.
#include "drawing.h"

int DrawFilledRect(FILE* stream) {
    unsigned char body[12];
    if (ReadStreamExact(stream, body, sizeof body) != 0) return -1;
    ByteCursor cursor = MakeCursor(body, sizeof body);
    uint16_t y_base, left, top, right, bottom, colour_index;
    ReadU16Le(&cursor, &y_base);
    ReadU16Le(&cursor, &left);
    ReadU16Le(&cursor, &top);
    ReadU16Le(&cursor, &right);
    ReadU16Le(&cursor, &bottom);
    ReadU16Le(&cursor, &colour_index);
    if (colour_index >= DRAWING_PALETTE_SIZE) return -1;

    const float scale = g_render_state.scale;
    // Only the top edge takes the base; the sum is formed without wrapping.
    RECT rect;
    rect.left = ScaleCoordinate(left, scale);
    rect.top = ScaleCoordinate(static_cast<int32_t>(y_base) + top, scale);
    rect.right = ScaleCoordinate(right, scale);
    rect.bottom = ScaleCoordinate(bottom, scale);

    // A record that cannot be drawn fails rather than vanish from the picture.
    HBRUSH brush = CreateSolidBrush(DrawingPalette[colour_index]);
    if (!brush) return -1;
    FillRect(g_render_state.device_context, &rect, brush);
    DeleteObject(brush);
    return 0;
}

int DrawRunSet(FILE* stream) {
    unsigned char head[8];
    if (ReadStreamExact(stream, head, sizeof head) != 0) return -1;
    ByteCursor cursor = MakeCursor(head, sizeof head);
    int16_t count, y;
    uint16_t colour_index, ignored;
    ReadI16Le(&cursor, &count);
    ReadU16Le(&cursor, &colour_index);
    ReadU16Le(&cursor, &ignored);
    ReadI16Le(&cursor, &y);
    if (colour_index >= DRAWING_PALETTE_SIZE) return -1;

    HDC dc = g_render_state.device_context;
    const float scale = g_render_state.scale;
    HPEN pen = CreatePen(PS_SOLID, 1, DrawingPalette[colour_index]);
    if (!pen) return -1;
    HGDIOBJ previous_pen = SelectObject(dc, pen);
    const int32_t row = ScaleCoordinate(y, scale);

    // The head's second group counts as the first of `count`, so the body
    // carries count - 1 runs, and none for a count of 1 or less.
    int result = 0;
    for (int run = 1; run < count; run++) {
        unsigned char pair[4];
        if (ReadStreamExact(stream, pair, sizeof pair) != 0) {
            result = -1;
            break;
        }
        ByteCursor run_cursor = MakeCursor(pair, sizeof pair);
        int16_t x_start, x_end;
        ReadI16Le(&run_cursor, &x_start);
        ReadI16Le(&run_cursor, &x_end);
        MoveToEx(dc, ScaleCoordinate(x_start, scale), row, nullptr);
        LineTo(dc, ScaleCoordinate(x_end, scale), row);
    }
    SelectObject(dc, previous_pen);
    DeleteObject(pen);
    return result;
}
