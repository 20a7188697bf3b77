// Shared by the files of the X11 backend only.
#pragma once

#include "../backend.h"

// A lost X server ends the process at once with the failure status (-1),
// printing nothing; set on every display the backend opens.
void EndRunWhenDisplayIsLost(void);
