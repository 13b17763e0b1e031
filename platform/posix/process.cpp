// Process, time, message box and locking operations of our POSIX layer.
#include "platform/posix/layer.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

namespace {

// A Win32 command line holds at most 32767 characters.
char CommandLine[32768];

} // namespace

void RecordCommandLine(int argc, char **argv) {
    size_t used = 0;
    CommandLine[0] = '\0';
    for (int i = 0; i < argc; ++i) {
        int wrote = snprintf(CommandLine + used, sizeof CommandLine - used, "%s%s",
                             i == 0 ? "" : " ", argv[i]);
        if (wrote < 0 || static_cast<size_t>(wrote) >= sizeof CommandLine - used)
            break; // the rest does not fit; what stands is a whole Win32 command line
        used += static_cast<size_t>(wrote);
    }
    CommandLine[used] = '\0';
}

LPSTR GetCommandLineA(void) {
    return CommandLine;
}

void GetLocalTime(SYSTEMTIME *time) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    fprintf(stderr, "%s: %s\n", caption, text);
    fflush(stderr);
    return IDOK;
}

void InitializeCriticalSection(CRITICAL_SECTION *section) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void EnterCriticalSection(CRITICAL_SECTION *section) {
    pthread_mutex_lock(&section->mutex);
}

void LeaveCriticalSection(CRITICAL_SECTION *section) {
    pthread_mutex_unlock(&section->mutex);
}

void DeleteCriticalSection(CRITICAL_SECTION *section) {
    pthread_mutex_destroy(&section->mutex);
}
