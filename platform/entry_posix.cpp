// The process entry on POSIX systems. Windows hands WinMain the command line
// without the program name; here it is rebuilt from argv[1..] joined with
// single spaces.
#include <stdlib.h>
#include <string.h>

#include "platform.h"

int main(int argc, char** argv) {
    size_t length = 1;
    for (int i = 1; i < argc; i++) length += strlen(argv[i]) + 1;
    char* command_line = static_cast<char*>(malloc(length));
    if (!command_line) return 255;
    command_line[0] = '\0';
    for (int i = 1; i < argc; i++) {
        if (i > 1) strcat(command_line, " ");
        strcat(command_line, argv[i]);
    }
    int result = WinMain(nullptr, nullptr, command_line, SW_SHOWDEFAULT);
    free(command_line);
    return result;
}
