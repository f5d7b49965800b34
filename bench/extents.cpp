// Cost of the object-extents command on the bundled samples and the real
// parts, next to the kernel's own precise box of the same bodies.
//
// For each part: every body is measured together by compute_extents
// (tolerance 1e-8, drawing on), five times; the table shows the median time,
// the median per body, the probes made, the share of them answered without a
// boolean section, and the median time of BRepBndLib::AddOptimal over the
// same bodies. What a host remembers of a body between probes is forgotten
// before every run, so each run pays for it as a first command would. The
// last columns compare the lengths with that precise box and give the
// bodies' largest tolerance. A summary over the shared parts follows.
//
//   bench_extents [PART ...]     default: samples/*.step and the shared parts
#include <BRepBndLib.hxx>
#include <Bnd_Box.hxx>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "src/get_zarvel.h"
#include "ufhost/core/geometry.h"
#include "ufhost/core/model.h"
#include "ufhost/core/part_io.h"
#include "ufhost/core/sections.h"
#include "ufhost/core/session.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 5;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<std::string> default_parts() {
  std::vector<std::string> out;
  for (const char* dir : {SAMPLES_DIR, SHARED_PARTS_DIR}) {
    std::vector<std::string> found;
    if (fs::is_directory(dir))
      for (const auto& e : fs::directory_iterator(dir))
        if (e.path().extension() != ".md") found.push_back(e.path().string());
    std::sort(found.begin(), found.end());
    out.insert(out.end(), found.begin(), found.end());
  }
  return out;
}

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

struct Row {
  std::string name;
  int bodies = 0;
  double command = 0, per_body = 0, kernel = 0;
  long probes = 0, without_boolean = 0;
  double lengths[3] = {0, 0, 0};
  double error = 0.0;      // largest difference from the kernel's precise box
  double tolerance = 0.0;  // largest tolerance of the bodies
  bool shared = false;
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

  std::vector<double> command, kernel;
  for (int run = 0; run < kRuns; ++run) {
    ufhost::forget_section_cache();
    s.stats = ufhost::Session::Stats{};
    const int mark = s.model.set_mark(false);  // the drawn box goes again after the run
    auto t0 = std::chrono::steady_clock::now();
    compute_extents(bodies.data(), row->bodies, row->lengths, 1e-8, true);
    command.push_back(seconds_since(t0));
    s.model.undo_to(mark);

    t0 = std::chrono::steady_clock::now();
    const Bnd_Box box = kernel_box(s.model, bodies);
    kernel.push_back(seconds_since(t0));
    double lo[3], hi[3];
    box.Get(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
    for (int k = 0; k < 3; ++k)
      row->error = std::max(row->error, std::abs(row->lengths[k] - (hi[k] - lo[k])));
  }
  for (tag_t t : bodies)
    row->tolerance = std::max(row->tolerance, ufhost::max_tolerance(*s.model.find(t)));
  row->command = median(command);
  row->per_body = row->command / row->bodies;
  row->kernel = median(kernel);
  row->probes = s.stats.probes;
  row->without_boolean = s.stats.probes - s.stats.booleans;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> parts(argv + 1, argv + argc);
  if (parts.empty()) parts = default_parts();
  std::printf("%-18s %6s %9s %9s %6s %8s %10s  %-38s %9s %9s\n", "part", "bodies", "command s",
              "per body", "probes", "no bool.", "AddOpt. s", "lengths X Y Z", "vs box", "tolerance");
  int failed = 0;
  std::vector<double> per_body;
  double slowest = 0.0;
  long probes = 0, without_boolean = 0;
  for (const std::string& path : parts) {
    Row r;
    if (!measure(path, &r)) {
      ++failed;
      continue;
    }
    std::printf("%-18s %6d %9.4f %9.4f %6ld %7.1f%% %10.4f  %12.7f %12.7f %12.7f %9.1e %9.1e\n",
                r.name.c_str(), r.bodies, r.command, r.per_body, r.probes,
                r.probes > 0 ? 100.0 * r.without_boolean / r.probes : 100.0, r.kernel,
                r.lengths[0], r.lengths[1], r.lengths[2], r.error, r.tolerance);
    std::fflush(stdout);
    if (path.rfind(SHARED_PARTS_DIR, 0) == 0) {
      per_body.push_back(r.per_body);
      slowest = std::max(slowest, r.command);
      probes += r.probes;
      without_boolean += r.without_boolean;
    }
  }
  if (!per_body.empty())
    std::printf("\nshared parts: median %.4f s per body, slowest part %.4f s, %.1f%% of %ld probes "
                "without a boolean section\n",
                median(per_body), slowest, 100.0 * without_boolean / probes, probes);
  return failed == 0 ? 0 : 1;
}
