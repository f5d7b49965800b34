// Cost of the smallest enclosing cylinder of a part next to the object
// extents command on the same bodies, which it is to take at most twice as
// long as.
//
// For each part, at least five runs (more for small parts, to half a second
// in all), each timing the cylinder of every body of the part taken
// together (smallest_cylinder, tolerance 1e-8, no blank edges: the bodies'
// principal axes are tried) and then the object extents command on them as
// bench_extents times it (compute_extents, tolerance 1e-8, drawing on, what
// the host remembers of the bodies forgotten first). The table gives the
// cylinder's diameter, length and exactness, the hexagon about its axis
// (timed once, apart), the median times and the cylinder's time over the
// command's. Parts without exact faces (meshes) get their row with the
// reason instead.
//
//   bench_cylinder [PART ...]     default: samples/*.step and the shared parts
#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "src/get_zarvel.h"
#include "ufhost/enclosing/cylinder.h"
#include "ufhost/model/model.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/geom/sections.h"
#include "ufhost/session/session.h"

namespace fs = std::filesystem;

namespace {

using bench::default_parts;
using bench::median;
using bench::seconds_since;

constexpr int kRuns = 5, kMostRuns = 200;
constexpr double kLeastSeconds = 0.5;  // of all runs of a part together

struct Row {
  std::string name, error;
  ufhost::Cylinder cylinder;
  ufhost::Hexagon hexagon;
  double cylinder_s = 0.0, extents_s = 0.0, hexagon_s = 0.0;
};

// false when the part cannot be read or has no bodies; a part whose bodies
// have no exact faces is measured by the command alone, with the reason.
bool measure(const std::string& path, ufhost::Smallest smallest, Row* row) {
  ufhost::reset_session();
  ufhost::Session& s = ufhost::session();
  row->name = fs::path(path).filename().string();
  if (!ufhost::load_part(path, s.model, &row->error)) return false;
  std::vector<tag_t> bodies;
  BRep_Builder builder;
  TopoDS_Compound all;
  builder.MakeCompound(all);
  for (ufhost::Tag t : s.model.tags()) {
    const ufhost::Object* o = s.model.find(t);
    if (!ufhost::is_body(o->kind)) continue;
    bodies.push_back(t);
    if (!o->shape.IsNull()) builder.Add(all, o->shape);
  }
  if (bodies.empty()) {
    row->error = "no bodies";
    return false;
  }

  std::vector<double> cylinder, extents;
  double spent = 0.0;
  bool measured = true;
  for (int run = 0; run < kMostRuns && (run < kRuns || spent < kLeastSeconds); ++run) {
    auto t0 = std::chrono::steady_clock::now();
    std::string error;
    if (measured)
      measured = ufhost::smallest_cylinder(all, {}, kExtentsTolerance, &row->cylinder, &error, smallest);
    if (measured) cylinder.push_back(seconds_since(t0));
    if (!measured && row->error.empty()) row->error = error;

    s.sections.forget();
    const int mark = s.model.set_mark(false);  // the drawn box goes again after the run
    double lengths[3] = {0, 0, 0};
    t0 = std::chrono::steady_clock::now();
    compute_extents(bodies.data(), static_cast<int>(bodies.size()), lengths, kExtentsTolerance, true);
    extents.push_back(seconds_since(t0));
    s.model.undo_to(mark);
    spent += extents.back() + (cylinder.empty() ? 0.0 : cylinder.back());
  }
  row->extents_s = median(extents);
  if (measured) {
    row->cylinder_s = median(cylinder);
    const auto t0 = std::chrono::steady_clock::now();
    std::string error;
    if (!ufhost::smallest_hexagon(all, row->cylinder, kExtentsTolerance, &row->hexagon, &error))
      row->hexagon.across_flats = -1.0;
    row->hexagon_s = seconds_since(t0);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> parts(argv + 1, argv + argc);
  // --least-volume: the bar the cut list orders, least diameter squared
  // times length, rather than the least diameter.
  ufhost::Smallest smallest = ufhost::Smallest::kDiameter;
  if (!parts.empty() && parts.front() == "--least-volume") {
    smallest = ufhost::Smallest::kVolume;
    parts.erase(parts.begin());
  }
  if (parts.empty()) parts = default_parts();
  std::printf("cylinders of least %s\n", smallest == ufhost::Smallest::kVolume ? "volume" : "diameter");
  std::printf("%-18s %14s %14s %8s %14s %10s %10s %6s %9s\n", "part", "diameter", "length",
              "exact to", "across flats", "cylinder s", "extents s", "ratio", "hexagon s");
  int failed = 0;
  double worst = 0.0;
  for (const std::string& path : parts) {
    Row r;
    if (!measure(path, smallest, &r)) {
      std::printf("%-18s cannot be measured: %s\n", r.name.c_str(), r.error.c_str());
      ++failed;
      continue;
    }
    if (!r.error.empty()) {
      std::printf("%-18s %14s %14s %8s %14s %10s %10.4f %6s %9s  (%s)\n", r.name.c_str(), "-", "-", "-",
                  "-", "-", r.extents_s, "-", "-", r.error.c_str());
      continue;
    }
    const double ratio = r.cylinder_s / r.extents_s;
    worst = std::max(worst, ratio);
    std::printf("%-18s %14.7f %14.7f %8.1e %14.7f %10.4f %10.4f %6.2f %9.4f\n", r.name.c_str(),
                r.cylinder.diameter, r.cylinder.length, r.cylinder.exact_to, r.hexagon.across_flats,
                r.cylinder_s, r.extents_s, ratio, r.hexagon_s);
    std::fflush(stdout);
  }
  std::printf("\ncylinder at most %.2f x the extents command's time\n", worst);
  return failed == 0 ? 0 : 1;
}
