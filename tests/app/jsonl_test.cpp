// JSON lines as batches keep them: written whole, and read back with a torn
// last line told from a bad file.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/support.h"
#include "ufhost/app/batch/jsonl.h"

namespace {

using ufhost::app::JsonlLine;

void write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Reads `text` as a JSONL file whose objects must have a number "n"; a
// "bad" key is wrong anywhere.
bool read(const std::string& text, std::vector<int>* taken, std::size_t* torn_at, std::string* error) {
  const std::string path = testing_support::work_dir("jsonl_read") + "/lines.jsonl";
  write(path, text);
  taken->clear();
  return ufhost::app::read_jsonl_lines(
      path,
      [&](const nlohmann::json& object, std::string* why) {
        if (object.contains("bad")) {
          *why = "a bad object";
          return JsonlLine::kWrong;
        }
        if (!object.contains("n") || !object["n"].is_number_integer()) {
          *why = "no n";
          return JsonlLine::kRefused;
        }
        taken->push_back(object["n"].get<int>());
        return JsonlLine::kTaken;
      },
      torn_at, error);
}

TEST(Jsonl, BlankLinesAreSkippedAndAWholeFileIsTaken) {
  std::vector<int> taken;
  std::size_t torn = 0;
  std::string error;
  ASSERT_TRUE(read("{\"n\":1}\n\n  \n{\"n\":2}\n", &taken, &torn, &error)) << error;
  EXPECT_EQ((std::vector<int>{1, 2}), taken);
  EXPECT_EQ(std::string::npos, torn);
}

TEST(Jsonl, ALastLineCutShortIsATornWrite) {
  std::vector<int> taken;
  std::size_t torn = 0;
  std::string error;
  ASSERT_TRUE(read("{\"n\":1}\n{\"n\":", &taken, &torn, &error)) << error;
  EXPECT_EQ((std::vector<int>{1}), taken);
  EXPECT_EQ(8u, torn);
  // A last line that is JSON but not taken was cut short too: `{"n":2}` cut
  // after its brace is still JSON to a parser only by chance.
  ASSERT_TRUE(read("{\"n\":1}\n{}", &taken, &torn, &error)) << error;
  EXPECT_EQ(8u, torn);
}

TEST(Jsonl, ABadLineBeforeTheEndRefusesTheFile) {
  std::vector<int> taken;
  std::size_t torn = 0;
  std::string error;
  EXPECT_FALSE(read("{\"n\":1}\nnonsense\n{\"n\":2}\n", &taken, &torn, &error));
  EXPECT_NE(std::string::npos, error.find("lines.jsonl:2: not JSON")) << error;
  EXPECT_FALSE(read("{}\n{\"n\":2}\n", &taken, &torn, &error));
  EXPECT_NE(std::string::npos, error.find("lines.jsonl:1: no n")) << error;
}

TEST(Jsonl, AWrongObjectRefusesTheFileEvenAtTheEnd) {
  std::vector<int> taken;
  std::size_t torn = 0;
  std::string error;
  EXPECT_FALSE(read("{\"n\":1}\n{\"bad\":true}", &taken, &torn, &error));
  EXPECT_NE(std::string::npos, error.find("lines.jsonl:2: a bad object")) << error;
}

TEST(Jsonl, AnUnreadableFileSaysSo) {
  std::size_t torn = 0;
  std::string error;
  EXPECT_FALSE(ufhost::app::read_jsonl_lines(
      "/nonexistent/lines.jsonl", [](const nlohmann::json&, std::string*) { return JsonlLine::kTaken; },
      &torn, &error));
  EXPECT_NE(std::string::npos, error.find("cannot be read")) << error;
}

}  // namespace
