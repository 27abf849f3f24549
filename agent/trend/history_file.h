// History files: one "<index>.NT" per control in trendDirectory, a 412-byte
// header (the control record's persistent image) followed by 4096-byte pages
// of 32-bit samples; and the bucket-change worker that converts a file to a
// new ring size.
// Thread safety: everything here runs with controlSemaphore held, except the
// worker thread's own wait for requests.
#pragma once

#include <cstdio>
#include <string>

#include "agent/trend/control.h"

namespace trend {

constexpr DWORD kHistoryHeaderBytes = 412;

extern std::string trendDirectory;

// Reads "TrendFiles"/"Directory" of the configuration file into trendDirectory
// (default install root + "\TrenFile").
void readTrendDirectory();

FILE* openHistoryFile(const std::string& fileName);
int isValidHistoryFile(const std::string& fullPath);
int createHistoryFile(DWORD controlIndex);
void deleteHistoryFile(DWORD controlIndex);
void writeHistoryHeader(FILE* stream, Control* control);
// A newly allocated 412-byte header image (caller frees with delete[]), or null.
BYTE* readHistoryHeader(const std::string& fileName);
int readHistoryPage(DWORD controlIndex, DWORD pageNo, BYTE* buffer, DWORD size);
int writeHistoryPage(DWORD controlIndex, DWORD pageNo, const BYTE* buffer, DWORD size);
int saveHistoryHeader(DWORD controlIndex);
void saveUnsavedHeaders();
// 1 when no history file is left, else 0.
int removeStaleHistoryFiles();
int restoreControlsFromHistoryFiles();

// Bucket-change worker.
int startBucketWorker();  // creates it suspended, empties its queue; 1 = failure
void resumeBucketWorker();
void stopBucketWorker();
// 1 when the queue is full.
int requestBucketChange(Control* control, DWORD newBuckets);
int rename_trend_file(DWORD controlIndex, const char* newExtension);
int create_new_size_trend_file(Control* control, DWORD newBuckets);

}  // namespace trend
