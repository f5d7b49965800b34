// What every part of ufhost that forks a child of its own needs: output
// flushed before the fork, SIGCHLD that lets children be waited for, and a
// descriptor that tells when a child has ended.
#pragma once

#include <signal.h>
#include <sys/types.h>

namespace ufhost {

// Flushes every buffered output stream: what is buffered when a process
// forks would otherwise be written twice, once by each process.
void flush_before_fork();

// While it lives, SIGCHLD has its default action even when whoever started
// the host ignored it, which would leave no child to wait for; then the
// action it had. `saved()` is that action when it was ignored (for a child
// to take back), else null.
class ChildrenWaitable {
 public:
  ChildrenWaitable();
  ~ChildrenWaitable();
  ChildrenWaitable(const ChildrenWaitable&) = delete;
  ChildrenWaitable& operator=(const ChildrenWaitable&) = delete;
  const struct sigaction* saved() const { return ignored_ ? &was_ : nullptr; }

 private:
  struct sigaction was_ {};
  bool ignored_ = false;
};

// A descriptor that becomes readable when the child `pid` has ended, for
// poll(); -1 where the system has none (then the caller looks every few
// milliseconds). The caller closes it.
int process_fd(pid_t pid);

}  // namespace ufhost
