// `ufhost plan`: how many bars and sheets to buy for a list of pieces and
// how to cut them, with a proven bound on how good the plan is.
//
//   ufhost plan [--bar LENGTH[:COUNT][@PRICE]]... [--sheet LxW[:COUNT][@PRICE]]...
//               [--stock CAT --item DESIGNATION] [--offcuts FILE] [--bars]
//               [--kerf K] [--trim T] [--turn yes|no] [--stages N]
//               [--time-limit S] [--json FILE] [--html FILE] PIECES.csv
#pragma once

#include <string>
#include <vector>

#include "ufhost/base/options.h"
#include "ufhost/plan/plan.h"

namespace ufhost::app {

// How plans are cut, as `ufhost plan` and `ufhost cutlist --plan` both take
// it: --kerf, --trim, --turn, --stages, --time-limit.
struct PlanSettings {
  plan::Settings settings;
  bool may_turn = true;  // sheet pieces may turn (no grain)
  PlanSettings() {
    settings.kerf = 3 * plan::kPerMillimetre;  // a saw's, unless told
  }
};
std::vector<OptionDecl> plan_setting_decls();
// Takes one parsed option if it is one of plan_setting_decls(): true when it
// was (*error set when its value is bad), false when it is another option.
bool take_plan_setting(const ParsedOption& option, PlanSettings* settings, std::string* error);
// "kerf 3 mm, trim 0 mm, sheets in 3 stages, pieces may turn".
std::string plan_settings_text(const PlanSettings& settings);

// The whole subcommand over its arguments (without "plan"); returns the
// exit status.
int plan_main(const std::vector<std::string>& args);

// Its options, exit statuses and --help, for the command line's table.
const std::vector<OptionDecl>& plan_option_table();
const std::vector<ExitStatusInfo>& plan_exit_statuses();
std::string plan_usage();

}  // namespace ufhost::app
