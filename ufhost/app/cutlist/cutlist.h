// `ufhost cutlist`: the blank and the stock to order for every part of an
// assembly. Every solid body of every file is a piece; instances of one
// product, and bodies equal up to placement, are one part, which the plug-in
// measures once, alone, in its own frame, in a run of its own (the batch's
// runner, as `ufhost measure`'s files). Parts whose blanks agree are one row.
//
//   ufhost cutlist [--orientation modelled|turned|best] [--allowance A|L,W,T]
//                  [--group-tolerance T] [--stock default|FILE] [--prefer F]
//                  [--round-up STEP] [--csv FILE] [--json FILE]
//                  [--cutlist-optimizer FILE] [--html FILE] [-j N] ... PART...
#pragma once

#include <string>
#include <vector>

#include "ufhost/base/options.h"

namespace ufhost::app {

// The whole subcommand over its arguments (without "cutlist"); exit statuses
// those of every batch subcommand (batch.h).
int cutlist_main(const std::vector<std::string>& args);

// Its options and exit statuses, for --help and the manual page.
const std::vector<OptionDecl>& cutlist_option_table();
const std::vector<ExitStatusInfo>& cutlist_exit_statuses();
// Its --help.
std::string cutlist_usage();

}  // namespace ufhost::app
