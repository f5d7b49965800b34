// The C entry points of libufun for the model: undo, boxes, points, lines,
// planes, deletion, matrices and the move/copy routine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "host/uf.h"
#include "tests/support/support.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/session/session.h"

namespace {

using ufhost::session;

class UfunModel : public ::testing::Test {
 protected:
  void SetUp() override { ufhost::reset_session(); }

  // Loads a sample into the session's part; returns the tags it added.
  std::vector<tag_t> load(const std::string& name) {
    const std::size_t before = session().model.size();
    std::string error;
    EXPECT_TRUE(ufhost::load_part(testing_support::sample(name), session().model, &error)) << error;
    const std::vector<tag_t> all = session().model.tags();
    return std::vector<tag_t>(all.begin() + static_cast<long>(before), all.end());
  }

  static std::array<double, 6> box(tag_t tag) {
    std::array<double, 6> b{};
    EXPECT_EQ(UF_MODL_ask_bounding_box(tag, b.data()), 0);
    return b;
  }

  // Moves (1) or copies (2) by the rotation about the line through origin.
  static int turn(std::vector<tag_t> objects, int code, const double origin[3],
                  const double direction[3], double degrees, std::vector<tag_t>* copies) {
    double m[16];
    EXPECT_EQ(UF_MTX4_identity(m), 0);
    EXPECT_EQ(UF_MTX4_rotation(const_cast<double*>(origin), const_cast<double*>(direction), degrees, m), 0);
    const int count = static_cast<int>(objects.size());
    const int layer = 0, trace = 2;
    copies->assign(objects.size(), NULL_TAG);
    tag_t group = 12345;
    int status = -1;
    uf5947_(m, objects.data(), &count, &code, &layer, &trace, copies->data(), &group, &status);
    EXPECT_EQ(group, NULL_TAG);
    return status;
  }
};

const double kOrigin[3] = {0, 0, 0};
const double kZ[3] = {0, 0, 1};

TEST_F(UfunModel, BoundingBoxOfTheTurnedBlockIsExact) {
  const tag_t block = load("turned_block.step").at(0);
  const auto b = box(block);
  const double c = std::cos(10 * M_PI / 180), s = std::sin(10 * M_PI / 180);
  // Corners (0,0), (100c, 100s), (-50s, 50c), (100c - 50s, 100s + 50c).
  EXPECT_NEAR(b[0], -50 * s, 1e-9);
  EXPECT_NEAR(b[1], 0, 1e-9);
  EXPECT_NEAR(b[3] - b[0], 100 * c + 50 * s, 1e-9);
  EXPECT_NEAR(b[4] - b[1], 100 * s + 50 * c, 1e-9);
  EXPECT_NEAR(b[5] - b[2], 20, 1e-9);
}

TEST_F(UfunModel, BoundingBoxFailuresLeaveTheBoxAlone) {
  double origin[3] = {1, 2, 3}, normal[3] = {0, 0, 1};
  tag_t plane = NULL_TAG;
  ASSERT_EQ(UF_MODL_create_plane(origin, normal, &plane), 0);
  session().fail_rules.push_back({"UF_MODL_ask_bounding_box", 4242, 3});
  const tag_t body = load("two_bodies.step").at(0);
  struct Case {
    tag_t tag;
    int code;
  };
  const Case cases[] = {{999999, ufhost::kErrBadTag}, {plane, ufhost::kErrWrongType}, {body, 4242}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.code);
    double b[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_EQ(UF_MODL_ask_bounding_box(k.tag, b), k.code);
    for (double v : b) EXPECT_EQ(v, 7);
  }
  EXPECT_EQ(box(body)[3], 40) << "the fourth call is not injected";
}

TEST_F(UfunModel, BoundingBoxWithoutAnOutputIsRefused) {
  const tag_t body = load("two_bodies.step").at(0);
  EXPECT_EQ(UF_MODL_ask_bounding_box(body, nullptr), ufhost::kErrBadArgument);
}

TEST_F(UfunModel, PointsAreObjectsWithTheirGeometry) {
  double p[3] = {1, 2, 3};
  tag_t point = NULL_TAG;
  ASSERT_EQ(UF_CURVE_create_point(p, &point), 0);
  EXPECT_EQ(session().model.find(point)->kind, ufhost::Kind::Point);
  EXPECT_EQ(box(point), (std::array<double, 6>{1, 2, 3, 1, 2, 3}));
}

TEST_F(UfunModel, LinesAreObjectsEvenOfNoLength) {
  UF_CURVE_line_t line = {{4, 5, 6}, {1, 8, 6}};
  tag_t l = NULL_TAG;
  ASSERT_EQ(UF_CURVE_create_line(&line, &l), 0);
  EXPECT_EQ(box(l), (std::array<double, 6>{1, 5, 6, 4, 8, 6}));
  // The frame of a flat body asks for lines of no length: they are made.
  UF_CURVE_line_t flat = {{4, 5, 6}, {4, 5, 6}};
  tag_t zero = NULL_TAG;
  ASSERT_EQ(UF_CURVE_create_line(&flat, &zero), 0);
  EXPECT_NE(zero, NULL_TAG);
}

TEST_F(UfunModel, PlanesAreDatumPlanesWithAUnitNormal) {
  double p[3] = {1, 2, 3}, normal[3] = {0, 0, 2};
  tag_t plane = NULL_TAG;
  ASSERT_EQ(UF_MODL_create_plane(p, normal, &plane), 0);
  EXPECT_EQ(ufhost::type_code(session().model.find(plane)->kind), UF_datum_plane_type);
  EXPECT_DOUBLE_EQ(session().model.find(plane)->normal.Z(), 1.0);
}

// Bad arguments: a distinct code and a null tag out.
TEST_F(UfunModel, BadArgumentsGiveTheirCodeANullTagAndNoObject) {
  double p[3] = {1, 2, 3};
  double no_dir[3] = {0, 0, 0};
  double nan3[3] = {NAN, 0, 0};
  tag_t t = 77;
  EXPECT_EQ(UF_MODL_create_plane(p, no_dir, &t), ufhost::kErrBadArgument);
  EXPECT_EQ(t, NULL_TAG);
  t = 77;
  EXPECT_EQ(UF_CURVE_create_point(nan3, &t), ufhost::kErrBadArgument);
  EXPECT_EQ(t, NULL_TAG);
  EXPECT_EQ(UF_CURVE_create_point(nullptr, &t), ufhost::kErrBadArgument);
  EXPECT_EQ(UF_CURVE_create_line(nullptr, &t), ufhost::kErrBadArgument);
  EXPECT_EQ(session().model.size(), 0u);
}

TEST_F(UfunModel, AnObjectIsDeletedOnce) {
  double p[3] = {1, 2, 3};
  tag_t point = NULL_TAG, other = NULL_TAG;
  ASSERT_EQ(UF_CURVE_create_point(p, &point), 0);
  ASSERT_EQ(UF_CURVE_create_point(p, &other), 0);
  EXPECT_EQ(UF_OBJ_delete_object(point), 0);
  EXPECT_EQ(UF_OBJ_delete_object(point), ufhost::kErrBadTag);
  EXPECT_EQ(UF_OBJ_delete_object(NULL_TAG), ufhost::kErrBadTag);
  EXPECT_EQ(session().model.size(), 1u);
}

TEST_F(UfunModel, UndoRemovesWhatWasMadeAndRevertsMovesAndCopies) {
  const std::vector<tag_t> bodies = load("two_bodies.step");
  const auto box_before = box(bodies[0]);
  UF_UNDO_mark_id_t visible = 0, invisible = 0;
  ASSERT_EQ(UF_UNDO_set_mark(UF_UNDO_visible, "command", &visible), 0);

  double p[3] = {1, 2, 3}, n[3] = {1, 0, 0};
  tag_t point = NULL_TAG, line = NULL_TAG, plane = NULL_TAG;
  UF_CURVE_line_t lc = {{0, 0, 0}, {1, 0, 0}};
  ASSERT_EQ(UF_CURVE_create_point(p, &point), 0);
  ASSERT_EQ(UF_CURVE_create_line(&lc, &line), 0);
  ASSERT_EQ(UF_UNDO_set_mark(UF_UNDO_invisible, nullptr, &invisible), 0);
  ASSERT_EQ(UF_MODL_create_plane(p, n, &plane), 0);
  std::vector<tag_t> copies;
  ASSERT_EQ(turn(bodies, 2, kOrigin, kZ, 0.0, &copies), 0);
  ASSERT_EQ(turn({bodies[0]}, 1, kOrigin, kZ, 90.0, &copies), 0);
  ASSERT_NE(box(bodies[0]), box_before);

  ASSERT_EQ(UF_UNDO_undo_to_mark(invisible, ""), 0);
  EXPECT_EQ(session().model.size(), 4u) << "plane and copies gone";
  EXPECT_EQ(session().model.find(plane), nullptr);
  EXPECT_EQ(box(bodies[0]), box_before);
  EXPECT_NE(session().model.find(point), nullptr);

  ASSERT_EQ(UF_UNDO_undo_to_mark(visible, nullptr), 0);
  EXPECT_EQ(session().model.tags(), bodies);
  EXPECT_EQ(UF_UNDO_undo_to_mark(visible, nullptr), ufhost::kErrNoUndoMark) << "dropped by the undo";
  EXPECT_EQ(UF_UNDO_undo_to_mark(12345, nullptr), ufhost::kErrNoUndoMark);
}

TEST_F(UfunModel, SetMarkRefusesAnUnknownKindAndAMissingId) {
  UF_UNDO_mark_id_t id = 55;
  EXPECT_EQ(UF_UNDO_set_mark(2, nullptr, &id), ufhost::kErrBadArgument);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(UF_UNDO_set_mark(UF_UNDO_visible, nullptr, nullptr), ufhost::kErrBadArgument);
}

TEST_F(UfunModel, RotationMatrixTurnsAboutTheLineThroughTheOrigin) {
  double origin[3] = {1, 0, 0}, z[3] = {0, 0, 5};
  double m[16];
  ASSERT_EQ(UF_MTX4_rotation(origin, z, 90.0, m), 0);
  // Row by row, translation in column 3: (2, 0, 0) goes to (1, 1, 0).
  const double p[3] = {2, 0, 0};
  double q[3];
  for (int r = 0; r < 3; ++r) q[r] = m[4 * r] * p[0] + m[4 * r + 1] * p[1] + m[4 * r + 2] * p[2] + m[4 * r + 3];
  EXPECT_NEAR(q[0], 1, 1e-15);
  EXPECT_NEAR(q[1], 1, 1e-15);
  EXPECT_NEAR(q[2], 0, 1e-15);
  EXPECT_EQ(m[12], 0);
  EXPECT_EQ(m[15], 1);
}

TEST_F(UfunModel, IdentityMatrixIsOneOnTheDiagonal) {
  double id[16];
  ASSERT_EQ(UF_MTX4_identity(id), 0);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(id[i], i % 5 == 0 ? 1.0 : 0.0);
}

TEST_F(UfunModel, MatricesOfNoAxisOrAngleAreRefused) {
  double origin[3] = {1, 0, 0}, z[3] = {0, 0, 5};
  double m[16];
  double zero[3] = {0, 0, 0};
  EXPECT_EQ(UF_MTX4_rotation(origin, zero, 90.0, m), ufhost::kErrBadArgument);
  EXPECT_EQ(UF_MTX4_rotation(origin, z, INFINITY, m), ufhost::kErrBadArgument);
  EXPECT_EQ(UF_MTX4_identity(nullptr), ufhost::kErrBadArgument);
}

// The sample's two bodies and a mesh body, each copied at 0 degrees.
class Copies : public UfunModel {
 protected:
  void SetUp() override {
    UfunModel::SetUp();
    load("two_bodies.step");
    std::string error;
    // A mesh body is moved and copied too.
    const std::string stl = testing_support::work_dir("UfunModel.Turn") + "/t.stl";
    {
      FILE* f = std::fopen(stl.c_str(), "w");
      ASSERT_NE(f, nullptr);
      std::fputs("solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 40 0 0\n"
                 "vertex 0 30 5\nendloop\nendfacet\nendsolid t\n", f);
      std::fclose(f);
    }
    ASSERT_TRUE(ufhost::load_part(stl, session().model, &error)) << error;
    all = session().model.tags();
    for (tag_t t : all) before.push_back(box(t));
    ASSERT_EQ(turn(all, 2, kOrigin, kZ, 0.0, &copies), 0);
  }
  std::vector<tag_t> all, copies;
  std::vector<std::array<double, 6>> before;
};

TEST_F(Copies, AtAngleZeroCoincideWithTheirOriginals) {
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(copies[i], NULL_TAG);
    EXPECT_EQ(box(copies[i]), before[i]) << "a copy at 0 degrees coincides";
    EXPECT_EQ(box(all[i]), before[i]) << "the original stays";
    EXPECT_EQ(session().model.find(copies[i])->name, session().model.find(all[i])->name + " copy");
    EXPECT_EQ(session().model.find(copies[i])->kind, session().model.find(all[i])->kind);
  }
  EXPECT_EQ(session().model.size(), 2 * all.size());
}

// A quarter turn about Z through the origin: (x, y) goes to (-y, x).
TEST_F(Copies, MoveAQuarterTurnAndLeaveTheOriginals) {
  std::vector<tag_t> unused;
  ASSERT_EQ(turn(copies, 1, kOrigin, kZ, 90.0, &unused), 0);
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(i);
    const auto b = box(copies[i]);
    const auto& a = before[i];
    EXPECT_NEAR(b[0], -a[4], 1e-9);
    EXPECT_NEAR(b[3], -a[1], 1e-9);
    EXPECT_NEAR(b[1], a[0], 1e-9);
    EXPECT_NEAR(b[4], a[3], 1e-9);
    EXPECT_NEAR(b[2], a[2], 1e-9);
    EXPECT_NEAR(b[5], a[5], 1e-9);
    EXPECT_EQ(box(all[i]), before[i]);
  }
  EXPECT_EQ(session().model.size(), 2 * all.size());
}

TEST_F(UfunModel, TransformWithABadArgumentChangesNothing) {
  const std::vector<tag_t> bodies = load("two_bodies.step");
  const auto box0 = box(bodies[0]);
  double m[16];
  double origin[3] = {0, 0, 0}, z[3] = {0, 0, 1};
  ASSERT_EQ(UF_MTX4_rotation(origin, z, 30.0, m), 0);
  double scaled[16];
  std::memcpy(scaled, m, sizeof m);
  for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) scaled[i] *= 2;
  const tag_t list[3] = {bodies[0], 999999, bodies[1]};
  struct Case {
    const char* name;
    const double* matrix;
    int count, code, layer, trace;
    int status;
  };
  const Case cases[] = {
      {"bad tag last but one", m, 3, 1, 0, 2, ufhost::kErrBadTag},
      {"bad tag in a copy", m, 3, 2, 0, 2, ufhost::kErrBadTag},
      {"unknown code", m, 1, 3, 0, 2, ufhost::kErrBadArgument},
      {"negative count", m, -1, 1, 0, 2, ufhost::kErrBadArgument},
      {"another layer", m, 1, 1, 5, 2, ufhost::kErrBadArgument},
      {"trace curves", m, 1, 1, 0, 1, ufhost::kErrBadArgument},
      {"not a rigid motion", scaled, 1, 1, 0, 2, ufhost::kErrBadArgument},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    tag_t copies[3] = {7, 7, 7};
    tag_t group = 5;
    int status = 0;
    uf5947_(k.matrix, list, &k.count, &k.code, &k.layer, &k.trace, copies, &group, &status);
    EXPECT_EQ(status, k.status);
    EXPECT_EQ(group, NULL_TAG);
    if (k.code == 2) {
      EXPECT_EQ(copies[0], NULL_TAG);
    }
    EXPECT_EQ(session().model.size(), 2u);
    EXPECT_EQ(box(bodies[0]), box0);
  }
}

// No objects: nothing to do, and that is no failure.
TEST_F(UfunModel, TransformOfNoObjectsIsNoFailure) {
  double m[16];
  double origin[3] = {0, 0, 0}, z[3] = {0, 0, 1};
  ASSERT_EQ(UF_MTX4_rotation(origin, z, 30.0, m), 0);
  const int none = 0, move = 1, layer = 0, trace = 2;
  int status = -1;
  uf5947_(m, nullptr, &none, &move, &layer, &trace, nullptr, nullptr, &status);
  EXPECT_EQ(status, 0);
}

TEST_F(UfunModel, AnInjectedFailureOfTheNthCallReturnsItsCodeAndMakesNothing) {
  session().fail_rules.push_back({"UF_CURVE_create_point", 4711, 2});
  double p[3] = {1, 2, 3};
  tag_t t = NULL_TAG;
  EXPECT_EQ(UF_CURVE_create_point(p, &t), 0);
  t = 99;
  EXPECT_EQ(UF_CURVE_create_point(p, &t), 4711);
  EXPECT_EQ(t, NULL_TAG);
  EXPECT_EQ(UF_CURVE_create_point(p, &t), 0);
  EXPECT_EQ(session().model.size(), 2u);
}

TEST_F(UfunModel, AnInjectedFailureOfAMoveMakesNoCopies) {
  session().fail_rules.push_back({"uf5947_", ufhost::kErrRefused, 0});
  const tag_t body = load("two_bodies.step").at(0);
  std::vector<tag_t> copies;
  EXPECT_EQ(turn({body}, 2, kOrigin, kZ, 0.0, &copies), ufhost::kErrRefused);
  EXPECT_EQ(copies[0], NULL_TAG);
  EXPECT_EQ(session().model.size(), 2u);
}

TEST_F(UfunModel, FailMessagesForTheHostsCodesOnly) {
  char text[UF_UI_FAIL_MESSAGE_SIZE];
  struct Case {
    int code;
    bool known;
  };
  const Case cases[] = {{ufhost::kErrBadTag, true}, {ufhost::kErrRefused, true}, {0, false}, {4242, false}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.code);
    std::memset(text, 'x', sizeof text);
    const int rc = UF_get_fail_message(k.code, text);
    if (k.known) {
      EXPECT_EQ(rc, 0);
      EXPECT_STREQ(text, ufhost::failure_text(k.code));
    } else {
      EXPECT_NE(rc, 0);
      EXPECT_STREQ(text, "");
    }
  }
}

TEST_F(UfunModel, InitializeAndTerminateTellTheSession) {
  std::vector<std::string> events;
  session().event_hook = [&](const std::string& kind, const std::string& text) {
    events.push_back(kind + " " + text);
  };
  EXPECT_EQ(UF_initialize(), 0);
  EXPECT_EQ(UF_terminate(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"call UF_initialize", "call UF_terminate"}));
}

TEST_F(UfunModel, InitializeCanBeMadeToFail) {
  session().fail_rules.push_back({"UF_initialize", ufhost::kErrRefused, 0});
  EXPECT_EQ(UF_initialize(), ufhost::kErrRefused);
}

}  // namespace
