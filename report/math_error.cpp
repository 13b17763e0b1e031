// The math-error report.
#include "report/math_error.h"

#include "report/report.h"

#include <stdio.h>
#include <string.h>

const char *const MathErrorNames[8] = {
    nullptr, "DOMAIN", "SING", "OVERFLOW", "UNDERFLOW", "TLOSS", "PLOSS", "STACK FAULT",
};

char MathErrorText[128];

namespace {

const int MathErrorTypes = sizeof MathErrorNames / sizeof MathErrorNames[0];

bool IsKnownMathError(int errorType) {
    return errorType >= 1 && errorType < MathErrorTypes;
}

} // namespace

void ReportMathError(const char *functionName, int errorType) {
    // The line's end is composed first, so that the name can be cut to the
    // room left in front of it.
    char ending[48];
    if (IsKnownMathError(errorType))
        snprintf(ending, sizeof ending, ": %s error\n", MathErrorNames[errorType]);
    else
        snprintf(ending, sizeof ending, ": unknown error %d\n", errorType);
    size_t room = sizeof MathErrorText - 1 - strlen(ending);
    size_t nameLength = strlen(functionName);
    int shown = static_cast<int>(nameLength < room ? nameLength : room);
    snprintf(MathErrorText, sizeof MathErrorText, "%.*s%s", shown, functionName, ending);
    ReportMessage(MathErrorText);
}
