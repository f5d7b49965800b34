// The minimum-dimension search driven through ufhost with answers: the
// search log, the turned copies left in the part, and the debug build's
// fixed log and result dialog.
#include <BRepBndLib.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <Bnd_Box.hxx>
#include <GProp_GProps.hxx>
#include <gp_Ax1.hxx>
#include <gp_Trsf.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string>

#include "tests/support/support.h"
#include "ufhost/parts/part_io.h"

using testing_support::HostRun;
using testing_support::log_lines;
using testing_support::numbers_in;
using testing_support::read_file;
using testing_support::run_ufhost;
using testing_support::sample;
using testing_support::work_dir;

namespace {

constexpr double kPi = 3.141592653589793;

std::vector<double> sorted3(const std::vector<double>& v) {
  std::vector<double> s(v.begin(), v.begin() + 3);
  std::sort(s.begin(), s.end());
  return s;
}

// Bodies of a part file by name.
std::map<std::string, TopoDS_Shape> bodies_of(const std::string& path) {
  ufhost::Model model;
  std::string error;
  EXPECT_TRUE(ufhost::load_part(path, model, &error)) << error;
  std::map<std::string, TopoDS_Shape> out;
  for (ufhost::Tag t : model.tags()) {
    const ufhost::Object* o = model.find(t);
    if (ufhost::is_body(o->kind)) out[o->name] = o->shape;
  }
  return out;
}

std::array<double, 3> box_size(const TopoDS_Shape& shape) {
  Bnd_Box box;
  BRepBndLib::AddOptimal(shape, box, false, false);
  double x0, y0, z0, x1, y1, z1;
  box.Get(x0, y0, z0, x1, y1, z1);
  return {x1 - x0, y1 - y0, z1 - z0};
}

gp_Pnt centre_of_mass(const TopoDS_Shape& shape) {
  GProp_GProps props;
  BRepGProp::VolumeProperties(shape, props);
  return props.CentreOfMass();
}

// A block w x h x d with its corner at the origin, turned about Z, written
// to a part file of its own.
std::string block_part(const std::string& dir, double w, double h, double d, double degrees) {
  gp_Trsf turn;
  turn.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(0, 0, 1)), degrees * kPi / 180.0);
  ufhost::Object body;
  body.kind = ufhost::Kind::SolidBody;
  body.name = "block";
  body.shape = BRepBuilderAPI_Transform(BRepPrimAPI_MakeBox(w, h, d).Shape(), turn, true).Shape();
  ufhost::Model model;
  model.add(body);
  const std::string path = dir + "/block.step";
  std::string error;
  EXPECT_TRUE(ufhost::save_part(model, path, "", &error)) << error;
  return path;
}

std::vector<std::string> search_answers(const std::string& log, const char* precision = "dialog ok") {
  return {"menu 3", "select all", precision, "save " + log, "menu cancel"};
}

}  // namespace

TEST(SearchThroughHost, TurnedBlockIsTurnedBackInItsCopy) {
  const std::string dir = work_dir("search_turned_block");
  const std::string log = dir + "/log.txt";
  const HostRun run = run_ufhost({sample("turned_block.step"), "--save", dir + "/out.step"},
                                 search_answers(log), dir);
  ASSERT_EQ(0, run.exit_code) << run.err;

  const auto saves = run.of_kind("save");
  ASSERT_EQ(1u, saves.size());
  EXPECT_EQ("txt", saves[0]["default_ext"]);
  EXPECT_EQ("*.txt", saves[0]["file_name"]);
  EXPECT_EQ(4, saves[0]["flags"]);
  EXPECT_EQ("MyType Files (*.txt)|*.txt|Text Files (*.txt)|*.txt||", saves[0]["filter"]);
  EXPECT_EQ(76, saves[0]["struct_size"]);
  EXPECT_EQ(false, saves[0]["open_mode"]);

  const auto lines = log_lines(log);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ("Count tags: 1", lines[0]);
  const auto selected = run.of_kind("select");
  ASSERT_EQ(1u, selected.size());
  const int body_tag = selected[0]["objects"][0]["tag"];
  ASSERT_EQ(0u, lines[1].find("\tTag: "));
  const int facet_tag = std::stoi(lines[1].substr(6));
  EXPECT_GT(facet_tag, body_tag);  // the facet model made by the search, not the body
  ASSERT_EQ(0u, lines[2].find("Count vertex: "));
  EXPECT_GE(std::stoi(lines[2].substr(14)), 36);  // a block has at least 12 triangles
  EXPECT_EQ(0u, lines[3].find("Поворот вокруг точки: "));
  EXPECT_EQ(3u, numbers_in(lines[3]).size());
  ASSERT_EQ(0u, lines[4].find("Угол поворота по Z : ")) << lines[4];
  const auto z = numbers_in(lines[4].substr(lines[4].find(':')));
  ASSERT_EQ(2u, z.size());
  EXPECT_NEAR(80.0, z[0], 6e-5);  // 1e-6 radians is 5.7e-5 degrees
  EXPECT_NEAR(80.0 * kPi / 180.0, z[1], 2e-6);
  ASSERT_EQ(0u, lines.back().find("Конечные габариты: ")) << lines.back();
  const auto dims = numbers_in(lines.back());
  ASSERT_EQ(4u, dims.size());
  const auto sorted = sorted3(dims);
  EXPECT_NEAR(20, sorted[0], 1e-6);
  EXPECT_NEAR(50, sorted[1], 1e-6);
  EXPECT_NEAR(100, sorted[2], 1e-6);
  EXPECT_NEAR(170.0, dims[3], 1e-6);

  // The log is code page 1251: "Поворот" is one byte a letter.
  const std::string bytes = read_file(log);
  EXPECT_NE(std::string::npos, bytes.find("\xCF\xEE\xE2\xEE\xF0\xEE\xF2 "));
  EXPECT_EQ(std::string::npos, bytes.find("\xD0\x9F"));  // no UTF-8 "П"

  const auto bodies = bodies_of(dir + "/out.step");
  ASSERT_EQ(1u, bodies.count("turned block"));
  ASSERT_EQ(1u, bodies.count("turned block copy"));
  const double turn = 10.0 * kPi / 180.0;
  const auto original = box_size(bodies.at("turned block"));
  EXPECT_NEAR(100 * std::cos(turn) + 50 * std::sin(turn), original[0], 1e-6);
  EXPECT_NEAR(100 * std::sin(turn) + 50 * std::cos(turn), original[1], 1e-6);
  const auto copy = box_size(bodies.at("turned block copy"));
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(dims[c], copy[c], 1e-6);
}

TEST(SearchThroughHost, AngleLinesOnlyForPassesThatTurn) {
  struct Case {
    const char* name;
    double w, h, d, degrees;
    const char* precision;
    std::size_t lines;        // 0: not fixed
    const char* first_angle;  // the line after the rotation point
  };
  const Case cases[] = {
      // Tallest along Z, narrower along X than Y: no pass finds a smaller sum.
      {"nothing to turn", 10, 20, 30, 0.0, "dialog ok", 5, "Конечные габариты: "},
      {"negative angle", 100, 50, 20, 0.3, "dialog ok 1e-12", 0,
       "Угол поворота по Z : -0.300000(-0.005236)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = work_dir(std::string("search_lines_") + (c.lines ? "zero" : "neg"));
    const std::string log = dir + "/log.txt";
    const HostRun run = run_ufhost({block_part(dir, c.w, c.h, c.d, c.degrees)},
                                   search_answers(log, c.precision), dir);
    ASSERT_EQ(0, run.exit_code) << run.err;
    const auto lines = log_lines(log);
    ASSERT_GE(lines.size(), 5u);
    if (c.lines != 0) {
      EXPECT_EQ(c.lines, lines.size());
    }
    EXPECT_EQ(0u, lines[4].find(c.first_angle)) << lines[4];
    for (std::size_t i = 4; i + 1 < lines.size(); ++i) {
      const auto v = numbers_in(lines[i].substr(lines[i].find(':')));
      ASSERT_EQ(2u, v.size()) << lines[i];
      EXPECT_NEAR(v[0], v[1] * 180.0 / kPi, 1e-4) << lines[i];
      EXPECT_EQ(v[0] < 0, v[1] < 0) << lines[i];
    }
  }
}

TEST(SearchThroughHost, SeveralBodiesTurnAsOneGroup) {
  const std::string dir = work_dir("search_two_bodies");
  const std::string log = dir + "/log.txt";
  const HostRun run = run_ufhost({sample("two_bodies.step"), "--save", dir + "/out.step"},
                                 search_answers(log), dir);
  ASSERT_EQ(0, run.exit_code) << run.err;
  const auto lines = log_lines(log);
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ("Count tags: 2", lines[0]);
  EXPECT_EQ(0u, lines[1].find("\tTag: "));
  EXPECT_EQ(0u, lines[2].find("\tTag: "));
  EXPECT_EQ(0u, lines[3].find("Count vertex: "));

  const auto bodies = bodies_of(dir + "/out.step");
  ASSERT_EQ(4u, bodies.size());
  const double apart =
      centre_of_mass(bodies.at("box")).Distance(centre_of_mass(bodies.at("cylinder")));
  const double copies_apart = centre_of_mass(bodies.at("box copy"))
                                  .Distance(centre_of_mass(bodies.at("cylinder copy")));
  EXPECT_NEAR(apart, copies_apart, 1e-6);
  // The originals stay: the box still has its corner at the origin.
  const gp_Pnt box_centre = centre_of_mass(bodies.at("box"));
  EXPECT_NEAR(20, box_centre.X(), 1e-6);
  EXPECT_NEAR(15, box_centre.Y(), 1e-6);
  EXPECT_NEAR(10, box_centre.Z(), 1e-6);
}

TEST(SearchThroughHost, DebugBuildWritesTheFixedLogAndShowsTheResult) {
  const std::string dir = work_dir("search_debug");
  const HostRun run = run_ufhost(
      {sample("turned_block.step")},
      {"menu 3", "select all", "dialog ok", "dialog ok", "menu cancel"}, dir, PLUGIN_DEBUG);
  ASSERT_EQ(0, run.exit_code) << run.err;
  EXPECT_TRUE(run.of_kind("save").empty());
  const auto lines = log_lines(dir + "/test.txt");
  ASSERT_EQ(9u, lines.size());  // n + 8
  for (int p = 0; p < 3; ++p) EXPECT_EQ(0u, lines[3 + p].find(" Угол: ")) << lines[3 + p];
  EXPECT_EQ(0u, lines[6].find("Поворот вокруг точки: "));
  EXPECT_EQ(0u, lines[7].find("Угол поворота: "));
  ASSERT_EQ(0u, lines[8].find("Габариты: X "));
  const auto dims = numbers_in(lines[8]);
  ASSERT_EQ(4u, dims.size());

  const auto dialogs = run.of_kind("dialog");
  ASSERT_EQ(2u, dialogs.size());
  EXPECT_EQ("Габариты детали", dialogs[1]["title"]);
  const auto shown = dialogs[1]["values"].get<std::vector<double>>();
  ASSERT_EQ(4u, shown.size());
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(dims[i], shown[i], 1e-6);
  EXPECT_NEAR(170.0, shown[3], 1e-6);
}
