// The plug-in's commands as a batch drives them: which menu item, which
// answers, how exact their lengths are and how rounding forgives their
// noise. `ufhost measure` and the cut list both take them from here.
#pragma once

#include <string>
#include <vector>

namespace ufhost::app {

enum class Command { Extents, Frame, Search };

struct CommandInfo {
  Command command;
  const char* name;   // as --command names it
  int menu_item;      // the plug-in's menu, counted from 1
  double refinement;  // the tolerance the command measures to; 0 for none
};

// extents, frame, search; the first is the default.
extern const CommandInfo kCommands[3];
const CommandInfo& command_info(Command command);

// The precision a batch asks the search for, in radians: how far the
// orientation it ends in may be from the one of least X + Y.
constexpr double kSearchPrecision = 1e-6;

// The answers that run each command in turn on every body of the part, and
// then leave the menu; the search saves its log at `log`.
std::vector<std::string> answers_for(const std::vector<Command>& commands, const std::string& log);

// [SECTION] How exact

// The band within which the kernel takes a plane as touching a body whose
// largest tolerance is `max_tolerance`: a section probe takes a plane that
// comes within a face's tolerance as cutting it, and no band of a probe is
// thinner than the kernel's confusion distance, meshes included. The frame
// command probes nothing: its band is the bodies' tolerance.
double measuring_band(Command command, double max_tolerance);

// How far a length the command gave may lie from the true length of what it
// measured, at most: the larger of its refinement tolerance and its band,
// plus for the search what the log's six decimals leave out.
double exactness(Command command, double max_tolerance);

// How much longer than in the best orientation a length of the search's
// turned copy may be: the search stops within its precision of that
// orientation, and a turn that small moves an end by up to the precision
// times the longest length. `measure` reports the turned copy's lengths,
// exact without it; the cut list orders the blank the part needs, which it
// may exceed by this much, so it adds it to the blank's exactness and noise.
double orientation_slack(Command command, double longest);

// How close to a multiple of a step a length of `command` counts as that
// multiple: floating-point noise (1e-9 of the length, at least 1e-9) plus,
// for each of the length's two ends, the refinement (and the log's
// rounding), the band and `slack`. A refined end can lie that far out.
double rounding_noise(Command command, double length, double max_tolerance, double slack = 0);
// The same from its parts: `refinement` what the command's measuring adds at
// each end, `band` as measuring_band gives it.
double rounding_noise(double length, double refinement, double band);

// A length rounded up to the next multiple of `step` (> 0), after snapping
// to the nearest multiple a length that lies within `noise` of it:
// 19.9999999997 with step 1 gives 20, 20.2 gives 21.
double round_up_length(double length, double step, double noise);

}  // namespace ufhost::app
