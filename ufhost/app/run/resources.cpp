#include "ufhost/app/run/resources.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace ufhost::app {

std::string executable_path() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

std::vector<std::string> resource_candidates(const std::string& exe_dir, const std::string& name) {
  std::error_code ec;
  const fs::path prefix = fs::path(exe_dir).parent_path();
  if (fs::is_directory(prefix / "share" / "zarvel", ec)) {
    // Libraries are architecture-dependent and go under lib/, the rest under share/.
    const bool library = name.rfind("plugin", 0) == 0;
    return {((library ? prefix / "lib" : prefix / "share") / "zarvel" / name).string()};
  }
  // The build tree: what the build makes sits beside the executable (a test's
  // executable sits deeper: the build's top folder), the rest in the source
  // tree.
  return {(fs::path(exe_dir) / name).string(), (fs::path(UFHOST_BUILD_DIR) / name).string(),
          (fs::path(UFHOST_SOURCE_DIR) / name).string()};
}

std::string find_resource(const std::string& name) {
  std::error_code ec;
  for (const std::string& path : resource_candidates(fs::path(executable_path()).parent_path(), name))
    if (fs::exists(path, ec)) return path;
  return "";
}

std::string expected_resource(const std::string& name) {
  return resource_candidates(fs::path(executable_path()).parent_path().string(), name).front();
}

std::string default_plugin() {
  const std::string name = "plugin/" UFHOST_PLUGIN_VARIANT "/Zarvel_06.so";
  const std::string found = find_resource(name);
  return found.empty() ? expected_resource(name) : found;
}

}  // namespace ufhost::app
