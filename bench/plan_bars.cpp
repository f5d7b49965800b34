// Bar cutting plans on the published families of one-dimensional bin
// packing, generated from their recipes with fixed seeds: Falkenauer's
// uniform and triplet classes, Scholl's sets 1 to 3, and a cut list of 10,000
// pieces on 6 m bars with a 3 mm kerf. Prints a row per instance that is not
// proven optimal or is slow (every row with --rows) and a summary per family.
//
//   bench_plan_bars [--rows] [--family NAME] [--instance NAME] [--per-class N] [--time-limit S] [--repeat N]
//
// --per-class N keeps the first N instances of each class (all by default).
// --repeat N plans each instance N times and reports the median times: on a
// shared machine the wall clock of one run says little. The processor time
// (cpu s) is shown beside it. Repeated plans must be the same (the search
// counts its work and looks at the clock only as a guard) unless one of them
// met the time limit.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "ufhost/plan/bars/bars.h"
#include "ufhost/plan/check.h"

using namespace ufhost::plan;

namespace {

// SplitMix64: the same numbers on every platform, unlike the standard
// library's distributions.
struct Random {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in [lo, hi], without the bias of a plain modulo.
  std::int64_t uniform(std::int64_t lo, std::int64_t hi) {
    const std::uint64_t span = static_cast<std::uint64_t>(hi - lo) + 1;
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    std::uint64_t r;
    do r = next();
    while (r >= limit);
    return lo + static_cast<std::int64_t>(r % span);
  }
};

struct Instance {
  std::string family;
  std::string name;
  std::int64_t capacity = 0;       // in the family's own units
  std::vector<std::int64_t> sizes; // one per item
  Length unit = kPerMillimetre;    // micrometres per unit
  Length kerf = 0;
  std::int64_t known_optimum = -1; // bars, where the recipe fixes it
};

std::vector<Instance> uniform_family(int per_class) {
  std::vector<Instance> out;
  for (int n : {120, 250, 500, 1000})
    for (int k = 0; k < per_class; ++k) {
      Random rng{0x5500 + static_cast<std::uint64_t>(n) * 100 + static_cast<std::uint64_t>(k)};
      Instance in{"uniform", "u" + std::to_string(n) + "_" + std::to_string(k), 150, {}};
      for (int i = 0; i < n; ++i) in.sizes.push_back(rng.uniform(20, 100));
      out.push_back(std::move(in));
    }
  return out;
}

// Each bin of 1000 gets a first item in [380, 490], a second in [250, s/2]
// of the space s left, and a third that fills it; the items are then shuffled.
std::vector<Instance> triplet_family(int per_class) {
  std::vector<Instance> out;
  for (int n : {60, 120, 249, 501})
    for (int k = 0; k < per_class; ++k) {
      Random rng{0x7700 + static_cast<std::uint64_t>(n) * 100 + static_cast<std::uint64_t>(k)};
      Instance in{"triplets", "t" + std::to_string(n) + "_" + std::to_string(k), 1000, {}};
      for (int b = 0; b < n / 3; ++b) {
        const std::int64_t first = rng.uniform(380, 490);
        const std::int64_t space = 1000 - first;
        const std::int64_t second = rng.uniform(250, space / 2);
        in.sizes.insert(in.sizes.end(), {first, second, space - second});
      }
      for (std::size_t i = in.sizes.size(); i > 1; --i)
        std::swap(in.sizes[i - 1], in.sizes[static_cast<std::size_t>(rng.uniform(0, static_cast<std::int64_t>(i) - 1))]);
      in.known_optimum = n / 3;
      out.push_back(std::move(in));
    }
  return out;
}

// Set 1: n in {50, 100, 200, 500}, capacity in {100, 120, 150}, weights in
// [1, 100], [20, 100] or [30, 100]; 20 of each of the 36 classes.
// Set 2: capacity 1000, n as in set 1, mean weight 1000/3, /5, /7 or /9, spread
// 20, 50 or 90 % about it; 10 of each of the 48 classes.
// Set 3: capacity 100,000, 200 weights in [20,000, 35,000]; 10 instances.
std::vector<Instance> scholl_family(int per_class) {
  std::vector<Instance> out;
  for (int n : {50, 100, 200, 500})
    for (int c : {100, 120, 150})
      for (int lo : {1, 20, 30})
        for (int k = 0; k < std::min(per_class, 20); ++k) {
          Random rng{0x1100'0000 + static_cast<std::uint64_t>(n * 1'000'000 + c * 1000 + lo * 10 + k)};
          Instance in{"scholl-1", "N" + std::to_string(n) + "C" + std::to_string(c) + "W" + std::to_string(lo) + "_" + std::to_string(k), c, {}};
          for (int i = 0; i < n; ++i) in.sizes.push_back(rng.uniform(lo, 100));
          out.push_back(std::move(in));
        }
  for (int n : {50, 100, 200, 500})
    for (int per_bin : {3, 5, 7, 9})
      for (int spread : {20, 50, 90})
        for (int k = 0; k < std::min(per_class, 10); ++k) {
          Random rng{0x2200'0000 + static_cast<std::uint64_t>(n * 1'000'000 + per_bin * 10'000 + spread * 10 + k)};
          Instance in{"scholl-2", "N" + std::to_string(n) + "W" + std::to_string(per_bin) + "B" + std::to_string(spread) + "_" + std::to_string(k), 1000, {}};
          const std::int64_t mean = 1000 / per_bin;
          const std::int64_t lo = std::max<std::int64_t>(1, mean - mean * spread / 100);
          const std::int64_t hi = mean + mean * spread / 100;
          for (int i = 0; i < n; ++i) in.sizes.push_back(rng.uniform(lo, hi));
          out.push_back(std::move(in));
        }
  for (int k = 0; k < std::min(per_class, 10); ++k) {
    Random rng{0x3300'0000 + static_cast<std::uint64_t>(k)};
    Instance in{"scholl-3", "HARD" + std::to_string(k), 100'000, {}, 1};
    for (int i = 0; i < 200; ++i) in.sizes.push_back(rng.uniform(20'000, 35'000));
    out.push_back(std::move(in));
  }
  return out;
}

// A workshop's cut list: 10,000 pieces of whole millimetres from 100 to
// 3000 on 6 m bars, 3 mm kerf; and the same pieces drawn from 150 lengths.
std::vector<Instance> workshop_family(int per_class) {
  std::vector<Instance> out;
  for (int k = 0; k < std::min(per_class, 3); ++k) {
    Random rng{0x4400 + static_cast<std::uint64_t>(k)};
    Instance any{"workshop", "any-length_" + std::to_string(k), 6000, {}};
    any.kerf = 3 * kPerMillimetre;
    for (int i = 0; i < 10'000; ++i) any.sizes.push_back(rng.uniform(100, 3000));
    out.push_back(any);
    Instance list{"workshop", "150-lengths_" + std::to_string(k), 6000, {}};
    list.kerf = 3 * kPerMillimetre;
    std::vector<std::int64_t> lengths;
    for (int i = 0; i < 150; ++i) lengths.push_back(rng.uniform(100, 3000));
    for (int i = 0; i < 10'000; ++i) list.sizes.push_back(lengths[static_cast<std::size_t>(rng.uniform(0, 149))]);
    out.push_back(list);
  }
  return out;
}

struct Summary {
  int count = 0, optimal = 0, known = 0, met_known = 0, timed_out = 0;
  double max_time = 0, total_time = 0, max_cpu = 0, total_cpu = 0, worst_gap = 0;
  std::string slowest;
};

// Processor time of this process, in seconds.
double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  bool rows = false;
  std::string only, instance;
  int per_class = 20;
  double time_limit = 10;
  int repeat = 1;
  for (int a = 1; a < argc; ++a) {
    if (!std::strcmp(argv[a], "--rows")) rows = true;
    else if (!std::strcmp(argv[a], "--family") && a + 1 < argc) only = argv[++a];
    else if (!std::strcmp(argv[a], "--instance") && a + 1 < argc) instance = argv[++a];
    else if (!std::strcmp(argv[a], "--per-class") && a + 1 < argc) per_class = std::atoi(argv[++a]);
    else if (!std::strcmp(argv[a], "--time-limit") && a + 1 < argc) time_limit = std::atof(argv[++a]);
    else if (!std::strcmp(argv[a], "--repeat") && a + 1 < argc) repeat = std::max(1, std::atoi(argv[++a]));
    else {
      std::fprintf(stderr, "usage: %s [--rows] [--family NAME] [--instance NAME] [--per-class N] [--time-limit S] [--repeat N]\n", argv[0]);
      return 2;
    }
  }
  std::vector<Instance> all;
  for (auto* make : {uniform_family, triplet_family, scholl_family, workshop_family})
    for (Instance& in : make(per_class))
      if ((only.empty() || in.family.rfind(only, 0) == 0) && (instance.empty() || in.name == instance))
        all.push_back(std::move(in));

  std::printf("%-10s %-22s %7s %7s %7s %8s %8s %8s  %s\n", "family", "instance", "pieces", "plan", "bound",
              "gap", "time s", "cpu s", "method");
  std::map<std::string, Summary> summaries;
  std::vector<std::string> order;
  int faults = 0;
  for (const Instance& in : all) {
    std::map<std::int64_t, std::int64_t> count;
    for (std::int64_t s : in.sizes) ++count[s];
    std::vector<Piece> pieces;
    for (const auto& [size, n] : count) pieces.push_back({std::to_string(size), size * in.unit, 0, n, true});
    Stock stock;
    stock.length = in.capacity * in.unit;
    Settings settings;
    settings.kerf = in.kerf;
    settings.time_limit = time_limit;
    Plan plan;
    std::vector<double> walls, cpus;
    for (int r = 0; r < repeat; ++r) {
      const auto t0 = std::chrono::steady_clock::now();
      const double c0 = cpu_seconds();
      Plan again = plan_bars(pieces, {stock}, settings);
      cpus.push_back(cpu_seconds() - c0);
      walls.push_back(bench::seconds_since(t0));
      if (r > 0 && !plan.timed_out && !again.timed_out && (again.used != plan.used || again.value != plan.value)) {
        std::printf("FAULT %s: a second run gave another plan\n", in.name.c_str());
        ++faults;
      }
      if (r == 0) plan = std::move(again);
    }
    const double seconds = bench::median(walls), cpu = bench::median(cpus);
    const std::string fault = check_bars(pieces, {stock}, settings, plan);
    if (!fault.empty()) {
      std::printf("FAULT %s: %s\n", in.name.c_str(), fault.c_str());
      ++faults;
    }
    // Bars, from metres: every bar is the one length.
    const std::int64_t bars = plan.used[0];
    const std::int64_t bound = static_cast<std::int64_t>(plan.lower_bound * 1e6 / static_cast<double>(stock.length) + 0.5);
    if (!summaries.count(in.family)) order.push_back(in.family);
    Summary& s = summaries[in.family];
    ++s.count;
    s.optimal += plan.optimal ? 1 : 0;
    s.timed_out += plan.timed_out ? 1 : 0;
    if (in.known_optimum >= 0) {
      ++s.known;
      s.met_known += bars == in.known_optimum ? 1 : 0;
    }
    s.total_time += seconds;
    s.total_cpu += cpu;
    s.max_cpu = std::max(s.max_cpu, cpu);
    if (seconds > s.max_time) {
      s.max_time = seconds;
      s.slowest = in.name;
    }
    s.worst_gap = std::max(s.worst_gap, plan.gap);
    if (rows || !plan.optimal || seconds > 1.0)
      std::printf("%-10s %-22s %7zu %7lld %7lld %7.4f%% %8.3f %8.3f  %s%s\n", in.family.c_str(), in.name.c_str(),
                  in.sizes.size(), static_cast<long long>(bars), static_cast<long long>(bound), 100 * plan.gap,
                  seconds, cpu, plan.method.c_str(), plan.timed_out ? " (time limit)" : "");
    std::fflush(stdout);
  }
  std::printf("\n%-10s %9s %8s %10s %9s %9s %9s %9s %9s  %s\n", "family", "instances", "optimal", "timed out",
              "mean s", "max s", "mean cpu", "max cpu", "worst gap", "slowest");
  for (const std::string& family : order) {
    const Summary& s = summaries[family];
    std::printf("%-10s %9d %8d %10d %9.3f %9.3f %9.3f %9.3f %8.4f%%  %s", family.c_str(), s.count, s.optimal,
                s.timed_out, s.total_time / s.count, s.max_time, s.total_cpu / s.count, s.max_cpu,
                100 * s.worst_gap, s.slowest.c_str());
    if (s.known > 0) std::printf("  (the known optimum met on %d of %d)", s.met_known, s.known);
    std::printf("\n");
  }
  if (faults > 0) std::printf("\n%d plans failed the check\n", faults);
  return faults > 0 ? 1 : 0;
}
