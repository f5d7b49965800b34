// The kernel crashing inside each named piece of kernel work outside the
// host calls' own: every crash has the outcome the documentation gives it,
// and the run that met it goes on.
#include <gtest/gtest.h>

#include <BRepPrimAPI_MakeBox.hxx>

#include <filesystem>

#include "host/uf.h"
#include "tests/support/support.h"
#include "ufhost/app/run/list.h"
#include "ufhost/app/run/view.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/session/session.h"
#include "ufhost/ui/browser.h"
#include "ufhost/ui/ui.h"

namespace {

using ufhost::session;
using ufhost::test_control;

class KernelFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    ufhost::reset_session();
    ufhost::contain_kernel_faults("block.step", 99);
    ufhost::Object body;
    body.kind = ufhost::Kind::SolidBody;
    body.name = "block";
    body.shape = BRepPrimAPI_MakeBox(30, 20, 10).Shape();
    session().model.add(body);
    session().ui = ufhost::make_scripted_ui({"select all"});
  }
  void TearDown() override { ufhost::reset_session(); }

  // Runs `what` with the kernel crashing in the piece of work `where`;
  // returns what standard error got.
  template <class What>
  static std::string crashing_in(const char* where, What what) {
    test_control().crash_in = where;
    testing::internal::CaptureStderr();
    what();
    return testing::internal::GetCapturedStderr();
  }
};

// The selection's sizes: the call fails with 1005, nothing is chosen and
// nothing was asked of the person; the next selection goes on.
TEST_F(KernelFaults, ACrashSizingTheOfferFailsTheSelectionOnly) {
  int response = 0, count = -1;
  tag_t* objects = reinterpret_cast<tag_t*>(&count);
  UF_UI_mask_t mask = {UF_solid_body_type, -1, 0};
  UF_UI_selection_options_t options = {1, &mask, UF_UI_SEL_SCOPE_WORK_PART, 0, 0};
  std::string said = crashing_in("sizing the offered objects", [&] {
    EXPECT_EQ(UF_UI_select_by_class(nullptr, &options, &response, &count, &objects),
              ufhost::kErrGeometry);
  });
  EXPECT_EQ(response, UF_UI_CANCEL);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(objects, nullptr);
  EXPECT_EQ(said.rfind("ufhost: warning: block.step: the geometry kernel crashed in "
                       "UF_UI_select_by_class (SIGSEGV",
                       0),
            0u)
      << said;
  test_control().crash_in.clear();
  EXPECT_EQ(UF_UI_select_by_class(nullptr, &options, &response, &count, &objects), 0);
  EXPECT_EQ(count, 1);  // the answer was kept for the selection that could be offered
}

// The page of --view: not written, and the message says why.
TEST_F(KernelFaults, ACrashTessellatingWritesNoView) {
  const std::string dir = testing_support::work_dir("KernelFaults.View");
  const std::string page = dir + "/view.html";
  std::string error;
  crashing_in("tessellating a body", [&] {
    EXPECT_FALSE(ufhost::app::write_view(session().model, page, {}, &error));
  });
  EXPECT_EQ(error.rfind("--view: the geometry kernel crashed tessellating a body (SIGSEGV", 0), 0u)
      << error;
  EXPECT_FALSE(std::filesystem::exists(page));
}

// The run's report: not written either.
TEST_F(KernelFaults, ACrashMeasuringTheBoxesWritesNoReport) {
  const std::string dir = testing_support::work_dir("KernelFaults.Report");
  std::string error;
  const std::string report = dir + "/report.json";
  crashing_in("measuring the bodies' boxes", [&] {
    EXPECT_FALSE(ufhost::app::write_run_report(session().model, "block.step", report, &error));
  });
  EXPECT_EQ(error.rfind("--report: the geometry kernel crashed measuring the bodies' boxes", 0), 0u)
      << error;
  EXPECT_FALSE(std::filesystem::exists(report));
}

// The live page: the body is left out of the picture, the page is served.
TEST_F(KernelFaults, ACrashTessellatingLeavesTheBodyOutOfTheLivePage) {
  std::string error;
  const std::string said = crashing_in("tessellating a body", [&] {
    ufhost::BrowserSettings settings;
    settings.page = "<html></html>";
    std::unique_ptr<ufhost::BrowserUi> ui =
        ufhost::BrowserUi::start(session().model, settings, &error);
    ASSERT_NE(ui, nullptr) << error;
    EXPECT_EQ(ui->address().rfind("http://127.0.0.1:", 0), 0u);
    ui->finish("");
  });
  EXPECT_EQ(said.rfind("ufhost: warning: the page leaves out block: the geometry kernel crashed "
                       "tessellating it (SIGSEGV",
                       0),
            0u)
      << said;
}

}  // namespace
