// The inspector's output: lines of text for people, or one JSON object a
// line for scripts, written from the same calls.
#include <inttypes.h>

#include "../reading/reading.h"
#include "../present/present.h"
#include "inspect.h"

namespace {

// A JSON string, with the characters JSON does not take as they are escaped.
void WriteJsonString(FILE* out, const char* text) {
    fputc('"', out);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
        if (*p == '"' || *p == '\\')
            fprintf(out, "\\%c", *p);
        else if (*p == '\n')
            fputs("\\n", out);
        else if (*p < 0x20)
            fprintf(out, "\\u%04x", *p);
        else
            fputc(*p, out);
    }
    fputc('"', out);
}

// A key for people: its underscores as blanks.
void WriteTextKey(FILE* out, const char* key) {
    for (const char* p = key; *p; p++) fputc(*p == '_' ? ' ' : *p, out);
}

// Starts a field: the separator and the key, in the form of the depth.
void BeginField(Report* report, const char* key) {
    FILE* out = report->out;
    int& count = report->fields[report->depth];
    if (report->json) {
        if (count > 0) fputc(',', out);
        if (key) {
            WriteJsonString(out, key);
            fputc(':', out);
        }
    } else if (report->depth <= 1) {
        fputs("  ", out);
        WriteTextKey(out, key);
        fputs(": ", out);
    } else {
        if (count > 0) fputs(", ", out);
        WriteTextKey(out, key);
        fputc(' ', out);
    }
    count++;
}

void EndField(Report* report) {
    if (!report->json && report->depth <= 1) fputc('\n', report->out);
}

void Open(Report* report, const char* key, char bracket) {
    BeginField(report, key);
    if (report->json) fputc(bracket, report->out);
    report->depth++;
    report->fields[report->depth] = 0;
}

void Close(Report* report, char bracket) {
    report->depth--;
    if (report->json) fputc(bracket, report->out);
}

}  // namespace

void BeginFileReport(Report* report, const char* path, const char* kind) {
    report->depth = 1;
    report->fields[1] = 0;
    if (report->json) {
        fputc('{', report->out);
        ReportString(report, "file", path);
        ReportString(report, "kind", kind);
    } else {
        fprintf(report->out, "%s: %s\n", path, kind);
    }
}

void EndFileReport(Report* report) {
    if (report->json) fputs("}\n", report->out);
    report->depth = 0;
    fflush(report->out);
}

void BeginGroup(Report* report, const char* key) {
    if (report->json) {
        Open(report, key, '{');
        return;
    }
    // A group is one line of its own, led by its key.
    fputs("  ", report->out);
    WriteTextKey(report->out, key);
    fputs(": ", report->out);
    report->depth++;
    report->fields[report->depth] = 0;
}

void EndGroup(Report* report) {
    if (report->json) {
        Close(report, '}');
        return;
    }
    report->depth--;
    fputc('\n', report->out);
}

void BeginList(Report* report, const char* key) {
    if (report->json) Open(report, key, '[');
}

void EndList(Report* report) {
    if (report->json) Close(report, ']');
}

void BeginItem(Report* report, const char* label) {
    if (report->json) {
        Open(report, nullptr, '{');
        return;
    }
    BeginGroup(report, label);
}

void EndItem(Report* report) {
    EndGroup(report);
}

void ReportString(Report* report, const char* key, const char* value) {
    BeginField(report, key);
    if (report->json)
        WriteJsonString(report->out, value);
    else
        fputs(value, report->out);
    EndField(report);
}

void ReportInteger(Report* report, const char* key, int64_t value) {
    BeginField(report, key);
    fprintf(report->out, "%" PRId64, value);
    EndField(report);
}

void ReportReal(Report* report, const char* key, double value) {
    BeginField(report, key);
    // Nine significant digits tell every 32-bit float apart, so a scale
    // reads back as the float blitview computes with.
    fprintf(report->out, "%.9g", value);
    EndField(report);
}

void ReportFlag(Report* report, const char* key, int value) {
    BeginField(report, key);
    if (report->json)
        fputs(value ? "true" : "false", report->out);
    else
        fputs(value ? "yes" : "no", report->out);
    EndField(report);
}

void ReportVerdict(Report* report, const char* verdict, const char* reason, int64_t offset) {
    if (report->json) {
        ReportString(report, "verdict", verdict);
        if (reason) ReportString(report, "reason", reason);
        if (offset >= 0) ReportInteger(report, "offset", offset);
        return;
    }
    fprintf(report->out, "  verdict: %s", verdict);
    if (reason) fprintf(report->out, ": %s", reason);
    fputc('\n', report->out);
    report->fields[report->depth]++;
}

void ReportBox(Report* report, const BoxPlacement* placement, double scale) {
    BeginGroup(report, "box");
    ReportInteger(report, "width", placement->box_width);
    ReportInteger(report, "height", placement->box_height);
    ReportInteger(report, "fitted_width", placement->fitted_width);
    ReportInteger(report, "fitted_height", placement->fitted_height);
    ReportInteger(report, "left", placement->left);
    ReportInteger(report, "top", placement->top);
    if (scale >= 0) ReportReal(report, "scale", scale);
    EndGroup(report);
}

void ReportReaderVerdict(Report* report, const char* verdict, const char* fallback) {
    StopReason reason;
    if (!fallback)
        ReportVerdict(report, verdict, nullptr, -1);
    else if (GetStopReason(&reason) == 0)
        ReportVerdict(report, verdict, reason.text, reason.offset);
    else
        ReportVerdict(report, verdict, fallback, -1);
}

const char* PathRefusal(const char* path) {
    // The modes read the path with "%255s" from a line whose words the
    // program joins with single blanks.
    for (const char* p = path; *p; p++)
        if (*p == ' ' || (*p >= '\t' && *p <= '\r')) return "the path holds a blank; blitview reads one word";
    char word[COMMAND_PATH_MAX + 1];
    int consumed = 0;
    if (sscanf(path, "%255s%n", word, &consumed) == 1 && WordWasCut(path + consumed))
        return "the path is longer than the 255 characters blitview takes";
    return nullptr;
}
