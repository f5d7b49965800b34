#include "ufhost/model/body_pack.h"

#include <BRep_Builder.hxx>
#include <BinTools.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Iterator.hxx>

#include <cstdint>
#include <cstring>
#include <sstream>

namespace ufhost {

namespace {

const std::string kMagic = "ufhost bodies 1\n";

void put_u32(std::string* out, std::uint32_t v) { out->append(reinterpret_cast<const char*>(&v), sizeof v); }

void put_text(std::string* out, const std::string& text) {
  put_u32(out, static_cast<std::uint32_t>(text.size()));
  out->append(text);
}

// Reads what the put_ functions wrote; once anything is missing every later
// read fails too.
class Reader {
 public:
  explicit Reader(const std::string& in) : in_(in) {}
  bool ok() const { return ok_; }
  bool at_end() const { return at_ == in_.size(); }
  bool take(void* out, std::size_t n) {
    if (!ok_ || in_.size() - at_ < n) return ok_ = false;
    std::memcpy(out, in_.data() + at_, n);
    at_ += n;
    return true;
  }
  std::uint32_t u32() {
    std::uint32_t v = 0;
    take(&v, sizeof v);
    return v;
  }
  std::string text() {
    const std::uint32_t n = u32();
    if (!ok_ || in_.size() - at_ < n) {
      ok_ = false;
      return "";
    }
    std::string s = in_.substr(at_, n);
    at_ += n;
    return s;
  }

 private:
  const std::string& in_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

}  // namespace

std::string pack_bodies(const std::vector<Object>& bodies) {
  std::string out = kMagic;
  put_u32(&out, static_cast<std::uint32_t>(bodies.size()));
  TopoDS_Compound shapes;
  BRep_Builder builder;
  builder.MakeCompound(shapes);
  for (const Object& o : bodies) {
    put_u32(&out, static_cast<std::uint32_t>(o.kind));
    put_text(&out, o.name);
    put_u32(&out, o.shape.IsNull() ? 0 : 1);
    if (!o.shape.IsNull()) builder.Add(shapes, o.shape);
    const bool mesh = !o.mesh.IsNull();
    put_u32(&out, mesh ? static_cast<std::uint32_t>(o.mesh->NbNodes()) : 0);
    put_u32(&out, mesh ? static_cast<std::uint32_t>(o.mesh->NbTriangles()) : 0);
    if (!mesh) continue;
    for (int i = 1; i <= o.mesh->NbNodes(); ++i) {
      const gp_Pnt p = o.mesh->Node(i);
      const double xyz[3] = {p.X(), p.Y(), p.Z()};
      out.append(reinterpret_cast<const char*>(xyz), sizeof xyz);
    }
    for (int i = 1; i <= o.mesh->NbTriangles(); ++i) {
      int corners[3];
      o.mesh->Triangle(i).Get(corners[0], corners[1], corners[2]);
      out.append(reinterpret_cast<const char*>(corners), sizeof corners);
    }
  }
  std::ostringstream binary;
  BinTools::Write(shapes, binary, /*theWithTriangles=*/true, /*theWithNormals=*/true,
                  BinTools_FormatVersion_CURRENT);
  put_text(&out, binary.str());
  return out;
}

bool unpack_bodies(const std::string& bytes, std::vector<Object>* bodies) {
  bodies->clear();
  if (bytes.compare(0, kMagic.size(), kMagic) != 0) return false;
  Reader in(bytes);
  std::string magic(kMagic.size(), '\0');
  in.take(&magic[0], magic.size());
  const std::uint32_t count = in.u32();
  std::vector<Object> out;
  std::vector<std::size_t> with_shape;
  for (std::uint32_t b = 0; in.ok() && b < count; ++b) {
    Object o;
    const std::uint32_t kind = in.u32();
    if (kind > static_cast<std::uint32_t>(Kind::SectionCurves)) return false;
    o.kind = static_cast<Kind>(kind);
    o.name = in.text();
    if (in.u32() != 0) with_shape.push_back(out.size());
    const std::uint32_t nodes = in.u32(), triangles = in.u32();
    if (!in.ok()) return false;
    if (nodes > 0 || triangles > 0) {
      // Sizes are checked against what is left before anything is made.
      if (static_cast<std::uint64_t>(nodes) * 24 + static_cast<std::uint64_t>(triangles) * 12 >
          bytes.size())
        return false;
      o.mesh = new Poly_Triangulation(static_cast<int>(nodes), static_cast<int>(triangles), false,
                                      false);
      for (std::uint32_t i = 1; i <= nodes; ++i) {
        double xyz[3];
        if (!in.take(xyz, sizeof xyz)) return false;
        o.mesh->SetNode(static_cast<int>(i), gp_Pnt(xyz[0], xyz[1], xyz[2]));
      }
      for (std::uint32_t i = 1; i <= triangles; ++i) {
        int c[3];
        if (!in.take(c, sizeof c)) return false;
        for (int k : c)
          if (k < 1 || k > static_cast<int>(nodes)) return false;
        o.mesh->SetTriangle(static_cast<int>(i), Poly_Triangle(c[0], c[1], c[2]));
      }
    }
    out.push_back(std::move(o));
  }
  const std::string binary = in.text();
  if (!in.ok() || !in.at_end()) return false;
  TopoDS_Shape shapes;
  try {
    std::istringstream stream(binary);
    BinTools::Read(shapes, stream);
  } catch (const Standard_Failure&) {
    return false;
  }
  if (shapes.IsNull()) return false;
  std::size_t next = 0;
  for (TopoDS_Iterator it(shapes); it.More(); it.Next()) {
    if (next == with_shape.size()) return false;
    out[with_shape[next++]].shape = it.Value();
  }
  if (next != with_shape.size()) return false;
  *bodies = std::move(out);
  return true;
}

}  // namespace ufhost
