#include "ufhost/app/batch/commands.h"

#include <algorithm>
#include <cmath>

#include "src/get_zarvel.h"
#include "src/search_log.h"
#include "ufhost/base/numbers.h"
#include "ufhost/kernel/kernel_info.h"

namespace ufhost::app {

const CommandInfo kCommands[3] = {
    {Command::Extents, "extents", 1, kExtentsTolerance},
    {Command::Frame, "frame", 2, 0.0},
    {Command::Search, "search", 3, kSearchFinalTolerance},
};

const CommandInfo& command_info(Command command) {
  for (const CommandInfo& info : kCommands)
    if (info.command == command) return info;
  return kCommands[0];
}

std::vector<std::string> answers_for(const std::vector<Command>& commands, const std::string& log) {
  std::vector<std::string> lines;
  for (Command command : commands) {
    lines.push_back("menu " + std::to_string(command_info(command).menu_item));
    lines.push_back("select all");
    if (command == Command::Search) {
      lines.push_back("dialog ok " + shortest(kSearchPrecision));
      lines.push_back("save " + log);
    } else {
      lines.push_back("dialog ok");
    }
  }
  lines.push_back("menu cancel");
  return lines;
}

namespace {

// What the command's measuring adds at each end of a length, besides the band.
double added(Command command) {
  return command_info(command).refinement + (command == Command::Search ? kSearchLogRounding : 0.0);
}

}  // namespace

double measuring_band(Command command, double max_tolerance) {
  return command == Command::Frame ? max_tolerance : std::max(max_tolerance, kernel_confusion());
}

double exactness(Command command, double max_tolerance) {
  const double printed = command == Command::Search ? kSearchLogRounding : 0.0;
  return std::max(command_info(command).refinement, measuring_band(command, max_tolerance)) + printed;
}

double orientation_slack(Command command, double longest) {
  return command == Command::Search ? kSearchPrecision * longest : 0.0;
}

double rounding_noise(Command command, double length, double max_tolerance, double slack) {
  return rounding_noise(length, added(command) + slack, measuring_band(command, max_tolerance));
}

double rounding_noise(double length, double refinement, double band) {
  return std::max(1e-9 * std::abs(length), 1e-9) + 2.0 * (refinement + band);
}

double round_up_length(double length, double step, double noise) {
  const double nearest = std::round(length / step) * step;
  if (std::abs(length - nearest) <= noise) return nearest;
  return std::ceil(length / step) * step;
}

}  // namespace ufhost::app
