// The one header that knows which operating system is underneath.
//
// The core is written against the Win32 operations by their Win32 names. On
// Windows they are the real platform; everywhere else our own layer in
// posix/ supplies the same names with the behaviour the core relies on.
#pragma once

#if defined(_WIN32)
#include <windows.h>

// The separator between a directory and a name, as the platform writes it.
#define ZV_SEPARATOR "\\"
#define ZV_SEPARATOR_CHAR '\\'
#else
#include "platform/posix/win32.h"

#define ZV_SEPARATOR "/"
#define ZV_SEPARATOR_CHAR '/'
#endif

// Durability of copies, checked before their sources are removed: each
// copy is flushed once written, and each batch of copies into one target
// directory once more before the batch's sources go. Which of the two does
// the work is the platform's choice (Windows flushes each file, POSIX
// syncs the file system once per batch). Nonzero on success; on failure
// the last error says why.
BOOL FlushCopiedFile(const char *path);
BOOL FlushCopiedBatch(const char *targetDirectory);
