// Whole files: read byte for byte or refused, written whole or not at all,
// and whether two names are one file.
#include "ufhost/base/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/support/support.h"

namespace fs = std::filesystem;

namespace {

using testing_support::work_dir;

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Files, ReadGivesEveryByte) {
  const std::string path = work_dir("Files.Read") + "/bytes";
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>(i * 31 % 256);  // NULs and all
  std::ofstream(path, std::ios::binary) << bytes;
  std::string text = "left over";
  ASSERT_TRUE(ufhost::read_file(path, &text));
  EXPECT_EQ(bytes, text);
  EXPECT_EQ(bytes, ufhost::read_file(path));
}

TEST(Files, ReadOfWhatIsNoFileFailsAndLeavesNothing) {
  // A folder opens like a file but has no bytes to give: taken for an empty
  // file, a catalogue or a list of files named by mistake would read as
  // empty and the run would go on with nothing.
  const std::string dir = work_dir("Files.ReadNothing");
  for (const std::string& path : {dir + "/missing", dir}) {
    SCOPED_TRACE(path);
    std::string text = "left over";
    EXPECT_FALSE(ufhost::read_file(path, &text));
    EXPECT_EQ("", text);
    EXPECT_EQ("", ufhost::read_file(path));
  }
}

TEST(Files, WriteReplacesTheFileWholeWithThePermissionsTheUmaskAllows) {
  const std::string dir = work_dir("Files.Write");
  const std::string path = dir + "/out.txt";
  std::ofstream(path) << "old and longer than the new text";
  const mode_t mask = umask(027);
  std::string error;
  const bool written = ufhost::write_atomically(path, std::string("new"), &error);
  umask(mask);
  ASSERT_TRUE(written) << error;
  EXPECT_EQ("new", ufhost::read_file(path));
  struct stat st {};
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 0777u);
  EXPECT_EQ(std::vector<std::string>{"out.txt"}, files_in(dir)) << "no temporary file is left";
}

TEST(Files, FailedWriteLeavesTheOldFileAndNoTemporaryOne) {
  const std::string dir = work_dir("Files.WriteFails");
  const std::string path = dir + "/out.txt";
  std::ofstream(path) << "old";
  std::string seen_temporary, error;
  EXPECT_FALSE(ufhost::write_atomically(
      path,
      [&](const std::string& temporary, std::string* why) {
        seen_temporary = temporary;
        std::ofstream(temporary) << "half of it";
        *why = "the disk is full";
        return false;
      },
      &error));
  EXPECT_EQ("old", ufhost::read_file(path));
  EXPECT_EQ(dir, fs::path(seen_temporary).parent_path().string()) << "renamed within its folder";
  EXPECT_EQ(std::vector<std::string>{"out.txt"}, files_in(dir));
  EXPECT_NE(std::string::npos, error.find(path)) << error;
  EXPECT_NE(std::string::npos, error.find("the disk is full")) << error;
}

TEST(Files, WriteIntoAMissingFolderFailsNamingThePath) {
  const std::string path = work_dir("Files.NoFolder") + "/no/such/out.txt";
  std::string error;
  EXPECT_FALSE(ufhost::write_atomically(path, std::string("x"), &error));
  EXPECT_NE(std::string::npos, error.find(path)) << error;
  EXPECT_FALSE(fs::exists(path));
}

TEST(Files, WriteOverAFolderFailsAndLeavesIt) {
  const std::string dir = work_dir("Files.OverFolder");
  fs::create_directories(dir + "/sub/inner");
  std::string error;
  EXPECT_FALSE(ufhost::write_atomically(dir + "/sub", std::string("x"), &error));
  EXPECT_TRUE(fs::is_directory(dir + "/sub/inner"));
  EXPECT_EQ(std::vector<std::string>{"sub"}, files_in(dir));
}

TEST(Files, SameFileSeesThroughDotsLinksAndHardLinks) {
  const std::string dir = work_dir("Files.Same");
  fs::create_directories(dir + "/sub");
  std::ofstream(dir + "/a") << "a";
  std::ofstream(dir + "/b") << "b";
  fs::create_symlink(dir + "/a", dir + "/link");
  fs::create_hard_link(dir + "/a", dir + "/hard");
  struct Case {
    std::string x, y;
    bool same;
  };
  const Case cases[] = {
      {dir + "/a", dir + "/a", true},
      {dir + "/a", dir + "/sub/../a", true},
      {dir + "/a", dir + "/link", true},
      {dir + "/a", dir + "/hard", true},
      {dir + "/a", dir + "/b", false},
      // Not there yet: compared by the names they resolve to.
      {dir + "/new", dir + "/sub/../new", true},
      {dir + "/new", dir + "/other", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x + " " + c.y);
    EXPECT_EQ(c.same, ufhost::same_file(c.x, c.y));
    EXPECT_EQ(c.same, ufhost::same_file(c.y, c.x));
  }
}

}  // namespace
