// The message box caption derived from the command line.
#include "report/report.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct CaptionCase {
    const char *commandLine; // written with '\' as the separator
    const char *caption;
};

const CaptionCase CaptionCases[] = {
    {"\"C:\\Apps\\setup.exe\" ", "setup.exe"}, // the space goes, then the quote
    {"C:\\Apps\\setup.exe", "setup.exe"},
    {"\"C:\\Apps\\setup.exe\"", "setup.exe"},
    {"\"C:\\Apps\\setup.exe\" D:\\data", "data"},  // the last separator of all counts
    {"\"C:\\Apps\\setup.exe\"  ", "setup.exe\" "}, // only one space is removed
    {"\"C:\\Apps\\setup.exe\" -quiet", "setup.exe\" -quiet"},
    {"setup.exe", "setup.exe"},
    {"C:\\Apps\\an-installer-with-a-very-long-name.exe",
     "an-installer-with-a-very-long-na"}, // the first 32 characters
    {"\"C:\\x\\abcdefghijklmnopqrstuvwxyz012345\" ",
     "abcdefghijklmnopqrstuvwxyz012345"}, // the quote beyond 32 goes with the rest
    {"\"C:\\x\\abcdefghijklmnopqrstuvwxyz01234\" ",
     "abcdefghijklmnopqrstuvwxyz01234"}, // the space is beyond 32, the quote goes
    {"C:\\Apps\\tools\\", "Error"},
    {"", "Error"},
    {"\" ", "Error"},
    {"42setup.exe", "setup.exe"}, // a leading number is skipped
    {"42", "Error"},
};

void PrintTo(const CaptionCase &row, std::ostream *out) {
    *out << '[' << row.commandLine << ']';
}

class CaptionTest : public testing::TestWithParam<CaptionCase> {};

// The platform's separator in place of every '\' of the row.
std::string WithPlatformSeparator(const char *text) {
    std::string converted(text);
    for (char &c : converted) {
        if (c == '\\')
            c = ZV_SEPARATOR_CHAR;
    }
    return converted;
}

TEST_P(CaptionTest, IsTheFileNameAfterTheLastSeparator) {
    char caption[CaptionCapacity];
    memset(caption, 'X', sizeof caption);
    ComposeCaption(WithPlatformSeparator(GetParam().commandLine).c_str(), caption);
    EXPECT_EQ(WithPlatformSeparator(GetParam().caption), caption);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, CaptionTest, testing::ValuesIn(CaptionCases));

} // namespace
