// Kernel faults kept in their place: the child process that reads part files
// and how it can end, a crash inside a host call's work, and the host's last
// words when a fault or a run-on cannot be handed back. What the reading child
// hands back is body_pack_test's.
#include <gtest/gtest.h>

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRep_Tool.hxx>
#include <Interface_Static.hxx>
#include <STEPCAFControl_Controller.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopoDS_Face.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/support/support.h"
#include "ufhost/api/edge.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/session/session.h"

namespace {

using ufhost::ChildEnd;
using ufhost::Object;

// A null handle dereferenced inside the kernel, as its readers do on a
// damaged file: a real SIGSEGV in the kernel's own code.
double kernel_crash() { return BRep_Tool::Tolerance(TopoDS_Face()); }

[[noreturn]] void run_on() {
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

TEST(Containment, ChildEndsAreToldApart) {
  const std::string big(3 << 20, 'x');  // more than a pipe holds at once
  struct Case {
    const char* name;
    std::function<std::string()> work;
    bool answered;
    std::string answer;
    const char* says;  // describe_child_end(..., "reading it", 0.5)
  };
  const Case cases[] = {
      {"answer", [] { return std::string("bodies"); }, true, "bodies", ""},
      {"empty answer", [] { return std::string(); }, true, "", ""},
      {"answer larger than the pipe", [&big] { return big; }, true, big, ""},
      {"kernel crash", [] { return std::to_string(kernel_crash()); }, false, "",
       "crashed reading it (SIGSEGV, Segmentation fault)"},
      {"run-on", []() -> std::string { run_on(); }, false, "",
       "did not finish reading it within 0.5 s (--kernel-timeout S to wait longer)"},
      {"exit without answer", []() -> std::string { _exit(3); }, false, "",
       "ended reading it with status 3 and no answer"},
      {"exception", []() -> std::string { throw std::runtime_error("no"); }, false, "",
       "ended reading it with status 121 and no answer"},  // the child's own status for it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string answer = "left over";
    const auto start = std::chrono::steady_clock::now();
    const ChildEnd end = ufhost::run_in_child(c.work, 0.5, &answer, c.name);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(end.answered, c.answered);
    EXPECT_EQ(answer, c.answer);
    if (!c.answered) {
      EXPECT_EQ(ufhost::describe_child_end(end, "reading it", 0.5), c.says);
    }
    EXPECT_LT(seconds, 10.0);  // a run-on is killed, not waited for
  }
}

// Started with SIGCHLD ignored, as some parents start their children.
TEST(Containment, TheChildIsWaitedForWhenSigchldIsIgnored) {
  const auto was = signal(SIGCHLD, SIG_IGN);
  std::string answer;
  EXPECT_TRUE(ufhost::run_in_child([] { return std::string("x"); }, 5, &answer, "").answered);
  EXPECT_EQ(signal(SIGCHLD, was), SIG_IGN);
}

TEST(Containment, TimeLimitOptionTakesSecondsOnly) {
  struct Case {
    const char* text;
    bool ok;
    double seconds;
  };
  for (const Case& c : std::vector<Case>{{"60", true, 60}, {"0", true, 0}, {"2.5", true, 2.5},
                                         {"-1", false, 0}, {"x", false, 0}, {"", false, 0},
                                         {"inf", false, 0}, {"5s", false, 0}}) {
    SCOPED_TRACE(c.text);
    double seconds = -7;
    std::string error;
    EXPECT_EQ(ufhost::parse_kernel_time_limit(c.text, &seconds, &error), c.ok);
    if (c.ok) {
      EXPECT_EQ(seconds, c.seconds);
    } else {
      EXPECT_NE(error.find("--kernel-timeout"), std::string::npos);
    }
  }
}

// Reading gets a twelfth of the limit and the limit for every 10 MB: a
// small file seconds, not a minute.
TEST(Containment, ReadingGetsATwelfthOfTheLimitAndTheLimitForEveryTenMegabytes) {
  ufhost::set_kernel_time_limit(60);
  EXPECT_DOUBLE_EQ(ufhost::read_time_limit(0), 5);
  EXPECT_DOUBLE_EQ(ufhost::read_time_limit(165000), 5.99);
  EXPECT_DOUBLE_EQ(ufhost::read_time_limit(10000000), 65);
  ufhost::set_kernel_time_limit(12);
  EXPECT_DOUBLE_EQ(ufhost::read_time_limit(0), 1);
  ufhost::set_kernel_time_limit(0);
  EXPECT_EQ(ufhost::read_time_limit(123456789), 0);
  ufhost::set_kernel_time_limit(ufhost::kDefaultKernelTimeLimit);
}

// STEP in inches comes back in millimetres, under its product's name, as it
// did when the host read files itself.
TEST(Containment, ReadingProcessKeepsUnitsAndNames) {
  const std::string path = testing_support::work_dir("Containment.Inches") + "/inches.step";
  {
    Handle(TDocStd_Document) doc = new TDocStd_Document("BinXCAF");
    const TDF_Label label = XCAFDoc_DocumentTool::ShapeTool(doc->Main())
                                ->AddShape(BRepPrimAPI_MakeBox(25.4, 50.8, 76.2).Shape(), false);
    TDataStd_Name::Set(label, "inch block");
    STEPCAFControl_Controller::Init();
    const std::string unit = Interface_Static::CVal("write.step.unit");
    ASSERT_TRUE(Interface_Static::SetCVal("write.step.unit", "INCH"));
    STEPCAFControl_Writer writer;
    ASSERT_TRUE(writer.Transfer(doc, STEPControl_AsIs));
    ASSERT_EQ(writer.Write(path.c_str()), IFSelect_RetDone);
    Interface_Static::SetCVal("write.step.unit", unit.c_str());
  }
  ASSERT_NE(testing_support::read_file(path).find("INCH"), std::string::npos);
  ufhost::Model model;
  std::string error;
  ASSERT_TRUE(ufhost::load_part(path, model, &error)) << error;
  ASSERT_EQ(model.size(), 1u);
  const Object& body = *model.find(model.tags()[0]);
  EXPECT_EQ(body.name, "inch block");
  double b[6];
  ASSERT_TRUE(ufhost::exact_box(body, b));
  EXPECT_NEAR(b[3] - b[0], 25.4, 1e-6);
  EXPECT_NEAR(b[4] - b[1], 50.8, 1e-6);
  EXPECT_NEAR(b[5] - b[2], 76.2, 1e-6);
}

// The edge every C entry point runs its work in: a crash inside a call that
// is kernel work fails that call, told once per operation, and the host goes
// on; a crash in a named piece of kernel work inside a call that asks the
// front end does the same.
TEST(Containment, KernelCrashInAHostCallFailsThatCall) {
  ufhost::reset_session();
  ufhost::contain_kernel_faults("part.step", 99);
  const auto call = [](const char* operation, ufhost::Marks marks, bool crash) {
    return ufhost::host_call(operation, marks, [marks, crash] {
      if (!crash) return 0;
      if (marks == ufhost::Marks::kWholeCall) return kernel_crash() > 0 ? 1 : 2;
      return ufhost::kernel_work("a piece", [] { return kernel_crash() > 0 ? 1 : 2; });
    });
  };
  for (ufhost::Marks marks : {ufhost::Marks::kWholeCall, ufhost::Marks::kOwnPieces}) {
    const char* operation = marks == ufhost::Marks::kWholeCall ? "UF_CURVE_section_from_planes"
                                                               : "UF_UI_select_by_class";
    SCOPED_TRACE(operation);
    testing::internal::CaptureStderr();
    EXPECT_EQ(call(operation, marks, true), ufhost::kErrGeometry);
    EXPECT_EQ(call(operation, marks, true), ufhost::kErrGeometry);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind(std::string("ufhost: warning: part.step: the geometry kernel crashed in ") +
                             operation + " (SIGSEGV",
                         0),
              0u)
        << said;
    EXPECT_NE(said.find("the call fails with 1005\n"), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;  // the second crash is not told again
    EXPECT_EQ(call(operation, marks, false), 0);            // the host goes on as before
  }
  ufhost::reset_session();
}

// Where no call can fail in its place, the host ends with one line naming
// the part and the operation; faults outside kernel work stay what they
// were before the host's handlers came.
TEST(ContainmentDeathTest, ACrashInKernelWorkEndsTheHostWithOneLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ufhost::contain_kernel_faults("part.step", 99);
        ufhost::KernelWork work("measuring the bodies' boxes");
        std::printf("%g", kernel_crash());
      },
      testing::ExitedWithCode(99),
      "^ufhost: part.step: the geometry kernel crashed \\(SIGSEGV, Segmentation fault\\) in "
      "measuring the bodies' boxes; the run is stopped\n$");
}

TEST(ContainmentDeathTest, KernelWorkThatRunsOnEndsTheHostWithOneLine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ufhost::contain_kernel_faults("part.step", 99);
        ufhost::set_kernel_time_limit(0.3);
        ufhost::note_host_call("UF_FACET_facet_model");
        ufhost::KernelWork work;
        run_on();
      },
      testing::ExitedWithCode(99),
      "^ufhost: part.step: the geometry kernel did not finish UF_FACET_facet_model within 0.3 s; "
      "the run is stopped \\(--kernel-timeout S to wait longer\\)\n$");
}

// Work that ended, by itself or by a crash handed back as the kernel's
// exception, leaves no mark behind: a fault after it is not the kernel's.
TEST(ContainmentDeathTest, AFaultAfterKernelWorkStaysTheCrashItIs) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ufhost::contain_kernel_faults("part.step", 99);
        { ufhost::KernelWork done("finished work"); }
        try {
          ufhost::kernel_work("crashed work", [] { return kernel_crash(); });
        } catch (const Standard_Failure&) {
        }
        std::printf("%g", kernel_crash());
      },
      [](int status) {
        // A sanitizer reports the crash and exits; without one it is the
        // signal, as before.
        return WIFSIGNALED(status) ? WTERMSIG(status) == SIGSEGV : WEXITSTATUS(status) != 99;
      },
      "");
}

}  // namespace
