// Raster strip records.
#include "drawing.h"

// Raster strips are not supported yet: a drawing that carries one cannot be
// converted faithfully, so it fails rather than lose the strip.
int DrawRasterStrip(FILE* stream) {
    (void)stream;
    return -1;
}
