// The behaviour of the platform operations that the core relies on. The
// same rows run on both builds: under Wine they check them against Win32
// itself, natively against our POSIX layer.
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <set>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

const DWORD Untouched = 0xDEADBEEF; // the last error is seeded with this

// Each test runs in a fresh directory of its own, which is the process's
// current directory while it runs.
class Contract : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GT(GetCurrentDirectoryA(sizeof start, start), 0u);
        snprintf(root, sizeof root, "%s%szv-contract-%s", start, ZV_SEPARATOR,
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        RemoveTree(root);
        ASSERT_TRUE(CreateDirectoryA(root, nullptr));
        ASSERT_TRUE(SetCurrentDirectoryA(root));
    }
    void TearDown() override {
        SetCurrentDirectoryA(start);
        RemoveTree(root);
    }

    static void RemoveTree(const char *path) {
        char command[700];
#if defined(_WIN32)
        snprintf(command, sizeof command, "rmdir /s /q \"%s\" 2>nul", path);
#else
        snprintf(command, sizeof command, "rm -rf '%s'", path);
#endif
        (void)system(command);
    }

    // The full path of `name` inside the test's directory.
    std::string Full(const char *name) const {
        return std::string(root) + ZV_SEPARATOR + name;
    }

    static void Write(const char *name, const char *contents) {
        FILE *file = fopen(name, "wb");
        ASSERT_NE(file, nullptr) << name;
        fputs(contents, file);
        fclose(file);
    }

    static std::string Read(const char *name) {
        FILE *file = fopen(name, "rb");
        if (file == nullptr)
            return "<missing>";
        std::string contents;
        for (int c; (c = fgetc(file)) != EOF;)
            contents += static_cast<char>(c);
        fclose(file);
        return contents;
    }

    // The names (and whether each was reported as a directory) that a
    // search for `pattern` delivers, in any order.
    static std::set<std::string> Search(const char *pattern) {
        std::set<std::string> found;
        WIN32_FIND_DATAA match;
        HANDLE search = FindFirstFileA(pattern, &match);
        if (search == INVALID_HANDLE_VALUE)
            return found;
        do {
            bool directory = (match.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            found.insert(std::string(match.cFileName) + (directory ? "/" : ""));
        } while (FindNextFileA(search, &match));
        FindClose(search);
        return found;
    }

    char start[MAX_PATH];
    char root[MAX_PATH + 64];
};

// Seeds the last error, calls, and checks both the result and the error.
#define EXPECT_CALL_RESULT(call, result, error)                                                    \
    do {                                                                                           \
        SetLastError(Untouched);                                                                   \
        BOOL returned = (call);                                                                    \
        EXPECT_EQ(returned != FALSE, (result)) << #call;                                           \
        if (!(result)) {                                                                           \
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(error)) << #call;                         \
        }                                                                                          \
    } while (0)

TEST_F(Contract, FileOperationsSucceedOrFailWithTheirWin32Codes) {
    Write("source.h", "new contents");
    Write("target.h", "old contents");
    Write("other.h", "other");
    ASSERT_TRUE(CreateDirectoryA("sub.h", nullptr));

    EXPECT_CALL_RESULT(CopyFileA("source.h", Full("target.h").c_str(), FALSE), true, 0);
    EXPECT_EQ(Read("target.h"), "new contents");
    EXPECT_EQ(Read("source.h"), "new contents");
    EXPECT_CALL_RESULT(CopyFileA("source.h", Full("other.h").c_str(), TRUE), false,
                       ERROR_FILE_EXISTS);
    EXPECT_EQ(Read("other.h"), "other");
    EXPECT_CALL_RESULT(CopyFileA("absent.h", Full("copy.h").c_str(), FALSE), false,
                       ERROR_FILE_NOT_FOUND);
    EXPECT_CALL_RESULT(CopyFileA("sub.h", Full("copy.h").c_str(), FALSE), false,
                       ERROR_ACCESS_DENIED);
    EXPECT_EQ(Read("copy.h"), "<missing>");

    EXPECT_CALL_RESULT(MoveFileA("source.h", Full("other.h").c_str()), false, ERROR_ALREADY_EXISTS);
    EXPECT_EQ(Read("source.h"), "new contents");
    EXPECT_EQ(Read("other.h"), "other");
    EXPECT_CALL_RESULT(MoveFileA("source.h", Full("moved.h").c_str()), true, 0);
    EXPECT_EQ(Read("moved.h"), "new contents");
    EXPECT_EQ(Read("source.h"), "<missing>");

    EXPECT_CALL_RESULT(DeleteFileA("moved.h"), true, 0);
    EXPECT_EQ(Read("moved.h"), "<missing>");
    EXPECT_CALL_RESULT(DeleteFileA("moved.h"), false, ERROR_FILE_NOT_FOUND);
    EXPECT_CALL_RESULT(DeleteFileA("sub.h"), false, ERROR_ACCESS_DENIED);

    EXPECT_CALL_RESULT(CreateDirectoryA("sub.h", nullptr), false, ERROR_ALREADY_EXISTS);
    EXPECT_CALL_RESULT(SetCurrentDirectoryA(Full("absent").c_str()), false, ERROR_FILE_NOT_FOUND);
    EXPECT_CALL_RESULT(SetCurrentDirectoryA(Full("other.h").c_str()), false, ERROR_DIRECTORY);
}

TEST_F(Contract, CurrentDirectoryAnswersWithTheSizeNeededWhenItDoesNotFit) {
    DWORD length = static_cast<DWORD>(strlen(root));
    char buffer[MAX_PATH + 64];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(GetCurrentDirectoryA(length, buffer), length + 1); // no room for the terminator
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(GetCurrentDirectoryA(length + 1, buffer), length);
    EXPECT_STREQ(buffer, root);
}

struct SearchRow {
    const char *pattern;
    std::set<std::string> expected; // a trailing '/' marks a directory
};

TEST_F(Contract, SearchMatchesWildcardsWithoutRegardToCase) {
    for (const char *name : {"a.h", "B.H", "My Header.h", "c.hpp", "d.h.txt", ".h", "e.lib",
                             "F.LIB", "showcase.H", "ab.h"})
        Write(name, name);
    ASSERT_TRUE(CreateDirectoryA("sub.h", nullptr));
    const SearchRow rows[] = {
        {"*.h", {"a.h", "B.H", "My Header.h", ".h", "showcase.H", "ab.h", "sub.h/"}},
        {"*.LIB", {"e.lib", "F.LIB"}},
        {"SHOWCASE.h", {"showcase.H"}},
        {"?.h", {"a.h", "B.H"}},
        {"plotdesk.h", {}},
    };
    for (const SearchRow &row : rows)
        EXPECT_EQ(Search(row.pattern), row.expected) << row.pattern;

    SetLastError(Untouched);
    WIN32_FIND_DATAA match;
    EXPECT_EQ(FindFirstFileA("*.none", &match), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Contract, SearchDeliversEveryMatchOnceWhileMatchesAreDeleted) {
    const int count = 300;
    std::set<std::string> written;
    for (int i = 0; i < count; ++i) {
        char name[32];
        snprintf(name, sizeof name, "header-%03d.h", i);
        Write(name, name);
        written.insert(name);
    }
    Write("keep.lib", "not matched");

    std::vector<std::string> delivered;
    WIN32_FIND_DATAA match;
    HANDLE search = FindFirstFileA("*.h", &match);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        delivered.push_back(match.cFileName);
        EXPECT_TRUE(DeleteFileA(match.cFileName)) << match.cFileName;
    } while (FindNextFileA(search, &match));
    FindClose(search);

    EXPECT_EQ(delivered.size(), written.size());
    EXPECT_EQ(std::set<std::string>(delivered.begin(), delivered.end()), written);
    EXPECT_EQ(Search("*.lib"), std::set<std::string>{"keep.lib"});
}

} // namespace
