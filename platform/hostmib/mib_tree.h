// The shape of the Host Resources MIB (1.3.6.1.2.1.25) as this agent serves
// it, and get and get-next over it.
//
// The MIB is a fixed, ordered list of nodes. A node is a table (its entry's
// name, e.g. hrStorageEntry 1.3.6.1.2.1.25.2.3.1: objects entry.column.index)
// or a scalar group, which is held as a table with the one row ".0" (objects
// group.n.0). Each node's rows come from a NodeSource, sorted by index, and a
// node can be marked failed: every get or get-next that needs it answers
// genErr; so does one that lands on a failed cell (a scalar that could not be
// read).
//
// Thread safety: none; the caller serialises requests.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "mib_cells.h"

namespace hostmib {

// The nodes, in MIB order.
enum Node : size_t {
  kSystemScalars,       // hrSystem 25.1
  kStorageScalars,      // hrStorage 25.2 (hrMemorySize)
  kStorageTable,        // hrStorageEntry 25.2.3.1
  kDeviceTable,         // hrDeviceEntry 25.3.2.1
  kProcessorTable,      // hrProcessorEntry 25.3.3.1
  kNetworkTable,        // hrNetworkEntry 25.3.4.1
  kPrinterTable,        // hrPrinterEntry 25.3.5.1
  kDiskStorageTable,    // hrDiskStorageEntry 25.3.6.1
  kPartitionTable,      // hrPartitionEntry 25.3.7.1 (index: device, partition)
  kFSTable,             // hrFSEntry 25.3.8.1
  kSWRunScalars,        // hrSWRun 25.4 (hrSWOSIndex)
  kSWRunTable,          // hrSWRunEntry 25.4.2.1
  kSWRunPerfTable,      // hrSWRunPerfEntry 25.5.1.1
  kSWInstalledScalars,  // hrSWInstalled 25.6
  kSWInstalledTable,    // hrSWInstalledEntry 25.6.3.1
  kNodeCount,
};

struct Row {
  std::array<UINT, 2> index{};  // the instance arcs after the column
  UINT indexLength = 1;         // 1, or 2 for the partition table
  std::vector<Cell> cells;      // column n at n - 1; ASN_NULL where absent
};

struct NodeData {
  std::vector<Row> rows;  // ascending index
  bool failed = false;
};

// Sorts rows by index and drops every row whose index repeats one before it.
void SortRows(std::vector<Row>& rows);

// Where the rows of each node come from. Data() may refresh what it returns;
// the reference stays valid until the next Data() call for a node of the
// same family.
class NodeSource {
 public:
  virtual ~NodeSource() = default;
  virtual const NodeData& Data(Node node) = 0;
};

// The MIB's view, 1.3.6.1.2.1.25, and the name just past it.
extern const std::vector<UINT> kViewPrefix;
extern const std::vector<UINT> kPastView;

// The entry (or group) name of a node.
const std::vector<UINT>& NodePrefix(Node node);

enum class Answer { kValue, kNoSuchName, kGenErr, kEndOfView };

// Get of `name`: kValue with *cell, kNoSuchName, or kGenErr (a failed node).
Answer Get(NodeSource& source, const UINT* name, size_t length, const Cell** cell);

// Get-next of `name`: kValue with the next name in *next and its *cell,
// kEndOfView past the last object, or kGenErr when the answer would come from
// a failed node.
Answer GetNext(NodeSource& source, const UINT* name, size_t length, std::vector<UINT>* next,
               const Cell** cell);

// True when `name` names an object instance this agent answers for (used to
// tell readOnly from noSuchName for a set).
bool Exists(NodeSource& source, const UINT* name, size_t length);

}  // namespace hostmib
