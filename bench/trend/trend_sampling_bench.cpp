// One sampling pass over N due controls of available memory (class 8), the
// refresh of the eight performance data blocks included, on this machine's
// live data; the ring and cache part of it alone; and passes over controls of
// all 22 classes spread over the 560 instances of a fixture (64 processors,
// 96 interfaces, 128 physical and 128 logical disks, 144 work queues, beside
// 300 processes), at 100, 1,000 and 3,000 controls.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "agent/common/counter_classes.h"
#include "agent/trend/control.h"
#include "agent/trend/history_file.h"
#include "agent/trend/page_cache.h"
#include "agent/trend/perf_acquisition.h"
#include "agent/trend/sampling.h"

namespace {

// `count` controls (numbers 1 to count) due every pass, with a history and
// thresholds that are checked; `describe` sets each one's class, instance and
// rising threshold. Links them, builds the index and creates their files.
template <class Describe>
void buildControls(int count, Describe describe) {
  for (int i = count; i >= 1; --i) {
    auto* c = new trend::Control;
    c->controlIndex = static_cast<DWORD>(i);
    c->intervalIndex = 1;
    c->bucketsRequested = c->bucketsGranted = 1000;
    c->historyStatus = 1;
    c->thresholdStatus = 1;
    c->thresholdType = 1;
    c->valueType = 1;
    describe(i, c);
    c->next = trend::controlList;
    trend::controlList = c;
  }
  trend::buildIndexList();
  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    trend::createHistoryFile(c->controlIndex);
  }
}

// `count` controls of available memory.
void buildControls(int count) {
  buildControls(count, [](int, trend::Control* c) {
    c->classId = 8;
    c->risingThreshold = 200;  // never crossed
  });
}

void BM_SamplingPass(benchmark::State& state) {
  char pattern[] = "/tmp/wl-trend-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  setenv("WARDENLINE_REGISTRY", (dir + "/registry.db").c_str(), 1);
  trend::trendDirectory = dir;
  const int count = static_cast<int>(state.range(0));
  buildControls(count);

  LONG flags[trend::kIntervalCount + 1];
  DWORD now = 1800000000;  // a multiple of 5
  for (auto _ : state) {
    now += 5;
    trend::computeDueFlags(now, flags);
    if (trend::samplingPass(flags, now) != count) state.SkipWithError("not every control sampled");
  }
  state.counters["controls"] = count;
  state.counters["cache_bytes_per_control"] =
      static_cast<double>(trend::cachePageBytesForTesting(trend::controlList->controlIndex));

  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    trend::dropControlCache(c->controlIndex);
  }
  trend::freeLists();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SamplingPass)->Arg(1000)->Unit(benchmark::kMillisecond);

// The ring and cache part alone: one stored sample per control.
void BM_StoreOnly(benchmark::State& state) {
  char pattern[] = "/tmp/wl-trend-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  setenv("WARDENLINE_REGISTRY", (dir + "/registry.db").c_str(), 1);
  trend::trendDirectory = dir;
  buildControls(static_cast<int>(state.range(0)));
  DWORD now = 1800000000;
  for (auto _ : state) {
    now += 5;
    for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
      trend::storeRingSample(c, 42, now);
    }
  }
  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    trend::dropControlCache(c->controlIndex);
  }
  trend::freeLists();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_StoreOnly)->Arg(1000)->Unit(benchmark::kMillisecond);

// The fixture's instance objects: title index, name, instance name prefix,
// instance count, and counters (index, name, size).
struct FixtureCounter {
  int index;
  const char* name;
  int size;
};
struct FixtureObject {
  int index;
  const char* name;
  const char* instancePrefix;
  int instances;  // -1: an object without instances
  std::vector<FixtureCounter> counters;
};

const std::vector<FixtureObject>& fixtureObjects() {
  static const std::vector<FixtureObject> objects = {
      {238, "Processor", "", 64, {{6, "% Processor Time", 8}}},
      {510,
       "Network Interface",
       "eth",
       96,
       {{266, "Packets Received/sec", 4},
        {452, "Packets Sent/sec", 4},
        {264, "Bytes Received/sec", 8},
        {506, "Bytes Sent/sec", 8}}},
      {234, "PhysicalDisk", "sd", 128, {{206, "Avg. Disk sec/Transfer", 4}, {207, "", 4}}},
      {236, "LogicalDisk", "", 128, {{408, "% Free Space", 4}, {409, "", 4}}},
      {1300,
       "Server Work Queues",
       "queue",
       144,
       {{5001, "Queue Length", 4},
        {5002, "Available Work Items", 4},
        {5003, "Total Bytes/sec", 4}}},
      {2,
       "System",
       "",
       -1,
       {{10, "File Read Operations/sec", 4},
        {12, "File Write Operations/sec", 4},
        {16, "File Read Bytes/sec", 8},
        {18, "File Write Bytes/sec", 8}}},
      {86, "Cache", "", -1, {{94, "Data Map Hits %", 4}, {95, "", 4}}},
      {330,
       "Server",
       "",
       -1,
       {{5004, "Bytes Total/sec", 8},
        {5005, "Bytes Transmitted/sec", 8},
        {264, "Bytes Received/sec", 8},
        {5006, "Logon Total", 4},
        {5007, "Errors Logon", 4},
        {5008, "Server Sessions", 4}}},
  };
  return objects;
}

// A LogicalDisk instance name: drive letters, then numbered volumes.
std::string instanceName(const FixtureObject& object, int i) {
  if (object.index == 236 && i < 26) return std::string(1, static_cast<char>('A' + i)) + ":";
  return object.instancePrefix + std::to_string(i);
}

void writeFixture(const std::string& path) {
  std::ofstream out(path);
  out << R"({"memory": {"totalPhys": 1073741824, "availPhys": 536870912}, "objects": [)";
  bool firstObject = true;
  for (const FixtureObject& object : fixtureObjects()) {
    out << (firstObject ? "" : ",") << R"({"index": )" << object.index << R"(, "name": ")"
        << object.name << R"(", "counters": [)";
    firstObject = false;
    for (size_t c = 0; c < object.counters.size(); ++c) {
      const FixtureCounter& counter = object.counters[c];
      out << (c ? "," : "") << R"({"index": )" << counter.index;
      if (counter.name[0]) out << R"(, "name": ")" << counter.name << '"';
      out << R"(, "size": )" << counter.size << "}";
    }
    out << "]";
    std::string values = "[";
    for (size_t c = 0; c < object.counters.size(); ++c)
      values += (c ? ", " : "") + std::to_string(40 + c);
    values += "]";
    if (object.instances < 0) {
      out << R"(, "values": )" << values << "}";
      continue;
    }
    out << R"(, "instances": [)";
    for (int i = 0; i < object.instances; ++i) {
      out << (i ? "," : "") << R"({"name": ")" << instanceName(object, i) << R"(", "values": )"
          << values << "}";
    }
    out << "]}";
  }
  // Processes: in the data, but in none of the blocks the agent queries.
  out << R"(, {"index": 230, "name": "Process", "counters": [{"index": 784, "name": "ID Process", "size": 4}, {"index": 6, "size": 8}], "instances": [)";
  for (int i = 0; i < 300; ++i) {
    out << (i ? "," : "") << R"({"name": "process)" << i << R"(", "values": [)" << 100 + i
        << ", 5000]}";
  }
  out << "]}]}";
}

// Every (class, instance text) a control can name in the fixture, classes
// without instances once each.
std::vector<std::pair<DWORD, std::string>> fixtureTargets() {
  std::vector<std::pair<DWORD, std::string>> targets;
  for (DWORD classId = 1; classId <= 22; ++classId) {
    const char* objectName = perfwalk::counterClass(static_cast<int>(classId))->objectName;
    if (std::strcmp(objectName, "Memory") == 0) {
      targets.emplace_back(classId, "Memory");
      continue;
    }
    for (const FixtureObject& object : fixtureObjects()) {
      if (std::strcmp(object.name, objectName) != 0) continue;
      if (object.instances < 0) targets.emplace_back(classId, objectName);
      for (int i = 0; i < object.instances; ++i) {
        targets.emplace_back(classId, std::string(objectName) + " " + instanceName(object, i));
      }
    }
  }
  return targets;
}

// `count` controls due every pass, taking the targets in turn (again from the
// first when there are more controls than targets).
void buildFixtureControls(int count) {
  const std::vector<std::pair<DWORD, std::string>> targets = fixtureTargets();
  buildControls(count, [&](int i, trend::Control* c) {
    const auto& [classId, text] = targets[(i - 1) % targets.size()];
    c->classId = classId;
    std::snprintf(c->instanceName, sizeof c->instanceName, "%s", text.c_str());
    c->instanceNameLength = static_cast<DWORD>(text.size());
    c->diskSizeMB = 100;
    c->risingThreshold = 1000000;  // never crossed
  });
}

void BM_SamplingPassFixture(benchmark::State& state) {
  char pattern[] = "/tmp/wl-trend-bench-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  setenv("WARDENLINE_REGISTRY", (dir + "/registry.db").c_str(), 1);
  writeFixture(dir + "/perfdata.json");
  setenv("WARDENLINE_PERFDATA", (dir + "/perfdata.json").c_str(), 1);
  // Counter names loaded from the live data by an earlier case are kept for
  // ten minutes; the fixture's are loaded now.
  trend::releasePerformanceData();
  trend::trendDirectory = dir;
  const int count = static_cast<int>(state.range(0));
  buildFixtureControls(count);

  LONG flags[trend::kIntervalCount + 1];
  DWORD now = 1800000000;
  for (auto _ : state) {
    now += 5;
    trend::computeDueFlags(now, flags);
    if (trend::samplingPass(flags, now) != count) state.SkipWithError("not every control sampled");
  }
  state.counters["controls"] = count;
  state.counters["instances"] = 560;
  // Every control found its value: a counter remembered for the next
  // difference, or a value that is not a failed reading (-1).
  int unread = 0;
  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    unread += c->prevReadTime == 0 && c->lastSampleValue < 0;
  }
  if (unread != 0) state.SkipWithError("a control found no value");
  state.counters["per_control"] =
      benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);

  for (trend::Control* c = trend::controlList; c != nullptr; c = c->next) {
    trend::dropControlCache(c->controlIndex);
  }
  trend::freeLists();
  trend::releasePerformanceData();
  unsetenv("WARDENLINE_PERFDATA");
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SamplingPassFixture)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
