#include "trend_reader.h"

#include <algorithm>

namespace wltrend {

namespace {
constexpr size_t kMaxControls = 1000000;
constexpr size_t kMaxSamples = 50000000;
}  // namespace

SnmpStatus readControlTable(SnmpClient& client, ControlTable* table, std::string* error) {
  table->clear();
  std::string bad;
  const SnmpStatus status = client.walk(
      controlEntry(),
      [&](const Binding& binding) {
        if (!storeControlBinding(binding, table, &bad)) return false;
        if (table->size() > kMaxControls) {
          bad = "more than " + std::to_string(kMaxControls) + " controls";
          return false;
        }
        return true;
      },
      error);
  if (status != SnmpStatus::Ok) return status;
  if (!bad.empty()) {
    *error = "unexpected answer in the control table: " + bad;
    return SnmpStatus::Failed;
  }
  return SnmpStatus::Ok;
}

SnmpStatus readControl(SnmpClient& client, uint32_t control, std::optional<ControlRow>* row,
                       std::string* error) {
  row->reset();
  // The rows are indexed by class and control number: the control number
  // column tells the class.
  std::optional<uint32_t> classId;
  const Arcs column = controlColumn(2);
  SnmpStatus status = client.walk(
      column,
      [&](const Binding& binding) {
        if (binding.name.size() == column.size() + 2 && binding.name.back() == control) {
          classId = binding.name[column.size()];
          return false;
        }
        return true;
      },
      error);
  if (status != SnmpStatus::Ok || !classId) return status;

  std::vector<Arcs> names;
  for (uint32_t col = 1; col <= kControlColumns; ++col) {
    names.push_back(controlCell(col, *classId, control));
  }
  std::vector<Binding> bindings;
  status = client.get(names, &bindings, error);
  if (status != SnmpStatus::Ok) return status;
  ControlTable table;
  for (const Binding& binding : bindings) {
    if (binding.kind == Binding::Kind::NoSuchName) return SnmpStatus::Ok;  // gone meanwhile
    std::string bad;
    if (!storeControlBinding(binding, &table, &bad)) {
      *error = "unexpected answer for control " + std::to_string(control) + ": " + bad;
      return SnmpStatus::Failed;
    }
  }
  if (table.size() != 1) {
    *error = "the agent answered other names than asked for control " + std::to_string(control);
    return SnmpStatus::Failed;
  }
  *row = table.begin()->second;
  return SnmpStatus::Ok;
}

SnmpStatus readHistory(SnmpClient& client, const ControlRow& row, const ProgressFn& progress,
                       std::vector<Sample>* samples, std::string* error) {
  std::vector<std::pair<uint32_t, int32_t>> values;
  const size_t expected = std::min<size_t>(row.lastSample, row.bucketsGranted);
  values.reserve(std::min<size_t>(expected, 1u << 20));
  // The ring holds at most bucketsGranted samples; a few more may be added
  // while the walk runs. An agent that answers far more is not believed.
  const size_t limit = std::min<size_t>(size_t{row.bucketsGranted} + 100000, kMaxSamples);
  std::string bad;
  const SnmpStatus status = client.walk(
      historyValues(row.control),
      [&](const Binding& binding) {
        uint32_t number = 0;
        int32_t value = 0;
        if (!decodeHistoryBinding(binding, row.control, &number, &value, &bad)) return false;
        if (values.size() >= limit) {
          bad =
              "more samples than the control's " + std::to_string(row.bucketsGranted) + " buckets";
          return false;
        }
        values.emplace_back(number, value);
        if (progress && values.size() % 100 == 0) progress(values.size(), expected);
        return true;
      },
      error);
  if (status != SnmpStatus::Ok) return status;
  if (!bad.empty()) {
    *error =
        "unexpected answer in the history of control " + std::to_string(row.control) + ": " + bad;
    return SnmpStatus::Failed;
  }
  if (progress) progress(values.size(), expected);
  *samples = buildSamples(row, values);
  return SnmpStatus::Ok;
}

}  // namespace wltrend
