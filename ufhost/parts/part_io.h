// Reading and writing part files.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ufhost/model/model.h"

namespace ufhost {

enum class PartFormat { Unknown, Step, Iges, Brep, Stl };

// The format a part file's name gives by its extension (case ignored).
PartFormat part_format(const std::string& path);
// The extensions the host reads (".step", ".stp", ".igs", ".iges", ".brep",
// ".stl"), or with `writable` those it also writes.
std::vector<std::string> part_extensions(bool writable = false);
// Whether the kernel converts the file's lengths to millimetres on reading
// (STEP and IGES); BREP and STL carry no units.
bool read_in_millimetres(PartFormat format);

// Reads STEP (.step, .stp), IGES (.igs, .iges), BREP (.brep) or STL (.stl,
// binary or ASCII) into `model`: every solid becomes one body with its own
// tag and name (sheets of open faces become one sheet body each; an STL file
// one mesh body whose triangles are the file's own). On failure returns false
// with a one-line message that names the file and what is wrong, and leaves
// `model` as it was.
bool load_part(const std::string& path, Model& model, std::string* error);

// Initialises the kernel's STEP and IGES readers and its exchange document
// in this process, once: processes forked afterwards (a batch's runs, and the
// children they read their part files in) start with them ready instead of
// paying for it each. Starts no thread.
void warm_up_part_readers();

// Writes every live body, point, line, plane and section curve of `model`
// to `path` (.brep or .step), through a temporary file renamed into place.
// Refuses to write over `input_path`. On failure returns false with a
// one-line message and leaves no file behind.
bool save_part(const Model& model, const std::string& path, const std::string& input_path,
               std::string* error);

}  // namespace ufhost
