// One run of the host: the failures a command line injects, the calls it
// counts, failures told once per operation, the system log, and what it
// holds given back when the process ends.
#include "ufhost/session/session.h"

#include <BRepBuilderAPI_NurbsConvert.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "tests/support/support.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/model/object_geometry.h"

namespace {

using ufhost::FailRule;
using ufhost::session;

class Session : public ::testing::Test {
 protected:
  void SetUp() override { ufhost::reset_session(); }
  void TearDown() override { ufhost::reset_session(); }
};

// What standard error got from `tell`.
template <class Tell>
std::string told(Tell tell) {
  testing::internal::CaptureStderr();
  tell();
  return testing::internal::GetCapturedStderr();
}

TEST(FailRules, OperationCodeAndCallNumber) {
  struct Case {
    const char* text;
    const char* operation;
    int code;
    int nth;
  };
  const Case cases[] = {
      {"UF_initialize", "UF_initialize", ufhost::kErrRefused, 0},
      {"uc1603=9", "uc1603", 9, 0},
      {"uc1603@3", "uc1603", ufhost::kErrRefused, 3},
      {"uc1603=-7@2", "uc1603", -7, 2},
      {"uc1603=2147483647", "uc1603", 2147483647, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    FailRule rule;
    std::string error;
    ASSERT_TRUE(ufhost::parse_fail_rule(c.text, &rule, &error)) << error;
    EXPECT_EQ(c.operation, rule.operation);
    EXPECT_EQ(c.code, rule.code);
    EXPECT_EQ(c.nth, rule.nth);
  }
}

TEST(FailRules, BadSyntaxIsRefusedAndLeavesTheRuleAlone) {
  for (const char* text : {"", "=5", "@2", "=5@2", "uc1603=", "uc1603=0", "uc1603=x", "uc1603=5x",
                           "uc1603=99999999999", "uc1603@", "uc1603@0", "uc1603@-1", "uc1603@x",
                           "uc1603@3=5", "uc1603@1@2"}) {
    SCOPED_TRACE(text);
    FailRule rule;
    rule.operation = "kept";
    std::string error;
    EXPECT_FALSE(ufhost::parse_fail_rule(text, &rule, &error));
    EXPECT_EQ("kept", rule.operation);
    EXPECT_EQ(0u, error.find(std::string("--fail ") + text)) << error;
  }
}

TEST_F(Session, CallsAreCountedAndTheNthFails) {
  session().fail_rules = {{"UF_CURVE_create_point", 4711, 2}, {"UF_OBJ_delete_object", 9, 0},
                          {"UF_OBJ_delete_object", 8, 0}};
  std::vector<int> codes;
  for (int i = 0; i < 3; ++i) codes.push_back(session().fail_point("UF_CURVE_create_point"));
  for (int i = 0; i < 2; ++i) codes.push_back(session().fail_point("UF_OBJ_delete_object"));
  codes.push_back(session().fail_point("UF_initialize"));
  EXPECT_EQ((std::vector<int>{0, 4711, 0, 9, 9, 0}), codes) << "the first rule that matches";
  EXPECT_EQ(3, session().calls.at("UF_CURVE_create_point")) << "failed calls count too";
  EXPECT_EQ(2, session().calls.at("UF_OBJ_delete_object"));
  EXPECT_EQ(1, session().calls.at("UF_initialize"));
}

TEST_F(Session, EveryCodeOfTheHostHasItsText) {
  for (int code : {ufhost::kErrBadTag, ufhost::kErrBadArgument, ufhost::kErrWrongType,
                   ufhost::kErrGeometry, ufhost::kErrNoUndoMark, ufhost::kErrListingWindow,
                   ufhost::kErrInternal, ufhost::kErrRefused}) {
    ASSERT_NE(nullptr, ufhost::failure_text(code)) << code;
    EXPECT_NE('\0', ufhost::failure_text(code)[0]);
  }
  EXPECT_EQ(nullptr, ufhost::failure_text(0));
  EXPECT_EQ(nullptr, ufhost::failure_text(1001));
}

TEST_F(Session, ACaughtFailureIsToldOncePerOperation) {
  int code = 0;
  const std::string first = told([&] { code = ufhost::caught_failure("UF_FACET_facet_solid", 1005, "no mesh", false); });
  EXPECT_EQ(1005, code);
  EXPECT_NE(std::string::npos, first.find("the geometry kernel failed in UF_FACET_facet_solid (no mesh)"))
      << first;
  EXPECT_NE(std::string::npos, first.find("the call fails with 1005\n")) << first;
  EXPECT_EQ("", told([&] { code = ufhost::caught_failure("UF_FACET_facet_solid", 1008, "other", true); }));
  EXPECT_EQ(1008, code) << "still the code the call fails with";
  EXPECT_NE("", told([] { ufhost::caught_failure("UF_MODL_ask_bounding_box", 1005, "x", false); }))
      << "another operation is told";
  ufhost::reset_session();
  EXPECT_NE("", told([] { ufhost::caught_failure("UF_FACET_facet_solid", 1005, "x", false); }))
      << "a new session tells again";
}

TEST_F(Session, ACaughtFailureSaysWhoseItWas) {
  ufhost::contain_kernel_faults("part.step", 99);
  struct Case {
    const char* operation;
    int code;
    const char* what;
    bool fault;
    const char* says;
  };
  const Case cases[] = {
      {"a", 1005, "SIGSEGV", true, "ufhost: warning: part.step: the geometry kernel crashed in a (SIGSEGV); "},
      {"b", 1005, "", false, "ufhost: warning: part.step: the geometry kernel failed in b (no reason given); "},
      {"c", 1008, nullptr, false, "ufhost: warning: part.step: the host failed in c (no reason given); "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operation);
    const std::string said = told([&] { ufhost::caught_failure(c.operation, c.code, c.what, c.fault); });
    EXPECT_EQ(0u, said.find(c.says)) << said;
    EXPECT_EQ(said.size() - 1, said.find('\n')) << "one line";
  }
}

TEST_F(Session, TheSystemLogIsAppendedInUtf8AndToldAsGiven) {
  const std::string path = testing_support::work_dir("Session.Syslog") + "/syslog.txt";
  std::ofstream(path) << "before\n";
  session().syslog_path = path;
  std::vector<std::string> hooked;
  session().syslog_hook = [&](const std::string& text) { hooked.push_back(text); };
  session().write_syslog("\xC3\xE0\xE1\n");  // "Габ" in code page 1251
  session().write_syslog("end\n");
  EXPECT_EQ("before\nГаб\nend\n", testing_support::read_file(path));
  EXPECT_EQ((std::vector<std::string>{"\xC3\xE0\xE1\n", "end\n"}), hooked);
}

TEST_F(Session, ANewSessionKeepsNothingOfTheLast) {
  session().fail_rules.push_back({"x", 1, 0});
  session().fail_point("x");
  session().selection = {1, 2};
  session().failed_menus = 3;
  ufhost::test_control().crash_in = "tessellating a body";
  ufhost::test_control().swap_box_corners = true;
  session().model.add(ufhost::Object());
  ufhost::reset_session();
  EXPECT_TRUE(session().fail_rules.empty());
  EXPECT_TRUE(session().calls.empty());
  EXPECT_TRUE(session().selection.empty());
  EXPECT_EQ(0, session().failed_menus);
  EXPECT_EQ(0u, session().model.size());
  EXPECT_TRUE(ufhost::test_control().crash_in.empty());
  EXPECT_FALSE(ufhost::test_control().swap_box_corners);
  EXPECT_FALSE(ufhost::test_control().section_oracle);
}

// Gives the session a body of spline faces and has its box worked out,
// which the session keeps; nothing of it is left on the caller's stack.
bool keep_a_spline_body(ufhost::Session& s) {
  ufhost::Object body;
  body.kind = ufhost::Kind::SolidBody;
  body.shape = BRepBuilderAPI_NurbsConvert(BRepPrimAPI_MakeBox(10, 20, 30).Shape()).Shape();
  double box[6];
  if (!ufhost::exact_box(body, box)) return false;
  s.model.add(std::move(body));
  return true;
}

// The session ends with the process that exits: its part and the boxes it
// keeps of recent shapes go with it, so that a leak checker at exit sees
// only what really leaked. Spline faces keep their poles and knots in the
// kernel's arrays numbered from 1, which a leak checker takes for lost
// while any shape still holds them. In a build with the leak checker the
// child's exit status says it found nothing; in any build the child says
// when its session's hook was destroyed.
TEST_F(Session, IsGivenBackWithItsPartAndBoxesWhenTheProcessExits) {
  int told[2];
  ASSERT_EQ(0, ::pipe(told));
  const pid_t child = ::fork();
  ASSERT_NE(-1, child);
  if (child == 0) {
    ::close(told[0]);
    struct SaysWhenGone {
      int fd = -1;
      ~SaysWhenGone() {
        const char gone = 'g';
        if (::write(fd, &gone, 1) != 1) std::_Exit(3);
      }
    };
    auto says = std::make_shared<SaysWhenGone>();
    says->fd = told[1];
    ufhost::Session& s = ufhost::session();
    s.syslog_hook = [says](const std::string&) {};
    says.reset();
    if (!keep_a_spline_body(s)) std::_Exit(4);
    std::exit(0);
  }
  ::close(told[1]);
  char said = 0;
  const ssize_t n = ::read(told[0], &said, 1);
  ::close(told[0]);
  int status = -1;
  ASSERT_EQ(child, ::waitpid(child, &status, 0));
  EXPECT_EQ(1, n) << "the session was not destroyed when the process exited";
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(0, WEXITSTATUS(status)) << "23: the leak checker found memory the session held";
}

}  // namespace
