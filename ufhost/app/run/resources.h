// Where ufhost finds what it ships beside itself: the plug-in, the pages'
// templates and scripts, the data files. One rule for all of them, worked out
// from where the executable is, so that an installed ufhost needs no build or
// source tree and its prefix can be moved.
//
//   installed   PREFIX/bin/ufhost; the plug-in under PREFIX/lib/zarvel/,
//               everything else under PREFIX/share/zarvel/
//   build tree  BUILD/ufhost; the plug-in under BUILD/, everything else in
//               the source tree the build was configured from
//
// An executable counts as installed when PREFIX/share/zarvel exists; an
// installed ufhost never looks into a build or source tree.
#pragma once

#include <string>
#include <vector>

namespace ufhost::app {

// The running executable's full path ("" when the system cannot tell).
std::string executable_path();

// Where a shipped resource may be, best first, for an executable in the
// folder `exe_dir`: "plugin/release/Zarvel_06.so", "web/viewer.html",
// "data/stock-default.csv", "samples/bracket.step". Names are relative, with
// '/' between folders; a folder may be named as well ("web").
std::vector<std::string> resource_candidates(const std::string& exe_dir, const std::string& name);

// The first candidate of `name` that exists for the running executable, or
// "" when none does.
std::string find_resource(const std::string& name);

// Where `name` would be looked for first: for messages about a missing one.
std::string expected_resource(const std::string& name);

// The plug-in library a run uses unless told otherwise: this build's
// configuration of it (release, or debug in a Debug build).
std::string default_plugin();

}  // namespace ufhost::app
