#include "trend_format.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace wltrend {

namespace {

// Text from the agent, fit for one terminal line: control characters and
// bytes above 126 become '?'.
std::string printable(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u > 126) c = '?';
  }
  return result;
}

std::string instanceText(const ControlRow& row) {
  return row.instance.empty() ? "-" : printable(row.instance);
}

std::string classText(const ControlRow& row) {
  const std::string name = className(row.classId);
  return std::to_string(row.classId) + " " + (name.empty() ? "(unknown class)" : name);
}

std::string intervalText(const ControlRow& row) {
  const uint32_t seconds = intervalSeconds(row.interval);
  if (seconds == 0) return "index " + std::to_string(row.interval) + "?";
  return std::to_string(seconds) + " s";
}

std::string onOff(int32_t status) {
  if (status == 1) return "on";
  if (status == 2) return "off";
  return "?" + std::to_string(status);
}

std::string statusText(int32_t status) {
  if (status == 1) return "valid";
  if (status == 2) return "deprecated";
  return "status " + std::to_string(status);
}

std::string thresholdText(const ControlRow& row) {
  std::string type = row.thresholdType == 1   ? "rising"
                     : row.thresholdType == 2 ? "falling"
                                              : "type " + std::to_string(row.thresholdType);
  return onOff(row.thresholdStatus) + ", " + type;
}

// Lays out rows of cells in columns two spaces apart; the columns flagged in
// `right` are right-aligned. Trailing blanks are cut.
std::string layOut(const std::vector<std::vector<std::string>>& rows,
                   const std::vector<bool>& right) {
  std::vector<size_t> widths(right.size(), 0);
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      if (i > 0) line += "  ";
      const std::string pad(widths[i] - row[i].size(), ' ');
      line += right[i] ? pad + row[i] : row[i] + pad;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

bool digitsOnly(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Days since 1970-01-01 of a proleptic Gregorian date (no time zone involved).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Text for a single-quoted gnuplot string: a quote is doubled.
std::string gnuplotQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

}  // namespace

std::string formatTime(int64_t seconds, char separator, bool zone) {
  const auto t = static_cast<time_t>(seconds);
  struct tm parts {};
  if (gmtime_r(&t, &parts) == nullptr) return std::to_string(seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d%s", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, separator, parts.tm_hour, parts.tm_min,
                parts.tm_sec, zone ? "Z" : "");
  return text;
}

std::optional<int64_t> parseSince(const std::string& text, int64_t newest) {
  if (text.size() > 40) return std::nullopt;
  if (digitsOnly(text) && text.size() <= 12) return std::stoll(text);
  if (text.size() > 1 && text[0] == '@' && digitsOnly(text.substr(1)) && text.size() <= 13) {
    return std::stoll(text.substr(1));
  }
  if (text.size() >= 3 && text[0] == '-') {
    const std::string number = text.substr(1, text.size() - 2);
    if (!digitsOnly(number) || number.size() > 9) return std::nullopt;
    const int64_t n = std::stoll(number);
    switch (text.back()) {
      case 's':
        return newest - n;
      case 'm':
        return newest - n * 60;
      case 'h':
        return newest - n * 3600;
      case 'd':
        return newest - n * 86400;
      default:
        return std::nullopt;
    }
  }
  // YYYY-MM-DD[( |T)HH:MM[:SS]][Z]
  std::string rest = text;
  if (!rest.empty() && rest.back() == 'Z') rest.pop_back();
  auto field = [&](size_t at, size_t length, int* value) {
    if (at + length > rest.size() || !digitsOnly(rest.substr(at, length))) return false;
    *value = std::stoi(rest.substr(at, length));
    return true;
  };
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!field(0, 4, &year) || rest.size() < 10 || rest[4] != '-' || !field(5, 2, &month) ||
      rest[7] != '-' || !field(8, 2, &day)) {
    return std::nullopt;
  }
  if (rest.size() > 10) {
    if ((rest[10] != 'T' && rest[10] != ' ') || !field(11, 2, &hour) || rest.size() < 16 ||
        rest[13] != ':' || !field(14, 2, &minute)) {
      return std::nullopt;
    }
    if (rest.size() > 16 && (rest[16] != ':' || rest.size() != 19 || !field(17, 2, &second))) {
      return std::nullopt;
    }
    if (rest.size() != 16 && rest.size() != 19) return std::nullopt;
  }
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || hour > 23 || minute > 59 ||
      second > 59) {
    return std::nullopt;
  }
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return std::nullopt;
  return daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
         hour * 3600 + minute * 60 + second;
}

std::string formatControlList(const ControlTable& table) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"control", "class", "instance", "interval", "buckets req/granted", "rising",
                  "falling", "threshold", "status", "samples", "last value"});
  for (const auto& [key, row] : table) {
    rows.push_back({std::to_string(row.control), classText(row), instanceText(row),
                    intervalText(row),
                    std::to_string(row.bucketsRequested) + "/" + std::to_string(row.bucketsGranted),
                    std::to_string(row.rising), std::to_string(row.falling), thresholdText(row),
                    statusText(row.status), std::to_string(row.lastSample),
                    row.lastSample == 0                 ? "-"
                    : row.lastValue == row.invalidValue ? "gap"
                                                        : std::to_string(row.lastValue)});
  }
  return layOut(rows, {true, false, false, true, true, true, true, false, false, true, true});
}

std::string describeControl(const ControlRow& row) {
  std::string text = "control " + std::to_string(row.control) + ": class " + classText(row);
  if (!row.instance.empty()) text += ", " + instanceText(row);
  text += ", every " + intervalText(row);
  return text;
}

std::string formatSamples(const ControlRow& row, const std::vector<Sample>& samples) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"time (UTC)", "sample", "value"});
  size_t gaps = 0;
  for (const Sample& sample : samples) {
    if (!sample.valid) ++gaps;
    rows.push_back({formatTime(sample.time), std::to_string(sample.number),
                    sample.valid ? std::to_string(sample.value) : "gap"});
  }
  std::string text = describeControl(row) + "; " + std::to_string(samples.size()) + " sample" +
                     (samples.size() == 1 ? "" : "s") + ", " + std::to_string(gaps) + " gap" +
                     (gaps == 1 ? "" : "s") + "\n";
  return text + layOut(rows, {false, true, true});
}

std::string formatCsv(const std::vector<Sample>& samples) {
  std::string text = "time,value,valid\n";
  for (const Sample& sample : samples) {
    text += formatTime(sample.time, 'T', true) + "," + std::to_string(sample.value) + "," +
            (sample.valid ? "1" : "0") + "\n";
  }
  return text;
}

std::string gnuplotScript(const ControlRow& row, const std::vector<Sample>& samples,
                          const PlotTarget& target, std::string* error) {
  if (samples.empty()) {
    *error = "control " + std::to_string(row.control) + " holds no samples yet";
    return "";
  }
  for (char c : target.file) {
    if (static_cast<unsigned char>(c) < 32 || c == 127) {
      *error = "the file name holds a control character";
      return "";
    }
  }
  std::string s;
  switch (target.kind) {
    case PlotTarget::Kind::Terminal:
      s += "set terminal dumb noenhanced size " +
           std::to_string(std::clamp(target.columns, 40, 400)) + "," +
           std::to_string(std::clamp(target.rows, 15, 200)) + "\n";
      break;
    case PlotTarget::Kind::Png:
      s += "set terminal pngcairo noenhanced size 1000,500\n";
      s += "set output " + gnuplotQuoted(target.file) + "\n";
      break;
    case PlotTarget::Kind::Svg:
      s += "set terminal svg noenhanced size 1000,500\n";
      s += "set output " + gnuplotQuoted(target.file) + "\n";
      break;
  }
  s += "set title " + gnuplotQuoted(describeControl(row)) + "\n";
  s += "set xdata time\nset timefmt '%s'\nset xlabel 'time (UTC)'\n";
  const int64_t first = samples.front().time;
  const int64_t last = samples.back().time;
  const int64_t span = last - first;
  const char* format = span >= 400 * 86400 ? "'%Y-%m-%d'"
                       : span >= 2 * 86400 ? "'%m-%d'"
                       : span >= 3600      ? "'%H:%M'"
                                           : "'%H:%M:%S'";
  s += std::string("set format x ") + format + "\n";
  const int64_t margin = span > 0 ? 0 : std::max<int64_t>(intervalSeconds(row.interval), 1);
  s += "set xrange ['" + std::to_string(first - margin) + "':'" + std::to_string(last + margin) +
       "']\n";
  s += "set key below horizontal\nset grid\n";
  // Room above and below, so that a threshold at the edge of the values is
  // not hidden in the frame.
  double low = std::min<double>(row.rising, row.falling);
  double high = std::max<double>(row.rising, row.falling);
  for (const Sample& sample : samples) {
    if (!sample.valid) continue;
    low = std::min<double>(low, sample.value);
    high = std::max<double>(high, sample.value);
  }
  const double pad = std::max(1.0, (high - low) * 0.08);
  char yrange[96];
  std::snprintf(yrange, sizeof yrange, "set yrange [%.0f:%.0f]\n", low - pad, high + pad);
  s += yrange;
  // The samples; an empty line ends a run of valid samples, so the line is
  // not drawn across a gap.
  s += "$samples << EOD\n";
  bool open = false;
  size_t valid = 0;
  for (const Sample& sample : samples) {
    if (sample.valid) {
      s += std::to_string(sample.time) + " " + std::to_string(sample.value) + "\n";
      open = true;
      ++valid;
    } else if (open) {
      s += "\n";
      open = false;
    }
  }
  s += "EOD\n";
  const bool terminal = target.kind == PlotTarget::Kind::Terminal;
  const std::string point = terminal ? "pt 'o'" : "pt 7 ps 0.5";
  std::string plot = "plot ";
  if (valid > 0) {
    plot += "$samples using 1:2 with lines lc rgb '#1f5fbf' title 'value', ";
    plot += "$samples using 1:2 with points " + point + " lc rgb '#1f5fbf' notitle, ";
  }
  plot += std::to_string(row.rising) + " with lines dt 2 lw 2 lc rgb '#c02020' title 'rising " +
          std::to_string(row.rising) + "', ";
  plot += std::to_string(row.falling) + " with lines dt 2 lw 2 lc rgb '#208020' title 'falling " +
          std::to_string(row.falling) + "'\n";
  return s + plot;
}

}  // namespace wltrend
