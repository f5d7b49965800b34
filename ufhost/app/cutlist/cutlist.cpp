// [SECTION] Options
// [SECTION] The subcommand
#include "ufhost/app/cutlist/cutlist.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>

#include "ufhost/app/batch/batch.h"
#include "ufhost/app/cutlist/cutlist_internal.h"
#include "ufhost/app/run/list.h"
#include "ufhost/base/options.h"
#include "ufhost/base/files.h"
#include "ufhost/base/numbers.h"
#include "ufhost/base/progress.h"

namespace fs = std::filesystem;

namespace ufhost::app {

// [SECTION] Options

const char* orientation_name(Orientation orientation) {
  switch (orientation) {
    case Orientation::Modelled: return "modelled";
    case Orientation::Turned: return "turned";
    case Orientation::Best: return "best";
  }
  return "?";
}

const std::vector<OptionDecl>& cutlist_option_table() {
  static const std::vector<OptionDecl> table = [] {
    std::vector<OptionDecl> t = {
        {"--orientation", "", "O",
         "modelled (the extents as the part is modelled), turned\n(the minimum-dimension search, "
         "precision 1e-6) or best\n(default: the smaller blank by volume)"},
        {"--group-tolerance", "", "T",
         "parts whose blanks agree within T are one row (default:\ntwice the larger of their "
         "exactnesses)"},
        {"--allowance", "", "A",
         "add A on every side (2A to each size), or L,W,T for each\nsorted size"},
        {"--stock", "", "CAT", "fit standard stock: default (the shipped catalogue) or a\ncatalogue file"},
        {"--prefer", "", "F", "only stock of this kind: round, hex or rect (flat,\nsquare, plate, sheet)"},
        {"--round-up", "", "STEP",
         "round the blanks with allowance up to a multiple of STEP;\nwith --stock, also the cuts "
         "(default 1)"},
        {"--csv", "", "FILE", "write the rows as CSV, every digit"},
        {"--json", "", "FILE", "write rows, shopping list and errors as JSON"},
        {"--cutlist-optimizer", "", "FILE",
         "write Length,Width,Qty,Label,Enabled as cut optimisers\nimport it"},
        {"--html", "", "FILE", "write a printable page with a picture of each row"},
        {"--plan", "", "",
         "plan stock that comes in standard lengths and formats: how\nmany to buy and how to cut "
         "them, with a proven bound"},
    };
    for (OptionDecl& decl : plan_setting_decls()) t.push_back(std::move(decl));
    t.push_back({"--order", "", "FILE",
                 "build the files of FILE's lines, file,quantity (paths\nfrom FILE's folder), as many "
                 "times as they say;\nwith FILE:N operands, both add up"});
    t.push_back({"--merge", "", "",
                 "the operands are --jsonl files of runs on other machines:\none cut list of all their "
                 "files and parts"});
    // Parts of no page of their own: a cut list's page is its --html.
    for (OptionDecl& decl : batch_option_decls())
      if (decl.name != "--view-dir") t.push_back(std::move(decl));
    t.push_back({"--help", "-h", "", "show this text", false, true});
    return t;
  }();
  return table;
}

const std::vector<ExitStatusInfo>& cutlist_exit_statuses() {
  static const std::vector<ExitStatusInfo> table = {
      {kBatchOk, "every part measured"},
      {kBatchUsage, "bad options or catalogue"},
      {kBatchFailed, "some file or part gave an error"},
      {kBatchOutput, "an output file could not be written"},
  };
  return table;
}

namespace {

bool parse_allowance(const std::string& value, double allowance[3], std::string* error) {
  std::vector<std::string> items;
  for (std::size_t from = 0;;) {
    const std::size_t comma = value.find(',', from);
    items.push_back(value.substr(from, comma == std::string::npos ? comma : comma - from));
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  double v[3] = {0, 0, 0};
  bool ok = items.size() == 1 || items.size() == 3;
  for (std::size_t i = 0; ok && i < items.size(); ++i) ok = parse_number(items[i], &v[i]) && v[i] >= 0;
  if (!ok) {
    *error = "--allowance " + value + ": give A, or L,W,T, each 0 or more";
    return false;
  }
  for (int k = 0; k < 3; ++k) allowance[k] = v[items.size() == 1 ? 0 : k];
  return true;
}

}  // namespace

std::string cutlist_usage() {
  return "Usage: ufhost cutlist [options] PART[:N]...\n"
         "       ufhost cutlist --merge [options] JSONL...\n"
         "Sorts every solid body of every PART into parts (instances of one product, or\n"
         "bodies equal up to placement, in one file or across files, are one part),\n"
         "measures each part once with the plug-in in a run of its own, and prints one\n"
         "row per group of parts whose blanks agree: the quantity (PART:N builds N of the\n"
         "file), the names, the blank L x W x T, and with --stock the standard stock to\n"
         "cut it from, with a shopping list.\n"
         "\n"
         "Options:\n" +
         options_help(cutlist_option_table()) + "\n" + units_note() + "\n\nExit status:\n" +
         exit_status_help(cutlist_exit_statuses());
}

bool parse_cutlist_options(const std::vector<std::string>& args, CutlistOptions* options, bool* help,
                           std::string* error) {
  ParsedArgs parsed;
  if (!parse_args(cutlist_option_table(), args, "ufhost cutlist --help", &parsed, error)) return false;
  *help = parsed.stop != nullptr;
  if (*help) return true;
  CutlistOptions o;
  std::string batch_option;  // one given, for a merge to refuse
  for (const ParsedOption& option : parsed.options) {
    const std::string& name = option.decl->name;
    const std::string& value = option.value;
    error->clear();
    if (take_batch_option(option, &o.run, error)) {
      if (!error->empty()) return false;
      batch_option = option.written;
    } else if (name == "--orientation") {
      if (value == "modelled") o.orientation = Orientation::Modelled;
      else if (value == "turned") o.orientation = Orientation::Turned;
      else if (value == "best") o.orientation = Orientation::Best;
      else {
        *error = "--orientation " + value + ": choose modelled, turned or best";
        return false;
      }
    } else if (name == "--group-tolerance") {
      if (!parse_number(value, &o.group_tolerance) || o.group_tolerance < 0) {
        *error = "--group-tolerance " + value + ": give a length, 0 or more";
        return false;
      }
    } else if (name == "--allowance") {
      if (!parse_allowance(value, o.allowance, error)) return false;
    } else if (name == "--stock") {
      o.stock = value;
    } else if (name == "--prefer") {
      if (value == "round") o.prefer = {StockFamily::Round};
      else if (value == "hex") o.prefer = {StockFamily::Hex};
      else if (value == "rect")
        o.prefer = {StockFamily::Flat, StockFamily::Square, StockFamily::Plate, StockFamily::Sheet};
      else {
        *error = "--prefer " + value + ": choose round, hex or rect";
        return false;
      }
    } else if (name == "--round-up") {
      if (!parse_round_up(value, &o.round_up, error)) return false;
    } else if (name == "--csv") {
      o.csv = value;
    } else if (name == "--json") {
      o.json = value;
    } else if (name == "--cutlist-optimizer") {
      o.optimizer = value;
    } else if (name == "--html") {
      o.html = value;
    } else if (name == "--plan") {
      o.plan = true;
    } else if (name == "--order") {
      o.order = value;
    } else if (name == "--merge") {
      o.merge = true;
    } else if (take_plan_setting(option, &o.plan_settings, error)) {
      if (!error->empty()) return false;
    }
  }
  if (!o.prefer.empty() && o.stock.empty()) {
    *error = "--prefer chooses among stock: give --stock too";
    return false;
  }
  if (o.plan && o.stock.empty()) {
    *error = "--plan plans the stock a catalogue gives: give --stock too";
    return false;
  }
  o.run.parts = parsed.operands;
  if (o.merge) {
    // The merge's operands are --jsonl files; it measures nothing.
    if (!batch_option.empty() || !o.order.empty()) {
      *error = "--merge cuts a list from what other runs measured: not " +
               (batch_option.empty() ? std::string("--order") : batch_option);
      return false;
    }
    if (o.run.parts.empty()) {
      *error = "--merge: give the --jsonl files to merge";
      return false;
    }
  } else if (!finish_batch_options(&o.run, "ufhost cutlist", error, o.order.empty()) ||
             !order_files(&o, error)) {
    return false;
  }
  *options = std::move(o);
  return true;
}

// [SECTION] The subcommand

namespace {

int usage_error(const std::string& message) {
  std::cerr << "ufhost cutlist: " << message << std::endl;
  return kBatchUsage;
}

// The files' errors, the parts' and the plans', as the table and the
// outputs list them.
std::vector<std::string> errors_of(const std::vector<FileError>& file_errors,
                                   const std::vector<Part>& parts, const std::vector<PlanJob>& plans) {
  std::vector<std::string> errors;
  for (const FileError& e : file_errors) errors.push_back(e.error);
  for (const Part& p : parts)
    if (!p.error.empty()) errors.push_back(p.file + ": " + p.label + ": " + p.error);
  for (const PlanJob& job : plans)
    for (const std::string& e : plan_errors(job)) errors.push_back(e);
  return errors;
}

// Writes --csv, --json, --cutlist-optimizer and --html. The status: kBatchOutput
// when one could not be written, else `status`.
int write_outputs(const CutlistOptions& options, const std::vector<CutRow>& rows,
                  const std::vector<ShoppingLine>& shopping, const std::vector<PlanJob>& plans,
                  const std::vector<std::string>& errors, int status) {
  std::string error;
  const auto write = [&](const std::string& path, const std::string& option, const auto& text) {
    if (path.empty()) return;
    if (!write_atomically(path, text(), &error)) {
      std::cerr << "ufhost cutlist: " << option << " " << error << std::endl;
      status = kBatchOutput;
    }
  };
  write(options.csv, "--csv", [&] { return cutlist_csv(rows, options); });
  write(options.json, "--json", [&] {
    nlohmann::json json = cutlist_json(rows, shopping, errors, options);
    json["plans"] = plans_json(plans);
    return json.dump(2) + "\n";
  });
  write(options.optimizer, "--cutlist-optimizer", [&] { return optimizer_csv(rows); });
  write(options.html, "--html", [&] { return cutlist_page(rows, shopping, plans, errors, options); });
  return status;
}

}  // namespace

namespace {

// The --jsonl file's lines to go on from, and how much of it to keep. false
// with why when the run cannot go on from it.
bool lines_to_resume(const CutlistOptions& o, CutlistLines* lines, std::size_t* keep, std::string* error) {
  std::error_code ec;
  const bool exists = fs::exists(o.run.jsonl, ec);
  *keep = exists ? static_cast<std::size_t>(fs::file_size(o.run.jsonl, ec)) : 0;
  if (!exists || *keep == 0) return true;
  if (!o.run.resume) {
    *error = "--jsonl " + o.run.jsonl + " already holds lines: give --resume to go on from them, or another file";
    return false;
  }
  if (!read_cutlist_lines(o.run.jsonl, lines, error)) {
    *error = "--jsonl " + *error;
    return false;
  }
  if (lines->torn_at != std::string::npos) {
    *keep = lines->torn_at;
    std::cerr << "ufhost cutlist: warning: the last line of " << o.run.jsonl
              << " was cut short (the run was stopped while writing it); it is dropped" << std::endl;
  }
  return true;
}

// The lines of the merge's --jsonl files as one: each file once, with the
// last line each --jsonl file has of it, its orders from several added up.
bool merged_lines(const CutlistOptions& o, CutlistLines* all, std::vector<OrderedFile>* files, std::string* error) {
  std::map<std::string, std::size_t> at;  // path: place in all->files
  for (const std::string& path : o.run.parts) {
    CutlistLines one;
    if (!read_cutlist_lines(path, &one, error)) {
      *error = "--merge " + *error;
      return false;
    }
    if (one.torn_at != std::string::npos)
      std::cerr << "ufhost cutlist: warning: the last line of " << path
                << " was cut short (its run was stopped while writing it); it is left out" << std::endl;
    std::map<std::string, const FileLine*> last;
    for (const FileLine& f : one.files) last[f.file.path] = &f;
    for (const FileLine& f : one.files) {
      if (last[f.file.path] != &f) continue;
      const auto [it, fresh] = at.emplace(f.file.path, all->files.size());
      if (fresh) all->files.push_back(f);
      else all->files[it->second].file.ordered += f.file.ordered;
    }
    all->parts.insert(all->parts.end(), one.parts.begin(), one.parts.end());
  }
  for (const FileLine& f : all->files) files->push_back(f.file);
  return true;
}

// Parts measured before, as the lines say, take that measurement; returns
// how many did.
std::size_t take_measured(const CutlistLines& lines, const CutlistOptions& o, std::vector<Part>* parts) {
  std::size_t taken = 0;
  for (Part& part : *parts)
    if (measured_before(lines, o.orientation, &part)) ++taken;
  return taken;
}

}  // namespace

int cutlist_main(const std::vector<std::string>& args) {
  CutlistOptions options;
  bool help = false;
  std::string error;
  if (!parse_cutlist_options(args, &options, &help, &error)) return usage_error(error);
  if (help) {
    std::cout << cutlist_usage();
    return kBatchOk;
  }
  if (options.run.progress) set_progress_mode(ProgressMode::Always);
  set_kernel_time_limit(options.run.kernel_timeout);
  std::vector<StockItem> catalogue;
  if (!options.stock.empty() && !load_catalogue(options.stock, &catalogue, &error))
    return usage_error("--stock " + error);

  CutlistLines known;
  std::size_t keep = 0;
  if (options.merge && !merged_lines(options, &known, &options.files, &error)) return usage_error(error);
  if (!options.merge && !options.run.jsonl.empty() && !lines_to_resume(options, &known, &keep, &error))
    return usage_error(error);
  RunsFolder folder;
  if (!options.merge && !folder.make(options.run.out_dir, "cutlist", &error)) return usage_error(error);
  JsonlWriter writer;
  PartSink sink;
  if (!options.run.jsonl.empty()) {
    if (!writer.open(options.run.jsonl, keep, &error)) return usage_error(error);
    sink.writer = &writer;
  }
  // Each file is read, each part measured and shaped in a process forked
  // from this one: the kernel's readers are made ready once, before.
  if (!options.merge) warm_up_for_runs();

  std::vector<Part> parts;
  std::vector<FileError> file_errors;
  gather_parts(options.files, known, &sink, &parts, &file_errors);
  const std::size_t before = take_measured(known, options, &parts);
  if (options.merge) {
    for (Part& p : parts)
      if (!p.error.empty()) p.error = "measured in none of the --jsonl files";
  } else {
    fetch_bodies(&parts);
    measure_parts(options, folder.path(), !options.html.empty(), &sink, &parts);
  }
  int pieces = 0;
  for (const Part& p : parts) pieces += p.quantity;
  const std::vector<CutRow> rows = make_rows(parts, options, catalogue);
  std::vector<ShoppingLine> shopping = shopping_list(rows);
  const std::vector<PlanJob> plans = plan_shopping(rows, &shopping, options);
  const std::vector<std::string> errors = errors_of(file_errors, parts, plans);

  std::cout << "ufhost cutlist: " << parts.size() << (parts.size() == 1 ? " part" : " parts") << " in "
            << pieces << (pieces == 1 ? " piece" : " pieces") << " of " << options.files.size()
            << (options.files.size() == 1 ? " file" : " files") << ", orientation "
            << orientation_name(options.orientation);
  if (before > 0 && !options.merge)
    std::cout << " (" << before << (before == 1 ? " part" : " parts") << " measured before, as "
              << options.run.jsonl << " says, and not run again)";
  std::cout << ". " << units_note() << "\n" << cutlist_table(rows, shopping, errors, options);
  if (!plans.empty())
    std::cout << "\nCutting plans (" << plan_settings_text(options.plan_settings) << ")\n" << plans_table(plans);
  std::cout.flush();
  int status = errors.empty() ? kBatchOk : kBatchFailed;
  if (sink.failed) status = kBatchOutput;
  return write_outputs(options, rows, shopping, plans, errors, status);
}

}  // namespace ufhost::app
