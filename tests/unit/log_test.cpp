// The log mode of the message report.
#include "report/report.h"

#include <gtest/gtest.h>
#include <regex>
#include <stdio.h>
#include <string>

namespace {

// The line ending a text-mode stream writes for "\n".
#if defined(_WIN32)
const char LineEnd[] = "\r\n";
#else
const char LineEnd[] = "\n";
#endif

std::string ReadWholeFile(const char *path) {
    std::string contents;
    FILE *file = fopen(path, "rb");
    if (file == nullptr)
        return "<missing>";
    for (int c; (c = fgetc(file)) != EOF;)
        contents += static_cast<char>(c);
    fclose(file);
    return contents;
}

struct RecordCase {
    WORD hour, minute, second, millisecond;
    const char *text;
    std::string expected;
};

TEST(LogRecord, PadsTheTimeAndAddsNoLineBreak) {
    const RecordCase cases[] = {
        {9, 5, 3, 7, "installed", " 9:05:03.007   installed"},
        {23, 59, 59, 999, "last\n", std::string("23:59:59.999   last") + LineEnd},
        {0, 0, 0, 0, "", " 0:00:00.000   "},
        {12, 0, 9, 40, "two\nlines", std::string("12:00:09.040   two") + LineEnd + "lines"},
    };
    for (const RecordCase &row : cases) {
        char path[] = "zv-log-record.txt";
        FILE *log = fopen(path, "wt");
        ASSERT_NE(log, nullptr);
        SYSTEMTIME time = {};
        time.wHour = row.hour;
        time.wMinute = row.minute;
        time.wSecond = row.second;
        time.wMilliseconds = row.millisecond;
        WriteLogRecord(log, time, row.text);
        fclose(log);
        EXPECT_EQ(ReadWholeFile(path), row.expected) << "text: " << row.text;
        remove(path);
    }
}

class LogMode : public testing::Test {
  protected:
    void SetUp() override {
        snprintf(LogFileName, sizeof LogFileName, "zv-log-mode.txt");
        remove(LogFileName);
        LogToFile = 1;
        ShowWhenLogging = 0;
    }
    void TearDown() override {
        remove(LogFileName);
        LogToFile = 0;
        LogFileName[0] = '\0';
    }
};

TEST_F(LogMode, AppendsTimeStampedTextsWithoutShowingTheBox) {
    FILE *existing = fopen(LogFileName, "wb");
    ASSERT_NE(existing, nullptr);
    fputs("earlier\n", existing);
    fclose(existing);

#if !defined(_WIN32)
    testing::internal::CaptureStderr(); // where the POSIX port's box goes
#endif
    ReportMessage("first, ");
    ReportMessage("still the first line\n");
    ReportMessage("second");
#if !defined(_WIN32)
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
#endif

    const std::string stamp = "[ 12][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3}   ";
    const std::regex expected("earlier\n" + stamp + "first, " + stamp + "still the first line" +
                              LineEnd + stamp + "second");
    std::string contents = ReadWholeFile(LogFileName);
    EXPECT_TRUE(std::regex_match(contents, expected)) << contents;
}

TEST_F(LogMode, PassesOverALogFileThatCannotBeOpened) {
    snprintf(LogFileName, sizeof LogFileName, "no-such-directory/log.txt");
    ReportMessage("lost on purpose");
    EXPECT_EQ(ReadWholeFile(LogFileName), "<missing>");
}

} // namespace
