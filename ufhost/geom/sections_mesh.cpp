// Section probes of mesh bodies (sections.h): the triangles are all there
// is of such a body, so their corners answer exactly, and a plane's trace
// is worked out triangle by triangle.
#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeVertex.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Vertex.hxx>

#include <algorithm>
#include <cmath>
#include <vector>

#include "ufhost/geom/sections_internal.h"

namespace ufhost::sections_detail {

namespace {

// A corner within this of the plane lies on it.
const double kMeshBand = Precision::Confusion();

// Distances of the mesh's nodes from the plane, indexed from 1 like the nodes.
std::vector<double> node_distances(const Poly_Triangulation& mesh, const gp_Pnt& origin,
                                   const gp_Dir& n) {
  std::vector<double> d(static_cast<std::size_t>(mesh.NbNodes()) + 1, 0.0);
  for (int i = 1; i <= mesh.NbNodes(); ++i) d[i] = gp_Vec(origin, mesh.Node(i)).Dot(gp_Vec(n));
  return d;
}

bool triangle_meets(const std::vector<double>& d, const int k[3]) {
  const double lo = std::min({d[k[0]], d[k[1]], d[k[2]]});
  const double hi = std::max({d[k[0]], d[k[1]], d[k[2]]});
  return lo <= kMeshBand && hi >= -kMeshBand;
}

bool mesh_meets(const Poly_Triangulation& mesh, const gp_Pnt& origin, const gp_Dir& n) {
  const std::vector<double> d = node_distances(mesh, origin, n);
  for (int i = 1; i <= mesh.NbTriangles(); ++i) {
    int k[3];
    mesh.Triangle(i).Get(k[0], k[1], k[2]);
    if (triangle_meets(d, k)) return true;
  }
  return false;
}

// The plane's trace on each triangle it meets: a segment, or a lone point
// where it only touches a corner.
TopoDS_Shape mesh_curves(const Handle(Poly_Triangulation) & mesh, const gp_Pnt& origin,
                         const gp_Dir& n) {
  std::vector<TopoDS_Shape> pieces;
  const std::vector<double> d = node_distances(*mesh, origin, n);
  for (int i = 1; i <= mesh->NbTriangles(); ++i) {
    int k[3];
    mesh->Triangle(i).Get(k[0], k[1], k[2]);
    if (!triangle_meets(d, k)) continue;
    std::vector<gp_Pnt> hits;
    for (int e = 0; e < 3; ++e) {
      const int a = k[e], b = k[(e + 1) % 3];
      const double da = d[a], db = d[b];
      if (std::abs(da) <= kMeshBand) hits.push_back(mesh->Node(a));
      if ((da < -kMeshBand && db > kMeshBand) || (da > kMeshBand && db < -kMeshBand)) {
        const double t = da / (da - db);
        hits.push_back(gp_Pnt(mesh->Node(a).XYZ() + t * (mesh->Node(b).XYZ() - mesh->Node(a).XYZ())));
      }
    }
    if (hits.empty()) continue;
    gp_Pnt p = hits.front(), q = hits.front();
    for (const gp_Pnt& h : hits)
      if (h.Distance(p) > q.Distance(p)) q = h;
    if (p.Distance(q) > Precision::Confusion()) {
      BRepBuilderAPI_MakeEdge edge(p, q);
      if (edge.IsDone()) pieces.push_back(edge.Edge());
    } else {
      pieces.push_back(BRepBuilderAPI_MakeVertex(p).Vertex());
    }
  }
  return compound_of(pieces);
}

}  // namespace

// Corners are exact here: the triangles are all there is of the body.
PlaneCut probe_mesh(const std::shared_ptr<const BodyInfo>& info, const gp_Pnt& origin,
                    const gp_Dir& n, SectionMemory::Counts& stats) {
  PlaneCut cut;
  if (info->has_box && !within(range_of(info->box, origin, n), kMeshBand)) {
    ++stats.probes_by_box;
    return cut;
  }
  if (!mesh_meets(*info->mesh, origin, n)) return cut;
  cut.meets = true;
  cut.curves = [mesh = info->mesh, origin, n]() { return mesh_curves(mesh, origin, n); };
  return cut;
}

}  // namespace ufhost::sections_detail
