// Facet models through the host's C interface: what the triangles hold, how
// they are walked, and what faceting leaves of the body.
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gp_Ax2.hxx>
#include <gp_Trsf.hxx>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "host/uf.h"
#include "tests/support/shapes.h"
#include "tests/support/support.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/session/session.h"

namespace {

using testing_support::tolerances;
using ufhost::Kind;
using ufhost::Object;
using ufhost::session;
using Triangle = std::array<double, 9>;

class FacetModel : public ::testing::Test {
 protected:
  void SetUp() override { ufhost::reset_session(); }

  tag_t add(const TopoDS_Shape& shape, Kind kind = Kind::SolidBody) {
    Object body;
    body.kind = kind;
    body.name = "body";
    body.shape = shape;
    return session().model.add(body);
  }

  tag_t facet(tag_t body) {
    UF_FACET_parameters_t p;
    EXPECT_EQ(0, UF_FACET_ask_default_parameters(&p));
    tag_t model = NULL_TAG;
    EXPECT_EQ(0, UF_FACET_facet_solid(body, &p, &model));
    return model;
  }

  // Every facet through the C walk, as the plug-in reads them.
  std::vector<Triangle> walk(tag_t model) {
    int max_verts = 0;
    EXPECT_EQ(0, UF_FACET_ask_max_facet_verts(model, &max_verts));
    EXPECT_EQ(3, max_verts);
    std::vector<Triangle> out;
    int id = -1;
    EXPECT_EQ(0, UF_FACET_cycle_facets(model, &id));
    for (; id != -1; UF_FACET_cycle_facets(model, &id)) {
      EXPECT_EQ(static_cast<int>(out.size()), id);
      int n = 0;
      double v[3][3];
      EXPECT_EQ(0, UF_FACET_ask_num_verts_in_facet(model, id, &n));
      EXPECT_EQ(0, UF_FACET_ask_vertices_of_facet(model, id, &n, v));
      EXPECT_EQ(3, n);
      out.push_back({v[0][0], v[0][1], v[0][2], v[1][0], v[1][1], v[1][2], v[2][0], v[2][1], v[2][2]});
    }
    return out;
  }
};

// Divergence theorem: the triangles of a closed, outward-wound surface
// enclose this volume; a face wound the wrong way subtracts its share.
double enclosed_volume(const std::vector<Triangle>& triangles) {
  double v = 0.0;
  for (const Triangle& t : triangles) {
    const gp_Vec a(t[0], t[1], t[2]), b(t[3], t[4], t[5]), c(t[6], t[7], t[8]);
    v += a.Dot(b.Crossed(c)) / 6.0;
  }
  return v;
}

std::array<double, 6> corner_box(const std::vector<Triangle>& triangles) {
  std::array<double, 6> box = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
  for (const Triangle& t : triangles)
    for (int i = 0; i < 9; ++i) {
      box[i % 3] = std::min(box[i % 3], t[i]);
      box[i % 3 + 3] = std::max(box[i % 3 + 3], t[i]);
    }
  return box;
}

TEST_F(FacetModel, TrianglesCoverTheBodyInAbsoluteCoordinatesFacingOut) {
  gp_Trsf move;
  move.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(1, 2, 3)), 0.7);
  move.SetTranslationPart(gp_Vec(100, -50, 7));
  const double pi = std::acos(-1.0);
  const TopoDS_Shape block = BRepPrimAPI_MakeBox(gp_Pnt(1, 2, 3), 10, 20, 30).Shape();
  const TopoDS_Shape cavity = BRepPrimAPI_MakeBox(gp_Pnt(3, 4, 5), 2, 3, 4).Shape();
  struct Case {
    const char* name;
    TopoDS_Shape shape;
    double volume;
    double volume_tolerance;  // relative
  };
  const Case cases[] = {
      {"box", block, 6000, 1e-12},
      // The location of the shape must reach the corners.
      {"box placed elsewhere", block.Moved(TopLoc_Location(move)), 6000, 1e-12},
      // The cavity's faces are reversed: their triangles must turn too.
      {"box with a cavity", BRepAlgoAPI_Cut(block, cavity).Shape(), 6000 - 24, 1e-12},
      // A chord of a thousandth of the diagonal loses little of the round.
      {"cylinder", BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(0, 0, 0), gp_Dir(0, 0, 1)), 5, 10).Shape(),
       pi * 25 * 10, 0.01},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    const tag_t body = add(c.shape);
    const std::vector<Triangle> triangles = walk(facet(body));
    ASSERT_FALSE(triangles.empty());
    EXPECT_NEAR(c.volume, enclosed_volume(triangles), c.volume * c.volume_tolerance);
    EXPECT_LE(enclosed_volume(triangles), c.volume * (1 + 1e-12));  // corners lie on the body
    double exact[6];
    ASSERT_TRUE(ufhost::exact_box(*session().model.find(body), exact));
    const std::array<double, 6> corners = corner_box(triangles);
    const double diagonal = std::hypot(exact[3] - exact[0], exact[4] - exact[1], exact[5] - exact[2]);
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(exact[k], corners[k], 0.001 * diagonal) << k;
  }
}

TEST_F(FacetModel, FacetingLeavesTheBodyAsItWas) {
  TopoDS_Shape block = BRepPrimAPI_MakeBox(40, 30, 20).Shape();
  BRepFilletAPI_MakeFillet fillet(block);
  for (TopExp_Explorer e(block, TopAbs_EDGE); e.More(); e.Next()) fillet.Add(3.0, TopoDS::Edge(e.Current()));
  const TopoDS_Shape rounded = fillet.Shape();
  const std::vector<double> before = tolerances(rounded);
  const tag_t body = add(rounded);
  ASSERT_NE(NULL_TAG, facet(body));
  const TopoDS_Shape after = session().model.find(body)->shape;
  EXPECT_TRUE(after.IsSame(rounded));
  EXPECT_EQ(before, tolerances(after));
  for (TopExp_Explorer e(after, TopAbs_FACE); e.More(); e.Next()) {
    TopLoc_Location loc;
    EXPECT_TRUE(BRep_Tool::Triangulation(TopoDS::Face(e.Current()), loc).IsNull());
  }
}

TEST_F(FacetModel, MeshBodyGivesBackTheFilesTriangles) {
  // Coordinates a float holds exactly, so the file's values are the values.
  const std::vector<Triangle> file = {
      {0.5, 1.25, -3.75, 10.5, 1.25, -3.75, 0.5, 8.0, 2.125},
      {10.5, 1.25, -3.75, 0.5, 8.0, 2.125, 7.0, 7.0, 7.0},
      {-1.0, -2.0, -3.0, 0.5, 1.25, -3.75, 7.0, 7.0, 7.0},
  };
  const std::string path = testing_support::work_dir("MeshBodyGivesBackTheFilesTriangles") + "/m.stl";
  {
    std::ofstream out(path);
    out << "solid m\n";
    for (const Triangle& t : file) {
      out << " facet normal 0 0 0\n  outer loop\n";
      for (int i = 0; i < 3; ++i)
        out << "   vertex " << t[3 * i] << " " << t[3 * i + 1] << " " << t[3 * i + 2] << "\n";
      out << "  endloop\n endfacet\n";
    }
    out << "endsolid m\n";
  }
  std::string error;
  ASSERT_TRUE(ufhost::load_part(path, session().model, &error)) << error;
  const std::vector<ufhost::Tag> meshes = session().model.tags_of(Kind::MeshBody);
  ASSERT_EQ(1u, meshes.size());
  EXPECT_EQ(file, walk(facet(meshes[0])));
}

TEST_F(FacetModel, RealMeshPartGivesEveryTriangle) {
  SKIP_WITHOUT_SHARED_PARTS();
  std::string error;
  ASSERT_TRUE(ufhost::load_part(testing_support::shared_part("shape.stl"), session().model, &error));
  EXPECT_EQ(494u, walk(facet(session().model.tags_of(Kind::MeshBody).at(0))).size());
}

TEST_F(FacetModel, ModelIsAnObjectOfThePartThatUndoRemoves) {
  const tag_t body = add(BRepPrimAPI_MakeBox(1, 1, 1).Shape());
  const int mark = session().model.set_mark(false);
  const tag_t model = facet(body);
  const Object* o = session().model.find(model);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ(Kind::FacetModel, o->kind);
  EXPECT_EQ(body, o->source);
  EXPECT_EQ(12u, walk(model).size());  // two triangles a face
  ASSERT_TRUE(session().model.undo_to(mark));
  EXPECT_EQ(nullptr, session().model.find(model));
  EXPECT_NE(nullptr, session().model.find(body));
}

TEST_F(FacetModel, DefaultsReadAsTheRecordSays) {
  UF_FACET_parameters_t p;
  std::memset(&p, 0x5a, sizeof p);
  ASSERT_EQ(0, UF_FACET_ask_default_parameters(&p));
  EXPECT_EQ(-2, p.layout_version);
  EXPECT_EQ(3, p.max_corners);
  EXPECT_FALSE(p.use_surface_chord);
  EXPECT_GT(p.surface_chord, 0.0);
  EXPECT_LT(p.surface_chord, 0.01);  // a fraction of the body's size
  EXPECT_GT(p.surface_angle, 0.0);
  EXPECT_EQ(1, p.storage_kind);
  EXPECT_EQ(1.0, p.view_direction[2]);
}

// An absolute chord is honoured: a coarser one gives fewer facets.
TEST_F(FacetModel, AnAbsoluteChordIsHonoured) {
  UF_FACET_parameters_t p;
  ASSERT_EQ(0, UF_FACET_ask_default_parameters(&p));
  const tag_t body = add(BRepPrimAPI_MakeCylinder(10, 10).Shape());
  std::size_t counts[2];
  for (int i = 0; i < 2; ++i) {
    p.use_surface_chord = p.use_curve_chord = true;
    p.surface_chord = p.curve_chord = i == 0 ? 0.001 : 0.5;
    p.surface_angle = p.curve_angle = 1.5;
    tag_t model = NULL_TAG;
    ASSERT_EQ(0, UF_FACET_facet_solid(body, &p, &model));
    counts[i] = walk(model).size();
  }
  EXPECT_GT(counts[0], 4 * counts[1]);
}

// A body, its facet model, a body with no geometry, a sheet of one edge,
// a point, and facet records that are good, of an old layout, or of too
// few corners.
class BadFacetRequests : public FacetModel {
 protected:
  void SetUp() override {
    FacetModel::SetUp();
    body = add(BRepPrimAPI_MakeBox(1, 1, 1).Shape());
    model = facet(body);
    nothing = add(TopoDS_Shape());
    wire = add(BRepBuilderAPI_MakeEdge(gp_Pnt(0, 0, 0), gp_Pnt(1, 0, 0)).Edge(), Kind::SheetBody);
    point = session().model.add(Object{});
    UF_FACET_ask_default_parameters(&good);
    old_layout = good;
    old_layout.layout_version = 0;
    quads_only = good;
    quads_only.max_corners = 2;
  }
  tag_t body = NULL_TAG, model = NULL_TAG, nothing = NULL_TAG, wire = NULL_TAG, point = NULL_TAG;
  UF_FACET_parameters_t good{}, old_layout{}, quads_only{};
};

TEST_F(BadFacetRequests, LeaveTheCallersTagAlone) {
  struct Solid {
    const char* name;
    tag_t body;
    UF_FACET_parameters_t* p;
    int code;
  };
  const Solid solids[] = {
      {"no such tag", 999, &good, ufhost::kErrBadTag},
      {"not a body", point, &good, ufhost::kErrWrongType},
      {"no geometry", nothing, &good, ufhost::kErrGeometry},
      {"no faces to facet", wire, &good, ufhost::kErrGeometry},
      {"unknown layout", body, &old_layout, ufhost::kErrBadArgument},
      {"fewer than three corners", body, &quads_only, ufhost::kErrBadArgument},
      {"no record", body, nullptr, ufhost::kErrBadArgument},
  };
  for (const Solid& c : solids) {
    SCOPED_TRACE(c.name);
    tag_t out = 4242;
    EXPECT_EQ(c.code, UF_FACET_facet_solid(c.body, c.p, &out));
    EXPECT_EQ(4242u, out);  // untouched: the caller's null tag stays null
  }
}

TEST_F(BadFacetRequests, AWalkThatGoesWrongEnds) {
  struct Walk {
    const char* name;
    tag_t model;
    int facet;
    int code;
  };
  const Walk walks[] = {
      {"no such tag", 999, 0, ufhost::kErrBadTag},
      {"a body is no facet model", body, 0, ufhost::kErrWrongType},
      {"facet past the end", model, 12, ufhost::kErrBadArgument},
      {"facet before the start", model, -2, ufhost::kErrBadArgument},
  };
  for (const Walk& c : walks) {
    SCOPED_TRACE(c.name);
    int id = c.facet, n = 7;
    double v[3][3];
    EXPECT_EQ(c.code, UF_FACET_cycle_facets(c.model, &id));
    EXPECT_EQ(-1, id);  // a walk that goes wrong ends
    EXPECT_EQ(c.code, UF_FACET_ask_num_verts_in_facet(c.model, c.facet, &n));
    EXPECT_EQ(0, n);
    n = 7;
    EXPECT_EQ(c.code, UF_FACET_ask_vertices_of_facet(c.model, c.facet, &n, v));
    EXPECT_EQ(0, n);
  }
}

TEST_F(BadFacetRequests, MissingOutputsAreRefused) {
  int n = 0;
  EXPECT_EQ(ufhost::kErrBadArgument, UF_FACET_ask_vertices_of_facet(model, 0, &n, nullptr));
  EXPECT_EQ(ufhost::kErrBadArgument, UF_FACET_cycle_facets(model, nullptr));
}

TEST_F(BadFacetRequests, AnInjectedFailureMakesNoModel) {
  session().fail_rules.push_back({"UF_FACET_facet_solid", ufhost::kErrRefused, 0});
  tag_t out = NULL_TAG;
  EXPECT_EQ(ufhost::kErrRefused, UF_FACET_facet_solid(body, &good, &out));
  EXPECT_EQ(NULL_TAG, out);
  EXPECT_EQ(1u, session().model.tags_of(Kind::FacetModel).size());
}

}  // namespace
