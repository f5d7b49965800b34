// The minimum-dimension search as the debug build makes it: the half turn
// in the scan, three passes, the fixed log with a line per pass, and the
// result dialog.
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <gp_Ax1.hxx>
#include <gp_Trsf.hxx>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "src/ruled.h"
#include "src/ruled_internal.h"
#include "tests/support/support.h"
#include "ufhost/session/session.h"
#include "ufhost/session/transcript.h"
#include "ufhost/ui/ui.h"

namespace {

constexpr double kPi = 3.141592653589793;

using testing_support::numbers_in;
using ufhost::Kind;
using ufhost::Object;
using ufhost::session;

TEST(DebugScan, TakesTheHalfTurnToo) {
  std::vector<double> taken;
  const ExtentsFn falling = [&taken](double* lo, double* up, double a, double*, bool) {
    taken.push_back(a);
    for (int c = 0; c < 3; ++c) lo[c] = up[c] = 0.0;
    up[0] = 10.0 - a;
    return true;
  };
  double axis[3] = {0, 0, 1}, lo[3], up[3], sum = 0, angle = 0;
  scan_rotation_by(falling, axis, &sum, lo, up, &angle);
  ASSERT_EQ(181u, taken.size());
  EXPECT_EQ(3.1241393610698394, taken[179]);
  EXPECT_LT(taken.back(), kPi);  // 180 degrees by addition stays below pi
  EXPECT_NEAR(kPi, taken.back(), 1e-13);
  EXPECT_EQ(taken.back(), angle);
}

TEST(DebugScan, MakesThreePasses) {
  std::vector<std::array<double, 3>> cloud = {{0, 0, 0}, {3, 1, 2}, {1, 4, 1}};
  SearchCloud search;
  prepare_search_cloud(Evaluation::kFast, 3, reinterpret_cast<double(*)[3]>(cloud.data()),
                       &search);
  SearchPass passes[4];
  ASSERT_EQ(3, search_passes(&search, 1e-6, passes));
  EXPECT_EQ(1.0, passes[0].axis[2]);
  EXPECT_EQ(1.0, passes[1].axis[1]);
  EXPECT_EQ(1.0, passes[2].axis[0]);
}

// Changes the working directory for one test, where the fixed log lands.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InDirectory() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

TEST(DebugCommand, WritesTheFixedLogAndShowsTheResult) {
  ufhost::reset_session();
  const std::string dir = testing_support::work_dir("ruled_debug_command");
  gp_Trsf turn;
  turn.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(0, 0, 1)), 10.0 * kPi / 180.0);
  Object body;
  body.kind = Kind::SolidBody;
  body.shape =
      BRepBuilderAPI_Transform(BRepPrimAPI_MakeBox(gp_Pnt(5, -3, 2), 100, 50, 20).Shape(), turn, true)
          .Shape();
  const tag_t tag = session().model.add(body);

  session().ui = ufhost::make_scripted_ui({"dialog ok", "dialog ok"});
  std::string error;
  session().ui->transcript = ufhost::Transcript::open(dir + "/transcript.jsonl", &error);
  {
    InDirectory here(dir);
    search_min_dimensions(&tag, 1);
  }
  session().ui->transcript.reset();

  std::vector<nlohmann::json> dialogs;
  bool saved = false;
  std::ifstream t(dir + "/transcript.jsonl");
  for (std::string line; std::getline(t, line);) {
    const auto e = nlohmann::json::parse(line);
    if (e["kind"] == "dialog") dialogs.push_back(e);
    if (e["kind"] == "save") saved = true;
  }
  EXPECT_FALSE(saved);  // no dialog: the log is fixed

  const std::vector<std::string> lines = testing_support::log_lines(dir + "/test.txt");
  ASSERT_EQ(9u, lines.size());  // n + 8
  EXPECT_EQ("Count tags: 1", lines[0]);
  EXPECT_EQ(0u, lines[1].find("\tTag: "));
  EXPECT_EQ(0u, lines[2].find("Count vertex: "));
  double angles[3] = {0, 0, 0};
  for (int p = 0; p < 3; ++p) {
    const std::string& line = lines[3 + p];
    SCOPED_TRACE(line);
    ASSERT_EQ(0u, line.find(" Угол: "));
    ASSERT_NE(std::string::npos, line.find(" Габариты: X "));
    const auto v = numbers_in(line);
    ASSERT_EQ(7u, v.size());
    // Angles of passes not made yet are 0; made ones stay.
    for (int a = 0; a < 3; ++a) {
      if (angles[a] != 0.0) {
        EXPECT_NEAR(angles[a], v[a], 1e-6);
      }
      angles[a] = v[a];
    }
    EXPECT_NEAR(v[3] + v[4] + v[5], v[6], 2e-6);
  }
  EXPECT_EQ(0.0, numbers_in(lines[3])[0]);  // the first pass turns about Z only
  EXPECT_EQ(0.0, numbers_in(lines[3])[1]);
  EXPECT_NEAR(80.0 * kPi / 180.0, numbers_in(lines[3])[2], 2e-6);

  EXPECT_EQ(0u, lines[6].find("Поворот вокруг точки: "));
  ASSERT_EQ(0u, lines[7].find("Угол поворота: "));
  const auto turned = numbers_in(lines[7]);
  ASSERT_EQ(6u, turned.size());
  for (int a = 0; a < 3; ++a) {
    EXPECT_NEAR(angles[a], turned[2 * a + 1], 1e-6);
    EXPECT_NEAR(turned[2 * a], turned[2 * a + 1] * 180.0 / kPi, 1e-4);
  }
  ASSERT_EQ(0u, lines[8].find("Габариты: X "));
  const auto dims = numbers_in(lines[8]);
  ASSERT_EQ(4u, dims.size());
  EXPECT_NEAR(170.0, dims[3], 1e-6);

  ASSERT_EQ(2u, dialogs.size());
  EXPECT_EQ("Введите точность", dialogs[0]["title"]);
  EXPECT_EQ("Габариты детали", dialogs[1]["title"]);
  EXPECT_EQ((std::vector<std::string>{"Длина", "Ширина", "Высота", "Сумма"}),
            dialogs[1]["labels"].get<std::vector<std::string>>());
  const auto shown = dialogs[1]["values"].get<std::vector<double>>();
  ASSERT_EQ(4u, shown.size());
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(dims[i], shown[i], 1e-6);
}

}  // namespace
