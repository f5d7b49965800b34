// Facet corners, the refinement of extremes and the extents of bodies,
// against the stand-in host in the same process.
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gp.hxx>
#include <gp_Ax2.hxx>
#include <gp_Trsf.hxx>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "src/get_zarvel.h"
#include "tests/support/shapes.h"
#include "tests/support/support.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/session/session.h"
#include "ufhost/session/test_control.h"
#include "ufhost/ui/ui.h"

namespace {

using testing_support::tolerances;
using ufhost::Kind;
using ufhost::Object;
using ufhost::session;
using Point = std::array<double, 3>;

// Records the message boxes; every other request is cancelled.
class RecordingUi : public ufhost::UserInterface {
 public:
  explicit RecordingUi(std::vector<std::pair<std::string, std::string>>* messages)
      : messages_(messages) {}
  int menu(const ufhost::MenuRequest&) override { return UF_UI_CANCEL; }
  int dialog(const ufhost::DialogRequest&, std::vector<double>*) override { return UF_UI_CANCEL; }
  int select(const ufhost::SelectRequest&, std::vector<ufhost::Tag>* chosen) override {
    chosen->clear();
    return UF_UI_CANCEL;
  }
  void message(const std::string& title, const std::string& text) override {
    messages_->emplace_back(title, text);
  }
  bool save(const ufhost::SaveRequest&, std::string*) override { return false; }
  bool open_listing() override { return false; }
  void write_listing(const std::string&) override {}

 private:
  std::vector<std::pair<std::string, std::string>>* messages_;
};

// A block with a bore and rounded vertical edges: planar, cylindrical and
// toroidal-free fillet faces, with tolerances the fillet builder chose.
TopoDS_Shape filleted_block() {
  TopoDS_Shape block = BRepPrimAPI_MakeBox(gp_Pnt(-3, -2, 0), 60, 40, 15).Shape();
  BRepFilletAPI_MakeFillet fillet(block);
  for (TopExp_Explorer e(block, TopAbs_EDGE); e.More(); e.Next()) {
    const TopoDS_Edge& edge = TopoDS::Edge(e.Current());
    TopoDS_Vertex a, b;
    double f = 0, l = 0;
    const gp_Pnt p = BRep_Tool::Curve(edge, f, l)->Value(f), q = BRep_Tool::Curve(edge, f, l)->Value(l);
    if (std::abs(p.X() - q.X()) < 1e-9 && std::abs(p.Y() - q.Y()) < 1e-9) fillet.Add(6.5, edge);
  }
  const TopoDS_Shape rounded = fillet.Shape();
  const TopoDS_Shape boss =
      BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(27, 18, 15), gp_Dir(0, 0, 1)), 7.3, 4.1).Shape();
  return BRepAlgoAPI_Fuse(rounded, boss).Shape();
}

class Extents : public ::testing::Test {
 protected:
  void SetUp() override {
    ufhost::reset_session();
    messages.clear();
    syslog.clear();
    session().ui = std::make_unique<RecordingUi>(&messages);
    session().syslog_hook = [this](const std::string& text) { syslog += text; };
  }

  tag_t add_body(const TopoDS_Shape& shape, const char* name = "body") {
    Object body;
    body.kind = Kind::SolidBody;
    body.name = name;
    body.shape = shape;
    return session().model.add(body);
  }
  tag_t add_box(double x0, double y0, double z0, double dx, double dy, double dz) {
    return add_body(BRepPrimAPI_MakeBox(gp_Pnt(x0, y0, z0), dx, dy, dz).Shape(), "box");
  }

  // A facet model made directly in the part: one facet per list of corners.
  tag_t add_facets(const std::vector<std::vector<Point>>& facets, int max_corners = 0) {
    auto f = std::make_shared<ufhost::Facets>();
    f->start.push_back(0);
    for (const auto& facet : facets) {
      for (const Point& p : facet) f->xyz.insert(f->xyz.end(), p.begin(), p.end());
      f->start.push_back(static_cast<int>(f->xyz.size() / 3));
      f->max_corners = std::max(f->max_corners, static_cast<int>(facet.size()));
    }
    if (max_corners > 0) f->max_corners = max_corners;
    Object model;
    model.kind = Kind::FacetModel;
    model.facets = f;
    return session().model.add(model);
  }

  std::size_t count(Kind kind) const { return session().model.tags_of(kind).size(); }

  std::vector<std::pair<std::string, std::string>> messages;
  std::string syslog;
};

// ---------------------------------------------------------------------------
// Facet corners

TEST_F(Extents, FacetExtremesTakeEachCoordinateOnItsOwn) {
  const tag_t model = add_facets({{{1, 5, 0}, {4, 2, 3}, {2, 2, 7}}});
  struct Case {
    const char* name;
    bool first;
    Point min_in, max_in, min_out, max_out;
  };
  const Case cases[] = {
      // Neither corner is one of the vertices.
      {"seeded from the model", true, {-9, -9, -9}, {99, 99, 99}, {1, 2, 0}, {4, 5, 7}},
      {"model inside the corners", false, {0, 0, -1}, {10, 10, 10}, {0, 0, -1}, {10, 10, 10}},
      {"widened by the model", false, {2, 3, 1}, {3, 4, 5}, {1, 2, 0}, {4, 5, 7}},
      {"partly widened", false, {0, 3, 0}, {3, 5, 9}, {0, 2, 0}, {4, 5, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Point lo = c.min_in, hi = c.max_in;
    EXPECT_EQ(0, update_facet_extremes(model, lo.data(), hi.data(), c.first));
    EXPECT_EQ(c.min_out, lo);
    EXPECT_EQ(c.max_out, hi);
  }
}

TEST_F(Extents, EqualCoordinatesNeverReplaceAnExtreme) {
  // -0.0 equals 0.0: a comparison that let equal values in would leave the
  // sign bit of the vertex behind.
  const tag_t model = add_facets({{{-0.0, -0.0, -0.0}, {0.0, -0.0, 0.0}, {-0.0, 0.0, -0.0}}});
  Point lo = {0.0, 0.0, 0.0}, hi = {0.0, 0.0, 0.0};
  EXPECT_EQ(0, update_facet_extremes(model, lo.data(), hi.data(), false));
  for (int k = 0; k < 3; ++k) {
    EXPECT_FALSE(std::signbit(lo[k]));
    EXPECT_FALSE(std::signbit(hi[k]));
  }
}

TEST_F(Extents, UnreadableFacetModelsLeaveTheCornersAlone) {
  struct Case {
    const char* name;
    tag_t model;
  };
  const Case cases[] = {
      {"no facets", add_facets({})},
      {"not a facet model", add_box(0, 0, 0, 1, 1, 1)},
      {"no such tag", 4242},
      // About 51 GB for the corner buffer: more than the machine will give.
      {"buffer cannot be had", add_facets({{{1, 5, 0}, {4, 2, 3}, {2, 2, 7}}}, INT_MAX)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Point lo = {-1, -2, -3}, hi = {1, 2, 3};
    const int rc = update_facet_extremes(c.model, lo.data(), hi.data(), true);
    if (rc == 0) continue;  // the allocation went through after all: nothing to check
    EXPECT_EQ(1, rc);
    EXPECT_EQ((Point{-1, -2, -3}), lo);
    EXPECT_EQ((Point{1, 2, 3}), hi);
  }
}

TEST_F(Extents, MakeFacetedReplacesTheTagOnlyWhenAModelWasMade) {
  const tag_t body = add_box(0, 0, 0, 1, 2, 3);
  tag_t work = body;
  EXPECT_EQ(0, make_faceted(&work));
  const Object* model = session().model.find(work);
  ASSERT_NE(nullptr, model);
  EXPECT_EQ(Kind::FacetModel, model->kind);
  EXPECT_EQ(body, model->source);

  const tag_t point = session().model.add(Object{});
  work = point;
  EXPECT_EQ(1, make_faceted(&work));
  EXPECT_EQ(point, work);
}

// ---------------------------------------------------------------------------
// Refinement against a scripted host

class Refine : public Extents {
 protected:
  // The body lies between 0 and 1 along every axis; the script decides what
  // cuts. Probe coordinates along the axis are recorded.
  void script(std::function<bool(double)> cuts, int axis = 0) {
    body = add_box(0, 0, 0, 1, 1, 1);
    ufhost::test_control().section_oracle = [this, cuts, axis](ufhost::Tag, const gp_Pnt& o, const gp_Vec&) {
      const double c = o.Coord(axis + 1);
      probes.push_back(c);
      const bool cut = cuts(c);
      misses += cut ? 0 : 1;
      return cut;
    };
  }
  double refine(int sign, int axis, double start, double tolerance) {
    double pt[3] = {0, 0, 0}, dr[3] = {0, 0, 0};
    pt[axis] = start;
    dr[axis] = 1;
    const double result = refine_extreme(body, sign, axis, pt, dr, tolerance, nullptr);
    EXPECT_EQ(result, pt[axis]);
    return result;
  }
  tag_t body = 0;
  std::vector<double> probes;
  int misses = 0;
};

TEST_F(Refine, MarchesOutwardBySteps) {
  struct Case {
    int sign;
    int axis;
    double start, edge;
  };
  const Case cases[] = {{+1, 0, 0.5, 0.537}, {-1, 1, 0.5, 0.4621}, {+1, 2, 0.25, 0.2777}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sign * c.edge);
    probes.clear();
    script([&](double x) { return c.sign > 0 ? x <= c.edge : x >= c.edge; }, c.axis);
    const double result = refine(c.sign, c.axis, c.start, 1e-8);
    // Start, the loop's repeat of it, then outward by 0.01 until a miss.
    ASSERT_GE(probes.size(), 6u);
    EXPECT_EQ(c.start, probes[0]);
    EXPECT_EQ(c.start, probes[1]);
    double expected = c.start;
    for (std::size_t i = 2; i < probes.size() && c.sign * (probes[i - 1] - c.edge) < 0; ++i) {
      expected = expected + c.sign * 0.01;
      EXPECT_EQ(expected, probes[i]) << "probe " << i;
    }
    // The result is beyond the edge, by less than the tolerance here.
    EXPECT_GE(c.sign * (result - c.edge), 0.0);
    EXPECT_LT(std::abs(result - c.edge), 1e-8);
  }
}

TEST_F(Refine, CutOnlyAtTheStartGivesTheStartPlusOneStep) {
  struct Case {
    int sign;
    double tolerance;
    int halvings;  // 0.1 * 2^-n < tolerance
  };
  const Case cases[] = {{+1, 1e-8, 24}, {-1, 1e-8, 24}, {+1, 1e-9, 27}, {-1, 1e-9, 27}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tolerance * c.sign);
    probes.clear();
    misses = 0;
    const double start = 0.75;
    script([&](double x) { return x == start; });
    const double result = refine(c.sign, 0, start, c.tolerance);
    EXPECT_EQ(start + c.sign * 0.01, result);  // kept: one step past the last cut
    EXPECT_EQ(c.halvings, misses);
    // Every miss halves the step: the probes close in on the start.
    EXPECT_EQ(start + c.sign * 0.01, probes[2]);
    EXPECT_NEAR(start, probes.back(), 0.01 * std::pow(0.5, c.halvings - 1) * 1.0001);
  }
}

TEST_F(Refine, MissingStartWalksInwardFirst) {
  script([](double x) { return x <= 0.4731; });
  const double result = refine(+1, 0, 0.5, 1e-8);
  const std::vector<double> first(probes.begin(), probes.begin() + 6);
  const double walk1 = 0.5 - 0.01, walk2 = walk1 - 0.01, walk3 = walk2 - 0.01;
  EXPECT_EQ((std::vector<double>{0.5, walk1, walk2, walk3, walk3, walk3 + 0.01}), first);
  EXPECT_GE(result, 0.4731);
  EXPECT_LT(result, 0.4731 + 1e-8);
}

TEST_F(Refine, HostsThatNeverSettleCannotHoldTheCommand) {
  struct Case {
    const char* name;
    std::function<bool(double)> cuts;
    double tolerance;
  };
  const Case cases[] = {
      // The body is crossed without a cut: the facet coordinate stands.
      {"never cuts", [](double) { return false; }, 1e-8},
      // No sane host cuts a body far beyond its own box.
      {"always cuts", [](double) { return true; }, 1e-8},
      // The halving could never bring the step below a tolerance of 0.
      {"no tolerance", [](double x) { return x <= 0.6; }, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    probes.clear();
    script(c.cuts);
    EXPECT_EQ(0.5, refine(+1, 0, 0.5, c.tolerance));
    EXPECT_LT(probes.size(), 1000u);
  }
}

// Far from the origin a double cannot hold the finer steps (1e-7 apart at
// 1.2e9), or not even 0.01 (at 1e100): the refinement ends at the closest
// coordinate there is instead of probing the same plane for ever.
TEST_F(Refine, CoordinatesTooLargeForTheStepsEnd) {
  for (const double start : {1.2e9, -1.2e9, 1e100}) {
    SCOPED_TRACE(start);
    probes.clear();
    const double edge = start + 0.3;
    script([&](double x) { return x <= edge; });
    const double result = refine(+1, 0, start, 1e-8);
    EXPECT_LT(probes.size(), 1000u);
    EXPECT_GE(result, edge);
    EXPECT_LE(result, std::nextafter(std::nextafter(edge, HUGE_VAL), HUGE_VAL));
  }
}

TEST_F(Refine, ThinBodyWalkStopsAtItsFarSide) {
  // A sheet 0.004 thick whose start plane the host does not count as cutting.
  body = add_box(0, 0, 2.0, 1, 1, 0.004);
  int calls = 0;
  ufhost::test_control().section_oracle = [&](ufhost::Tag, const gp_Pnt&, const gp_Vec&) {
    ++calls;
    return false;
  };
  double pt[3] = {0, 0, 2.004}, dr[3] = {0, 0, 1};
  EXPECT_EQ(2.004, refine_extreme(body, +1, 2, pt, dr, 1e-8, nullptr));
  EXPECT_LE(calls, 2);
}

// ---------------------------------------------------------------------------
// Extents of bodies, end to end in the process

TEST_F(Extents, LengthsMatchTheExactBoxAndBeatTheFacetCorners) {
  gp_Trsf turn;
  turn.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(0, 0, 1)), 10.0 * std::acos(-1.0) / 180.0);
  const TopoDS_Shape block = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 100, 50, 20).Shape().Moved(turn);
  const TopoDS_Shape cylinder =
      BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(150, 20, -4), gp_Dir(1, 1, 1)), 11.3, 30).Shape();
  struct Case {
    const char* name;
    std::vector<TopoDS_Shape> shapes;
  };
  const Case cases[] = {
      {"axis-aligned box", {BRepPrimAPI_MakeBox(gp_Pnt(1, 2, 3), 10, 20, 30).Shape()}},
      {"block turned 10 degrees", {block}},
      {"slanted cylinder", {cylinder}},
      {"filleted block with a boss", {filleted_block()}},
      {"two bodies together", {block, cylinder}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    std::vector<tag_t> tags;
    double exact[6] = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
    Point lo{}, hi{};
    for (std::size_t i = 0; i < c.shapes.size(); ++i) {
      tags.push_back(add_body(c.shapes[i]));
      double box[6];
      ASSERT_TRUE(ufhost::exact_box(*session().model.find(tags.back()), box));
      for (int k = 0; k < 3; ++k) {
        exact[k] = std::min(exact[k], box[k]);
        exact[k + 3] = std::max(exact[k + 3], box[k + 3]);
      }
      tag_t work = tags.back();
      ASSERT_EQ(0, make_faceted(&work));
      update_facet_extremes(work, lo.data(), hi.data(), i == 0);
    }
    double lengths[3] = {-1, -1, -1};
    compute_extents(tags.data(), static_cast<int>(tags.size()), lengths, 1e-8, true);
    for (int k = 0; k < 3; ++k) {
      const double want = exact[k + 3] - exact[k];
      EXPECT_NEAR(want, lengths[k], 1e-6) << "axis " << k;
      // Where the facet corners are exact already (flat faces, vertices at
      // the extremes) the probes can only match them to the kernel's
      // tolerance.
      const double facet_error = std::abs((hi[k] - lo[k]) - want);
      EXPECT_LE(std::abs(lengths[k] - want), std::max(facet_error, 1e-6)) << "axis " << k;
    }
    EXPECT_TRUE(messages.empty());
  }
}

TEST_F(Extents, LeavesOnlyTheDrawnBoxInThePart) {
  const TopoDS_Shape shape = filleted_block();
  const std::vector<double> before = tolerances(shape);
  const tag_t body = add_body(shape);
  const std::size_t objects = session().model.size();
  for (bool draw : {false, true}) {
    SCOPED_TRACE(draw);
    double lengths[3] = {};
    compute_extents(&body, 1, lengths, 1e-8, draw);
    EXPECT_EQ(0u, count(Kind::FacetModel));
    EXPECT_EQ(0u, count(Kind::SectionCurves));
    EXPECT_EQ(0u, count(Kind::Plane));
    EXPECT_EQ(draw ? 6u : 0u, count(Kind::Line));
    EXPECT_EQ(draw ? 2u : 0u, count(Kind::Point));
    EXPECT_EQ(objects + (draw ? 8u : 0u), session().model.size());
    EXPECT_TRUE(session().model.marks().empty());  // the invisible mark went with the rollback
  }
  // Probing never fattens the body: its tolerances are as they were.
  EXPECT_EQ(before, tolerances(session().model.find(body)->shape));

  // The lines start at the corners: three at the largest, along Z, X, Y, then
  // three at the smallest, along X, Y, Z; the order gives the lines their tags.
  const auto points = session().model.tags_of(Kind::Point);
  const gp_Pnt top = session().model.find(points[0])->p0, bottom = session().model.find(points[1])->p0;
  const auto lines = session().model.tags_of(Kind::Line);
  ASSERT_EQ(6u, lines.size());
  const int along[6] = {3, 1, 2, 1, 2, 3};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Object* line = session().model.find(lines[i]);
    EXPECT_TRUE(line->p0.IsEqual(i < 3 ? top : bottom, 0.0)) << "line " << i;
    // Each edge changes exactly one coordinate, to the other corner's.
    const gp_Pnt& other = i < 3 ? bottom : top;
    for (int k = 1; k <= 3; ++k)
      EXPECT_EQ(k == along[i] ? other.Coord(k) : line->p0.Coord(k), line->p1.Coord(k))
          << "line " << i << " coordinate " << k;
  }
}

// The walks' bounds read the host's box in either corner order, and without
// a box they come from the facets. A cylinder of radius 2000 has facet
// corners up to the chord, about 5.7 here, inside its curved face, so the
// march outward goes well beyond one unit. Planes are answered from the
// cylinder's exact extent, with the kernel's tolerance of 1e-7: only the
// bounds could differ between the three runs.
TEST_F(Extents, WalksAreBoundedByTheBoxEitherWayRoundOrByTheFacets) {
  const double r = 2000, h = 100;
  int deep = 0;  // turns whose facet extremes lie more than one unit inside
  for (int step = 0; step < 8; ++step) {
    const double degrees = 0.6 * step;
    SCOPED_TRACE(degrees);
    std::array<std::array<double, 3>, 3> lengths{};
    for (int run = 0; run < 3; ++run) {  // near corner first, far corner first, no box
      SetUp();
      gp_Trsf turn;
      turn.SetRotation(gp::OZ(), degrees * std::acos(-1.0) / 180.0);
      const tag_t body = add_body(BRepPrimAPI_MakeCylinder(r, h).Shape().Moved(turn));
      ufhost::test_control().section_oracle = [&](ufhost::Tag, const gp_Pnt& o, const gp_Vec& n) {
        const double c = n.Z() != 0 ? o.Z() - h / 2 : n.X() != 0 ? o.X() : o.Y();
        return std::abs(c) <= (n.Z() != 0 ? h / 2 : r) + 1e-7;
      };
      ufhost::test_control().swap_box_corners = run == 1;
      if (run == 2)
        session().fail_rules.push_back({"UF_MODL_ask_bounding_box", ufhost::kErrRefused, 0});
      compute_extents(&body, 1, lengths[run].data(), 1e-8, false);
      if (run == 0) {
        tag_t model = body;
        Point lo{}, hi{};
        ASSERT_EQ(0, make_faceted(&model));
        ASSERT_EQ(0, update_facet_extremes(model, lo.data(), hi.data(), true));
        deep += std::min({r + lo[0], r - hi[0], r + lo[1], r - hi[1]}) > 1.0;
      }
    }
    EXPECT_NEAR(2 * r, lengths[0][0], 3e-7);
    EXPECT_NEAR(2 * r, lengths[0][1], 3e-7);
    EXPECT_NEAR(h, lengths[0][2], 3e-7);
    EXPECT_EQ(lengths[0], lengths[1]);
    EXPECT_EQ(lengths[0], lengths[2]);
  }
  EXPECT_GT(deep, 0);
}

TEST_F(Extents, EqualExtremeStaysWithTheFirstBody) {
  // Both end at X = 10; the second reaches further in Y.
  const tag_t first = add_box(0, 0, 0, 10, 5, 5);
  const tag_t second = add_box(4, 0, 0, 6, 9, 5);
  std::vector<std::pair<ufhost::Tag, double>> x_probes;
  ufhost::test_control().section_oracle = [&](ufhost::Tag body, const gp_Pnt& o, const gp_Vec& n) {
    double box[6];
    ufhost::exact_box(*session().model.find(body), box);
    const int axis = n.X() != 0 ? 0 : n.Y() != 0 ? 1 : 2;
    if (axis == 0 && o.X() > 5) x_probes.emplace_back(body, o.X());
    const double c = o.Coord(axis + 1);
    return c >= box[axis] && c <= box[axis + 3];
  };
  const tag_t both[2] = {first, second};
  double lengths[3] = {};
  compute_extents(both, 2, lengths, 1e-8, false);
  ASSERT_FALSE(x_probes.empty());
  for (const auto& probe : x_probes) EXPECT_EQ(first, probe.first) << probe.second;
}

TEST_F(Extents, FacetingFailureIsToldAndStopsEverything) {
  struct Case {
    const char* name;
    const char* operation;
    int nth;
    const char* text;
    std::size_t models_left;
  };
  const Case cases[] = {
      {"first body", "UF_FACET_facet_solid", 1, "Error in make faceted \n", 0},
      {"later body", "UF_FACET_facet_solid", 3, "Error in make faceted\n", 2},
      // A model whose facets cannot be read counts as no model.
      {"first body, no facets", "UF_FACET_ask_max_facet_verts", 1, "Error in make faceted \n", 1},
      {"later body, no facets", "UF_FACET_ask_max_facet_verts", 2, "Error in make faceted\n", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const tag_t bodies[3] = {add_box(0, 0, 0, 1, 1, 1), add_box(2, 0, 0, 1, 1, 1),
                             add_box(4, 0, 0, 1, 1, 1)};
    session().fail_rules.push_back({c.operation, ufhost::kErrRefused, c.nth});
    double lengths[3] = {-1, -1, -1};
    compute_extents(bodies, 3, lengths, 1e-8, true);
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ("Внимание", messages[0].first);
    EXPECT_EQ(c.text, messages[0].second);
    EXPECT_EQ(-1, lengths[0]);
    EXPECT_EQ(0u, count(Kind::Line));
    EXPECT_EQ(0u, count(Kind::Point));
    EXPECT_EQ(c.models_left, count(Kind::FacetModel));  // nothing rolled back
  }
}

TEST_F(Extents, NothingToMeasureReadsNothing) {
  double lengths[3] = {-1, -1, -1};
  compute_extents(nullptr, 1, lengths, 1e-8, true);
  const tag_t body = add_box(0, 0, 0, 1, 1, 1);
  compute_extents(&body, 0, lengths, 1e-8, true);
  compute_extents(&body, -3, lengths, 1e-8, true);
  EXPECT_EQ(-1, lengths[0]);
  EXPECT_EQ(1u, session().model.size());
  EXPECT_TRUE(session().model.marks().empty());
  EXPECT_TRUE(messages.empty());
}

// Reports carry the line of the call: these are the lines the reports have
// always shown, and moving a call would change them.
TEST_F(Extents, CheckedCallsReportTheirLines) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, int>> failures;  // operation, nth call
    std::vector<std::string> reports;
  };
  const Case cases[] = {
      {"undo mark", {{"UF_UNDO_set_mark", 1}},
       {"at line 161 in get_zarvel:\n+++The operation was refused\n"
        "UF_UNDO_set_mark(UF_UNDO_invisible, NULL, &Undo);\n"}},
      {"corner points", {{"UF_CURVE_create_point", 1}, {"UF_CURVE_create_point", 2}},
       {"at line 310 in get_zarvel:\n+++The operation was refused\n"
        "UF_CURVE_create_point(max_vertex, &pset);\n",
        "at line 311 in get_zarvel:\n+++The operation was refused\n"
        "UF_CURVE_create_point(min_vertex, &pset);\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (const auto& f : c.failures) session().fail_rules.push_back({f.first, ufhost::kErrRefused, f.second});
    const tag_t body = add_box(0, 0, 0, 1, 1, 1);
    double lengths[3];
    compute_extents(&body, 1, lengths, 1e-8, true);
    for (const std::string& report : c.reports) EXPECT_NE(std::string::npos, syslog.find(report)) << syslog;
  }

  // The planes: the first probe fails (line 108), so the walk starts and its
  // first plane fails too (114); the next cuts, and the loop's first plane
  // fails (120).
  SetUp();
  for (int nth : {1, 2, 4}) session().fail_rules.push_back({"UF_MODL_create_plane", ufhost::kErrRefused, nth});
  const tag_t body = add_box(0, 0, 0, 1, 1, 1);
  double pt[3] = {1, 0, 0}, dr[3] = {1, 0, 0};
  refine_extreme(body, +1, 0, pt, dr, 1e-8, nullptr);
  std::string lines;
  for (std::size_t at = syslog.find("at line "); at != std::string::npos; at = syslog.find("at line ", at + 1))
    lines += syslog.substr(at + 8, 3) + " ";
  EXPECT_EQ("108 114 120 ", lines);
  EXPECT_NE(std::string::npos, syslog.find("+++The operation was refused\nUF_MODL_create_plane(pt,dr,&plane);\n"));
}

}  // namespace
