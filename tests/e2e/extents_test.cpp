// The object-extents command ("Габарит объекта(ов)") through ufhost with
// answers, on the bundled samples and on real parts from elsewhere.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/support/shapes.h"
#include "tests/support/support.h"
#include "ufhost/model/facets.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/session/session.h"

namespace fs = std::filesystem;
using testing_support::HostRun;
using testing_support::run_ufhost;
using testing_support::work_dir;

namespace {

// What the part holds, worked out in this process: the exact box of all
// bodies together, the box of their facet corners, the largest tolerance.
struct Reference {
  double exact[3] = {0, 0, 0};
  double facets[3] = {0, 0, 0};
  double tolerance = 0.0;
};

Reference reference_of(const std::string& path) {
  ufhost::reset_session();
  ufhost::Model& model = ufhost::session().model;
  std::string error;
  EXPECT_TRUE(ufhost::load_part(path, model, &error)) << error;
  double exact[6] = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
  double corners[6] = {1e300, 1e300, 1e300, -1e300, -1e300, -1e300};
  Reference r;
  for (ufhost::Tag t : model.tags()) {
    const ufhost::Object& body = *model.find(t);
    if (!ufhost::is_body(body.kind)) continue;
    double box[6];
    EXPECT_TRUE(ufhost::exact_box(body, box));
    const auto facets = ufhost::facet_body(body, ufhost::FacetSettings{});
    EXPECT_TRUE(facets);
    for (int k = 0; k < 3; ++k) {
      exact[k] = std::min(exact[k], box[k]);
      exact[k + 3] = std::max(exact[k + 3], box[k + 3]);
      for (std::size_t i = k; facets && i < facets->xyz.size(); i += 3) {
        corners[k] = std::min(corners[k], facets->xyz[i]);
        corners[k + 3] = std::max(corners[k + 3], facets->xyz[i]);
      }
    }
    r.tolerance = std::max(r.tolerance, ufhost::max_tolerance(body));
  }
  for (int k = 0; k < 3; ++k) {
    r.exact[k] = exact[k + 3] - exact[k];
    r.facets[k] = corners[k + 3] - corners[k];
  }
  return r;
}

// Runs the command on every body of the part and returns the four values
// of the result dialog.
std::vector<double> measure(const std::string& part, const std::string& dir,
                            std::vector<std::string> extra_args = {}) {
  std::vector<std::string> args = {part};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  const HostRun run = run_ufhost(args, {"menu 1", "select all", "dialog ok", "menu cancel"}, dir);
  EXPECT_EQ(0, run.exit_code) << run.err;
  EXPECT_EQ("", run.syslog);  // no failure reported
  EXPECT_TRUE(run.of_kind("message").empty());
  const auto menus = run.of_kind("menu");
  if (!menus.empty()) {
    EXPECT_EQ("Габарит объекта(ов)", menus[0]["items"][0]);
  }
  const auto dialogs = run.of_kind("dialog");
  if (dialogs.size() != 1) {
    ADD_FAILURE() << "expected one result dialog, got " << dialogs.size();
    return {};
  }
  EXPECT_EQ("Габариты детали", dialogs[0]["title"]);
  EXPECT_EQ((std::vector<std::string>{"Длина", "Ширина", "Высота", "Сумма"}),
            dialogs[0]["labels"].get<std::vector<std::string>>());
  return dialogs[0]["values"].get<std::vector<double>>();
}

// The README's boxes by file name.
std::map<std::string, testing_support::ReferenceBox> listed_boxes() {
  std::map<std::string, testing_support::ReferenceBox> out;
  for (const testing_support::ReferenceBox& box : testing_support::shared_part_boxes())
    out[fs::path(box.path).filename().string()] = box;
  return out;
}

}  // namespace

TEST(ExtentsCommand, SamplesMeasureTheirExactBox) {
  const std::vector<std::string> samples = testing_support::bundled_samples();
  ASSERT_FALSE(samples.empty());
  for (const std::string& path : samples) {
    const std::string name = fs::path(path).stem().string();
    SCOPED_TRACE(name);
    const Reference ref = reference_of(path);
    const std::vector<double> v = measure(path, work_dir("extents_sample_" + name));
    ASSERT_EQ(4u, v.size());
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(ref.exact[k], v[k], 1e-6) << "axis " << k;
      // Facet corners exact already (flat faces, vertices at the extremes)
      // can only be matched.
      EXPECT_LE(std::abs(v[k] - ref.exact[k]), std::max(std::abs(ref.facets[k] - ref.exact[k]), 1e-6))
          << "axis " << k;
    }
    EXPECT_EQ((v[0] + v[1]) + v[2], v[3]);  // the sum, added in this order
  }
}

TEST(ExtentsCommand, DrawnBoxIsAllThatStays) {
  const std::string dir = work_dir("extents_saved");
  const std::vector<double> v =
      measure(testing_support::sample("two_bodies.step"), dir, {"--save", dir + "/out.brep"});
  ASSERT_EQ(4u, v.size());
  int edges = 0, vertices = 0;
  ASSERT_TRUE(testing_support::count_loose(dir + "/out.brep", &edges, &vertices));
  // Six corner edges and two corner points; no section curves, facets or planes.
  EXPECT_EQ(6, edges);
  EXPECT_EQ(2, vertices);
}

TEST(ExtentsCommand, RealPartsMeasureTheirListedBox) {
  SKIP_WITHOUT_SHARED_PARTS();
  const std::map<std::string, testing_support::ReferenceBox> listed = listed_boxes();
  for (const std::string& path : testing_support::shared_parts()) {
    const std::string file = fs::path(path).filename().string();
    SCOPED_TRACE(file);
    const auto it = listed.find(file);
    ASSERT_NE(listed.end(), it) << "the README lists no box for it";
    const Reference ref = reference_of(path);
    const std::vector<double> v = measure(path, work_dir("extents_part_" + file));
    ASSERT_EQ(4u, v.size());
    // Each length with half a unit of its last printed decimal, the rounding
    // of the figure.
    const double length[3] = {it->second.x, it->second.y, it->second.z};
    const double rounding[3] = {it->second.rx, it->second.ry, it->second.rz};
    for (int k = 0; k < 3; ++k) {
      // A plane meets the body within the kernel's tolerance, so no probe
      // can do better than the tolerance of the geometry at the extreme.
      const double allowed = std::max(1e-6 * length[k], ref.tolerance);
      EXPECT_NEAR(length[k], v[k], allowed + rounding[k]) << "axis " << k;
    }
    EXPECT_EQ((v[0] + v[1]) + v[2], v[3]);
  }
}
