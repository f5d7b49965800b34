// The kernel's messages kept off the host's standard output while it reads
// or writes a part file.
#pragma once

#include <Message_Messenger.hxx>
#include <Message_Printer.hxx>

#include <string>

namespace ufhost {

// The kernel's readers and writers report through the default messenger,
// and some parts of it print straight to standard output; the host's
// standard output is the listing window. While one guard lives the printers
// are set aside (the last failure or warning text is kept for the error
// line) and standard output goes to the null device.
class KeepLast : public Message_Printer {
 public:
  mutable std::string last_fail;
  mutable std::string last_warning;

 protected:
  void send(const TCollection_AsciiString& text, const Message_Gravity gravity) const override;
};

class KernelQuiet {
 public:
  KernelQuiet();
  ~KernelQuiet();
  KernelQuiet(const KernelQuiet&) = delete;
  KernelQuiet& operator=(const KernelQuiet&) = delete;
  // The kernel's own words for what went wrong, or "" when it said nothing.
  std::string said() const;

 private:
  Handle(Message_Messenger) messenger_;
  Handle(KeepLast) printer_;
  Message_SequenceOfPrinters saved_;
  int saved_stdout_ = -1;
};

}  // namespace ufhost
