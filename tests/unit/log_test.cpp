// The log mode of the message report.
#include "log_file.h"
#include "report/report.h"

#include <gtest/gtest.h>
#include <regex>
#include <stdio.h>
#include <string>

namespace {

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

TEST_F(LogMode, AppendsTimeStampedTextsWithoutShowingTheBox) {
    FILE *existing = fopen(LogPath, "wb");
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

    const std::regex expected("earlier\n" + LogStamp + "first, " + LogStamp +
                              "still the first line" + LineEnd + LogStamp + "second");
    std::string contents = ReadWholeFile(LogPath);
    EXPECT_TRUE(std::regex_match(contents, expected)) << contents;
}

TEST_F(LogMode, PassesOverALogFileThatCannotBeOpened) {
    ASSERT_TRUE(StartReportLog("no-such-directory/log.txt", false));
    ReportMessage("lost on purpose");
    EXPECT_EQ(ReadWholeFile(LogFileName), "<missing>");
}

TEST_F(LogMode, RefusesALogFileNameTooLongForItsBuffer) {
    const std::string tooLong(sizeof LogFileName, 'n');
    EXPECT_FALSE(StartReportLog(tooLong.c_str(), true));
    EXPECT_STREQ(LogFileName, LogPath);
    EXPECT_EQ(ShowWhenLogging, 0);
    const std::string longest(sizeof LogFileName - 1, 'n');
    EXPECT_TRUE(StartReportLog(longest.c_str(), true));
    EXPECT_EQ(ShowWhenLogging, 1);
}

} // namespace
