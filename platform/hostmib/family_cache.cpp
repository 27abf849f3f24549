#include "family_cache.h"

namespace hostmib {

Family FamilyOf(Node node) {
  switch (node) {
    case kSystemScalars:
      return kSystemFamily;
    case kSWRunScalars:
    case kSWRunTable:
    case kSWRunPerfTable:
    case kSWInstalledScalars:
    case kSWInstalledTable:
      return kSoftwareFamily;
    default:
      return kHardwareFamily;
  }
}

FamilyCache::FamilyCache(FamilyBuilder* builder, std::chrono::milliseconds maxAge, Clock clock)
    : builder_(builder), maxAge_(maxAge), clock_(std::move(clock)) {
  if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

const NodeData& FamilyCache::Data(Node node) {
  const Family family = FamilyOf(node);
  State& state = state_[family];
  if (!state.checked || state.checkedIn != transaction_) {
    state.checked = true;
    state.checkedIn = transaction_;
    const auto now = clock_();
    const bool old = family == kSystemFamily || now - state.builtAt >= maxAge_;
    if (!state.built || old) {
      for (size_t n = 0; n < kNodeCount; ++n) {
        if (FamilyOf(static_cast<Node>(n)) == family) nodes_[n] = NodeData();
      }
      builder_->Build(family, nodes_);
      for (size_t n = 0; n < kNodeCount; ++n) {
        if (FamilyOf(static_cast<Node>(n)) == family) SortRows(nodes_[n].rows);
      }
      state.built = true;
      state.builtAt = now;
      ++state.builds;
    }
  }
  return nodes_[node];
}

}  // namespace hostmib
