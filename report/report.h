// Message reporting: a text shown in a message box captioned with the
// program's file name, with the floating-point state guarded around the
// box, and optionally appended to a log file with the time of day.
#pragma once

#include "platform/platform.h"

#include <stddef.h>
#include <stdio.h>

// Report settings. Nothing in the installer changes them: it only ever
// shows the box.
extern unsigned char LogToFile;       // nonzero: append each text to LogFileName
extern unsigned char ShowWhenLogging; // with LogToFile: also show the box
extern char LogFileName[80];

// Switches the log mode on: each report is appended to `fileName`, and
// shown in the box too when `alsoShowBox`. Returns false, changing
// nothing, when the name does not fit LogFileName.
bool StartReportLog(const char *fileName, bool alsoShowBox);

// Switches the log mode off again: reports are shown in the box only.
void StopReportLog();

// Room for the caption's 32 characters and its terminator.
const size_t CaptionCapacity = 33;

// Shows `text` (and logs it when the log mode is on); returns once the box
// has been dismissed, or at once after logging when no box is wanted.
void ReportMessage(const char *text);

// Derives the box's caption from a command line: the text after the last
// path separator, at most 32 characters, less one trailing space and then
// one trailing double quote; "Error" when nothing is left.
void ComposeCaption(const char *commandLine, char caption[CaptionCapacity]);

// Writes one log record: the time of day as "%2d:%02d:%02d.%03d", three
// spaces and `text`. No line break is added.
void WriteLogRecord(FILE *log, const SYSTEMTIME &time, const char *text);
