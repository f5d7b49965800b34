#include "ufhost/app/batch/jsonl.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "ufhost/base/files.h"

namespace fs = std::filesystem;

namespace ufhost::app {

JsonlWriter::~JsonlWriter() {
  if (fd_ >= 0) ::close(fd_);
}

bool JsonlWriter::open(const std::string& path, std::size_t keep, std::string* error) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    *error = "--jsonl " + path + ": cannot be opened (" + std::strerror(errno) + ")";
    return false;
  }
  std::error_code ec;
  if (fs::file_size(path, ec) > keep && ::ftruncate(fd_, static_cast<off_t>(keep)) != 0) {
    *error = "--jsonl " + path + ": cannot cut its last line (" + std::strerror(errno) + ")";
    return false;
  }
  return true;
}

bool JsonlWriter::append(const nlohmann::json& object, std::string* error) {
  const std::string line = object.dump() + "\n";
  // One write a line: an object is in the file whole, or (stopped mid-write,
  // disk full) cut short at the end, where reading it back drops it.
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = path_ + ": writing failed (" + std::strerror(n < 0 ? errno : ENOSPC) + ")";
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

bool read_jsonl_lines(const std::string& path,
                      const std::function<JsonlLine(const nlohmann::json&, std::string* why)>& take,
                      std::size_t* torn_at, std::string* error) {
  *torn_at = std::string::npos;
  std::string text;
  if (!read_file(path, &text)) {
    *error = path + ": cannot be read";
    return false;
  }
  std::size_t from = 0, number = 0;
  while (from < text.size()) {
    ++number;
    const std::size_t end = text.find('\n', from);
    const bool last = end == std::string::npos;
    const std::string line = text.substr(from, last ? std::string::npos : end - from);
    const std::size_t at = from;
    from = last ? text.size() : end + 1;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    std::string why;
    const JsonlLine taken = object.is_discarded() ? JsonlLine::kRefused : take(object, &why);
    if (taken == JsonlLine::kTaken) continue;
    // Each object is written with its newline at once: a line without one at
    // the very end is a write the batch was stopped in.
    if (last && taken == JsonlLine::kRefused) {
      *torn_at = at;
      break;
    }
    *error = path + ":" + std::to_string(number) + ": " + (object.is_discarded() ? "not JSON" : why) +
             "; the file is not taken";
    return false;
  }
  return true;
}

}  // namespace ufhost::app
