// Shared by the files of the POSIX kernel backend only.
#pragma once

#include "../backend.h"

// The last-error code that stands for an errno value.
DWORD ErrorFromErrno(int error);

// ---- Temporaries beside a replaced file (temporary.cpp) ----
// Every temporary name is ".blitview-" and eight letters or digits. The first
// USUAL_TEMPORARY_NAMES attempts give the same names in every directory for
// one user, so that the next run finds what a killed one left by looking up
// those names alone; later attempts give random ones.
#define TEMPORARY_NAME_SIZE 19
#define USUAL_TEMPORARY_NAMES 16
void MakeTemporaryName(int attempt, char name[TEMPORARY_NAME_SIZE]);
// Marks a new temporary as ours (a user attribute, where the file system keeps
// them), before it is locked or written; 0, or -1 with errno. The mark is
// taken off once the file has its path's name.
int MarkTemporary(int descriptor);
void UnmarkTemporary(int descriptor);
// Whether an attribute's name is the mark.
int IsTemporaryMark(const char* attribute);
// Removes what killed runs of this user left in `directory` under the usual
// names: regular files of ours, marked, that no live run holds locked.
void RemoveStaleTemporaries(int directory);
