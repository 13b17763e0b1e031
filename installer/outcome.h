// What the install run reports: success, or the problems it met, file by file.
#pragma once

enum ProblemKind {
    NotCopied,    // the file stays at the top
    NotRemoved,   // the copy is in place, the original stays at the top too
    NotMovedBack, // the file stays in the subdirectory
    NotSearched   // a search for a pattern ended in an error; `name` is the pattern
};

// The reason given when a target path does not fit its buffer.
extern const char PathTooLong[];

// Records a problem with the file `name`. `subdirName` is the
// subdirectory's bare name ("INCLUDE"); `reason` is a short text.
void NoteProblem(ProblemKind kind, const char *name, const char *subdirName, const char *reason);

// The platform's text for the calling thread's last error, in a buffer
// that the next call overwrites.
const char *LastErrorText();

bool InstallSucceeded();

// The text of the final report: the success text, or the problems met.
const char *InstallOutcomeText();
