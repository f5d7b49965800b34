#include "ufhost/app/run/list.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "ufhost/app/run/run_options.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/base/files.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/base/numbers.h"
#include "ufhost/parts/part_io.h"

namespace ufhost::app {

namespace {

std::size_t utf8_width(const std::string& text) {
  std::size_t n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string corner(const double* xyz) {
  return "(" + fixed6(xyz[0]) + ", " + fixed6(xyz[1]) + ", " + fixed6(xyz[2]) + ")";
}

}  // namespace

std::vector<BodyInfo> describe_bodies(const Model& model) {
  return kernel_work("measuring the bodies' boxes", [&model] {
  std::vector<BodyInfo> out;
  for (Tag tag : model.tags()) {
    const Object* object = model.find(tag);
    if (object == nullptr || !is_body(object->kind)) continue;
    BodyInfo info;
    info.number = static_cast<int>(out.size()) + 1;
    info.tag = tag;
    info.name = object->name;
    info.type = kind_name(object->kind);
    info.has_box = exact_box(*object, info.box);
    info.tolerance = max_tolerance(*object);
    info.copy = named_as_copy(object->name);
    out.push_back(std::move(info));
  }
  return out;
  });
}

std::string part_units(const std::string& path) {
  return read_in_millimetres(part_format(path)) ? "mm" : "file units";
}

std::string units_note() {
  return "Lengths in the part file's units as the kernel reads it: millimetres for STEP and "
         "IGES (converted on reading), the file's own units for BREP and STL (they carry none).";
}

std::string format_table(const std::vector<std::vector<std::string>>& rows,
                         const std::vector<bool>& right) {
  std::vector<std::size_t> width;
  for (const auto& row : rows) {
    if (width.size() < row.size()) width.resize(row.size(), 0);
    for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], utf8_width(row[c]));
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string pad(width[c] - utf8_width(row[c]), ' ');
      const bool align_right = c < right.size() && right[c];
      if (c > 0) line += "  ";
      line += align_right ? pad + row[c] : row[c] + (c + 1 < row.size() ? pad : "");
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text;
}

bool write_run_report(const Model& model, const std::string& part, const std::string& path,
                      std::string* error) {
  std::vector<BodyInfo> described;
  std::string failure;
  if (!without_kernel_failure([&] { described = describe_bodies(model); },
                              "measuring the bodies' boxes", &failure)) {
    *error = "--report: " + failure + "; no report written";
    return false;
  }
  nlohmann::json bodies = nlohmann::json::array();
  for (const BodyInfo& b : described) {
    nlohmann::json j = {{"number", b.number}, {"tag", b.tag},          {"name", b.name},
                        {"type", b.type},     {"tolerance", b.tolerance}, {"copy", b.copy}};
    if (b.has_box) j["box"] = std::vector<double>(b.box, b.box + 6);
    bodies.push_back(j);
  }
  const nlohmann::json report = {{"part", part}, {"units", part_units(part)}, {"bodies", bodies}};
  if (!write_atomically(path, report.dump(1) + "\n", error)) {
    *error = "--report: " + *error;
    return false;
  }
  return true;
}

int list_part(const std::string& path, std::ostream& out, std::ostream& err) {
  contain_kernel_faults(path, kExitKernel);
  Model model;
  std::string error;
  if (!load_part(path, model, &error)) {
    err << "ufhost: " << error << std::endl;
    return kExitPart;
  }
  std::vector<BodyInfo> bodies;
  if (!without_kernel_failure([&] { bodies = describe_bodies(model); },
                              "measuring the bodies' boxes", &error)) {
    err << "ufhost: " << path << ": " << error << std::endl;
    return kExitKernel;
  }
  out << path << ": " << bodies.size() << (bodies.size() == 1 ? " body" : " bodies")
      << ", lengths in " << (part_units(path) == "mm" ? "millimetres" : "the file's own units")
      << "\n";
  std::vector<std::vector<std::string>> rows = {
      {"No.", "Tag", "Type", "Name", "X", "Y", "Z", "Lower corner", "Upper corner"}};
  for (const BodyInfo& b : bodies) {
    std::vector<std::string> row = {std::to_string(b.number), std::to_string(b.tag), b.type,
                                    b.name.empty() ? "-" : b.name};
    if (b.has_box) {
      for (int k = 0; k < 3; ++k) row.push_back(fixed6(std::abs(b.box[k + 3] - b.box[k])));
      row.push_back(corner(b.box));
      row.push_back(corner(b.box + 3));
    } else {
      row.insert(row.end(), {"-", "-", "-", "no geometry", ""});
    }
    rows.push_back(std::move(row));
  }
  out << format_table(rows, {true, true, false, false, true, true, true, false, false});
  return kExitOk;
}

}  // namespace ufhost::app
