// The minimum-dimension search: the cloud arithmetic, the scan and the
// refinement, the fast evaluation against the plain one bit for bit, and the
// command against the stand-in host in the same process.
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <gp_Ax1.hxx>
#include <gp_Trsf.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "src/get_zarvel.h"
#include "src/ruled.h"
#include "src/ruled_internal.h"
#include "tests/support/support.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/session/session.h"
#include "ufhost/session/transcript.h"
#include "ufhost/ui/ui.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegree = kPi * (1.0 / 180.0);

using testing_support::log_lines;
using testing_support::numbers_in;
using ufhost::Kind;
using ufhost::Object;
using ufhost::session;
using Point = std::array<double, 3>;
using Cloud = std::vector<Point>;

double (*raw(Cloud& c))[3] { return reinterpret_cast<double(*)[3]>(c.data()); }

bool same_bits(const double* a, const double* b, int n) {
  return std::memcmp(a, b, sizeof(double) * static_cast<std::size_t>(n)) == 0;
}

// The eight corners of a w x h x d box with its lower corner at `origin`,
// turned by `degrees` about Z through the origin of coordinates.
Cloud box_cloud(double w, double h, double d, double degrees = 0.0, Point origin = {0, 0, 0}) {
  const double c = std::cos(degrees * kPi / 180.0);
  const double s = std::sin(degrees * kPi / 180.0);
  Cloud cloud;
  for (int i = 0; i < 8; ++i) {
    const double x = origin[0] + ((i & 1) ? w : 0.0);
    const double y = origin[1] + ((i & 2) ? h : 0.0);
    const double z = origin[2] + ((i & 4) ? d : 0.0);
    cloud.push_back({c * x - s * y, s * x + c * y, z});
  }
  return cloud;
}

// Twelve triangles over the box's corners, as a facet model lists them.
const int kBoxTriangles[12][3] = {{0, 1, 3}, {0, 3, 2}, {4, 6, 7}, {4, 7, 5}, {0, 4, 5}, {0, 5, 1},
                                  {2, 3, 7}, {2, 7, 6}, {0, 2, 6}, {0, 6, 4}, {1, 5, 7}, {1, 7, 3}};

Cloud triangle_corners(const Cloud& corners) {
  Cloud out;
  for (const auto& t : kBoxTriangles)
    for (int k : t) out.push_back(corners[k]);
  return out;
}

ExtentsFn plain_extents(Cloud& cloud) {
  return [&cloud](double* lo, double* up, double a, double* k, bool) {
    rotated_extents_plain(lo, up, a, k, static_cast<int>(cloud.size()), raw(cloud));
    return true;
  };
}

// --- rotation arithmetic ---------------------------------------------------

TEST(RotatePoint, TurnsAboutTheAxisAndLeavesItNormalised) {
  const double r3 = 1.0 / std::sqrt(3.0);
  struct Case {
    const char* name;
    Point point, axis;
    double angle;
    Point expect, expect_axis;
  };
  const Case cases[] = {
      {"x to y about a long Z", {1, 0, 0}, {0, 0, 2}, kPi / 2, {0, 1, 0}, {0, 0, 1}},
      {"y to z about X", {0, 1, 0}, {3, 0, 0}, kPi / 2, {0, 0, 1}, {1, 0, 0}},
      {"z to -x about -Y", {0, 0, 1}, {0, -1, 0}, kPi / 2, {-1, 0, 0}, {0, -1, 0}},
      {"negative angle", {1, 0, 0}, {0, 0, 1}, -kPi / 2, {0, -1, 0}, {0, 0, 1}},
      {"third turn about the diagonal", {1, 1, 0}, {5, 5, 5}, 2 * kPi / 3, {0, 1, 1}, {r3, r3, r3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Point p = c.point, k = c.axis;
    rotate_point(p.data(), k.data(), c.angle);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(c.expect[i], p[i], 1e-15);
      EXPECT_NEAR(c.expect_axis[i], k[i], 2e-16);
    }
  }
}

TEST(Cloud, CountsBelowOneChangeNothing) {
  Cloud cloud = box_cloud(3, 2, 1, 25.0);
  const Cloud before = cloud;
  double axis[3] = {0, 0, 1};
  double shift[3] = {5, 6, 7};
  for (int count : {0, -1}) {
    rotate_cloud(0.5, axis, count, raw(cloud));
    rotate_cloud_plain(0.5, axis, count, raw(cloud));
    translate_cloud(shift, count, raw(cloud));
  }
  EXPECT_EQ(before, cloud);
}

TEST(Cloud, SinglePointIsBothCornersAndAnEmptyCloudGivesZeros) {
  Cloud one = {{1, 2, 3}};
  double lo[3], up[3], axis[3] = {0, 0, 1};
  rotated_extents(lo, up, kPi / 2, axis, 1, raw(one));
  EXPECT_TRUE(same_bits(lo, up, 3));
  EXPECT_NEAR(-2, lo[0], 1e-15);
  EXPECT_NEAR(1, lo[1], 1e-15);
  EXPECT_EQ(3, lo[2]);
  EXPECT_EQ(one, (Cloud{{1, 2, 3}}));  // only copies are turned

  // Nothing to start from: zero corners, angle 0, the start angle back.
  double sum = -1, angle = -1;
  for (double& v : lo) v = 9;
  scan_rotation(axis, &sum, lo, up, &angle, 0, nullptr);
  EXPECT_EQ(0, sum);
  EXPECT_EQ(0, angle);
  EXPECT_EQ(0, lo[0]);
  EXPECT_EQ(0, up[2]);
  EXPECT_EQ(0.25, refine_rotation(lo, up, axis, 0.25, 0, nullptr, 1e-6));
}

// --- scan and refinement -------------------------------------------------

TEST(Scan, TakesEveryWholeDegreeBelowTheHalfTurnByRepeatedAddition) {
  // A sum that falls with the angle makes the last angle taken the winner.
  std::vector<double> taken;
  const ExtentsFn falling = [&taken](double* lo, double* up, double a, double*, bool) {
    taken.push_back(a);
    for (int c = 0; c < 3; ++c) lo[c] = up[c] = 0.0;
    up[0] = 10.0 - a;
    return true;
  };
  double axis[3] = {0, 0, 1}, lo[3], up[3], sum = 0, angle = 0;
  scan_rotation_by(falling, axis, &sum, lo, up, &angle);
  ASSERT_EQ(180u, taken.size());
  EXPECT_EQ(0.0, taken.front());
  EXPECT_EQ(3.1241393610698394, taken.back());
  EXPECT_EQ(3.1241393610698394, angle);
  EXPECT_EQ(10.0 - angle, sum);
  // Multiplying instead would land 179 degrees on the bound and lose it.
  EXPECT_FALSE(179 * kDegree < kPi - kDegree);
}

TEST(Scan, BoxesFindTheFirstOrientationOfSmallestSum) {
  struct Case {
    const char* name;
    double turned;         // degrees about Z in the model
    double expect_coarse;  // degrees
    double expect_x, expect_y;
  };
  const Case cases[] = {{"axis aligned", 0.0, 0.0, 100, 50},
                        {"turned 10 degrees", 10.0, 80.0, 50, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Cloud cloud = triangle_corners(box_cloud(100, 50, 20, c.turned, {3, 4, 5}));
    double axis[3] = {0, 0, 1}, lo[3], up[3], sum = 0, angle = -1;
    scan_rotation(axis, &sum, lo, up, &angle, static_cast<int>(cloud.size()), raw(cloud));
    EXPECT_NEAR(c.expect_coarse * kDegree, angle, 1e-12);
    EXPECT_NEAR(150.0, sum, 1e-9);

    int passes = 0;
    const double refined =
        refine_rotation_by(plain_extents(cloud), lo, up, axis, angle, 1e-6, &passes);
    EXPECT_NEAR(c.expect_coarse * kDegree, refined, 1e-6);
    EXPECT_NEAR(c.expect_x, up[0] - lo[0], 1e-9);
    EXPECT_NEAR(c.expect_y, up[1] - lo[1], 1e-9);
    EXPECT_NEAR(20.0, up[2] - lo[2], 1e-12);
    if (c.turned == 0.0) {
      // No move is ever accepted: pi/360 / 2^14 is the first step not above 1e-6.
      EXPECT_EQ(0.0, refined);
      EXPECT_EQ(14, passes);
    }
    EXPECT_EQ(refined, refine_rotation(lo, up, axis, angle, static_cast<int>(cloud.size()),
                                       raw(cloud), 1e-6));
  }
}

TEST(Refine, ToleranceThatCannotStartTheLoopReturnsTheStart) {
  Cloud cloud = box_cloud(100, 50, 20, 10.0);
  for (double tolerance : {std::nan(""), 1e300, HUGE_VAL}) {
    SCOPED_TRACE(tolerance);
    double axis[3] = {0, 0, 1}, lo[3], up[3], want_lo[3], want_up[3];
    int passes = -1;
    EXPECT_EQ(0.3, refine_rotation_by(plain_extents(cloud), lo, up, axis, 0.3, tolerance, &passes));
    EXPECT_EQ(0, passes);
    rotated_extents_plain(want_lo, want_up, 0.3, axis, 8, raw(cloud));
    EXPECT_TRUE(same_bits(want_lo, lo, 3));
    EXPECT_TRUE(same_bits(want_up, up, 3));
  }
}

// Where the spread test alone would never end the loop, it still ends, with
// the result the loop had reached: nothing can change it any more.
TEST(Refine, EndsWhereTheSpreadTestNeverWould) {
  struct Case {
    const char* name;
    double start, tolerance, expect;
  };
  const Case cases[] = {
      // A move at the first half degree lands on the minimum; none follows,
      // so the spread stays near half a degree.
      {"one large move then none", kPi / 360.0, 1e-6, 0.0},
      {"negative tolerance", 0.0, -1.0, 0.0},
      {"zero tolerance", 0.0, 0.0, 0.0},
      {"negative tolerance after a move", kPi / 360.0, -1e-6, 0.0},
  };
  Cloud cloud = box_cloud(100, 50, 20);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double axis[3] = {0, 0, 1}, lo[3], up[3], want_lo[3], want_up[3];
    int passes = 0;
    const double a =
        refine_rotation_by(plain_extents(cloud), lo, up, axis, c.start, c.tolerance, &passes);
    EXPECT_EQ(c.expect, a);
    EXPECT_LT(passes, 1200);  // the step reaches 0 after about 1080 halvings
    rotated_extents_plain(want_lo, want_up, c.expect, axis, 8, raw(cloud));
    EXPECT_TRUE(same_bits(want_lo, lo, 3));
    EXPECT_TRUE(same_bits(want_up, up, 3));
  }
}

// The refinement as it reads without any bound, for cases that end by the
// spread test; false when it has not ended after `cap` passes.
bool unbounded_refine(Cloud& cloud, double start, double tolerance, double* angle, double lo[3],
                      double up[3]) {
  const int n = static_cast<int>(cloud.size());
  double axis[3] = {0, 0, 1}, tmin[3], tmax[3];
  double a = start, t = kPi / 360.0, u = 0.0;
  rotated_extents_plain(lo, up, a, axis, n, raw(cloud));
  double best = std::fabs(up[0] - lo[0]) + std::fabs(up[1] - lo[1]);
  double spread = tolerance + 1.0;
  for (int cap = 0; tolerance < spread; ++cap) {
    if (cap == 5000) return false;
    bool moved = false;
    for (double trial : {a - t, a + t}) {
      if (moved) break;
      rotated_extents_plain(tmin, tmax, trial, axis, n, raw(cloud));
      const double sum = std::fabs(tmax[0] - tmin[0]) + std::fabs(tmax[1] - tmin[1]);
      if (best > sum) {
        a = trial;
        best = sum;
        std::memcpy(lo, tmin, sizeof tmin);
        std::memcpy(up, tmax, sizeof tmax);
        u = t;
        moved = true;
      }
    }
    t = t * 0.5;
    spread = std::fabs(u - t);
  }
  *angle = a;
  return true;
}

TEST(Refine, WhereTheSpreadTestEndsTheLoopTheResultIsExactlyItsResult) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> coord(-40.0, 40.0);
  Cloud random_cloud(300);
  for (Point& p : random_cloud) p = {coord(rng), coord(rng), coord(rng)};
  Cloud turned_box = box_cloud(100, 50, 20, 10.0);
  int compared = 0;
  for (Cloud* cloud : {&turned_box, &random_cloud}) {
    for (double start : {0.0, 0.3, 80 * kDegree, 1.0, -0.2}) {
      for (double tolerance : {1e-3, 1e-6, 1e-9, 1e-12}) {
        double want, want_lo[3], want_up[3];
        if (!unbounded_refine(*cloud, start, tolerance, &want, want_lo, want_up)) continue;
        SCOPED_TRACE(testing::Message() << "start " << start << " tolerance " << tolerance);
        double axis[3] = {0, 0, 1}, lo[3], up[3];
        const double got = refine_rotation(lo, up, axis, start, static_cast<int>(cloud->size()),
                                           raw(*cloud), tolerance);
        EXPECT_TRUE(same_bits(&want, &got, 1)) << want << " " << got;
        EXPECT_TRUE(same_bits(want_lo, lo, 3));
        EXPECT_TRUE(same_bits(want_up, up, 3));
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 20);
}

// --- the fast evaluation against the plain one ------------------------------

// Random clouds drawn from a coarse grid, so that many corners repeat and
// +0 and -0 meet as extremes; sizes around the vector width.
Cloud grid_cloud(std::mt19937_64& rng, int n) {
  const double values[] = {-0.0, 0.0, 1.0, -1.0, 2.5, -2.5, 7.25, 1e-3, -3e5, 40.0};
  std::uniform_int_distribution<int> pick(0, 9);
  std::uniform_real_distribution<double> fine(-50.0, 50.0);
  Cloud cloud(static_cast<std::size_t>(n));
  for (Point& p : cloud)
    for (double& v : p) v = pick(rng) < 7 ? values[pick(rng)] : fine(rng);
  return cloud;
}

// Corners on one side of zero only, among them +0 and -0 in random order,
// so that the largest or smallest coordinate is a zero of either sign.
Cloud zero_cloud(std::mt19937_64& rng, int n) {
  std::uniform_int_distribution<int> pick(0, 2);
  const double side = std::uniform_int_distribution<int>(0, 1)(rng) ? 1.0 : -1.0;
  const double values[] = {-0.0, 0.0, side};
  Cloud cloud(static_cast<std::size_t>(n));
  for (Point& p : cloud)
    for (double& v : p) v = values[pick(rng)];
  return cloud;
}

TEST(FastPath, SameBitsAsThePlainWayOnRandomClouds) {
  std::mt19937_64 rng(20240611);
  const Point axes[] = {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 2}, {1, 2, 3}, {0, -1, 0}};
  const double angles[] = {0.0, kPi / 2, kPi, -0.7, 1e-9, 3.1241393610698394, 80 * kDegree, -0.0};
  int zero_extremes = 0;
  for (int n : {1, 2, 3, 4, 5, 7, 9, 31, 64, 257, 1000, -5, -9, -31, -64, -257}) {
    // Negative sizes: clouds whose extremes are +0 or -0, mixed.
    Cloud cloud = n > 0 ? grid_cloud(rng, n) : zero_cloud(rng, -n);
    n = static_cast<int>(cloud.size());
    SearchCloud fast;
    prepare_search_cloud(Evaluation::kFast, n, raw(cloud), &fast);
    EXPECT_LE(search_cloud_distinct(fast), n);
    for (const Point& axis : axes) {
      for (double angle : angles) {
        SCOPED_TRACE(testing::Message() << "n " << n << " axis " << axis[0] << "," << axis[1]
                                        << "," << axis[2] << " angle " << angle);
        Point k_plain = axis, k_fast = axis, k_public = axis;
        double plo[3], pup[3], flo[3], fup[3], qlo[3], qup[3];
        rotated_extents_plain(plo, pup, angle, k_plain.data(), n, raw(cloud));
        search_cloud_extents(&fast, flo, fup, angle, k_fast.data(), true);
        rotated_extents(qlo, qup, angle, k_public.data(), n, raw(cloud));
        EXPECT_TRUE(same_bits(plo, flo, 3) && same_bits(pup, fup, 3));
        EXPECT_TRUE(same_bits(plo, qlo, 3) && same_bits(pup, qup, 3));
        EXPECT_TRUE(same_bits(k_plain.data(), k_fast.data(), 3));
        EXPECT_TRUE(same_bits(k_plain.data(), k_public.data(), 3));
        for (int c = 0; c < 3; ++c) zero_extremes += (plo[c] == 0.0) + (pup[c] == 0.0);
      }
    }
    // Whole passes and the turning of the cloud between them.
    Cloud plain_copy = cloud, fast_copy = cloud;
    SearchCloud p, f;
    prepare_search_cloud(Evaluation::kPlain, n, raw(plain_copy), &p);
    prepare_search_cloud(Evaluation::kFast, n, raw(fast_copy), &f);
    SearchPass pp[4], fp[4];
    ASSERT_EQ(4, search_passes(&p, 1e-6, pp));
    ASSERT_EQ(4, search_passes(&f, 1e-6, fp));
    EXPECT_EQ(0, std::memcmp(pp, fp, sizeof pp)) << "n " << n;
    EXPECT_EQ(plain_copy, fast_copy) << "n " << n;
  }
  EXPECT_GT(zero_extremes, 10);  // the lanes' tie on the sign of zero was met
}

TEST(FastPath, TurningTheCloudGivesTheSameBits) {
  std::mt19937_64 rng(99);
  Cloud cloud = grid_cloud(rng, 333);
  for (const Point& axis : {Point{0, 0, 1}, Point{1, 2, 3}, Point{0, 0.6, 0.8}}) {
    Cloud a = cloud, b = cloud;
    Point ka = axis, kb = axis;
    rotate_cloud(0.123, ka.data(), 333, raw(a));
    rotate_cloud_plain(0.123, kb.data(), 333, raw(b));
    EXPECT_EQ(b, a);
    EXPECT_TRUE(same_bits(ka.data(), kb.data(), 3));
  }
}

// --- facet corners --------------------------------------------------------

class FacetCorners : public ::testing::Test {
 protected:
  void SetUp() override { ufhost::reset_session(); }

  // max_corners: what the host gives as the largest facet (0: per_facet).
  tag_t add_facets(const Cloud& corners, int per_facet, int max_corners = 0) {
    auto facets = std::make_shared<ufhost::Facets>();
    for (std::size_t i = 0; i < corners.size(); ++i) {
      if (i % per_facet == 0) facets->start.push_back(static_cast<int>(i));
      facets->xyz.insert(facets->xyz.end(), corners[i].begin(), corners[i].end());
    }
    facets->start.push_back(static_cast<int>(corners.size()));
    facets->max_corners = max_corners > 0 ? max_corners : per_facet;
    Object model;
    model.kind = Kind::FacetModel;
    model.facets = facets;
    return session().model.add(model);
  }
};

TEST_F(FacetCorners, TwelveTrianglesLoadThirtySixCornersInFacetOrder) {
  const Cloud corners = triangle_corners(box_cloud(1, 2, 3));
  const tag_t model = add_facets(corners, 3);
  ASSERT_EQ(36, count_facet_vertices(model));
  // Loaded after five earlier corners; the entries around stay as they were.
  Cloud cloud(43, Point{-7, -7, -7});
  EXPECT_EQ(36, load_facet_vertices(model, 5, 36, raw(cloud)));
  EXPECT_EQ(Cloud(5, Point{-7, -7, -7}), Cloud(cloud.begin(), cloud.begin() + 5));
  EXPECT_EQ(corners, Cloud(cloud.begin() + 5, cloud.begin() + 41));
  EXPECT_EQ(Point({-7, -7, -7}), cloud[41]);
}

TEST_F(FacetCorners, NoFacetsOrNoFacetModelGiveNothing) {
  Object empty;
  empty.kind = Kind::FacetModel;
  empty.facets = std::make_shared<ufhost::Facets>();
  Object body;
  body.kind = Kind::SolidBody;
  body.shape = BRepPrimAPI_MakeBox(1, 1, 1).Shape();
  for (tag_t tag : {session().model.add(empty), session().model.add(body), tag_t(999)}) {
    SCOPED_TRACE(tag);
    EXPECT_EQ(0, count_facet_vertices(tag));
    Cloud cloud(1, Point{-7, -7, -7});
    EXPECT_EQ(0, load_facet_vertices(tag, 0, 1, raw(cloud)));
    EXPECT_EQ(Point({-7, -7, -7}), cloud[0]);
  }
}

// The loading walk may meet other answers than the counting walk did: it
// writes only whole facets the host gives in full, never more corners than
// were counted, and nothing left over from an earlier facet.
TEST_F(FacetCorners, LoadingTakesWhatArrivesAndNeverPassesTheCount) {
  const Cloud corners = triangle_corners(box_cloud(1, 2, 3));
  struct Case {
    const char* name;
    int room;           // what the counting walk gave
    const char* fails;  // the operation whose nth call fails in the loading walk
    int nth;
    std::vector<int> facets;  // the facets loaded, in order
    int max_corners = 0;      // what the host says the largest facet has
  };
  const Case cases[] = {
      {"counted fewer than there are", 10, "", 0, {0, 1, 2}},
      {"walk ends after two facets", 36, "UF_FACET_cycle_facets", 3, {0, 1}},
      {"corners of one facet refused", 36, "UF_FACET_ask_vertices_of_facet", 2,
       {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
      {"corner count of one facet refused", 36, "UF_FACET_ask_num_verts_in_facet", 12,
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"largest facet unknown", 36, "UF_FACET_ask_max_facet_verts", 1, {}},
      // The buffer would hold two corners: no facet fits, none is asked for.
      {"facets larger than the largest", 36, "", 0, {}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const tag_t model = add_facets(corners, 3, c.max_corners);
    if (*c.fails) session().fail_rules.push_back({c.fails, ufhost::kErrRefused, c.nth});
    Cloud cloud(2 + 36 + 1, Point{-7, -7, -7});
    const int loaded = load_facet_vertices(model, 2, c.room, raw(cloud));
    Cloud want(2, Point{-7, -7, -7});
    for (int f : c.facets)
      want.insert(want.end(), corners.begin() + 3 * f, corners.begin() + 3 * f + 3);
    EXPECT_EQ(static_cast<int>(want.size()) - 2, loaded);
    want.resize(cloud.size(), Point{-7, -7, -7});
    EXPECT_EQ(want, cloud);
    if (c.max_corners == 2) {
      EXPECT_EQ(0, session().calls["UF_FACET_ask_vertices_of_facet"]);
      // Nor would the host write more corners than it said a facet has.
      Cloud buffer(3, Point{-7, -7, -7});
      int n = -1;
      EXPECT_NE(0, UF_FACET_ask_vertices_of_facet(model, 0, &n, raw(buffer)));
      EXPECT_EQ(Cloud(3, Point{-7, -7, -7}), buffer);
    }
  }
}

// --- the command in the same process ----------------------------------------

class SearchCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ufhost::reset_session();
    dir_ = testing_support::work_dir(std::string("ruled_") +
                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    log_ = dir_ + "/log.txt";
  }

  tag_t add_box(double w, double h, double d, double degrees = 0.0, gp_Pnt at = gp_Pnt(0, 0, 0)) {
    TopoDS_Shape box = BRepPrimAPI_MakeBox(at, w, h, d).Shape();
    gp_Trsf turn;
    turn.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(0, 0, 1)), degrees * kPi / 180.0);
    Object body;
    body.kind = Kind::SolidBody;
    body.name = "box";
    body.shape = BRepBuilderAPI_Transform(box, turn, true).Shape();
    return session().model.add(body);
  }

  // Runs the command on `tags` with the answers; returns the transcript.
  std::vector<nlohmann::json> run(const std::vector<tag_t>& tags,
                                  const std::vector<std::string>& answers) {
    session().ui = ufhost::make_scripted_ui(answers);
    std::string error;
    const std::string transcript = dir_ + "/transcript.jsonl";
    session().ui->transcript = ufhost::Transcript::open(transcript, &error);
    search_min_dimensions(tags.data(), static_cast<int>(tags.size()));
    session().ui->transcript.reset();
    std::vector<nlohmann::json> out;
    std::ifstream in(transcript);
    std::string line;
    while (std::getline(in, line)) out.push_back(nlohmann::json::parse(line));
    return out;
  }

  static std::vector<nlohmann::json> of_kind(const std::vector<nlohmann::json>& t,
                                             const std::string& kind) {
    std::vector<nlohmann::json> out;
    for (const auto& e : t)
      if (e.value("kind", "") == kind) out.push_back(e);
    return out;
  }

  static std::array<double, 6> box_of(tag_t tag) {
    std::array<double, 6> b{};
    EXPECT_EQ(0, UF_MODL_ask_bounding_box(tag, b.data()));
    return b;
  }

  std::vector<tag_t> copies() const {
    std::vector<tag_t> out;
    for (ufhost::Tag t : session().model.tags_of(Kind::SolidBody))
      if (session().model.find(t)->name.find("copy") != std::string::npos) out.push_back(t);
    return out;
  }

  std::string dir_, log_;
};

TEST_F(SearchCommand, TurnedBlockIsLoggedAndItsCopyTurnedBack) {
  const tag_t body = add_box(100, 50, 20, 10.0, gp_Pnt(5, -3, 2));
  const auto before = box_of(body);
  const auto t = run({body}, {"dialog ok 1e-6", "save " + log_});
  const auto dialogs = of_kind(t, "dialog");
  ASSERT_EQ(1u, dialogs.size());
  EXPECT_EQ("Введите точность", dialogs[0]["title"]);
  EXPECT_EQ("Точность угла:", dialogs[0]["labels"][0]);
  EXPECT_EQ(1e-6, dialogs[0]["values"][0].get<double>());
  EXPECT_TRUE(of_kind(t, "message").empty());

  const auto lines = log_lines(log_);
  ASSERT_GE(lines.size(), 6u);
  ASSERT_LE(lines.size(), 9u);
  EXPECT_EQ("Count tags: 1", lines[0]);
  const ufhost::Tag facet = static_cast<ufhost::Tag>(std::stoul(lines[1].substr(6)));
  EXPECT_EQ("\tTag: " + std::to_string(facet), lines[1]);
  ASSERT_NE(nullptr, session().model.find(facet));
  EXPECT_EQ(Kind::FacetModel, session().model.find(facet)->kind);
  EXPECT_EQ("Count vertex: " + std::to_string(count_facet_vertices(facet)), lines[2]);
  EXPECT_EQ(0u, lines[3].find("Поворот вокруг точки: "));
  ASSERT_EQ(0u, lines[4].find("Угол поворота по Z : ")) << lines[4];
  const auto z = numbers_in(lines[4].substr(lines[4].find(':')));
  ASSERT_EQ(2u, z.size());
  // Within the precision of 1e-6 radians, printed to six places.
  EXPECT_NEAR(80.0, z[0], 6e-5);
  EXPECT_NEAR(80.0 * kDegree, z[1], 2e-6);
  ASSERT_EQ(0u, lines.back().find("Конечные габариты: ")) << lines.back();
  const auto dims = numbers_in(lines.back());
  ASSERT_EQ(4u, dims.size());
  std::vector<double> sorted(dims.begin(), dims.begin() + 3);
  std::sort(sorted.begin(), sorted.end());
  EXPECT_NEAR(20, sorted[0], 1e-6);
  EXPECT_NEAR(50, sorted[1], 1e-6);
  EXPECT_NEAR(100, sorted[2], 1e-6);
  EXPECT_NEAR(170, dims[3], 1e-6);

  EXPECT_EQ(before, box_of(body));  // the selected body stays where it was
  const auto turned = copies();
  ASSERT_EQ(1u, turned.size());
  const auto b = box_of(turned[0]);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(dims[c], b[c + 3] - b[c], 1e-6);
}

TEST_F(SearchCommand, AlignedBlockWritesOnlyTheFixedLines) {
  // Tallest along Z and no wider along X than along Y: no pass finds a
  // smaller sum than where it starts.
  const tag_t body = add_box(10, 20, 30, 0.0, gp_Pnt(1, 2, 3));
  run({body}, {"dialog ok", "save " + log_});
  const auto lines = log_lines(log_);
  ASSERT_EQ(5u, lines.size());  // n + 4
  EXPECT_EQ("Поворот вокруг точки: 6.000000 12.000000 18.000000", lines[3]);
  ASSERT_EQ(0u, lines[4].find("Конечные габариты: "));
  const auto dims = numbers_in(lines[4]);
  ASSERT_EQ(4u, dims.size());
  EXPECT_NEAR(10, dims[0], 1e-6);
  EXPECT_NEAR(20, dims[1], 1e-6);
  EXPECT_NEAR(30, dims[2], 1e-6);
  EXPECT_NEAR(60, dims[3], 2e-6);
  const auto turned = copies();
  ASSERT_EQ(1u, turned.size());
  EXPECT_EQ(box_of(body), box_of(turned[0]));  // the copy coincides
}

TEST_F(SearchCommand, NegativeAngleHasAMinusInDegreesAndRadians) {
  const tag_t body = add_box(100, 50, 20, 0.3);
  run({body}, {"dialog ok 1e-12", "save " + log_});
  const auto lines = log_lines(log_);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ("Угол поворота по Z : -0.300000(-0.005236)", lines[4]);
}

TEST_F(SearchCommand, SeveralBodiesTurnAsOneGroup) {
  const tag_t a = add_box(40, 10, 10, 30.0);
  const tag_t b = add_box(40, 10, 10, 30.0, gp_Pnt(0, 30, 0));
  run({a, b}, {"dialog ok", "save " + log_});
  const auto lines = log_lines(log_);
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ("Count tags: 2", lines[0]);
  EXPECT_EQ(0u, lines[1].find("\tTag: "));
  EXPECT_EQ(0u, lines[2].find("\tTag: "));
  for (std::size_t i = 5; i + 1 < lines.size(); ++i) {
    // Every angle line: the degrees are the radians seen in degrees.
    const auto v = numbers_in(lines[i].substr(lines[i].find(':')));
    ASSERT_EQ(2u, v.size()) << lines[i];
    EXPECT_NEAR(v[0], v[1] * 180.0 / kPi, 1e-3) << lines[i];
  }
  const auto turned = copies();
  ASSERT_EQ(2u, turned.size());
  auto centre = [](const std::array<double, 6>& box) {
    return gp_Pnt((box[0] + box[3]) / 2, (box[1] + box[4]) / 2, (box[2] + box[5]) / 2);
  };
  const double apart = centre(box_of(a)).Distance(centre(box_of(b)));
  EXPECT_NEAR(apart, centre(box_of(turned[0])).Distance(centre(box_of(turned[1]))), 1e-6);
  // Two 40 x 10 x 10 blocks 20 apart: 10 x 40 x 40 in some order.
  EXPECT_NEAR(90, numbers_in(lines.back())[3], 1e-6);
}

TEST_F(SearchCommand, PrecisionThatCannotEndTheRefinementEndsTheCommand) {
  for (const char* value : {"0", "-1e-6", "nan", "inf", "-inf"}) {
    SCOPED_TRACE(value);
    SetUp();
    const tag_t body = add_box(10, 10, 10, 5.0);
    const std::size_t objects = session().model.size();
    const auto t = run({body}, {std::string("dialog ok ") + value, "message ok"});
    const auto messages = of_kind(t, "message");
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Внимание", messages[0]["title"]);
    EXPECT_EQ("Точность угла должна быть конечным числом больше нуля.", messages[0]["text"]);
    EXPECT_TRUE(of_kind(t, "save").empty());
    EXPECT_EQ(objects, session().model.size());  // not even a facet model
  }
}

TEST_F(SearchCommand, NoCornersEndsBeforeTheLog) {
  // A point is no body: the host facets nothing and the cloud stays empty.
  double at[3] = {1, 2, 3};
  tag_t point = NULL_TAG;
  ASSERT_EQ(0, UF_CURVE_create_point(at, &point));
  const auto t = run({point}, {"dialog ok", "message ok"});
  const auto messages = of_kind(t, "message");
  ASSERT_EQ(1u, messages.size());
  EXPECT_EQ("Внимание", messages[0]["title"]);
  EXPECT_TRUE(of_kind(t, "save").empty());
  EXPECT_FALSE(std::filesystem::exists(log_));
  EXPECT_TRUE(copies().empty());
}

TEST_F(SearchCommand, NoLogMeansNoCopies) {
  struct Case {
    const char* name;
    std::string answer;
    bool message;
  };
  const std::string unreachable = dir_ + "/no such folder/log.txt";
  const Case cases[] = {{"dialog cancelled", "save cancel", false},
                        {"file cannot be made", "save " + unreachable, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const tag_t body = add_box(10, 20, 30, 5.0);
    const auto t = run({body}, {"dialog ok", c.answer, "message ok"});
    const auto messages = of_kind(t, "message");
    ASSERT_EQ(c.message ? 1u : 0u, messages.size());
    if (c.message) {
      EXPECT_EQ("Внимание", messages[0]["title"]);
      EXPECT_NE(std::string::npos, messages[0]["text"].get<std::string>().find(unreachable));
    }
    EXPECT_TRUE(copies().empty());
    EXPECT_FALSE(std::filesystem::exists(log_));
  }
}

TEST_F(SearchCommand, SearchesAndCountsTheCornersThatArrived) {
  const auto count_in = [](const std::vector<std::string>& lines) {
    return lines.size() > 2 ? lines[2] : std::string();
  };
  run({add_box(100, 50, 20, 10.0)}, {"dialog ok", "save " + log_});
  const std::string all = count_in(log_lines(log_));
  ASSERT_EQ(0u, all.find("Count vertex: "));
  const int corners = std::stoi(all.substr(14));
  struct Case {
    const char* name;
    const char* fails;
    int nth;
    int expect;
  };
  const Case cases[] = {
      // The counting walk ends after the first facet, the loading walk does not.
      {"counting cut short", "UF_FACET_cycle_facets", 2, 3},
      // The counting walk asks no corners: the first facet's are refused.
      {"corners refused while loading", "UF_FACET_ask_vertices_of_facet", 1, corners - 3},
      {"count refused while loading", "UF_FACET_ask_num_verts_in_facet", corners / 3 + 1,
       corners - 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const tag_t body = add_box(100, 50, 20, 10.0);
    session().fail_rules.push_back({c.fails, ufhost::kErrRefused, c.nth});
    run({body}, {"dialog ok", "save " + log_});
    const auto lines = log_lines(log_);
    EXPECT_EQ("Count vertex: " + std::to_string(c.expect), count_in(lines));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(0u, lines.back().find("Конечные габариты: ")) << lines.back();
    EXPECT_EQ(1u, copies().size());
  }
}

// The command's log and copies do not depend on the way the cloud is
// evaluated, here on blocks and below on real parts.
std::vector<std::string> command_log(const std::string& log, Evaluation evaluation,
                                     const std::function<std::vector<tag_t>()>& load) {
  ufhost::reset_session();
  const std::vector<tag_t> tags = load();
  session().ui = ufhost::make_scripted_ui({"dialog ok", "save " + log});
  search_min_dimensions_by(tags.data(), static_cast<int>(tags.size()), evaluation);
  return testing_support::split_lines(testing_support::read_file(log));
}

TEST_F(SearchCommand, LogIsTheSameEvaluatedEitherWay) {
  auto load = [this]() {
    return std::vector<tag_t>{add_box(100, 50, 20, 10.0, gp_Pnt(5, -3, 2)),
                              add_box(7, 8, 9, 33.0, gp_Pnt(-20, 0, 40))};
  };
  const auto plain = command_log(log_, Evaluation::kPlain, load);
  const auto fast = command_log(log_, Evaluation::kFast, load);
  ASSERT_GE(plain.size(), 6u);
  EXPECT_EQ(plain, fast);
}

// --- real parts --------------------------------------------------------------

std::vector<tag_t> load_bodies(const std::string& path) {
  std::string error;
  EXPECT_TRUE(ufhost::load_part(path, session().model, &error)) << error;
  std::vector<tag_t> tags;
  for (ufhost::Tag t : session().model.tags())
    if (ufhost::is_body(session().model.find(t)->kind)) tags.push_back(t);
  return tags;
}

TEST(FastPathOnParts, SamePassesAndLogAsThePlainWay) {
  SKIP_WITHOUT_SHARED_PARTS();
  for (const std::string& part : testing_support::shared_parts()) {
    SCOPED_TRACE(part);
    ufhost::reset_session();
    std::vector<tag_t> tags = load_bodies(part);
    Cloud cloud;
    for (tag_t& tag : tags) {
      if (make_faceted(&tag) != 0) continue;
      const int n = count_facet_vertices(tag);
      const std::size_t start = cloud.size();
      cloud.resize(start + static_cast<std::size_t>(n));
      const int loaded = load_facet_vertices(tag, 0, n, raw(cloud) + start);
      cloud.resize(start + static_cast<std::size_t>(loaded));
    }
    if (cloud.empty()) continue;
    const int n = static_cast<int>(cloud.size());
    double axis[3] = {0, 0, 1}, lo[3], up[3], shift[3];
    rotated_extents(lo, up, 0.0, axis, n, raw(cloud));
    for (int c = 0; c < 3; ++c) shift[c] = lo[c] + std::fabs(lo[c] - up[c]) * 0.5;
    translate_cloud(shift, n, raw(cloud));
    Cloud plain_cloud = cloud;
    SearchCloud p, f;
    prepare_search_cloud(Evaluation::kPlain, n, raw(plain_cloud), &p);
    prepare_search_cloud(Evaluation::kFast, n, raw(cloud), &f);
    SearchPass pp[4], fp[4];
    search_passes(&p, 1e-6, pp);
    search_passes(&f, 1e-6, fp);
    EXPECT_EQ(0, std::memcmp(pp, fp, sizeof pp));
    EXPECT_EQ(plain_cloud, cloud);

    const std::string log = testing_support::work_dir("ruled_parts") + "/log.txt";
    auto load = [&part]() { return load_bodies(part); };
    const auto plain_log = command_log(log, Evaluation::kPlain, load);
    const auto fast_log = command_log(log, Evaluation::kFast, load);
    EXPECT_GE(plain_log.size(), 5u);
    EXPECT_EQ(plain_log, fast_log);
  }
}

}  // namespace
