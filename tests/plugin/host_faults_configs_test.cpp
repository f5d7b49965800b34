// Every host call the plug-in makes, failing in its turn: each operation at
// its N-th call, under each command, in the process with the stand-in host.
// Every run must end by itself; a failing checked call must leave its report
// and nothing else, any other failing call no report at all. Built against
// both configurations of the plug-in.
#include <BRepPrimAPI_MakeBox.hxx>
#include <gp.hxx>
#include <gp_Trsf.hxx>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "src/Zarvel_06.h"
#include "host/uf.h"
#include "tests/support/support.h"
#include "ufhost/session/session.h"
#include "ufhost/ui/ui.h"

namespace {

using testing_support::read_file;
using testing_support::split_lines;
using ufhost::session;

#ifdef ZARVEL_DEBUG
constexpr bool kDebug = true;
#else
constexpr bool kDebug = false;
#endif

const char* const kSources[] = {"Zarvel_06", "Main", "selected", "get_zarvel", "ruled"};

// What a run leaves: the host calls it made and what reached the system log
// and the listing window, piece by piece.
struct Outcome {
  std::map<std::string, int, std::less<>> calls;
  std::vector<std::string> syslog, listing;
};

std::string joined(const std::vector<std::string>& pieces) {
  std::string out;
  for (const std::string& p : pieces) out += p;
  return out;
}

// A user who wants the command through: the command at the first menu and
// cancel at every later one, every body offered, OK to every dialog and box,
// the log in the current folder. The answers go by the kind of request, so a
// failure that changes the requests cannot put them out of step.
class SteadyUser : public ufhost::UserInterface {
 public:
  SteadyUser(int command, Outcome* run) : command_(command), run_(run) {}
  int menu(const ufhost::MenuRequest&) override {
    return menus_++ == 0 ? 4 + command_ : UF_UI_CANCEL;
  }
  int dialog(const ufhost::DialogRequest& request, std::vector<double>* values) override {
    *values = request.values;
    return UF_UI_OK;
  }
  int select(const ufhost::SelectRequest& request, std::vector<ufhost::Tag>* chosen) override {
    for (const ufhost::Selectable& object : request.objects) chosen->push_back(object.tag);
    return UF_UI_OK;
  }
  void message(const std::string&, const std::string&) override {}
  bool save(const ufhost::SaveRequest&, std::string* path) override {
    *path = (std::filesystem::current_path() / "log.txt").string();
    return true;
  }
  bool open_listing() override { return true; }
  void write_listing(const std::string& text) override { run_->listing.push_back(text); }

 private:
  int command_;
  Outcome* run_;
  int menus_ = 0;
};

// The operations the plug-in calls through CHECKED, as its sources write them.
std::set<std::string> checked_operations() {
  std::set<std::string> operations;
  const std::string mark = "CHECKED(";
  for (const char* name : kSources) {
    const std::string text = read_file(std::string(ZARVEL_SOURCE_DIR) + "/src/" + name + ".cpp");
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) {
      const std::size_t begin = at + mark.size();
      operations.insert(text.substr(begin, text.find('(', begin) - begin));
    }
  }
  return operations;
}

// The source file's name as this configuration's reports give it.
std::string reported_name(const std::string& bare) {
  if (!kDebug) return bare;
  std::string path = std::string(ZARVEL_SOURCE_DIR) + "/src/" + bare + ".cpp";
  for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return path;
}

// `text` is exactly one report of a failed call of `operation`: its three
// lines, naming the file and the line the checked call stands on.
::testing::AssertionResult one_report_of(const std::string& operation, const std::string& text) {
  // "*** ERROR code 1009 at line L in FILE:", "+++The operation was refused", "CALL;"
  const std::vector<std::string> lines = split_lines(text);
  const std::string head = "*** ERROR code 1009 at line ";
  if (lines.size() != 3 || text.back() != '\n' || lines[0].rfind(head, 0) != 0 ||
      lines[0].back() != ':' || lines[1] != "+++The operation was refused" ||
      lines[2].empty() || lines[2].back() != ';')
    return ::testing::AssertionFailure() << "not one report: " << text;
  std::size_t digits = 0;
  const int line = std::stoi(lines[0].substr(head.size()), &digits);
  const std::size_t in = head.size() + digits;
  if (lines[0].compare(in, 4, " in ") != 0)
    return ::testing::AssertionFailure() << "no file in " << lines[0];
  const std::string file = lines[0].substr(in + 4, lines[0].size() - in - 5);
  const std::string call = lines[2].substr(0, lines[2].size() - 1);
  if (call.rfind(operation + "(", 0) != 0)
    return ::testing::AssertionFailure() << "the report names " << call;
  for (const char* bare : kSources) {
    if (file != reported_name(bare)) continue;
    const auto source =
        split_lines(read_file(std::string(ZARVEL_SOURCE_DIR) + "/src/" + bare + ".cpp"));
    if (line >= 1 && line <= static_cast<int>(source.size()) &&
        source[line - 1].find("CHECKED(" + call + ")") != std::string::npos)
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "line " << line << " of " << bare << " is not " << call;
  }
  return ::testing::AssertionFailure() << "no source file is named " << file;
}

// The calls to fail of an operation a normal run calls `count` times: every
// one when they are few, else an even spread from the first to the last.
std::vector<int> calls_to_fail(int count) {
  constexpr int kSpread = 10;
  std::vector<int> out;
  for (int i = 0; i < kSpread && i < count; ++i)
    out.push_back(count <= kSpread ? i + 1 : 1 + (count - 1) * i / (kSpread - 1));
  return out;
}

class HostFaults : public ::testing::Test {
 protected:
  // The debug configuration writes its log into the current folder.
  void SetUp() override {
    before_ = std::filesystem::current_path();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::current_path(testing_support::work_dir(name + (kDebug ? "_debug" : "")));
  }
  void TearDown() override { std::filesystem::current_path(before_); }

  // One run of the plug-in on a block turned 10 degrees, so that the search
  // has turns to make, with `command` chosen and the host failing by `rules`.
  static Outcome run(int command, const std::vector<ufhost::FailRule>& rules) {
    ufhost::reset_session();
    gp_Trsf turn;
    turn.SetRotation(gp::OZ(), 10.0 * M_PI / 180.0);
    ufhost::Object body;
    body.kind = ufhost::Kind::SolidBody;
    body.name = "block";
    body.shape = BRepPrimAPI_MakeBox(30, 20, 10).Shape().Moved(turn);
    session().model.add(body);
    Outcome out;
    session().ui = std::make_unique<SteadyUser>(command, &out);
    session().syslog_hook = [&out](const std::string& text) { out.syslog.push_back(text); };
    session().fail_rules = rules;
    int retcode = 0;
    ufusr(nullptr, &retcode, 0);
    out.calls = session().calls;
    return out;
  }

  static void tell(const char* what, std::size_t operations, int runs, int clean,
                   std::chrono::steady_clock::time_point began) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
    std::printf("[ faults   ] %s: %zu operations, %d runs, %d ended clean, %.1f s\n", what,
                operations, runs, clean, took.count());
  }

  std::filesystem::path before_;
};

TEST_F(HostFaults, EveryCallFailingInItsTurnEndsTheRunWithOnlyItsReport) {
  const auto began = std::chrono::steady_clock::now();
  const std::set<std::string> checked = checked_operations();
  ASSERT_EQ(5u, checked.size());  // UF_initialize, the undo marks, selection, planes, points
  int runs = 0, clean = 0;
  std::set<std::string> operations;
  for (int command = 1; command <= 3; ++command) {
    const Outcome normal = run(command, {});
    ASSERT_TRUE(normal.syslog.empty()) << joined(normal.syslog);
    for (const auto& [operation, count] : normal.calls) {
      operations.insert(operation);
      for (int nth : calls_to_fail(count)) {
        SCOPED_TRACE("command " + std::to_string(command) + ", " + operation + "@" +
                     std::to_string(nth));
        const Outcome failed = run(command, {{operation, ufhost::kErrRefused, nth}});
        ++runs;
        const std::string syslog = joined(failed.syslog);
        const ::testing::AssertionResult reported =
            checked.count(operation) != 0
                ? one_report_of(operation, syslog)
                : (syslog.empty() ? ::testing::AssertionSuccess()
                                  : ::testing::AssertionFailure() << syslog);
        EXPECT_TRUE(reported);
        EXPECT_EQ(syslog, joined(failed.listing));
        clean += reported && syslog == joined(failed.listing);
      }
    }
  }
  EXPECT_EQ(runs, clean);
  tell("every call", operations.size(), runs, clean, began);
}

// The report's own host calls failing in turn while a checked call fails:
// the run still ends, and every piece that could be written is.
TEST_F(HostFaults, ReportsWriteWhatTheirOwnFailingCallsLeave) {
  const auto began = std::chrono::steady_clock::now();
  const ufhost::FailRule mark = {"UF_UNDO_set_mark", ufhost::kErrRefused, 1};
  const Outcome whole = run(2, {mark});
  ASSERT_TRUE(one_report_of("UF_UNDO_set_mark", joined(whole.syslog)));
  ASSERT_EQ(5u, whole.syslog.size());
  int runs = 0, clean = 0;
  for (const char* operation : {"UF_get_fail_message", "UF_print_syslog",
                                "UF_UI_open_listing_window", "UF_UI_write_listing_window"}) {
    const std::string op = operation;
    ASSERT_GT(whole.calls.count(op), 0u) << op;
    for (int nth = 1; nth <= whole.calls.at(op); ++nth) {
      SCOPED_TRACE(op + "@" + std::to_string(nth));
      std::vector<std::string> log = whole.syslog, listing = whole.listing;
      if (op == "UF_get_fail_message" && nth == 1) {  // no text for the code: no report
        log.clear();
        listing.clear();
      }
      if (op == "UF_get_fail_message" && nth == 2) log[1] = listing[1] = "";
      if (op == "UF_print_syslog") log.erase(log.begin() + nth - 1);
      if (op == "UF_UI_open_listing_window") listing.clear();
      if (op == "UF_UI_write_listing_window") listing.erase(listing.begin() + nth - 1);
      const Outcome failed = run(2, {mark, {op, ufhost::kErrRefused, nth}});
      ++runs;
      EXPECT_EQ(log, failed.syslog);
      EXPECT_EQ(listing, failed.listing);
      clean += log == failed.syslog && listing == failed.listing;
    }
  }
  EXPECT_EQ(runs, clean);
  tell("the report's calls", 4, runs, clean, began);
}

}  // namespace
