// The math-error report, read back from a real log file.
#include "log_file.h"
#include "report/math_error.h"

#include <gtest/gtest.h>
#include <regex>
#include <string>

namespace {

class MathErrorReport : public LogMode {};

TEST_F(MathErrorReport, NamesEachKnownTypeInItsOwnLine) {
    const char *const words[] = {"DOMAIN", "SING",  "OVERFLOW",   "UNDERFLOW",
                                 "TLOSS",  "PLOSS", "STACK FAULT"};
    std::string expected;
    for (int type = 1; type <= 7; ++type) {
        ReportMathError("sqrt", type);
        EXPECT_EQ(MathErrorText, std::string("sqrt: ") + words[type - 1] + " error\n");
        expected += LogStamp + "sqrt: " + words[type - 1] + " error" + LineEnd;
    }
    std::string log = ReadWholeFile(LogPath);
    EXPECT_TRUE(std::regex_match(log, std::regex(expected))) << log;
}

TEST_F(MathErrorReport, AnUnknownTypeGivesItsNumber) {
    for (int type : {0, 8, -3, 1000}) {
        ReportMathError("atan2", type);
        EXPECT_EQ(MathErrorText, "atan2: unknown error " + std::to_string(type) + "\n");
    }
}

TEST_F(MathErrorReport, AnOverlongNameIsCutAndTheLineStillEnds) {
    const std::string name(300, 'f');
    ReportMathError(name.c_str(), 3);
    const std::string ending = ": OVERFLOW error\n";
    const std::string text = MathErrorText;
    EXPECT_EQ(text.size(), sizeof MathErrorText - 1);
    EXPECT_EQ(text, name.substr(0, text.size() - ending.size()) + ending);

    ReportMathError(name.c_str(), 77); // the longest ending there is
    EXPECT_EQ(std::string(MathErrorText).size(), sizeof MathErrorText - 1);
    EXPECT_NE(std::string(MathErrorText).find("f: unknown error 77\n"), std::string::npos);

    std::string log = ReadWholeFile(LogPath);
    EXPECT_TRUE(std::regex_match(log, std::regex(LogStamp + "f{110}: OVERFLOW error" + LineEnd +
                                                 LogStamp + "f+: unknown error 77" + LineEnd)))
        << log;
}

} // namespace
