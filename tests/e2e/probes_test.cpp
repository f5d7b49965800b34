// Every section probe of "Габарит объекта(ов)" answered the host's way, from
// the faces' exact extremes, and checked against the kernel's boolean
// section of the same plane: on the samples, the real parts and bodies made
// here to sit where answers are hardest to get right. The plug-in runs in
// this process, so that each of its probes can be seen.
#include <dlfcn.h>

#include <BRepBuilderAPI_Copy.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCone.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRepPrimAPI_MakeTorus.hxx>
#include <BRep_Builder.hxx>
#include <GeomAPI_PointsToBSplineSurface.hxx>
#include <Geom_BSplineSurface.hxx>
#include <TColgp_Array2OfPnt.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/support.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/geom/sections.h"
#include "ufhost/session/session.h"
#include "ufhost/session/test_control.h"
#include "ufhost/ui/ui.h"

namespace {

using ufhost::session;
using ufhost::Probing;

// The release plug-in, loaded once: it calls the host's libraries this test
// links, so it works on this process's session.
struct Plugin {
  void (*ufusr)(char*, int*, int) = nullptr;
  Plugin() {
    void* handle = dlopen(PLUGIN_RELEASE, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    ufusr = reinterpret_cast<void (*)(char*, int*, int)>(dlsym(handle, "ufusr"));
  }
};

struct Run {
  std::array<double, 3> lengths{};
  long probes = 0, booleans = 0;
  std::vector<std::string> disagreements;  // probes where the two ways differ
};

// Runs the command on every body of the session's part the way `how` says,
// every probe also answered the other way; the lengths are read off the
// corners the command draws.
Run run_command(Probing how) {
  static const Plugin plugin;
  Run run;
  if (plugin.ufusr == nullptr) {
    ADD_FAILURE() << "cannot load " << PLUGIN_RELEASE << ": " << dlerror();
    return run;
  }
  session().sections.forget();
  ufhost::test_control().probing = how;
  ufhost::test_control().compare_probes = [&](const ufhost::TestControl::ProbeAnswers& a) {
    if (a.fast == a.boolean) return;
    std::ostringstream text;
    text.precision(17);
    text << "body " << a.body << ", plane through (" << a.origin.X() << ", " << a.origin.Y() << ", "
         << a.origin.Z() << ") along (" << a.normal.X() << ", " << a.normal.Y() << ", "
         << a.normal.Z() << "): " << (a.fast ? "meets" : "misses") << ", the boolean says "
         << (a.boolean ? "meets" : "misses");
    run.disagreements.push_back(text.str());
  };
  session().sections.counts = ufhost::SectionMemory::Counts{};
  session().ui = ufhost::make_scripted_ui({"menu 1", "select all", "dialog ok", "menu cancel"});
  const int mark = session().model.set_mark(false);
  char param[1] = {0};
  int rc = 0;
  plugin.ufusr(param, &rc, 0);
  ufhost::test_control().probing = Probing::kFast;
  ufhost::test_control().compare_probes = nullptr;
  run.probes = session().sections.counts.probes;
  run.booleans = session().sections.counts.booleans;
  // The corners drawn last: the largest, then the smallest.
  const std::vector<ufhost::Tag> points = session().model.tags_of(ufhost::Kind::Point);
  if (points.size() >= 2) {
    const gp_Pnt hi = session().model.find(points[points.size() - 2])->p0;
    const gp_Pnt lo = session().model.find(points.back())->p0;
    for (int k = 0; k < 3; ++k) run.lengths[k] = std::abs(hi.Coord(k + 1) - lo.Coord(k + 1));
  } else {
    ADD_FAILURE() << "the command drew no corners";
  }
  session().model.undo_to(mark);
  return run;
}

// The bodies' largest tolerance, at least the kernel's confusion distance:
// how far each end of a length may lie from the exact body.
double exactness() {
  double tol = 1e-7;
  for (ufhost::Tag t : session().model.tags())
    tol = std::max(tol, ufhost::max_tolerance(*session().model.find(t)));
  return tol;
}

// Expects the same answer both ways on every probe, and lengths that agree
// with those of the kernel's boolean section within the stated exactness
// (each end within it). Returns the host's run.
Run expect_boolean_answers() {
  const Run fast = run_command(Probing::kFast);
  EXPECT_GT(fast.probes, 0);
  EXPECT_TRUE(fast.disagreements.empty())
      << fast.disagreements.size() << " probes differ, first " << fast.disagreements.front();
  const Run boolean = run_command(Probing::kBoolean);
  for (int k = 0; k < 3; ++k)
    EXPECT_NEAR(boolean.lengths[k], fast.lengths[k], 2 * exactness()) << "axis " << k;
  return fast;
}

void load(const std::string& path) {
  ufhost::reset_session();
  std::string error;
  ASSERT_TRUE(ufhost::load_part(path, session().model, &error)) << error;
}

TEST(SectionProbes, SamplesNeedNoBoolean) {
  const std::vector<std::string> samples = testing_support::bundled_samples();
  ASSERT_FALSE(samples.empty());
  for (const std::string& path : samples) {
    SCOPED_TRACE(path);
    load(path);
    EXPECT_EQ(0, expect_boolean_answers().booleans);
  }
}

TEST(SectionProbes, RealPartsAnsweredAsByTheBoolean) {
  SKIP_WITHOUT_SHARED_PARTS();
  for (const std::string& path : testing_support::shared_parts()) {
    SCOPED_TRACE(path);
    load(path);
    expect_boolean_answers();
  }
}

//-----------------------------------------------------------------------------
// Bodies made here
//-----------------------------------------------------------------------------

TopoDS_Shape turned(const TopoDS_Shape& shape, const gp_Dir& axis, double degrees) {
  gp_Trsf t;
  t.SetRotation(gp_Ax1(gp_Pnt(0.3, -0.2, 0.1), axis), degrees * M_PI / 180.0);
  return BRepBuilderAPI_Transform(shape, t, true).Shape();
}

// A copy whose vertices, edges and faces all carry the tolerance `tol`.
TopoDS_Shape loosened(const TopoDS_Shape& shape, double tol) {
  const TopoDS_Shape copy = BRepBuilderAPI_Copy(shape).Shape();
  BRep_Builder builder;
  for (TopExp_Explorer v(copy, TopAbs_VERTEX); v.More(); v.Next())
    builder.UpdateVertex(TopoDS::Vertex(v.Current()), tol);
  for (TopExp_Explorer e(copy, TopAbs_EDGE); e.More(); e.Next())
    builder.UpdateEdge(TopoDS::Edge(e.Current()), tol);
  for (TopExp_Explorer f(copy, TopAbs_FACE); f.More(); f.Next())
    builder.UpdateFace(TopoDS::Face(f.Current()), tol);
  return copy;
}

TopoDS_Shape filleted_block() {
  const TopoDS_Shape block = BRepPrimAPI_MakeBox(40, 30, 20).Shape();
  BRepFilletAPI_MakeFillet fillet(block);
  for (TopExp_Explorer e(block, TopAbs_EDGE); e.More(); e.Next())
    fillet.Add(3.0, TopoDS::Edge(e.Current()));
  return fillet.Shape();
}

// A free-form patch with a bump inside it, its top an inner point.
TopoDS_Face bumpy_patch() {
  TColgp_Array2OfPnt points(1, 5, 1, 5);
  for (int i = 1; i <= 5; ++i)
    for (int j = 1; j <= 5; ++j)
      points(i, j) = gp_Pnt(2.0 * i, 2.0 * j, 1.5 * std::sin(0.9 * i) * std::cos(0.7 * j));
  return BRepBuilderAPI_MakeFace(GeomAPI_PointsToBSplineSurface(points).Surface(), 1e-7).Face();
}

TEST(SectionProbes, MadeBodiesAnsweredAsByTheBoolean) {
  const gp_Dir x(1, 0, 0), z(0, 0, 1), skew(1, 2, 3);
  const gp_Ax2 at(gp_Pnt(1, 2, 3), z);
  struct Case {
    const char* name;
    TopoDS_Shape shape;
    ufhost::Kind kind;
  };
  const Case cases[] = {
      // Tolerance bands a thousand times the kernel's own.
      {"filleted block, tolerances 1e-4", loosened(filleted_block(), 1e-4),
       ufhost::Kind::SolidBody},
      // Cylinders, spheres and cones touching the planes inside their faces.
      {"filleted block turned", turned(filleted_block(), skew, 17), ufhost::Kind::SolidBody},
      {"cylinder lying", turned(BRepPrimAPI_MakeCylinder(at, 5, 10).Shape(), x, 90),
       ufhost::Kind::SolidBody},
      {"sphere turned", turned(BRepPrimAPI_MakeSphere(gp_Pnt(1, 2, 3), 5).Shape(), skew, 40),
       ufhost::Kind::SolidBody},
      {"torus turned about its axis", turned(BRepPrimAPI_MakeTorus(at, 10, 2).Shape(), z, 33),
       ufhost::Kind::SolidBody},
      {"torus tilted", turned(BRepPrimAPI_MakeTorus(at, 10, 2).Shape(), gp_Dir(1, 1, 0), 27),
       ufhost::Kind::SolidBody},
      {"cone lying", turned(BRepPrimAPI_MakeCone(at, 5, 2, 10).Shape(), x, 90),
       ufhost::Kind::SolidBody},
      // Walls thinner than the first steps of the refinement.
      {"wall of 0.002", BRepPrimAPI_MakeBox(gp_Pnt(-1, -2, 0.5), 20, 10, 2e-3).Shape(),
       ufhost::Kind::SolidBody},
      {"wall of 5e-6", BRepPrimAPI_MakeBox(gp_Pnt(-1, -2, 0.5), 20, 10, 5e-6).Shape(),
       ufhost::Kind::SolidBody},
      // Free-form faces.
      {"spline sheet", bumpy_patch(), ufhost::Kind::SheetBody},
      {"spline solid turned",
       turned(BRepPrimAPI_MakePrism(bumpy_patch(), gp_Vec(0, 0, -3)).Shape(), skew, 31),
       ufhost::Kind::SolidBody},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ufhost::reset_session();
    ufhost::Object body;
    body.kind = c.kind;
    body.name = c.name;
    body.shape = c.shape;
    session().model.add(body);
    expect_boolean_answers();
  }
}

}  // namespace
