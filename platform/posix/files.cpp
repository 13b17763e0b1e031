// File and directory operations of our POSIX layer.
#include "platform/posix/layer.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fs.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process's umask, read once: a copy's permission bits are set
// explicitly only when the umask would have changed them.
mode_t ProcessUmask() {
    static const mode_t mask = [] {
        mode_t current = umask(0);
        umask(current);
        return current;
    }();
    return mask;
}

// Writes the directory part of `path` (or "." when it has none) into
// `directory`; false when it does not fit.
bool DirectoryOf(const char *path, char *directory, size_t capacity) {
    const char *slash = strrchr(path, '/');
    if (slash == nullptr)
        return snprintf(directory, capacity, ".") < static_cast<int>(capacity);
    size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
    if (length >= capacity)
        return false;
    memcpy(directory, path, length);
    directory[length] = '\0';
    return true;
}

// The name of the staging file for `destination`: hidden, in the same
// directory, and the same for every run, so that a staging file left by a
// killed run is found and replaced by the next copy to that destination.
bool StagingNameFor(const char *destination, char *staging, size_t capacity) {
    char directory[PATH_MAX];
    if (!DirectoryOf(destination, directory, sizeof directory))
        return false;
    const char *slash = strrchr(destination, '/');
    const char *name = slash != nullptr ? slash + 1 : destination;
    unsigned long long hash = 14695981039346656037ull; // FNV-1a
    for (const char *c = name; *c != '\0'; ++c)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 1099511628211ull;
    int length = snprintf(staging, capacity, "%s/.zorvalt-%016llx.part", directory, hash);
    return length > 0 && static_cast<size_t>(length) < capacity;
}

// Creates the staging file afresh, removing one a killed run left behind.
int CreateStagingFile(const char *staging, mode_t mode) {
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    int fd = open(staging, flags, mode);
    if (fd < 0 && errno == EEXIST && unlink(staging) == 0)
        fd = open(staging, flags, mode);
    return fd;
}

// Copies the rest of `in` to `out` through a buffer.
bool CopyWithReadWrite(int in, int out) {
    char chunk[128 * 1024];
    for (;;) {
        ssize_t got = read(in, chunk, sizeof chunk);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        for (ssize_t put = 0; put < got;) {
            ssize_t wrote = write(out, chunk + put, static_cast<size_t>(got - put));
            if (wrote < 0)
                return false;
            put += wrote;
        }
    }
}

// Copies `size` bytes with the kernel's help: block sharing where the file
// system offers it, else an in-kernel copy, else a plain loop. Every byte
// is read once.
bool CopyContents(int in, int out, off_t size) {
    static bool cloneUnavailable = false; // learnt once, not paid per file
    if (size == 0)
        return true;
    if (!cloneUnavailable) {
        if (ioctl(out, FICLONE, in) == 0)
            return true;
        if (errno != EOPNOTSUPP && errno != EXDEV && errno != EINVAL && errno != ENOTTY)
            return false;
        cloneUnavailable = true;
    }
    off_t copied = 0;
    while (copied < size) {
        ssize_t step =
            copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(size - copied), 0);
        if (step < 0) {
            bool kernelCopyUnavailable =
                errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP;
            return copied == 0 && kernelCopyUnavailable && CopyWithReadWrite(in, out);
        }
        if (step == 0)
            break; // the source shrank since it was measured
        copied += step;
    }
    return true;
}

// Fills the open staging file (named or anonymous) from `in` and gives it
// the source's permission bits and times.
bool FillStagingFile(int in, int out, const struct stat &source) {
    mode_t permissions = source.st_mode & 07777;
    if (!CopyContents(in, out, source.st_size))
        return false;
    if ((permissions & ProcessUmask()) != 0 && fchmod(out, permissions) != 0)
        return false;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    return futimens(out, times) == 0;
}

// Puts the complete staging file in place under `destination`. A
// destination that is replaced loses its old bytes only once the new ones
// are on stable storage.
bool PublishStagingFile(int out, const char *staging, const char *destination, bool failIfExists) {
    if (renameat2(AT_FDCWD, staging, AT_FDCWD, destination, RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EEXIST && failIfExists)
        return false;
    if (errno != EEXIST && errno != EINVAL && errno != ENOSYS)
        return false;
    if (failIfExists) // the file system has no refusing rename
        return link(staging, destination) == 0 && unlink(staging) == 0;
    return fdatasync(out) == 0 && rename(staging, destination) == 0;
}

// Closes the copy `out` and gives the copy's result: the error that stopped
// it, else the close's. A named staging file of a failed copy is removed.
BOOL FinishCopy(int out, bool placed, bool failIfExists, const char *staging) {
    int savedErrno = errno;
    bool closed = close(out) == 0;
    if (placed)
        return closed ? TRUE : FailWithErrno();
    if (staging != nullptr)
        unlink(staging);
    if (savedErrno == EEXIST && failIfExists)
        return FailWithCode(ERROR_FILE_EXISTS);
    errno = savedErrno;
    return FailWithErrno();
}

// Copies the open regular file `in` to `destination` through a named
// staging file, for file systems without anonymous files.
BOOL CopyThroughStagingName(int in, const struct stat &source, const char *destination,
                            bool failIfExists) {
    char staging[PATH_MAX];
    if (!StagingNameFor(destination, staging, sizeof staging))
        return FailWithCode(ERROR_FILENAME_EXCED_RANGE);
    int out = CreateStagingFile(staging, source.st_mode & 07777);
    if (out < 0)
        return FailWithErrno();
    bool placed = FillStagingFile(in, out, source) &&
                  PublishStagingFile(out, staging, destination, failIfExists);
    return FinishCopy(out, placed, failIfExists, staging);
}

// Gives the anonymous file `out` the name `name`; fails with EEXIST when
// the name is taken.
bool LinkAnonymousFile(int out, const char *name) {
    char self[32];
    snprintf(self, sizeof self, "/proc/self/fd/%d", out);
    return linkat(AT_FDCWD, self, AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
}

// Puts the complete anonymous file `out` in place under `destination`. A
// destination that is replaced loses its old bytes only once the new ones
// are on stable storage, and is replaced by a rename from a staging name.
bool PublishAnonymousFile(int out, const char *destination, bool failIfExists) {
    if (LinkAnonymousFile(out, destination))
        return true;
    if (errno != EEXIST || failIfExists)
        return false;
    char staging[PATH_MAX];
    if (!StagingNameFor(destination, staging, sizeof staging)) {
        errno = ENAMETOOLONG;
        return false;
    }
    if (fdatasync(out) != 0)
        return false;
    bool named = LinkAnonymousFile(out, staging) ||
                 (errno == EEXIST && unlink(staging) == 0 && LinkAnonymousFile(out, staging));
    if (!named)
        return false;
    if (rename(staging, destination) == 0)
        return true;
    int savedErrno = errno;
    unlink(staging);
    errno = savedErrno;
    return false;
}

// Copies the open regular file `in` to `destination` through an anonymous
// file in the destination's directory, so that the destination is replaced
// whole or not at all and a run killed halfway leaves nothing behind.
BOOL CopyOpenFile(int in, const struct stat &source, const char *destination, bool failIfExists) {
    char directory[PATH_MAX];
    if (!DirectoryOf(destination, directory, sizeof directory))
        return FailWithCode(ERROR_FILENAME_EXCED_RANGE);
    int out = open(directory, O_TMPFILE | O_WRONLY | O_CLOEXEC, source.st_mode & 07777);
    if (out < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        return CopyThroughStagingName(in, source, destination, failIfExists);
    if (out < 0)
        return FailWithErrno();
    bool placed =
        FillStagingFile(in, out, source) && PublishAnonymousFile(out, destination, failIfExists);
    return FinishCopy(out, placed, failIfExists, nullptr);
}

bool SameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

DWORD GetCurrentDirectoryA(DWORD length, LPSTR buffer) {
    char path[PATH_MAX];
    if (getcwd(path, sizeof path) == nullptr) {
        FailWithErrno();
        return 0;
    }
    DWORD needed = static_cast<DWORD>(strlen(path)) + 1;
    if (needed > length)
        return needed;
    memcpy(buffer, path, needed);
    return needed - 1;
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
    return chdir(path) == 0 ? TRUE : FailWithErrno();
}

BOOL CreateDirectoryA(LPCSTR path, void *) {
    return mkdir(path, 0777) == 0 ? TRUE : FailWithErrno();
}

BOOL CopyFileA(LPCSTR existingName, LPCSTR newName, BOOL failIfExists) {
    // Looked at before it is opened, so that a FIFO or device is never opened.
    struct stat named;
    if (stat(existingName, &named) != 0)
        return FailWithErrno();
    if (S_ISDIR(named.st_mode))
        return FailWithCode(ERROR_ACCESS_DENIED);
    if (!S_ISREG(named.st_mode))
        return FailWithCode(ERROR_BAD_FILE_TYPE);
    int in = open(existingName, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (in < 0)
        return FailWithErrno();
    struct stat opened;
    BOOL copied;
    if (fstat(in, &opened) != 0)
        copied = FailWithErrno();
    else if (!SameFile(named, opened) || !S_ISREG(opened.st_mode))
        copied = FailWithCode(ERROR_BAD_FILE_TYPE); // replaced while we looked
    else
        copied = CopyOpenFile(in, opened, newName, failIfExists != FALSE);
    close(in);
    return copied;
}

BOOL DeleteFileA(LPCSTR name) {
    if (unlink(name) == 0)
        return TRUE;
    return errno == EISDIR ? FailWithCode(ERROR_ACCESS_DENIED) : FailWithErrno();
}

BOOL MoveFileA(LPCSTR existingName, LPCSTR newName) {
    if (renameat2(AT_FDCWD, existingName, AT_FDCWD, newName, RENAME_NOREPLACE) == 0)
        return TRUE;
    if (errno != EINVAL && errno != ENOSYS)
        return FailWithErrno();
    // The file system has no refusing rename: a new link refuses instead.
    if (link(existingName, newName) != 0)
        return FailWithErrno();
    return unlink(existingName) == 0 ? TRUE : FailWithErrno();
}

BOOL FlushCopiedFile(const char *) {
    return TRUE; // the batch's file system sync covers each copy
}

BOOL FlushCopiedBatch(const char *targetDirectory) {
    int directory = open(targetDirectory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return FailWithErrno();
    bool synced = syncfs(directory) == 0;
    int savedErrno = errno;
    close(directory);
    errno = savedErrno;
    return synced ? TRUE : FailWithErrno();
}
