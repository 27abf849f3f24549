// History file naming, header image, page transfer, creation, start-up
// clean-up and restore.
#include "agent/trend/history_file.h"

#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "agent/common/little_endian.h"
#include "agent/trend/agent_state.h"
#include "agent/trend/configuration.h"
#include "agent/trend/history_reports.h"
#include "agent/trend/output.h"
#include "agent/trend/page_cache.h"
#include "agent/trend/sampling.h"
#include "win32/windows.h"

namespace trend {

std::string trendDirectory = "C:\\RIREVUD";

namespace {

constexpr char kFormatVersion[2] = {'0', '1'};

// Header offsets.
enum HeaderOffset : DWORD {
  kOffSignature = 0,
  kOffVersion = 10,
  kOffControlIndex = 12,
  kOffControlStatus = 16,
  kOffClassId = 20,
  kOffInstanceName = 24,
  kOffInstanceNameLength = 292,
  kOffIntervalIndex = 296,
  kOffBucketsRequested = 300,
  kOffBucketsGranted = 304,
  kOffHistoryStatus = 308,
  kOffValueType = 312,
  kOffDiskSizeMB = 316,
  kOffLastSampleValue = 320,
  kOffRefTimeStamp = 324,
  kOffThresholdStatus = 328,
  kOffThresholdType = 332,
  kOffRisingThreshold = 336,
  kOffFallingThreshold = 340,
  kOffInvalidValue = 344,
  kOffHead = 348,
  kOffTail = 352,
  kOffSampleIndex = 356,
  kOffNumOfSample = 360,
  kOffLastCheckedValue = 364,
  kOffLastCheckedTime = 368,
};
static_assert(wlcommon::fieldFits(kOffSignature, sizeof kHistorySignature, kOffVersion));
static_assert(wlcommon::fieldFits(kOffVersion, sizeof kFormatVersion, kOffControlIndex));
static_assert(wlcommon::fieldFits(kOffInstanceName, kInstanceNameBytes, kOffInstanceNameLength));
static_assert(wlcommon::fieldFits(kOffLastCheckedTime, 4, kHistoryHeaderBytes));
static_assert(kHistoryHeaderBytes == 412, "the history header on disk is 412 bytes");

// Fields of the header image; every offset is checked against the header's
// size above.
void put32(BYTE* image, HeaderOffset offset, DWORD value) {
  wlcommon::storeLe32(image + offset, value);
}

DWORD get32(const BYTE* image, HeaderOffset offset) { return wlcommon::loadLe32(image + offset); }

LONG getSigned32(const BYTE* image, HeaderOffset offset) {
  return wlcommon::loadLe32Signed(image + offset);
}

std::string pathInTrendDirectory(const std::string& fileName) {
  return trendDirectory + "\\" + fileName;
}

// Streams of history files are unbuffered: every fwrite is one write to the
// file, so a page or a header lands whole or not at all when we are killed.
FILE* openUnbuffered(const std::string& path, const char* mode) {
  FILE* stream = wl_fopen(path.c_str(), mode);
  if (stream != nullptr) setvbuf(stream, nullptr, _IONBF, 0);
  return stream;
}

bool hasSignature(FILE* stream) {
  char start[10];
  if (fread(start, 1, sizeof start, stream) < sizeof kHistorySignature) return false;
  return std::memcmp(start, kHistorySignature, sizeof kHistorySignature) == 0;
}

bool seekTo(FILE* stream, uint64_t offset) {
  return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

uint64_t pageOffset(DWORD pageNo) {
  return kHistoryHeaderBytes + static_cast<uint64_t>(pageNo) * kPageBytes;
}

// A file of the trend directory as the listing found it.
struct ListedFile {
  std::string name;
  uint64_t bytes = 0;
  std::unique_ptr<BYTE[]> header;  // the usable header, once read
};

// The files of the trend directory with the given extensions, in
// enumeration order, one list per extension. Directories and names with any
// other extension are left out. The directory is listed once for all of them.
std::vector<std::vector<ListedFile>> listFiles(std::initializer_list<std::string_view> extensions) {
  std::vector<std::vector<ListedFile>> files(extensions.size());
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pathInTrendDirectory("*.NT*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string_view name(found.cFileName, strnlen(found.cFileName, sizeof found.cFileName));
    size_t kind = 0;
    for (std::string_view extension : extensions) {
      if (name.size() > extension.size() && name.ends_with(extension)) {
        const uint64_t bytes =
            (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        files[kind].push_back(ListedFile{std::string(name), bytes, nullptr});
        break;
      }
      ++kind;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return files;
}

std::vector<ListedFile> listHistoryFiles() { return std::move(listFiles({".NT"}).front()); }

// Bytes of a file after the header, from its size.
uint64_t bytesAfterHeader(uint64_t fileBytes) {
  return fileBytes > kHistoryHeaderBytes ? fileBytes - kHistoryHeaderBytes : 0;
}

// Number of samples recorded in a file's header; -1 when it has none.
int64_t samplesRecorded(const std::string& path) {
  FILE* stream = openUnbuffered(path, "rb");
  if (stream == nullptr) return -1;
  BYTE image[kHistoryHeaderBytes];
  bool whole = fread(image, 1, sizeof image, stream) == sizeof image;
  fclose(stream);
  if (!whole || std::memcmp(image, kHistorySignature, sizeof kHistorySignature) != 0) return -1;
  return get32(image, kOffNumOfSample);
}

// A bucket change that was cut off leaves "<index>.NT$", the untouched old
// file. When the new "<index>.NT" is missing, or still holds no samples while
// the old one does, the change never completed and the old file comes back;
// otherwise the change completed and the old file goes.
void recoverInterruptedConversions(const std::vector<ListedFile>& leftovers) {
  for (const ListedFile& old : leftovers) {
    std::string oldPath = pathInTrendDirectory(old.name);
    std::string newPath = oldPath.substr(0, oldPath.size() - 1);
    int64_t oldSamples = samplesRecorded(oldPath);
    int64_t newSamples = samplesRecorded(newPath);
    if (oldSamples >= 0 && (newSamples < 0 || (newSamples == 0 && oldSamples > 0))) {
      traceLog("restore interrupted bucket change - %s\n", oldPath.c_str());
      DeleteFileA(newPath.c_str());
      MoveFileA(oldPath.c_str(), newPath.c_str());
    } else {
      DeleteFileA(oldPath.c_str());
    }
  }
}

// The whole text of a profile value: the buffer grows until the text fits
// (a value that fills the buffer may have been cut), up to the longest path
// the system knows of.
std::string readWholeProfileString(const char* section, const char* key, const char* fallback,
                                   const char* file) {
  constexpr DWORD kLongestPath = 32768;
  std::vector<char> buffer(kTrendDirectoryBytes);
  for (;;) {
    DWORD got = GetPrivateProfileStringA(section, key, fallback, buffer.data(),
                                         static_cast<DWORD>(buffer.size()), file);
    if (got + 1 < buffer.size() || buffer.size() >= kLongestPath) {
      return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
    }
    buffer.assign(buffer.size() * 2, '\0');
  }
}

// A header may claim samples whose slots lie past the end of its file (the
// file was cut short, or the header is damaged or made up, claiming a ring of
// billions of samples). Those samples were never kept: the ring keeps only
// the samples of one unbroken run in age order whose slots the file holds -
// the newest run when the ring has wrapped, else the oldest - and the
// start-up alignment then counts the rest as missing. Nothing is read as a
// sample of 0, and no later work is sized by what the header claims.
void trimRingToDataArea(Control* c, uint64_t dataBytes) {
  const uint64_t slotsHeld = dataBytes / kSlotBytes;
  const DWORD n = c->bucketsGranted;
  if (c->numOfSample == 0 || n == 0) return;
  const uint64_t end = static_cast<uint64_t>(c->tail) + c->numOfSample;  // one past, unwrapped
  if (end <= n) {
    if (end <= slotsHeld) return;
    const DWORD kept = slotsHeld > c->tail ? static_cast<DWORD>(slotsHeld - c->tail) : 0;
    c->numOfSample = kept;
    c->head = kept == 0 ? c->tail : c->tail + kept - 1;
  } else {
    if (n <= slotsHeld) return;
    // Wrapped: slots 0..head hold the newest samples, the older ones lie at
    // the end of the ring, past the file's end.
    const DWORD newest = c->head + 1;
    const DWORD kept = slotsHeld >= newest ? newest : static_cast<DWORD>(slotsHeld);
    c->sampleIndex += c->numOfSample - newest;
    c->numOfSample = kept;
    c->tail = 0;
    c->head = kept == 0 ? 0 : kept - 1;
  }
  if (c->numOfSample == 0) {
    c->head = c->tail;
    c->refTimeStamp = 0;  // nothing held: the history starts afresh
    c->sampleIndex = 1;
  }
  c->headerSaved = 0;
  traceLog("history file of control %lu holds fewer samples than its header claims; %lu kept\n",
           static_cast<unsigned long>(c->controlIndex), static_cast<unsigned long>(c->numOfSample));
}

// A header claims every sample of the ring, so it goes to the file only when
// the file holds them all: the cached samples are written first, and when
// they cannot be, the header on disk stays as it was (its ring still matches
// the file; after a restart the samples since then count as missing).
bool samplesWrittenForHeader(DWORD controlIndex) {
  if (!cacheHoldsUnwrittenSamples(controlIndex)) return true;
  flushControlCache(controlIndex);
  return !cacheHoldsUnwrittenSamples(controlIndex);
}

void reportInaccessible(const std::string& path) {
  quietMessage(
      "CURVEMIB Error: failed to access the VO DEDAZ history file - %s, the sampling history "
      "will not be updated.\r\n",
      path.c_str());
}

}  // namespace

void readTrendDirectory() {
  std::string fallback = installPath + "\\TrenFile";
  trendDirectory = readWholeProfileString("TrendFiles", "Directory", fallback.c_str(),
                                          configurationFilePath().c_str());
}

std::string historyFilePath(DWORD controlIndex, const char* extension) {
  return pathInTrendDirectory(std::to_string(controlIndex) + "." + extension);
}

void buildHistoryHeaderImage(const Control& control, BYTE* image) {
  std::memset(image, 0, kHistoryHeaderBytes);
  std::memcpy(image + kOffSignature, kHistorySignature, sizeof kHistorySignature);
  std::memcpy(image + kOffVersion, kFormatVersion, sizeof kFormatVersion);
  put32(image, kOffControlIndex, control.controlIndex);
  put32(image, kOffControlStatus, static_cast<DWORD>(control.controlStatus));
  put32(image, kOffClassId, control.classId);
  DWORD nameLength = control.instanceNameLength;
  if (nameLength > static_cast<DWORD>(kInstanceNameBytes)) nameLength = kInstanceNameBytes;
  std::memcpy(image + kOffInstanceName, control.instanceName, nameLength);
  put32(image, kOffInstanceNameLength, control.instanceNameLength);
  put32(image, kOffIntervalIndex, control.intervalIndex);
  put32(image, kOffBucketsRequested, control.bucketsRequested);
  put32(image, kOffBucketsGranted, control.bucketsGranted);
  put32(image, kOffHistoryStatus, static_cast<DWORD>(control.historyStatus));
  put32(image, kOffValueType, static_cast<DWORD>(control.valueType));
  put32(image, kOffDiskSizeMB, static_cast<DWORD>(control.diskSizeMB));
  put32(image, kOffLastSampleValue, static_cast<DWORD>(control.lastSampleValue));
  put32(image, kOffRefTimeStamp, control.refTimeStamp);
  put32(image, kOffThresholdStatus, static_cast<DWORD>(control.thresholdStatus));
  put32(image, kOffThresholdType, static_cast<DWORD>(control.thresholdType));
  put32(image, kOffRisingThreshold, control.risingThreshold);
  put32(image, kOffFallingThreshold, control.fallingThreshold);
  put32(image, kOffInvalidValue, static_cast<DWORD>(control.invalidValue));
  put32(image, kOffHead, control.head);
  put32(image, kOffTail, control.tail);
  put32(image, kOffSampleIndex, control.sampleIndex);
  put32(image, kOffNumOfSample, control.numOfSample);
  put32(image, kOffLastCheckedValue, static_cast<DWORD>(control.lastCheckedValue));
  put32(image, kOffLastCheckedTime, static_cast<DWORD>(control.lastCheckedTime));
}

bool historyHeaderIsUsable(const BYTE* image, const std::string& fileName) {
  DWORD controlIndex = get32(image, kOffControlIndex);
  if (controlIndex == 0 || fileName != std::to_string(controlIndex) + ".NT") return false;
  DWORD classId = get32(image, kOffClassId);
  if (classId < 1 || classId > kNumClasses) return false;
  DWORD interval = get32(image, kOffIntervalIndex);
  if (intervalSeconds(interval) == 0) return false;
  DWORD buckets = get32(image, kOffBucketsGranted);
  if (buckets < 2 || buckets > 0x7FFFFFFFu) return false;
  DWORD head = get32(image, kOffHead);
  DWORD tail = get32(image, kOffTail);
  DWORD count = get32(image, kOffNumOfSample);
  if (head >= buckets || tail >= buckets || count > buckets) return false;
  if (count == 0) return head == tail;
  return head == (tail + count - 1) % buckets;
}

FILE* openHistoryFile(const std::string& fileName) {
  std::string path = pathInTrendDirectory(fileName);
  FILE* stream = openUnbuffered(path, "rb+");
  if (stream == nullptr) {
    reportInaccessible(path);
    return nullptr;
  }
  if (!hasSignature(stream)) {
    fclose(stream);
    return nullptr;
  }
  rewind(stream);
  return stream;
}

// openHistoryFile for reading only: a file system that no longer takes
// writes still gives back the samples written before.
FILE* openHistoryFileForReading(const std::string& fileName) {
  FILE* stream = openUnbuffered(pathInTrendDirectory(fileName), "rb");
  if (stream != nullptr && !hasSignature(stream)) {
    fclose(stream);
    return nullptr;
  }
  if (stream != nullptr) rewind(stream);
  return stream;
}

int isValidHistoryFile(const std::string& fullPath) {
  FILE* stream = openUnbuffered(fullPath, "rb+");
  if (stream == nullptr) return 1;
  bool valid = hasSignature(stream);
  fclose(stream);
  return valid ? 0 : 1;
}

int writeHistoryHeader(FILE* stream, Control* control) {
  BYTE image[kHistoryHeaderBytes];
  buildHistoryHeaderImage(*control, image);
  rewind(stream);
  if (fwrite(image, 1, sizeof image, stream) != sizeof image) return 1;
  control->headerSaved = true;
  return 0;
}

int createHistoryFile(DWORD controlIndex) {
  Control* control = findControl(controlIndex);
  if (control == nullptr) return 1;
  std::string path = historyFilePath(controlIndex);
  if (isValidHistoryFile(path) == 0) return 0;
  DeleteFileA(path.c_str());
  FILE* stream = openUnbuffered(path, "wb");
  if (stream == nullptr) {
    reportInaccessible(path);
    reportHistoryFailure(controlIndex, HistoryFailure::kCreate, path);
    return 1;
  }
  int written = writeHistoryHeader(stream, control);
  if (fclose(stream) != 0) written = 1;
  if (written != 0) reportHistoryFailure(controlIndex, HistoryFailure::kCreate, path);
  return written;
}

void deleteHistoryFile(DWORD controlIndex) { DeleteFileA(historyFilePath(controlIndex).c_str()); }

namespace {

// The header image of a history file, or null. The signature is checked on
// the image read whole (a file too short for a header has none). *opened
// tells whether the file could be opened at all. Touches no shared state, so
// several threads may read headers at once.
BYTE* loadHeaderImage(const std::string& path, bool* opened) {
  FILE* stream = openUnbuffered(path, "rb+");
  *opened = stream != nullptr;
  if (stream == nullptr) return nullptr;
  BYTE* image = new (std::nothrow) BYTE[kHistoryHeaderBytes];
  if (image != nullptr && (fread(image, 1, kHistoryHeaderBytes, stream) != kHistoryHeaderBytes ||
                           std::memcmp(image, kHistorySignature, sizeof kHistorySignature) != 0)) {
    delete[] image;
    image = nullptr;
  }
  fclose(stream);
  return image;
}

// The headers of the listed files, read with the files' full paths; with
// many files, a second thread reads the second half (the reads are system
// calls, and start-up waits for them).
struct HeaderRead {
  std::string path;
  std::unique_ptr<BYTE[]> image;
  bool opened = false;
};

constexpr size_t kFilesWorthASecondReader = 256;

DWORD WINAPI readHeaderRange(LPVOID range) {
  auto* reads = static_cast<std::pair<HeaderRead*, HeaderRead*>*>(range);
  for (HeaderRead* r = reads->first; r != reads->second; ++r) {
    r->image.reset(loadHeaderImage(r->path, &r->opened));
  }
  return 0;
}

void readHeaders(std::vector<HeaderRead>* reads) {
  HeaderRead* first = reads->data();
  HeaderRead* last = first + reads->size();
  std::pair<HeaderRead*, HeaderRead*> secondHalf{first + reads->size() / 2, last};
  HANDLE helper = nullptr;
  if (reads->size() >= kFilesWorthASecondReader) {
    DWORD id = 0;
    helper = CreateThread(nullptr, 0, readHeaderRange, &secondHalf, 0, &id);
  }
  std::pair<HeaderRead*, HeaderRead*> mine{first, helper != nullptr ? secondHalf.first : last};
  readHeaderRange(&mine);
  if (helper != nullptr) {
    WaitForSingleObject(helper, INFINITE);
    CloseHandle(helper);
  }
}

}  // namespace

BYTE* readHistoryHeader(const std::string& fileName) {
  const std::string path = pathInTrendDirectory(fileName);
  bool opened = false;
  BYTE* image = loadHeaderImage(path, &opened);
  if (!opened) reportInaccessible(path);
  return image;
}

int readHistoryPage(DWORD controlIndex, DWORD pageNo, BYTE* buffer, DWORD size) {
  if (findControl(controlIndex) == nullptr) return 1;
  std::unique_ptr<BYTE[]> work(new (std::nothrow) BYTE[size]());
  if (!work) return 1;
  FILE* stream = openHistoryFileForReading(std::to_string(controlIndex) + ".NT");
  if (stream == nullptr || !seekTo(stream, pageOffset(pageNo))) {
    if (stream != nullptr) fclose(stream);
    reportHistoryFailure(controlIndex, HistoryFailure::kRead, historyFilePath(controlIndex));
    return 1;
  }
  size_t got = fread(work.get(), 1, size, stream);
  (void)got;  // a short read past the end of the file leaves zeros
  std::memcpy(buffer, work.get(), size);
  fclose(stream);
  return 0;
}

int writeHistoryPage(DWORD controlIndex, DWORD pageNo, const BYTE* buffer, DWORD size) {
  Control* control = findControl(controlIndex);
  if (control == nullptr) return 1;
  FILE* stream = openHistoryFile(std::to_string(controlIndex) + ".NT");
  if (stream == nullptr || !seekTo(stream, pageOffset(pageNo)) ||
      fwrite(buffer, 1, size, stream) != size) {
    if (stream != nullptr) fclose(stream);
    reportHistoryFailure(controlIndex, HistoryFailure::kWrite, historyFilePath(controlIndex));
    return 1;
  }
  int result = writeHistoryHeader(stream, control);
  if (fflush(stream) != 0) result = 1;
  if (fclose(stream) != 0) result = 1;
  if (result != 0) {
    reportHistoryFailure(controlIndex, HistoryFailure::kWrite, historyFilePath(controlIndex));
  }
  return result;
}

int saveHistoryHeader(DWORD controlIndex) {
  Control* control = findControl(controlIndex);
  if (control == nullptr) return 1;
  if (!samplesWrittenForHeader(controlIndex)) return 1;
  FILE* stream = openHistoryFile(std::to_string(controlIndex) + ".NT");
  if (stream == nullptr) return createHistoryFile(controlIndex);
  int result = writeHistoryHeader(stream, control);
  if (fflush(stream) != 0) result = 1;
  if (fclose(stream) != 0) result = 1;
  if (result != 0) {
    reportHistoryFailure(controlIndex, HistoryFailure::kWrite, historyFilePath(controlIndex));
  }
  return result;
}

void saveUnsavedHeaders() {
  for (Control* control = controlList; control != nullptr; control = control->next) {
    if (!control->headerSaved) saveHistoryHeader(control->controlIndex);
  }
}

namespace {

// What removeStaleHistoryFiles leaves for restoreControlsFromHistoryFiles, so
// that the directory is listed and each header read once at start-up: the
// files it left, in listing order with the sizes listed and the usable
// headers. Taken only for the same trend directory, and only once.
struct StartupListing {
  std::string directory;
  bool listed = false;
  std::vector<ListedFile> filesLeft;
};

StartupListing& startupListing() {
  static auto* listing = new StartupListing();
  return *listing;
}

// A control's identity as isDuplicate compares it.
std::string duplicateKey(const Control* control) {
  std::string key(reinterpret_cast<const char*>(&control->classId), sizeof control->classId);
  key.append(reinterpret_cast<const char*>(&control->intervalIndex), sizeof control->intervalIndex);
  key.append(control->instanceName, strnlen(control->instanceName, kInstanceNameBytes));
  return key;
}

}  // namespace

int removeStaleHistoryFiles() {
  StartupListing& listing = startupListing();
  listing = StartupListing();
  // One listing serves both steps unless an interrupted bucket change left
  // files behind; recovering them renames and removes files, so the history
  // files are listed again after it.
  std::vector<std::vector<ListedFile>> listed = listFiles({".NT", ".NT$"});
  std::vector<ListedFile> files = std::move(listed[0]);
  if (!listed[1].empty()) {
    recoverInterruptedConversions(listed[1]);
    files = listHistoryFiles();
  }
  if (files.empty()) return 1;
  // Whether a history file is left: one kept, or one that could not be
  // removed (the directory is this agent's alone, so no other comes).
  bool fileLeft = false;
  bool complete = true;  // every file left is in filesLeft
  std::vector<HeaderRead> reads(files.size());
  for (size_t i = 0; i < files.size(); ++i) reads[i].path = pathInTrendDirectory(files[i].name);
  readHeaders(&reads);
  for (size_t i = 0; i < files.size(); ++i) {
    ListedFile& file = files[i];
    const std::string& name = file.name;
    const std::string& path = reads[i].path;
    if (!reads[i].opened) reportInaccessible(path);
    std::unique_ptr<BYTE[]> image = std::move(reads[i].image);
    bool left = false;
    if (!image || !historyHeaderIsUsable(image.get(), name)) {
      traceLog("remove invalid.NT file - %s\n", path.c_str());
      quietMessage("Removed the old version of history file - %s\r\n", path.c_str());
      left = !DeleteFileA(path.c_str());
      noteRemovedHistoryFile(path, image.get(), "damaged");
    } else if (std::memcmp(image.get() + kOffVersion, kFormatVersion, 2) != 0) {
      traceLog("remove old version of .NT file - %s\n", path.c_str());
      quietMessage("Removed the old version of history file - %s\r\n", path.c_str());
      left = !DeleteFileA(path.c_str());
    } else {
      left = true;
      file.header = std::move(image);
    }
    if (!left) continue;
    fileLeft = true;
    try {
      if (complete) listing.filesLeft.push_back(std::move(file));
    } catch (const std::bad_alloc&) {
      complete = false;  // restoreControlsFromHistoryFiles lists the directory again
    }
  }
  if (complete) {
    listing.directory = trendDirectory;
    listing.listed = true;
  }
  return fileLeft ? 0 : 1;
}

int restoreControlsFromHistoryFiles() {
  StartupListing listing;
  std::swap(listing, startupListing());
  if (!listing.listed || listing.directory != trendDirectory) listing = StartupListing();
  // Controls are appended at the list's end, and checked for copies through a
  // set of the identities already listed (both as appendControl and
  // isDuplicate do, without walking the list once per file).
  Control** tail = &controlList;
  std::unordered_set<std::string> identities;
  bool identitiesUsable = true;
  try {
    for (Control* c = controlList; c != nullptr; c = c->next) identities.insert(duplicateKey(c));
  } catch (const std::bad_alloc&) {
    identitiesUsable = false;
  }
  std::vector<ListedFile> files =
      listing.listed ? std::move(listing.filesLeft) : listHistoryFiles();
  for (ListedFile& file : files) {
    const std::string& name = file.name;
    // A damaged file that could not be removed has no header kept: it is
    // read again, and found damaged again.
    std::unique_ptr<BYTE[]> image =
        file.header ? std::move(file.header) : std::unique_ptr<BYTE[]>(readHistoryHeader(name));
    if (!image || !historyHeaderIsUsable(image.get(), name)) continue;
    if (std::memcmp(image.get() + kOffVersion, kFormatVersion, 2) != 0) continue;
    Control* control = new (std::nothrow) Control();
    if (control == nullptr) continue;
    const BYTE* h = image.get();
    control->controlIndex = get32(h, kOffControlIndex);
    control->controlStatus = getSigned32(h, kOffControlStatus);
    control->classId = get32(h, kOffClassId);
    // The name is cut at its recorded length, at most 255 characters, and at
    // an embedded NUL, so the record's length always matches its text.
    DWORD length = get32(h, kOffInstanceNameLength);
    if (length > static_cast<DWORD>(kMaxInstanceNameLength)) length = kMaxInstanceNameLength;
    length =
        static_cast<DWORD>(strnlen(reinterpret_cast<const char*>(h + kOffInstanceName), length));
    std::memcpy(control->instanceName, h + kOffInstanceName, length);
    control->instanceName[length] = '\0';
    control->instanceNameLength = length;
    control->intervalIndex = get32(h, kOffIntervalIndex);
    noteIntervalInUse(control->intervalIndex);
    control->bucketsRequested = get32(h, kOffBucketsRequested);
    control->bucketsGranted = get32(h, kOffBucketsGranted);
    control->historyStatus = getSigned32(h, kOffHistoryStatus);
    control->valueType = getSigned32(h, kOffValueType);
    control->diskSizeMB = getSigned32(h, kOffDiskSizeMB);
    control->lastSampleValue = getSigned32(h, kOffLastSampleValue);
    control->refTimeStamp = get32(h, kOffRefTimeStamp);
    control->thresholdStatus = getSigned32(h, kOffThresholdStatus);
    control->thresholdType = getSigned32(h, kOffThresholdType);
    control->risingThreshold = get32(h, kOffRisingThreshold);
    control->fallingThreshold = get32(h, kOffFallingThreshold);
    control->invalidValue = getSigned32(h, kOffInvalidValue);
    control->head = get32(h, kOffHead);
    control->tail = get32(h, kOffTail);
    control->sampleIndex = get32(h, kOffSampleIndex);
    control->numOfSample = get32(h, kOffNumOfSample);
    control->lastCheckedValue = getSigned32(h, kOffLastCheckedValue);
    control->lastCheckedTime = getSigned32(h, kOffLastCheckedTime);
    control->prevCounter = 0;
    control->prevBase = 0;
    control->prevReadTime = 0;
    control->eventRaised = false;
    control->samplingEnabled = true;
    control->headerSaved = false;
    std::string identity;
    bool duplicate = true;
    try {
      identity = duplicateKey(control);
      duplicate = identitiesUsable ? identities.count(identity) != 0 : isDuplicate(control);
    } catch (const std::bad_alloc&) {
      duplicate = isDuplicate(control);
    }
    if (duplicate) {
      // A second file of a control already restored (a copied file): only
      // the first one found counts.
      delete control;
      const std::string path = pathInTrendDirectory(name);
      DeleteFileA(path.c_str());
      noteRemovedHistoryFile(path, h, "a second file of the same control");
      continue;
    }
    trimRingToDataArea(control, bytesAfterHeader(file.bytes));
    control->historyFileChecked = true;
    if (identitiesUsable) {
      try {
        identities.insert(std::move(identity));
      } catch (const std::bad_alloc&) {
        identitiesUsable = false;
      }
    }
    control->next = nullptr;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = control;
  }
  return 0;
}

}  // namespace trend
