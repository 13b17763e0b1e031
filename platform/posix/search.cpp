// Wildcard search of the current directory, for our POSIX layer.
#include "platform/posix/layer.h"

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>

namespace {

struct Search {
    DIR *stream;
    char pattern[MAX_PATH];
};

// A handful of searches may be open at once; the core never has more than one.
Search Searches[8];

bool SameLetter(char a, char b) {
    return tolower(static_cast<unsigned char>(a)) == tolower(static_cast<unsigned char>(b));
}

// `*` matches any run of characters (dots included), `?` any one character,
// everything else itself without regard to ASCII case.
bool MatchesWildcard(const char *name, const char *pattern) {
    const char *starPattern = nullptr;
    const char *starName = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' || (*pattern != '\0' && SameLetter(*pattern, *name))) {
            ++pattern;
            ++name;
        } else if (starPattern != nullptr) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

// The directory bit of an entry, following symbolic links as Win32 reports
// their targets. False when the entry has gone since it was listed.
bool EntryAttributes(DIR *stream, const struct dirent *entry, DWORD *attributes) {
    if (entry->d_type == DT_DIR) {
        *attributes = FILE_ATTRIBUTE_DIRECTORY;
        return true;
    }
    *attributes = FILE_ATTRIBUTE_NORMAL;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return true;
    struct stat target;
    if (fstatat(dirfd(stream), entry->d_name, &target, 0) == 0) {
        if (S_ISDIR(target.st_mode))
            *attributes = FILE_ATTRIBUTE_DIRECTORY;
        return true;
    }
    // An entry that cannot be followed (a dangling link, an unreadable
    // one) is still a name to place or report; only one that has gone is not.
    return errno != ENOENT || entry->d_type == DT_LNK ||
           fstatat(dirfd(stream), entry->d_name, &target, AT_SYMLINK_NOFOLLOW) == 0;
}

// Advances `search` to its next match; FALSE with ERROR_NO_MORE_FILES at the end.
BOOL NextMatch(Search *search, WIN32_FIND_DATAA *found) {
    for (;;) {
        errno = 0;
        const struct dirent *entry = readdir(search->stream);
        if (entry == nullptr)
            return errno != 0 ? FailWithErrno() : FailWithCode(ERROR_NO_MORE_FILES);
        DWORD attributes;
        if (!MatchesWildcard(entry->d_name, search->pattern) ||
            !EntryAttributes(search->stream, entry, &attributes))
            continue;
        memset(found, 0, sizeof *found);
        found->dwFileAttributes = attributes;
        strcpy(found->cFileName, entry->d_name); // NAME_MAX is below MAX_PATH
        return TRUE;
    }
}

void EndSearch(Search *search) {
    closedir(search->stream);
    search->stream = nullptr;
}

} // namespace

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA *found) {
    if (strchr(pattern, '/') != nullptr) {
        FailWithCode(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    if (strlen(pattern) >= MAX_PATH) {
        FailWithCode(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    Search *search = nullptr;
    for (Search &candidate : Searches) {
        if (candidate.stream == nullptr) {
            search = &candidate;
            break;
        }
    }
    if (search == nullptr) {
        FailWithCode(ERROR_TOO_MANY_OPEN_FILES);
        return INVALID_HANDLE_VALUE;
    }
    search->stream = opendir(".");
    if (search->stream == nullptr) {
        FailWithErrno();
        return INVALID_HANDLE_VALUE;
    }
    strcpy(search->pattern, pattern);
    if (!NextMatch(search, found)) {
        DWORD reason = GetLastError();
        EndSearch(search);
        FailWithCode(reason == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : reason);
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA *found) {
    return NextMatch(static_cast<Search *>(handle), found);
}

BOOL FindClose(HANDLE handle) {
    EndSearch(static_cast<Search *>(handle));
    return TRUE;
}
