// What the files of our POSIX layer share among themselves.
#pragma once

#include "platform/posix/win32.h"

// Sets the last error to the Win32 code for the current errno and returns
// FALSE, so that a failing operation can end with `return FailWithErrno();`.
BOOL FailWithErrno(void);

// Sets the last error to `code` and returns FALSE.
BOOL FailWithCode(DWORD code);
