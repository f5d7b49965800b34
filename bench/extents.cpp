// Cost of the object-extents command on the bundled samples and the real
// parts, next to what it cannot do without: the kernel's own precise box of
// the same bodies and the faceting the command starts from.
//
// For each part, at least five runs (more for small parts, to half a second
// in all, as single runs of a few milliseconds vary with the machine's
// load), each measuring every body together with
// compute_extents (tolerance 1e-8, drawing on), then the kernel's precise box
// of the bodies (BRepBndLib::AddOptimal on the exact geometry: no
// triangulation, no tolerance), then the plug-in's faceting of every body
// alone. What a host remembers of a body between probes is forgotten before
// every run, so each run pays for it as a first command would. The table
// gives the median times, the command's time over box plus faceting, the
// probes of one run and how many of them needed a boolean section, the
// lengths, how far the drawn corners lie from the precise box (the larger
// of the two ends, over the three axes) and the exactness a measure states
// for the part (the bodies' largest tolerance, at least 1e-7 and the
// refinement tolerance). A summary over all parts follows.
//
//   bench_extents [PART ...]     default: samples/*.step and the shared parts
#include <BRepBndLib.hxx>
#include <Bnd_Box.hxx>
#include <Precision.hxx>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "src/get_zarvel.h"
#include "ufhost/model/object_geometry.h"
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
constexpr double kRefinement = 1e-8;   // the command's tolerance

// The kernel's precise box of every body: exact geometry for B-rep bodies,
// the nodes for meshes.
Bnd_Box kernel_box(const ufhost::Model& model, const std::vector<tag_t>& bodies) {
  Bnd_Box box;
  for (tag_t t : bodies) {
    const ufhost::Object* o = model.find(t);
    if (o->kind == ufhost::Kind::MeshBody) {
      for (int i = 1; i <= o->mesh->NbNodes(); ++i) box.Add(o->mesh->Node(i));
    } else {
      BRepBndLib::AddOptimal(o->shape, box, Standard_False, Standard_False);
    }
  }
  return box;
}

// The plug-in's own faceting of every body, as the command starts with it.
// The facet models go again with the mark.
void facet_all(ufhost::Model& model, const std::vector<tag_t>& bodies) {
  const int mark = model.set_mark(false);
  for (tag_t t : bodies) {
    tag_t work = t;
    make_faceted(&work);
  }
  model.undo_to(mark);
}

struct Row {
  std::string name;
  int bodies = 0;
  double command = 0, box = 0, facets = 0;
  long probes = 0, booleans = 0;
  double lengths[3] = {0, 0, 0};
  double off = 0.0;        // farthest drawn corner coordinate from the precise box
  double exactness = 0.0;  // what a measure of the part states
};

bool measure(const std::string& path, Row* row) {
  ufhost::reset_session();
  ufhost::Session& s = ufhost::session();
  std::string error;
  if (!ufhost::load_part(path, s.model, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  std::vector<tag_t> bodies;
  for (ufhost::Tag t : s.model.tags())
    if (ufhost::is_body(s.model.find(t)->kind)) bodies.push_back(t);
  row->name = fs::path(path).filename().string();
  row->bodies = static_cast<int>(bodies.size());
  if (bodies.empty()) return false;

  std::vector<double> command, box, facets;
  double spent = 0.0;
  for (int run = 0; run < kMostRuns && (run < kRuns || spent < kLeastSeconds); ++run) {
    s.sections.forget();
    s.sections.counts = ufhost::SectionMemory::Counts{};
    const int mark = s.model.set_mark(false);  // the drawn box goes again after the run
    auto t0 = std::chrono::steady_clock::now();
    compute_extents(bodies.data(), row->bodies, row->lengths, kRefinement, true);
    command.push_back(seconds_since(t0));
    // The two points drawn last: the largest corner, then the smallest.
    const std::vector<ufhost::Tag> points = s.model.tags_of(ufhost::Kind::Point);
    const bool drawn = points.size() >= 2;
    const gp_Pnt hi_corner = drawn ? s.model.find(points[points.size() - 2])->p0 : gp_Pnt();
    const gp_Pnt lo_corner = drawn ? s.model.find(points.back())->p0 : gp_Pnt();
    s.model.undo_to(mark);

    t0 = std::chrono::steady_clock::now();
    const Bnd_Box b = kernel_box(s.model, bodies);
    box.push_back(seconds_since(t0));
    t0 = std::chrono::steady_clock::now();
    facet_all(s.model, bodies);
    facets.push_back(seconds_since(t0));

    spent += command.back() + box.back() + facets.back();
    double lo[3], hi[3];
    b.Get(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
    for (int k = 0; k < 3; ++k) {
      const double off = drawn ? std::max(std::abs(lo_corner.Coord(k + 1) - lo[k]),
                                          std::abs(hi_corner.Coord(k + 1) - hi[k]))
                               : HUGE_VAL;
      row->off = std::max(row->off, off);
    }
  }
  double tolerance = 0.0;
  for (tag_t t : bodies) tolerance = std::max(tolerance, ufhost::max_tolerance(*s.model.find(t)));
  row->exactness = std::max({kRefinement, tolerance, Precision::Confusion()});
  row->command = median(command);
  row->box = median(box);
  row->facets = median(facets);
  row->probes = s.sections.counts.probes;
  row->booleans = s.sections.counts.booleans;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> parts(argv + 1, argv + argc);
  if (parts.empty()) parts = default_parts();
  std::printf("%-18s %6s %9s %8s %8s %6s %6s %6s  %-38s %8s %8s\n", "part", "bodies", "command s",
              "box s", "facets s", "ratio", "probes", "bool.", "lengths X Y Z", "ends off",
              "exact to");
  int failed = 0;
  double worst_ratio = 0.0, worst_off = 0.0;
  long probes = 0, booleans = 0;
  for (const std::string& path : parts) {
    Row r;
    if (!measure(path, &r)) {
      ++failed;
      continue;
    }
    // The command's time over the least it could take: the box and the faceting.
    const double ratio = r.command / (r.box + r.facets);
    std::printf("%-18s %6d %9.4f %8.4f %8.4f %6.2f %6ld %6ld  %12.7f %12.7f %12.7f %8.1e %8.1e\n",
                r.name.c_str(), r.bodies, r.command, r.box, r.facets, ratio, r.probes, r.booleans,
                r.lengths[0], r.lengths[1], r.lengths[2], r.off, r.exactness);
    std::fflush(stdout);
    probes += r.probes;
    booleans += r.booleans;
    worst_ratio = std::max(worst_ratio, ratio);
    worst_off = std::max(worst_off, r.off / r.exactness);
  }
  if (probes > 0)
    std::printf(
        "\nall parts: %.1f%% of %ld probes without a boolean section, command at most "
        "%.2f x (box + faceting), corners at most %.2f x the stated exactness off the box\n",
        100.0 * (probes - booleans) / probes, probes, worst_ratio, worst_off);
  return failed == 0 ? 0 : 1;
}
