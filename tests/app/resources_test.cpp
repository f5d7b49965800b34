// Where the files that ship with ufhost are looked for, installed and in a
// build tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/support.h"
#include "ufhost/app/run/resources.h"

namespace fs = std::filesystem;

namespace {

TEST(Resources, InstalledTreeLooksBesideItselfOnly) {
  const std::string dir = testing_support::work_dir("resources");
  fs::create_directories(dir + "/prefix/bin");
  fs::create_directories(dir + "/prefix/share/zarvel");
  const auto installed = ufhost::app::resource_candidates(dir + "/prefix/bin", "web/viewer.html");
  EXPECT_EQ((std::vector<std::string>{dir + "/prefix/share/zarvel/web/viewer.html"}), installed);
  EXPECT_EQ((std::vector<std::string>{dir + "/prefix/lib/zarvel/plugin/release/Zarvel_06.so"}),
            ufhost::app::resource_candidates(dir + "/prefix/bin", "plugin/release/Zarvel_06.so"));
}

TEST(Resources, BuildTreeLooksBesideItselfThenInTheSources) {
  const std::string dir = testing_support::work_dir("resources_build");
  const auto built = ufhost::app::resource_candidates(dir, "data/stock-default.csv");
  ASSERT_FALSE(built.empty());
  EXPECT_EQ(dir + "/data/stock-default.csv", built.front());
  EXPECT_EQ(std::string(ZARVEL_SOURCE_DIR) + "/data/stock-default.csv", built.back());
  // This test's own executable is in the build tree: the plug-in is found.
  EXPECT_TRUE(fs::exists(ufhost::app::default_plugin())) << ufhost::app::default_plugin();
  EXPECT_EQ(std::string(ZARVEL_SOURCE_DIR) + "/web", ufhost::app::find_resource("web"));
}

}  // namespace
