// What every reader of input shares, whatever it reads: the folder's
// contract. Each part has a header of its own:
//   byte_cursor.h   the bounds-checked cursor over bytes in memory, and exact
//                   reads from a stream; all binary input goes through it
//   command_word.h  a word of the command line is refused when too long,
//                   never cut
//   dib_header.h    the forms of a DIB header, read one way for the BMP
//                   reader, the upload's bounds and the software SetDIBits
//   stop_reason.h   why a reader stopped, in words and at which byte
//   record_notes.h  what the readers tell a listener about each record
#pragma once

#include "byte_cursor.h"
#include "command_word.h"
#include "dib_header.h"
#include "record_notes.h"
#include "stop_reason.h"
