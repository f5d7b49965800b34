#include "ufhost/base/process.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>

namespace ufhost {

void flush_before_fork() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
}

ChildrenWaitable::ChildrenWaitable() {
  ::sigaction(SIGCHLD, nullptr, &was_);
  ignored_ = was_.sa_handler == SIG_IGN;
  if (ignored_) ::signal(SIGCHLD, SIG_DFL);
}

ChildrenWaitable::~ChildrenWaitable() {
  if (ignored_) ::sigaction(SIGCHLD, &was_, nullptr);
}

int process_fd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

}  // namespace ufhost
