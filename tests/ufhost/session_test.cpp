// The session's life: what it holds is given back when the process ends.
#include <BRepBuilderAPI_NurbsConvert.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "ufhost/model/object_geometry.h"
#include "ufhost/session/session.h"

namespace {

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
TEST(Session, IsGivenBackWithItsPartAndBoxesWhenTheProcessExits) {
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
