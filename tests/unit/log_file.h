// Helpers for tests that read back what the report's log mode wrote.
#pragma once

#include "report/report.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string>

// The line ending a text-mode stream writes for "\n".
#if defined(_WIN32)
inline const char LineEnd[] = "\r\n";
#else
inline const char LineEnd[] = "\n";
#endif

// A time stamp of the log format, as a regular expression.
inline const std::string LogStamp = "[ 12][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3}   ";

inline std::string ReadWholeFile(const char *path) {
    std::string contents;
    FILE *file = fopen(path, "rb");
    if (file == nullptr)
        return "<missing>";
    for (int c; (c = fgetc(file)) != EOF;)
        contents += static_cast<char>(c);
    fclose(file);
    return contents;
}

// Runs each test with the log mode on, the box off, and a fresh log file of
// its own (tests run in parallel in one directory).
class LogMode : public testing::Test {
  protected:
    void SetUp() override {
        const char *test = testing::UnitTest::GetInstance()->current_test_info()->name();
        snprintf(LogPath, sizeof LogPath, "zv-log-%.60s.txt", test);
        ASSERT_TRUE(StartReportLog(LogPath, false));
        remove(LogPath);
    }
    void TearDown() override {
        StopReportLog();
        remove(LogPath);
    }
    char LogPath[sizeof LogFileName];
};
