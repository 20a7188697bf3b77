// What the file readers tell a listener about each record they have read
// whole, for a program that explains files to people. blitview itself never
// listens; without a listener a reader only tests one pointer.
#pragma once

#include <stdint.h>

#define RECORD_NOTE_FIELDS 10

// One record: its kind, a number the file's readers and the listener agree
// on (the drawing and vector files' kinds are in drawing/drawing_format.h),
// the byte offset of its tag (of the record itself where the format has no
// tags), and its fields by the format's names.
struct RecordNote {
    int kind;
    int64_t offset;
    int field_count;
    const char* names[RECORD_NOTE_FIELDS];
    int64_t values[RECORD_NOTE_FIELDS];
    uint32_t hexadecimal;  // bit i: field i reads best in hexadecimal, as a 32-bit word
};

typedef void (*RecordListener)(const RecordNote* note, void* context);

// Null stops listening.
void ListenToRecords(RecordListener listener, void* context);
extern RecordListener g_record_listener;

// For the readers: a note is built only when somebody listens.
void StartRecordNote(RecordNote* note, int kind, int64_t offset);
void AddRecordField(RecordNote* note, const char* name, int64_t value);
void AddRecordHexField(RecordNote* note, const char* name, uint32_t value);
void SendRecordNote(const RecordNote* note);
