// wltrend: shows the controls and histories of a host's trend agent over SNMP,
// as a table, a listing, CSV or a gnuplot chart.
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "gnuplot_pipe.h"
#include "snmp_client.h"
#include "trend_format.h"
#include "trend_reader.h"

namespace {

using namespace wltrend;

constexpr int kUsageError = 2;

void usage() {
  std::cerr
      << "usage: wltrend [OPTIONS] COMMAND HOST [CONTROL] [ARGS]\n"
         "  list HOST                              the control table\n"
         "  show HOST CONTROL [--since TIME]       the samples with their times; gaps marked\n"
         "  plot HOST CONTROL [--png FILE | --svg FILE]\n"
         "                                         a chart (in the terminal by default)\n"
         "  csv HOST CONTROL                       time,value,valid\n"
         "options: -v 1|2c (default 2c), -c COMMUNITY (default public), -t SECONDS, -r RETRIES\n"
         "HOST as net-snmp writes it: host, host:port, udp:127.0.0.1:16161\n"
         "TIME: seconds since 1970, a UTC date YYYY-MM-DD[THH:MM[:SS]], or an age such as\n"
         "-2h or -7d before the newest sample\n";
}

struct Command {
  std::string verb;
  SnmpOptions snmp;
  uint32_t control = 0;
  std::string since;
  PlotTarget target;
};

bool parseUnsigned(const std::string& text, uint64_t limit, uint64_t* value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  if (n > limit) return false;
  *value = n;
  return true;
}

bool parseSeconds(const std::string& text, double* seconds) {
  if (text.empty() || text.size() > 12) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == nullptr || *end != '\0' || !(value > 0) || value > 3600) return false;
  *seconds = value;
  return true;
}

// Reads the command line; prints what is wrong and returns false.
bool parseCommandLine(int argc, char** argv, Command* command) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    // An option's value: glued to the option or the next word.
    auto value = [&](const std::string& option, std::string* out) {
      if (arg.size() > option.size() && option.size() == 2) {
        *out = arg.substr(2);
        return true;
      }
      if (i + 1 >= argc) {
        std::cerr << "wltrend: " << option << " needs a value\n";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "-h" || arg == "--help") {
      usage();
      std::exit(0);
    } else if (arg.rfind("-v", 0) == 0) {
      if (!value("-v", &v)) return false;
      if (v == "1") {
        command->snmp.version1 = true;
      } else if (v == "2c") {
        command->snmp.version1 = false;
      } else {
        std::cerr << "wltrend: -v " << v << ": only versions 1 and 2c are spoken\n";
        return false;
      }
    } else if (arg.rfind("-c", 0) == 0) {
      if (!value("-c", &v)) return false;
      command->snmp.community = v;
    } else if (arg.rfind("-t", 0) == 0) {
      if (!value("-t", &v)) return false;
      if (!parseSeconds(v, &command->snmp.timeoutSeconds)) {
        std::cerr << "wltrend: -t " << v << ": not a time-out in seconds (above 0, at most 3600)\n";
        return false;
      }
    } else if (arg.rfind("-r", 0) == 0) {
      if (!value("-r", &v)) return false;
      uint64_t retries = 0;
      if (!parseUnsigned(v, 100, &retries)) {
        std::cerr << "wltrend: -r " << v << ": not a retry count (0 to 100)\n";
        return false;
      }
      command->snmp.retries = static_cast<int>(retries);
    } else if (arg == "--since") {
      if (!value(arg, &command->since)) return false;
      if (!parseSince(command->since, 0)) {
        std::cerr << "wltrend: --since " << command->since << ": not a time\n";
        return false;
      }
    } else if (arg == "--png" || arg == "--svg") {
      if (!value(arg, &command->target.file)) return false;
      if (command->target.kind != PlotTarget::Kind::Terminal) {
        std::cerr << "wltrend: give one of --png and --svg\n";
        return false;
      }
      command->target.kind = arg == "--png" ? PlotTarget::Kind::Png : PlotTarget::Kind::Svg;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::cerr << "wltrend: unknown option " << arg << "\n";
      return false;
    } else {
      words.push_back(arg);
    }
  }
  if (words.empty()) {
    usage();
    return false;
  }
  command->verb = words[0];
  const bool list = command->verb == "list";
  if (!list && command->verb != "show" && command->verb != "plot" && command->verb != "csv") {
    std::cerr << "wltrend: unknown command " << command->verb << "\n";
    return false;
  }
  if (words.size() != (list ? 2u : 3u)) {
    usage();
    return false;
  }
  command->snmp.peer = words[1];
  if (!list) {
    uint64_t control = 0;
    if (!parseUnsigned(words[2], 0xFFFFFFFFu, &control) || control == 0) {
      std::cerr << "wltrend: " << words[2] << ": not a control number\n";
      return false;
    }
    command->control = static_cast<uint32_t>(control);
  }
  if (!command->since.empty() && command->verb != "show") {
    std::cerr << "wltrend: --since goes with show\n";
    return false;
  }
  if (command->target.kind != PlotTarget::Kind::Terminal && command->verb != "plot") {
    std::cerr << "wltrend: --png and --svg go with plot\n";
    return false;
  }
  return true;
}

// A line on standard error that tells how far a long read has come; silent
// for reads that take less than a second.
class Progress {
 public:
  explicit Progress(uint32_t control) : control_(control) {}
  ~Progress() {
    if (shown_) std::fputs(tty_ ? "\n" : "", stderr);
  }
  void update(size_t read, size_t expected) {
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(250)) {
      return;
    }
    last_ = now;
    if (!tty_ && shown_ && now - lastLine_ < std::chrono::seconds(5)) return;
    lastLine_ = now;
    std::fprintf(stderr, "%swltrend: control %u: %zu of %zu samples read%s", tty_ ? "\r" : "",
                 control_, read, expected, tty_ ? "" : "\n");
    std::fflush(stderr);
    shown_ = true;
  }

 private:
  uint32_t control_;
  bool tty_ = isatty(STDERR_FILENO) != 0;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
  std::chrono::steady_clock::time_point lastLine_{};
};

int fail(const Command& command, const std::string& message) {
  std::cerr << "wltrend: " << command.snmp.peer << ": " << message << "\n";
  return 1;
}

void terminalSize(PlotTarget* target) {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
    target->columns = size.ws_col;
    target->rows = size.ws_row - 1;
    return;
  }
  uint64_t n = 0;
  const char* columns = std::getenv("COLUMNS");
  if (columns != nullptr && parseUnsigned(columns, 1000, &n)) target->columns = static_cast<int>(n);
  const char* lines = std::getenv("LINES");
  if (lines != nullptr && parseUnsigned(lines, 1000, &n)) target->rows = static_cast<int>(n) - 1;
}

int run(const Command& command) {
  std::string error;
  std::unique_ptr<SnmpClient> client = SnmpClient::open(command.snmp, &error);
  if (!client) return fail(command, "cannot open a session: " + error);

  if (command.verb == "list") {
    ControlTable table;
    if (readControlTable(*client, &table, &error) != SnmpStatus::Ok) return fail(command, error);
    if (table.empty()) {
      std::cout << "no controls\n";
      return 0;
    }
    std::cout << formatControlList(table);
    return 0;
  }

  std::optional<ControlRow> row;
  if (readControl(*client, command.control, &row, &error) != SnmpStatus::Ok) {
    return fail(command, error);
  }
  if (!row) return fail(command, "control " + std::to_string(command.control) + " does not exist");
  if (intervalSeconds(row->interval) == 0) {
    return fail(command, "control " + std::to_string(command.control) + " has interval index " +
                             std::to_string(row->interval) + ", which has no length");
  }
  std::vector<Sample> samples;
  {
    Progress progress(command.control);
    const SnmpStatus status = readHistory(
        *client, *row, [&](size_t read, size_t expected) { progress.update(read, expected); },
        &samples, &error);
    if (status != SnmpStatus::Ok) return fail(command, error);
  }

  if (samples.empty() && row->lastSample != 0 && row->historyStatus != 2) {
    std::cerr << "wltrend: " << command.snmp.peer << ": control " << command.control
              << " shows no samples at the moment (its history is being rebuilt?)\n";
  }
  if (command.verb == "show") {
    if (!command.since.empty() && !samples.empty()) {
      const int64_t since = *parseSince(command.since, samples.back().time);
      std::erase_if(samples, [&](const Sample& s) { return s.time < since; });
    }
    std::cout << formatSamples(*row, samples);
  } else if (command.verb == "csv") {
    std::cout << formatCsv(samples);
  } else {
    PlotTarget target = command.target;
    if (target.kind == PlotTarget::Kind::Terminal) terminalSize(&target);
    const std::string script = gnuplotScript(*row, samples, target, &error);
    if (script.empty()) return fail(command, error);
    std::cout.flush();
    if (!runGnuplot(script, &error)) {
      std::cerr << "wltrend: " << error << "\n";
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Command command;
  if (!parseCommandLine(argc, argv, &command)) return kUsageError;
  return run(command);
}
