// The message report: log append, caption and the guarded message box.
#include "report/report.h"

#include "report/fpu_guard.h"

#include <stdlib.h>
#include <string.h>

unsigned char LogToFile = 0;
unsigned char ShowWhenLogging = 0;
char LogFileName[80] = "";

namespace {

const char EmptyCaption[] = "Error";

// Appends `text` to the log file with the time of day in front. A log file
// that cannot be opened is passed over.
void LogMessage(const char *text) {
    FILE *log = fopen(LogFileName, "at");
    if (log == nullptr)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    WriteLogRecord(log, now, text);
    fclose(log);
}

} // namespace

bool StartReportLog(const char *fileName, bool alsoShowBox) {
    size_t length = strlen(fileName);
    if (length >= sizeof LogFileName)
        return false;
    memcpy(LogFileName, fileName, length + 1);
    ShowWhenLogging = alsoShowBox ? 1 : 0;
    LogToFile = 1;
    return true;
}

void StopReportLog() {
    LogToFile = 0;
}

void WriteLogRecord(FILE *log, const SYSTEMTIME &time, const char *text) {
    fprintf(log, "%2d:%02d:%02d.%03d   %s", time.wHour, time.wMinute, time.wSecond,
            time.wMilliseconds, text);
}

void ComposeCaption(const char *commandLine, char caption[CaptionCapacity]) {
    // A decimal number at the very start is skipped; an ordinary command
    // line starts with the program path and has none.
    char *start;
    strtol(commandLine, &start, 10);
    // The last separator of the whole rest counts, arguments included.
    const char *separator = strrchr(start, ZV_SEPARATOR_CHAR);
    const char *name = separator != nullptr ? separator + 1 : start;

    size_t length = 0;
    while (length < CaptionCapacity - 1 && name[length] != '\0') {
        caption[length] = name[length];
        ++length;
    }
    // A quoted program path followed by a space ends in `" `.
    if (length > 0 && caption[length - 1] == ' ')
        --length;
    if (length > 0 && caption[length - 1] == '"')
        --length;
    caption[length] = '\0';
    if (length == 0)
        memcpy(caption, EmptyCaption, sizeof EmptyCaption);
}

void ReportMessage(const char *text) {
    if (LogToFile) {
        LogMessage(text);
        if (!ShowWhenLogging)
            return;
    }
    char caption[CaptionCapacity];
    ComposeCaption(GetCommandLineA(), caption);

    // The box runs with the unit in its initial state, and the caller gets
    // its own state back whatever the box's code leaves behind. The lock is
    // held only while the image passes through the staging area.
    unsigned char FpuSaveBuffer[512];
    EnterCriticalSection(&FpuLock);
    SaveFpuState(FpuSaveBuffer);
    LeaveCriticalSection(&FpuLock);

    MessageBoxA(nullptr, text, caption, MB_OK);

    EnterCriticalSection(&FpuLock);
    RestoreFpuState(FpuSaveBuffer);
    LeaveCriticalSection(&FpuLock);
}
