// ufhost: the stand-in host. Everything is in ufhost/app.
#include "ufhost/app/cli.h"
#include "ufhost/app/tools.h"

int main(int argc, char** argv) {
  // measure, --list, --view, --report and --progress are handled around the run.
  ufhost::app::ToolOptions tools;
  if (const int status = ufhost::app::take_tool_options(&argc, argv, &tools); status >= 0) return status;
  return ufhost::app::finish_tools(tools, argc, argv, ufhost::app::main(argc, argv));
}
