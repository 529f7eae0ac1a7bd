#pragma once

// Starting and watching the processes of the relay benchmark (Linux).

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/UniqueHandle.h"

namespace snh::bench {

struct PipeEnds {
  UniqueHandle read;
  UniqueHandle write;
};
// Both ends close-on-exec; a child gets its end by the spawn's dup2.
PipeEnds MakePipe();

// A started process; the destructor kills it if it still runs and reaps it.
class Process {
 public:
  // `input` and `output` become the child's fds 0 and 1; its stderr is the harness's.
  Process(const std::vector<std::string>& argv, int input, int output);
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  ~Process();

  pid_t pid() const { return pid_; }
  // The exit status, or -1 if it still runs after the timeout (it is then killed).
  int Wait(std::chrono::milliseconds timeout);
  // User and system CPU time the process used, known once Wait has reaped it.
  double cpuSeconds() const { return cpuSeconds_; }

 private:
  pid_t pid_ = -1;
  double cpuSeconds_ = 0;
};

// Resident set sizes of a process, from /proc/<pid>/status, in KiB; 0 when it cannot be read.
struct Rss {
  std::size_t current = 0;  // VmRSS
  std::size_t peak = 0;     // VmHWM
};
Rss ReadRss(pid_t pid);

// Blocks until some bytes arrive; 0 at end of stream.
std::size_t ReadSome(int fd, char* buffer, std::size_t capacity);

}  // namespace snh::bench
