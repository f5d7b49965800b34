// The kernel's messages kept off the host's standard output while it reads
// or writes a part: what is printed meanwhile goes nowhere, what was printed
// before is not lost, the kernel's last words are kept, and its printers
// come back as they were.
#include "ufhost/kernel/kernel_quiet.h"

#include <gtest/gtest.h>

#include <Message.hxx>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "tests/support/support.h"

namespace {

// Standard output into a file for as long as it lives.
class StdoutToFile {
 public:
  explicit StdoutToFile(const std::string& path) : path_(path) {
    std::cout.flush();
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDOUT_FILENO);
    close(fd);
  }
  ~StdoutToFile() { restore(); }
  // What the file got, with standard output back where it was.
  std::string text() {
    restore();
    return testing_support::read_file(path_);
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::cout.flush();
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
  }
  std::string path_;
  int saved_ = -1;
};

void send(const char* text, Message_Gravity gravity) {
  Message::DefaultMessenger()->Send(TCollection_AsciiString(text), gravity);
}

TEST(KernelQuiet, WhatIsPrintedMeanwhileGoesNowhereAndNothingElseIsLost) {
  StdoutToFile out(testing_support::work_dir("KernelQuiet.Stdout") + "/stdout.txt");
  std::printf("before ");  // still in the buffer when the guard comes
  std::cout << "and ";
  {
    ufhost::KernelQuiet quiet;
    std::printf("kernel chatter\n");
    std::cout << "more chatter" << std::endl;
    send("a message printed by the kernel", Message_Info);
  }
  std::printf("after\n");
  EXPECT_EQ("before and after\n", out.text());
}

TEST(KernelQuiet, TheKernelsLastFailureIsKeptOverItsWarnings) {
  StdoutToFile out(testing_support::work_dir("KernelQuiet.Said") + "/stdout.txt");
  ufhost::KernelQuiet quiet;
  EXPECT_EQ("", quiet.said());
  send("  \n", Message_Fail);  // blank: nothing said
  EXPECT_EQ("", quiet.said());
  send("  first warning \n", Message_Warning);
  EXPECT_EQ("first warning", quiet.said());
  send("cannot read the header", Message_Fail);
  send("a later warning", Message_Warning);
  send("just so you know", Message_Info);
  EXPECT_EQ("cannot read the header", quiet.said());
  send("the last failure", Message_Fail);
  EXPECT_EQ("the last failure", quiet.said());
}

TEST(KernelQuiet, ThePrintersComeBackAsTheyWereNestedOrNot) {
  const Handle(Message_Messenger) messenger = Message::DefaultMessenger();
  const int before = messenger->Printers().Length();
  {
    ufhost::KernelQuiet outer;
    {
      ufhost::KernelQuiet inner;
      EXPECT_EQ(1, messenger->Printers().Length());
      send("inner's", Message_Fail);
      EXPECT_EQ("inner's", inner.said());
    }
    EXPECT_EQ(1, messenger->Printers().Length());
    EXPECT_EQ("", outer.said()) << "the inner guard's words were its own";
    send("outer's", Message_Fail);
    EXPECT_EQ("outer's", outer.said());
  }
  EXPECT_EQ(before, messenger->Printers().Length());
}

}  // namespace
