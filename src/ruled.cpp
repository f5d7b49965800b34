// The minimum-dimension search: the angle scan and refinement, the passes,
// the search log, the turning of model objects, and the command that drives
// them. The vertex cloud they work on is in ruled_cloud.cpp.
//
// [SECTION] The debug configuration
// [SECTION] Angle scan and refinement
// [SECTION] Search log and turning of model objects
// [SECTION] The search command
//
// As in the cloud's arithmetic, floating point decides ties here, and every
// expression is written in the order it must be evaluated.
#include "src/ruled.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "src/Main.h"
#include "src/get_zarvel.h"
#include "src/result_dialog.h"
#include "src/ruled_internal.h"
#include "src/search_log.h"

namespace {

// [SECTION] The debug configuration
//
// Everything the debug build of the search does otherwise, in one record;
// nothing else in the search asks which build it is.
struct Configuration {
  // The scan also takes the half turn, 180 degrees, which the release build
  // leaves out as the orientation of 0.
  bool scan_half_turn;
  // Passes about Z, Y and X, and with 4 about Z again.
  int passes;
  // The log's file, replaced at every run; null: the one the user chooses in
  // the save dialog.
  const char* fixed_log;
  // The log's lines: after every pass its angles and the cloud's lengths,
  // and three closing lines; otherwise the rotation point before the passes,
  // a line for each pass that turns, and the final dimensions.
  bool log_every_pass;
  // The result dialog after the final measure.
  bool result_dialog;
};

#ifdef ZARVEL_DEBUG
constexpr Configuration kConfiguration = {/*scan_half_turn=*/true, /*passes=*/3,
                                          /*fixed_log=*/"test.txt", /*log_every_pass=*/true,
                                          /*result_dialog=*/true};
#else
constexpr Configuration kConfiguration = {/*scan_half_turn=*/false, /*passes=*/4,
                                          /*fixed_log=*/nullptr, /*log_every_pass=*/false,
                                          /*result_dialog=*/false};
#endif

constexpr double kPi = 3.141592653589793;
// Degrees per radian for turning model objects. The log's degrees are
// computed otherwise (angle / kPi * 180, and angle * 180 / kPi in the debug
// build's closing lines); the three can differ in the last bit, so each keeps
// its own.
constexpr double kDegreesPerRadian = 57.29577951308232;

double xy_sum_of(const double lower[3], const double upper[3]) {
  return std::fabs(upper[0] - lower[0]) + std::fabs(upper[1] - lower[1]);
}

// The evaluation of a search cloud as the scan and the refinement take it.
ExtentsFn extents_of(SearchCloud* search) {
  return [search](double* lo, double* up, double a, double* k, bool with_z) {
    return search_cloud_extents(search, lo, up, a, k, with_z);
  };
}

}  // namespace

// [SECTION] Angle scan and refinement

// Trial angles are measured without Z when the evaluation allows it: which
// angle wins depends on the XY sums alone, and the corners kept are measured
// once more in full at the end.
void scan_rotation_by(const ExtentsFn& extents, double axis[3], double* xy_sum, double lower[3],
                      double upper[3], double* angle) {
  double zmin[3], zmax[3], tmin[3], tmax[3];
  bool z_known = extents(zmin, zmax, 0.0, axis, false);
  double best_sum = xy_sum_of(zmin, zmax);
  double best_angle = 0.0;
  const double step = kPi * (1.0 / 180.0);
  const double bound = kConfiguration.scan_half_turn ? kPi : kPi - step;
  for (double a = 0.0 + step; a < bound; a += step) {
    const bool full = extents(tmin, tmax, a, axis, false);
    const double sum = xy_sum_of(tmin, tmax);
    if (best_sum > sum) {
      best_angle = a;
      best_sum = sum;
      std::copy_n(tmin, 3, zmin);
      std::copy_n(tmax, 3, zmax);
      z_known = full;
    }
  }
  if (!z_known) extents(zmin, zmax, best_angle, axis, true);
  *xy_sum = best_sum;
  std::copy_n(zmin, 3, lower);
  std::copy_n(zmax, 3, upper);
  *angle = best_angle;
}

double refine_rotation_by(const ExtentsFn& extents, double lower[3], double upper[3],
                          double axis[3], double start, double tolerance, int* passes) {
  double a = start;
  double t = kPi / 360.0;
  double u = 0.0;
  double zmin[3], zmax[3], tmin[3], tmax[3];
  bool z_known = extents(zmin, zmax, a, axis, false);
  double best_sum = xy_sum_of(zmin, zmax);
  double spread = tolerance + 1.0;
  int made = 0;
  while (tolerance < spread) {
    // When a - t and a + t are a itself, or t is 0, every later trial
    // measures the cloud as it stands, no move can be accepted any more,
    // and the result can no longer change. Without this the loop would not
    // end once a move has been made at a step well above the tolerance and
    // none after it, nor ever for a tolerance below zero.
    if (t == 0.0 || (a - t == a && a + t == a)) break;
    // The minus side first; the plus side only when that gave no smaller sum.
    for (const double trial : {a - t, a + t}) {
      const bool full = extents(tmin, tmax, trial, axis, false);
      const double sum = xy_sum_of(tmin, tmax);
      if (best_sum > sum) {
        a = trial;
        best_sum = sum;
        std::copy_n(tmin, 3, zmin);
        std::copy_n(tmax, 3, zmax);
        z_known = full;
        u = t;
        break;
      }
    }
    t = t * 0.5;
    spread = std::fabs(u - t);
    ++made;
  }
  if (!z_known) extents(zmin, zmax, a, axis, true);
  std::copy_n(zmin, 3, lower);
  std::copy_n(zmax, 3, upper);
  if (passes != nullptr) *passes = made;
  return a;
}

void scan_rotation(double axis[3], double* xy_sum, double lower[3], double upper[3], double* angle,
                   int count, double (*cloud)[3]) {
  SearchCloud search;
  prepare_search_cloud(Evaluation::kFast, count, cloud, &search);
  scan_rotation_by(extents_of(&search), axis, xy_sum, lower, upper, angle);
}

double refine_rotation(double lower[3], double upper[3], double axis[3], double start, int count,
                       double (*cloud)[3], double tolerance) {
  SearchCloud search;
  prepare_search_cloud(Evaluation::kFast, count, cloud, &search);
  return refine_rotation_by(extents_of(&search), lower, upper, axis, start, tolerance, nullptr);
}

void search_pass(SearchCloud* search, const double axis[3], double tolerance, SearchPass* pass) {
  std::copy_n(axis, 3, pass->axis);
  const ExtentsFn extents = extents_of(search);
  double msum = 0.0;  // not used further
  scan_rotation_by(extents, pass->axis, &msum, pass->lower, pass->upper, &pass->coarse);
  pass->angle = refine_rotation_by(extents, pass->lower, pass->upper, pass->axis, pass->coarse,
                                   tolerance, nullptr);
}

namespace {

// The axes of the passes in order, and the slot of the angle each finds in
// the X, Y, Z angle record.
struct PassAxis {
  double axis[3];
  int slot;
};
constexpr PassAxis kPassAxes[] = {
    {{0.0, 0.0, 1.0}, 2}, {{0.0, 1.0, 0.0}, 1}, {{1.0, 0.0, 0.0}, 0}, {{0.0, 0.0, 1.0}, 2}};
static_assert(kConfiguration.passes <= 4, "more passes than axes");

}  // namespace

int search_passes(SearchCloud* search, double tolerance, SearchPass* passes, const PassDone& done) {
  for (int p = 0; p < kConfiguration.passes; ++p) {
    search_pass(search, kPassAxes[p].axis, tolerance, &passes[p]);
    if (passes[p].angle != 0.0) search_cloud_rotate(search, passes[p].angle, passes[p].axis);
    if (done) done(p, passes[p]);
  }
  return kConfiguration.passes;
}

// [SECTION] Search log and turning of model objects

TextBuffer ask_log_path() {
  TextBuffer path;
  SaveFileDialog dialog(false, "txt", "*.txt", OFN_HIDEREADONLY,
                        "MyType Files (*.txt)|*.txt|Text Files (*.txt)|*.txt||", NULL,
                        OPENFILENAME_SIZE_VERSION_400);
  if (dialog.DoModal() == IDOK) path = dialog.GetPathName();
  return path;
}

void transform_objects(const tag_t* objects, int count, double direction[3], double degrees,
                       int code, tag_t** copies, double origin[3]) {
  double transform[16];
  UF_MTX4_identity(transform);
  // Without the rotation the matrix is not the turn asked for, perhaps not
  // even a matrix: nothing is turned or copied.
  if (UF_MTX4_rotation(origin, direction, degrees, transform) != 0) return;
  const int layer = 0;  // each object keeps its own
  const int trace = 2;  // no trace curves
  int status = 0;       // not read: a failed turn goes unnoticed, as the search expects
  tag_t trace_group = NULL_TAG;
  uf5947_(transform, objects, &count, &code, &layer, &trace, *copies, &trace_group, &status);
}

// [SECTION] The search command

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using LogFile = std::unique_ptr<std::FILE, FileCloser>;

// The precision dialog; returns what the dialog leaves in its value.
double ask_tolerance() {
  char menu_tol[1][UF_UI_LABEL_SIZE] = {"Точность угла:"};
  int default_int_tol[1] = {1};
  double tol_rot[1] = {0.000001};
  int var_type_tol[1] = {1};
  uc1608("Введите точность", menu_tol, 1, default_int_tol, tol_rot, var_type_tol);
  return tol_rot[0];
}

// The log's lines that name a pass's angle, by the slot of the angle.
const char* pass_line(int slot) { return kSearchAngleLines[slot < 2 ? slot : 2]; }

}  // namespace

void search_min_dimensions(const tag_t* objects, int n) {
  search_min_dimensions_by(objects, n, Evaluation::kFast);
}

// Ends without touching the part when the precision cannot end the
// refinement sensibly, before the log is opened when no corner was loaded,
// and before any copy is made when there is no log to write.
void search_min_dimensions_by(const tag_t* objects, int n, Evaluation evaluation) {
  if (objects == nullptr || n < 1) return;
  std::vector<tag_t> facet_tags(objects, objects + n);
  std::vector<int> vertex_counts(n, 0);
  std::vector<tag_t> ret_cpy_tags(n, NULL_TAG);
  std::vector<tag_t> ret_cpy_temp(n, NULL_TAG);

  const double tol_rot = ask_tolerance();
  if (!(tol_rot > 0.0) || !std::isfinite(tol_rot)) {
    tell_user("Точность угла должна быть конечным числом больше нуля.");
    return;
  }

  // A body the host could not facet keeps its own tag and gives no corners;
  // its facets are not asked for.
  long long total = 0;
  for (int i = 0; i < n; ++i) {
    if (make_faceted(&facet_tags[i]) == 0) vertex_counts[i] = count_facet_vertices(facet_tags[i]);
    total += vertex_counts[i];
  }
  if (total > INT_MAX) {
    tell_user("Слишком много вершин фасетной модели для поиска.");
    return;
  }
  std::vector<double> storage(3 * static_cast<std::size_t>(total), 0.0);
  double(*cloud)[3] = reinterpret_cast<double(*)[3]>(storage.data());
  // Each body's corners follow those that arrived before them; the search
  // and its log go by what arrived, which a failing host call may cut short.
  int count = 0;
  for (int i = 0; i < n; ++i)
    if (vertex_counts[i] > 0)
      count += load_facet_vertices(facet_tags[i], count, vertex_counts[i], cloud);
  if (count == 0) {
    tell_user("Не получено ни одной вершины фасетной модели: искать нечего.");
    return;
  }

  const TextBuffer log_path =
      kConfiguration.fixed_log != nullptr ? TextBuffer(kConfiguration.fixed_log) : ask_log_path();
  if (log_path.empty()) return;  // the user chose no file
  LogFile log(std::fopen(log_path, "w+"));
  if (!log) {
    const std::string text = std::string("Не удалось открыть файл протокола:\n") + log_path.c_str();
    tell_user(text.c_str());
    return;
  }
  std::FILE* f = log.get();
  std::fprintf(f, "Count tags: %d\n", n);
  for (int i = 0; i < n; ++i) std::fprintf(f, "\tTag: %d\n", static_cast<int>(facet_tags[i]));
  std::fprintf(f, "Count vertex: %d\n", count);

  double axis[3] = {0.0, 0.0, 1.0};
  double mmin[3], mmax[3], dtrans[3];
  if (evaluation == Evaluation::kPlain)
    rotated_extents_plain(mmin, mmax, 0.0, axis, count, cloud);
  else
    rotated_extents(mmin, mmax, 0.0, axis, count, cloud);
  for (int c = 0; c < 3; ++c) dtrans[c] = mmin[c] + std::fabs(mmin[c] - mmax[c]) * 0.5;
  if (!kConfiguration.log_every_pass)
    std::fprintf(f, "Поворот вокруг точки: %f %f %f\n", dtrans[0], dtrans[1], dtrans[2]);
  translate_cloud(dtrans, count, cloud);

  tag_t* copies = ret_cpy_tags.data();
  transform_objects(objects, n, axis, 0.0, 2, &copies, dtrans);

  SearchCloud search;
  prepare_search_cloud(evaluation, count, cloud, &search);
  double nangle[3] = {0.0, 0.0, 0.0};
  tag_t* moved = ret_cpy_temp.data();
  SearchPass passes[4];
  // The cloud is turned by then; the copies are turned alike here.
  search_passes(&search, tol_rot, passes, [&](int number, const SearchPass& pass) {
    const double angle = pass.angle;
    const int slot = kPassAxes[number].slot;
    nangle[slot] = angle;
    std::copy_n(pass.axis, 3, axis);
    if (angle != 0.0) {
      if (!kConfiguration.log_every_pass)
        std::fprintf(f, pass_line(slot), angle / kPi * 180.0, angle);
      transform_objects(ret_cpy_tags.data(), n, axis, angle * kDegreesPerRadian, 1, &moved, dtrans);
    }
    if (kConfiguration.log_every_pass) {
      const double lengths[3] = {std::fabs(pass.upper[0] - pass.lower[0]),
                                 std::fabs(pass.upper[1] - pass.lower[1]),
                                 std::fabs(pass.upper[2] - pass.lower[2])};
      std::fprintf(f, " Угол: %f %f %f Габариты: X %f Y %f Z %f Сумма: %f\n", nangle[0], nangle[1],
                   nangle[2], lengths[0], lengths[1], lengths[2], dimensions_sum(lengths));
    }
  });

  double record[4] = {0.0, 0.0, 0.0, 0.0};
  compute_extents(ret_cpy_tags.data(), n, record, kSearchFinalTolerance, true);
  record[3] = dimensions_sum(record);
  if (kConfiguration.result_dialog) show_dimensions(record, kResultItems);
  if (kConfiguration.log_every_pass) {
    std::fprintf(f, "Поворот вокруг точки: %f %f %f\n", dtrans[0], dtrans[1], dtrans[2]);
    std::fprintf(f, "Угол поворота: %f(%f) %f(%f) %f(%f)\n", nangle[0] * 180.0 / kPi, nangle[0],
                 nangle[1] * 180.0 / kPi, nangle[1], nangle[2] * 180.0 / kPi, nangle[2]);
    std::fprintf(f, "Габариты: X %f Y %f Z %f Сумма: %f\n", record[0], record[1], record[2],
                 record[3]);
  } else {
    std::fprintf(f, kSearchFinalLine, record[0], record[1], record[2], record[3]);
  }
  log.reset();
}
