// Rows one JSON line each (--jsonl): appended as each file is done, read back
// to go on from where a batch stopped (--resume), and merged from several
// files into one table (--merge).
#include <iostream>
#include <map>

#include "ufhost/app/run/list.h"
#include "ufhost/app/measure/measure.h"
#include "ufhost/app/batch/jsonl.h"
#include "ufhost/app/measure/measure_internal.h"
#include "ufhost/base/files.h"

namespace ufhost::app {

namespace {

double number_at(const nlohmann::json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number()) throw std::invalid_argument(std::string("no ") + key);
  return it->get<double>();
}

void angles_from(const nlohmann::json& object, const char* key, double* out) {
  const nlohmann::json& angles = object.at(key);
  const char* slots[4] = {"z", "y", "x", "z2"};
  for (int k = 0; k < 4; ++k) out[k] = number_at(angles, slots[k]);
}

}  // namespace

bool row_from_json(const nlohmann::json& object, Row* row, std::string* error) {
  *row = Row{};
  try {
    if (!object.is_object() || !object.contains("file") || !object.contains("ok") ||
        !object.contains("command"))
      throw std::invalid_argument("no file, ok or command");
    row->file = object.at("file").get<std::string>();
    row->path = object.value("path", "");
    row->units = object.value("units", "");
    if (!object.at("ok").get<bool>()) {
      row->error = object.value("error", "");
      if (row->error.empty()) row->error = "failed (no reason recorded)";
      return true;
    }
    row->bodies = object.at("bodies").get<int>();
    row->lengths[0] = number_at(object, "length");
    row->lengths[1] = number_at(object, "width");
    row->lengths[2] = number_at(object, "height");
    row->sum = number_at(object, "sum");
    row->max_tolerance = number_at(object, "max_tolerance");
    if (object.contains("angles_deg")) {
      angles_from(object, "angles_deg", row->degrees);
      angles_from(object, "angles_rad", row->radians);
      row->has_angles = true;
    }
    row->log = object.value("log", "");
    row->view = object.value("view", "");
    row->error.clear();
    return true;
  } catch (const std::exception& e) {
    *error = std::string("not a row of ufhost measure (") + e.what() + ")";
    return false;
  }
}

bool read_jsonl(const std::string& path, JsonlRows* out, std::string* error) {
  *out = JsonlRows{};
  const auto take = [&](const nlohmann::json& object, std::string* why) {
    Row row;
    if (!row_from_json(object, &row, why)) return JsonlLine::kRefused;
    const std::string command = object.at("command").get<std::string>();
    if (!out->command.empty() && command != out->command) {
      *why = "a row of --command " + command + " among rows of " + out->command;
      return JsonlLine::kWrong;
    }
    out->command = command;
    out->rows.push_back(std::move(row));
    return JsonlLine::kTaken;
  };
  return read_jsonl_lines(path, take, &out->torn_at, error);
}

std::vector<Row> merge_rows(const std::vector<Row>& rows) {
  std::vector<Row> merged;
  std::map<std::string, std::size_t> place;
  for (const Row& row : rows) {
    const std::string key = row.path.empty() ? row.file : row.path;
    const auto [it, fresh] = place.emplace(key, merged.size());
    if (fresh) {
      merged.push_back(row);
    } else if (row.error.empty() || !merged[it->second].error.empty()) {
      // A later good row replaces any; an error row replaces an error row.
      merged[it->second] = row;
    }
  }
  return merged;
}

int merge_main(const MeasureOptions& given) {
  MeasureOptions options = given;
  std::vector<Row> all;
  std::string command, error;
  for (const std::string& file : options.parts) {
    JsonlRows read;
    if (!read_jsonl(file, &read, &error)) {
      std::cerr << "ufhost measure: --merge " << error << std::endl;
      return kBatchUsage;
    }
    if (read.torn_at != std::string::npos)
      std::cerr << "ufhost measure: warning: the last line of " << file
                << " was cut short (its batch was stopped while writing it); it is left out"
                << std::endl;
    if (!read.command.empty() && !command.empty() && read.command != command) {
      std::cerr << "ufhost measure: --merge " << file << " holds rows of --command "
                << read.command << ", the files before it of " << command << std::endl;
      return kBatchUsage;
    }
    if (!read.command.empty()) command = read.command;
    bool known = command.empty();
    for (const CommandInfo& c : kCommands) known = known || command == c.name;
    if (!known) {
      std::cerr << "ufhost measure: --merge " << file << " holds rows of an unknown command, "
                << command << std::endl;
      return kBatchUsage;
    }
    all.insert(all.end(), read.rows.begin(), read.rows.end());
  }
  if (!command.empty()) {
    if (options.command_given && command != options.command->name) {
      std::cerr << "ufhost measure: --merge: the rows are of --command " << command << ", not "
                << options.command->name << std::endl;
      return kBatchUsage;
    }
    for (const CommandInfo& c : kCommands)
      if (command == c.name) options.command = &c;
  }
  std::vector<Row> rows = merge_rows(all);
  for (Row& row : rows)
    if (row.error.empty()) finish_row(options, &row);
  std::cout << "ufhost measure: " << options.command->name << ", " << rows.size()
            << (rows.size() == 1 ? " file" : " files") << " merged from " << options.parts.size()
            << (options.parts.size() == 1 ? " JSONL file" : " JSONL files") << ". " << units_note()
            << "\n"
            << rows_table(rows, options);
  std::cout.flush();
  int status = kBatchOk;
  for (const Row& r : rows)
    if (!r.error.empty()) status = kBatchFailed;
  if (!write_outputs(rows, options)) status = kBatchOutput;
  return status;
}

}  // namespace ufhost::app
