// `ufhost cutlist` as its users run it: the sample assembly's parts found,
// counted, grouped, measured in the right frame and fitted to stock, and
// every export read back by what reads it; failures are rows of their own.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include <BRepBuilderAPI_Transform.hxx>
#include <gp_Ax1.hxx>
#include <BRepTools.hxx>

#include "tests/support/shapes.h"
#include "tests/support/support.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::HostRun;
using testing_support::read_file;
using testing_support::run_ufhost_exactly;
using testing_support::sample;
using testing_support::work_dir;

namespace {

json read_json(const std::string& path) { return json::parse(read_file(path), nullptr, false); }

// The row whose parts' names are exactly `names`.
const json* row_of(const json& doc, const std::set<std::string>& names) {
  for (const json& row : doc["rows"]) {
    std::set<std::string> have;
    for (const json& p : row["parts"]) have.insert(p["name"].get<std::string>());
    if (have == names) return &row;
  }
  return nullptr;
}

double volume(const json& sizes) {
  return sizes[0].get<double>() * sizes[1].get<double>() * sizes[2].get<double>();
}

void expect_sizes(const json& got, std::vector<double> want, double within) {
  ASSERT_EQ(got.size(), 3u) << got.dump();
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k].get<double>(), want[k], within) << k << " " << got.dump();
}

}  // namespace

// The sample assembly: 13 instances of 7 products, the supplier's spacer
// equal to the spacer but for 2e-8 of noise, one spacer 0.1 mm thicker;
// the block whose file holds it turned, measured turned.
TEST(Cutlist, SampleAssemblyRowsGroupsOrientationAllowanceAndStock) {
  const std::string dir = work_dir("cutlist_sample");
  const std::string assembly = sample("assembly.step"), block = sample("turned_block.step");
  const HostRun run = run_ufhost_exactly(
      {"cutlist", "-j", "2", "--stock", "default", "--allowance", "2", "--json", dir + "/cut.json",
       "--csv", dir + "/cut.csv", "--cutlist-optimizer", dir + "/optimizer.csv", "--html", dir + "/cut.html",
       assembly, block},
      dir);
  ASSERT_EQ(0, run.exit_code) << run.out << run.err;
  const json doc = read_json(dir + "/cut.json");
  ASSERT_TRUE(doc.is_object()) << read_file(dir + "/cut.json");
  EXPECT_TRUE(doc["errors"].empty()) << doc["errors"].dump();
  ASSERT_EQ(doc["rows"].size(), 7u) << run.out;

  struct Expected {
    std::set<std::string> names;
    int quantity;
    std::vector<double> blank;
    std::string orientation;
    std::string stock;  // the cut, with the allowance of 2 on every side
  };
  const Expected expected[] = {
      {{"shaft"}, 4, {150, 40, 40}, "modelled", "round 45: 154 long"},
      {{"base plate"}, 2, {200, 100, 10}, "modelled", "plate 15: 204 × 104"},
      {{"cover plate"}, 1, {150, 80, 5}, "modelled", "plate 10: 154 × 84"},
      // Float noise never splits a group; 0.1 mm is never merged.
      {{"spacer", "spacer (from the supplier)"}, 4, {60, 60, 20}, "modelled", "plate 25: 64 × 64"},
      {{"spacer 20.1"}, 1, {60, 60, 20.1}, "modelled", "plate 25: 64 × 64"},
      // Turned diagonally by the search it would take 7.6% more material.
      // Thick plate holds it with less than round bar 90 would.
      {{"L bracket"}, 1, {120, 60, 58}, "modelled", "plate 70: 124 × 64"},
      {{"turned block"}, 1, {100, 50, 20}, "turned", "plate 25: 104 × 54"},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(*e.names.begin());
    const json* row = row_of(doc, e.names);
    ASSERT_NE(row, nullptr) << doc.dump(1);
    EXPECT_EQ((*row)["quantity"].get<int>(), e.quantity);
    const double exact = (*row)["exactness"].get<double>();
    // The refinement's last step comes on top of the band: 1.1 x the exactness an end.
    expect_sizes((*row)["blank"], e.blank, 2.2 * exact);
    expect_sizes((*row)["with_allowance"], {e.blank[0] + 4, e.blank[1] + 4, e.blank[2] + 4}, 2.2 * exact);
    EXPECT_EQ((*row)["orientation"], e.orientation);
    if (e.stock.empty()) EXPECT_TRUE((*row)["stock"].is_null()) << (*row)["stock"].dump();
    else EXPECT_EQ((*row)["stock"].value("cut", ""), e.stock);
    int pieces = 0;
    for (const json& p : (*row)["parts"]) {
      pieces += p["quantity"].get<int>();
      EXPECT_EQ(p["file"], e.names.count("turned block") ? block : assembly);
    }
    EXPECT_EQ(pieces, e.quantity);
  }
  // Each part was measured both ways; the choice is the smaller blank.
  const json& bracket = (*row_of(doc, {"L bracket"}))["parts"][0];
  EXPECT_GT(volume(bracket["turned"]), 1.05 * volume(bracket["modelled"])) << bracket.dump();
  const json& turned = (*row_of(doc, {"turned block"}));
  EXPECT_LT(volume(turned["parts"][0]["turned"]), volume(turned["parts"][0]["modelled"]));
  EXPECT_TRUE(turned["angles_deg"].is_object());
  // The search's lengths carry its precision times the length.
  EXPECT_GE(turned["exactness"].get<double>(), 1e-6 * 100);
  // The shafts are round bar: the cylinder along their axis, in their own frame.
  const json& shafts = *row_of(doc, {"shaft"});
  const json& cylinder = shafts["cylinder"];
  const double to = cylinder["exact_to"].get<double>();
  EXPECT_LE(to, 1e-7);
  EXPECT_NEAR(cylinder["diameter"].get<double>(), 40, to + 1e-12);
  EXPECT_NEAR(cylinder["length"].get<double>(), 150, to + 1e-12);
  EXPECT_NEAR(std::abs(cylinder["axis"]["direction"][2].get<double>()), 1, 1e-12);
  EXPECT_NEAR(shafts["hexagon"]["across_flats"].get<double>(), 40, 1e-6);
  EXPECT_NE(run.out.find("⌀40.000000 × 150.000000"), std::string::npos) << run.out;
  const json& noisy = *row_of(doc, {"spacer", "spacer (from the supplier)"});
  std::map<std::string, int> counts;
  for (const json& p : noisy["parts"]) counts[p["name"]] = p["quantity"];
  EXPECT_EQ(counts, (std::map<std::string, int>{{"spacer", 3}, {"spacer (from the supplier)", 1}}));

  // The shopping list: one line per stock item and material.
  std::map<std::string, json> shopping;
  for (const json& line : doc["shopping"]) shopping[line["designation"].get<std::string>() + " " +
                                                   line["material"].get<std::string>()] = line;
  ASSERT_TRUE(shopping.count("plate 25 S235")) << doc["shopping"].dump();
  EXPECT_EQ(shopping["plate 25 S235"]["pieces"], 5);
  EXPECT_NEAR(shopping["plate 25 S235"]["area"].get<double>(), 5 * 64 * 64, 1e-6);
  EXPECT_NEAR(shopping["plate 15 S235"]["mass"].get<double>(), 2 * 15 * 204 * 104 * 7850e-9, 1e-9);
  EXPECT_NEAR(shopping["round 45 C45"]["length"].get<double>(), 4 * 154, 1e-9);
  EXPECT_NEAR(shopping["round 45 C45"]["mass"].get<double>(), 4 * 154 * M_PI / 4 * 45 * 45 * 7850e-9, 1e-9);
  EXPECT_EQ(shopping["plate 25 -"].size(), 0u);
  ASSERT_TRUE(shopping.count("plate 25 ")) << "the block names no material";

  // The table on standard output: a row per group, sorted by stock.
  const std::size_t round = run.out.find("round 45: 154 long"), plate = run.out.find("plate 10: 154 × 84");
  EXPECT_NE(round, std::string::npos) << run.out;
  EXPECT_LT(round, plate) << run.out;
  EXPECT_NE(run.out.find("Shopping list"), std::string::npos);

  // The CSV has a line a row, every digit.
  const std::string csv = read_file(dir + "/cut.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 8) << csv;

  // The page in a browser, the optimiser's CSV through a CSV parser.
  REQUIRE_BROWSER();
  const std::string seen_path = dir + "/seen.json";
  const int status = std::system(("node '" + std::string(ZARVEL_SOURCE_DIR) +
                                  "/tests/browser/check_cutlist.mjs' '" + dir + "/cut.html' '" + dir +
                                  "/optimizer.csv' '" + dir + "/page.png' > '" + seen_path + "' 2> '" +
                                  seen_path + ".err'")
                                     .c_str());
  ASSERT_EQ(status, 0) << read_file(seen_path + ".err");
  const json seen = read_json(seen_path);
  EXPECT_TRUE(seen["errors"].empty()) << seen["errors"].dump();
  EXPECT_TRUE(seen["requests"].empty()) << seen["requests"].dump();
  EXPECT_GT(seen["pdf_bytes"].get<int>(), 10000);
  ASSERT_EQ(seen["rows"].size(), doc["rows"].size());
  for (const json& row : seen["rows"]) {
    SCOPED_TRACE(row["cells"].dump());
    EXPECT_GE(row["polygons"].get<int>(), 3);  // a box shows three faces
    EXPECT_EQ(row["blank_edges"], 12);
    EXPECT_GT(row["width"].get<double>(), 50);
  }
  EXPECT_EQ(seen["shopping"].size(), doc["shopping"].size());
  const json& records = seen["records"];
  ASSERT_EQ(records.size(), doc["rows"].size());
  int optimizer_pieces = 0, json_pieces = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].size(), 5u) << records[i].dump();
    EXPECT_EQ(records[i]["Enabled"], "true");
    EXPECT_GT(std::stod(records[i]["Length"].get<std::string>()), 0);
    optimizer_pieces += std::stoi(records[i]["Qty"].get<std::string>());
    json_pieces += doc["rows"][i]["quantity"].get<int>();
  }
  EXPECT_EQ(optimizer_pieces, json_pieces);
  EXPECT_EQ(records[0]["Label"], "shaft ×4 - round 45");
  EXPECT_EQ(records[0]["Length"], "154");
}

// A piece of hexagonal bar is ordered as hexagonal bar, exactly across its
// flats; --prefer forces the other families.
TEST(Cutlist, HexagonalPartFromHexagonalBarUnlessAnotherIsPreferred) {
  const std::string dir = work_dir("cutlist_hex");
  const std::string file = dir + "/nut.brep";
  // Turned and moved: a file without an assembly tree is measured as it lies.
  gp_Trsf where;
  where.SetRotation(gp_Ax1(gp_Pnt(3, 1, 2), gp_Dir(1, 2, 3)), 0.8);
  ASSERT_TRUE(BRepTools::Write(BRepBuilderAPI_Transform(testing_support::hex_nut(24, 30, 8), where, true).Shape(),
                               file.c_str()));
  const std::pair<std::string, std::string> cases[] = {
      {"", "hex 24: 30 long"}, {"round", "round 28: 30 long"}, {"rect", "plate 25: 30 × 28"}};
  for (const auto& [prefer, stock] : cases) {
    SCOPED_TRACE(prefer);
    std::vector<std::string> args = {"cutlist", "--stock", "default", "--json", dir + "/cut.json", file};
    if (!prefer.empty()) args.insert(args.begin() + 1, {"--prefer", prefer});
    const HostRun run = run_ufhost_exactly(args, dir);
    ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
    const json row = read_json(dir + "/cut.json")["rows"][0];
    EXPECT_EQ(row["stock"].value("cut", ""), stock) << row.dump(1);
    EXPECT_NEAR(row["hexagon"]["across_flats"].get<double>(), 24, 1e-7);
    EXPECT_NEAR(row["cylinder"]["diameter"].get<double>(), 48 / std::sqrt(3.0), 1e-7);
    EXPECT_NEAR(row["cylinder"]["length"].get<double>(), 30, 1e-7);
  }
}

// A file that cannot be read, one without a solid, and a part whose run is
// stopped: each an error naming it, the others measured, status 2.
TEST(Cutlist, FailuresAreErrorsOfTheirOwn) {
  const std::string dir = work_dir("cutlist_bad");
  std::ofstream(dir + "/garbage.step") << "this is no part file\n";
  const HostRun run = run_ufhost_exactly(
      {"cutlist", "--json", dir + "/cut.json", sample("two_bodies.step"), dir + "/garbage.step",
       dir + "/missing.brep"},
      dir);
  EXPECT_EQ(run.exit_code, 2) << run.out << run.err;
  const json doc = read_json(dir + "/cut.json");
  EXPECT_EQ(doc["rows"].size(), 2u) << doc.dump(1);
  ASSERT_EQ(doc["errors"].size(), 2u) << doc["errors"].dump();
  EXPECT_NE(doc["errors"][0].get<std::string>().find("garbage.step: not a readable STEP file"),
            std::string::npos);
  EXPECT_NE(doc["errors"][1].get<std::string>().find("missing.brep: no such file"), std::string::npos);
  EXPECT_NE(run.out.find("Errors"), std::string::npos);

  // Too little time for any run: every part is an error, nothing hangs.
  const HostRun stopped = run_ufhost_exactly(
      {"cutlist", "--timeout", "0.01", "--json", dir + "/stopped.json", sample("two_bodies.step")}, dir);
  EXPECT_EQ(stopped.exit_code, 2);
  const json none = read_json(dir + "/stopped.json");
  EXPECT_TRUE(none["rows"].empty());
  ASSERT_EQ(none["errors"].size(), 2u);
  for (const json& e : none["errors"])
    EXPECT_NE(e.get<std::string>().find("did not finish within 0.01 s"), std::string::npos) << e;

  const HostRun bad = run_ufhost_exactly({"cutlist", "--allowance", "1,2", sample("two_bodies.step")}, dir);
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_EQ(bad.err, "ufhost cutlist: --allowance 1,2: give A, or L,W,T, each 0 or more\n");
  std::ofstream(dir + "/bad.csv") << "family,size_1,lengths\nplank,10,cut\n";
  const HostRun catalogue = run_ufhost_exactly({"cutlist", "--stock", dir + "/bad.csv", sample("two_bodies.step")}, dir);
  EXPECT_EQ(catalogue.exit_code, 1);
  EXPECT_NE(catalogue.err.find("bad.csv, line 2: family \"plank\""), std::string::npos) << catalogue.err;
}
