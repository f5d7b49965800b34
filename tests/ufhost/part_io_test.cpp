// Reading and writing part files: every format, names, exact corners of STL
// triangles, bad files, saving and reading back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeVertex.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <IGESControl_Writer.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <STEPControl_Writer.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Edge.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>

#include "tests/support/support.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/parts/part_io.h"

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::sample;
using testing_support::work_dir;
using ufhost::Kind;
using ufhost::Model;
using ufhost::Object;
using ufhost::Tag;

namespace {

struct Size {
  double x, y, z;
};

Size size_of(const Model& m, Tag t) {
  double b[6];
  EXPECT_TRUE(ufhost::exact_box(*m.find(t), b));
  return {b[3] - b[0], b[4] - b[1], b[5] - b[2]};
}

// The box of all bodies of the model together.
Size size_of_all(const Model& m) {
  double all[6] = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
  for (Tag t : m.tags()) {
    double b[6];
    if (!ufhost::exact_box(*m.find(t), b)) continue;
    for (int k = 0; k < 3; ++k) {
      all[k] = std::min(all[k], b[k]);
      all[k + 3] = std::max(all[k + 3], b[k + 3]);
    }
  }
  return {all[3] - all[0], all[4] - all[1], all[5] - all[2]};
}

void expect_size(const Size& got, const Size& want, double rel) {
  EXPECT_NEAR(got.x, want.x, rel * std::max(1.0, want.x));
  EXPECT_NEAR(got.y, want.y, rel * std::max(1.0, want.y));
  EXPECT_NEAR(got.z, want.z, rel * std::max(1.0, want.z));
}

std::vector<std::string> names_of(const Model& m) {
  std::vector<std::string> out;
  for (Tag t : m.tags()) out.push_back(m.find(t)->name);
  return out;
}

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

void spit(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Triangles as nine coordinates each. Chosen so that no two corners of
// different triangles coincide by accident and no value is round.
const std::vector<std::array<double, 9>> kTriangles = {
    {0.1, 0.2, 0.3, 10.7, -0.25, 1.0 / 3.0, 2.5, 7.125, -3.3},
    {0.1, 0.2, 0.3, 2.5, 7.125, -3.3, -4.75, 1e-3, 12.0625},
    {10.7, -0.25, 1.0 / 3.0, 2.5, 7.125, -3.3, 123456.789, 0.0, -0.0},
};

std::string binary_stl(const std::vector<std::array<double, 9>>& tris) {
  std::string out(80, ' ');
  out.replace(0, 6, "binary");
  const std::uint32_t n = static_cast<std::uint32_t>(tris.size());
  out.append(reinterpret_cast<const char*>(&n), 4);
  for (const auto& t : tris) {
    const float normal[3] = {0, 0, 0};
    out.append(reinterpret_cast<const char*>(normal), 12);
    for (double v : t) {
      const float f = static_cast<float>(v);
      out.append(reinterpret_cast<const char*>(&f), 4);
    }
    out.append(2, '\0');
  }
  return out;
}

std::string ascii_stl(const std::vector<std::array<double, 9>>& tris, const std::string& name) {
  std::string out = "solid " + name + "\n";
  char buf[128];
  for (const auto& t : tris) {
    out += "  facet normal 0 0 0\n    outer loop\n";
    for (int c = 0; c < 3; ++c) {
      std::snprintf(buf, sizeof buf, "      vertex %.17g %.17g %.17g\n", t[3 * c], t[3 * c + 1],
                    t[3 * c + 2]);
      out += buf;
    }
    out += "    endloop\n  endfacet\n";
  }
  return out + "endsolid " + name + "\n";
}

// ---------------------------------------------------------------------------

TEST(PartIo, SamplesLoadWithTheirProductNamesAndSizes) {
  const double c = std::cos(10 * M_PI / 180), s = std::sin(10 * M_PI / 180);
  struct Case {
    const char* file;
    std::vector<std::string> names;
    std::vector<Size> sizes;
  };
  const Case cases[] = {
      {"bracket.step", {"bracket"}, {{80, 40, 60}}},
      // 100 x 50 turned by 10 degrees: 100 cos + 50 sin by 100 sin + 50 cos.
      {"turned_block.step", {"turned block"}, {{100 * c + 50 * s, 100 * s + 50 * c, 20}}},
      {"two_bodies.step", {"box", "cylinder"}, {{40, 30, 20}, {20, 20, 30}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.file);
    Model m;
    std::string error;
    ASSERT_TRUE(ufhost::load_part(sample(k.file), m, &error)) << error;
    EXPECT_EQ(names_of(m), k.names);
    ASSERT_EQ(m.size(), k.sizes.size());
    for (std::size_t i = 0; i < k.sizes.size(); ++i) {
      EXPECT_EQ(m.find(m.tags()[i])->kind, Kind::SolidBody);
      expect_size(size_of(m, m.tags()[i]), k.sizes[i], 1e-9);
    }
  }
}

TEST(PartIo, StlKeepsTheFilesTrianglesCornerForCorner) {
  const std::string dir = work_dir("PartIo.Stl");
  struct Case {
    const char* file;
    std::string bytes;
    bool binary;
    const char* name;
  };
  const Case cases[] = {
      {"tris.stl", binary_stl(kTriangles), true, "tris 1"},
      {"Tris_Upper.STL", ascii_stl(kTriangles, "wedge"), false, "wedge"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.file);
    const std::string path = dir + "/" + k.file;
    spit(path, k.bytes);
    Model m;
    std::string error;
    ASSERT_TRUE(ufhost::load_part(path, m, &error)) << error;
    ASSERT_EQ(m.size(), 1u);
    const Object& o = *m.find(m.tags()[0]);
    EXPECT_EQ(o.kind, Kind::MeshBody);
    EXPECT_EQ(ufhost::type_code(o.kind), 71);
    EXPECT_EQ(o.name, k.name);
    ASSERT_FALSE(o.mesh.IsNull());
    ASSERT_EQ(o.mesh->NbTriangles(), static_cast<int>(kTriangles.size()));
    EXPECT_EQ(o.mesh->NbNodes(), 5) << "equal corners are one node";
    for (int i = 0; i < o.mesh->NbTriangles(); ++i) {
      int n[3];
      o.mesh->Triangle(i + 1).Get(n[0], n[1], n[2]);
      for (int c = 0; c < 3; ++c) {
        const gp_Pnt p = o.mesh->Node(n[c]);
        const double got[3] = {p.X(), p.Y(), p.Z()};
        for (int k3 = 0; k3 < 3; ++k3) {
          const double v = kTriangles[i][3 * c + k3];
          // Binary files hold single precision; the corner is the file's float.
          const double want = k.binary ? static_cast<double>(static_cast<float>(v)) : v;
          EXPECT_EQ(got[k3], want) << "triangle " << i << " corner " << c;
        }
      }
    }
    double b[6];
    ASSERT_TRUE(ufhost::exact_box(o, b));
    EXPECT_EQ(b[0], k.binary ? static_cast<double>(-4.75f) : -4.75);
    EXPECT_EQ(b[3], k.binary ? static_cast<double>(123456.789f) : 123456.789);
  }
}

// The reference boxes of the real parts, from their README (measured on the
// exact geometry, six decimals).
struct SharedPart {
  int bodies;
  Kind kind;
  int faces;  // faces of all bodies, or triangles of a mesh
  Size size;  // all bodies together
};
const std::map<std::string, SharedPart> kSharedParts = {
    {"screw.step", {1, Kind::SolidBody, 10, {19.843135, 20.000000, 42.295120}}},
    {"bottle.brep", {1, Kind::SolidBody, 71, {70.000000, 30.000000, 55.000000}}},
    {"Pump_Nut.brep", {1, Kind::SolidBody, 25, {53.128230, 15.000000, 59.951264}}},
    {"mal_vis.brep", {1, Kind::SolidBody, 6, {40.000000, 40.000000, 65.000000}}},
    {"Ball.brep", {2, Kind::SolidBody, 17, {23.900000, 23.900000, 24.950000}}},
    {"shape.stl", {1, Kind::MeshBody, 494, {297, 168.609, 90}}},
    {"bearing.iges", {1, Kind::SheetBody, 213, {0.100977, 0.121977, 0.031352}}},
};

TEST(PartIo, RealPartsLoadWithTheReferenceBoxes) {
  SKIP_WITHOUT_SHARED_PARTS();
  const auto parts = testing_support::shared_parts();
  ASSERT_FALSE(parts.empty());
  for (const std::string& path : parts) {
    const std::string file = fs::path(path).filename().string();
    SCOPED_TRACE(file);
    const auto it = kSharedParts.find(file);
    ASSERT_NE(it, kSharedParts.end()) << "a new shared part: add its reference box here";
    Model m;
    std::string error;
    ASSERT_TRUE(ufhost::load_part(path, m, &error)) << error;
    ASSERT_EQ(static_cast<int>(m.size()), it->second.bodies);
    int faces = 0;
    for (Tag t : m.tags()) {
      const Object& o = *m.find(t);
      EXPECT_EQ(o.kind, it->second.kind);
      EXPECT_FALSE(o.name.empty());
      if (!o.mesh.IsNull()) faces += o.mesh->NbTriangles();
      for (TopExp_Explorer e(o.shape, TopAbs_FACE); e.More(); e.Next()) ++faces;
    }
    EXPECT_EQ(faces, it->second.faces);
    const Size got = size_of_all(m);
    const Size& want = it->second.size;
    // Six decimals given: half a unit of the last one, or 1e-6 relative.
    const double rel = file == "shape.stl" ? 1e-5 : 1e-6;
    EXPECT_NEAR(got.x, want.x, std::max(5e-7, rel * want.x));
    EXPECT_NEAR(got.y, want.y, std::max(5e-7, rel * want.y));
    EXPECT_NEAR(got.z, want.z, std::max(5e-7, rel * want.z));
  }
}

TEST(PartIo, BadFilesFailWithOneLineNamingTheFileAndLeaveThePartAlone) {
  const std::string dir = work_dir("PartIo.BadFiles");
  fs::create_directories(dir + "/folder.step");
  std::string garbage;
  for (int i = 0; i < 4000; ++i) garbage += static_cast<char>((i * 7919 + 13) % 251);
  const std::string step_without_shapes =
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\nFILE_NAME('','',(''),(''),'','','');\n"
      "FILE_SCHEMA(('AUTOMOTIVE_DESIGN'));\nENDSEC;\nDATA;\n#1 = CARTESIAN_POINT('',(0.,0.,0.));\n"
      "ENDSEC;\nEND-ISO-10303-21;\n";
  struct Case {
    const char* file;
    const char* content;  // nullptr: made beforehand, or missing
    std::string bytes;
    const char* says;     // part of the message
  };
  const Case cases[] = {
      {"missing.step", nullptr, "", "no such file"},
      {"folder.step", nullptr, "", "folder"},
      {"empty.brep", "", "", "empty"},
      {"empty.stl", "", "", "empty"},
      {"garbage.step", "x", garbage, "STEP"},
      {"garbage.stp", "x", "solid but not really\n" + garbage, "STEP"},
      {"garbage.iges", "x", garbage, "IGES"},
      {"garbage.brep", "x", garbage, "BREP"},
      {"garbage.stl", "x", garbage, "STL"},
      {"text.stl", "x", "solid nothing\n  facet normal 0 0 1\n    outer loop\n      vertex 0 0 0\n", "STL"},
      {"cut_short.stl", "x", binary_stl(kTriangles).substr(0, 150), "STL"},
      {"no_triangles.stl", "x", binary_stl({}), "no triangle"},
      {"cut_short.igs", nullptr, "", "IGES"},
      {"cut_short.brep", nullptr, "", "cut short"},  // the kernel would read on for ever
      {"no_triangles_text.stl", "x", "solid none\nendsolid none\n", "no triangle"},
      {"no_shapes.step", "x", step_without_shapes, "no"},
      {"empty_compound.brep", nullptr, "", "no solid"},
      {"edge_only.brep", nullptr, "", "no solid"},
      {"edge_only.step", nullptr, "", "no solid"},
      {"point_only.igs", nullptr, "", "no solid"},
      {"part.sldprt", "x", "whatever", "extension"},
      {"noextension", "x", "whatever", "extension"},
  };
  // Sound files of each format that hold nothing to measure.
  TopoDS_Compound empty;
  BRep_Builder().MakeCompound(empty);
  ASSERT_TRUE(BRepTools::Write(empty, (dir + "/empty_compound.brep").c_str()));
  const TopoDS_Edge edge = BRepBuilderAPI_MakeEdge(gp_Pnt(0, 0, 0), gp_Pnt(1, 2, 3)).Edge();
  ASSERT_TRUE(BRepTools::Write(edge, (dir + "/edge_only.brep").c_str()));
  {
    STEPControl_Writer w;
    ASSERT_EQ(w.Transfer(edge, STEPControl_AsIs), IFSelect_RetDone);
    ASSERT_EQ(w.Write((dir + "/edge_only.step").c_str()), IFSelect_RetDone);
    IGESControl_Writer iw;
    iw.AddShape(BRepBuilderAPI_MakeVertex(gp_Pnt(1, 2, 3)).Vertex());
    iw.ComputeModel();
    ASSERT_TRUE(iw.Write((dir + "/point_only.igs").c_str()));
    // A sound IGES file of a box, cut in the middle.
    IGESControl_Writer box;
    box.AddShape(BRepPrimAPI_MakeBox(1, 2, 3).Shape());
    box.ComputeModel();
    ASSERT_TRUE(box.Write((dir + "/box.igs").c_str()));
    const std::string whole = read_file(dir + "/box.igs");
    spit(dir + "/cut_short.igs", whole.substr(0, whole.size() / 2));
    ASSERT_TRUE(BRepTools::Write(BRepPrimAPI_MakeBox(1, 2, 3).Shape(), (dir + "/box.brep").c_str()));
    const std::string brep = read_file(dir + "/box.brep");
    spit(dir + "/cut_short.brep", brep.substr(0, brep.find("\nTShapes ") + 300));
    Model m;
    std::string error;
    EXPECT_TRUE(ufhost::load_part(dir + "/box.igs", m, &error)) << error;
  }
  for (const Case& k : cases) {
    SCOPED_TRACE(k.file);
    const std::string path = dir + "/" + k.file;
    if (k.content) spit(path, k.bytes);
    Model m;
    Object p;
    p.kind = Kind::Point;
    const Tag before = m.add(p);
    std::string error;
    EXPECT_FALSE(ufhost::load_part(path, m, &error));
    EXPECT_EQ(m.tags(), std::vector<Tag>{before});
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find(k.says), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(PartIo, AssembliesPlaceEveryInstanceAndNameItAfterItsProduct) {
  const std::string path = work_dir("PartIo.Assembly") + "/rack.step";
  // A peg 10 x 20 x 30 used three times: twice in a sub-assembly that is
  // itself placed, once directly.
  const TopoDS_Shape peg = BRepPrimAPI_MakeBox(10, 20, 30).Shape();
  gp_Trsf along, turn, lift;
  along.SetTranslation(gp_Vec(100, 0, 0));
  turn.SetRotation(gp::OZ(), M_PI / 2);
  lift.SetTranslation(gp_Vec(0, 0, 1000));
  BRep_Builder b;
  TopoDS_Compound pair, rack;
  b.MakeCompound(pair);
  b.Add(pair, peg);
  b.Add(pair, peg.Moved(TopLoc_Location(along)));
  b.MakeCompound(rack);
  b.Add(rack, pair.Moved(TopLoc_Location(lift)));
  b.Add(rack, peg.Moved(TopLoc_Location(turn)));
  {
    Handle(TDocStd_Document) doc = new TDocStd_Document("BinXCAF");
    Handle(XCAFDoc_ShapeTool) tool = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
    const TDF_Label top = tool->AddShape(rack, /*makeAssembly=*/true);
    TDataStd_Name::Set(top, "rack");
    TDF_Label part;
    ASSERT_TRUE(tool->Search(peg, part, /*findInstance=*/false));
    TDataStd_Name::Set(part, "peg");
    STEPCAFControl_Writer w;
    ASSERT_TRUE(w.Transfer(doc, STEPControl_AsIs));
    ASSERT_EQ(w.Write(path.c_str()), IFSelect_RetDone);
  }
  Model m;
  std::string error;
  ASSERT_TRUE(ufhost::load_part(path, m, &error)) << error;
  ASSERT_EQ(m.size(), 3u);
  std::vector<std::array<double, 6>> boxes;
  for (Tag t : m.tags()) {
    EXPECT_EQ(m.find(t)->name, "peg");
    std::array<double, 6> box;
    ASSERT_TRUE(ufhost::exact_box(*m.find(t), box.data()));
    boxes.push_back(box);
  }
  std::sort(boxes.begin(), boxes.end());
  const std::vector<std::array<double, 6>> want = {
      {-20, 0, 0, 0, 10, 30},            // turned a quarter about Z
      {0, 0, 1000, 10, 20, 1030},        // first of the lifted pair
      {100, 0, 1000, 110, 20, 1030},     // second, moved along X and lifted
  };
  for (std::size_t i = 0; i < want.size(); ++i)
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(boxes[i][k], want[i][k], 1e-9) << i << " " << k;
}

// A part with something of every kind the host writes.
Model everything(const std::string& stl_path) {
  Model m;
  std::string error;
  EXPECT_TRUE(ufhost::load_part(sample("two_bodies.step"), m, &error)) << error;
  // Copies share their geometry with the original: unmoved, or under a
  // placement.
  Object same = *m.find(m.tags()[0]);
  same.name = "box copy";
  m.add(same);
  gp_Trsf turn;
  turn.SetRotation(gp::OX(), M_PI / 2);
  turn.SetTranslationPart(gp_Vec(0, 0, 100));
  Object copy = ufhost::transformed(*m.find(m.tags()[1]), turn);
  copy.name = "cylinder copy";
  m.add(copy);
  spit(stl_path, binary_stl(kTriangles));
  EXPECT_TRUE(ufhost::load_part(stl_path, m, &error)) << error;
  Object o;
  o.kind = Kind::Point;
  o.p0 = gp_Pnt(500, 600, 700);
  m.add(o);
  o.kind = Kind::Line;
  o.p0 = gp_Pnt(-500, 0, 0);
  o.p1 = gp_Pnt(-400, 0, 0);
  m.add(o);
  o.p1 = o.p0;  // a line of no length, as the frame of a flat body has
  m.add(o);
  o.kind = Kind::Plane;
  o.p0 = gp_Pnt(0, 0, 0);
  o.normal = gp_Vec(0, 0, 1);
  m.add(o);
  auto facets = std::make_shared<ufhost::Facets>();
  facets->xyz = {0, 0, -50, 1, 0, -50, 1, 1, -50, 0, 1, -50};
  facets->start = {0, 4};
  facets->max_corners = 4;
  o = Object();
  o.kind = Kind::FacetModel;
  o.facets = facets;
  m.add(o);
  // Section curves are computed when written; one the kernel cannot make
  // is left out and does not spoil the save.
  for (bool fails : {false, true}) {
    auto section = std::make_shared<ufhost::Section>();
    section->compute = [fails]() -> TopoDS_Shape {
      if (fails) throw Standard_Failure("no section");
      return BRepBuilderAPI_MakeEdge(gp_Pnt(0, 0, 0), gp_Pnt(0, 0, 9)).Edge();
    };
    o = Object();
    o.kind = Kind::SectionCurves;
    o.section = section;
    m.add(o);
  }
  return m;
}

TEST(PartIo, SavedPartsReadBackWithTheirBodies) {
  const std::string dir = work_dir("PartIo.Save");
  const Model m = everything(dir + "/tris.stl");
  const Size mesh = size_of(m, m.tags_of(Kind::MeshBody)[0]);
  struct Body {
    Kind kind;
    Size size;
    const char* name;  // kept by STEP only
  };
  const Body box{Kind::SolidBody, {40, 30, 20}, "box"};
  const Body cylinder{Kind::SolidBody, {20, 20, 30}, "cylinder"};
  const Body box_copy{Kind::SolidBody, {40, 30, 20}, "box copy"};
  const Body turned_cylinder{Kind::SolidBody, {20, 30, 20}, "cylinder copy"};
  struct Case {
    const char* file;
    std::vector<Body> bodies;  // read back, in order
  };
  const Case cases[] = {
      // BREP keeps the mesh as a mesh, and the facet model (a unit square
      // at z = -50) comes back as a second one.
      {"out.brep",
       {box, cylinder, box_copy, turned_cylinder, {Kind::MeshBody, mesh, ""},
        {Kind::MeshBody, {1, 1, 0}, ""}}},
      // STEP keeps names; the mesh comes back as planar faces of a sheet.
      {"out.STEP", {box, cylinder, box_copy, turned_cylinder, {Kind::SheetBody, mesh, "tris 1"}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.file);
    const std::string path = dir + "/" + k.file;
    std::string error;
    ASSERT_TRUE(ufhost::save_part(m, path, sample("two_bodies.step"), &error)) << error;
    Model back;
    ASSERT_TRUE(ufhost::load_part(path, back, &error)) << error;
    ASSERT_EQ(back.size(), k.bodies.size());
    for (std::size_t i = 0; i < k.bodies.size(); ++i) {
      const Object& o = *back.find(back.tags()[i]);
      EXPECT_EQ(o.kind, k.bodies[i].kind) << i;
      expect_size(size_of(back, back.tags()[i]), k.bodies[i].size, 1e-9);
      if (std::string(k.file) == "out.STEP") {
        EXPECT_EQ(o.name, k.bodies[i].name);
      }
    }
  }
  EXPECT_EQ(files_in(dir), (std::vector<std::string>{"out.STEP", "out.brep", "tris.stl"}))
      << "no temporary file is left behind";
}

// The mesh's corners come back within the fifteen significant digits of the
// kernel's text format.
TEST(PartIo, SavedMeshCornersComeBackToTheTextFormatsDigits) {
  const std::string dir = work_dir("PartIo.SaveMesh");
  const Model m = everything(dir + "/tris.stl");
  std::string error;
  ASSERT_TRUE(ufhost::save_part(m, dir + "/out.brep", sample("two_bodies.step"), &error)) << error;
  Model back;
  ASSERT_TRUE(ufhost::load_part(dir + "/out.brep", back, &error)) << error;
  const Handle(Poly_Triangulation) a = m.find(m.tags_of(Kind::MeshBody)[0])->mesh;
  const Handle(Poly_Triangulation) b = back.find(back.tags_of(Kind::MeshBody)[0])->mesh;
  ASSERT_EQ(a->NbNodes(), b->NbNodes());
  for (int i = 1; i <= a->NbNodes(); ++i)
    EXPECT_LE(a->Node(i).Distance(b->Node(i)), 1e-14 * a->Node(i).XYZ().Modulus());
}

TEST(PartIo, SaveRefusesTheInputFileAndLeavesNothingOnFailure) {
  const std::string dir = work_dir("PartIo.Refuse");
  const std::string input = dir + "/in.brep";
  Model m;
  Object o;
  o.kind = Kind::Point;
  m.add(o);
  std::string error;
  ASSERT_TRUE(ufhost::save_part(m, input, "", &error)) << error;
  const std::string original = read_file(input);
  fs::create_directories(dir + "/sub");
  fs::create_symlink(input, dir + "/link.brep");
  struct Case {
    std::string dest;
    std::string input;
    const char* says;
  };
  const Case cases[] = {
      {input, input, "refus"},
      {dir + "/sub/../in.brep", input, "refus"},
      {dir + "/link.brep", input, "refus"},
      // The opened file may be gone by now; its name is still not to be used.
      {dir + "/sub/../gone.step", dir + "/gone.step", "refus"},
      {dir + "/missing/out.brep", input, "does not exist"},
      {dir + "/sub", input, "extension"},
      {dir + "/out.stl", input, "extension"},
      {dir + "/empty.step", input, "nothing to write"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.dest);
    const bool empty = k.dest.find("empty") != std::string::npos;
    EXPECT_FALSE(ufhost::save_part(empty ? Model() : m, k.dest, k.input, &error));
    EXPECT_NE(error.find(k.says), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  EXPECT_EQ(read_file(input), original);
  EXPECT_EQ(files_in(dir), (std::vector<std::string>{"in.brep", "link.brep", "sub"}));
  EXPECT_TRUE(files_in(dir + "/sub").empty());
}

}  // namespace
