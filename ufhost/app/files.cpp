#include "ufhost/app/files.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace ufhost::app {

bool read_file(const std::string& path, std::string* text) {
  text->clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  *text = ss.str();
  return true;
}

std::string read_file(const std::string& path) {
  std::string text;
  read_file(path, &text);
  return text;
}

bool write_atomically(const std::string& path, const std::string& text, std::string* error) {
  std::error_code ec;
  const fs::path target = fs::absolute(path, ec);
  std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    *error = path + " cannot be written (no such folder, or not writable)";
    return false;
  }
  std::FILE* file = fdopen(fd, "wb");
  bool ok = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr) ok = (std::fclose(file) == 0) && ok;
  else close(fd);
  if (ok) {
    // mkstemp made it owner-only; the file takes the place of an ordinary one.
    fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read, ec);
    fs::rename(temp, target, ec);
    ok = !ec;
  }
  if (!ok) {
    fs::remove(temp, ec);
    *error = "writing " + path + " failed";
  }
  return ok;
}

}  // namespace ufhost::app
