// The install run's outcome: a fixed-size report of the problems met.
#include "installer/outcome.h"

#include "platform/platform.h"

#include "installer/bounded_text.h"

#include <stdio.h>
#include <string.h>

const char PathTooLong[] = "path too long";

namespace {

const char SuccessText[] = "Zorvalt successfully installed!";
const char ProblemsHeading[] = "Zorvalt was not completely installed.";

// The report names this many problems and counts the rest.
const int ProblemsShown = 10;

const char *const ProblemFormats[] = {
    "%s: not copied to %s (%s)",
    "%s: copied to %s, but the original could not be removed (%s)",
    "%s: not moved back from %s (%s)",
    "%s: the search for files to place in %s failed (%s)",
};

int ProblemCount = 0;

// The heading, ten problem lines and the closing count. A line holds a file
// name (under MAX_PATH), a subdirectory name, a reason (under 256) and
// about 60 characters of its own, so ten of them always fit.
char OutcomeText[8192];

// The length of the heading and the problem lines shown; the line that
// counts the rest is written after them.
size_t ShownLength = 0;

char ErrorText[256];

// Removes the line break and full stop that platform error texts end with.
void TrimErrorText(char *text) {
    size_t length = strlen(text);
    while (length > 0 && strchr("\r\n .", text[length - 1]) != nullptr)
        text[--length] = '\0';
}

} // namespace

void NoteProblem(ProblemKind kind, const char *name, const char *subdirName, const char *reason) {
    if (ProblemCount++ == 0)
        PutText(OutcomeText, sizeof OutcomeText, ProblemsHeading);
    if (ProblemCount > ProblemsShown)
        return;
    char line[1024];
    snprintf(line, sizeof line, ProblemFormats[kind], name, subdirName, reason);
    AppendText(OutcomeText, sizeof OutcomeText, "\n");
    AppendText(OutcomeText, sizeof OutcomeText, line);
    ShownLength = strlen(OutcomeText);
}

const char *LastErrorText() {
    DWORD code = GetLastError();
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, ErrorText, sizeof ErrorText, nullptr);
    if (length == 0)
        snprintf(ErrorText, sizeof ErrorText, "error %lu", static_cast<unsigned long>(code));
    TrimErrorText(ErrorText);
    return ErrorText;
}

bool InstallSucceeded() {
    return ProblemCount == 0;
}

const char *InstallOutcomeText() {
    if (ProblemCount == 0)
        return SuccessText;
    if (ProblemCount > ProblemsShown)
        snprintf(OutcomeText + ShownLength, sizeof OutcomeText - ShownLength,
                 "\nand %d more problems.", ProblemCount - ProblemsShown);
    return OutcomeText;
}
