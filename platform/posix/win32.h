// The subset of the Win32 interface that the core calls, for POSIX systems.
//
// Each operation keeps the behaviour the core relies on (see each comment),
// not the whole of its Win32 counterpart. Failures set the last error to a
// Win32 code derived from errno in one translation function, so that the
// core handles errors the same way on both builds.
#pragma once

#include <pthread.h>
#include <stdint.h>

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef int BOOL;
typedef unsigned int UINT;
typedef void *HANDLE;
typedef void *HINSTANCE;
typedef void *HWND;
typedef char *LPSTR;
typedef const char *LPCSTR;

#define WINAPI
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_NORMAL 0x80u

#define MB_OK 0x0u
#define IDOK 1

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x1000u

// The Win32 codes that errno values translate to. Codes with the
// application bit (1 << 29) carry an errno that has no Win32 counterpart.
#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_NOT_SAME_DEVICE 17u
#define ERROR_NO_MORE_FILES 18u
#define ERROR_WRITE_PROTECT 19u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_DISK_FULL 112u
#define ERROR_CALL_NOT_IMPLEMENTED 120u
#define ERROR_INVALID_NAME 123u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_BAD_FILE_TYPE 222u
#define ERROR_DIRECTORY 267u
#define ERROR_IO_DEVICE 1117u
#define ERROR_ERRNO_BIT 0x20000000u

typedef struct {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;

typedef struct {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
} WIN32_FIND_DATAA;

typedef struct {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME;

typedef struct {
    pthread_mutex_t mutex;
} CRITICAL_SECTION;

// The program's entry point, called once by our main().
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandTail, int showState);

// Records the program's arguments as the process's command line: they are
// joined with single spaces, as far as a Win32 command line may reach.
void RecordCommandLine(int argc, char **argv);

DWORD GetLastError(void);
void SetLastError(DWORD code);

// Writes the platform's text for `code` into `buffer`; only
// FORMAT_MESSAGE_FROM_SYSTEM with FORMAT_MESSAGE_IGNORE_INSERTS is offered.
// Returns the length written, or 0 when the text does not fit.
DWORD FormatMessageA(DWORD flags, const void *source, DWORD code, DWORD language, LPSTR buffer,
                     DWORD size, void *arguments);

// Returns the length written to `buffer`; when the directory and its
// terminator do not fit in `length` bytes, the size needed, leaving
// `buffer` untouched; 0 on error.
DWORD GetCurrentDirectoryA(DWORD length, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
BOOL CreateDirectoryA(LPCSTR path, void *securityAttributes);

// Searches the current directory for names matching `pattern` (no
// directory part): `*` and `?` match without regard to ASCII case, `*`
// matching dots too. Entries deleted during the search do not disturb it.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *found);
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA *found);
BOOL FindClose(HANDLE search);

// Copies a regular file (following symbolic links) to `newName`, keeping
// its permission bits and modification time. Anything that is not a
// regular file is refused without being opened. The destination is
// replaced whole or not at all; with `failIfExists` an existing one is
// refused instead.
BOOL CopyFileA(LPCSTR existingName, LPCSTR newName, BOOL failIfExists);

// Removes a file; directories are refused.
BOOL DeleteFileA(LPCSTR name);

// Renames a file, refusing an existing destination.
BOOL MoveFileA(LPCSTR existingName, LPCSTR newName);

LPSTR GetCommandLineA(void);
void GetLocalTime(SYSTEMTIME *time);

// Writes "caption: text" and a line feed to standard error; returns IDOK.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Recursive mutual exclusion, as a Win32 critical section gives.
void InitializeCriticalSection(CRITICAL_SECTION *section);
void EnterCriticalSection(CRITICAL_SECTION *section);
void LeaveCriticalSection(CRITICAL_SECTION *section);
void DeleteCriticalSection(CRITICAL_SECTION *section);
