#include "ufhost/app/run/plugin.h"

#include <dlfcn.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace ufhost::app {

bool Plugin::load(const std::string& path, std::string* error) {
  unload();
  std::error_code ec;
  if (path.empty()) {
    *error = "no plug-in library given";
    return false;
  }
  if (!fs::exists(path, ec)) {
    *error = "the plug-in library " + path + " does not exist";
    return false;
  }
  // dlopen searches the library path for a bare name; the user means a file.
  const std::string file = fs::absolute(path, ec).string();
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    *error = "cannot load the plug-in library " + path + ": " + (why ? why : "unknown reason");
    return false;
  }
  ufusr = reinterpret_cast<Ufusr>(dlsym(handle_, "ufusr"));
  ask_unload = reinterpret_cast<AskUnload>(dlsym(handle_, "ufusr_ask_unload"));
  if (ufusr == nullptr || ask_unload == nullptr) {
    *error = "the plug-in library " + path + " does not export " +
             (ufusr == nullptr ? "ufusr" : "ufusr_ask_unload");
    unload();
    return false;
  }
  return true;
}

void Plugin::unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
  ufusr = nullptr;
  ask_unload = nullptr;
}

}  // namespace ufhost::app
