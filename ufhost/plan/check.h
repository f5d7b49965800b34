#pragma once
// Checks a plan against its input, independently of how it was found. The
// tests hold every plan to these; they also make a cheap guard in release.

#include <string>
#include <vector>

#include "ufhost/plan/plan.h"

namespace ufhost::plan {

// Returns "" when the plan is valid, else what is wrong, naming the layout
// and piece. Valid means: every piece not listed as unplaced is placed
// exactly its quantity and every unplaced one not at all; no layout uses
// more of its stock than there is; every piece lies inside its stock less
// the trim, and neighbours are kerf apart; `used` and `value` agree with
// the layouts. Sheets also: pieces keep their grain unless they may turn,
// no two overlap, and the layout comes apart by guillotine cuts (each the
// kerf wide, edge to edge of what it cuts) within `settings.stages` stages.
std::string check_bars(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
                       const Settings& settings, const Plan& plan);
std::string check_sheets(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
                         const Settings& settings, const Plan& plan);

}  // namespace ufhost::plan
