// Placeholder bodies: succeed without effect until history files exist.
#include "agent/trend/history_file.h"

namespace trend {

std::string trendDirectory;

void readTrendDirectory() {}
FILE* openHistoryFile(const std::string&) { return nullptr; }
int isValidHistoryFile(const std::string&) { return 1; }
int createHistoryFile(DWORD) { return 0; }
void deleteHistoryFile(DWORD) {}
void writeHistoryHeader(FILE*, Control* control) { control->headerSaved = 1; }
BYTE* readHistoryHeader(const std::string&) { return nullptr; }
int readHistoryPage(DWORD, DWORD, BYTE*, DWORD) { return 1; }
int writeHistoryPage(DWORD, DWORD, const BYTE*, DWORD) { return 1; }
int saveHistoryHeader(DWORD) { return 0; }
void saveUnsavedHeaders() {}
int removeStaleHistoryFiles() { return 1; }
int restoreControlsFromHistoryFiles() { return 0; }
int startBucketWorker() { return 0; }
void resumeBucketWorker() {}
void stopBucketWorker() {}
int requestBucketChange(Control*, DWORD) { return 1; }
int rename_trend_file(DWORD, const char*) { return 0; }
int create_new_size_trend_file(Control*, DWORD) { return 0; }

}  // namespace trend
