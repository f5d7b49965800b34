// Bodies packed into bytes by the reading child and unpacked by the host:
// everything the child read comes back to the bit, and bytes that are not a
// whole pack are refused before anything is made of them.
#include "ufhost/model/body_pack.h"

#include <gtest/gtest.h>

#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Pln.hxx>

#include <cstdint>
#include <cstring>

#include "ufhost/model/object_geometry.h"

namespace {

using ufhost::Kind;
using ufhost::Object;

Object body(Kind kind, const char* name, const TopoDS_Shape& shape,
            const Handle(Poly_Triangulation) & triangles) {
  Object o;
  o.kind = kind;
  o.name = name;
  o.shape = shape;
  o.mesh = triangles;
  return o;
}

Handle(Poly_Triangulation) triangle() {
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(3, 1, false, false);
  mesh->SetNode(1, gp_Pnt(0.1, 1e-300, -0.0));
  mesh->SetNode(2, gp_Pnt(123456.789, 2, 3));
  mesh->SetNode(3, gp_Pnt(-4.75, 5, 1.0 / 7.0));
  mesh->SetTriangle(1, Poly_Triangle(1, 3, 2));
  return mesh;
}

// What the reading child hands back: a solid, the same solid placed again,
// a sheet and a mesh.
std::vector<Object> bodies() {
  const TopoDS_Shape box = BRepPrimAPI_MakeBox(gp_Pnt(0.1, 0.2, 0.3), 1.0 / 3.0, 2.5, 7.125).Shape();
  gp_Trsf turn;
  turn.SetRotation(gp::OZ(), 0.3);
  TopoDS_Compound sheet;
  BRep_Builder().MakeCompound(sheet);
  BRep_Builder().Add(sheet, BRepBuilderAPI_MakeFace(gp_Pln(gp::XOY()), -1, 2, -3, 4).Face());
  return {body(Kind::SolidBody, "block", box, nullptr),
          body(Kind::SolidBody, "блок 2", box.Moved(TopLoc_Location(turn)), nullptr),
          body(Kind::SheetBody, "", sheet, nullptr),
          body(Kind::MeshBody, "mesh", TopoDS_Shape(), triangle())};
}

// The mesh body alone: its counts and corners lie at fixed places in the
// pack (the magic line, the count, kind, name, shape flag, node count).
constexpr std::size_t kKindAt = 16 + 4;
constexpr std::size_t kNodesAt = kKindAt + 4 + 4 + 4 + 4;
constexpr std::size_t kCornersAt = kNodesAt + 4 + 4 + 3 * 24;

std::string packed_mesh() {
  return ufhost::pack_bodies({body(Kind::MeshBody, "mesh", TopoDS_Shape(), triangle())});
}

void put_u32(std::string* bytes, std::size_t at, std::uint32_t v) {
  std::memcpy(&(*bytes)[at], &v, sizeof v);
}

// What the reading process hands back is what it read, to the bit: kinds,
// names, shapes with their placement and sharing, meshes.
TEST(BodyPack, HandBackKeepsBodiesToTheBit) {
  const std::vector<Object> sent = bodies();
  std::vector<Object> back;
  ASSERT_TRUE(ufhost::unpack_bodies(ufhost::pack_bodies(sent), &back));
  ASSERT_EQ(back.size(), sent.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(sent[i].name);
    EXPECT_EQ(back[i].kind, sent[i].kind);
    EXPECT_EQ(back[i].name, sent[i].name);
    double want[6], got[6];
    ASSERT_TRUE(ufhost::exact_box(sent[i], want));
    ASSERT_TRUE(ufhost::exact_box(back[i], got));
    EXPECT_EQ(0, std::memcmp(want, got, sizeof want));
  }
  EXPECT_TRUE(back[0].shape.IsPartner(back[1].shape));  // one solid, placed twice
  const Handle(Poly_Triangulation) mesh = sent[3].mesh;
  for (int n = 1; n <= 3; ++n) EXPECT_TRUE(back[3].mesh->Node(n).IsEqual(mesh->Node(n), 0.0));
  EXPECT_TRUE(std::signbit(back[3].mesh->Node(1).Z()));
  EXPECT_EQ(back[3].mesh->Triangle(1).Value(2), 3);
}

TEST(BodyPack, NoBodiesAndOddNamesComeBackToo) {
  std::vector<Object> back = {Object()};
  ASSERT_TRUE(ufhost::unpack_bodies(ufhost::pack_bodies({}), &back));
  EXPECT_TRUE(back.empty());
  const std::string name("a\0b\nc", 5);
  Object o = body(Kind::MeshBody, "", TopoDS_Shape(), triangle());
  o.name = name;
  ASSERT_TRUE(ufhost::unpack_bodies(ufhost::pack_bodies({o}), &back));
  ASSERT_EQ(1u, back.size());
  EXPECT_EQ(name, back[0].name);
}

TEST(BodyPack, APackCutShortIsRefused) {
  const std::string packed = ufhost::pack_bodies(bodies());
  for (std::size_t cut : {std::size_t{0}, std::size_t{20}, packed.size() / 2, packed.size() - 1}) {
    SCOPED_TRACE(cut);
    std::vector<Object> back = {Object()};
    EXPECT_FALSE(ufhost::unpack_bodies(packed.substr(0, cut), &back));
    EXPECT_TRUE(back.empty());
  }
}

TEST(BodyPack, BytesThatAreNotAPackAreRefused) {
  std::vector<Object> back;
  ASSERT_TRUE(ufhost::unpack_bodies(packed_mesh(), &back)) << "the pack the cases change";
  std::string longer = packed_mesh() + "x";
  std::string other_magic = packed_mesh();
  other_magic[0] = 'U';
  std::string unknown_kind = packed_mesh();
  put_u32(&unknown_kind, kKindAt, 8);
  std::string corner_past_the_nodes = packed_mesh();
  put_u32(&corner_past_the_nodes, kCornersAt + 4, 4);
  std::string corner_zero = packed_mesh();
  put_u32(&corner_zero, kCornersAt, 0);
  // Counts larger than the bytes could hold: refused before a mesh of that
  // size is made.
  std::string huge_mesh = packed_mesh();
  put_u32(&huge_mesh, kNodesAt, 0xFFFFFFFFu);
  std::string claims_a_shape = packed_mesh();
  put_u32(&claims_a_shape, kKindAt + 4 + 4 + 4, 1);
  for (const std::string* bytes : {&longer, &other_magic, &unknown_kind, &corner_past_the_nodes,
                                   &corner_zero, &huge_mesh, &claims_a_shape}) {
    back = {Object()};
    EXPECT_FALSE(ufhost::unpack_bodies(*bytes, &back));
    EXPECT_TRUE(back.empty());
  }
}

}  // namespace
