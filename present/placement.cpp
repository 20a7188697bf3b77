// What the bitmap view and the vector overlay share: the fit, the background
// sample and the frame.
#include "present.h"

// A double truncated toward zero, kept inside 32 bits: a degenerate box or
// picture (a zero side) must give some placement, never an undefined one.
static int32_t TruncateToInt32(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return 2147483647;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

BoxPlacement FitToBox(int32_t box_width, int32_t box_height, int32_t natural_width, int32_t natural_height) {
    BoxPlacement placement;
    placement.box_width = box_width;
    placement.box_height = box_height;
    if (natural_width <= box_width && natural_height <= box_height) {
        placement.fitted_width = natural_width;
        placement.fitted_height = natural_height;
    } else {
        // The picture's ratio is held as a 32-bit float, the box's is not:
        // equal proportions can therefore lose one pixel, as hosts expect.
        const float content_ratio = static_cast<float>(static_cast<double>(natural_width) / natural_height);
        const double box_ratio = static_cast<double>(box_width) / box_height;
        if (box_ratio > content_ratio) {
            placement.fitted_height = box_height;
            placement.fitted_width = TruncateToInt32(static_cast<double>(box_height) * content_ratio);
        } else {
            placement.fitted_width = box_width;
            placement.fitted_height = TruncateToInt32(static_cast<double>(box_width) / content_ratio);
        }
    }
    placement.left = TruncateToInt32(static_cast<double>(static_cast<int64_t>(box_width) - placement.fitted_width) / 2);
    placement.top = TruncateToInt32(static_cast<double>(static_cast<int64_t>(box_height) - placement.fitted_height) / 2);
    return placement;
}

COLORREF SampleBackground(HDC window_dc, int32_t box_height) {
    return GetPixel(window_dc, 0, box_height + 2);
}

void DrawFrame(HDC dc, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    HPEN pen = CreatePen(PS_SOLID, 2, FRAME_COLOR);
    HGDIOBJ previous = SelectObject(dc, pen);
    MoveToEx(dc, left, top, nullptr);
    LineTo(dc, right, top);
    LineTo(dc, right, bottom);
    LineTo(dc, left, bottom);
    LineTo(dc, left, top);
    SelectObject(dc, previous);
    DeleteObject(pen);
}
