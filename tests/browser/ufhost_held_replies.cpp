// ufhost whose browser server holds back its reply to each of the page's
// answers until the page sends the next one (TestControl::
// hold_answer_replies), so that the page meets every request while an
// earlier reply is still on its way. Built with the tests for the page's
// tests alone, and never installed: the ufhost people run never holds a
// reply back.
#include "ufhost/app/cli/cli.h"
#include "ufhost/session/test_control.h"

int main(int argc, char** argv) {
  ufhost::test_control().hold_answer_replies = true;
  return ufhost::app::main(argc, argv);
}
