// The minimum-dimension search: the four passes on a cloud evaluated the
// plain way and the fast way side by side, against the machine's memory
// bandwidth; then the whole command on every part, with the dimensions it
// finds next to the kernel's own oriented box.
//
// Usage: bench_search [PARTS_DIR]   (default: the shared parts folder)
#include <BRepBndLib.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_OBB.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Compound.hxx>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "src/get_zarvel.h"
#include "src/ruled.h"
#include "src/ruled_internal.h"
#include "tests/support/text.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/session/session.h"
#include "ufhost/ui/ui.h"

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.141592653589793;
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// --- memory bandwidth ----------------------------------------------------

// Bytes a second that one core reads from memory: the best of a few
// integer sums (which the compiler vectorises, so the memory is what limits
// them) over an array far larger than the caches.
double read_bandwidth(std::size_t bytes = std::size_t(1) << 29) {
  const std::size_t n = std::max<std::size_t>(bytes / sizeof(std::uint64_t), 1024);
  std::vector<std::uint64_t> a(n, 1);
  double best = 0.0;
  volatile std::uint64_t sink = 0;
  const int rounds = static_cast<int>(std::min<std::size_t>(200, (std::size_t(1) << 30) / bytes + 4));
  for (int r = 0; r < rounds; ++r) {
    const auto t = Clock::now();
    std::uint64_t s = 0;
    for (std::size_t i = 0; i < n; ++i) s += a[i];
    sink = sink + s;
    best = std::max(best, static_cast<double>(n * sizeof(std::uint64_t)) / seconds_since(t));
  }
  return best;
}

double copy_bandwidth() {
  const std::size_t bytes = std::size_t(1) << 28;
  std::vector<char> a(bytes, 1), b(bytes, 0);
  double best = 0.0;
  for (int r = 0; r < 5; ++r) {
    const auto t = Clock::now();
    std::memcpy(b.data(), a.data(), bytes);
    best = std::max(best, 2.0 * static_cast<double>(bytes) / seconds_since(t));  // read + write
  }
  return best;
}

// --- clouds -------------------------------------------------------------

using Cloud = std::vector<double>;  // x, y, z of every corner
double (*raw(Cloud& c))[3] { return reinterpret_cast<double(*)[3]>(c.data()); }
int corners(const Cloud& c) { return static_cast<int>(c.size() / 3); }

// A closed surface faceted the way a host facets a body: triangles over a
// grid of an ellipsoid, every triangle listing its own three corners, cut to
// `n` corners and turned off the axes.
Cloud ellipsoid_facets(int n) {
  const int rows = 400;
  const int cols = (n / 6 + rows - 1) / rows;
  auto vertex = [&](int i, int j) {
    const double v = kPi * i / rows;
    const double u = 2 * kPi * j / cols;
    const double x = 60 * std::sin(v) * std::cos(u);
    const double y = 35 * std::sin(v) * std::sin(u);
    const double z = 15 * std::cos(v);
    // Turned 20 degrees about Z, then 7 about X.
    const double c = std::cos(0.349), s = std::sin(0.349), c2 = std::cos(0.122),
                 s2 = std::sin(0.122);
    const double x1 = c * x - s * y, y1 = s * x + c * y;
    return std::array<double, 3>{x1, c2 * y1 - s2 * z, s2 * y1 + c2 * z};
  };
  Cloud cloud;
  cloud.reserve(3 * static_cast<std::size_t>(n));
  for (int i = 0; i < rows && corners(cloud) < n; ++i)
    for (int j = 0; j < cols && corners(cloud) < n; ++j) {
      const std::array<double, 3> q[4] = {vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1),
                                          vertex(i, j + 1)};
      for (int k : {0, 1, 2, 0, 2, 3}) cloud.insert(cloud.end(), q[k].begin(), q[k].end());
    }
  cloud.resize(3 * static_cast<std::size_t>(n));
  return cloud;
}

// `n` distinct random points in a turned box: nothing to gain from repeats.
Cloud random_points(int n) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  Cloud cloud(3 * static_cast<std::size_t>(n));
  const double c = std::cos(0.5), s = std::sin(0.5);
  for (int i = 0; i < n; ++i) {
    const double x = 50 * d(rng), y = 20 * d(rng), z = 10 * d(rng);
    cloud[3 * i] = c * x - s * y;
    cloud[3 * i + 1] = s * x + c * y;
    cloud[3 * i + 2] = z;
  }
  return cloud;
}

// The facet corners of every body of a part, as the command gathers them,
// shifted by the rotation point as the command shifts them.
Cloud part_cloud(const std::string& path, std::vector<tag_t>* bodies) {
  ufhost::reset_session();
  std::string error;
  if (!ufhost::load_part(path, ufhost::session().model, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return {};
  }
  bodies->clear();
  for (ufhost::Tag t : ufhost::session().model.tags())
    if (ufhost::is_body(ufhost::session().model.find(t)->kind)) bodies->push_back(t);
  Cloud cloud;
  for (tag_t body : *bodies) {
    tag_t facet = body;
    if (make_faceted(&facet) != 0) continue;
    const int n = count_facet_vertices(facet);
    const std::size_t start = cloud.size() / 3;
    cloud.resize(cloud.size() + 3 * static_cast<std::size_t>(n));
    const int loaded = load_facet_vertices(facet, static_cast<int>(start), n, raw(cloud));
    cloud.resize(3 * (start + static_cast<std::size_t>(loaded)));
  }
  if (cloud.empty()) return cloud;
  double axis[3] = {0, 0, 1}, lo[3], up[3], shift[3];
  rotated_extents(lo, up, 0.0, axis, corners(cloud), raw(cloud));
  for (int c = 0; c < 3; ++c) shift[c] = lo[c] + std::fabs(lo[c] - up[c]) * 0.5;
  translate_cloud(shift, corners(cloud), raw(cloud));
  return cloud;
}

// --- the four passes --------------------------------------------------------

struct SearchRun {
  double seconds = 0;
  long evaluations = 0;  // angles measured
  int evaluated = 0;     // points one evaluation turns
  SearchPass passes[4];
};

// The passes as the command makes them (scan, refinement, turning the
// cloud), counting evaluations; the cloud is left as it was.
SearchRun four_passes(const Cloud& original, bool plain, double tolerance) {
  Cloud cloud = original;
  SearchRun run;
  const auto start = Clock::now();
  SearchCloud search;
  const Evaluation evaluation = plain ? Evaluation::kPlain : Evaluation::kFast;
  prepare_search_cloud(evaluation, corners(cloud), raw(cloud), &search);
  run.evaluated = search_cloud_distinct(search);
  const ExtentsFn extents = [&](double* lo, double* up, double a, double* k, bool with_z) {
    ++run.evaluations;
    return search_cloud_extents(&search, lo, up, a, k, with_z);
  };
  const double axes[4][3] = {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}};
  for (int p = 0; p < 4; ++p) {
    SearchPass& pass = run.passes[p];
    std::memcpy(pass.axis, axes[p], sizeof pass.axis);
    double msum = 0;
    scan_rotation_by(extents, pass.axis, &msum, pass.lower, pass.upper, &pass.coarse);
    pass.angle = refine_rotation_by(extents, pass.lower, pass.upper, pass.axis, pass.coarse,
                                    tolerance, nullptr);
    if (pass.angle != 0.0) search_cloud_rotate(&search, pass.angle, pass.axis);
  }
  run.seconds = seconds_since(start);
  return run;
}

// `bandwidth`: reading from memory; the points of the fast way may sit in
// the caches, so reading an array of their size is measured too.
void compare_paths(const char* name, const Cloud& cloud, double bandwidth) {
  const SearchRun plain = four_passes(cloud, true, 1e-6);
  SearchRun fast = four_passes(cloud, false, 1e-6);
  for (int r = 0; r < 2; ++r) {
    SearchRun again = four_passes(cloud, false, 1e-6);
    if (again.seconds < fast.seconds) fast = again;
  }
  const bool same = std::memcmp(plain.passes, fast.passes, sizeof plain.passes) == 0;
  const double n = corners(cloud);
  auto row = [&](const char* way, const SearchRun& r) {
    const double points = static_cast<double>(r.evaluations) * r.evaluated;
    const double bytes = points * 24.0;
    std::printf("  %-6s %9.3f s %6ld %9d %10.3g %8.2f %10.3g %7.2f GB/s %5.1f%%\n", way, r.seconds,
                r.evaluations, r.evaluated, points / r.seconds,
                1e9 * r.seconds / (static_cast<double>(r.evaluations) * n),
                static_cast<double>(r.evaluations) * n / r.seconds, bytes / r.seconds / 1e9,
                100.0 * bytes / r.seconds / bandwidth);
  };
  const double cached = read_bandwidth(static_cast<std::size_t>(fast.evaluated) * 24);
  std::printf("%s: %d corners, %d distinct; reading %.1f MB of distinct points: %.2f GB/s\n",
              name, corners(cloud), fast.evaluated, fast.evaluated * 24e-6, cached / 1e9);
  std::printf("  %-6s %11s %6s %9s %10s %8s %10s %12s %6s\n", "way", "4 passes", "evals",
              "points", "points/s", "ns/corner", "corners/s", "read", "of mem");
  row("plain", plain);
  row("fast", fast);
  std::printf("  fast read against reading an array of its size: %.0f%%\n",
              100.0 * static_cast<double>(fast.evaluations) * fast.evaluated * 24.0 / fast.seconds /
                  cached);
  std::printf("  speed-up %.1fx, same bits: %s, angles %.9f %.9f %.9f %.9f\n\n",
              plain.seconds / fast.seconds, same ? "yes" : "NO", fast.passes[0].angle,
              fast.passes[1].angle, fast.passes[2].angle, fast.passes[3].angle);
}

// --- the whole command on parts --------------------------------------------

// The numbers of the log's last line: the dimensions the search found.
std::vector<double> last_numbers(const std::string& log) {
  const std::vector<std::string> lines = testing_support::split_lines(testing_support::read_file(log));
  return lines.empty() ? std::vector<double>{} : testing_support::numbers_in(lines.back());
}

// The kernel's optimal oriented box of the part's bodies, its three sides.
std::array<double, 3> kernel_obb(const std::string& path) {
  ufhost::Model model;
  std::string error;
  if (!ufhost::load_part(path, model, &error)) return {0, 0, 0};
  BRep_Builder builder;
  TopoDS_Compound all;
  builder.MakeCompound(all);
  for (ufhost::Tag t : model.tags()) {
    const ufhost::Object* o = model.find(t);
    if (!ufhost::is_body(o->kind)) continue;
    if (!o->shape.IsNull()) {
      builder.Add(all, o->shape);
    } else if (!o->mesh.IsNull()) {
      // A mesh body as a face that carries its triangles and nothing else.
      TopoDS_Face face;
      builder.MakeFace(face, o->mesh);
      builder.Add(all, face);
    }
  }
  Bnd_OBB obb;
  try {
    BRepBndLib::AddOBB(all, obb, true, true, false);
  } catch (const Standard_Failure& e) {
    std::fprintf(stderr, "%s: oriented box failed: %s\n", path.c_str(), e.GetMessageString());
    return {0, 0, 0};
  }
  if (obb.IsVoid()) return {0, 0, 0};
  std::array<double, 3> sides = {2 * obb.XHSize(), 2 * obb.YHSize(), 2 * obb.ZHSize()};
  std::sort(sides.begin(), sides.end());
  return sides;
}

void whole_command(const std::vector<std::string>& parts) {
  std::printf("Whole command (faceting, search, copies, final measure), precision 1e-6:\n");
  std::printf("  %-18s %7s %9s %9s %8s %9s | %-38s | %-30s %7s\n", "part", "bodies", "corners",
              "distinct", "time s", "measure s", "search: X Y Z sum", "kernel OBB (sorted) sum",
              "ratio");
  const std::string log = (fs::temp_directory_path() / "bench_search_log.txt").string();
  for (const std::string& path : parts) {
    std::vector<tag_t> bodies;
    Cloud cloud = part_cloud(path, &bodies);
    SearchCloud search;
    prepare_search_cloud(Evaluation::kFast, corners(cloud), raw(cloud), &search);
    const int distinct = search_cloud_distinct(search);

    ufhost::reset_session();
    std::string error;
    ufhost::load_part(path, ufhost::session().model, &error);
    ufhost::session().ui = ufhost::make_scripted_ui({"dialog ok", "save " + log, "message ok"});
    fs::remove(log);
    const auto start = Clock::now();
    search_min_dimensions(bodies.data(), static_cast<int>(bodies.size()));
    const double took = seconds_since(start);
    // The final measure again on the copies the command left, to show its share.
    std::vector<tag_t> copies;
    for (ufhost::Tag t : ufhost::session().model.tags()) {
      const ufhost::Object* o = ufhost::session().model.find(t);
      if (ufhost::is_body(o->kind) && o->name.find("copy") != std::string::npos)
        copies.push_back(t);
    }
    double lengths[3] = {0, 0, 0};
    const auto measure_start = Clock::now();
    if (!copies.empty())
      compute_extents(copies.data(), static_cast<int>(copies.size()), lengths, 1e-9, false);
    const double measure = seconds_since(measure_start);
    const std::vector<double> found = last_numbers(log);
    const auto obb = kernel_obb(path);
    const double obb_sum = obb[0] + obb[1] + obb[2];
    char dims[64] = "no log";
    if (found.size() == 4)
      std::snprintf(dims, sizeof dims, "%.4f %.4f %.4f %.4f", found[0], found[1], found[2],
                    found[3]);
    std::printf("  %-18s %7zu %9d %9d %8.3f %9.3f | %-38s | %.4f %.4f %.4f %.4f %7.4f\n",
                fs::path(path).filename().string().c_str(), bodies.size(), corners(cloud),
                distinct, took, measure, dims, obb[0], obb[1], obb[2], obb_sum,
                found.size() == 4 && obb_sum > 0 ? found[3] / obb_sum : 0.0);
  }
  fs::remove(log);
  std::printf("  time: the whole command; measure: the final measure alone, run again on the "
              "copies\n  ratio: the search's sum over the oriented box's sum\n");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string parts_dir = argc > 1 ? argv[1] : SHARED_PARTS_DIR;
  std::vector<std::string> parts;
  for (const std::string& dir : {parts_dir, std::string(SAMPLES_DIR)}) {
    if (!fs::is_directory(dir)) continue;
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().extension() != ".md") found.push_back(e.path().string());
    std::sort(found.begin(), found.end());
    parts.insert(parts.end(), found.begin(), found.end());
  }

  const double bandwidth = read_bandwidth();
  std::printf("Memory: %.2f GB/s read by one core (sum over 512 MiB), %.2f GB/s through memcpy "
              "(read + write)\n\n",
              bandwidth / 1e9, copy_bandwidth() / 1e9);

  std::printf("Four passes (scan, refinement, turn) on a cloud, precision 1e-6.\n"
              "points: points one evaluation turns; read: bytes of those points read per "
              "second\n\n");
  std::string largest;
  Cloud largest_cloud;
  for (const std::string& path : parts) {
    std::vector<tag_t> bodies;
    Cloud cloud = part_cloud(path, &bodies);
    if (cloud.size() > largest_cloud.size()) {
      largest_cloud = cloud;
      largest = path;
    }
  }
  if (!largest.empty())
    compare_paths(("largest part, " + fs::path(largest).filename().string()).c_str(),
                  largest_cloud, bandwidth);
  compare_paths("synthetic faceted ellipsoid", ellipsoid_facets(1000000), bandwidth);
  compare_paths("synthetic distinct points", random_points(1000000), bandwidth);

  whole_command(parts);
  return 0;
}
