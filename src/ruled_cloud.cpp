// The vertex cloud of the search: its corners loaded from the facet models,
// turned and measured. The plain way turns one copy of every corner at a
// time with rotate_point, exactly as the operations are documented; the
// search runs the fast way, which gives the same bits, and falls back on the
// plain way where it could not.
//
// [SECTION] Rotation arithmetic
// [SECTION] Facet corners
// [SECTION] Turning and measuring the cloud, the plain way
// [SECTION] The fast evaluation
// [SECTION] The operations and the search's cloud, the fast way
//
// Floating point decides ties in the search: about Z the XY sum repeats every
// 90 degrees, so which of two angles wins comes down to the last bits, and
// the log shows it. Every expression below is written in the order it must be
// evaluated; the build forbids contraction into fused multiply-adds.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "src/get_zarvel.h"
#include "src/ruled_internal.h"

namespace {

// [SECTION] Rotation arithmetic

void normalise_axis(double k[3]) {
  const double length = std::sqrt(k[0] * k[0] + k[1] * k[1] + k[2] * k[2]);
  const double inverse = 1.0 / length;
  k[0] *= inverse;
  k[1] *= inverse;
  k[2] *= inverse;
}

// Rodrigues' matrix for the unit axis k, row by row. The diagonal stays
// tau*k*k + gamma: simplified it would give other bits.
void rotation_matrix(const double k[3], double angle, double m[9]) {
  const double gamma = std::cos(angle);
  const double sigma = std::sin(angle);
  const double tau = 1.0 - gamma;
  m[0] = tau * k[0] * k[0] + gamma;
  m[1] = tau * k[0] * k[1] - sigma * k[2];
  m[2] = tau * k[0] * k[2] + sigma * k[1];
  m[3] = tau * k[0] * k[1] + sigma * k[2];
  m[4] = tau * k[1] * k[1] + gamma;
  m[5] = tau * k[1] * k[2] - sigma * k[0];
  m[6] = tau * k[0] * k[2] - sigma * k[1];
  m[7] = tau * k[1] * k[2] + sigma * k[0];
  m[8] = tau * k[2] * k[2] + gamma;
}

void apply_rotation(const double m[9], double p[3]) {
  const double x = p[0];
  const double y = p[1];
  const double z = p[2];
  p[0] = m[0] * x + m[1] * y + m[2] * z;
  p[1] = m[3] * x + m[4] * y + m[5] * z;
  p[2] = m[6] * x + m[7] * y + m[8] * z;
}

// rotate_point normalises the axis on every call. When one normalisation
// gives an axis that a second leaves bit for bit as it is, every point of a
// cloud is turned by the same matrix and the axis ends as that one; the
// search's axes (0, 0, 1), (0, 1, 0), (1, 0, 0) are such. Otherwise the
// matrix may change from point to point and only the plain way is exact.
bool settled_axis(const double axis[3], double settled[3]) {
  double again[3];
  std::memcpy(settled, axis, sizeof again);
  normalise_axis(settled);
  std::memcpy(again, settled, sizeof again);
  normalise_axis(again);
  return std::memcmp(again, settled, sizeof again) == 0;
}

void widen(const double p[3], double lower[3], double upper[3]) {
  for (int c = 0; c < 3; ++c)
    if (upper[c] < p[c]) upper[c] = p[c];
  for (int c = 0; c < 3; ++c)
    if (lower[c] > p[c]) lower[c] = p[c];
}

void copy3(const double from[3], double to[3]) { std::memcpy(to, from, 3 * sizeof(double)); }

void zero_corners(double lower[3], double upper[3]) {
  for (int c = 0; c < 3; ++c) lower[c] = upper[c] = 0.0;
}

}  // namespace

// [SECTION] Facet corners

int count_facet_vertices(tag_t facet_model) {
  long long total = 0;
  for (int facet_nom = next_facet(facet_model, -1); facet_nom != -1 && total < INT_MAX;
       facet_nom = next_facet(facet_model, facet_nom)) {
    int num_vertices_in_facet = 0;
    if (UF_FACET_ask_num_verts_in_facet(facet_model, facet_nom, &num_vertices_in_facet) == 0 &&
        num_vertices_in_facet > 0)
      total += num_vertices_in_facet;
  }
  return total < INT_MAX ? static_cast<int>(total) : INT_MAX;
}

// The second walk over the facets need not meet what the first counted: a
// call may fail in one and not in the other. So the count bounds the writes,
// and what arrived is what the caller gets.
int load_facet_vertices(tag_t facet_model, int start, int count, double (*cloud)[3]) {
  int max_vertices_in_facet = 0;
  if (UF_FACET_ask_max_facet_verts(facet_model, &max_vertices_in_facet) != 0 ||
      max_vertices_in_facet < 1)
    return 0;
  std::unique_ptr<double[][3]> buffer(new (std::nothrow) double[max_vertices_in_facet][3]);
  if (!buffer) return 0;
  int loaded = 0;
  for (int facet_nom = next_facet(facet_model, -1); facet_nom != -1 && loaded < count;
       facet_nom = next_facet(facet_model, facet_nom)) {
    const int n = read_facet(facet_model, facet_nom, max_vertices_in_facet, buffer.get());
    if (n > count - loaded) continue;  // no room left for the whole facet
    for (int i = 0; i < n; ++i) copy3(buffer[i], cloud[start + loaded + i]);
    loaded += n;
  }
  return loaded;
}

// [SECTION] Turning and measuring the cloud, the plain way

void rotate_point(double point[3], double axis[3], double angle) {
  normalise_axis(axis);
  double m[9];
  rotation_matrix(axis, angle, m);
  apply_rotation(m, point);
}

void rotate_cloud_plain(double angle, double axis[3], int count, double (*cloud)[3]) {
  for (int i = 0; i < count; ++i) rotate_point(cloud[i], axis, angle);
}

void translate_cloud(const double vector[3], int count, double (*cloud)[3]) {
  for (int i = 0; i < count; ++i)
    for (int c = 0; c < 3; ++c) cloud[i][c] += vector[c];
}

void rotated_extents_plain(double lower[3], double upper[3], double angle, double axis[3],
                           int count, double (*cloud)[3]) {
  if (count < 1) {
    zero_corners(lower, upper);
    return;
  }
  double model_vertex1[3];
  copy3(cloud[0], model_vertex1);
  rotate_point(model_vertex1, axis, angle);
  copy3(model_vertex1, lower);
  copy3(model_vertex1, upper);
  for (int i = 1; i < count; ++i) {
    copy3(cloud[i], model_vertex1);
    rotate_point(model_vertex1, axis, angle);
    widen(model_vertex1, lower, upper);
  }
}

// [SECTION] The fast evaluation
//
// The rotation is computed once per angle and applied to each distinct
// point once: a corner repeated by the facets that share it cannot change a
// smallest or a largest value. The points sit in three arrays and are taken
// kLanes at a time, each lane keeping its own corners. A lane replaces its
// corner only on a strict comparison, as the plain way does, and every lane
// starts from point 0, so a lane's corner coordinate is the first value in
// its own order to reach its extreme (and a NaN at point 0 stays, as it
// does there). Equal doubles have equal bits except +0 and -0; so the merged
// corner is bit for bit the plain one unless an extreme is zero, and then
// the points are taken again, in order.

namespace {

// Four lanes a vector. Written with the compiler's vector types so that the
// loop is vectorised whatever its cost model thinks: 256-bit registers where
// the processor has them, two 128-bit halves otherwise. Each lane does the
// same IEEE operations, in the same order, as the scalar expressions.
constexpr int kLanes = 4;
typedef double Lanes __attribute__((vector_size(kLanes * sizeof(double))));

void ordered_extents(const double m[9], const double* xs, const double* ys, const double* zs,
                     int count, double lower[3], double upper[3]) {
  double p[3] = {xs[0], ys[0], zs[0]};
  apply_rotation(m, p);
  copy3(p, lower);
  copy3(p, upper);
  for (int i = 1; i < count; ++i) {
    p[0] = xs[i];
    p[1] = ys[i];
    p[2] = zs[i];
    apply_rotation(m, p);
    widen(p, lower, upper);
  }
}

// Corners of the distinct points turned by m; with kWithZ false only their
// X and Y are written, which is all a trial angle needs.
template <bool kWithZ>
inline __attribute__((always_inline)) void lane_extents(const double m[9], const double* xs,
                                                        const double* ys, const double* zs,
                                                        int count, double lower[3],
                                                        double upper[3]) {
  double first[3] = {xs[0], ys[0], zs[0]};
  apply_rotation(m, first);
  // Copied, not broadcast by an addition, which would turn -0 into +0.
  Lanes hx = {first[0], first[0], first[0], first[0]}, lx = hx;
  Lanes hy = {first[1], first[1], first[1], first[1]}, ly = hy;
  Lanes hz = {first[2], first[2], first[2], first[2]}, lz = hz;
  int i = 1;
  for (; i + kLanes <= count; i += kLanes) {
    Lanes x, y, z;
    std::memcpy(&x, xs + i, sizeof x);
    std::memcpy(&y, ys + i, sizeof y);
    std::memcpy(&z, zs + i, sizeof z);
    const Lanes nx = m[0] * x + m[1] * y + m[2] * z;
    const Lanes ny = m[3] * x + m[4] * y + m[5] * z;
    hx = hx < nx ? nx : hx;
    hy = hy < ny ? ny : hy;
    lx = lx > nx ? nx : lx;
    ly = ly > ny ? ny : ly;
    if (kWithZ) {
      const Lanes nz = m[6] * x + m[7] * y + m[8] * z;
      hz = hz < nz ? nz : hz;
      lz = lz > nz ? nz : lz;
    }
  }
  // Lane 0 takes the last points, still in their order.
  for (; i < count; ++i) {
    double p[3] = {xs[i], ys[i], zs[i]};
    apply_rotation(m, p);
    hx[0] = hx[0] < p[0] ? p[0] : hx[0];
    hy[0] = hy[0] < p[1] ? p[1] : hy[0];
    hz[0] = hz[0] < p[2] ? p[2] : hz[0];
    lx[0] = lx[0] > p[0] ? p[0] : lx[0];
    ly[0] = ly[0] > p[1] ? p[1] : ly[0];
    lz[0] = lz[0] > p[2] ? p[2] : lz[0];
  }
  const int axes = kWithZ ? 3 : 2;
  upper[0] = hx[0];
  upper[1] = hy[0];
  upper[2] = hz[0];
  lower[0] = lx[0];
  lower[1] = ly[0];
  lower[2] = lz[0];
  for (int j = 1; j < kLanes; ++j) {
    const double h[3] = {hx[j], hy[j], hz[j]};
    const double l[3] = {lx[j], ly[j], lz[j]};
    for (int c = 0; c < axes; ++c) {
      if (upper[c] < h[c]) upper[c] = h[c];
      if (lower[c] > l[c]) lower[c] = l[c];
    }
  }
  for (int c = 0; c < axes; ++c) {
    if (upper[c] == 0.0 || lower[c] == 0.0) {
      ordered_extents(m, xs, ys, zs, count, lower, upper);
      return;
    }
  }
}

// The same loop built a second time for processors with 256-bit vectors,
// chosen when the library is loaded. The instructions differ, the arithmetic
// does not: each lane still does one IEEE multiply or add at a time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define RULED_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define RULED_VECTOR_CLONES
#endif

RULED_VECTOR_CLONES
void xy_extents(const double m[9], const double* xs, const double* ys, const double* zs, int count,
                double lower[3], double upper[3]) {
  lane_extents<false>(m, xs, ys, zs, count, lower, upper);
}

RULED_VECTOR_CLONES
void xyz_extents(const double m[9], const double* xs, const double* ys, const double* zs, int count,
                 double lower[3], double upper[3]) {
  lane_extents<true>(m, xs, ys, zs, count, lower, upper);
}

std::uint64_t bits_of(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

}  // namespace

// [SECTION] The operations and the search's cloud, the fast way

void rotated_extents(double lower[3], double upper[3], double angle, double axis[3], int count,
                     double (*cloud)[3]) {
  double settled[3];
  if (count < 1 || !settled_axis(axis, settled)) {
    rotated_extents_plain(lower, upper, angle, axis, count, cloud);
    return;
  }
  double m[9];
  rotation_matrix(settled, angle, m);
  double p[3];
  copy3(cloud[0], p);
  apply_rotation(m, p);
  copy3(p, lower);
  copy3(p, upper);
  for (int i = 1; i < count; ++i) {
    copy3(cloud[i], p);
    apply_rotation(m, p);
    widen(p, lower, upper);
  }
  copy3(settled, axis);
}

void rotate_cloud(double angle, double axis[3], int count, double (*cloud)[3]) {
  double settled[3];
  if (count < 1 || !settled_axis(axis, settled)) {
    rotate_cloud_plain(angle, axis, count, cloud);
    return;
  }
  double m[9];
  rotation_matrix(settled, angle, m);
  for (int i = 0; i < count; ++i) apply_rotation(m, cloud[i]);
  copy3(settled, axis);
}

void prepare_search_cloud(Evaluation evaluation, int count, double (*cloud)[3],
                          SearchCloud* search) {
  search->plain = evaluation == Evaluation::kPlain || count < 1;
  search->count = count;
  search->cloud = cloud;
  search->x.clear();
  search->y.clear();
  search->z.clear();
  if (search->plain) return;

  // Open addressing on the bit patterns, at most half full.
  std::size_t size = 16;
  while (size < 2 * static_cast<std::size_t>(count)) size *= 2;
  std::vector<int> slots(size, -1);
  std::vector<std::uint64_t> bx, by, bz;
  for (int i = 0; i < count; ++i) {
    const std::uint64_t x = bits_of(cloud[i][0]);
    const std::uint64_t y = bits_of(cloud[i][1]);
    const std::uint64_t z = bits_of(cloud[i][2]);
    std::uint64_t h = x * 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 29) ^ y) * 0xBF58476D1CE4E5B9ull;
    h = (h ^ (h >> 32) ^ z) * 0x94D049BB133111EBull;
    h ^= h >> 31;
    std::size_t s = static_cast<std::size_t>(h) & (size - 1);
    for (;;) {
      const int d = slots[s];
      if (d < 0) {
        slots[s] = static_cast<int>(bx.size());
        bx.push_back(x);
        by.push_back(y);
        bz.push_back(z);
        search->x.push_back(cloud[i][0]);
        search->y.push_back(cloud[i][1]);
        search->z.push_back(cloud[i][2]);
        break;
      }
      if (bx[d] == x && by[d] == y && bz[d] == z) break;
      s = (s + 1) & (size - 1);
    }
  }
}

int search_cloud_distinct(const SearchCloud& search) {
  return search.plain ? search.count : static_cast<int>(search.x.size());
}

bool search_cloud_extents(SearchCloud* search, double lower[3], double upper[3], double angle,
                          double axis[3], bool with_z) {
  double settled[3];
  if (!search->plain && !settled_axis(axis, settled)) search->plain = true;
  if (search->plain) {
    rotated_extents_plain(lower, upper, angle, axis, search->count, search->cloud);
    return true;
  }
  double m[9];
  rotation_matrix(settled, angle, m);
  const int n = static_cast<int>(search->x.size());
  if (with_z)
    xyz_extents(m, search->x.data(), search->y.data(), search->z.data(), n, lower, upper);
  else
    xy_extents(m, search->x.data(), search->y.data(), search->z.data(), n, lower, upper);
  copy3(settled, axis);
  return with_z;
}

void search_cloud_rotate(SearchCloud* search, double angle, double axis[3]) {
  double settled[3];
  if (!search->plain && !settled_axis(axis, settled)) search->plain = true;
  if (search->plain) {
    rotate_cloud_plain(angle, axis, search->count, search->cloud);
    return;
  }
  double m[9];
  rotation_matrix(settled, angle, m);
  for (int i = 0; i < search->count; ++i) apply_rotation(m, search->cloud[i]);
  double* xs = search->x.data();
  double* ys = search->y.data();
  double* zs = search->z.data();
  const int n = static_cast<int>(search->x.size());
  for (int i = 0; i < n; ++i) {
    const double x = xs[i];
    const double y = ys[i];
    const double z = zs[i];
    xs[i] = m[0] * x + m[1] * y + m[2] * z;
    ys[i] = m[3] * x + m[4] * y + m[5] * z;
    zs[i] = m[6] * x + m[7] * y + m[8] * z;
  }
  copy3(settled, axis);
}
