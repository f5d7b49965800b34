// `--view OUT.html`: one self-contained page that shows the part as a run
// left it, for a browser with no server and no network.
//
// The page shows the bodies shaded (tessellated for the page only: the
// model's shapes are not touched), the copies the host made during the run in
// their own colour, the lines and points the commands drew, and, for every
// pair of points drawn in a row (each command draws the two opposite corners
// of its box), the box with its three lengths written beside its edges. The
// viewer is three.js, bundled from web/ by the setup step and inlined.
#pragma once

#include <string>
#include <vector>

#include "ufhost/model/model.h"
#include "ufhost/ui/browser.h"

namespace ufhost::app {

struct ViewOptions {
  std::string title;               // shown as the page's title and heading
  std::string subtitle;            // a line under it, may be empty
  std::string units;               // words for the units line
  std::vector<std::string> notes;  // further lines of the panel
};

// Writes the page to `path` through a temporary file renamed into place, so
// that a failed write leaves no half page. false with a one-line message
// (the viewer's bundle missing, the folder unwritable, ...).
bool write_view(const Model& model, const std::string& path, const ViewOptions& options,
                std::string* error);

// Where the page templates and the bundles are read from: $ZARVEL_WEB_DIR
// when set, else the web/ folder shipped with ufhost (resources.h).
std::string web_dir();

// How the page words the units of `part`'s lengths.
std::string units_words(const std::string& part);

// `--ui browser`: the live page's template and script, read from web_dir(),
// and the words about `part` it shows. false with a one-line message when
// the page's files cannot be read.
bool browser_settings(const std::string& part, BrowserSettings* settings, std::string* error);

}  // namespace ufhost::app
