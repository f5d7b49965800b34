// Whole files read and written by the tools around a run: the view's page,
// the batch's tables and the run report.
#pragma once

#include <string>

namespace ufhost::app {

// Reads the file at `path` byte for byte into *text. Returns false, leaving
// *text empty, when the file cannot be opened.
bool read_file(const std::string& path, std::string* text);
// The same, for callers to whom a missing file and an empty one are alike.
std::string read_file(const std::string& path);

// Writes `text` to `path` through a temporary file in the same folder,
// renamed into place, so that a reader sees the old file or the whole new
// one, never half of it. The file is left readable by all (rw-r--r--).
// Returns false with a one-line *error naming `path` when the folder is
// missing or not writable or the write fails; nothing is left behind then.
bool write_atomically(const std::string& path, const std::string& text, std::string* error);

}  // namespace ufhost::app
