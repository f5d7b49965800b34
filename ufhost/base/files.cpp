#include "ufhost/base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace ufhost {

// Read with the system's own calls, so that a read that fails (a folder,
// which opens like a file, or an error of the disk) is told from the end of
// a file.
bool read_file(const std::string& path, std::string* text) {
  text->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      text->clear();
      return false;
    }
    if (n == 0) break;
    text->append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

std::string read_file(const std::string& path) {
  std::string text;
  read_file(path, &text);
  return text;
}

bool write_atomically(const std::string& path, const FileWriter& write, std::string* error) {
  std::error_code ec;
  const fs::path target = fs::absolute(path, ec);
  std::string temp =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    *error = path + " cannot be written (no such folder, or not writable)";
    return false;
  }
  // mkstemp made it owner-only; the file takes the place of an ordinary one,
  // which gets what the user's umask allows.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  std::string why;
  bool ok = write(temp, &why);
  if (ok) {
    fs::rename(temp, target, ec);
    ok = !ec;
    if (!ok) why = "cannot put the written file in place (" + ec.message() + ")";
  }
  if (!ok) {
    fs::remove(temp, ec);
    *error = "writing " + path + " failed" + (why.empty() ? "" : ": " + why);
  }
  return ok;
}

bool write_atomically(const std::string& path, const std::string& text, std::string* error) {
  return write_atomically(
      path,
      [&text](const std::string& temp, std::string*) {
        std::FILE* file = std::fopen(temp.c_str(), "wb");
        if (file == nullptr) return false;
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        return (std::fclose(file) == 0) && written;
      },
      error);
}

namespace {

fs::path resolved(const std::string& name) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(name, ec).lexically_normal();
  const fs::path canonical = fs::weakly_canonical(absolute, ec);
  return ec ? absolute : canonical;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  return resolved(a) == resolved(b) || fs::equivalent(a, b, ec);
}

}  // namespace ufhost
