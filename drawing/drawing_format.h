// The numbers of the drawing file's format, shared by its readers
// (drawing_format.cpp) and the tests that build drawings.
#pragma once

#include <stdint.h>
#include <stdio.h>

// Record tags, the 16-bit word before each record's body.
#define TAG_RASTER 0xFFFF
#define TAG_RECT 0xFFFE
#define TAG_RUNS 0xFFFC

// A raster strip's polarity word that makes bits of value 1 ink; any other
// value makes bits of value 0 ink.
#define INK_ON_ONES 0x00E20746u

// Below this scale raster strips are thinned: the pixels k = 2, 4 and 6 of
// every data byte are not considered.
#define THINNING_THRESHOLD 0.25f

// Whether a drawing of this scale thins its raster strips; the scale is the
// drawing's, so either every strip of it is thinned or none is.
inline int StripsThinned(float scale) {
    return scale < THINNING_THRESHOLD;
}

// The 4-byte header: source width and height in file units. 0, or -1 when
// the file ends first (and nothing is stored).
int ReadDrawingHeader(FILE* stream, uint16_t* source_width, uint16_t* source_height);
