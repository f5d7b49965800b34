// What every batch subcommand shares: the lists of files, the options that
// must go together, and the folder its runs keep their files in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/support.h"
#include "ufhost/app/batch/batch.h"

namespace fs = std::filesystem;
using ufhost::app::BatchOptions;

namespace {

void write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(Batch, FileListsOneALineOrNulSeparated) {
  EXPECT_EQ((std::vector<std::string>{"a.step", "b c.step", " d.step"}),
            ufhost::app::split_file_list("a.step\r\n\nb c.step\n \t\n d.step", false));
  // With NULs, a newline is part of a name.
  EXPECT_EQ((std::vector<std::string>{"a\n.step", "b.step"}),
            ufhost::app::split_file_list(std::string("a\n.step\0\0b.step\0", 17), true));
}

TEST(Batch, ListsAndFlagsThatMustGoTogether) {
  const std::string dir = testing_support::work_dir("batch_lists");
  write(dir + "/list.txt", "x.step\ny.step\n");
  write(dir + "/list0", std::string("z.step\0", 7));
  struct Case {
    std::vector<std::string> files_from;
    bool null_separated, resume;
    std::string jsonl;
    std::vector<std::string> parts;  // expected, or empty when refused
    const char* says;
  };
  const Case cases[] = {
      {{dir + "/list.txt"}, false, false, "", {"cmd.step", "x.step", "y.step"}, ""},
      {{dir + "/list0"}, true, false, "", {"cmd.step", "z.step"}, ""},
      {{dir + "/list0"}, false, false, "", {}, "give -0"},
      {{dir + "/missing"}, false, false, "", {}, "cannot be read"},
      {{"-", "-"}, false, false, "", {}, "can be given once"},
      {{}, false, true, "", {}, "--resume goes on from the rows of --jsonl"},
      {{}, true, false, "", {}, "-0 is for the lists of --files-from"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    BatchOptions o;
    o.parts = {"cmd.step"};
    o.files_from = c.files_from;
    o.null_separated = c.null_separated;
    o.resume = c.resume;
    o.jsonl = c.jsonl;
    std::string error;
    const bool ok = ufhost::app::finish_batch_options(&o, "ufhost measure", &error);
    EXPECT_EQ(!c.parts.empty(), ok) << error;
    if (ok) EXPECT_EQ(c.parts, o.parts);
    else EXPECT_NE(std::string::npos, error.find(c.says)) << error;
  }
}

TEST(Batch, EmptyListsGiveNoFilesToMeasure) {
  const std::string dir = testing_support::work_dir("batch_empty_lists");
  write(dir + "/empty", "\n\n");
  BatchOptions none;
  none.files_from = {dir + "/empty"};
  std::string error;
  EXPECT_FALSE(ufhost::app::finish_batch_options(&none, "ufhost measure", &error));
  EXPECT_NE(std::string::npos, error.find("lists of --files-from are empty")) << error;
}

// Runs start in folders of their own: the plug-in's path they are handed
// must not be relative, whichever way it was given.
TEST(Batch, ThePluginIsMadeAbsolute) {
  BatchOptions o;
  o.parts = {"a.step"};
  o.plugin = "lib/Zarvel_06.so";
  std::string error;
  ASSERT_TRUE(ufhost::app::finish_batch_options(&o, "ufhost measure", &error)) << error;
  EXPECT_TRUE(fs::path(o.plugin).is_absolute()) << o.plugin;
  EXPECT_EQ("Zarvel_06.so", fs::path(o.plugin).filename());
  BatchOptions by_default;
  by_default.parts = {"a.step"};
  ASSERT_TRUE(ufhost::app::finish_batch_options(&by_default, "ufhost measure", &error)) << error;
  EXPECT_TRUE(fs::path(by_default.plugin).is_absolute()) << by_default.plugin;
}

TEST(Batch, ATemporaryRunsFolderGoesWithEverythingInIt) {
  std::string path, error;
  {
    ufhost::app::RunsFolder folder;
    ASSERT_TRUE(folder.make("", "measure", &error)) << error;
    EXPECT_TRUE(folder.temporary());
    path = folder.path();
    EXPECT_NE(std::string::npos, fs::path(path).filename().string().find("ufhost-measure-")) << path;
    write(path + "/left.txt", "x");
  }
  EXPECT_FALSE(fs::exists(path)) << path;
}

TEST(Batch, AnOutDirIsMadeAndKept) {
  const std::string dir = testing_support::work_dir("batch_out_dir") + "/a/b";
  std::string error;
  {
    ufhost::app::RunsFolder folder;
    ASSERT_TRUE(folder.make(dir, "measure", &error)) << error;
    EXPECT_FALSE(folder.temporary());
    EXPECT_EQ(dir, folder.path());
  }
  EXPECT_TRUE(fs::is_directory(dir));
  write(dir + "/../file", "x");
  ufhost::app::RunsFolder blocked;
  EXPECT_FALSE(blocked.make(dir + "/../file/c", "measure", &error));
  EXPECT_NE(std::string::npos, error.find("cannot be made")) << error;
}

}  // namespace
