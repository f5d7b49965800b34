// The order: FILE:N operands and --order's CSV, each file once with its
// quantities added.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/support.h"
#include "ufhost/app/cutlist/cutlist_internal.h"

namespace fs = std::filesystem;
using namespace ufhost::app;

namespace {

CutlistOptions options_of(std::vector<std::string> operands, const std::string& order = "") {
  CutlistOptions o;
  o.run.parts = std::move(operands);
  o.order = order;
  return o;
}

TEST(CutlistOrder, FileColonNBuildsNOfTheFile) {
  CutlistOptions o = options_of({"frame.step:20", "gearbox.step:5", "frame.step"});
  std::string error;
  ASSERT_TRUE(order_files(&o, &error)) << error;
  ASSERT_EQ(2u, o.files.size());
  EXPECT_EQ("frame.step", o.files[0].given);
  EXPECT_EQ(21, o.files[0].ordered);  // the same file given twice adds up
  EXPECT_TRUE(fs::path(o.files[0].path).is_absolute());
  EXPECT_EQ(5, o.files[1].ordered);
}

// A name that is a file as it stands is one, colon or not; a colon with no
// number after it is part of the name.
TEST(CutlistOrder, AFileWhoseNameHasAColonIsThatFile) {
  const std::string dir = testing_support::work_dir("cutlist_order_colon");
  std::ofstream(dir + "/odd:3") << "x";
  CutlistOptions o = options_of({dir + "/odd:3", "v2:final.step"});
  std::string error;
  ASSERT_TRUE(order_files(&o, &error)) << error;
  EXPECT_EQ(dir + "/odd:3", o.files[0].given);
  EXPECT_EQ(1, o.files[0].ordered);
  EXPECT_EQ("v2:final.step", o.files[1].given);
}

TEST(CutlistOrder, NoneOrTooManyIsRefused) {
  for (const char* bad : {"a.step:0", "a.step:1000001"}) {
    CutlistOptions o = options_of({bad});
    std::string error;
    EXPECT_FALSE(order_files(&o, &error)) << bad;
    EXPECT_NE(std::string::npos, error.find("build 1 to 1000000")) << error;
  }
}

// --order's paths are relative to its own folder, wherever the run starts.
TEST(CutlistOrder, AnOrderFilesPathsAreFromItsFolder) {
  const std::string dir = testing_support::work_dir("cutlist_order_file");
  std::ofstream(dir + "/order.csv") << "# the spring batch\nFile,Quantity\nframe.step,20\n/abs/gear.step,5\n";
  CutlistOptions o = options_of({"frame.step:1"}, dir + "/order.csv");
  std::string error;
  ASSERT_TRUE(order_files(&o, &error)) << error;
  ASSERT_EQ(3u, o.files.size());
  EXPECT_EQ(dir + "/frame.step", o.files[1].path);
  EXPECT_EQ(20, o.files[1].ordered);
  EXPECT_EQ("/abs/gear.step", o.files[2].path);
}

TEST(CutlistOrder, ABadOrderLineNamesItsPlace) {
  const std::string dir = testing_support::work_dir("cutlist_order_bad");
  const std::pair<std::string, std::string> cases[] = {
      {"file,qty\na.step,2\n", "the header names no column file or quantity"},
      {"file,quantity\na.step,two\n", ":2: give a file and a quantity"},
      {"file,quantity\n,3\n", ":2: give a file and a quantity"},
      {"file,quantity\n\"a.step,3\n", ":2: a quote is not closed"},
  };
  for (const auto& [text, says] : cases) {
    std::ofstream(dir + "/order.csv") << text;
    CutlistOptions o = options_of({}, dir + "/order.csv");
    std::string error;
    EXPECT_FALSE(order_files(&o, &error)) << text;
    EXPECT_NE(std::string::npos, error.find(says)) << error;
  }
  CutlistOptions missing = options_of({}, dir + "/none.csv");
  std::string error;
  EXPECT_FALSE(order_files(&missing, &error));
  EXPECT_NE(std::string::npos, error.find("cannot be read")) << error;
}

}  // namespace
