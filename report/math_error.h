// The math-error report: one line naming a mathematical function and the
// kind of its error, shown or logged like any other report.
#pragma once

// The words for the error types 1 to 7; type 0 has none.
extern const char *const MathErrorNames[8];

// The last line reported, kept until the next math-error report.
extern char MathErrorText[128];

// Reports "NAME: KIND error" and a line feed for `errorType` 1 to 7, or
// "NAME: unknown error N" for any other type. A name too long for
// MathErrorText is cut so that the line still ends in its error words and a
// line feed.
void ReportMathError(const char *functionName, int errorType);
