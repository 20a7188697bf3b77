// "-b": a BMP file fitted, centred, mirrored and framed in the host's box,
// composed off screen and copied into the window in one transfer.
#include "../bitmap/bitmap.h"
#include "../drawing/drawing.h"
#include "present.h"

int ShowBitmapInto(const char* command_line, HDC target) {
    char path[256];
    ViewBox box;
    if (ParseViewCommand(command_line, "-b %255s%n", path, &box) != 0) return -1;
    LoadedBitmap picture;
    if (LoadBmpFile(&picture, path) != 0) return -1;
    HWND window;
    HDC window_dc = OpenBoxWindow(box, target, &window);
    if (!window_dc) {
        FreeBmpFile(&picture);
        return -1;
    }

    RenderState& state = g_render_state;
    state.device_context = CreateCompatibleDC(window_dc);
    state.canvas_bitmap = CreateCompatibleBitmap(window_dc, box.width, box.height);
    state.previous_bitmap = SelectObject(state.device_context, state.canvas_bitmap);
    FillBox(state.device_context, box.width, box.height, BoxBackground(window_dc, box.height));

    HDC source_dc = CreateCompatibleDC(window_dc);
    HBITMAP source = CreateCompatibleBitmap(window_dc, picture.width, picture.height);
    HGDIOBJ previous_source = SelectObject(source_dc, source);
    // Without an upload the box shows its background alone.
    if (UploadLoadedBitmap(source_dc, source, &picture) != 0) {
        BoxPlacement p = FitToBox(box.width, box.height, picture.width, picture.height);
        StretchPictureMirrored(state.device_context, &p, source_dc, picture.width, picture.height);
        DrawFrame(state.device_context, p.left, p.top, p.left + p.fitted_width, p.top + p.fitted_height);
    }
    SelectObject(source_dc, previous_source);
    DeleteObject(source);
    DeleteDC(source_dc);
    FreeBmpFile(&picture);

    BitBlt(window_dc, 0, 0, box.width, box.height, state.device_context, 0, 0, SRCCOPY);
    ReleaseCanvas();
    return CloseBoxWindow(window, window_dc, target);
}

int ShowBitmap(const char* command_line) {
    return ShowBitmapInto(command_line, nullptr);
}
