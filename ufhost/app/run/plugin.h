// The plug-in as a loaded shared library with its two entry points.
#pragma once

#include <string>

namespace ufhost::app {

class Plugin {
 public:
  using Ufusr = void (*)(char* param, int* retcode, int param_len);
  using AskUnload = int (*)(void);

  Plugin() = default;
  ~Plugin() { unload(); }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  // Loads the library at `path` (RTLD_NOW, so that a missing host symbol
  // shows here and not halfway through a run) and finds ufusr and
  // ufusr_ask_unload. false with a one-line message naming the library.
  bool load(const std::string& path, std::string* error);
  void unload();
  bool loaded() const { return handle_ != nullptr; }

  Ufusr ufusr = nullptr;
  AskUnload ask_unload = nullptr;

 private:
  void* handle_ = nullptr;
};

}  // namespace ufhost::app
