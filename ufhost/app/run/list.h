// `ufhost --list PART`: the bodies of a part as the selection will offer
// them, with their exact boxes; the same as the JSON report a batch run
// leaves; and the pieces of that listing the batch command and the view
// share.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "ufhost/model/model.h"

namespace ufhost::app {

struct BodyInfo {
  int number = 0;         // from 1, in the order the selection lists bodies
  Tag tag = kNullTag;
  std::string name;       // UTF-8
  std::string type;       // "solid body", "sheet body", "mesh body"
  bool has_box = false;
  double box[6] = {0, 0, 0, 0, 0, 0};  // exact box: min X, Y, Z, max X, Y, Z
  double tolerance = 0;   // the kernel's largest geometric tolerance of the body
  bool copy = false;      // made by the host's copy operation during the run
};

// The live bodies of `model` in creation order.
std::vector<BodyInfo> describe_bodies(const Model& model);

// The units lengths of a part file come in, as the kernel reads it: "mm" for
// STEP and IGES (the kernel converts them to millimetres), "file units" for
// BREP and STL, which carry none.
std::string part_units(const std::string& path);
// One sentence saying the above, for headers.
std::string units_note();

// Lays out rows of cells as columns separated by two blanks, the first row
// being the header. Cells of the columns marked in `right` are right-aligned
// (numbers). Widths count UTF-8 characters.
std::string format_table(const std::vector<std::vector<std::string>>& rows,
                         const std::vector<bool>& right);

// Writes a JSON summary of the part's bodies as the run left them (tag,
// name, type, exact box, the kernel's largest tolerance, copy or not) and the
// units of `part`, for the batch to read. false with a message when it
// cannot be written.
bool write_run_report(const Model& model, const std::string& part, const std::string& path,
                      std::string* error);

// Reads PART and prints its bodies (number, tag, type, name, lengths along X,
// Y, Z, lower and upper corner of the exact box) to `out`. Returns the exit
// status: 0, or 2 with a message on `err` when the part cannot be read.
int list_part(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace ufhost::app
