// The listener for the readers' record notes.
#include "record_notes.h"

RecordListener g_record_listener;
static void* g_record_context;

void ListenToRecords(RecordListener listener, void* context) {
    g_record_listener = listener;
    g_record_context = context;
}

void StartRecordNote(RecordNote* note, int kind, int64_t offset) {
    note->kind = kind;
    note->offset = offset;
    note->field_count = 0;
    note->hexadecimal = 0;
}

void AddRecordField(RecordNote* note, const char* name, int64_t value) {
    if (note->field_count >= RECORD_NOTE_FIELDS) return;
    note->names[note->field_count] = name;
    note->values[note->field_count] = value;
    note->field_count++;
}

void AddRecordHexField(RecordNote* note, const char* name, uint32_t value) {
    if (note->field_count < RECORD_NOTE_FIELDS) note->hexadecimal |= 1u << note->field_count;
    AddRecordField(note, name, value);
}

void SendRecordNote(const RecordNote* note) {
    if (g_record_listener) g_record_listener(note, g_record_context);
}
