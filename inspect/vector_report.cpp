// A vector file as the vector overlay would take it: its header, its
// polylines and whether -v would draw them all.
#include "../drawing/drawing.h"
#include "../present/present.h"
#include "inspect.h"

int InspectVectors(Report* report, const char* path, const InspectOptions* options) {
    RecordTally tally;
    BeginReaderReport(report, path, "vectors", &tally, options->records);
    RenderState& state = g_render_state;
    FILE* stream = nullptr;
    int drawn = OpenVectorFile(path, &stream) == 0;
    if (drawn) {
        // The polylines are placed as the overlay would place them, and drawn
        // here into a context of no size: nothing shows, but every record is
        // read and converted as in the window.
        BoxPlacement p = options->has_box ? PlaceVectors(options->box_width, options->box_height)
                                          : PlaceVectors(state.source_width, state.source_height);
        if (options->has_box) ReportBox(report, &p, state.scale);
        state.device_context = CreateCompatibleDC(nullptr);
        drawn = DrawVectorRecords(stream, p.left, p.top) == 0;
        fclose(stream);
        DeleteDC(state.device_context);
        state.device_context = nullptr;
    }
    EndRecordTally(&tally);

    BeginGroup(report, "summary");
    ReportInteger(report, "polylines", tally.counts[RECORD_POLYLINE]);
    ReportInteger(report, "points", tally.points);
    EndGroup(report);

    int result = drawn ? 0 : 1;
    if (options->picture_path) {
        fprintf(stderr, "blitview-inspect: %s: no picture written: a vector file has no picture of its own\n", path);
        result = 1;
    }
    ReportReaderVerdict(report, drawn ? "draws" : "fails", drawn ? nullptr : "the vector file is refused");
    EndFileReport(report);
    return result;
}
