// The records the readers report as they read them: listed as they come,
// so that a file of millions of records takes no memory here, and counted.
#include <string.h>

#include "../drawing/drawing.h"
#include "../drawing/drawing_format.h"
#include "../reading/reading.h"
#include "inspect.h"

namespace {

const char* const kKindNames[] = {"header", "raster strip", "rectangle", "run set", "polyline"};
static_assert(sizeof kKindNames / sizeof kKindNames[0] == RECORD_KIND_COUNT, "one name for every record kind");

int64_t FieldValue(const RecordNote* note, const char* name) {
    for (int i = 0; i < note->field_count; i++)
        if (strcmp(note->names[i], name) == 0) return note->values[i];
    return 0;
}

void HearRecord(const RecordNote* note, void* context) {
    RecordTally* tally = static_cast<RecordTally*>(context);
    Report* report = tally->report;
    // The note's kind is the readers' number: one the inspector has no name
    // for is no record it can count.
    if (note->kind < 0 || note->kind >= RECORD_KIND_COUNT) return;
    if (note->kind == RECORD_HEADER) {
        tally->header_read = 1;
        BeginGroup(report, "header");
        for (int i = 0; i < note->field_count; i++) ReportInteger(report, note->names[i], note->values[i]);
        EndGroup(report);
        return;
    }
    tally->counts[note->kind]++;
    if (note->kind == RECORD_RASTER_STRIP) tally->data_bytes += FieldValue(note, "data_bytes");
    if (note->kind == RECORD_POLYLINE) tally->points += FieldValue(note, "points");
    if (!tally->list) return;
    if (!tally->list_open) {
        BeginList(report, "records");
        tally->list_open = 1;
    }
    BeginItem(report, "record");
    ReportInteger(report, "offset", note->offset);
    ReportString(report, "kind", kKindNames[note->kind]);
    for (int i = 0; i < note->field_count; i++) {
        if (note->hexadecimal & (1u << i)) {
            char text[16];
            snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(note->values[i]));
            ReportString(report, note->names[i], text);
        } else {
            ReportInteger(report, note->names[i], note->values[i]);
        }
    }
    EndItem(report);
}

}  // namespace

void BeginReaderReport(Report* report, const char* path, const char* kind, RecordTally* tally, int list) {
    BeginFileReport(report, path, kind);
    memset(&g_render_state, 0, sizeof g_render_state);
    BeginRecordTally(tally, report, list);
    ClearStopReason();
}

void BeginRecordTally(RecordTally* tally, Report* report, int list) {
    memset(tally, 0, sizeof *tally);
    tally->report = report;
    tally->list = list;
    ListenToRecords(HearRecord, tally);
}

void EndRecordTally(RecordTally* tally) {
    ListenToRecords(nullptr, nullptr);
    if (tally->list_open) EndList(tally->report);
    tally->list_open = 0;
}
