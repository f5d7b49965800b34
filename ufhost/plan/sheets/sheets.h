#pragma once
// Cutting plans for sheets: how many sheets of which formats to buy and how
// to cut rectangular pieces out of them with staged guillotine cuts.

#include <vector>

#include "ufhost/plan/plan.h"

namespace ufhost::plan {

// Plans the cutting of `pieces` out of `stock` (sheets; offcuts at hand
// first where they help). Cuts are guillotine cuts, each `settings.kerf`
// wide, within `settings.stages` stages (2, 3, or 0 for any number; 3 by
// default): stage 1 cuts across the sheet's length into sections, stage 2
// across each section's width into rows, stage 3 across each row into
// cells; the cut that frees a piece from its waste counts as no stage.
// Inputs:
//   pieces    lengths and widths in micrometres, quantity >= 0; a piece that
//             may not turn keeps its length along the sheet's length
//   stock     sheets: width > 0; the longer side is taken as the length
//             (the grain runs along it); count -1 for as many as wanted
//   settings  kerf and trim >= 0; time_limit in seconds caps the search,
//             which otherwise stops after a fixed amount of work, so that
//             the same input gives the same plan on any machine
// Output: the plan, with a proven lower bound. Pieces no sheet can hold are
// listed in `unplaced`; when every format is limited and runs out, what
// could not be cut is counted in `missing`.
// Throws std::invalid_argument for input that is no cutting problem: sizes
// out of range, a bar among the stock, prices on some bought formats only.
Plan plan_sheets(const std::vector<Piece>& pieces, const std::vector<Stock>& stock,
                 const Settings& settings);

}  // namespace ufhost::plan
