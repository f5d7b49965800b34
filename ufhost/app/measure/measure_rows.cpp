// The batch's rows: sorted, rounded and how exact, then as a table, CSV and
// JSON. The table shows six decimals; CSV and JSON give every digit.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "ufhost/app/run/list.h"
#include "ufhost/app/measure/measure_internal.h"
#include "ufhost/base/files.h"
#include "ufhost/base/numbers.h"
#include "ufhost/base/text.h"

namespace ufhost::app {

void read_run(const Job& job, int wait_status, const std::string& view,
              const MeasureOptions& options, Row* row) {
  const RunEnd end = run_end(job, wait_status, options.timeout);
  row->error = end.error;
  if (!row->error.empty()) return;
  const Command command = options.command->command;
  CommandResult result;
  row->error = read_command(job, read_transcript(job.dir + "/" + kJobTranscript), command, 0, end,
                            &result);
  row->bodies = result.bodies;
  if (!row->error.empty()) return;
  std::copy(result.lengths, result.lengths + 3, row->lengths);
  row->sum = result.sum;
  row->has_angles = result.has_angles;
  std::copy(result.degrees, result.degrees + 4, row->degrees);
  std::copy(result.radians, result.radians + 4, row->radians);
  row->max_tolerance = result.max_tolerance;
  if (!options.out_dir.empty() && command == Command::Search) row->log = search_log_of(job);
  std::error_code ec;
  if (!view.empty() && std::filesystem::exists(view, ec)) row->view = view;
  finish_row(options, row);
}

void finish_row(const MeasureOptions& options, Row* row) {
  const Command command = options.command->command;
  row->exactness = exactness(command, row->max_tolerance);
  std::copy(row->lengths, row->lengths + 3, row->sorted);
  std::sort(row->sorted, row->sorted + 3, [](double a, double b) { return a > b; });
  row->has_rounded = options.round_up > 0;
  if (row->has_rounded)
    for (int k = 0; k < 3; ++k)
      row->rounded[k] = round_up_length(row->sorted[k], options.round_up,
                                        rounding_noise(command, row->sorted[k], row->max_tolerance));
}

std::string rows_table(const std::vector<Row>& rows, const MeasureOptions& options) {
  const bool search = options.command->command == Command::Search;
  std::vector<std::string> header = {"File", "Bodies", "Units", "Length", "Width", "Height", "Sum"};
  if (search) header.insert(header.end(), {"Z°", "Y°", "X°", "Z2°"});
  header.insert(header.end(), {"Largest", "Middle", "Smallest"});
  if (options.round_up > 0) header.push_back("Rounded up to " + general(options.round_up));
  header.insert(header.end(), {"Exact to", "Error"});
  std::vector<std::vector<std::string>> cells = {header};
  std::vector<bool> right(header.size(), true);
  right[0] = right[2] = right.back() = false;
  for (const Row& r : rows) {
    std::vector<std::string> c = {r.file};
    if (!r.error.empty()) {
      c.insert(c.end(), {r.bodies > 0 ? std::to_string(r.bodies) : "-", r.units});
      while (c.size() + 1 < header.size()) c.push_back("-");
      c.push_back(r.error);
      cells.push_back(c);
      continue;
    }
    c.insert(c.end(), {std::to_string(r.bodies), r.units, fixed6(r.lengths[0]),
                       fixed6(r.lengths[1]), fixed6(r.lengths[2]), fixed6(r.sum)});
    if (search)
      for (double d : r.degrees) c.push_back(fixed6(d));
    for (double s : r.sorted) c.push_back(fixed6(s));
    if (options.round_up > 0)
      c.push_back(r.has_rounded ? general(r.rounded[0]) + " × " + general(r.rounded[1]) + " × " +
                                      general(r.rounded[2])
                                : "-");
    c.push_back(one_digit(r.exactness));
    c.push_back(r.error);
    cells.push_back(c);
  }
  return format_table(cells, right);
}

std::string rows_csv(const std::vector<Row>& rows, const MeasureOptions& options) {
  const bool search = options.command->command == Command::Search;
  std::string text = "file,ok,error,command,units,bodies,length,width,height,sum";
  if (search)
    text +=
        ",angle_z_deg,angle_y_deg,angle_x_deg,angle_z2_deg,angle_z_rad,angle_y_rad,"
        "angle_x_rad,angle_z2_rad";
  text +=
      ",sorted_1,sorted_2,sorted_3,round_up_step,rounded_1,rounded_2,rounded_3,exactness,"
      "max_tolerance,log,view\n";
  for (const Row& r : rows) {
    const bool ok = r.error.empty();
    auto num = [ok](double v) { return ok ? all_digits(v) : std::string(); };
    text += csv_field(r.file) + "," + (ok ? "true" : "false") + "," + csv_field(r.error) + "," +
            options.command->name + "," + csv_field(r.units) + "," +
            (ok ? std::to_string(r.bodies) : "") + "," + num(r.lengths[0]) + "," +
            num(r.lengths[1]) + "," + num(r.lengths[2]) + "," + num(r.sum);
    if (search) {
      for (double d : r.degrees) text += "," + num(d);
      for (double d : r.radians) text += "," + num(d);
    }
    for (double s : r.sorted) text += "," + num(s);
    text += "," + (options.round_up > 0 ? all_digits(options.round_up) : std::string());
    for (double v : r.rounded) text += "," + (ok && r.has_rounded ? all_digits(v) : std::string());
    text += "," + num(r.exactness) + "," + num(r.max_tolerance) + "," + csv_field(r.log) + "," +
            csv_field(r.view) + "\n";
  }
  return text;
}

nlohmann::json row_json(const Row& r, const MeasureOptions& options) {
  const bool search = options.command->command == Command::Search;
  nlohmann::json j = {{"file", r.file},
                      {"ok", r.error.empty()},
                      {"command", options.command->name},
                      {"units", r.units}};
  if (!r.error.empty()) {
    j["error"] = r.error;
    return j;
  }
  j["bodies"] = r.bodies;
  j["length"] = r.lengths[0];
  j["width"] = r.lengths[1];
  j["height"] = r.lengths[2];
  j["sum"] = r.sum;
  if (search) {
    j["angles_deg"] = {
        {"z", r.degrees[0]}, {"y", r.degrees[1]}, {"x", r.degrees[2]}, {"z2", r.degrees[3]}};
    j["angles_rad"] = {
        {"z", r.radians[0]}, {"y", r.radians[1]}, {"x", r.radians[2]}, {"z2", r.radians[3]}};
  }
  j["sorted"] = {r.sorted[0], r.sorted[1], r.sorted[2]};
  if (r.has_rounded) {
    j["round_up_step"] = options.round_up;
    j["rounded"] = {r.rounded[0], r.rounded[1], r.rounded[2]};
  }
  j["exactness"] = r.exactness;
  j["max_tolerance"] = r.max_tolerance;
  if (!r.log.empty()) j["log"] = r.log;
  if (!r.view.empty()) j["view"] = r.view;
  return j;
}

nlohmann::json rows_json(const std::vector<Row>& rows, const MeasureOptions& options) {
  nlohmann::json out = nlohmann::json::array();
  for (const Row& r : rows) out.push_back(row_json(r, options));
  return {{"command", options.command->name}, {"units", units_note()}, {"rows", out}};
}

bool write_outputs(const std::vector<Row>& rows, const MeasureOptions& options) {
  bool ok = true;
  std::string error;
  if (!options.csv.empty() && !write_atomically(options.csv, rows_csv(rows, options), &error)) {
    std::cerr << "ufhost measure: --csv " << error << std::endl;
    ok = false;
  }
  if (!options.json.empty() &&
      !write_atomically(options.json, rows_json(rows, options).dump(2) + "\n", &error)) {
    std::cerr << "ufhost measure: --json " << error << std::endl;
    ok = false;
  }
  return ok;
}

}  // namespace ufhost::app
