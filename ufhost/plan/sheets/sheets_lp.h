#pragma once
// Lower bounds on the number of sheets for staged guillotine cutting, from
// the linear relaxation over sheet patterns (Gilmore and Gomory's model,
// solved by column generation). Unlike the dual feasible functions, this
// bound knows the stage limit: pieces that fit a sheet only by a cutting of
// more stages do not fit a pattern here.
//
// Exactness: the LP solver works in floating point, but no bound is taken
// from it. Each dual vector it gives is rounded down to whole values v_i,
// the best pattern V = max sum(a_i v_i) over every staged pattern is found
// exactly by dynamic programming in integers, and v / V is then a feasible
// dual of the relaxation, so ceil(sum(d_i v_i) / V) bounds the sheets of any
// staged plan, whatever the solver's rounding did.

#include <cstdint>
#include <vector>

#include "ufhost/plan/plan.h"
#include "ufhost/plan/sheets/sheets_dff.h"

namespace ufhost::plan {

// The pattern bound for cutting `pieces` (sizes with the kerf added, as for
// sheet_count_bound) out of sheets `length` x `width` within `stages`
// stages, 2 or 3, where the cut that frees a piece from its waste counts as
// no stage: stage 1 cuts at x = const into sections, stage 2 cuts sections
// at y = const, stage 3 cuts rows at x = const into single pieces. Patterns
// may hold more of a piece than wanted and repeat rows and sections freely,
// which only weakens the bound.
// `work` caps the steps of the dynamic programmes over all rounds, so that
// the result does not depend on the machine; whatever round it stops at,
// the bound is valid. `enough`: stop once the bound reaches it (0: never).
// `seconds` is only a guard for inputs of thousands of kinds, where the LP
// itself grows slow; past it the rounds stop like past the work.
// Returns 0 when it has nothing to say (other stage counts, no pieces).
std::int64_t staged_sheet_bound(const std::vector<BoundPiece>& pieces, Length length, Length width,
                                int stages, std::int64_t work, std::int64_t enough = 0,
                                double seconds = 60);

}  // namespace ufhost::plan
