// The one rule for a word the modes read from the command line with
// sscanf's "%Ns%n": a word longer than N is refused, never cut, so that a long
// path can never name another, shorter file.
#pragma once

#include <ctype.h>

// The longest path a mode reads: "%255s".
#define COMMAND_PATH_MAX 255

// True when the word that sscanf stopped reading at `end` was cut short:
// it goes on past the characters read.
inline int WordWasCut(const char* end) {
    return *end != '\0' && !isspace(static_cast<unsigned char>(*end));
}
