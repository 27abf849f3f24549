#include "mib_tree.h"

#include <algorithm>

namespace hostmib {

namespace {

struct NodeShape {
  std::vector<UINT> prefix;
  UINT columns;
};

std::vector<UINT> Under(std::initializer_list<UINT> tail) {
  std::vector<UINT> name = {1, 3, 6, 1, 2, 1, 25};
  name.insert(name.end(), tail);
  return name;
}

const NodeShape& Shape(Node node) {
  static const NodeShape shapes[kNodeCount] = {
      {Under({1}), 7},       {Under({2}), 2},       {Under({2, 3, 1}), 7}, {Under({3, 2, 1}), 6},
      {Under({3, 3, 1}), 2}, {Under({3, 4, 1}), 1}, {Under({3, 5, 1}), 2}, {Under({3, 6, 1}), 4},
      {Under({3, 7, 1}), 5}, {Under({3, 8, 1}), 9}, {Under({4}), 1},       {Under({4, 2, 1}), 7},
      {Under({5, 1, 1}), 2}, {Under({6}), 2},       {Under({6, 3, 1}), 5},
  };
  return shapes[node];
}

// <0, 0, >0 as OID order of a row's index and the arcs `b`.
int CompareIndex(const Row& row, const UINT* b, size_t bLength) {
  const size_t common = std::min<size_t>(row.indexLength, bLength);
  for (size_t i = 0; i < common; ++i) {
    if (row.index[i] != b[i]) return row.index[i] < b[i] ? -1 : 1;
  }
  if (row.indexLength == bLength) return 0;
  return row.indexLength < bLength ? -1 : 1;
}

bool Present(const Row& row, UINT column) {
  return column >= 1 && column <= row.cells.size() && row.cells[column - 1].type != ASN_NULL;
}

// Whether `name` starts with `prefix`; else its order against the prefix.
enum class Place { kBefore, kInside, kAfter };
Place PlaceOf(const UINT* name, size_t length, const std::vector<UINT>& prefix) {
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (i == length) return Place::kBefore;
    if (name[i] != prefix[i]) return name[i] < prefix[i] ? Place::kBefore : Place::kAfter;
  }
  return Place::kInside;
}

}  // namespace

const std::vector<UINT> kViewPrefix = {1, 3, 6, 1, 2, 1, 25};
const std::vector<UINT> kPastView = {1, 3, 6, 1, 2, 1, 26};

const std::vector<UINT>& NodePrefix(Node node) { return Shape(node).prefix; }

void SortRows(std::vector<Row>& rows) {
  auto less = [](const Row& a, const Row& b) {
    return CompareIndex(a, b.index.data(), b.indexLength) < 0;
  };
  std::stable_sort(rows.begin(), rows.end(), less);
  rows.erase(std::unique(rows.begin(), rows.end(),
                         [](const Row& a, const Row& b) {
                           return CompareIndex(a, b.index.data(), b.indexLength) == 0;
                         }),
             rows.end());
}

Answer Get(NodeSource& source, const UINT* name, size_t length, const Cell** cell) {
  for (size_t n = 0; n < kNodeCount; ++n) {
    const NodeShape& shape = Shape(static_cast<Node>(n));
    if (PlaceOf(name, length, shape.prefix) != Place::kInside) continue;
    const size_t p = shape.prefix.size();
    if (length < p + 2) continue;  // a column and at least one index arc
    const UINT column = name[p];
    if (column < 1 || column > shape.columns) continue;
    const NodeData& data = source.Data(static_cast<Node>(n));
    if (data.failed) return Answer::kGenErr;
    const UINT* index = name + p + 1;
    const size_t indexLength = length - p - 1;
    auto row = std::lower_bound(data.rows.begin(), data.rows.end(), 0, [&](const Row& r, int) {
      return CompareIndex(r, index, indexLength) < 0;
    });
    if (row == data.rows.end() || CompareIndex(*row, index, indexLength) != 0 ||
        !Present(*row, column)) {
      return Answer::kNoSuchName;
    }
    *cell = &row->cells[column - 1];
    return (*cell)->type == kFailedCell ? Answer::kGenErr : Answer::kValue;
  }
  return Answer::kNoSuchName;
}

Answer GetNext(NodeSource& source, const UINT* name, size_t length, std::vector<UINT>* next,
               const Cell** cell) {
  for (size_t n = 0; n < kNodeCount; ++n) {
    const NodeShape& shape = Shape(static_cast<Node>(n));
    const Place place = PlaceOf(name, length, shape.prefix);
    if (place == Place::kAfter) continue;
    const size_t p = shape.prefix.size();
    UINT column = 1;
    const UINT* index = nullptr;
    size_t indexLength = 0;
    bool fromStart = true;
    if (place == Place::kInside && length > p && name[p] != 0) {
      column = name[p];
      index = name + p + 1;
      indexLength = length - p - 1;
      fromStart = false;
    }
    if (column > shape.columns) continue;
    const NodeData& data = source.Data(static_cast<Node>(n));
    if (data.failed) return Answer::kGenErr;
    for (; column <= shape.columns; ++column, fromStart = true) {
      auto row = data.rows.begin();
      if (!fromStart) {
        row = std::upper_bound(data.rows.begin(), data.rows.end(), 0, [&](int, const Row& r) {
          return CompareIndex(r, index, indexLength) > 0;
        });
      }
      for (; row != data.rows.end(); ++row) {
        if (!Present(*row, column)) continue;
        next->assign(shape.prefix.begin(), shape.prefix.end());
        next->push_back(column);
        next->insert(next->end(), row->index.begin(), row->index.begin() + row->indexLength);
        *cell = &row->cells[column - 1];
        return (*cell)->type == kFailedCell ? Answer::kGenErr : Answer::kValue;
      }
    }
  }
  return Answer::kEndOfView;
}

bool Exists(NodeSource& source, const UINT* name, size_t length) {
  const Cell* cell = nullptr;
  return Get(source, name, length, &cell) == Answer::kValue;
}

}  // namespace hostmib
