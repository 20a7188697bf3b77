// Replacing a file whole on Windows: the new file is written beside the path
// under a name of this process's own and takes the path's place only once
// it is complete. ReplaceFileA keeps the replaced file's security and
// attributes; where nothing was at the path, the file is moved there.
#include <stdio.h>
#include <string.h>

#include "../platform.h"

// The name beside `path`: its directory, then "~blitview-PID.tmp".
static int ReplacementNameFor(LPCSTR path, char name[MAX_PATH]) {
    size_t directory_length = 0;
    for (size_t i = 0; path[i]; i++)
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':') directory_length = i + 1;
    int length = snprintf(name, MAX_PATH, "%.*s~blitview-%lu.tmp", static_cast<int>(directory_length), path,
                          static_cast<unsigned long>(GetCurrentProcessId()));
    return length > 0 && length < MAX_PATH ? 0 : -1;
}

HANDLE CreateReplacementFile(LPCSTR path) {
    char name[MAX_PATH];
    if (ReplacementNameFor(path, name) != 0) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL CloseReplacementFile(HANDLE file, LPCSTR path, BOOL complete) {
    char name[MAX_PATH];
    BOOL named = ReplacementNameFor(path, name) == 0;
    BOOL flushed = complete && FlushFileBuffers(file);
    BOOL closed = CloseHandle(file);
    if (!named) return FALSE;
    if (flushed && closed) {
        if (ReplaceFileA(path, name, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) return TRUE;
        if (GetLastError() == ERROR_FILE_NOT_FOUND &&
            MoveFileExA(name, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return TRUE;
    }
    DeleteFileA(name);
    return FALSE;
}

// Here a path is resolved at each call, as Windows does; a job's files are
// read and replaced through the path it was given.
int HoldDirectoryOf(LPCSTR path) {
    (void)path;
    return 0;
}

void ReleaseHeldDirectory(void) {}

FILE* OpenFileStream(LPCSTR path) {
    return fopen(path, "rb");
}
