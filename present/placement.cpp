// What the bitmap view and the vector overlay share: the fit, the background
// sample and the frame.
#include <stdio.h>

#include "../reading/reading.h"
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

void StretchPictureMirrored(HDC dc, const BoxPlacement* placement, HDC source_dc, int32_t natural_width,
                            int32_t natural_height) {
    const BoxPlacement& p = *placement;
    SetStretchBltMode(dc, COLORONCOLOR);
    // Traversed from the picture's last row upward: the image appears
    // mirrored top to bottom, which shows top-row-first files upright.
    StretchBlt(dc, p.left, p.top + p.fitted_height - 1, p.fitted_width, -p.fitted_height, source_dc, 0, 0,
               natural_width, natural_height, SRCCOPY);
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

int ParseViewCommand(const char* command_line, const char* format, char path[256], ViewBox* box) {
    int consumed = 0;
    if (sscanf(command_line, format, path, &consumed) != 1) return -1;
    // A path longer than 255 characters is refused, never cut.
    if (WordWasCut(command_line + consumed)) return -1;
    uint32_t values[4];
    if (ReadBoxCoordinates(command_line + consumed, values) != 0) return -1;
    const uint32_t x1 = values[0], y1 = values[1], x2 = values[2], y2 = values[3];
    box->x1 = static_cast<int32_t>(x1);
    box->y1 = static_cast<int32_t>(y1);
    box->width = static_cast<int32_t>(x2 - x1);
    box->height = static_cast<int32_t>(y2 - y1);
    // An empty or inverted box has nothing to show, and one too large for any
    // bitmap cannot be composed: both fail before the window is touched.
    if (box->width <= 0 || box->height <= 0 || box->width > MAX_BOX_SIDE || box->height > MAX_BOX_SIDE)
        return -1;
    return 0;
}

// Unlike %u, which wraps what does not fit and stops at the first non-digit,
// a coordinate here is the whole word or the run fails: a host that sent
// "300abc" or 4294967336 meant no point on the screen.
int ReadBoxCoordinates(const char* text, uint32_t values[4]) {
    const char* p = text;
    for (int i = 0; i < 4; i++) {
        while (isspace(static_cast<unsigned char>(*p))) p++;
        const int negative = *p == '-';
        if (*p == '-' || *p == '+') p++;
        if (!isdigit(static_cast<unsigned char>(*p))) return -1;
        uint64_t value = 0;
        for (; isdigit(static_cast<unsigned char>(*p)); p++) {
            value = value * 10 + static_cast<uint64_t>(*p - '0');
            if (value > UINT32_MAX) return -1;
        }
        if (*p != '\0' && !isspace(static_cast<unsigned char>(*p))) return -1;
        if (negative && value > 0x80000000u) return -1;
        values[i] = negative ? static_cast<uint32_t>(0u - value) : static_cast<uint32_t>(value);
    }
    return 0;
}

HDC OpenBoxWindow(const ViewBox& box, HDC target, HWND* window) {
    *window = nullptr;
    if (target) return target;
    POINT corner = {box.x1, box.y1};
    *window = WindowFromPoint(corner);
    return *window ? GetDC(*window) : nullptr;
}

int CloseBoxWindow(HWND window, HDC dc, HDC target) {
    if (target) return 0;
    ReleaseDC(window, dc);
    // What is drawn reaches the window at the latest when its context is
    // released.
    return GdiFlush() ? 0 : -1;
}

COLORREF BoxBackground(HDC window_dc, int32_t box_height) {
    COLORREF sampled = SampleBackground(window_dc, box_height);
    // An unreadable sample point gives CLR_INVALID, which a brush would paint
    // black; saying so here makes both platforms agree.
    return sampled == CLR_INVALID ? RGB(0, 0, 0) : sampled;
}

void FillBox(HDC dc, int32_t width, int32_t height, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    HGDIOBJ previous = SelectObject(dc, brush);
    RECT box = {0, 0, width, height};
    FillRect(dc, &box, brush);
    SelectObject(dc, previous);
    DeleteObject(brush);
}
