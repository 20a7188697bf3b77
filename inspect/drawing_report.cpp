// A drawing file as "-f" would take it: its header, its canvas, its records
// and whether it converts, read and painted by the converter itself.
#include "../drawing/drawing.h"
#include "../drawing/drawing_format.h"
#include "../pictures/pictures.h"
#include "inspect.h"

int InspectDrawing(Report* report, const char* path, const InspectOptions* options) {
    RecordTally tally;
    BeginReaderReport(report, path, "drawing", &tally, options->records);
    RenderState& state = g_render_state;
    // The conversion's own rendering, on the file as it stands: it only
    // reads the file, and the canvas stays here.
    const int rendered = RenderDrawing(path) == 0;
    EndRecordTally(&tally);

    if (tally.header_read) {
        BeginGroup(report, "canvas");
        ReportInteger(report, "width", state.canvas_width);
        ReportInteger(report, "height", state.canvas_height);
        if (state.canvas_bitmap) {
            ReportReal(report, "scale", state.scale);
            ReportFlag(report, "strips_thinned", StripsThinned(state.scale));
        }
        EndGroup(report);
    }
    BeginGroup(report, "summary");
    ReportInteger(report, "raster_strips", tally.counts[RECORD_RASTER_STRIP]);
    ReportInteger(report, "rectangles", tally.counts[RECORD_RECTANGLE]);
    ReportInteger(report, "run_sets", tally.counts[RECORD_RUN_SET]);
    ReportInteger(report, "strip_data_bytes", tally.data_bytes);
    EndGroup(report);

    int result = rendered ? 0 : 1;
    if (options->picture_path) {
        char error[512];
        DirectSurface surface;
        if (!rendered) {
            snprintf(error, sizeof error, "no picture written: the drawing does not convert");
            result = 1;
        } else if (GetDirectSurface(state.device_context, &surface) != 0) {
            snprintf(error, sizeof error, "the canvas's pixels are not at hand");
            result = 1;
        } else if (SavePicture(options->picture_path, options->picture_form, surface.words, surface.stride_words,
                               surface.width, surface.height, error, sizeof error) != 0) {
            result = 1;
        } else {
            ReportString(report, PictureOption(options), options->picture_path);
        }
        if (result != 0) fprintf(stderr, "blitview-inspect: %s: %s\n", path, error);
    }
    ReleaseCanvas();

    const char* refusal = PathRefusal(path);
    if (refusal) {
        ReportVerdict(report, "fails", refusal, -1);
        result = 1;
    } else {
        ReportReaderVerdict(report, rendered ? "converts" : "fails", rendered ? nullptr : "the drawing is refused");
    }
    EndFileReport(report);
    return result;
}
