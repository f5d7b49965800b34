#include "ufhost/session/selection.h"

#include "ufhost/kernel/containment.h"
#include "ufhost/model/object_geometry.h"
#include "ufhost/base/numbers.h"
#include "ufhost/session/transcript.h"

namespace ufhost {

namespace {

bool matches(const SelectionMask& mask, const Object& object) {
  return mask.object_type == type_code(object.kind) &&
         (mask.object_subtype == -1 || mask.object_subtype == 0) && mask.solid_type == 0;
}

}  // namespace

std::string size_text(const Object& object) {
  double box[6];
  if (!exact_box(object, box, &session().boxes)) return "";
  std::string out;
  for (int i = 0; i < 3; ++i) out += (i ? " x " : "") + fixed6_trimmed(box[i + 3] - box[i]);
  return out;
}

std::vector<Selectable> offered_objects(const Model& model,
                                        const std::vector<SelectionMask>& masks) {
  return kernel_work("sizing the offered objects", [&] {
    std::vector<Selectable> offered;
    for (Tag tag : model.tags()) {
      const Object& object = *model.find(tag);
      bool offer = masks.empty() && is_body(object.kind);
      for (const SelectionMask& mask : masks) offer = offer || matches(mask, object);
      if (offer) offered.push_back({tag, object.name, kind_name(object.kind), size_text(object)});
    }
    return offered;
  });
}

void set_highlight(Session& session, Tag tag, bool on, const char* by) {
  session.model.set_highlight(tag, on);
  if (session.ui)
    record(session.ui->transcript, {{"kind", "highlight"}, {"tag", tag}, {"on", on}, {"by", by}});
}

void keep_selection(Session& session, const std::vector<Tag>& picked) {
  session.selection = picked;
  for (Tag tag : session.selection) set_highlight(session, tag, true, "select");
}

}  // namespace ufhost
