// The two file-placement operations of the install run.
//
// Both work relative to the process's current directory, which they share:
// each one that changes it sets it back to HomeDir before it returns.
#include "installer/install.h"

#include "platform/platform.h"

#include "installer/bounded_text.h"
#include "installer/outcome.h"

#include <ctype.h>
#include <string.h>

char HomeDir[500];
char InstallRoot[500];
char WorkPath[500];
char *WorkPathTail = WorkPath;

namespace {

// The names of sources whose copies are in place, packed one after another,
// removed together once their batch of copies is durable: one flush for a
// whole distribution of ordinary size, and memory that does not grow with
// the number of files.
char PendingRemovals[256 * 1024];
size_t PendingLength = 0;

// Whether `name` ends in the extension of `pattern` ("*.lib" -> ".lib"),
// without regard to ASCII case. Windows also matches a pattern against a
// file's 8.3 alias, which makes "*.lib" find "notes.library"; such a match
// is not the file the pattern means.
bool HasPatternExtension(const char *name, const char *pattern) {
    const char *extension = strrchr(pattern, '.');
    if (extension == nullptr)
        return true;
    size_t nameLength = strlen(name);
    size_t extensionLength = strlen(extension);
    if (nameLength < extensionLength)
        return false;
    const char *tail = name + nameLength - extensionLength;
    for (size_t i = 0; i < extensionLength; ++i) {
        if (tolower(static_cast<unsigned char>(tail[i])) !=
            tolower(static_cast<unsigned char>(extension[i])))
            return false;
    }
    return true;
}

// Whether a search that delivered nothing (more) simply ran out of
// matches, rather than failing.
bool IsNoMatch(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

// A match is placed only when it is a file named as the pattern means;
// directories are passed over without a report.
bool IsFileToPlace(const WIN32_FIND_DATAA &match, const char *pattern) {
    return (match.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           HasPatternExtension(match.cFileName, pattern);
}

// Makes the pending copies durable, then removes their sources. The target
// directory is WorkPath up to WorkPathTail.
void RemovePendingSources(const char *subdirName) {
    if (PendingLength == 0)
        return;
    *WorkPathTail = '\0';
    bool durable = FlushCopiedBatch(WorkPath) != FALSE;
    const char *flushFailure = durable ? nullptr : LastErrorText();
    for (const char *name = PendingRemovals; name < PendingRemovals + PendingLength;
         name += strlen(name) + 1) {
        if (!durable)
            NoteProblem(NotRemoved, name, subdirName, flushFailure);
        else if (!DeleteFileA(name))
            NoteProblem(NotRemoved, name, subdirName, LastErrorText());
    }
    PendingLength = 0;
}

// Queues the source `name` for removal with the rest of its batch.
void QueueRemoval(const char *name, const char *subdirName) {
    size_t size = strlen(name) + 1;
    if (PendingLength + size > sizeof PendingRemovals)
        RemovePendingSources(subdirName);
    memcpy(PendingRemovals + PendingLength, name, size);
    PendingLength += size;
}

// Copies one match of a sweep to WorkPath, whose directory part ends at
// WorkPathTail, and queues its source for removal.
void CopyMatch(const char *name, bool targetFits, const char *subdirName) {
    size_t room = sizeof WorkPath - static_cast<size_t>(WorkPathTail - WorkPath);
    if (!targetFits || !PutText(WorkPathTail, room, name)) {
        NoteProblem(NotCopied, name, subdirName, PathTooLong);
        return;
    }
    if (!CopyFileA(name, WorkPath, FALSE)) {
        NoteProblem(NotCopied, name, subdirName, LastErrorText());
        return;
    }
    if (!FlushCopiedFile(WorkPath)) {
        NoteProblem(NotRemoved, name, subdirName, LastErrorText());
        return;
    }
    QueueRemoval(name, subdirName);
}

// WorkPath = InstallRoot + `subdir`; false when it does not fit.
bool ComposeSubdirPath(const char *subdir) {
    return PutText(WorkPath, sizeof WorkPath, InstallRoot) &&
           AppendText(WorkPath, sizeof WorkPath, subdir);
}

// Moves `name` from the current directory (the subdirectory) to
// InstallRoot; the move refuses a file of that name already there.
void MoveBackToRoot(const char *name, const char *subdirName) {
    bool targetFits = PutText(WorkPath, sizeof WorkPath, InstallRoot) &&
                      AppendText(WorkPath, sizeof WorkPath, ZV_SEPARATOR) &&
                      AppendText(WorkPath, sizeof WorkPath, name);
    if (!targetFits)
        NoteProblem(NotMovedBack, name, subdirName, PathTooLong);
    else if (!MoveFileA(name, WorkPath))
        NoteProblem(NotMovedBack, name, subdirName, LastErrorText());
}

} // namespace

void SweepToSubdir(const char *pattern, const char *subdir) {
    const char *subdirName = subdir + 1;
    bool targetFits = ComposeSubdirPath(subdir);
    if (targetFits) {
        if (!SetCurrentDirectoryA(WorkPath))
            CreateDirectoryA(WorkPath, nullptr);
        SetCurrentDirectoryA(HomeDir);
        targetFits = AppendText(WorkPath, sizeof WorkPath, ZV_SEPARATOR);
    }
    WorkPathTail = WorkPath + strlen(WorkPath);

    WIN32_FIND_DATAA match;
    HANDLE search = FindFirstFileA(pattern, &match);
    if (search == INVALID_HANDLE_VALUE) {
        if (!IsNoMatch(GetLastError()))
            NoteProblem(NotSearched, pattern, subdirName, LastErrorText());
        return;
    }
    do {
        if (IsFileToPlace(match, pattern))
            CopyMatch(match.cFileName, targetFits, subdirName);
    } while (FindNextFileA(search, &match));
    if (!IsNoMatch(GetLastError()))
        NoteProblem(NotSearched, pattern, subdirName, LastErrorText());
    FindClose(search);
    RemovePendingSources(subdirName);
}

void ReturnToRoot(const char *name, const char *subdir) {
    // Without its subdirectory there is nothing to return, and searching
    // the start directory instead could only find files already at the top.
    if (!ComposeSubdirPath(subdir) || !SetCurrentDirectoryA(WorkPath))
        return;
    const char *subdirName = subdir + 1;
    WIN32_FIND_DATAA match;
    HANDLE search = FindFirstFileA(name, &match);
    if (search != INVALID_HANDLE_VALUE) {
        if (IsFileToPlace(match, name))
            MoveBackToRoot(match.cFileName, subdirName);
        FindClose(search);
    } else if (!IsNoMatch(GetLastError())) {
        NoteProblem(NotMovedBack, name, subdirName, LastErrorText());
    }
    SetCurrentDirectoryA(HomeDir);
}
