// The transcript that tests and batch users read a run back from.
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/support.h"
#include "ufhost/session/transcript.h"

namespace {

std::vector<std::string> lines_of(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(Transcript, EveryLineIsOneJsonObjectReadableWhileTheRunGoesOn) {
  const std::string path = testing_support::work_dir("transcript_lines") + "/t.jsonl";
  std::string error;
  auto transcript = ufhost::Transcript::open(path, &error);
  ASSERT_TRUE(transcript) << error;
  ufhost::MenuRequest menu;
  menu.title = "Габариты";
  menu.items = {"a \"quoted\" item", "line\nbreak", "tab\there"};
  nlohmann::json entry = ufhost::menu_entry(menu);
  entry["answer"] = {{"code", 5}};
  transcript->write(entry);
  // Flushed at once: a run that dies now still leaves this line behind.
  auto lines = lines_of(path);
  ASSERT_EQ(1u, lines.size());
  const auto back = nlohmann::json::parse(lines[0]);
  EXPECT_EQ("menu", back["kind"]);
  EXPECT_EQ(0u, lines[0].find("{\"kind\":\"menu\""));  // kind first, for grep and for people
  EXPECT_EQ(menu.items, back["items"].get<std::vector<std::string>>());
  EXPECT_EQ("Габариты", back["title"]);
}

// Bytes that are not UTF-8 (a code page 1251 text that slipped through) are
// replaced, not lost and not allowed to break the line.
TEST(Transcript, BytesThatAreNotUtf8AreReplacedNotLost) {
  const std::string path = testing_support::work_dir("transcript_bytes") + "/t.jsonl";
  std::string error;
  auto transcript = ufhost::Transcript::open(path, &error);
  ASSERT_TRUE(transcript) << error;
  transcript->write({{"kind", "listing"}, {"text", std::string("ok \xC3\x28 \xE0\xE1")}});
  const auto lines = lines_of(path);
  ASSERT_EQ(1u, lines.size());
  const auto listing = nlohmann::json::parse(lines[0], nullptr, false);
  ASSERT_FALSE(listing.is_discarded());
  EXPECT_EQ(0u, listing["text"].get<std::string>().find("ok "));
  EXPECT_TRUE(transcript->good());
}

TEST(Transcript, OpeningEmptiesAnOldFile) {
  const std::string dir = testing_support::work_dir("transcript_open");
  { std::ofstream(dir + "/t.jsonl") << "old line\n"; }
  std::string error;
  ASSERT_TRUE(ufhost::Transcript::open(dir + "/t.jsonl", &error));
  EXPECT_TRUE(lines_of(dir + "/t.jsonl").empty());
}

TEST(Transcript, OpeningInAMissingFolderFailsNamingTheFile) {
  const std::string dir = testing_support::work_dir("transcript_missing");
  std::string error;
  EXPECT_FALSE(ufhost::Transcript::open(dir + "/no/such/folder/t.jsonl", &error));
  EXPECT_NE(std::string::npos, error.find("t.jsonl"));
}

}  // namespace
