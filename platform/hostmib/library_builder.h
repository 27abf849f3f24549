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

#include "family_cache.h"

namespace hostmib {

class LibraryBuilder : public FamilyBuilder {
 public:
  void Build(Family family, NodeData* nodes) override;

 private:
  void BuildSystem(NodeData* nodes);
  void BuildHardware(NodeData* nodes);
  void BuildSoftware(NodeData* nodes);

  bool softwareReady_ = false;
};

}  // namespace hostmib
