#include "gnuplot_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace wltrend {

bool runGnuplot(const std::string& script, std::string* error) {
  const char* configured = std::getenv("WLTREND_GNUPLOT");
  const std::string program = configured != nullptr && *configured != '\0' ? configured : "gnuplot";
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("cannot start gnuplot: ") + std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    if (dup2(fds[0], STDIN_FILENO) < 0) _exit(126);
    execlp(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[0]);
  // A gnuplot that ends early must not end this process with SIGPIPE.
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  bool written = true;
  size_t offset = 0;
  while (offset < script.size()) {
    const ssize_t n = write(fds[1], script.data() + offset, script.size() - offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      written = false;
      break;
    }
    offset += static_cast<size_t>(n);
  }
  close(fds[1]);
  sigaction(SIGPIPE, &previous, nullptr);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      *error = std::string("lost gnuplot: ") + std::strerror(errno);
      return false;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    *error = "cannot run " + program + ": install gnuplot (Debian package gnuplot-nox)";
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !written) {
    *error = program + " failed to draw the chart";
    return false;
  }
  return true;
}

}  // namespace wltrend
