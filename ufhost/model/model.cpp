#include "ufhost/model/model.h"

#include "host/uf.h"

#include <algorithm>

namespace ufhost {

int type_code(Kind kind) {
  switch (kind) {
    case Kind::SolidBody: return UF_solid_body_type;
    case Kind::SheetBody: return UF_sheet_body_type;
    case Kind::MeshBody: return UF_mesh_body_type;
    case Kind::Point: return UF_point_type;
    case Kind::Line: return UF_line_type;
    case Kind::Plane: return UF_datum_plane_type;
    case Kind::FacetModel: return UF_facet_model_type;
    case Kind::SectionCurves: return UF_section_curves_type;
  }
  return 0;
}

const char* kind_name(Kind kind) {
  switch (kind) {
    case Kind::SolidBody: return "solid body";
    case Kind::SheetBody: return "sheet body";
    case Kind::MeshBody: return "mesh body";
    case Kind::Point: return "point";
    case Kind::Line: return "line";
    case Kind::Plane: return "datum plane";
    case Kind::FacetModel: return "facet model";
    case Kind::SectionCurves: return "section curves";
  }
  return "object";
}

bool is_body(Kind kind) {
  return kind == Kind::SolidBody || kind == Kind::SheetBody || kind == Kind::MeshBody;
}

bool named_as_copy(const std::string& name) {
  const std::string suffix = " copy";
  return name.size() >= suffix.size() &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TopoDS_Shape Section::curves() const {
  if (!cache) cache = std::make_shared<TopoDS_Shape>(compute ? compute() : TopoDS_Shape());
  return *cache;
}

Tag Model::add(Object object) {
  const Tag tag = next_tag_++;
  const auto it = objects_.emplace(tag, std::move(object)).first;
  journal_.push_back(Change{tag, false, Object{}});
  tell(ModelChange::Added, tag, &it->second);
  return tag;
}

const Object* Model::find(Tag tag) const {
  auto it = objects_.find(tag);
  return it == objects_.end() ? nullptr : &it->second;
}

bool Model::remove(Tag tag) {
  auto it = objects_.find(tag);
  if (it == objects_.end()) return false;
  journal_.push_back(Change{tag, true, std::move(it->second)});
  objects_.erase(it);
  tell(ModelChange::Removed, tag, nullptr);
  return true;
}

bool Model::replace(Tag tag, Object object) {
  auto it = objects_.find(tag);
  if (it == objects_.end()) return false;
  journal_.push_back(Change{tag, true, it->second});
  it->second = std::move(object);
  tell(ModelChange::Replaced, tag, &it->second);
  return true;
}

void Model::set_highlight(Tag tag, bool on) {
  auto it = objects_.find(tag);
  if (it == objects_.end()) return;
  it->second.highlighted = on;
  tell(ModelChange::Highlight, tag, &it->second);
}

int Model::set_mark(bool visible, const std::string& name) {
  const int id = next_mark_++;
  marks_.push_back(Mark{id, visible, name, journal_.size()});
  return id;
}

bool Model::undo_to(int mark) {
  auto it = std::find_if(marks_.begin(), marks_.end(), [&](const Mark& m) { return m.id == mark; });
  if (it == marks_.end()) return false;
  const std::size_t keep = it->journal_size;
  while (journal_.size() > keep) {
    Change& c = journal_.back();
    if (c.existed_before) {
      const bool present = objects_.count(c.tag) != 0;
      Object& restored = objects_[c.tag] = std::move(c.before);
      tell(present ? ModelChange::Replaced : ModelChange::Added, c.tag, &restored);
    } else {
      objects_.erase(c.tag);
      tell(ModelChange::Removed, c.tag, nullptr);
    }
    journal_.pop_back();
  }
  marks_.erase(it, marks_.end());
  return true;
}

std::vector<int> Model::marks(bool visible_only) const {
  std::vector<int> ids;
  for (const Mark& m : marks_)
    if (!visible_only || m.visible) ids.push_back(m.id);
  return ids;
}

std::vector<Tag> Model::tags() const {
  std::vector<Tag> out;
  out.reserve(objects_.size());
  for (const auto& entry : objects_) out.push_back(entry.first);
  return out;
}

std::vector<Tag> Model::tags_of(Kind kind) const {
  std::vector<Tag> out;
  for (const auto& entry : objects_)
    if (entry.second.kind == kind) out.push_back(entry.first);
  return out;
}

void Model::clear() {
  const std::vector<Tag> gone = tags();
  objects_.clear();
  for (Tag tag : gone) tell(ModelChange::Removed, tag, nullptr);
  journal_.clear();
  marks_.clear();
}

}  // namespace ufhost
