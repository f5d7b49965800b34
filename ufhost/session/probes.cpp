#include "ufhost/session/probes.h"

#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>

#include <functional>
#include <memory>
#include <string>

#include "ufhost/session/session.h"
#include "ufhost/session/test_control.h"

namespace ufhost {

namespace {

TopoDS_Shape empty_compound() {
  TopoDS_Compound none;
  BRep_Builder().MakeCompound(none);
  return none;
}

}  // namespace

PlaneCut probe_plane(Tag tag, const Object& body, const gp_Pnt& origin, const gp_Vec& normal) {
  const TestControl& control = test_control();
  if (control.section_oracle) {
    PlaneCut cut;
    cut.meets = control.section_oracle(tag, origin, normal);
    if (cut.meets) cut.curves = empty_compound;
    return cut;
  }
  SectionMemory& memory = session().sections;
  const PlaneCut cut = section_by_plane(body, origin, normal, memory, control.probing);
  if (control.compare_probes && body.kind != Kind::MeshBody) {
    const SectionMemory::Counts counted = memory.counts;
    const bool fast = control.probing == Probing::kFast;
    const PlaneCut other =
        section_by_plane(body, origin, normal, memory, fast ? Probing::kBoolean : Probing::kFast);
    memory.counts = counted;
    control.compare_probes({tag, origin, normal, fast ? cut.meets : other.meets,
                            fast ? other.meets : cut.meets});
  }
  return cut;
}

std::optional<Object> section_curves(const Model& model, const std::vector<Tag>& bodies,
                                     const std::vector<Tag>& planes, bool join, double tolerance) {
  auto section = std::make_shared<Section>();
  std::vector<std::function<TopoDS_Shape()>> parts;
  std::string body_name;
  for (Tag body : bodies)
    for (Tag plane_tag : planes) {
      const Object& plane = *model.find(plane_tag);
      PlaneCut cut = probe_plane(body, *model.find(body), plane.p0, plane.normal);
      if (!cut.meets) continue;
      if (parts.empty()) {
        section->body = body;
        section->origin = plane.p0;
        section->normal = plane.normal;
        body_name = model.find(body)->name;
      }
      parts.push_back(std::move(cut.curves));
    }
  if (parts.empty()) return std::nullopt;

  section->compute = [parts, join, tolerance]() {
    TopoDS_Compound all;
    BRep_Builder builder;
    builder.MakeCompound(all);
    for (const auto& part : parts) builder.Add(all, part());
    return join ? join_curves(all, tolerance) : TopoDS_Shape(all);
  };
  Object curves;
  curves.kind = Kind::SectionCurves;
  curves.name = "section of " + body_name;
  curves.section = section;
  curves.source = section->body;
  return curves;
}

}  // namespace ufhost
