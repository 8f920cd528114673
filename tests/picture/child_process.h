#pragma once

// Running a piece of a test in a child process with little room to grow, so that an allocation
// larger than the room fails there and the test sees it.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <functional>

namespace pictest {

// Runs `body` in a child process whose address space may grow by `headroom` bytes past what it
// maps already; returns what `body` returns (the child's exit status), 100 when the limit could
// not be set, -1 when the child did not end by exiting.
inline int InChildWithHeadroom(std::size_t headroom, const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    // What the process maps already, from /proc/self/statm (in pages), plus the headroom.
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    statm >> pages;
    rlimit limit{};
    ::getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + headroom;
    if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace pictest
