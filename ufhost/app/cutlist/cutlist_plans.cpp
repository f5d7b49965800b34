// The cut list's stock bought in whole bars and sheets: the rows' cuts of
// each stock item planned in its standard lengths or formats.
#include <cmath>

#include "ufhost/app/cutlist/cutlist_internal.h"
#include "ufhost/base/text.h"
#include "ufhost/plan/units.h"

namespace ufhost::app {

namespace {

// A cut's size in micrometres, up: a piece must fit where it is planned.
plan::Length um(double mm) { return static_cast<plan::Length>(std::ceil(mm * plan::kPerMillimetre - 1e-6)); }

// The cost of the line's pieces cut to size, where the catalogue prices it.
void price_cut_to_size(const std::vector<CutRow>& rows, ShoppingLine* line) {
  plan::Money cost = 0;
  for (const CutRow& r : rows) {
    if (!r.has_stock || r.stock.item != line->item || lower(r.material) != lower(line->material)) continue;
    plan::Money one = 0;
    if (!price_of(*line->item, r.stock.cut[0], is_bar(line->item->family) ? 0 : r.stock.cut[1], &one)) return;
    cost += one * r.quantity;
  }
  line->priced = true;
  line->cost = cost;
}

PlanJob job_of(const std::vector<CutRow>& rows, const ShoppingLine& line, const CutlistOptions& options) {
  PlanJob job;
  job.designation = line.item->designation + (line.material.empty() ? "" : " (" + line.material + ")");
  job.bars = is_bar(line.item->family);
  job.stock = standard_stock(*line.item);
  job.settings = options.plan_settings.settings;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const CutRow& r = rows[i];
    if (!r.has_stock || r.stock.item != line.item || lower(r.material) != lower(line.material)) continue;
    plan::Piece piece;
    piece.label = std::to_string(i + 1);  // the row's number in the table
    piece.length = um(r.stock.cut[0]);
    piece.width = job.bars ? 0 : um(r.stock.cut[1]);
    piece.quantity = r.quantity;
    piece.may_turn = options.plan_settings.may_turn;
    job.pieces.push_back(piece);
  }
  return job;
}

// "2 × 6000", "1 × 1500 × 3000, 1 × 2000 × 4000": what the plan buys.
std::string bought_text(const PlanJob& job) {
  std::vector<std::string> items;
  for (std::size_t s = 0; job.planned && s < job.stock.size(); ++s)
    if (!job.stock[s].offcut && job.plan.used[s] > 0)
      items.push_back(std::to_string(job.plan.used[s]) + " × " + job.stock[s].name);
  return items.empty() ? "-" : joined(items, ", ");
}

}  // namespace

std::vector<PlanJob> plan_shopping(const std::vector<CutRow>& rows, std::vector<ShoppingLine>* shopping,
                                   const CutlistOptions& options) {
  std::vector<PlanJob> jobs;
  for (ShoppingLine& line : *shopping) {
    price_cut_to_size(rows, &line);
    if (!options.plan || line.item->standard.empty()) continue;
    PlanJob job = job_of(rows, line, options);
    run_plan(&job);
    line.plan = static_cast<int>(jobs.size());
    line.buy = bought_text(job);
    const PlanTotals totals = plan_totals(job);
    line.priced = totals.priced;
    line.cost = totals.cost;
    jobs.push_back(std::move(job));
  }
  return jobs;
}

}  // namespace ufhost::app
