// The sheet planner on the ten classes of generated instances that the
// literature on two-dimensional bin packing reports on: Berkey and Wang's
// I to VI and Martello and Vigo's VII to X, n = 20, 40, 60, 80, 100, ten
// instances each, square sheets, no kerf, no trim. Prints, per class and n,
// the sheets of the plans, the sum of the proven bounds, the gap and the
// times; then a summary per class.
//
// Usage: bench_plan_sheets [--stages N] [--turn | --fixed] (both by default) [--classes I,II,...] [--sizes 20,40]
//                          [--time SECONDS]

#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ufhost/plan/check.h"
#include "ufhost/plan/sheets/sheets.h"

using namespace ufhost::plan;

namespace {

// A uniform integer in [lo, hi] from 64 random bits by rejection, so that
// instances are the same with any standard library.
std::int64_t uniform(std::mt19937_64& random, std::int64_t lo, std::int64_t hi) {
  const std::uint64_t span = static_cast<std::uint64_t>(hi - lo) + 1;
  const std::uint64_t limit = UINT64_MAX - UINT64_MAX % span;
  std::uint64_t v = random();
  while (v >= limit) v = random();
  return lo + static_cast<std::int64_t>(v % span);
}

const char* kClassNames[] = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X"};

// Sheet side and pieces of instance `index` of class `c` (0 for I) with n
// pieces; sizes in whole millimetres.
struct Instance {
  std::int64_t side;
  std::vector<Piece> pieces;
};

Instance generate(int c, int n, int index) {
  std::mt19937_64 random(static_cast<std::uint64_t>(1'000'003 * (c + 1) + 1'009 * n + index));
  Instance inst;
  const std::int64_t bw_side[] = {10, 30, 40, 100, 100, 300};
  const std::int64_t bw_max[] = {10, 10, 35, 35, 100, 100};
  inst.side = c < 6 ? bw_side[c] : 100;
  const std::int64_t w = inst.side;
  for (int i = 0; i < n; ++i) {
    std::int64_t a = 0, b = 0;  // a along the sheet's length, b across
    if (c < 6) {
      a = uniform(random, 1, bw_max[c]);
      b = uniform(random, 1, bw_max[c]);
    } else {
      // Type at 70 % is the class's own (VII: 1, VIII: 2, IX: 3, X: 4).
      const std::int64_t roll = uniform(random, 1, 100);
      const int own = c - 6;
      int type = own;
      if (roll > 70) {
        int k = static_cast<int>((roll - 71) / 10);  // 0, 1, 2: the other three in order
        type = k < own ? k : k + 1;
      }
      const std::int64_t two_thirds = (2 * w + 2) / 3, half = w / 2;
      switch (type) {
        case 0: a = uniform(random, two_thirds, w), b = uniform(random, 1, half); break;
        case 1: a = uniform(random, 1, half), b = uniform(random, two_thirds, w); break;
        case 2: a = uniform(random, half, w), b = uniform(random, half, w); break;
        default: a = uniform(random, 1, half), b = uniform(random, 1, half); break;
      }
    }
    inst.pieces.push_back({"p" + std::to_string(i), a * kPerMillimetre, b * kPerMillimetre, 1, true});
  }
  return inst;
}

double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Totals {
  std::int64_t sheets = 0, bound = 0, optimal = 0, runs = 0, failures = 0;
  double max_time = 0, sum_time = 0;
  double max_cpu = 0, sum_cpu = 0;  // processor time: the clock's figures swell when the machine is shared
  void add(const Totals& o) {
    max_cpu = std::max(max_cpu, o.max_cpu);
    sum_cpu += o.sum_cpu;
    sheets += o.sheets, bound += o.bound, optimal += o.optimal, runs += o.runs, failures += o.failures;
    max_time = std::max(max_time, o.max_time);
    sum_time += o.sum_time;
  }
};

void print_row(const char* cls, const char* n, const Totals& t) {
  const double gap = t.bound > 0 ? 100.0 * static_cast<double>(t.sheets - t.bound) / static_cast<double>(t.bound) : 0;
  const double runs = t.runs ? static_cast<double>(t.runs) : 1.0;
  std::printf("%-5s %4s %7lld %7lld %7.2f %5lld/%-3lld %8.3f %8.3f %8.3f %8.3f%s\n", cls, n,
              static_cast<long long>(t.sheets), static_cast<long long>(t.bound), gap, static_cast<long long>(t.optimal),
              static_cast<long long>(t.runs), t.max_time, t.sum_time / runs, t.max_cpu, t.sum_cpu / runs,
              t.failures ? "  CHECK FAILED" : "");
}

void run_variant(int stages, bool turn, const std::vector<int>& classes, const std::vector<int>& sizes,
                 double time_limit) {
  std::printf("\n%d-stage%s, %s\n", stages, stages == 0 ? " (any number)" : "",
              turn ? "pieces may turn" : "fixed orientation");
  std::printf("%-5s %4s %7s %7s %7s %9s %8s %8s %8s %8s\n", "class", "n", "sheets", "bound", "gap %", "optimal",
              "max s", "mean s", "cpu max", "cpu mean");
  Totals all;
  std::vector<Totals> per_class;
  for (int c : classes) {
    Totals cls;
    for (int n : sizes) {
      Totals row;
      for (int index = 0; index < 10; ++index) {
        Instance inst = generate(c, n, index);
        for (Piece& p : inst.pieces) p.may_turn = turn;
        const std::vector<Stock> stock{{"sheet", inst.side * kPerMillimetre, inst.side * kPerMillimetre, -1, {}, false}};
        Settings settings;
        settings.stages = stages;
        settings.time_limit = time_limit;
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = cpu_seconds();
        const Plan plan = plan_sheets(inst.pieces, stock, settings);
        const double cpu = cpu_seconds() - c0;
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const std::string why = check_sheets(inst.pieces, stock, settings, plan);
        if (!why.empty()) {
          std::fprintf(stderr, "class %s n %d #%d: %s\n", kClassNames[c], n, index, why.c_str());
          ++row.failures;
        }
        const std::int64_t area = inst.side * inst.side * kPerMillimetre * kPerMillimetre;
        row.sheets += plan.used[0];
        row.bound += static_cast<std::int64_t>(plan.lower_bound * 1e12 / static_cast<double>(area) + 0.5);
        row.optimal += plan.optimal ? 1 : 0;
        row.runs += 1;
        row.max_time = std::max(row.max_time, t);
        row.sum_time += t;
        row.max_cpu = std::max(row.max_cpu, cpu);
        row.sum_cpu += cpu;
      }
      print_row(kClassNames[c], std::to_string(n).c_str(), row);
      cls.add(row);
    }
    per_class.push_back(cls);
    all.add(cls);
  }
  std::printf("summary\n");
  for (std::size_t k = 0; k < classes.size(); ++k) print_row(kClassNames[classes[k]], "all", per_class[k]);
  print_row("all", "all", all);
  std::fflush(stdout);
}

std::vector<int> parse_list(const char* text, bool roman) {
  std::vector<int> out;
  std::string s(text);
  std::size_t start = 0;
  while (start <= s.size()) {
    const std::size_t comma = s.find(',', start);
    const std::string item = s.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (roman) {
      for (int c = 0; c < 10; ++c)
        if (item == kClassNames[c]) out.push_back(c);
    } else if (!item.empty()) {
      out.push_back(std::atoi(item.c_str()));
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int stages = 3;
  bool both = true, turn = false;
  double time_limit = Settings{}.time_limit;
  std::vector<int> classes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, sizes{20, 40, 60, 80, 100};
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--stages") && i + 1 < argc) stages = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--turn")) both = false, turn = true;
    else if (!std::strcmp(argv[i], "--fixed")) both = false, turn = false;
    else if (!std::strcmp(argv[i], "--classes") && i + 1 < argc) classes = parse_list(argv[++i], true);
    else if (!std::strcmp(argv[i], "--sizes") && i + 1 < argc) sizes = parse_list(argv[++i], false);
    else if (!std::strcmp(argv[i], "--time") && i + 1 < argc) time_limit = std::atof(argv[++i]);
    else {
      std::fprintf(stderr, "usage: %s [--stages N] [--turn|--fixed] [--classes I,II] [--sizes 20,40] [--time S]\n",
                   argv[0]);
      return 2;
    }
  }
  if (both) {
    run_variant(stages, false, classes, sizes, time_limit);
    run_variant(stages, true, classes, sizes, time_limit);
  } else {
    run_variant(stages, turn, classes, sizes, time_limit);
  }
  return 0;
}
