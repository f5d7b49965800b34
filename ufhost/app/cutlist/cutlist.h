// `ufhost cutlist`: the blank and the stock to order for every part of an
// assembly. Every solid body of every file is a piece; instances of one
// product, and bodies equal up to placement, are one part, which the plug-in
// measures once, alone, in its own frame, in a ufhost process of its own
// (the runner of `ufhost measure`). Parts whose blanks agree are one row.
//
//   ufhost cutlist [--orientation modelled|turned|best] [--allowance A|L,W,T]
//                  [--group-tolerance T] [--stock default|FILE] [--prefer F]
//                  [--round-up STEP] [--csv FILE] [--json FILE]
//                  [--cutlist-optimizer FILE] [--html FILE] [-j N] ... PART...
#pragma once

#include <string>
#include <vector>

#include "ufhost/app/cli/cli.h"
#include "ufhost/base/options.h"

namespace ufhost::app {

// The whole subcommand over its arguments (without "cutlist"); exit statuses
// as `ufhost measure`'s.
int cutlist_main(const std::vector<std::string>& args);

// Its options and exit statuses, for --help and the manual page.
const std::vector<OptionDecl>& cutlist_option_table();
const std::vector<ExitStatusInfo>& cutlist_exit_statuses();

}  // namespace ufhost::app
