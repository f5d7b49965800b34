// One run of the plug-in in a part: the default command of ufhost.
#pragma once

#include "ufhost/app/cli/cli.h"

namespace ufhost::app {

// Reads the answers, loads the part and the plug-in, hands the session its
// front end, runs ufusr, writes the transcript's summary, --save, --report
// and --view. Checks everything
// that can stop the run before the plug-in starts, and writes no output
// (transcript, system log, saved part, report, page) when it stops there. Messages go to
// standard error as "ufhost: ...". Returns the exit status (cli.h).
int run(const RunOptions& options);

}  // namespace ufhost::app
