// Section probes as the host answers a request: the test doubles that stand
// in for the kernel or check it, and the one object a request's curves come
// back in.
#include "ufhost/session/probes.h"

#include <gtest/gtest.h>

#include <BRepBndLib.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <Bnd_Box.hxx>
#include <TopExp_Explorer.hxx>

#include "ufhost/session/session.h"
#include "ufhost/session/test_control.h"

namespace {

using ufhost::Kind;
using ufhost::Object;
using ufhost::Tag;
using ufhost::session;

class Probes : public ::testing::Test {
 protected:
  void SetUp() override { ufhost::reset_session(); }
  void TearDown() override { ufhost::reset_session(); }

  Tag add_body(const TopoDS_Shape& shape, const char* name) {
    Object o;
    o.kind = Kind::SolidBody;
    o.name = name;
    o.shape = shape;
    return session().model.add(o);
  }
  Tag add_plane(const gp_Pnt& origin, const gp_Vec& normal) {
    Object o;
    o.kind = Kind::Plane;
    o.p0 = origin;
    o.normal = normal;
    return session().model.add(o);
  }
  const Object& body(Tag tag) { return *session().model.find(tag); }
};

int count(const TopoDS_Shape& shape, TopAbs_ShapeEnum kind) {
  int n = 0;
  for (TopExp_Explorer e(shape, kind); e.More(); e.Next()) ++n;
  return n;
}

TEST_F(Probes, TheOracleAnswersInsteadOfTheKernel) {
  const Tag box = add_body(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), "box");
  std::vector<std::pair<Tag, double>> asked;
  ufhost::test_control().section_oracle = [&](Tag b, const gp_Pnt& origin, const gp_Vec& normal) {
    EXPECT_DOUBLE_EQ(1.0, normal.X());
    asked.push_back({b, origin.X()});
    return origin.X() > 100;  // nothing like the box
  };
  EXPECT_FALSE(ufhost::probe_plane(box, body(box), gp_Pnt(5, 0, 0), gp_Vec(1, 0, 0)).meets);
  const ufhost::PlaneCut far = ufhost::probe_plane(box, body(box), gp_Pnt(500, 0, 0), gp_Vec(1, 0, 0));
  ASSERT_TRUE(far.meets);
  EXPECT_EQ(0, count(far.curves(), TopAbs_EDGE)) << "a cut the oracle makes has no curves";
  EXPECT_EQ((std::vector<std::pair<Tag, double>>{{box, 5}, {box, 500}}), asked);
  EXPECT_EQ(0, session().sections.counts.probes);
}

TEST_F(Probes, ComparedProbesGetBothAnswersAndCountOneWay) {
  const Tag ball = add_body(BRepPrimAPI_MakeSphere(gp_Pnt(1, 2, 3), 5).Shape(), "ball");
  std::vector<ufhost::TestControl::ProbeAnswers> seen;
  ufhost::test_control().compare_probes = [&](const ufhost::TestControl::ProbeAnswers& a) {
    seen.push_back(a);
  };
  // Into the ball, beyond its top, and at its top where only the kernel
  // can tell.
  const double heights[] = {7.9, 8 + 1e-6, 8};
  for (double z : heights) ufhost::probe_plane(ball, body(ball), gp_Pnt(0, 0, z), gp_Vec(0, 0, 1));
  ASSERT_EQ(3u, seen.size());
  for (const auto& a : seen) {
    EXPECT_EQ(ball, a.body);
    EXPECT_EQ(a.fast, a.boolean) << "at z = " << a.origin.Z();
  }
  EXPECT_TRUE(seen[0].fast);
  EXPECT_FALSE(seen[1].fast);
  const ufhost::SectionMemory::Counts& counts = session().sections.counts;
  EXPECT_EQ(3, counts.probes) << "the other way's probes are not counted";
}

TEST_F(Probes, MeshBodiesAreNotCompared) {
  Object mesh;
  mesh.kind = Kind::MeshBody;
  mesh.mesh = new Poly_Triangulation(3, 1, false);
  mesh.mesh->SetNode(1, gp_Pnt(0, 0, 0));
  mesh.mesh->SetNode(2, gp_Pnt(1, 0, 0));
  mesh.mesh->SetNode(3, gp_Pnt(0, 1, 0));
  mesh.mesh->SetTriangle(1, Poly_Triangle(1, 2, 3));
  const Tag tag = session().model.add(mesh);
  int compared = 0;
  ufhost::test_control().compare_probes = [&](const ufhost::TestControl::ProbeAnswers&) { ++compared; };
  EXPECT_TRUE(ufhost::probe_plane(tag, body(tag), gp_Pnt(0.5, 0, 0), gp_Vec(1, 0, 0)).meets);
  EXPECT_EQ(0, compared);
}

TEST_F(Probes, NoPlaneMeetingAnyBodyGivesNoCurves) {
  const Tag a = add_body(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), "a");
  const Tag plane = add_plane(gp_Pnt(50, 0, 0), gp_Vec(1, 0, 0));
  EXPECT_FALSE(ufhost::section_curves(session().model, {a}, {plane}, false, 0.01).has_value());
}

TEST_F(Probes, CurvesOfARequestAreOneObjectNamedAfterTheFirstBodyMet) {
  const Tag a = add_body(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), "a");
  const Tag b = add_body(BRepPrimAPI_MakeBox(gp_Pnt(100, 0, 0), 10, 20, 30).Shape(), "b");
  const Tag misses_a = add_plane(gp_Pnt(105, 0, 0), gp_Vec(1, 0, 0));
  const Tag meets_both = add_plane(gp_Pnt(0, 0, 15), gp_Vec(0, 0, 1));
  const std::optional<Object> curves =
      ufhost::section_curves(session().model, {a, b}, {misses_a, meets_both}, false, 0.01);
  ASSERT_TRUE(curves.has_value());
  EXPECT_EQ(Kind::SectionCurves, curves->kind);
  EXPECT_EQ("section of a", curves->name);
  EXPECT_EQ(a, curves->source);
  EXPECT_TRUE(curves->section->origin.IsEqual(gp_Pnt(0, 0, 15), 0.0)) << "the first plane that met";
  EXPECT_FALSE(curves->section->cache) << "nothing computed before it is asked for";
  // Three cuts: b by both planes, a by one; four edges each, not joined.
  const TopoDS_Shape shape = curves->section->curves();
  EXPECT_EQ(12, count(shape, TopAbs_EDGE));
  EXPECT_EQ(0, count(shape, TopAbs_WIRE));
  Bnd_Box box;
  BRepBndLib::Add(shape, box);
  EXPECT_NEAR(110, box.CornerMax().X(), 1e-6);
}

TEST_F(Probes, JoinedCurvesComeAsWires) {
  const Tag a = add_body(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), "a");
  const Tag plane = add_plane(gp_Pnt(0, 0, 15), gp_Vec(0, 0, 1));
  const std::optional<Object> curves = ufhost::section_curves(session().model, {a}, {plane}, true, 0.01);
  ASSERT_TRUE(curves.has_value());
  EXPECT_EQ(1, count(curves->section->curves(), TopAbs_WIRE));
}

TEST_F(Probes, TheBooleanAnswersAsTheExactGeometryDoes) {
  const Tag ball = add_body(BRepPrimAPI_MakeSphere(5).Shape(), "ball");
  for (double x : {-6.0, -5 - 1e-6, -5 + 1e-6, 0.0, 4.999, 5 + 1e-6}) {
    SCOPED_TRACE(x);
    ufhost::test_control().probing = ufhost::Probing::kFast;
    const bool fast = ufhost::probe_plane(ball, body(ball), gp_Pnt(x, 0, 0), gp_Vec(1, 0, 0)).meets;
    ufhost::test_control().probing = ufhost::Probing::kBoolean;
    const bool boolean = ufhost::probe_plane(ball, body(ball), gp_Pnt(x, 0, 0), gp_Vec(1, 0, 0)).meets;
    EXPECT_EQ(fast, boolean);
    EXPECT_EQ(std::abs(x) < 5, fast);
  }
}

}  // namespace
