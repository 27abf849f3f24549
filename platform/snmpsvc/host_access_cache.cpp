#include "host_access_cache.h"

#include <dlfcn.h>
#include <time.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace snmpsvc {

namespace {

// Files larger than this are read by the check every time.
constexpr std::streamsize kLargestRulesFile = 1 << 20;
// A file changed this recently may change again within its time stamp's tick.
constexpr time_t kSettleSeconds = 2;

bool Settled(const struct timespec& when, const struct timespec& now) {
  return when.tv_sec + kSettleSeconds <= now.tv_sec;
}

// The rule lines of a hosts file: continuation lines joined, comment and
// blank lines dropped.
std::vector<std::string> RuleLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
      line += ' ';
      ++i;
      continue;
    }
    if (i < text.size() && text[i] != '\n') {
      line += text[i];
      continue;
    }
    size_t first = line.find_first_not_of(" \t\r");
    if (first != std::string::npos && line[first] != '#') lines.push_back(line);
    line.clear();
  }
  return lines;
}

}  // namespace

bool HostRulesCacheable(const std::string& text) {
  for (const std::string& line : RuleLines(text)) {
    if (line.find('@') != std::string::npos) return false;  // netgroups, daemon@host
    // Fields are separated by colons outside bracketed IPv6 addresses; a
    // third field holds options.
    int colons = 0;
    bool bracket = false;
    bool tokenStart = true;
    for (char ch : line) {
      if (ch == '[') bracket = true;
      if (ch == ']') bracket = false;
      if (!bracket && ch == ':') ++colons;
      if (tokenStart && ch == '/') return false;  // a pattern naming a file
      tokenStart = ch == ' ' || ch == '\t' || ch == ',' || (!bracket && ch == ':');
    }
    if (colons > 1) return false;
  }
  return true;
}

bool HostAccessCache::Stamp::operator==(const Stamp& other) const {
  return present == other.present && device == other.device && inode == other.inode &&
         size == other.size && modified.tv_sec == other.modified.tv_sec &&
         modified.tv_nsec == other.modified.tv_nsec && changed.tv_sec == other.changed.tv_sec &&
         changed.tv_nsec == other.changed.tv_nsec;
}

HostAccessCache::HostAccessCache(std::string allowPath, std::string denyPath)
    : allowPath_(std::move(allowPath)), denyPath_(std::move(denyPath)) {}

bool HostAccessCache::ReadStamps(Stamp* allow, Stamp* deny) const {
  const std::pair<const std::string*, Stamp*> files[] = {{&allowPath_, allow}, {&denyPath_, deny}};
  for (const auto& [path, stamp] : files) {
    struct stat st;
    if (stat(path->c_str(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) return false;
      *stamp = Stamp();
      continue;
    }
    stamp->present = true;
    stamp->device = st.st_dev;
    stamp->inode = st.st_ino;
    stamp->size = st.st_size;
    stamp->modified = st.st_mtim;
    stamp->changed = st.st_ctim;
  }
  return true;
}

HostAccessCache::Verdict HostAccessCache::Cacheable(const std::string& path,
                                                    const Stamp& stamp) const {
  if (!stamp.present) return Verdict::kKeep;
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  // A write after this read, within the same tick of the time stamps, would
  // leave a recent modification time unchanged; one older than the tick
  // always moves.
  if (!Settled(stamp.modified, now)) return Verdict::kNotYet;
  if (stamp.size > kLargestRulesFile) return Verdict::kNever;
  std::ifstream in(path, std::ios::binary);
  if (!in) return Verdict::kNotYet;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad() || static_cast<off_t>(text.str().size()) != stamp.size) return Verdict::kNotYet;
  return HostRulesCacheable(text.str()) ? Verdict::kKeep : Verdict::kNever;
}

int HostAccessCache::Answer(const char* daemon, const char* clientName, const char* clientAddress,
                            const char* clientUser, const Check& check) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto ask = [&] {
    ++checks_;
    return check(daemon, clientName, clientAddress, clientUser);
  };
  if (daemon == nullptr || clientName == nullptr || clientAddress == nullptr ||
      clientUser == nullptr) {
    return ask();
  }
  Stamp allow, deny;
  if (!ReadStamps(&allow, &deny)) {
    stampsValid_ = false;
    answers_.clear();
    return ask();
  }
  if (!stampsValid_ || !(allow == allowStamp_) || !(deny == denyStamp_) ||
      verdict_ == Verdict::kNotYet) {
    answers_.clear();
    allowStamp_ = allow;
    denyStamp_ = deny;
    stampsValid_ = true;
    Verdict allowVerdict = Cacheable(allowPath_, allow);
    Verdict denyVerdict = Cacheable(denyPath_, deny);
    if (allowVerdict == Verdict::kNever || denyVerdict == Verdict::kNever) {
      verdict_ = Verdict::kNever;
    } else if (allowVerdict == Verdict::kNotYet || denyVerdict == Verdict::kNotYet) {
      verdict_ = Verdict::kNotYet;
    } else {
      verdict_ = Verdict::kKeep;
    }
    // The files may have changed while they were read: look again next time.
    Stamp allowAfter, denyAfter;
    if (verdict_ == Verdict::kKeep &&
        (!ReadStamps(&allowAfter, &denyAfter) || !(allowAfter == allow) || !(denyAfter == deny))) {
      verdict_ = Verdict::kNotYet;
    }
  }
  if (verdict_ != Verdict::kKeep) return ask();
  Key key(daemon, clientName, clientAddress, clientUser);
  if (auto it = answers_.find(key); it != answers_.end()) return it->second;
  int answer = ask();
  if (answers_.size() >= kMostAnswers) answers_.clear();
  answers_.emplace(std::move(key), answer);
  return answer;
}

size_t HostAccessCache::Checks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return checks_;
}

}  // namespace snmpsvc

namespace snmpsvc {

namespace {

using HostsCtl = int (*)(char*, char*, char*, char*);

// libwrap's table path, or the default when the library does not say.
std::string WrapTablePath(const char* symbol, const char* fallback) {
  auto* table = reinterpret_cast<char**>(dlsym(RTLD_DEFAULT, symbol));
  return table != nullptr && *table != nullptr ? std::string(*table) : std::string(fallback);
}

}  // namespace

int HostsCtlThroughCache(char* daemon, char* clientName, char* clientAddress, char* clientUser) {
  static const HostsCtl real = reinterpret_cast<HostsCtl>(dlsym(RTLD_NEXT, "hosts_ctl"));
  static HostAccessCache cache(WrapTablePath("hosts_allow_table", "/etc/hosts.allow"),
                               WrapTablePath("hosts_deny_table", "/etc/hosts.deny"));
  if (real == nullptr) return 0;  // no check to ask: refuse, as an unreadable rule would
  return cache.Answer(daemon, clientName, clientAddress, clientUser,
                      [](const char* d, const char* n, const char* a, const char* u) {
                        return real(const_cast<char*>(d), const_cast<char*>(n),
                                    const_cast<char*>(a), const_cast<char*>(u));
                      });
}

}  // namespace snmpsvc
