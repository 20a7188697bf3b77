// The process entry on POSIX systems. Windows hands WinMain the command line
// without the program name; here it is rebuilt from argv[1..] joined with
// single spaces.
#include <ctype.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include "../platform.h"

// An argument that holds white space, or none at all, cannot travel in a
// command line whose words are split at white space: joined, it would name
// another file (the first word of "my file.drw" is "my"). It ends the run
// before anything is touched.
static int TravelsAsOneWord(const char* argument) {
    if (argument[0] == '\0') return 0;
    for (const char* p = argument; *p; p++)
        if (isspace(static_cast<unsigned char>(*p))) return 0;
    return 1;
}

int main(int argc, char** argv) {
    // A file-size limit must show as a failed write, which drops the file,
    // not as a signal that ends the run with part of a BMP in place.
    signal(SIGXFSZ, SIG_IGN);
    size_t length = 1;
    for (int i = 1; i < argc; i++) {
        if (!TravelsAsOneWord(argv[i])) return -1;
        length += strlen(argv[i]) + 1;
    }
    char* command_line = static_cast<char*>(malloc(length));
    if (!command_line) return -1;
    command_line[0] = '\0';
    for (int i = 1; i < argc; i++) {
        if (i > 1) strcat(command_line, " ");
        strcat(command_line, argv[i]);
    }
    int result = WinMain(nullptr, nullptr, command_line, SW_SHOWDEFAULT);
    free(command_line);
    return result;
}
