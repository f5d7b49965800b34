// Results one JSON line each (--jsonl): appended the moment each is done,
// so that a batch stopped at any moment keeps every result it had finished,
// and read back to go on from there (--resume) or to merge several
// machines' results.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

namespace ufhost::app {

// Appends objects to a JSONL file, each written whole and flushed to the
// system as it comes.
class JsonlWriter {
 public:
  JsonlWriter() = default;
  ~JsonlWriter();
  JsonlWriter(const JsonlWriter&) = delete;
  JsonlWriter& operator=(const JsonlWriter&) = delete;
  // Opens `path` for appending (made when missing); `keep` bytes of it are
  // kept and anything after them cut (a torn last line). false with a message.
  bool open(const std::string& path, std::size_t keep, std::string* error);
  // false with a message when the object could not be written whole.
  bool append(const nlohmann::json& object, std::string* error);

 private:
  int fd_ = -1;
  std::string path_;
};

// What a reader of a JSONL file says of one of its objects: taken; not one
// the file may hold (a last line so is a torn write); or wrong for the file
// as a whole, wherever it is (rows of two commands, say).
enum class JsonlLine { kTaken, kRefused, kWrong };

// Reads a JSONL file line by line, handing each object to `take` (which
// says why when it does not take it). Blank lines are skipped. A last line
// cut short (a batch stopped while writing it) is left out and *torn_at set
// to where it begins (else npos); any other line that is not JSON or not
// taken makes it false with a message that names the file and the line.
bool read_jsonl_lines(const std::string& path,
                      const std::function<JsonlLine(const nlohmann::json&, std::string* why)>& take,
                      std::size_t* torn_at, std::string* error);

}  // namespace ufhost::app
