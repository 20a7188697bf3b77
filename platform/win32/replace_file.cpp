// Replacing a file whole on Windows: the new file is written beside the path
// under a temporary name and takes the path's place only once it is
// complete. ReplaceFileA keeps the replaced file's security and attributes;
// where nothing was at the path, the file is moved there.
//
// A run that is killed meanwhile leaves its temporary beside the path. The
// first names a session tries are the same in every directory, so the next
// run looks up just those names, never reading the directory, and removes
// one only when it is provably a leftover: a plain file that nobody has
// open, read-only (as every temporary is until it takes the path), and
// either empty or starting with the file header this program writes,
// declaring at least the file's length. A user's file under such a name
// fails one of these and stays; the run then takes the next name.
#include <stdio.h>
#include <string.h>

#include "../platform.h"

namespace {

// The names of a session's first attempts, tried in every directory.
const int kUsualNames = 16;
// The header our BMP files start with.
const DWORD kFileHeaderSize = 14;

// The temporary that is open, and the name it has beside its path.
HANDLE g_replacement = INVALID_HANDLE_VALUE;
char g_replacement_name[MAX_PATH];

// FNV-1a over the session and the attempt: the same names for every run of
// a session, other names for another session in the same directory.
DWORD UsualNameBits(int attempt) {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) session = 0;
    const DWORD words[2] = {session, static_cast<DWORD>(attempt)};
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(words);
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < sizeof words; i++) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

// The name beside `path` for an attempt: its directory, then
// "~blitview-" and eight hexadecimal digits, or, once the usual names are
// taken, the process id, then ".tmp".
int TemporaryNameFor(LPCSTR path, int attempt, char name[MAX_PATH]) {
    size_t directory_length = 0;
    for (size_t i = 0; path[i]; i++)
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':') directory_length = i + 1;
    const int directory = static_cast<int>(directory_length);
    int length = attempt < kUsualNames
                     ? snprintf(name, MAX_PATH, "%.*s~blitview-%08lx.tmp", directory, path,
                                static_cast<unsigned long>(UsualNameBits(attempt)))
                     : snprintf(name, MAX_PATH, "%.*s~blitview-%lu.tmp", directory, path,
                                static_cast<unsigned long>(GetCurrentProcessId()));
    return length > 0 && length < MAX_PATH ? 0 : -1;
}

uint32_t U32At(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Whether the open file holds what a temporary of ours can hold: nothing
// yet, or the start of a BMP whose header declares at least its length.
int HoldsOurStart(HANDLE file, const BY_HANDLE_FILE_INFORMATION* info) {
    if (info->nFileSizeHigh != 0) return 0;
    const DWORD size = info->nFileSizeLow;
    if (size == 0) return 1;
    unsigned char header[kFileHeaderSize];
    DWORD read = 0;
    if (size < kFileHeaderSize || !ReadFile(file, header, sizeof header, &read, nullptr) || read != sizeof header)
        return 0;
    const uint32_t declared = U32At(header + 2), offset = U32At(header + 10);
    return header[0] == 'B' && header[1] == 'M' && U32At(header + 6) == 0 && size <= declared && offset >= 54 &&
           offset <= declared;
}

BOOL SetAttributesOf(HANDLE file, DWORD attributes) {
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

// Deletes the open file through its handle, so that exactly the file that
// was looked at goes, whatever the name meanwhile means. It must not be
// read-only for that.
BOOL DeleteThroughHandle(HANDLE file) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return SetAttributesOf(file, FILE_ATTRIBUTE_NORMAL) &&
           SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Removes `name` when it is a killed run's leftover. Opening it without
// sharing fails while a live run, or anyone else, has it open.
void RemoveIfStale(const char* name) {
    HANDLE file = CreateFileA(name, GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) && info.nNumberOfLinks == 1 && HoldsOurStart(file, &info) &&
        !DeleteThroughHandle(file))
        SetAttributesOf(file, info.dwFileAttributes);  // still provably ours for the next run
    CloseHandle(file);
}

}  // namespace

HANDLE CreateReplacementFile(LPCSTR path) {
    char name[MAX_PATH];
    for (int attempt = 0; attempt < kUsualNames; attempt++)
        if (TemporaryNameFor(path, attempt, name) == 0) RemoveIfStale(name);
    for (int attempt = 0; attempt <= kUsualNames; attempt++) {
        if (TemporaryNameFor(path, attempt, name) != 0) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return INVALID_HANDLE_VALUE;
        }
        // Read-only from its creation to its last write: the handle that
        // creates it may write all the same, and the mark tells a leftover
        // from a user's file of the same name.
        HANDLE file =
            CreateFileA(name, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            g_replacement = file;
            memcpy(g_replacement_name, name, sizeof name);
            return file;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
}

BOOL CloseReplacementFile(HANDLE file, LPCSTR path, BOOL complete) {
    if (file != g_replacement) {
        CloseHandle(file);
        return FALSE;
    }
    g_replacement = INVALID_HANDLE_VALUE;
    const char* name = g_replacement_name;
    BOOL flushed = complete && FlushFileBuffers(file) && SetAttributesOf(file, FILE_ATTRIBUTE_NORMAL);
    if (!flushed) {
        BOOL deleted = DeleteThroughHandle(file);
        CloseHandle(file);
        if (!deleted) DeleteFileA(name);
        return FALSE;
    }
    if (CloseHandle(file)) {
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
