// The selection as the host runs it: what the plug-in's masks offer and in
// which order, the size shown with each object, and what picking leaves in
// the session and its transcript.
#include "ufhost/session/selection.h"

#include <gtest/gtest.h>

#include <BRepPrimAPI_MakeBox.hxx>
#include <Standard_Failure.hxx>

#include "host/uf.h"
#include "tests/support/support.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/session/transcript.h"
#include "ufhost/ui/ui.h"

namespace {

using ufhost::Kind;
using ufhost::Object;
using ufhost::SelectionMask;
using ufhost::Tag;
using ufhost::session;

class Selection : public ::testing::Test {
 protected:
  void SetUp() override {
    ufhost::reset_session();
    block = add(Kind::SolidBody, "block", BRepPrimAPI_MakeBox(gp_Pnt(1, 1, 1), 19.843135, 20, 42.29512).Shape());
    Object p;
    p.kind = Kind::Point;
    p.p0 = gp_Pnt(5, 5, 5);
    point = session().model.add(p);
    sheet = add(Kind::SheetBody, "sheet", BRepPrimAPI_MakeBox(1, 1, 1).Shape());
    Object d;
    d.kind = Kind::Plane;
    d.normal = gp_Vec(0, 0, 1);
    plane = session().model.add(d);
  }
  void TearDown() override { ufhost::reset_session(); }

  Tag add(Kind kind, const char* name, const TopoDS_Shape& shape) {
    Object o;
    o.kind = kind;
    o.name = name;
    o.shape = shape;
    return session().model.add(o);
  }

  std::vector<Tag> offered(const std::vector<SelectionMask>& masks) {
    std::vector<Tag> tags;
    for (const ufhost::Selectable& s : ufhost::offered_objects(session().model, masks)) tags.push_back(s.tag);
    return tags;
  }

  Tag block = 0, point = 0, sheet = 0, plane = 0;
};

TEST_F(Selection, WithoutMasksEveryBodyIsOfferedInCreationOrder) {
  EXPECT_EQ((std::vector<Tag>{block, sheet}), offered({}));
}

TEST_F(Selection, MasksOfferTheirTypeWithAnySubtypeOrNone) {
  struct Case {
    const char* name;
    std::vector<SelectionMask> masks;
    std::vector<Tag> offered;
  };
  const Case cases[] = {
      {"points", {{UF_point_type, -1, 0}}, {point}},
      {"subtype 0 is every object's", {{UF_solid_body_type, 0, 0}}, {block}},
      {"another subtype matches nothing", {{UF_solid_body_type, 1, 0}}, {}},
      {"a finer solid type matches nothing", {{UF_solid_body_type, -1, 2}}, {}},
      // Several masks offer each object once, still in creation order.
      {"sheets, then solids", {{UF_sheet_body_type, -1, 0}, {UF_solid_body_type, -1, 0},
                               {UF_solid_body_type, 0, 0}}, {block, sheet}},
      {"datum planes", {{UF_datum_plane_type, -1, 0}}, {plane}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.offered, offered(c.masks));
  }
}

TEST_F(Selection, EachObjectIsOfferedWithItsNameTypeAndExactSize) {
  const std::vector<ufhost::Selectable> all = ufhost::offered_objects(
      session().model, {{UF_solid_body_type, -1, 0}, {UF_datum_plane_type, -1, 0}});
  ASSERT_EQ(2u, all.size());
  EXPECT_EQ("block", all[0].name);
  EXPECT_EQ("solid body", all[0].type);
  EXPECT_EQ("19.843135 x 20 x 42.29512", all[0].size);
  EXPECT_EQ("datum plane", all[1].type);
  EXPECT_EQ("", all[1].size) << "a plane has no size";
}

TEST_F(Selection, AKernelCrashWhileSizingFailsTheOffer) {
  ufhost::contain_kernel_faults("part.step", 99);
  ufhost::test_control().crash_in = "sizing the offered objects";
  EXPECT_THROW(ufhost::offered_objects(session().model, {}), Standard_Failure);
  ufhost::test_control().crash_in.clear();
  EXPECT_EQ(2u, ufhost::offered_objects(session().model, {}).size()) << "the host goes on";
}

TEST_F(Selection, PicksAreKeptInOrderAndHighlightedOnTheRecord) {
  const std::string path = testing_support::work_dir("Selection.Picks") + "/transcript.jsonl";
  session().ui = ufhost::make_scripted_ui({});
  std::string error;
  session().ui->transcript = ufhost::Transcript::open(path, &error);
  ASSERT_TRUE(session().ui->transcript) << error;
  ufhost::keep_selection(session(), {sheet, block});
  EXPECT_EQ((std::vector<Tag>{sheet, block}), session().selection);
  EXPECT_TRUE(session().model.find(block)->highlighted);
  EXPECT_TRUE(session().model.find(sheet)->highlighted);
  EXPECT_FALSE(session().model.find(point)->highlighted);
  const std::vector<std::string> lines = testing_support::split_lines(testing_support::read_file(path));
  ASSERT_EQ(2u, lines.size());
  const auto first = nlohmann::json::parse(lines[0]);
  EXPECT_EQ("highlight", first["kind"]);
  EXPECT_EQ(sheet, first["tag"]);
  EXPECT_EQ("select", first["by"]);
}

TEST_F(Selection, HighlightingWithoutAFrontEndNeedsNoTranscript) {
  ufhost::set_highlight(session(), block, true, "test");
  EXPECT_TRUE(session().model.find(block)->highlighted);
  ufhost::keep_selection(session(), {});
  EXPECT_TRUE(session().selection.empty());
}

}  // namespace
