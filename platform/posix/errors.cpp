// Error codes of our POSIX layer: the last error, the one translation from
// errno to Win32 codes, and the texts FormatMessageA gives for them.
#include "platform/posix/layer.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

namespace {

// The errno values that have a Win32 counterpart of the same meaning. Each
// pair is one-to-one so that a code can be turned back into its errno and
// described by strerror; every other errno travels with ERROR_ERRNO_BIT.
struct ErrnoCode {
    int errnoValue;
    DWORD code;
};

const ErrnoCode ErrnoCodes[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},       {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EACCES, ERROR_ACCESS_DENIED},        {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {EROFS, ERROR_WRITE_PROTECT},         {EBUSY, ERROR_SHARING_VIOLATION},
    {EINVAL, ERROR_INVALID_PARAMETER},    {ENOSPC, ERROR_DISK_FULL},
    {ENOSYS, ERROR_CALL_NOT_IMPLEMENTED}, {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EEXIST, ERROR_ALREADY_EXISTS},       {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOTDIR, ERROR_DIRECTORY},           {EIO, ERROR_IO_DEVICE},
};

thread_local DWORD LastError = ERROR_SUCCESS;

DWORD Win32CodeFromErrno(int errnoValue) {
    for (const ErrnoCode &pair : ErrnoCodes) {
        if (pair.errnoValue == errnoValue)
            return pair.code;
    }
    return ERROR_ERRNO_BIT | static_cast<DWORD>(errnoValue);
}

// The errno a code came from, or 0 for codes of the layer's own.
int ErrnoFromWin32Code(DWORD code) {
    if (code & ERROR_ERRNO_BIT)
        return static_cast<int>(code & ~ERROR_ERRNO_BIT);
    for (const ErrnoCode &pair : ErrnoCodes) {
        if (pair.code == code)
            return pair.errnoValue;
    }
    return 0;
}

// Texts for the codes the layer sets without an errno behind them.
const char *OwnCodeText(DWORD code) {
    switch (code) {
    case ERROR_SUCCESS:
        return "success";
    case ERROR_BAD_FILE_TYPE:
        return "not a regular file";
    case ERROR_INVALID_NAME:
        return "invalid name";
    default:
        return nullptr;
    }
}

} // namespace

DWORD GetLastError(void) {
    return LastError;
}

void SetLastError(DWORD code) {
    LastError = code;
}

BOOL FailWithErrno(void) {
    return FailWithCode(Win32CodeFromErrno(errno));
}

BOOL FailWithCode(DWORD code) {
    LastError = code;
    return FALSE;
}

DWORD FormatMessageA(DWORD flags, const void *, DWORD code, DWORD, LPSTR buffer, DWORD size,
                     void *) {
    if (flags != (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS) || size == 0) {
        FailWithCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int errnoValue = ErrnoFromWin32Code(code);
    const char *text = errnoValue != 0 ? strerror(errnoValue) : OwnCodeText(code);
    int length = text != nullptr ? snprintf(buffer, size, "%s", text)
                                 : snprintf(buffer, size, "error %u", static_cast<unsigned>(code));
    if (length < 0 || static_cast<DWORD>(length) >= size) {
        buffer[0] = '\0';
        FailWithCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return static_cast<DWORD>(length);
}
