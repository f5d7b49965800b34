// libufui and the platform layer through their C interface, with a scripted
// user interface and a transcript read back after each request.
#include <BRepPrimAPI_MakeBox.hxx>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "host/uf.h"
#include "platform/winplat.h"
#include "tests/support/support.h"
#include "ufhost/session/session.h"
#include "ufhost/session/transcript.h"
#include "ufhost/ui/ui.h"

using namespace ufhost;

namespace {

// "Габариты" in code page 1251, as the plug-in hands it over.
const char kTitle1251[] = "\xC3\xE0\xE1\xE0\xF0\xE8\xF2\xFB";

class HostUi : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_session();
    path_ = testing_support::work_dir(
                ::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            "/transcript.jsonl";
  }

  void answer(std::vector<std::string> lines) {
    session().ui = make_scripted_ui(std::move(lines));
    std::string error;
    session().ui->transcript = Transcript::open(path_, &error);
    ASSERT_TRUE(session().ui->transcript) << error;
  }

  // Transcript entries so far.
  std::vector<nlohmann::json> entries() const {
    std::vector<nlohmann::json> out;
    std::ifstream in(path_);
    std::string line;
    while (std::getline(in, line)) out.push_back(nlohmann::json::parse(line));
    return out;
  }
  nlohmann::json last() const { return entries().back(); }

  Tag add_box(const char* name, double dx, double dy, double dz) {
    Object o;
    o.kind = Kind::SolidBody;
    o.name = name;
    o.shape = BRepPrimAPI_MakeBox(dx, dy, dz).Shape();
    return session().model.add(o);
  }
  Tag add_point(double x) {
    Object o;
    o.kind = Kind::Point;
    o.p0 = gp_Pnt(x, 0, 0);
    return session().model.add(o);
  }

  std::string path_;
};

}  // namespace

TEST_F(HostUi, MenuReadsFixedFieldsAndConvertsTheTitle) {
  answer({"menu 2"});
  char items[3][UF_UI_MENU_ITEM_SIZE] = {};
  std::strcpy(items[0], "first");
  std::memset(items[1], 'x', UF_UI_MENU_ITEM_SIZE);  // fills the field, no terminator
  std::memcpy(items[2], kTitle1251, sizeof kTitle1251);
  EXPECT_EQ(6, uc1603(kTitle1251, 0, items, 3));
  const auto e = last();
  EXPECT_EQ("menu", e["kind"]);
  EXPECT_EQ("Габариты", e["title"]);
  EXPECT_EQ((std::vector<std::string>{"first", std::string(38, 'x'), "Габариты"}),
            e["items"].get<std::vector<std::string>>());
  EXPECT_EQ(6, e["answer"]["code"]);
}

TEST_F(HostUi, MenuAnswersBackCodesAndCancelsWhatItCannotUse) {
  answer({"menu back", "menu code 77", "menu 4"});
  char items[3][UF_UI_MENU_ITEM_SIZE] = {"a", "b", "c"};
  EXPECT_EQ(UF_UI_BACK, uc1603("m", 0, items, 3));
  EXPECT_EQ(77, uc1603("m", 0, items, 3));
  EXPECT_EQ(UF_UI_CANCEL, uc1603("m", 0, items, 3));  // no item 4
  EXPECT_NE(std::string::npos, last()["answer"]["error"].get<std::string>().find("answers:3"));
  EXPECT_EQ(UF_UI_CANCEL, uc1603("m", 0, items, 3));  // ran out
}

TEST_F(HostUi, MenuWithoutItemsIsRefused) {
  answer({"menu 1"});
  EXPECT_EQ(kErrBadArgument, uc1603("m", 0, nullptr, 3));
}

TEST_F(HostUi, MenuThatAlwaysFailsIsCancelledInTheEnd) {
  answer({});
  session().fail_rules.push_back({"uc1603", 9, 0});
  char items[1][UF_UI_MENU_ITEM_SIZE] = {"a"};
  int failures = 0;
  int code = 9;
  while (code == 9 && failures < 5000) {
    code = uc1603("m", 0, items, 1);
    if (code == 9) ++failures;
  }
  EXPECT_EQ(UF_UI_CANCEL, code);
  EXPECT_LT(failures, 5000);
}

// A value dialog's two fields: the first label in code page 1251, the
// second filling its field with no terminator.
class ValueDialog : public HostUi {
 protected:
  void SetUp() override {
    HostUi::SetUp();
    std::memcpy(labels[0], kTitle1251, sizeof kTitle1251);
    std::memset(labels[1], 'L', UF_UI_LABEL_SIZE);
  }
  int show(int* field_types) { return uc1608(kTitle1251, labels, 2, defaults, values, field_types); }

  char labels[2][UF_UI_LABEL_SIZE] = {};
  int defaults[2] = {1, 1};
  int types[2] = {1, 1};
  double values[2] = {100.25, 1e-6};
};

TEST_F(ValueDialog, ShowsTheLabelsAndValuesAndKeepsThemOnOk) {
  answer({"dialog ok"});
  EXPECT_EQ(UF_UI_OK, show(types));
  EXPECT_EQ(100.25, values[0]);
  auto e = last();
  EXPECT_EQ((std::vector<std::string>{"Габариты", std::string(16, 'L')}),
            e["labels"].get<std::vector<std::string>>());
  EXPECT_EQ((std::vector<double>{100.25, 1e-6}), e["values"].get<std::vector<double>>());
}

TEST_F(ValueDialog, WritesTheAnswersValuesBack) {
  answer({"dialog ok 7 8.5"});
  EXPECT_EQ(UF_UI_OK, show(types));
  EXPECT_EQ(7.0, values[0]);
  EXPECT_EQ(8.5, values[1]);
  EXPECT_EQ((std::vector<double>{7, 8.5}), last()["answer"]["values"].get<std::vector<double>>());
}

TEST_F(ValueDialog, CancelLeavesTheValues) {
  answer({"dialog cancel"});
  EXPECT_EQ(UF_UI_CANCEL, show(types));
  EXPECT_EQ(100.25, values[0]);
}

TEST_F(ValueDialog, RefusesTextFieldsAndMissingValues) {
  answer({"dialog ok", "dialog ok"});
  int text_type[2] = {1, 3};
  EXPECT_EQ(kErrBadArgument, show(text_type));
  EXPECT_EQ(kErrBadArgument, uc1608("t", labels, 2, defaults, nullptr, types));
}

// Two boxes and a point between them; the masks offer mesh bodies, lines
// and solids.
class Selecting : public HostUi {
 protected:
  void SetUp() override {
    HostUi::SetUp();
    a = add_box("a", 1, 2, 3);
    add_point(5);
    b = add_box("b", 100, 50, 20);
  }
  int select(tag_t** objects) { return UF_UI_select_by_class("Select Objects", &opts, &response, &count, objects); }

  Tag a = 0, b = 0;
  UF_UI_mask_t masks[3] = {{71, -1, 0}, {43, -1, 0}, {70, -1, 0}};
  UF_UI_selection_options_t opts = {3, masks, UF_UI_SEL_SCOPE_WORK_PART, 0, 0};
  int response = 0, count = -1;
};

TEST_F(Selecting, OffersMaskedObjectsAndHighlightsThePicksInOrder) {
  answer({"select 2 1"});
  tag_t* objects = nullptr;
  ASSERT_EQ(0, select(&objects));
  EXPECT_EQ(UF_UI_OK, response);
  ASSERT_EQ(2, count);
  EXPECT_EQ(b, objects[0]);  // in the order picked, not the order listed
  EXPECT_EQ(a, objects[1]);
  EXPECT_TRUE(session().model.find(a)->highlighted);
  auto all = entries();
  const auto& sel = all[all.size() - 3];
  ASSERT_EQ("select", sel["kind"]);
  ASSERT_EQ(2u, sel["objects"].size());  // the point is not offered
  EXPECT_EQ("100 x 50 x 20", sel["objects"][1]["size"]);
  EXPECT_EQ("highlight", all.back()["kind"]);
  EXPECT_EQ(a, all.back()["tag"]);
  EXPECT_TRUE(all.back()["on"].get<bool>());
}

TEST_F(Selecting, TheArrayStaysTheHostsUntilTheNextSelection) {
  answer({"select 2 1", "select cancel", "select none"});
  tag_t* objects = nullptr;
  ASSERT_EQ(0, select(&objects));
  const tag_t* kept = objects;
  EXPECT_EQ(b, kept[0]);
  ASSERT_EQ(0, select(&objects));
  EXPECT_EQ(UF_UI_CANCEL, response);
  EXPECT_EQ(0, count);
  EXPECT_EQ(nullptr, objects);
  ASSERT_EQ(0, select(&objects));
  EXPECT_EQ(UF_UI_OK, response);
  EXPECT_EQ(0, count);
}

TEST_F(Selecting, PointsAreOfferedByTheirOwnMask) {
  UF_UI_mask_t points[1] = {{UF_point_type, -1, 0}};
  UF_UI_selection_options_t point_opts = {1, points, UF_UI_SEL_SCOPE_WORK_PART, 0, 0};
  answer({"select all"});
  tag_t* objects = nullptr;
  ASSERT_EQ(0, UF_UI_select_by_class("p", &point_opts, &response, &count, &objects));
  EXPECT_EQ(1, count);
}

TEST_F(HostUi, SelectionRejectsMisuse) {
  add_box("a", 1, 1, 1);
  answer({"select all"});
  UF_UI_mask_t masks[1] = {{70, -1, 0}};
  UF_UI_selection_options_t opts = {1, masks, UF_UI_SEL_SCOPE_WORK_PART, 0, 0};
  int response = 0, count = 0;
  tag_t* objects = nullptr;
  UF_UI_selection_options_t bad_scope = opts;
  bad_scope.scope = 99;
  UF_UI_selection_options_t no_masks = {1, nullptr, UF_UI_SEL_SCOPE_WORK_PART, 0, 0};
  EXPECT_EQ(kErrBadArgument, UF_UI_select_by_class("s", nullptr, &response, &count, &objects));
  EXPECT_EQ(kErrBadArgument, UF_UI_select_by_class("s", &opts, &response, nullptr, &objects));
  EXPECT_EQ(kErrBadArgument, UF_UI_select_by_class("s", &bad_scope, &response, &count, &objects));
  EXPECT_EQ(kErrBadArgument, UF_UI_select_by_class("s", &no_masks, &response, &count, &objects));
}

TEST_F(HostUi, InjectedFailureOfTheSelectionLeavesNothingAndKeepsTheAnswer) {
  add_box("a", 1, 1, 1);
  answer({"select all"});
  UF_UI_mask_t masks[1] = {{70, -1, 0}};
  UF_UI_selection_options_t opts = {1, masks, UF_UI_SEL_SCOPE_WORK_PART, 0, 0};
  int response = 0, count = 7;
  tag_t* objects = nullptr;
  session().fail_rules.push_back({"UF_UI_select_by_class", kErrRefused, 1});
  EXPECT_EQ(kErrRefused, UF_UI_select_by_class("s", &opts, &response, &count, &objects));
  EXPECT_EQ(0, count);
  EXPECT_EQ(UF_UI_CANCEL, response);
  EXPECT_TRUE(entries().empty());  // the answer is still there for the next call
  EXPECT_EQ(0, UF_UI_select_by_class("s", &opts, &response, &count, &objects));
  EXPECT_EQ(1, count);
}

TEST_F(HostUi, HighlightIsSwitchedPerObject) {
  const Tag a = add_box("a", 1, 1, 1);
  answer({});
  EXPECT_EQ(0, UF_DISP_set_highlight(a, 1));
  EXPECT_TRUE(session().model.find(a)->highlighted);
  EXPECT_EQ(0, UF_DISP_set_highlight(a, 0));
  EXPECT_FALSE(session().model.find(a)->highlighted);
  const auto e = last();
  EXPECT_EQ("highlight", e["kind"]);
  EXPECT_FALSE(e["on"].get<bool>());
  EXPECT_EQ("UF_DISP_set_highlight", e["by"]);
  EXPECT_EQ(2u, entries().size());
}

TEST_F(HostUi, HighlightRefusesBadTagsAndValuesAndRecordsNothing) {
  const Tag a = add_box("a", 1, 1, 1);
  answer({});
  EXPECT_EQ(kErrBadTag, UF_DISP_set_highlight(a + 100, 0));
  EXPECT_EQ(kErrBadTag, UF_DISP_set_highlight(NULL_TAG, 0));
  EXPECT_EQ(kErrBadArgument, UF_DISP_set_highlight(a, 2));
  EXPECT_FALSE(session().model.find(a)->highlighted);
  EXPECT_TRUE(entries().empty());
}

TEST_F(HostUi, ListingWindowConvertsItsText) {
  answer({});
  EXPECT_EQ(0, UF_UI_open_listing_window());
  EXPECT_EQ(0, UF_UI_write_listing_window(kTitle1251));
  EXPECT_EQ("listing", last()["kind"]);
  EXPECT_EQ("Габариты", last()["text"]);
  EXPECT_EQ(kErrBadArgument, UF_UI_write_listing_window(nullptr));
}

TEST_F(HostUi, ListingWindowFailsWhenTold) {
  answer({});
  session().fail_rules.push_back({"UF_UI_open_listing_window", kErrListingWindow, 0});
  EXPECT_EQ(kErrListingWindow, UF_UI_open_listing_window());
}

TEST_F(HostUi, MessageBoxOfAWindowThatIsNotHereShowsNothing) {
  answer({"message ok"});
  int window = 0;
  EXPECT_EQ(0, MessageBoxA(&window, "x", "y", MB_OK));
  EXPECT_TRUE(entries().empty());
}

TEST_F(HostUi, MessageBoxNeedsNoOwnerAndConvertsItsTexts) {
  answer({"message ok"});
  EXPECT_EQ(IDOK, MessageBoxA(nullptr, "\xCD\xE5\xF2\n2", kTitle1251, MB_OK));
  EXPECT_EQ("message", last()["kind"]);
  EXPECT_EQ("Габариты", last()["title"]);
  EXPECT_EQ("Нет\n2", last()["text"]);
}

// The search log's save dialog as the plug-in makes it.
class SaveDialogOfTheLog : public HostUi {
 protected:
  std::string dir() const { return std::filesystem::path(path_).parent_path().string(); }
  SaveFileDialog dialog{false, "txt", "*.txt", OFN_HIDEREADONLY,
                        "MyType Files (*.txt)|*.txt|Text Files (*.txt)|*.txt||", nullptr,
                        OPENFILENAME_SIZE_VERSION_400};
};

TEST_F(SaveDialogOfTheLog, AddsTheExtensionAndRecordsTheRequest) {
  answer({"save " + dir() + "/log"});
  EXPECT_EQ("", std::string(dialog.GetPathName()));
  ASSERT_EQ(IDOK, dialog.DoModal());
  EXPECT_EQ(dir() + "/log.txt", std::string(dialog.GetPathName()));
  const auto e = last();
  EXPECT_EQ("save", e["kind"]);
  EXPECT_EQ(false, e["open_mode"]);
  EXPECT_EQ("txt", e["default_ext"]);
  EXPECT_EQ("*.txt", e["file_name"]);
  EXPECT_EQ(4, e["flags"]);
  EXPECT_EQ("MyType Files (*.txt)|*.txt|Text Files (*.txt)|*.txt||", e["filter"]);
  EXPECT_EQ(76, e["struct_size"]);
  EXPECT_EQ(dir() + "/log.txt", e["answer"]["path"]);
}

TEST_F(SaveDialogOfTheLog, KeepsAnExtensionGiven) {
  answer({"save " + dir() + "/log.csv"});
  ASSERT_EQ(IDOK, dialog.DoModal());
  EXPECT_EQ(dir() + "/log.csv", std::string(dialog.GetPathName()));
}

TEST_F(SaveDialogOfTheLog, CancelOtherAnswersFoldersAndRunningOutGiveNothing) {
  answer({"save cancel", "message ok", "save " + dir() + "/", "save " + dir() + "/.",
          "save " + dir() + "/sub/.."});
  // cancel, wrong kind, three folders (not "..txt"), ran out
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_EQ("", std::string(dialog.GetPathName()));
  }
}

TEST(TextBuffer, CopiesAndAssignsSafely) {
  TextBuffer empty;
  EXPECT_STREQ("", empty.c_str());
  EXPECT_TRUE(empty.empty());
  TextBuffer null_text(static_cast<const char*>(nullptr));
  EXPECT_STREQ("", null_text);
  TextBuffer a("\xCD\xE5\xF2 text");
  TextBuffer b(a);
  a = "other";
  EXPECT_STREQ("\xCD\xE5\xF2 text", b.c_str());
  EXPECT_EQ(8u, b.size());
  b = b;
  EXPECT_STREQ("\xCD\xE5\xF2 text", b.c_str());
  b = b.c_str() + 4;  // from inside its own storage
  EXPECT_STREQ("text", b.c_str());
  b = a;
  EXPECT_STREQ("other", b.c_str());
  EXPECT_NE(a.c_str(), b.c_str());
}
