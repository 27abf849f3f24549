// History files: one "<index>.NT" per control in trendDirectory, a 412-byte
// header (the control record's persistent image) followed by 4096-byte pages
// of 32-bit little-endian samples. The conversion to a new ring size is the
// bucket-change worker's (bucket_worker.h).
//
// Every file is opened for one operation and closed again. A header is always
// rewritten in place with one write, and a page is one write, so a file stays
// valid when the process is killed at any moment.
// Results: 0 success, 1 failure unless stated otherwise.
// Thread safety: everything here runs with controlSemaphore held (or during
// start-up).
#pragma once

#include <cstdio>
#include <string>

#include "agent/trend/control.h"

namespace trend {

constexpr DWORD kHistoryHeaderBytes = 412;
constexpr int kTrendDirectoryBytes = 100;  // 99 characters and the terminator

// "C:\RIREVUD" until readTrendDirectory runs.
extern std::string trendDirectory;

// Reads "TrendFiles"/"Directory" of the configuration file into trendDirectory
// (default install root + "\TrenFile"), whole however long it is; a path the
// system cannot use fails start-up when the directory is made.
void readTrendDirectory();

// trendDirectory + "\<index>.<extension>".
std::string historyFilePath(DWORD controlIndex, const char* extension = "NT");

// Fills a 412-byte image of the control's persistent fields.
void buildHistoryHeaderImage(const Control& control, BYTE* image);
// Checks a header image read from a file named `fileName` (relative to
// trendDirectory): the name is the header's control number + ".NT", the
// class, interval and bucket count are usable and the ring state obeys the
// ring rules. The agent never writes a header that fails this.
bool historyHeaderIsUsable(const BYTE* image, const std::string& fileName);

// An open unbuffered stream on trendDirectory\fileName positioned at byte 0,
// or null: opened "rb+" and accepted only when it starts with "NT_TREND", NUL.
FILE* openHistoryFile(const std::string& fileName);
// 0 if the file opens for update and starts with "NT_TREND", NUL; else 1.
int isValidHistoryFile(const std::string& fullPath);
// Ensures a valid history file exists for the control; an existing valid file
// is left untouched. 1 when the control is unknown or creation failed.
int createHistoryFile(DWORD controlIndex);
// Removes <index>.NT; errors are ignored.
void deleteHistoryFile(DWORD controlIndex);
// Writes the header image at byte 0 with one write (not flushed) and sets
// headerSaved. 1 (headerSaved untouched) when the write fails.
int writeHistoryHeader(FILE* stream, Control* control);
// The 412-byte header of trendDirectory\fileName, newly allocated (caller
// frees with delete[]), or null when the file does not open for update, lacks
// the signature or is shorter than the header.
BYTE* readHistoryHeader(const std::string& fileName);
// Page pageNo of the control's data area; bytes past the end of the file read
// as zero.
int readHistoryPage(DWORD controlIndex, DWORD pageNo, BYTE* buffer, DWORD size);
// Writes the page (one write), then rewrites the header from the control.
int writeHistoryPage(DWORD controlIndex, DWORD pageNo, const BYTE* buffer, DWORD size);
int saveHistoryHeader(DWORD controlIndex);
void saveUnsavedHeaders();
// Puts back the old file of a bucket change that was cut off, then deletes
// invalid and old-format files. 1 when no history file is left, else 0.
int removeStaleHistoryFiles();
// Appends one control per usable history file to controlList. Always 0.
int restoreControlsFromHistoryFiles();

}  // namespace trend
