// The answers of the TCP-wrappers access check (hosts.allow, hosts.deny) that
// net-snmp's agent makes for every request, kept until one of the two files
// changes, so that a request costs two stat() calls instead of opening and
// reading both files.
//
// An answer is kept only when it depends on nothing but the request's strings
// and the two files: a file with rule options (spawn, twist, ...), netgroups
// ('@') or patterns that name other files ('/...') is read by the check on
// every request, as is a file changed within the last two seconds (its time
// stamp could still miss a change made in the same clock tick). A file that
// cannot be examined disables the cache. At most kMostAnswers answers are
// kept; the table is emptied when full.
//
// Thread safety: Answer may be called from any thread.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace snmpsvc {

class HostAccessCache {
 public:
  // The real check: nonzero when access is granted.
  using Check = std::function<int(const char* daemon, const char* clientName,
                                  const char* clientAddress, const char* clientUser)>;
  static constexpr size_t kMostAnswers = 4096;

  HostAccessCache(std::string allowPath, std::string denyPath);

  // The check's answer for these strings (null strings are passed through to
  // the check and never kept).
  int Answer(const char* daemon, const char* clientName, const char* clientAddress,
             const char* clientUser, const Check& check);

  // How many times the check was called (for tests and benchmarks).
  size_t Checks() const;

 private:
  struct Stamp {
    bool present = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {};
    struct timespec changed = {};
    bool operator==(const Stamp& other) const;
  };
  using Key = std::tuple<std::string, std::string, std::string, std::string>;

  // Whether answers may be kept: yes, not for these contents, or not yet
  // (recently changed or unreadable: examined again on the next request).
  enum class Verdict { kKeep, kNever, kNotYet };

  // Reads the stamps of both files; false when one cannot be examined.
  bool ReadStamps(Stamp* allow, Stamp* deny) const;
  Verdict Cacheable(const std::string& path, const Stamp& stamp) const;

  const std::string allowPath_;
  const std::string denyPath_;
  mutable std::mutex mutex_;
  Stamp allowStamp_;
  Stamp denyStamp_;
  bool stampsValid_ = false;
  Verdict verdict_ = Verdict::kNotYet;
  std::map<Key, int> answers_;
  size_t checks_ = 0;
};

// The TCP-wrappers check (libwrap's hosts_ctl, found past the caller) through
// one process-wide cache of libwrap's two files. Refuses when libwrap is not
// loaded.
int HostsCtlThroughCache(char* daemon, char* clientName, char* clientAddress, char* clientUser);

// Whether a hosts.allow / hosts.deny text lets its answers be kept: no rule
// options, netgroups or file patterns.
bool HostRulesCacheable(const std::string& text);

}  // namespace snmpsvc
