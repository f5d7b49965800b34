#include "ufhost/app/run/view.h"

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "ufhost/app/run/resources.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/base/files.h"
#include "ufhost/base/text.h"
#include "ufhost/parts/part_io.h"
#include "ufhost/model/scene.h"

namespace ufhost::app {

namespace {

nlohmann::json scene_json(const Model& model, const ViewOptions& options) {
  nlohmann::json objects = nlohmann::json::array();
  for (Tag tag : model.tags()) {
    nlohmann::json object = scene_object(tag, *model.find(tag));
    if (!object.is_null()) objects.push_back(std::move(object));
  }
  return {{"title", options.title},
          {"subtitle", options.subtitle},
          {"units", options.units},
          {"notes", options.notes},
          {"objects", std::move(objects)}};
}

// Text placed inside a <script> element must not close it early.
std::string script_safe(std::string text) {
  for (std::size_t at = 0; (at = text.find("</", at)) != std::string::npos; at += 3)
    text.replace(at, 2, "<\\/");
  return text;
}

// Replaces each token once, scanning the template only, so that text put in
// never gets replaced again.
std::string fill(const std::string& page, const std::vector<std::pair<std::string, std::string>>& values) {
  std::string out;
  std::size_t from = 0;
  while (true) {
    std::size_t best = std::string::npos;
    const std::pair<std::string, std::string>* which = nullptr;
    for (const auto& v : values) {
      const std::size_t at = page.find(v.first, from);
      if (at < best) {
        best = at;
        which = &v;
      }
    }
    if (which == nullptr) break;
    out.append(page, from, best - from);
    out += which->second;
    from = best + which->first.size();
  }
  out.append(page, from, std::string::npos);
  return out;
}

}  // namespace

std::string web_dir() {
  if (const char* dir = std::getenv("ZARVEL_WEB_DIR"); dir != nullptr && *dir != '\0') return dir;
  const std::string found = find_resource("web");
  return found.empty() ? expected_resource("web") : found;
}

std::string units_words(const std::string& part) {
  return read_in_millimetres(part_format(part)) ? "millimetres (converted on reading)"
                                                : "the file's own (BREP and STL carry none)";
}

bool browser_settings(const std::string& part, BrowserSettings* settings, std::string* error) {
  const std::string dir = web_dir();
  if (!read_file(dir + "/app.html", &settings->page)) {
    *error = "--ui browser: the page template " + dir + "/app.html cannot be read";
    return false;
  }
  if (!read_file(dir + "/dist/app.js", &settings->script)) {
    *error = "--ui browser: the page's script " + dir +
             "/dist/app.js is missing; tools/setup.sh builds it (npm ci && npm run build in web/)";
    return false;
  }
  settings->title = std::filesystem::path(part).filename().string();
  settings->part = part;
  settings->units = units_words(part);
  return true;
}

bool write_view(const Model& model, const std::string& path, const ViewOptions& options,
                std::string* error) {
  std::string page, script;
  const std::string dir = web_dir();
  if (!read_file(dir + "/viewer.html", &page)) {
    *error = "--view: the page template " + dir + "/viewer.html cannot be read";
    return false;
  }
  if (!read_file(dir + "/dist/viewer.js", &script)) {
    *error = "--view: the viewer's script " + dir +
             "/dist/viewer.js is missing; tools/setup.sh builds it (npm ci && npm run build in web/)";
    return false;
  }
  std::string scene, failure;
  try {
    if (!without_kernel_failure([&] { scene = scene_json(model, options).dump(); },
                                "tessellating a body", &failure)) {
      *error = "--view: " + failure + "; no page written";
      return false;
    }
  } catch (const std::exception& e) {
    *error = std::string("--view: ") + e.what();
    return false;
  }
  page = fill(page, {{"@@TITLE@@", html_escape(options.title)},
                     {"@@SCENE_JSON@@", script_safe(scene)},
                     {"@@VIEWER_JS@@", script_safe(script)}});

  if (!write_atomically(path, page, error)) {
    *error = "--view: " + *error;
    return false;
  }
  return true;
}

}  // namespace ufhost::app
