// The numbers of the drawing file's format, shared by its readers
// (drawing_format.cpp) and the tests that build drawings, and the kinds of
// record its readers and the vector file's tell a record listener about.
#pragma once

#include <stdint.h>
#include <stdio.h>

// Record tags, the 16-bit word before each record's body, each beside the
// reader of its record. A reader takes the stream just after the tag, reads
// exactly the body and draws it with g_render_state's context and scale; 0,
// or -1 for a body cut short or a colour index of 8 or more.
#define TAG_RASTER 0xFFFF
int DrawRasterStrip(FILE* stream);
#define TAG_RECT 0xFFFE
int DrawFilledRect(FILE* stream);
#define TAG_RUNS 0xFFFC
int DrawRunSet(FILE* stream);

// The kind of each note the readers send a record listener
// (reading/record_notes.h): the header of either file, one kind a drawing
// record, and the vector file's polyline. The inspector names and counts them.
enum RecordKind {
    RECORD_HEADER,
    RECORD_RASTER_STRIP,
    RECORD_RECTANGLE,
    RECORD_RUN_SET,
    RECORD_POLYLINE,
    RECORD_KIND_COUNT
};

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
