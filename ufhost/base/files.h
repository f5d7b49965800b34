// Whole files: read at once, written through a temporary file renamed into
// place, and whether two names are one file. The part files, the view's
// page, the batch's tables and the run report all go through here.
#pragma once

#include <functional>
#include <string>

namespace ufhost {

// Reads the file at `path` byte for byte into *text. Returns false, leaving
// *text empty, when the file cannot be opened or read (a folder, say).
bool read_file(const std::string& path, std::string* text);
// The same, for callers to whom a missing file and an empty one are alike.
std::string read_file(const std::string& path);

// Writes a file at `path` through a temporary file in the same folder,
// renamed into place, so that a reader sees the old file or the whole new
// one, never half of it. The file gets the permissions the umask allows.
// `write` writes the whole file at the temporary path it is given (which
// exists, empty); it returns false with a one-line *error when it fails.
// Returns false with a one-line *error naming `path` when the folder is
// missing or not writable or the write fails; nothing is left behind then.
using FileWriter = std::function<bool(const std::string& temporary, std::string* error)>;
bool write_atomically(const std::string& path, const FileWriter& write, std::string* error);
// The same with `text` as the whole file.
bool write_atomically(const std::string& path, const std::string& text, std::string* error);

// Whether `a` and `b` name the same file: the same path once made absolute
// and resolved, or one file under two names (a link). Names of files that do
// not exist yet compare by their resolved paths.
bool same_file(const std::string& a, const std::string& b);

}  // namespace ufhost
