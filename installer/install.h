// The install run: the directories recorded at start and the two
// file-placement operations that carry out the install steps.
#pragma once

// The process's current directory as read at start; every operation that
// changes the current directory returns to it.
extern char HomeDir[500];

// The root under which every target path is formed (the same text as
// HomeDir, in a role of its own).
extern char InstallRoot[500];

// Scratch space in which each target path is composed.
extern char WorkPath[500];

// During a sweep: where each match's name is written in WorkPath.
extern char *WorkPathTail;

// Moves (by copy, then delete) every file of HomeDir matching `pattern`
// into InstallRoot + `subdir`, creating that directory when missing.
void SweepToSubdir(const char *pattern, const char *subdir);

// Moves the first file of InstallRoot + `subdir` matching `name` back
// into InstallRoot.
void ReturnToRoot(const char *name, const char *subdir);
