// One run of the plug-in in a part: the default command of ufhost, and what
// a batch's forked process calls for each of its files.
#pragma once

#include "ufhost/app/run/run_options.h"

namespace ufhost::app {

// Sets the kernel's time limit and the progress line as the options say,
// reads the answers, opens the part (or takes its bodies), loads the
// plug-in, hands the session its front end, runs ufusr, writes the
// transcript's summary, --save, --report and --view. Checks everything that
// can stop the run before the plug-in starts, and writes no output
// (transcript, system log, saved part, report, page) when it stops there.
// Messages go to standard error as "ufhost: ...". Returns the exit status
// (run_options.h).
int run(const RunOptions& options);

}  // namespace ufhost::app
