#include "ufhost/geom/mass.h"

#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <GProp_PrincipalProps.hxx>
#include <Poly_Triangulation.hxx>
#include <math_Jacobi.hxx>
#include <math_Matrix.hxx>

#include <algorithm>
#include <cmath>

namespace ufhost {

namespace {

// Two figures of bodies equal up to placement agree to this share.
constexpr double kSameBody = 1e-6;

// Volume, area and second moments of a closed mesh, from the tetrahedra its
// triangles make with one of its nodes.
BodyFacts mesh_facts(const Poly_Triangulation& mesh) {
  BodyFacts f;
  if (mesh.NbTriangles() == 0) return f;
  const gp_XYZ o = mesh.Node(1).XYZ();
  double volume = 0, area = 0;
  gp_XYZ first(0, 0, 0);  // integral of x dV
  double second[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};  // integral of x_i x_j dV
  for (int t = 1; t <= mesh.NbTriangles(); ++t) {
    int n[3];
    mesh.Triangle(t).Get(n[0], n[1], n[2]);
    const gp_XYZ a = mesh.Node(n[0]).XYZ() - o, b = mesh.Node(n[1]).XYZ() - o,
                 c = mesh.Node(n[2]).XYZ() - o;
    const double det = a.Dot(b.Crossed(c));
    area += 0.5 * (b - a).Crossed(c - a).Modulus();
    volume += det / 6;
    first += (a + b + c) * (det / 24);
    const gp_XYZ s = a + b + c;
    for (int i = 1; i <= 3; ++i)
      for (int j = 1; j <= 3; ++j)
        second[i - 1][j - 1] += det / 120 *
                                (a.Coord(i) * a.Coord(j) + b.Coord(i) * b.Coord(j) +
                                 c.Coord(i) * c.Coord(j) + s.Coord(i) * s.Coord(j));
  }
  if (std::abs(volume) <= 0) return f;
  const gp_XYZ m = first / volume;
  math_Matrix inertia(1, 3, 1, 3);
  double trace = 0;
  for (int i = 0; i < 3; ++i) trace += second[i][i] - volume * m.Coord(i + 1) * m.Coord(i + 1);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const double central = second[i][j] - volume * m.Coord(i + 1) * m.Coord(j + 1);
      inertia(i + 1, j + 1) = (i == j ? trace : 0) - central;
    }
  math_Jacobi jacobi(inertia);
  if (!jacobi.IsDone()) return f;
  for (int i = 0; i < 3; ++i) f.moments[i] = std::abs(jacobi.Value(i + 1));
  std::sort(f.moments, f.moments + 3);
  f.volume = std::abs(volume);
  f.area = area;
  f.ok = true;
  return f;
}

bool near(double a, double b) {
  return std::abs(a - b) <= kSameBody * std::max(std::abs(a), std::abs(b));
}

}  // namespace

BodyFacts facts_of(const Object& body) {
  if (body.kind == Kind::MeshBody) return body.mesh.IsNull() ? BodyFacts() : mesh_facts(*body.mesh);
  BodyFacts f;
  if (body.shape.IsNull()) return f;
  GProp_GProps volume, surface;
  BRepGProp::VolumeProperties(body.shape, volume);
  BRepGProp::SurfaceProperties(body.shape, surface);
  double m[3] = {0, 0, 0};
  volume.PrincipalProperties().Moments(m[0], m[1], m[2]);
  f.volume = std::abs(volume.Mass());
  f.area = surface.Mass();
  for (int i = 0; i < 3; ++i) f.moments[i] = std::abs(m[i]);
  std::sort(f.moments, f.moments + 3);
  f.ok = f.volume > 0 && std::isfinite(f.volume) && std::isfinite(f.area);
  return f;
}

bool same_body(const BodyFacts& a, const BodyFacts& b) {
  return a.ok && b.ok && near(a.volume, b.volume) && near(a.area, b.area) &&
         near(a.moments[0], b.moments[0]) && near(a.moments[1], b.moments[1]) &&
         near(a.moments[2], b.moments[2]);
}

}  // namespace ufhost
