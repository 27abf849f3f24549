// Builds the agent's rows from libhostscan.so's table classes, keeping the
// library's calling rules: one call at a time (the caller serialises), a
// table's hrInit before any other call of it, and no entry pointer kept once
// a build is over (every value is copied into the rows).
//
// A table whose hrInit or hrRefresh fails is marked failed for that build, so
// the agent answers genErr for it alone; hrInit is tried again at the next
// build until it succeeds, after which each build is a refresh.
//
// Thread safety: none; the caller serialises builds.
#pragma once

#include <chrono>

#include "family_cache.h"

namespace hostmib {

class LibraryBuilder : public FamilyBuilder {
 public:
  // hrSystemNumUsers and hrSystemProcesses are read again only when older
  // than `countsAge` (the rest of the system group at every build).
  explicit LibraryBuilder(std::chrono::milliseconds countsAge) : countsAge_(countsAge) {}
  void Build(Family family, NodeData* nodes) override;

 private:
  void BuildSystem(NodeData* nodes);
  void BuildHardware(NodeData* nodes);
  void BuildSoftware(NodeData* nodes);

  std::chrono::milliseconds countsAge_;
  bool countsRead_ = false;
  std::chrono::steady_clock::time_point countsReadAt_{};
  Cell users_;
  Cell processes_;
  // Which of the storage, file-system, device and partition tables have
  // been built (their hrInit succeeded).
  bool hardwareReady_[4] = {};
  bool softwareReady_ = false;
};

}  // namespace hostmib
