#include "ufhost/app/view.h"

#include <BRepBuilderAPI_Copy.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Poly_Triangulation.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "ufhost/app/list.h"
#include "ufhost/core/files.h"
#include "ufhost/core/geometry.h"

namespace ufhost::app {

namespace {

struct Triangles {
  nlohmann::json positions = nlohmann::json::array();  // x, y, z as floats
  nlohmann::json indices = nlohmann::json::array();
};

void add_node(Triangles& t, const gp_Pnt& p) {
  t.positions.push_back(static_cast<float>(p.X()));
  t.positions.push_back(static_cast<float>(p.Y()));
  t.positions.push_back(static_cast<float>(p.Z()));
}

// Tessellates a copy of the shape: meshing the model's own shape would leave
// a triangulation in it that later faceting and saving would pick up.
Triangles tessellate(const TopoDS_Shape& shape, const double box[6]) {
  Triangles t;
  const double diagonal = std::sqrt((box[3] - box[0]) * (box[3] - box[0]) +
                                    (box[4] - box[1]) * (box[4] - box[1]) +
                                    (box[5] - box[2]) * (box[5] - box[2]));
  BRepBuilderAPI_Copy copier(shape, /*copyGeom=*/true, /*copyMesh=*/false);
  const TopoDS_Shape copy = copier.Shape();
  BRepMesh_IncrementalMesh mesher(copy, std::max(diagonal * 0.002, 1e-7), false, 0.35, false);
  for (TopExp_Explorer ex(copy, TopAbs_FACE); ex.More(); ex.Next()) {
    const TopoDS_Face face = TopoDS::Face(ex.Current());
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull()) continue;
    const int base = static_cast<int>(t.positions.size() / 3);
    const gp_Trsf trsf = location.Transformation();
    for (int i = 1; i <= mesh->NbNodes(); ++i) add_node(t, mesh->Node(i).Transformed(trsf));
    const bool reversed = face.Orientation() == TopAbs_REVERSED;
    for (int i = 1; i <= mesh->NbTriangles(); ++i) {
      int a, b, c;
      mesh->Triangle(i).Get(a, b, c);
      if (reversed) std::swap(b, c);
      for (int n : {a, b, c}) t.indices.push_back(base + n - 1);
    }
  }
  return t;
}

Triangles mesh_triangles(const Handle(Poly_Triangulation)& mesh) {
  Triangles t;
  if (mesh.IsNull()) return t;
  for (int i = 1; i <= mesh->NbNodes(); ++i) add_node(t, mesh->Node(i));
  for (int i = 1; i <= mesh->NbTriangles(); ++i) {
    int a, b, c;
    mesh->Triangle(i).Get(a, b, c);
    for (int n : {a, b, c}) t.indices.push_back(n - 1);
  }
  return t;
}

nlohmann::json scene_json(const Model& model, const ViewOptions& options) {
  nlohmann::json bodies = nlohmann::json::array();
  for (const BodyInfo& info : describe_bodies(model)) {
    const Object* object = model.find(info.tag);
    Triangles t = object->kind == Kind::MeshBody ? mesh_triangles(object->mesh)
                  : info.has_box                 ? tessellate(object->shape, info.box)
                                                 : Triangles{};
    bodies.push_back({{"tag", info.tag},
                      {"name", info.name},
                      {"kind", info.type},
                      {"copy", info.copy},
                      {"positions", std::move(t.positions)},
                      {"indices", std::move(t.indices)}});
  }
  nlohmann::json lines = nlohmann::json::array();
  nlohmann::json points = nlohmann::json::array();
  nlohmann::json boxes = nlohmann::json::array();
  const Object* pending = nullptr;  // the first point of a pair
  for (Tag tag : model.tags()) {
    const Object* o = model.find(tag);
    if (o->kind == Kind::Line) {
      for (const gp_Pnt& p : {o->p0, o->p1})
        for (double c : {p.X(), p.Y(), p.Z()}) lines.push_back(c);
    } else if (o->kind == Kind::Point) {
      for (double c : {o->p0.X(), o->p0.Y(), o->p0.Z()}) points.push_back(c);
      if (pending == nullptr) {
        pending = o;
        continue;
      }
      const double a[3] = {pending->p0.X(), pending->p0.Y(), pending->p0.Z()};
      const double b[3] = {o->p0.X(), o->p0.Y(), o->p0.Z()};
      nlohmann::json box = {{"min", nlohmann::json::array()},
                            {"max", nlohmann::json::array()},
                            {"lengths", nlohmann::json::array()}};
      for (int k = 0; k < 3; ++k) {
        box["min"].push_back(std::min(a[k], b[k]));
        box["max"].push_back(std::max(a[k], b[k]));
        box["lengths"].push_back(std::abs(a[k] - b[k]));  // as the commands compute them
      }
      boxes.push_back(std::move(box));
      pending = nullptr;
    }
  }
  return {{"title", options.title}, {"subtitle", options.subtitle}, {"units", options.units},
          {"notes", options.notes}, {"bodies", std::move(bodies)},  {"lines", std::move(lines)},
          {"points", std::move(points)}, {"boxes", std::move(boxes)}};
}

// Text placed inside a <script> element must not close it early.
std::string script_safe(std::string text) {
  for (std::size_t at = 0; (at = text.find("</", at)) != std::string::npos; at += 3)
    text.replace(at, 2, "<\\/");
  return text;
}

std::string html_escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
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
  return std::string(UFHOST_SOURCE_DIR) + "/web";
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
  std::string scene;
  try {
    scene = scene_json(model, options).dump();
  } catch (const Standard_Failure& e) {
    *error = std::string("--view: the bodies cannot be tessellated: ") + e.GetMessageString();
    return false;
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
