// How wltrend shows controls and histories: the list table, the sample
// listing, CSV, times, and the gnuplot script of a chart. Pure functions of
// their arguments; times are universal time (UTC).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "trend_model.h"

namespace wltrend {

// "2026-01-04 00:00:00"; `separator` 'T' with `zone` true gives the ISO 8601
// form "2026-01-04T00:00:00Z".
std::string formatTime(int64_t seconds, char separator = ' ', bool zone = false);

// A --since TIME: seconds since 1970 ("1767225600" or "@1767225600"), a UTC
// date "YYYY-MM-DD" with an optional time "THH:MM[:SS]" or " HH:MM[:SS]" and
// an optional "Z", or an age "-N" followed by s, m, h or d, counted back from
// `newest` (the time of the newest sample). Nothing for anything else.
std::optional<int64_t> parseSince(const std::string& text, int64_t newest);

// The control table as a text table, one row per control, with a heading.
std::string formatControlList(const ControlTable& table);

// One line that names the control: number, class, instance, interval.
std::string describeControl(const ControlRow& row);

// The samples as a listing: a heading line, then one line per sample with
// its time, number and value; invalid samples read "gap".
std::string formatSamples(const ControlRow& row, const std::vector<Sample>& samples);

// "time,value,valid" and one line per sample: ISO 8601 UTC time, the value as
// the agent holds it, 1 or 0.
std::string formatCsv(const std::vector<Sample>& samples);

// Where a chart goes.
struct PlotTarget {
  enum class Kind { Terminal, Png, Svg };
  Kind kind = Kind::Terminal;
  std::string file;  // Png and Svg
  int columns = 80;  // Terminal
  int rows = 25;
};

// A gnuplot script that draws the samples against time, leaves the line open
// across invalid samples, and draws the rising and falling thresholds as
// horizontal lines. The valid samples are also drawn as points, in a plot of
// their own (the second) with no key entry, one point per valid sample.
// Empty, with `error` set, when the file name cannot be written into the
// script (a control character) or there is no sample.
std::string gnuplotScript(const ControlRow& row, const std::vector<Sample>& samples,
                          const PlotTarget& target, std::string* error);

}  // namespace wltrend
