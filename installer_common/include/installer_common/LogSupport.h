// Helpers of the logger: temporary log names, folder creation, time texts and the running
// program's name and version.
#pragma once

#include <cstddef>

// The random number behind a temporary log name for a given seed: the C generator's next value
// cut to 0-32767 (glibc's rand() gives 31 bits).
unsigned TempLogNumber(unsigned seed);
// "<prefix><hex number>.TMP" (the prefix's first three characters) from a random number seeded with
// the current time, cut to `size` characters; a number of 0 makes the system pick a free one and
// create the file in the current folder. The output is unchanged when no name can be formed.
void MakeTempLogName(const char16_t* prefix, char16_t* out, size_t size);
// True when something exists at the path.
bool PathExists(const char16_t* path);
// Creates every folder of the folder part of `path` (up to its last separator), ignoring failures.
void CreateDirectoryPath(const char16_t* path);
// Local time, 24-hour, no marker ("HH:mm:ss"); local short date; "date time".
void GetTimeString(char16_t* out, size_t size);
void GetDateString(char16_t* out, size_t size);
void GetDateTimeString(char16_t* out, size_t size);
// The running program's file name with its extension (`out` holds 260 characters).
void GetModuleFileTitle(char16_t* out);
// The running program's file version "a.b.c.d"; 0 when `size` is below 10 or it has none.
int GetModuleVersionString(char16_t* out, size_t size);
// The file name and extension of a path (after its last '\', '/' or drive colon).
const char16_t* FileTitleOf(const char16_t* path);
