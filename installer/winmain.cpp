// The installer's entry point and its fixed table of install steps.
#include "platform/platform.h"

#include "installer/install.h"
#include "installer/outcome.h"
#include "report/report.h"

#include <string.h>

namespace {

struct InstallStep {
    void (*run)(const char *patternOrName, const char *subdir);
    const char *patternOrName;
    const char *subdir;
};

// Run in this order, each to its end. The demo headers are swept into
// INCLUDE with every other header and then brought back to the top.
const InstallStep InstallSteps[] = {
    {SweepToSubdir, "*.h", ZV_SEPARATOR "INCLUDE"},
    {ReturnToRoot, "showcase.h", ZV_SEPARATOR "INCLUDE"},
    {ReturnToRoot, "plotdesk.h", ZV_SEPARATOR "INCLUDE"},
    {SweepToSubdir, "*.lib", ZV_SEPARATOR "LIB"},
};

const char UnreadableStartText[] =
    "Zorvalt was not installed: the current directory could not be read.";

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // 499, one less than the buffer holds. A directory that does not fit,
    // or cannot be read, stops the run: an empty path would sort files
    // into the root of the drive or file system.
    DWORD length = GetCurrentDirectoryA(499, HomeDir);
    if (length == 0 || length >= 499) {
        ReportMessage(UnreadableStartText);
        return 1;
    }
    strcpy(InstallRoot, HomeDir);

    for (const InstallStep &step : InstallSteps)
        step.run(step.patternOrName, step.subdir);

    ReportMessage(InstallOutcomeText());
    return InstallSucceeded() ? 0 : 1;
}
