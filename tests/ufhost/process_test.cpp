// What every fork of the host needs: nothing buffered is written twice, a
// child can be waited for whatever SIGCHLD was, and a descriptor tells when
// it has ended.
#include "ufhost/base/process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "tests/support/support.h"

namespace {

TEST(Process, OutputBufferedBeforeAForkIsWrittenOnce) {
  const std::string path = testing_support::work_dir("Process.Flush") + "/out.txt";
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(file, 0);
  dup2(file, STDOUT_FILENO);
  close(file);
  std::printf("once ");  // buffered: standard output is a file now
  std::cout << "and once";
  ufhost::flush_before_fork();
  const pid_t pid = fork();
  if (pid == 0) std::exit(0);  // exit() flushes whatever stdio still holds
  int status = 0;
  waitpid(pid, &status, 0);
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  EXPECT_EQ("once and once", testing_support::read_file(path));
}

TEST(Process, ChildrenCanBeWaitedForWhileSigchldIsIgnored) {
  const auto was = signal(SIGCHLD, SIG_IGN);
  {
    const ufhost::ChildrenWaitable waitable;
    ASSERT_NE(nullptr, waitable.saved());
    EXPECT_EQ(SIG_IGN, waitable.saved()->sa_handler);  // for a child to take back
    const pid_t pid = fork();
    if (pid == 0) _exit(7);
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0)) << "an ignored SIGCHLD reaps the child first";
    EXPECT_EQ(7, WEXITSTATUS(status));
  }
  EXPECT_EQ(SIG_IGN, signal(SIGCHLD, was)) << "the action it had is put back";
}

void on_child(int) {}

TEST(Process, ASigchldHandlerIsLeftAlone) {
  const auto was = signal(SIGCHLD, on_child);
  {
    const ufhost::ChildrenWaitable waitable;
    EXPECT_EQ(nullptr, waitable.saved());
    struct sigaction now {};
    sigaction(SIGCHLD, nullptr, &now);
    EXPECT_EQ(on_child, now.sa_handler);
  }
  EXPECT_EQ(on_child, signal(SIGCHLD, was));
}

TEST(Process, TheDescriptorBecomesReadableWhenTheChildEnds) {
  int gate[2];
  ASSERT_EQ(0, pipe(gate));
  const pid_t pid = fork();
  if (pid == 0) {
    char c;
    close(gate[1]);
    (void)!read(gate[0], &c, 1);  // ends once the parent closes its end
    _exit(0);
  }
  close(gate[0]);
  const int fd = ufhost::process_fd(pid);
  if (fd < 0) {
    close(gate[1]);
    waitpid(pid, nullptr, 0);
    GTEST_SKIP() << "the system has no process descriptors";
  }
  pollfd p{fd, POLLIN, 0};
  EXPECT_EQ(0, poll(&p, 1, 50)) << "still running";
  close(gate[1]);
  EXPECT_EQ(1, poll(&p, 1, 10000));
  int status = 0;
  EXPECT_EQ(pid, waitpid(pid, &status, 0));
  close(fd);
}

}  // namespace
