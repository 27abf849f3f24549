// The rows of every node, kept per table family and rebuilt on demand.
//
// A family is a set of nodes that the library rebuilds together: the system
// group; the storage, device, partition and file-system tables (with
// hrMemorySize); the running and installed software tables (with hrSWOSIndex
// and the installed-software scalars). A family is rebuilt when a request
// first needs it and its rows are at least `maxAge` old (or were never
// built), and at most once per request (transaction): every answer of one
// request, the repetitions of a GETBULK included, comes from one build of
// each family. The system group is rebuilt once per request whatever its age
// (its clock and date are read live).
//
// Thread safety: none; the caller serialises requests.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "mib_tree.h"

namespace hostmib {

enum Family : size_t { kSystemFamily, kHardwareFamily, kSoftwareFamily, kFamilyCount };

Family FamilyOf(Node node);

// Builds the nodes of one family into `nodes` (indexed by Node; only the
// family's own entries are to be written).
class FamilyBuilder {
 public:
  virtual ~FamilyBuilder() = default;
  virtual void Build(Family family, NodeData* nodes) = 0;
};

class FamilyCache : public NodeSource {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  FamilyCache(FamilyBuilder* builder, std::chrono::milliseconds maxAge, Clock clock = nullptr);

  // The request the following Data() calls belong to.
  void BeginRequest(uint32_t transaction) { transaction_ = transaction; }
  const NodeData& Data(Node node) override;

  std::chrono::milliseconds MaxAge() const { return maxAge_; }
  // Builds done so far, per family.
  uint64_t Builds(Family family) const { return state_[family].builds; }

 private:
  struct State {
    bool built = false;
    bool checked = false;
    uint32_t checkedIn = 0;
    std::chrono::steady_clock::time_point builtAt{};
    uint64_t builds = 0;
  };

  FamilyBuilder* builder_;
  std::chrono::milliseconds maxAge_;
  Clock clock_;
  uint32_t transaction_ = 0;
  State state_[kFamilyCount];
  NodeData nodes_[kNodeCount];
};

}  // namespace hostmib
