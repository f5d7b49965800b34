#include "ufhost/kernel/kernel_quiet.h"

#include <Message.hxx>
#include <TCollection_AsciiString.hxx>

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>

namespace ufhost {

void KeepLast::send(const TCollection_AsciiString& text, const Message_Gravity gravity) const {
  std::string s = text.ToCString();
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.erase(s.begin());
  if (s.empty()) return;
  if (gravity >= Message_Fail) last_fail = s;
  else if (gravity == Message_Warning) last_warning = s;
}

KernelQuiet::KernelQuiet() : messenger_(Message::DefaultMessenger()), printer_(new KeepLast) {
  saved_ = messenger_->Printers();
  messenger_->ChangePrinters().Clear();
  messenger_->AddPrinter(printer_);
  std::cout.flush();
  std::fflush(stdout);
  const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd >= 0) {
    saved_stdout_ = ::dup(STDOUT_FILENO);
    if (saved_stdout_ >= 0) ::dup2(null_fd, STDOUT_FILENO);
    ::close(null_fd);
  }
}

KernelQuiet::~KernelQuiet() {
  std::cout.flush();
  std::fflush(stdout);
  if (saved_stdout_ >= 0) {
    ::dup2(saved_stdout_, STDOUT_FILENO);
    ::close(saved_stdout_);
  }
  messenger_->ChangePrinters().Clear();
  for (Message_SequenceOfPrinters::Iterator it(saved_); it.More(); it.Next())
    messenger_->AddPrinter(it.Value());
}

std::string KernelQuiet::said() const {
  return printer_->last_fail.empty() ? printer_->last_warning : printer_->last_fail;
}

}  // namespace ufhost
