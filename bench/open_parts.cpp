// Prints, for each bundled sample and each real part beside the project:
// the bodies read, the time to open the file (best of several), the time of
// the first exact box of every body (later ones come from the host's
// cache), the exact box of all bodies together, and the kernel's ordinary
// box (enlarged by tolerances, from a tessellation where the file has one)
// with how much bigger it is.
//
// Usage: bench_open_parts [PART ...]   (default: samples and shared parts)
#include <BRepBndLib.hxx>
#include <Bnd_Box.hxx>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ufhost/model/object_geometry.h"
#include "ufhost/parts/part_io.h"

namespace fs = std::filesystem;

namespace {

struct Box {
  double lo[3] = {1e300, 1e300, 1e300};
  double hi[3] = {-1e300, -1e300, -1e300};
  bool empty() const { return lo[0] > hi[0]; }
  void add(const double b[6]) {
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], b[k]);
      hi[k] = std::max(hi[k], b[k + 3]);
    }
  }
  double size(int k) const { return hi[k] - lo[k]; }
};

std::vector<std::string> default_parts() {
  std::vector<std::string> out;
  for (const char* dir : {SAMPLES_DIR, SHARED_PARTS_DIR}) {
    if (!fs::is_directory(dir)) continue;
    std::vector<std::string> here;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.path().extension() != ".md") here.push_back(e.path().string());
    std::sort(here.begin(), here.end());
    out.insert(out.end(), here.begin(), here.end());
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> parts(argv + 1, argv + argc);
  if (parts.empty()) parts = default_parts();
  std::printf("%-18s %6s %9s %8s  %-36s %-36s %s\n", "part", "bodies", "open ms", "box ms",
              "exact box X x Y x Z", "enlarged box X x Y x Z", "largest excess");
  for (const std::string& path : parts) {
    const std::string name = fs::path(path).filename().string();
    ufhost::Model model;
    double best_ms = 1e300;
    const int runs = 5;
    for (int r = 0; r < runs; ++r) {
      ufhost::Model m;
      std::string error;
      const auto t0 = std::chrono::steady_clock::now();
      const bool ok = ufhost::load_part(path, m, &error);
      const auto t1 = std::chrono::steady_clock::now();
      if (!ok) {
        std::printf("%-18s %s\n", name.c_str(), error.c_str());
        break;
      }
      best_ms = std::min(best_ms, std::chrono::duration<double, std::milli>(t1 - t0).count());
      model = std::move(m);
    }
    if (model.size() == 0) continue;

    Box exact, enlarged;
    bool have_enlarged = false;
    const auto b0 = std::chrono::steady_clock::now();
    for (ufhost::Tag t : model.tags()) {
      double b[6];
      if (ufhost::exact_box(*model.find(t), b)) exact.add(b);
    }
    const double box_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - b0).count();
    for (ufhost::Tag t : model.tags()) {
      const ufhost::Object& o = *model.find(t);
      double b[6];
      if (!o.shape.IsNull()) {
        Bnd_Box k;
        BRepBndLib::Add(o.shape, k);
        k.Get(b[0], b[1], b[2], b[3], b[4], b[5]);
        enlarged.add(b);
        have_enlarged = true;
      }
    }
    char e[64], g[64] = "-", x[64] = "-";
    std::snprintf(e, sizeof e, "%.6f x %.6f x %.6f", exact.size(0), exact.size(1), exact.size(2));
    if (have_enlarged) {
      std::snprintf(g, sizeof g, "%.6f x %.6f x %.6f", enlarged.size(0), enlarged.size(1),
                    enlarged.size(2));
      double worst = 0, rel = 0;
      for (int k = 0; k < 3; ++k) {
        const double d = enlarged.size(k) - exact.size(k);
        if (d > worst) {
          worst = d;
          rel = exact.size(k) > 0 ? d / exact.size(k) : 0;
        }
      }
      std::snprintf(x, sizeof x, "%.3g (%.2g%%)", worst, 100 * rel);
    }
    std::printf("%-18s %6zu %9.1f %8.1f  %-36s %-36s %s\n", name.c_str(), model.size(), best_ms,
                box_ms, e, g, x);
  }
  return 0;
}
