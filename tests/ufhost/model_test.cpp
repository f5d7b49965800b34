// The part's object table and its undo journal.
#include <gtest/gtest.h>

#include <algorithm>

#include "ufhost/model/model.h"

namespace {

using ufhost::Kind;
using ufhost::Model;
using ufhost::Object;
using ufhost::Tag;

Object point_at(double x) {
  Object o;
  o.kind = Kind::Point;
  o.p0 = gp_Pnt(x, 0, 0);
  return o;
}

double x_of(const Model& m, Tag t) { return m.find(t)->p0.X(); }

TEST(Model, UndoTakesBackCreationsDeletionsAndMovesToEachMark) {
  Model m;
  const Tag a = m.add(point_at(1));
  const Tag b = m.add(point_at(2));
  const int visible = m.set_mark(true, "command");
  const Tag c = m.add(point_at(3));
  ASSERT_TRUE(m.remove(a));
  ASSERT_TRUE(m.replace(b, point_at(20)));
  const int invisible = m.set_mark(false);
  const Tag d = m.add(point_at(4));
  ASSERT_TRUE(m.remove(c));
  ASSERT_TRUE(m.replace(b, point_at(200)));

  ASSERT_TRUE(m.undo_to(invisible));
  EXPECT_EQ(m.tags(), (std::vector<Tag>{b, c}));
  EXPECT_EQ(m.find(d), nullptr);
  EXPECT_EQ(x_of(m, b), 20);
  EXPECT_EQ(m.marks(), std::vector<int>{visible});

  ASSERT_TRUE(m.undo_to(visible));
  EXPECT_EQ(m.tags(), (std::vector<Tag>{a, b}));
  EXPECT_EQ(x_of(m, a), 1);
  EXPECT_EQ(x_of(m, b), 2);
  EXPECT_TRUE(m.marks().empty());
  EXPECT_FALSE(m.undo_to(visible)) << "a mark goes with its undo";
}

// A page that shows the part as it changes learns of every change from the
// observer, undo's included, with the object as it then is.
TEST(Model, ObserverIsToldOfEveryChangeAndOfWhatUndoTakesBack) {
  Model m;
  std::vector<std::string> told;
  m.observer = [&](ufhost::ModelChange change, Tag tag, const Object* object) {
    const char* names[] = {"added", "removed", "replaced", "highlight"};
    std::string line = names[static_cast<int>(change)] + std::string(" ") + std::to_string(tag);
    if (object != nullptr) line += " at " + std::to_string(static_cast<int>(object->p0.X()));
    told.push_back(line);
  };
  const Tag a = m.add(point_at(1));
  const int mark = m.set_mark(true);
  m.add(point_at(2));
  m.replace(a, point_at(10));
  m.set_highlight(a, true);
  m.set_highlight(99, true);  // no such object: nothing to tell
  m.remove(a);
  m.undo_to(mark);
  m.clear();
  EXPECT_EQ((std::vector<std::string>{
                "added 1 at 1", "added 2 at 2", "replaced 1 at 10", "highlight 1 at 10", "removed 1",
                // undo, newest first: the deletion, the move, the creation of b
                "added 1 at 10", "replaced 1 at 1", "removed 2",
                "removed 1"}),
            told);
}

TEST(Model, UndoDropsTheMarkAndLaterOnesAndKeepsEarlierOnes) {
  Model m;
  const int m1 = m.set_mark(true);
  m.add(point_at(1));
  const int m2 = m.set_mark(false);
  m.add(point_at(2));
  const int m3 = m.set_mark(true);
  m.add(point_at(3));
  m.set_mark(false);
  EXPECT_EQ(m.marks(true), (std::vector<int>{m1, m3}));

  ASSERT_TRUE(m.undo_to(m3));
  EXPECT_EQ(m.size(), 2u);
  EXPECT_EQ(m.marks(), (std::vector<int>{m1, m2}));

  ASSERT_TRUE(m.undo_to(m1));
  EXPECT_EQ(m.size(), 0u);
}

TEST(Model, UndoToAMarkNoLongerThereChangesNothing) {
  Model m;
  m.add(point_at(1));
  const int m1 = m.set_mark(true);
  m.add(point_at(2));
  const int m2 = m.set_mark(false);
  m.add(point_at(3));
  ASSERT_TRUE(m.undo_to(m1));
  EXPECT_FALSE(m.undo_to(m2)) << "dropped by the undo to an earlier mark";
  EXPECT_EQ(m.size(), 1u) << "an unknown mark changes nothing";
  EXPECT_FALSE(m.undo_to(12345));
  EXPECT_EQ(m.size(), 1u);
}

TEST(Model, AnObjectMadeAndDeletedAfterTheMarkStaysGone) {
  Model m;
  const int mark = m.set_mark(false);
  const Tag t = m.add(point_at(1));
  ASSERT_TRUE(m.replace(t, point_at(5)));
  ASSERT_TRUE(m.remove(t));
  ASSERT_TRUE(m.undo_to(mark));
  EXPECT_EQ(m.size(), 0u);
  EXPECT_FALSE(m.remove(t));
  EXPECT_FALSE(m.replace(t, point_at(1)));
}

TEST(Model, TagsAreNeverReused) {
  Model m;
  std::vector<Tag> seen;
  const int mark = m.set_mark(true);
  seen.push_back(m.add(point_at(1)));
  seen.push_back(m.add(point_at(2)));
  m.undo_to(mark);
  seen.push_back(m.add(point_at(3)));
  m.remove(seen.back());
  seen.push_back(m.add(point_at(4)));
  m.clear();
  seen.push_back(m.add(point_at(5)));
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_NE(seen[i], ufhost::kNullTag);
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(seen[i], seen[j]) << i << " and " << j;
  }
}

TEST(Model, KindsFilterAndKeepCreationOrder) {
  Model m;
  const Tag p1 = m.add(point_at(1));
  Object line;
  line.kind = Kind::Line;
  const Tag l = m.add(line);
  const Tag p2 = m.add(point_at(2));
  EXPECT_EQ(m.tags_of(Kind::Point), (std::vector<Tag>{p1, p2}));
  EXPECT_EQ(m.tags_of(Kind::Line), std::vector<Tag>{l});
  EXPECT_TRUE(m.tags_of(Kind::SolidBody).empty());
}

}  // namespace
