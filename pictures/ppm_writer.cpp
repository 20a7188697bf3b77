// Pictures as binary PPM (P6) files: a header, then the pixels as they are.
#include <stdlib.h>
#include <string.h>

#include "pictures.h"

namespace {

// Rows are converted into a buffer of about this size and written together.
const size_t kBatchBytes = size_t{1} << 17;

}  // namespace

int WritePpmStream(FILE* out, const uint32_t* words, int32_t stride_words, int32_t width, int32_t height) {
    if (fprintf(out, "P6\n%d %d\n255\n", width, height) < 0) return -1;
    const size_t row_bytes = static_cast<size_t>(width) * 3;
    const size_t batch_rows = row_bytes >= kBatchBytes ? 1 : kBatchBytes / row_bytes;
    unsigned char* batch = static_cast<unsigned char*>(malloc(row_bytes * batch_rows));
    if (!batch) return -1;
    int result = 0;
    for (int32_t y = 0; y < height && result == 0;) {
        const int32_t rows = height - y < static_cast<int32_t>(batch_rows) ? height - y
                                                                            : static_cast<int32_t>(batch_rows);
        unsigned char* to = batch;
        for (int32_t r = 0; r < rows; r++, y++) {
            const uint32_t* source = words + static_cast<size_t>(stride_words) * static_cast<size_t>(y);
            for (int32_t x = 0; x < width; x++, to += 3) {
                to[0] = static_cast<unsigned char>(source[x] >> 16);
                to[1] = static_cast<unsigned char>(source[x] >> 8);
                to[2] = static_cast<unsigned char>(source[x]);
            }
        }
        const size_t bytes = static_cast<size_t>(to - batch);
        if (fwrite(batch, 1, bytes, out) != bytes) result = -1;
    }
    free(batch);
    return result == 0 && fflush(out) == 0 && !ferror(out) ? 0 : -1;
}
