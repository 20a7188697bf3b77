// The DIB image object and its accessors.
#include "internal.h"

DibImage* CreateDibImage(const BITMAPINFO* request) {
    void* pixels = nullptr;
    HBITMAP handle = CreateDIBSection(nullptr, request, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!handle) return nullptr;
    DibImage* image = static_cast<DibImage*>(HeapAlloc(GetProcessHeap(), 0, sizeof(DibImage)));
    if (!image) {
        DeleteObject(handle);
        return nullptr;
    }
    image->signature = DIB_SIGNATURE;
    image->handle = handle;
    image->pixels = pixels;
    // Every size comes from this description, so an image without one is no image.
    if (GetObject(handle, sizeof(DIBSECTION), &image->description) != sizeof(DIBSECTION)) {
        image->signature = 0;
        HeapFree(GetProcessHeap(), 0, image);
        DeleteObject(handle);
        return nullptr;
    }
    return image;
}

int IsDibImage(const DibImage* image) {
    if (!image) return 0;
    if (IsBadReadPtr(image, sizeof(DibImage))) return 0;
    return image->signature == DIB_SIGNATURE;
}

int FreeDibImage(DibImage* image) {
    if (!IsDibImage(image)) return 0;
    DeleteObject(image->handle);
    image->signature = 0;
    HeapFree(GetProcessHeap(), 0, image);
    return 1;
}

int32_t GetDibWidth(const DibImage* image) {
    return IsDibImage(image) ? image->description.dsBm.bmWidth : 0;
}

int32_t GetDibHeight(const DibImage* image) {
    return IsDibImage(image) ? image->description.dsBm.bmHeight : 0;
}

uint32_t GetDibBitCount(const DibImage* image) {
    return IsDibImage(image) ? image->description.dsBm.bmBitsPixel : 0;
}

uint32_t GetDibStride(const DibImage* image) {
    if (!IsDibImage(image)) return 0;
    uint32_t bits = static_cast<uint32_t>(GetDibWidth(image)) * GetDibBitCount(image);
    return ((bits + 31) >> 3) & ~3u;
}

uint32_t GetDibImageSize(const DibImage* image) {
    if (!IsDibImage(image)) return 0;
    uint32_t reported = image->description.dsBmih.biSizeImage;
    if (reported != 0) return reported;
    return GetDibStride(image) * static_cast<uint32_t>(GetDibHeight(image));
}

uint32_t GetDibInfoHeaderSize(const DibImage* image) {
    return IsDibImage(image) ? image->description.dsBmih.biSize : 0;
}

uint32_t GetDibMaskSize(const DibImage* image) {
    if (!IsDibImage(image)) return 0;
    return image->description.dsBmih.biCompression == BI_BITFIELDS ? 12 : 0;
}

uint32_t GetDibWrittenColourCount(const DibImage* image) {
    if (!IsDibImage(image)) return 0;
    uint32_t used = image->description.dsBmih.biClrUsed;
    if (used != 0) return used;
    uint32_t bit_count = GetDibBitCount(image);
    return bit_count <= 8 ? 1u << bit_count : 0;
}

uint32_t GetDibColorTableSize(const DibImage* image) {
    return 4 * GetDibWrittenColourCount(image);
}

uint32_t GetDibHeaderSize(const DibImage* image) {
    return GetDibColorTableSize(image) + GetDibMaskSize(image) + GetDibInfoHeaderSize(image);
}

uint32_t GetDibPackedSize(const DibImage* image) {
    return GetDibHeaderSize(image) + GetDibImageSize(image);
}
