// blitview-inspect: for each file, what it is, what blitview would do with
// it, and why. The verdicts come from blitview's own readers, run in this
// process on the file as it stands; the file itself is never changed.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "../drawing/drawing_format.h"
#include "../pictures/pictures.h"
#include "../reading/reading.h"

enum FileKind {
    KIND_UNKNOWN,  // decided from the file: "BM" a BMP, a name ending in VCT a vector file, else a drawing
    KIND_DRAWING,
    KIND_BMP,
    KIND_VECTORS,
};

struct InspectOptions {
    int records;           // list every record of drawings and vector files
    int json;              // one JSON object per file instead of text
    const char* picture_path;  // write the picture here, with --png or --ppm; null for none
    PictureForm picture_form;
    int has_box;
    int32_t box_width;
    int32_t box_height;
    FileKind kind;  // KIND_UNKNOWN unless forced with --kind
    char render_mode;     // 'b', 'v' or 'd' with --render, else 0
    uint32_t background;  // the window's colour for --render, a COLORREF (0x00BBGGRR)
};

// Writes either text for people or one JSON object a line, from the same
// calls. Inside a file's report fields stand alone; inside a group or a list
// item they share one line of text, or one JSON object. A list is a JSON
// array; in text its items are lines of their own.
struct Report {
    FILE* out;
    int json;
    int depth;      // 0 between files, 1 in a file, 2 in a group or a list item
    int fields[3];  // fields written so far at each depth
};

void BeginFileReport(Report* report, const char* path, const char* kind);
void EndFileReport(Report* report);
void BeginGroup(Report* report, const char* key);
void EndGroup(Report* report);
void BeginList(Report* report, const char* key);
void EndList(Report* report);
// One element of the open list; `label` heads its line of text.
void BeginItem(Report* report, const char* label);
void EndItem(Report* report);
void ReportString(Report* report, const char* key, const char* value);
void ReportInteger(Report* report, const char* key, int64_t value);
void ReportReal(Report* report, const char* key, double value);
void ReportFlag(Report* report, const char* key, int value);
// The verdict: a word ("converts", "fails", ...), and for a fault its reason
// and the byte offset it names, or a negative offset for none.
void ReportVerdict(Report* report, const char* verdict, const char* reason, int64_t offset);

// The records the readers report while they read a file, listed in the
// report as they come (with --records) and counted by kind.
struct RecordTally {
    Report* report;
    int list;
    int list_open;
    int header_read;
    int64_t counts[RECORD_KIND_COUNT];
    int64_t data_bytes;  // of all raster strips
    int64_t points;      // of all polylines
};
void BeginRecordTally(RecordTally* tally, Report* report, int list);
// Starts the report of a file that blitview's readers are about to read: a
// clean render state, their records tallied, no stop reason held.
void BeginReaderReport(Report* report, const char* path, const char* kind, RecordTally* tally, int list);
void EndRecordTally(RecordTally* tally);

// Where a picture goes in the box, and for vectors the scale (negative for none).
struct BoxPlacement;
void ReportBox(Report* report, const BoxPlacement* placement, double scale);

// The option that asked for the picture, "png" or "ppm", which also names
// its line in the report.
const char* PictureOption(const InspectOptions* options);

// The verdict of a file; with a `fallback`, the verdict of a reader that
// stopped, with the reason the reader gave, or the fallback when it gave none.
// The reason is the first one noted since ClearStopReason.
void ReportReaderVerdict(Report* report, const char* verdict, const char* fallback);

// Each inspects one file and reports it; the result is 0 when blitview would
// succeed with it, 1 when it would fail, and a PNG that was asked for and
// could not be written counts as a failure.
int InspectDrawing(Report* report, const char* path, const InspectOptions* options);
int InspectBitmap(Report* report, const char* path, const InspectOptions* options);
int InspectVectors(Report* report, const char* path, const InspectOptions* options);

// --render: the box of options' size as the mode would draw it into a window
// of options' background, written in options' picture form to its
// picture_path ("-" for standard output). 0, or 1 with the reason on
// standard error and nothing written when blitview would fail the job or
// the picture cannot be written.
int RenderBox(const char* path, const InspectOptions* options);

// What blitview's command line makes of a path: null when a mode would
// take it as it is, else why not (a blank splits it; at most 255 characters).
const char* PathRefusal(const char* path);
