#include "ufhost/app/plan/plan_command.h"

#include <algorithm>
#include <iostream>

#include "ufhost/app/batch/batch.h"
#include "ufhost/app/plan/plan_input.h"
#include "ufhost/app/plan/plan_report.h"
#include "ufhost/app/stock/stock.h"
#include "ufhost/base/files.h"
#include "ufhost/base/text.h"
#include "ufhost/plan/units.h"

// Sections:
//   [SECTION] Settings that --plan shares
//   [SECTION] Options
//   [SECTION] The subcommand

namespace ufhost::app {

// [SECTION] Settings that --plan shares

std::vector<OptionDecl> plan_setting_decls() {
  return {
      {"--kerf", "", "K", "the saw takes K mm at every cut (default 3)"},
      {"--trim", "", "T", "cut T mm off each end of a bar and each edge of a sheet\n(default 0)"},
      {"--turn", "", "yes|no", "whether sheet pieces may turn by 90° (default yes; no: the\ngrain runs along each piece's length)"},
      {"--stages", "", "N", "guillotine stages of a sheet's cuts: 2, 3 or any (default\n3; the first cuts across the sheet's length)"},
      {"--time-limit", "", "S", "plan for at most S seconds each (default 5); the best plan\nfound by then comes with its bound"},
  };
}

bool take_plan_setting(const ParsedOption& option, PlanSettings* s, std::string* error) {
  const std::string& name = option.decl->name;
  const std::string& value = option.value;
  if (name == "--kerf" || name == "--trim") {
    const auto length = plan::parse_millimetres(value);
    if (!length) *error = name + " " + value + ": give millimetres, 0 or more, at most three decimals";
    else (name == "--kerf" ? s->settings.kerf : s->settings.trim) = *length;
  } else if (name == "--turn") {
    if (value != "yes" && value != "no") *error = "--turn " + value + ": give yes or no";
    s->may_turn = value == "yes";
  } else if (name == "--stages") {
    if (value == "2" || value == "3") s->settings.stages = value[0] - '0';
    else if (value == "any") s->settings.stages = 0;
    else *error = "--stages " + value + ": give 2, 3 or any";
  } else if (name == "--time-limit") {
    double seconds = 0;
    if (!parse_number(value, &seconds) || seconds <= 0 || seconds > 86400)
      *error = "--time-limit " + value + ": give seconds, more than 0";
    else s->settings.time_limit = seconds;
  } else {
    return false;
  }
  return true;
}

std::string plan_settings_text(const PlanSettings& s) {
  return "kerf " + plan::format_millimetres(s.settings.kerf) + " mm, trim " +
         plan::format_millimetres(s.settings.trim) + " mm, sheets in " +
         (s.settings.stages == 0 ? std::string("any number of") : std::to_string(s.settings.stages)) +
         " stages, pieces " + (s.may_turn ? "may turn" : "keep their grain");
}

// [SECTION] Options

namespace {

struct PlanOptions {
  PlanSettings plan;
  bool all_bars = false;
  std::vector<plan::Stock> bars, sheets;
  std::string catalogue = "default", item, offcuts, json, html, pieces;
};

}  // namespace

const std::vector<OptionDecl>& plan_option_table() {
  static const std::vector<OptionDecl> table = [] {
    std::vector<OptionDecl> t = {
        {"--bar", "", "L[:N][@P]", "bars L mm long, N at hand (default: as many as wanted),\nP each; repeatable"},
        {"--sheet", "", "LxW[:N][@P]", "sheets L x W mm, N at hand, P each; repeatable"},
        {"--stock", "", "CAT", "the catalogue --item is taken from: default or a file"},
        {"--item", "", "NAME", "the standard lengths or formats of a catalogue item, with\nits prices (\"round 40\", \"plate 10\")"},
        {"--offcuts", "", "FILE", "remnants at hand, Length,Width,Qty[,Label] (no width: a\nbar); used first where they save"},
        {"--bars", "", "", "every piece is a piece of bar, whatever its width"},
    };
    for (OptionDecl& decl : plan_setting_decls()) t.push_back(std::move(decl));
    t.insert(t.end(), {
        {"--json", "", "FILE", "write the plans as JSON"},
        {"--html", "", "FILE", "write a printable page with every layout drawn"},
        {"--help", "-h", "", "show this text", false, true},
    });
    return t;
  }();
  return table;
}

const std::vector<ExitStatusInfo>& plan_exit_statuses() {
  static const std::vector<ExitStatusInfo> table = {
      {kBatchOk, "every piece planned"},
      {kBatchUsage, "bad options, or a pieces or offcuts file that cannot be read"},
      {kBatchFailed, "some piece fits no stock, or the stock at hand ran out"},
      {kBatchOutput, "--json or --html could not be written"},
  };
  return table;
}

std::string plan_usage() {
  return "Usage: ufhost plan [options] PIECES.csv\n"
         "Plans how many bars and sheets to buy for the pieces of PIECES.csv (the\n"
         "Length,Width,Qty,Label,Enabled lines that ufhost cutlist --cutlist-optimizer\n"
         "writes; a piece with no width is a piece of bar) and how to cut each, with a\n"
         "proven lower bound: optimal when the plan meets it, else the gap.\n"
         "Sizes in millimetres.\n"
         "\n"
         "Options:\n" +
         options_help(plan_option_table()) + "\nExit status:\n" + exit_status_help(plan_exit_statuses());
}

namespace {

int usage_error(const std::string& message) {
  std::cerr << "ufhost plan: " << message << std::endl;
  return kBatchUsage;
}

bool parse_plan_options(const std::vector<std::string>& args, PlanOptions* o, bool* help, std::string* error) {
  ParsedArgs parsed;
  if (!parse_args(plan_option_table(), args, "ufhost plan --help", &parsed, error)) return false;
  *help = parsed.stop != nullptr;
  if (*help) return true;
  for (const ParsedOption& option : parsed.options) {
    const std::string& name = option.decl->name;
    const std::string& value = option.value;
    error->clear();
    if (take_plan_setting(option, &o->plan, error)) {
      if (!error->empty()) return false;
    } else if (name == "--bar" || name == "--sheet") {
      plan::Stock stock;
      if (!(name == "--bar" ? parse_bar_stock(value, &stock, error) : parse_sheet_stock(value, &stock, error)))
        return false;
      (name == "--bar" ? o->bars : o->sheets).push_back(stock);
    } else if (name == "--stock") {
      o->catalogue = value;
    } else if (name == "--item") {
      o->item = value;
    } else if (name == "--offcuts") {
      o->offcuts = value;
    } else if (name == "--bars") {
      o->all_bars = true;
    } else if (name == "--json") {
      o->json = value;
    } else if (name == "--html") {
      o->html = value;
    }
  }
  if (parsed.operands.size() != 1) {
    *error = parsed.operands.empty() ? "give the pieces' CSV file (see ufhost plan --help)"
                                     : "one pieces file at a time, not " + std::to_string(parsed.operands.size());
    return false;
  }
  o->pieces = parsed.operands[0];
  return true;
}

// The catalogue item's standard sizes, added to the bars or sheets.
bool add_item_stock(PlanOptions* o, std::string* error) {
  if (o->item.empty()) return true;
  std::vector<StockItem> catalogue;
  if (!load_catalogue(o->catalogue, &catalogue, error)) {
    *error = "--stock " + *error;
    return false;
  }
  for (const StockItem& item : catalogue) {
    if (lower(item.designation) != lower(o->item)) continue;
    if (item.standard.empty()) {
      *error = "--item " + o->item + ": the catalogue gives it cut to size only, in no standard size";
      return false;
    }
    for (const plan::Stock& s : standard_stock(item)) (is_bar(item.family) ? o->bars : o->sheets).push_back(s);
    return true;
  }
  *error = "--item " + o->item + ": no such item in " + o->catalogue;
  return false;
}

// The bars' and the sheets' plans, each for the pieces there are.
bool make_jobs(const PlanOptions& o, const PlanPieces& pieces, std::vector<PlanJob>* jobs, std::string* error) {
  const std::pair<bool, const std::vector<plan::Piece>*> kinds[] = {{true, &pieces.bars}, {false, &pieces.sheets}};
  for (const auto& [bars, list] : kinds) {
    if (list->empty()) continue;
    PlanJob job;
    job.designation = bars ? "bars" : "sheets";
    job.bars = bars;
    job.pieces = *list;
    job.stock = bars ? o.bars : o.sheets;
    job.settings = o.plan.settings;
    if (job.stock.empty()) {
      *error = bars ? "the pieces include pieces of bar (no width): give --bar LENGTH, or --item of bar stock"
                    : "the pieces include pieces of sheet: give --sheet LxW, or --item of sheet or plate stock";
      return false;
    }
    jobs->push_back(std::move(job));
  }
  if (jobs->empty()) *error = o.pieces + ": no piece to plan (every line disabled, or none)";
  return !jobs->empty();
}

}  // namespace

// [SECTION] The subcommand

int plan_main(const std::vector<std::string>& args) {
  PlanOptions o;
  bool help = false;
  std::string error;
  if (!parse_plan_options(args, &o, &help, &error)) return usage_error(error);
  if (help) {
    std::cout << plan_usage();
    return kBatchOk;
  }
  PlanPieces pieces;
  if (!read_pieces(o.pieces, o.all_bars, o.plan.may_turn, &pieces, &error)) return usage_error(error);
  if (!add_item_stock(&o, &error)) return usage_error(error);
  if (!o.offcuts.empty() && !read_offcuts(o.offcuts, &o.bars, &o.sheets, &error)) return usage_error("--offcuts " + error);
  std::vector<PlanJob> jobs;
  if (!make_jobs(o, pieces, &jobs, &error)) return usage_error(error);

  std::vector<std::string> errors;
  for (PlanJob& job : jobs) {
    run_plan(&job);
    for (const std::string& e : plan_errors(job)) errors.push_back(e);
  }
  const std::string about = o.pieces + ": " + plan_settings_text(o.plan) + ". Sizes in millimetres.";
  std::cout << "ufhost plan: " << about << "\n" << plans_table(jobs);
  for (const std::string& e : errors) std::cerr << "ufhost plan: " << e << "\n";
  std::cout.flush();
  int status = errors.empty() ? kBatchOk : kBatchFailed;
  if (!o.json.empty()) {
    const nlohmann::json out = {{"pieces", o.pieces}, {"plans", plans_json(jobs)}, {"errors", errors}};
    if (!write_atomically(o.json, out.dump(2) + "\n", &error)) {
      std::cerr << "ufhost plan: --json " << error << std::endl;
      status = kBatchOutput;
    }
  }
  if (!o.html.empty() && !write_atomically(o.html, plans_page(jobs, "Cutting plans", about), &error)) {
    std::cerr << "ufhost plan: --html " << error << std::endl;
    status = kBatchOutput;
  }
  return status;
}

}  // namespace ufhost::app
