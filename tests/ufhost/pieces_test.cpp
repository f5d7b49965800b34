// A part file's solids as a cut list counts them: each instance in its
// product's own frame with its product, material and figures, sheets only
// counted, and the figures as they cross from the reading child.
#include "ufhost/parts/pieces.h"

#include <gtest/gtest.h>

#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Pln.hxx>

#include <array>
#include <cmath>
#include <limits>
#include <map>

#include "tests/support/support.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/parts/part_io.h"

namespace {

using ufhost::BodyFacts;
using ufhost::Piece;
using Box = std::array<double, 6>;

Box box_of(const ufhost::Object& o) {
  Box b{};
  EXPECT_TRUE(ufhost::exact_box(o, b.data()));
  return b;
}

std::vector<Piece> assembly_pieces() {
  std::vector<Piece> pieces;
  int sheets = -1;
  std::string error;
  EXPECT_TRUE(ufhost::load_pieces(testing_support::sample("assembly.step"), &pieces, &sheets, &error))
      << error;
  EXPECT_EQ(0, sheets);
  return pieces;
}

TEST(Pieces, EveryInstanceIsAPieceOfItsProduct) {
  const std::vector<Piece> pieces = assembly_pieces();
  ASSERT_EQ(13u, pieces.size());
  std::map<std::string, int> instances;
  for (const Piece& p : pieces) {
    EXPECT_FALSE(p.product.empty());
    EXPECT_EQ(ufhost::Kind::SolidBody, p.body.kind);
    EXPECT_TRUE(p.facts.ok) << p.body.name;
    ++instances[p.product];
  }
  EXPECT_EQ(7u, instances.size());
  std::map<std::string, std::string> material;  // by name, as the file gives it
  for (const Piece& p : pieces) material[p.body.name] = p.material;
  EXPECT_EQ("C45", material["shaft"]);
  EXPECT_EQ("S235", material["base plate"]);
}

TEST(Pieces, InstancesOfAProductLieAlikeInItsOwnFrame) {
  // As the part is read, the four shafts stand in different places; as
  // pieces, each is the product where the product has it.
  const std::vector<Piece> pieces = assembly_pieces();
  ufhost::Model placed;
  std::string error;
  ASSERT_TRUE(ufhost::load_part(testing_support::sample("assembly.step"), placed, &error)) << error;
  ASSERT_EQ(pieces.size(), placed.size());
  std::map<std::string, std::vector<std::size_t>> of_product;
  for (std::size_t i = 0; i < pieces.size(); ++i) of_product[pieces[i].product].push_back(i);
  bool moved_somewhere = false;
  for (const auto& [product, which] : of_product) {
    SCOPED_TRACE(pieces[which[0]].body.name);
    for (std::size_t i : which) {
      const Box own = box_of(pieces[which[0]].body), other = box_of(pieces[i].body);
      for (int k = 0; k < 6; ++k) EXPECT_NEAR(own[k], other[k], 1e-9) << k;
      EXPECT_TRUE(ufhost::same_body(pieces[which[0]].facts, pieces[i].facts));
      const Box where = box_of(*placed.find(placed.tags()[i]));
      for (int k = 0; k < 6; ++k) moved_somewhere = moved_somewhere || std::abs(where[k] - other[k]) > 1e-6;
    }
  }
  EXPECT_TRUE(moved_somewhere) << "the sample places its instances";
}

TEST(Pieces, SheetsAreCountedButAreNoPieces) {
  const std::string path = testing_support::work_dir("Pieces.Sheets") + "/solid_and_face.brep";
  TopoDS_Compound both;
  BRep_Builder().MakeCompound(both);
  BRep_Builder().Add(both, BRepPrimAPI_MakeBox(1, 2, 3).Shape());
  BRep_Builder().Add(both, BRepBuilderAPI_MakeFace(gp_Pln(gp_Pnt(0, 0, 10), gp::DZ()), 0, 1, 0, 1).Face());
  ASSERT_TRUE(BRepTools::Write(both, path.c_str()));
  std::vector<Piece> pieces;
  int sheets = -1;
  std::string error;
  ASSERT_TRUE(ufhost::load_pieces(path, &pieces, &sheets, &error)) << error;
  EXPECT_EQ(1, sheets);
  ASSERT_EQ(1u, pieces.size());
  EXPECT_EQ("", pieces[0].product) << "no assembly tree";
  EXPECT_NEAR(6, pieces[0].facts.volume, 1e-9);
}

TEST(Pieces, AFileThatCannotBeReadFailsWithOneLine) {
  const std::string path = testing_support::work_dir("Pieces.Missing") + "/missing.step";
  std::vector<Piece> pieces(1);
  std::string error;
  EXPECT_FALSE(ufhost::load_pieces(path, &pieces, nullptr, &error));
  EXPECT_EQ(0u, error.find(path)) << error;
  EXPECT_EQ(std::string::npos, error.find('\n')) << error;
}

TEST(Pieces, FactsCrossFromTheReadingChildWholeOrNotAtAll) {
  BodyFacts a;
  a.ok = true;
  a.volume = 48000;
  a.area = 1.0 / 3.0;
  a.moments[0] = 1e-300;
  a.moments[1] = 2;
  a.moments[2] = 123456.789;
  const BodyFacts back = ufhost::facts_from_json(ufhost::facts_to_json(a));
  EXPECT_TRUE(ufhost::same_body(a, back));
  EXPECT_EQ(a.area, back.area);
  EXPECT_EQ(a.moments[0], back.moments[0]);
  EXPECT_TRUE(ufhost::facts_to_json(BodyFacts()).is_null()) << "facts not worked out";
  for (const char* text : {"{\"volume\": 1}", "{\"volume\": 1, \"area\": 2, \"moments\": [1, 2]}",
                           "{\"volume\": 1, \"area\": \"2\", \"moments\": [1, 2, 3]}",
                           "{\"volume\": 1, \"area\": 2, \"moments\": [1, null, 3]}",
                           "{\"volume\": 1, \"area\": 2, \"moments\": {\"a\": 1}}", "[]", "null", "",
                           "nonsense"})
    EXPECT_FALSE(ufhost::facts_from_json(nlohmann::json::parse(text, nullptr, false)).ok) << text;
  nlohmann::json infinite = ufhost::facts_to_json(a);
  infinite["volume"] = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(ufhost::facts_from_json(infinite).ok);
}

}  // namespace
