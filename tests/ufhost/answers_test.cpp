// The answers reader and the scripted front end that consumes it.
#include <cmath>
#include <fstream>

#include "tests/support/support.h"
#include "ufhost/ui/answers.h"

using namespace ufhost;

TEST(Answers, EveryKindParses) {
  struct Case {
    const char* text;
    AnswerKind kind;
    AnswerAction action;
    int number;
    std::vector<double> values;
    std::vector<int> picks;
    std::string path;
  };
  const Case cases[] = {
      {"menu 3", AnswerKind::Menu, AnswerAction::Pick, 3, {}, {}, ""},
      {"  menu   1  ", AnswerKind::Menu, AnswerAction::Pick, 1, {}, {}, ""},
      {"menu back", AnswerKind::Menu, AnswerAction::Back, 0, {}, {}, ""},
      {"menu cancel", AnswerKind::Menu, AnswerAction::Cancel, 0, {}, {}, ""},
      {"menu code -3", AnswerKind::Menu, AnswerAction::Code, -3, {}, {}, ""},
      {"menu code 1000\r", AnswerKind::Menu, AnswerAction::Code, 1000, {}, {}, ""},
      {"dialog ok", AnswerKind::Dialog, AnswerAction::Ok, 0, {}, {}, ""},
      {"dialog ok 1e-6 -2.5 +7", AnswerKind::Dialog, AnswerAction::Ok, 0, {1e-6, -2.5, 7}, {}, ""},
      {"dialog back", AnswerKind::Dialog, AnswerAction::Back, 0, {}, {}, ""},
      {"dialog cancel", AnswerKind::Dialog, AnswerAction::Cancel, 0, {}, {}, ""},
      {"select all", AnswerKind::Select, AnswerAction::All, 0, {}, {}, ""},
      {"select 3 1 2", AnswerKind::Select, AnswerAction::Pick, 0, {}, {3, 1, 2}, ""},
      {"select none", AnswerKind::Select, AnswerAction::None, 0, {}, {}, ""},
      {"select cancel", AnswerKind::Select, AnswerAction::Cancel, 0, {}, {}, ""},
      {"message ok", AnswerKind::Message, AnswerAction::Ok, 0, {}, {}, ""},
      {"save out/my log.txt ", AnswerKind::Save, AnswerAction::Path, 0, {}, {}, "out/my log.txt"},
      {"save cancel", AnswerKind::Save, AnswerAction::Cancel, 0, {}, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Answer a;
    std::string error;
    ASSERT_TRUE(parse_answer(c.text, &a, &error)) << error;
    EXPECT_EQ(c.kind, a.kind);
    EXPECT_EQ(c.action, a.action);
    EXPECT_EQ(c.number, a.number);
    EXPECT_EQ(c.values, a.values);
    EXPECT_EQ(c.picks, a.picks);
    EXPECT_EQ(c.path, a.path);
  }
}

TEST(Answers, NotANumberAndInfinityAreValues) {
  Answer a;
  std::string error;
  ASSERT_TRUE(parse_answer("dialog ok nan inf -inf", &a, &error)) << error;
  ASSERT_EQ(3u, a.values.size());
  EXPECT_TRUE(std::isnan(a.values[0]));
  EXPECT_EQ(INFINITY, a.values[1]);
  EXPECT_EQ(-INFINITY, a.values[2]);
}

TEST(Answers, MalformedLinesAreRejectedWithAReason) {
  for (const char* text :
       {"menu", "menu 0", "menu -1", "menu x", "menu 1 2", "menu code", "menu code 1.5",
        "menu code 99999999999", "dialog", "dialog okay", "dialog ok 1,5", "dialog ok 3x",
        "select", "select 0", "select 1 1", "select 2 x", "select all 1", "message",
        "message cancel", "save", "save   ", "Menu 1", "frobnicate", "menu1"}) {
    SCOPED_TRACE(text);
    Answer a;
    std::string error;
    EXPECT_FALSE(parse_answer(text, &a, &error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(Answers, QueueSkipsCommentsAndNamesFileAndLine) {
  AnswerQueue q(number_lines({"# a script", "", "menu 1", "   ", "  # indented comment",
                              "select all", "dialog ok", "bogus", "message ok"},
                             "script.txt"));
  EXPECT_EQ(5u, q.remaining());
  EXPECT_EQ("script.txt:3", q.next_where());
  Answer a;
  std::string where, error;
  EXPECT_EQ(AnswerQueue::Next::Ready, q.take(AnswerKind::Menu, &a, &where, &error));
  EXPECT_EQ("script.txt:3", where);
  // A line of another kind is consumed, reported with its place, and not
  // kept for a later request.
  EXPECT_EQ(AnswerQueue::Next::Unusable, q.take(AnswerKind::Dialog, &a, &where, &error));
  EXPECT_EQ(0u, error.find("script.txt:6: ")) << error;
  EXPECT_NE(std::string::npos, error.find("select all")) << error;
  EXPECT_EQ(AnswerQueue::Next::Ready, q.take(AnswerKind::Dialog, &a, &where, &error));
  EXPECT_EQ(AnswerQueue::Next::Unusable, q.take(AnswerKind::Message, &a, &where, &error));
  EXPECT_EQ(0u, error.find("script.txt:8: ")) << error;
  EXPECT_EQ(AnswerQueue::Next::Ready, q.take(AnswerKind::Message, &a, &where, &error));
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(AnswerQueue::Next::Exhausted, q.take(AnswerKind::Menu, &a, &where, &error));
  EXPECT_EQ("", q.next_where());
}

TEST(Answers, FileIsReadWithItsName) {
  const std::string dir = testing_support::work_dir("answers_file");
  {
    std::ofstream f(dir + "/a.txt", std::ios::binary);
    f << "menu 2\r\n\r\nselect none\r\n";
  }
  std::vector<AnswerLine> lines;
  std::string error;
  ASSERT_TRUE(read_answer_file(dir + "/a.txt", &lines, &error)) << error;
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(dir + "/a.txt:3", lines[2].where());
}

TEST(Answers, AMissingFileIsAnErrorNamingIt) {
  const std::string dir = testing_support::work_dir("answers_missing");
  std::vector<AnswerLine> lines;
  std::string error;
  EXPECT_FALSE(read_answer_file(dir + "/missing.txt", &lines, &error));
  EXPECT_NE(std::string::npos, error.find(dir + "/missing.txt")) << error;
}

// The scripted front end: what each answer gives, what cannot be used, and
// that running out cancels everything.
class ScriptedUi : public ::testing::Test {
 protected:
  void script(std::vector<std::string> lines) { ui = make_scripted_ui(std::move(lines), "s"); }
  std::unique_ptr<UserInterface> ui;
  MenuRequest menu{"Menu", {"a", "b", "c"}, 0};
  DialogRequest dialog{"Values", {"x", "y"}, {1.0, 2.0}};
  SelectRequest select{"Pick", {{11, "one", "solid body", ""}, {12, "two", "solid body", ""},
                                {13, "three", "mesh body", ""}}, {}, 4};
};

TEST_F(ScriptedUi, MenuCodes) {
  script({"menu 1", "menu 3", "menu back", "menu cancel", "menu code 42", "menu 4", "dialog ok"});
  for (int expect : {5, 7, 1, 2, 42, 2, 2, 2, 2}) EXPECT_EQ(expect, ui->menu(menu));
  EXPECT_EQ(2, unusable_answers(*ui));  // "menu 4" of three items, and the dialog answer
  EXPECT_EQ(0, unused_answers(*ui));
}

TEST_F(ScriptedUi, DialogValues) {
  script({"dialog ok", "dialog ok 5", "dialog ok 7 8", "dialog ok 1 2 3", "dialog back",
          "dialog cancel"});
  struct Step { int code; std::vector<double> values; };
  const Step steps[] = {{3, {1, 2}}, {3, {5, 2}}, {3, {7, 8}}, {2, {1, 2}},
                        {1, {1, 2}}, {2, {1, 2}}, {2, {1, 2}}};
  for (const Step& s : steps) {
    std::vector<double> values = {-1};
    EXPECT_EQ(s.code, ui->dialog(dialog, &values));
    EXPECT_EQ(s.values, values);
  }
  EXPECT_EQ(1, unusable_answers(*ui));  // three values for two fields
}

TEST_F(ScriptedUi, SelectionKeepsTheOrderPicked) {
  script({"select 3 1", "select all", "select none", "select cancel", "select 2 4", "select back"});
  struct Step { int response; std::vector<Tag> tags; };
  const Step steps[] = {{3, {13, 11}}, {3, {11, 12, 13}}, {3, {}}, {2, {}},
                        {2, {}},       {1, {}},           {2, {}}};
  for (const Step& s : steps) {
    std::vector<Tag> chosen = {99};
    EXPECT_EQ(s.response, ui->select(select, &chosen));
    EXPECT_EQ(s.tags, chosen);
  }
  EXPECT_EQ(1, unusable_answers(*ui));  // there is no object 4
}

TEST_F(ScriptedUi, SaveGivesAnAbsolutePathWithTheExtension) {
  script({"save log", "save /tmp/x/run.log"});
  SaveRequest save;
  save.default_ext = "txt";
  std::string path;
  ASSERT_TRUE(ui->save(save, &path));
  EXPECT_EQ(std::filesystem::current_path() / "log.txt", std::filesystem::path(path));
  ASSERT_TRUE(ui->save(save, &path));
  EXPECT_EQ("/tmp/x/run.log", path);
}

TEST_F(ScriptedUi, SaveOfAPatternOrCancelGivesNoPath) {
  script({"save *.txt", "save cancel"});
  SaveRequest save;
  save.default_ext = "txt";
  std::string path = "left over";
  EXPECT_FALSE(ui->save(save, &path));  // a pattern names no file
  EXPECT_EQ("", path);
  EXPECT_FALSE(ui->save(save, &path));
  EXPECT_FALSE(ui->save(save, &path));  // ran out
  EXPECT_EQ(1, unusable_answers(*ui));
}

TEST_F(ScriptedUi, MessageTakesOnlyItsOwnAnswerButAlwaysCloses) {
  script({"message ok", "menu 1", "message ok"});
  ui->message("t", "x");
  ui->message("t", "x");  // "menu 1" is consumed and reported
  EXPECT_EQ(1, unusable_answers(*ui));
  EXPECT_EQ(1, unused_answers(*ui));
  EXPECT_EQ(2, ui->menu(menu));  // a message answer cannot choose from a menu
  EXPECT_EQ(2, unusable_answers(*ui));
}
