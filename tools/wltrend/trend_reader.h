// Reads the trend MIB of one agent through an SnmpClient: the whole control
// table, one control, and one control's history.
//
// Results: SnmpStatus::Ok, or NoAnswer / Failed with `error` set. A control
// that the agent does not hold is Ok with an empty optional.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "snmp_client.h"
#include "trend_model.h"

namespace wltrend {

// Called with the number of samples read so far and the number expected.
using ProgressFn = std::function<void(size_t read, size_t expected)>;

// Fails when the agent answers more than a million controls.
SnmpStatus readControlTable(SnmpClient& client, ControlTable* table, std::string* error);

SnmpStatus readControl(SnmpClient& client, uint32_t control, std::optional<ControlRow>* row,
                       std::string* error);

// The samples of the control, oldest first, with their times. Fails when the
// agent answers more samples than the control's ring can hold (plus 100,000
// for samples added during the read, at most 50 million in all).
SnmpStatus readHistory(SnmpClient& client, const ControlRow& row, const ProgressFn& progress,
                       std::vector<Sample>* samples, std::string* error);

}  // namespace wltrend
