// The stand-in host's part: a table of model objects keyed by tags, with an
// undo journal.
//
// Every change goes through Model so that undo can take it back: add()
// journals a creation, remove() a deletion, replace() a change of an object
// (a move). Objects are values; shapes inside them are OCCT handles, cheap to
// copy, so the journal keeps whole objects.
#pragma once

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Pnt.hxx>
#include <gp_Vec.hxx>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ufhost {

using Tag = std::uint32_t;
constexpr Tag kNullTag = 0;

enum class Kind { SolidBody, SheetBody, MeshBody, Point, Line, Plane, FacetModel, SectionCurves };

// The host's type code of the kind (UF_solid_body_type, ... of host/uf.h), as
// selection masks and the transcript name it. Sheet bodies are B-reps made of
// open faces (IGES surfaces); solid bodies hold at least one closed solid;
// mesh bodies are triangles read from STL.
int type_code(Kind kind);
const char* kind_name(Kind kind);  // "solid body", "line", ...
bool is_body(Kind kind);
// The host's copy operation names a copy after its original with " copy"
// added; pages and reports tell copies apart by it.
bool named_as_copy(const std::string& name);

// Triangles of a faceted representation, corners in absolute coordinates.
// Facet i has the corners xyz[3*start[i] ...] up to start[i+1].
struct Facets {
  std::vector<double> xyz;       // x, y, z of every corner of every facet
  std::vector<int> start;        // facet i's first corner; size = facets + 1
  int max_corners = 0;
  int count() const { return start.empty() ? 0 : static_cast<int>(start.size()) - 1; }
};

// Curves of one planar section, computed when first asked for, so that a
// probe answered from the body's box costs nothing until somebody looks.
struct Section {
  Tag body = kNullTag;
  gp_Pnt origin;
  gp_Vec normal;
  std::function<TopoDS_Shape()> compute;  // edges of the section
  TopoDS_Shape curves() const;            // computes once, then caches
  mutable std::shared_ptr<TopoDS_Shape> cache;
};

struct Object {
  Kind kind = Kind::Point;
  std::string name;                       // UTF-8
  TopoDS_Shape shape;                     // solid and sheet bodies; section curves when computed
  Handle(Poly_Triangulation) mesh;        // mesh bodies, absolute coordinates
  gp_Pnt p0, p1;                          // point: p0; line: p0 to p1; plane: origin p0
  gp_Vec normal;                          // plane
  std::shared_ptr<const Facets> facets;   // facet models
  std::shared_ptr<const Section> section; // section curves
  Tag source = kNullTag;                  // facet model / section: the body it came from
  bool highlighted = false;
};

// What happened to one object, as Model's observer is told.
enum class ModelChange {
  Added,      // created, or brought back by undo
  Removed,    // deleted, or taken back by undo
  Replaced,   // its content changed (a move, or undo of one)
  Highlight,  // its highlight was switched
};

class Model {
 public:
  // Told of every change right after it is made, undo's included, on the
  // thread that makes it; `object` is the object as it now is (null when
  // Removed) and is valid only during the call. Whoever shows the part as it
  // changes copies what it needs here: the observer must not change the
  // model, and nothing else may read the model from another thread.
  std::function<void(ModelChange change, Tag tag, const Object* object)> observer;

  // Adds an object; returns its new tag (never reused within a session).
  Tag add(Object object);
  // nullptr when the tag names no live object.
  const Object* find(Tag tag) const;
  // Deletes an object; false when there was none.
  bool remove(Tag tag);
  // Replaces an object's content (a move, a highlight is not journalled: see
  // set_highlight); false when there was none.
  bool replace(Tag tag, Object object);
  void set_highlight(Tag tag, bool on);

  // Undo marks. Returns the new mark's id (> 0).
  int set_mark(bool visible, const std::string& name = "");
  // Takes back every change since the mark, drops it and every later mark.
  // false when there is no such mark.
  bool undo_to(int mark);
  std::vector<int> marks(bool visible_only = false) const;

  // Live objects in creation order.
  std::vector<Tag> tags() const;
  std::vector<Tag> tags_of(Kind kind) const;
  std::size_t size() const { return objects_.size(); }
  void clear();

 private:
  struct Change {
    Tag tag;
    bool existed_before;   // false: created by this change
    Object before;         // content before the change, when existed_before
  };
  struct Mark {
    int id;
    bool visible;
    std::string name;
    std::size_t journal_size;
  };
  void tell(ModelChange change, Tag tag, const Object* object) const {
    if (observer) observer(change, tag, object);
  }

  std::map<Tag, Object> objects_;  // tags grow, so the map iterates in creation order
  std::vector<Change> journal_;
  std::vector<Mark> marks_;
  Tag next_tag_ = 1;
  int next_mark_ = 1;
};

}  // namespace ufhost
