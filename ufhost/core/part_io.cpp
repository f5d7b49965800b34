// Part files in and out.
//
// [SECTION] Kernel quiet      the kernel's messages kept off standard output
// [SECTION] Names             labels of the exchange document, file stems
// [SECTION] Reading           STEP, IGES, BREP, STL into found bodies
// [SECTION] Writing           bodies and construction objects to BREP or STEP
//
// Loading gathers every body first and adds them to the model only when the
// whole file has been read, so a file that fails halfway leaves the part as
// it was. Saving writes a temporary file beside the destination and renames
// it, so a reader never sees a half-written part.
#include "ufhost/core/part_io.h"
#include "ufhost/core/body_pack.h"
#include "ufhost/core/containment.h"

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepBuilderAPI_MakeVertex.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <IGESCAFControl_Reader.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_Printer.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <STEPControl_StepModelType.hxx>
#include <Standard_Failure.hxx>
#include <TCollection_AsciiString.hxx>
#include <TCollection_ExtendedString.hxx>
#include <TDF_Label.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Iterator.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Pln.hxx>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <set>
#include <sstream>
#include <unordered_map>

#include "ufhost/core/files.h"
#include "ufhost/core/progress.h"

namespace fs = std::filesystem;

namespace ufhost {
namespace {

// ---------------------------------------------------------------------------
// [SECTION] Kernel quiet

// The kernel's readers and writers report through the default messenger,
// and some parts of it print straight to standard output; the host's
// standard output is the listing window. While one guard lives the printers
// are set aside (the last failure or warning text is kept for the error
// line) and standard output goes to the null device.
class KeepLast : public Message_Printer {
 public:
  mutable std::string last_fail;
  mutable std::string last_warning;

 protected:
  void send(const TCollection_AsciiString& text, const Message_Gravity gravity) const override {
    std::string s = text.ToCString();
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.erase(s.begin());
    if (s.empty()) return;
    if (gravity >= Message_Fail) last_fail = s;
    else if (gravity == Message_Warning) last_warning = s;
  }
};

class KernelQuiet {
 public:
  KernelQuiet() : messenger_(Message::DefaultMessenger()), printer_(new KeepLast) {
    saved_ = messenger_->Printers();
    messenger_->ChangePrinters().Clear();
    messenger_->AddPrinter(printer_);
    std::cout.flush();
    std::fflush(stdout);
    const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd >= 0) {
      saved_stdout_ = ::dup(STDOUT_FILENO);
      if (saved_stdout_ >= 0) ::dup2(null_fd, STDOUT_FILENO);
      ::close(null_fd);
    }
  }
  ~KernelQuiet() {
    std::cout.flush();
    std::fflush(stdout);
    if (saved_stdout_ >= 0) {
      ::dup2(saved_stdout_, STDOUT_FILENO);
      ::close(saved_stdout_);
    }
    messenger_->ChangePrinters().Clear();
    for (Message_SequenceOfPrinters::Iterator it(saved_); it.More(); it.Next())
      messenger_->AddPrinter(it.Value());
  }
  KernelQuiet(const KernelQuiet&) = delete;
  KernelQuiet& operator=(const KernelQuiet&) = delete;
  // The kernel's own words for what went wrong, or "" when it said nothing.
  std::string said() const {
    return printer_->last_fail.empty() ? printer_->last_warning : printer_->last_fail;
  }

 private:
  Handle(Message_Messenger) messenger_;
  Handle(KeepLast) printer_;
  Message_SequenceOfPrinters saved_;
  int saved_stdout_ = -1;
};

// A one-line message: the file, then what is wrong with it.
struct PartError {
  std::string text;
};

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw PartError{path + ": " + what};
}

std::string one_line(std::string s) {
  std::replace_if(s.begin(), s.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return s;
}

// ---------------------------------------------------------------------------
// [SECTION] Names

std::string lower_extension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

std::string trimmed(std::string s) {
  const auto not_space = [](unsigned char c) { return !std::isspace(c); };
  s.erase(s.begin(), std::find_if(s.begin(), s.end(), not_space));
  s.erase(std::find_if(s.rbegin(), s.rend(), not_space).base(), s.end());
  return s;
}

// The label's name in UTF-8, "" when it has none.
std::string label_name(const TDF_Label& label) {
  Handle(TDataStd_Name) name;
  if (label.IsNull() || !label.FindAttribute(TDataStd_Name::GetID(), name)) return "";
  return trimmed(TCollection_AsciiString(name->Get()).ToCString());
}

// One body as found in a file, before it gets a tag.
struct Found {
  Kind kind = Kind::SolidBody;
  std::string name;  // "" until the file's stem and number are given
  TopoDS_Shape shape;
  Handle(Poly_Triangulation) mesh;
};

// What a file holds, in the file's order; free faces are gathered apart and
// become one sheet body at the end.
struct Gathered {
  std::vector<Found> bodies;
  std::vector<TopoDS_Shape> free_faces;
  std::set<std::string> free_face_names;  // names of the labels the free faces came from
  bool unnamed_free_faces = false;
};

// ---------------------------------------------------------------------------
// [SECTION] Reading

// Faces that carry only a triangulation, as our own BREP files hold mesh
// bodies and facet models, merged into one triangulation in absolute
// coordinates.
Handle(Poly_Triangulation) merged_triangulation(const std::vector<TopoDS_Face>& faces) {
  int nodes = 0, triangles = 0;
  for (const TopoDS_Face& f : faces) {
    TopLoc_Location loc;
    const Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(f, loc);
    nodes += t->NbNodes();
    triangles += t->NbTriangles();
  }
  Handle(Poly_Triangulation) out = new Poly_Triangulation(nodes, triangles, false, false);
  int node_base = 0, tri = 0;
  for (const TopoDS_Face& f : faces) {
    TopLoc_Location loc;
    const Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(f, loc);
    const gp_Trsf trsf = loc.Transformation();
    for (int i = 1; i <= t->NbNodes(); ++i) out->SetNode(node_base + i, t->Node(i).Transformed(trsf));
    const bool reversed = f.Orientation() == TopAbs_REVERSED;
    for (int i = 1; i <= t->NbTriangles(); ++i) {
      int a = 0, b = 0, c = 0;
      t->Triangle(i).Get(a, b, c);
      if (reversed) std::swap(b, c);
      out->SetTriangle(++tri, Poly_Triangle(node_base + a, node_base + b, node_base + c));
    }
    node_base += t->NbNodes();
  }
  return out;
}

bool surfaceless(const TopoDS_Face& face) {
  TopLoc_Location loc;
  if (!BRep_Tool::Surface(face, loc).IsNull()) return false;
  const Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(face, loc);
  return !t.IsNull() && t->NbTriangles() > 0;
}

// Sorts one item of a file: its solids become bodies, faces outside any
// solid go to the file's sheet body, and faces that have nothing but a
// triangulation become one mesh body for the item.
void gather_item(const TopoDS_Shape& shape, const std::string& name, Gathered* out) {
  if (shape.IsNull()) return;
  int solids = 0;
  for (TopExp_Explorer e(shape, TopAbs_SOLID); e.More(); e.Next()) ++solids;
  int k = 0;
  for (TopExp_Explorer e(shape, TopAbs_SOLID); e.More(); e.Next()) {
    ++k;
    if (!TopExp_Explorer(e.Current(), TopAbs_FACE).More()) continue;  // an empty solid
    Found f;
    f.kind = Kind::SolidBody;
    f.shape = e.Current();
    if (!name.empty()) f.name = solids == 1 ? name : name + " " + std::to_string(k);
    out->bodies.push_back(f);
  }
  std::vector<TopoDS_Face> meshes;
  for (TopExp_Explorer e(shape, TopAbs_FACE, TopAbs_SOLID); e.More(); e.Next()) {
    const TopoDS_Face& face = TopoDS::Face(e.Current());
    if (surfaceless(face)) {
      meshes.push_back(face);
      continue;
    }
    TopLoc_Location loc;
    if (BRep_Tool::Surface(face, loc).IsNull()) continue;  // no geometry at all
    out->free_faces.push_back(face);
    if (name.empty()) out->unnamed_free_faces = true;
    else out->free_face_names.insert(name);
  }
  if (!meshes.empty()) {
    Found f;
    f.kind = Kind::MeshBody;
    f.mesh = merged_triangulation(meshes);
    f.name = name;
    out->bodies.push_back(f);
  }
}

// Walks the exchange document's shapes: assemblies down to their parts,
// each part placed where its instances put it, named after its product.
void gather_label(const TDF_Label& label, const TopLoc_Location& loc, const std::string& name,
                  Gathered* out) {
  if (XCAFDoc_ShapeTool::IsAssembly(label)) {
    TDF_LabelSequence components;
    XCAFDoc_ShapeTool::GetComponents(label, components);
    for (TDF_LabelSequence::Iterator it(components); it.More(); it.Next()) {
      TDF_Label part;
      if (!XCAFDoc_ShapeTool::GetReferredShape(it.Value(), part)) continue;
      std::string part_name = label_name(part);
      if (part_name.empty()) part_name = label_name(it.Value());
      gather_label(part, loc * XCAFDoc_ShapeTool::GetLocation(it.Value()), part_name, out);
    }
    return;
  }
  TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(label);
  if (shape.IsNull()) return;
  if (!loc.IsIdentity()) shape = shape.Moved(loc);
  gather_item(shape, name, out);
}

Handle(TDocStd_Document) new_document() {
  return new TDocStd_Document("BinXCAF");
}

// The exchange document names unnamed shapes after their type ("SOLID",
// "COMPOUND"); such a name says less than the file's own stem and number.
class NoAutoNaming {
 public:
  NoAutoNaming() : saved_(XCAFDoc_ShapeTool::AutoNaming()) { XCAFDoc_ShapeTool::SetAutoNaming(false); }
  ~NoAutoNaming() { XCAFDoc_ShapeTool::SetAutoNaming(saved_); }
  NoAutoNaming(const NoAutoNaming&) = delete;
  NoAutoNaming& operator=(const NoAutoNaming&) = delete;

 private:
  bool saved_;
};

void read_exchange_document(const Handle(TDocStd_Document)& doc, Gathered* out) {
  Handle(XCAFDoc_ShapeTool) tool = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
  TDF_LabelSequence free_labels;
  tool->GetFreeShapes(free_labels);
  for (TDF_LabelSequence::Iterator it(free_labels); it.More(); it.Next())
    gather_label(it.Value(), TopLoc_Location(), label_name(it.Value()), out);
}

// The readers run only in the child a part file is read in (load_part),
// which ends as soon as it has handed the bodies back: a reader and its
// document are left to that end, since taking them apart piece by piece
// costs a sixth of reading a small part.
template <class T>
T& left_to_the_end(T* object) {
  return *object;
}

void read_step(const std::string& path, Gathered* out, const KernelQuiet& quiet) {
  STEPCAFControl_Reader& reader = left_to_the_end(new STEPCAFControl_Reader);
  reader.SetNameMode(true);
  reader.SetColorMode(false);
  reader.SetLayerMode(false);
  reader.SetPropsMode(false);
  reader.SetGDTMode(false);
  reader.SetMatMode(false);
  reader.SetViewMode(false);
  if (reader.ReadFile(path.c_str()) != IFSelect_RetDone) {
    const std::string said = quiet.said();
    fail(path, "not a readable STEP file" + (said.empty() ? "" : " (" + one_line(said) + ")"));
  }
  if (reader.NbRootsForTransfer() == 0) fail(path, "the STEP file holds no shape");
  Handle(TDocStd_Document)& doc = left_to_the_end(new Handle(TDocStd_Document)(new_document()));
  NoAutoNaming no_auto_naming;
  if (!reader.Transfer(doc)) fail(path, "the kernel could not translate the STEP file's shapes");
  read_exchange_document(doc, out);
}

// An IGES file closes with its terminate record, the one line with "T" in
// column 73; the kernel's reader takes a file cut short for a smaller part.
bool ends_with_iges_terminate(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = in.tellg();
  const std::streamoff tail = std::min<std::streamoff>(size, 400);
  in.seekg(size - tail);
  std::string text(static_cast<std::size_t>(tail), '\0');
  if (!in.read(&text[0], tail)) return false;
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  const auto start = text.find_last_of("\r\n");
  const std::string last = start == std::string::npos ? text : text.substr(start + 1);
  return last.size() >= 73 && last[72] == 'T';
}

void read_iges(const std::string& path, Gathered* out, const KernelQuiet& quiet) {
  if (!ends_with_iges_terminate(path))
    fail(path, "not a readable IGES file (no terminate record at its end: cut short?)");
  IGESCAFControl_Reader& reader = left_to_the_end(new IGESCAFControl_Reader);
  reader.SetNameMode(true);
  reader.SetColorMode(false);
  reader.SetLayerMode(false);
  if (reader.ReadFile(path.c_str()) != IFSelect_RetDone) {
    const std::string said = quiet.said();
    fail(path, "not a readable IGES file" + (said.empty() ? "" : " (" + one_line(said) + ")"));
  }
  if (reader.NbRootsForTransfer() == 0) fail(path, "the IGES file holds no shape");
  Handle(TDocStd_Document)& doc = left_to_the_end(new Handle(TDocStd_Document)(new_document()));
  NoAutoNaming no_auto_naming;
  if (!reader.Transfer(doc)) fail(path, "the kernel could not translate the IGES file's shapes");
  read_exchange_document(doc, out);
}

// The kernel's parser reads the shapes of a BREP file, "TShapes N" and N
// records each closed by a line ending in "*", without looking for the end
// of the file: cut short there, it reads on for ever. Returns whether the
// file has all its records.
bool brep_shapes_complete(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  long wanted = -1, closed = 0;
  while (std::getline(in, line)) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    if (wanted < 0) {
      if (line.rfind("TShapes ", 0) == 0) wanted = std::strtol(line.c_str() + 8, nullptr, 10);
    } else if (!line.empty() && line.back() == '*') {
      ++closed;
    }
  }
  return wanted >= 0 && closed >= wanted;
}

void read_brep(const std::string& path, Gathered* out) {
  {
    // Every BREP file names itself in its first lines; anything else is not
    // handed to the kernel's parser, which trusts the counts it reads.
    std::ifstream in(path, std::ios::binary);
    std::string head(256, '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.find("CASCADE Topology V") == std::string::npos)
      fail(path, "not a readable BREP file (no \"CASCADE Topology\" header)");
  }
  if (!brep_shapes_complete(path))
    fail(path, "not a readable BREP file (fewer shapes than it announces: cut short?)");
  TopoDS_Shape shape;
  BRep_Builder builder;
  if (!BRepTools::Read(shape, path.c_str(), builder) || shape.IsNull())
    fail(path, "not a readable BREP file");
  // Each item of a top-level compound is read on its own, so that the mesh
  // bodies and facet models our own files hold come back one by one.
  if (shape.ShapeType() == TopAbs_COMPOUND) {
    for (TopoDS_Iterator it(shape); it.More(); it.Next()) gather_item(it.Value(), "", out);
  } else {
    gather_item(shape, "", out);
  }
}

// STL is read here rather than by the kernel's reader, which drops
// triangles with two equal corners, keeps only the first solid of a text
// file with several, and takes a binary file whose first triangle has small
// whole coordinates for text. Every triangle of the file is kept, in the
// file's order, with its corners exactly as written (text parsed to the
// nearest double, binary single precision widened); corners with the same
// bits are one node.
class StlMesh {
 public:
  void add_corner(double x, double y, double z) {
    std::array<std::uint64_t, 3> key;
    const double c[3] = {x, y, z};
    std::memcpy(key.data(), c, sizeof c);
    const auto it = index_.emplace(key, static_cast<int>(nodes_.size()) + 1);
    if (it.second) nodes_.emplace_back(x, y, z);
    corners_.push_back(it.first->second);
  }
  std::size_t triangles() const { return corners_.size() / 3; }
  Handle(Poly_Triangulation) triangulation() const {
    Handle(Poly_Triangulation) mesh = new Poly_Triangulation(
        static_cast<int>(nodes_.size()), static_cast<int>(triangles()), false, false);
    for (std::size_t i = 0; i < nodes_.size(); ++i) mesh->SetNode(static_cast<int>(i) + 1, nodes_[i]);
    for (std::size_t i = 0; i < triangles(); ++i)
      mesh->SetTriangle(static_cast<int>(i) + 1,
                        Poly_Triangle(corners_[3 * i], corners_[3 * i + 1], corners_[3 * i + 2]));
    return mesh;
  }

 private:
  struct KeyHash {
    std::size_t operator()(const std::array<std::uint64_t, 3>& k) const {
      std::uint64_t h = k[0] * 0x9E3779B97F4A7C15ULL;
      h ^= k[1] + 0x7F4A7C159E3779B9ULL + (h << 6) + (h >> 2);
      h ^= k[2] + 0x94D049BB133111EBULL + (h << 6) + (h >> 2);
      return static_cast<std::size_t>(h);
    }
  };
  std::unordered_map<std::array<std::uint64_t, 3>, int, KeyHash> index_;
  std::vector<gp_Pnt> nodes_;
  std::vector<int> corners_;
};

std::uint32_t little_endian_u32(const unsigned char* b) {
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

float little_endian_float(const unsigned char* b) {
  const std::uint32_t bits = little_endian_u32(b);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void read_binary_stl(const std::string& path, std::uintmax_t count, StlMesh* mesh) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(84);
  unsigned char record[50];
  for (std::uintmax_t i = 0; i < count; ++i) {
    if (!in.read(reinterpret_cast<char*>(record), sizeof record))
      fail(path, "not a readable STL file (it ends inside triangle " + std::to_string(i + 1) + ")");
    for (int c = 0; c < 3; ++c) {
      const float x = little_endian_float(record + 12 + 12 * c);
      const float y = little_endian_float(record + 16 + 12 * c);
      const float z = little_endian_float(record + 20 + 12 * c);
      if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
        fail(path, "not a readable STL file (triangle " + std::to_string(i + 1) +
                       " has a corner that is not a number)");
      mesh->add_corner(x, y, z);
    }
  }
}

// Reads "solid NAME", facets of "facet normal ...", "outer loop", three
// "vertex X Y Z", "endloop", "endfacet", then "endsolid"; several solids in
// a row are one mesh. Returns the first solid's name.
std::string read_text_stl(const std::string& path, StlMesh* mesh) {
  std::ifstream in(path, std::ios::binary);
  std::string line, name;
  bool in_solid = false, in_facet = false, named = false;
  int corners = 0;
  long number = 0;
  const auto bad = [&](const std::string& what) {
    fail(path, "not a readable STL file (line " + std::to_string(number) + ": " + what + ")");
  };
  while (std::getline(in, line)) {
    ++number;
    std::istringstream words(line);
    std::string word;
    if (!(words >> word)) continue;
    std::transform(word.begin(), word.end(), word.begin(), [](unsigned char ch) {
      return static_cast<char>(ch < 0x20 || ch > 0x7e ? '?' : std::tolower(ch));
    });
    if (word == "solid") {
      if (in_solid) bad("\"solid\" inside a solid");
      in_solid = true;
      if (!named) {
        std::getline(words, name);
        name = trimmed(name);
        named = true;
      }
    } else if (word == "endsolid") {
      if (!in_solid || in_facet) bad("\"endsolid\" out of place");
      in_solid = false;
    } else if (word == "facet") {
      if (!in_solid || in_facet) bad("\"facet\" out of place");
      in_facet = true;
      corners = 0;
    } else if (word == "outer" || word == "endloop") {
      if (!in_facet) bad("\"" + word + "\" outside a facet");
    } else if (word == "vertex") {
      if (!in_facet || corners == 3) bad("\"vertex\" out of place");
      double c[3];
      for (double& v : c) {
        std::string token;
        char* end = nullptr;
        if (!(words >> token)) bad("a vertex needs three coordinates");
        v = std::strtod(token.c_str(), &end);
        if (end == token.c_str() || *end != '\0' || !std::isfinite(v))
          bad("\"" + token + "\" is not a coordinate");
      }
      mesh->add_corner(c[0], c[1], c[2]);
      ++corners;
    } else if (word == "endfacet") {
      if (!in_facet || corners != 3) bad("a facet needs three vertices");
      in_facet = false;
    } else {
      bad("unexpected \"" + word.substr(0, 20) + "\"");
    }
  }
  if (in_solid || in_facet) fail(path, "not a readable STL file (the text ends before its \"endsolid\" line)");
  return name;
}

void read_stl(const std::string& path, std::uintmax_t size, Gathered* out) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[84] = {0};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  const std::uintmax_t got = static_cast<std::uintmax_t>(in.gcount());
  // Binary when the size is exactly what the header's triangle count asks
  // for, whatever the header's text; otherwise text must start with "solid".
  const std::uintmax_t count = got == 84 ? little_endian_u32(head + 80) : 0;
  const bool binary = got == 84 && size == 84 + 50 * count;
  std::string start(reinterpret_cast<const char*>(head), static_cast<std::size_t>(got));
  start = trimmed(start);
  StlMesh mesh;
  std::string name;
  if (binary) {
    read_binary_stl(path, count, &mesh);
  } else if (start.rfind("solid", 0) == 0) {
    name = read_text_stl(path, &mesh);
  } else if (got < 84) {
    fail(path, "not a readable STL file (too short for binary STL, and not text)");
  } else {
    fail(path, "not a readable STL file (not text, and its header announces " + std::to_string(count) +
                   " triangles, " + std::to_string(84 + 50 * count) + " bytes, for a file of " +
                   std::to_string(size) + ")");
  }
  if (mesh.triangles() == 0) fail(path, "the STL file holds no triangle");
  Found f;
  f.kind = Kind::MeshBody;
  f.mesh = mesh.triangulation();
  f.name = name;
  out->bodies.push_back(f);
}

// Checks that the file is there and readable before a reader sees it, so
// the user hears what is really wrong rather than "not a readable file".
std::uintmax_t check_readable(const std::string& path) {
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (!fs::exists(st)) fail(path, "no such file");
  if (fs::is_directory(st)) fail(path, "is a folder, not a part file");
  if (!fs::is_regular_file(st)) fail(path, "is not a regular file");
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, "cannot be opened for reading (permission denied?)");
  char c = 0;
  if (!in.get(c)) fail(path, "the file is empty");
  return fs::file_size(path, ec);
}

// ---------------------------------------------------------------------------
// [SECTION] Writing

// A mesh as faces that hold only its triangles: what BREP keeps losslessly.
TopoDS_Face triangulation_face(const Handle(Poly_Triangulation)& mesh) {
  TopoDS_Face face;
  BRep_Builder().MakeFace(face, mesh);
  return face;
}

// A mesh as planar triangles, for formats that keep no bare triangulation.
// Triangles without area have no plane and are left out.
TopoDS_Shape planar_faces(const Handle(Poly_Triangulation)& mesh) {
  TopoDS_Compound c;
  BRep_Builder b;
  b.MakeCompound(c);
  for (int i = 1; i <= mesh->NbTriangles(); ++i) {
    int n1 = 0, n2 = 0, n3 = 0;
    mesh->Triangle(i).Get(n1, n2, n3);
    const gp_Pnt p1 = mesh->Node(n1), p2 = mesh->Node(n2), p3 = mesh->Node(n3);
    if (gp_Vec(p1, p2).Crossed(gp_Vec(p1, p3)).Magnitude() <= 1e-300) continue;
    BRepBuilderAPI_MakePolygon poly(p1, p2, p3, /*close=*/true);
    if (!poly.IsDone()) continue;
    BRepBuilderAPI_MakeFace face(poly.Wire(), /*onlyPlane=*/true);
    if (face.IsDone()) b.Add(c, face.Face());
  }
  return c;
}

Handle(Poly_Triangulation) facet_triangulation(const Facets& facets) {
  int triangles = 0;
  for (int i = 0; i < facets.count(); ++i)
    triangles += std::max(0, facets.start[i + 1] - facets.start[i] - 2);
  const int nodes = static_cast<int>(facets.xyz.size() / 3);
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(nodes, triangles, false, false);
  for (int i = 0; i < nodes; ++i)
    mesh->SetNode(i + 1, gp_Pnt(facets.xyz[3 * i], facets.xyz[3 * i + 1], facets.xyz[3 * i + 2]));
  int t = 0;
  for (int i = 0; i < facets.count(); ++i)
    for (int k = facets.start[i] + 1; k + 1 < facets.start[i + 1]; ++k)
      mesh->SetTriangle(++t, Poly_Triangle(facets.start[i] + 1, k + 1, k + 2));
  return mesh;
}

// A datum plane is unbounded; it is written as a square outline, 100 units
// a side about its origin, so that it shows in a viewer but is never read
// back as a face of a body.
TopoDS_Shape plane_outline(const Object& object) {
  const gp_Pln pln(object.p0, gp_Dir(object.normal));
  const gp_Vec u(pln.XAxis().Direction()), v(pln.YAxis().Direction());
  const double h = 50.0;
  const gp_Pnt o = object.p0;
  BRepBuilderAPI_MakePolygon poly(o.Translated(-h * u - h * v), o.Translated(h * u - h * v),
                                  o.Translated(h * u + h * v), o.Translated(-h * u + h * v),
                                  /*close=*/true);
  return poly.Wire();
}

// The object as the shape to write; null when it has nothing to write in
// this format.
TopoDS_Shape shape_to_write(const Object& object, bool step) {
  switch (object.kind) {
    case Kind::SolidBody:
    case Kind::SheetBody:
      return object.shape;
    case Kind::MeshBody:
      if (object.mesh.IsNull() || object.mesh->NbTriangles() == 0) return TopoDS_Shape();
      return step ? planar_faces(object.mesh) : TopoDS_Shape(triangulation_face(object.mesh));
    case Kind::Point:
      return BRepBuilderAPI_MakeVertex(object.p0).Vertex();
    case Kind::Line:
      // A line of no length is still an object of the part: keep its point.
      if (object.p0.Distance(object.p1) <= 0.0) return BRepBuilderAPI_MakeVertex(object.p0).Vertex();
      return BRepBuilderAPI_MakeEdge(object.p0, object.p1).Edge();
    case Kind::Plane:
      if (object.normal.Magnitude() <= 0.0) return TopoDS_Shape();
      return plane_outline(object);
    case Kind::FacetModel:
      // STEP has no bare triangulation, and thousands of planar faces would
      // come back as a sheet body; facet models go to BREP only.
      if (step || !object.facets || object.facets->count() == 0) return TopoDS_Shape();
      return triangulation_face(facet_triangulation(*object.facets));
    case Kind::SectionCurves:
      if (!object.section) return object.shape;
      // Curves nobody looked at are computed now; a section the kernel
      // cannot make is left out rather than failing the whole save.
      try {
        return object.section->curves();
      } catch (const Standard_Failure&) {
        return TopoDS_Shape();
      }
  }
  return TopoDS_Shape();
}

void write_brep(const Model& model, const std::string& tmp) {
  TopoDS_Compound all;
  BRep_Builder b;
  b.MakeCompound(all);
  int written = 0;
  for (Tag tag : model.tags()) {
    const TopoDS_Shape s = shape_to_write(*model.find(tag), false);
    if (s.IsNull()) continue;
    b.Add(all, s);
    ++written;
  }
  if (written == 0) throw PartError{"the part holds nothing to write"};
  if (!BRepTools::Write(all, tmp.c_str())) throw PartError{"the BREP writer failed"};
}

// The exchange document takes a shape it already holds for the same
// product, so a copy made by a move (the original's geometry under a
// placement) or a copy that was not moved at all would vanish into its
// original. Such shapes get geometry of their own, placement built in.
TopoDS_Shape standalone(const TopoDS_Shape& shape, std::set<const void*>* seen) {
  const bool shared = !seen->insert(shape.TShape().get()).second;
  if (!shared && shape.Location().IsIdentity()) return shape;
  BRepBuilderAPI_Transform op(shape.Located(TopLoc_Location()), shape.Location().Transformation(),
                              /*copy=*/true);
  if (!op.IsDone()) throw PartError{"a moved body could not be written"};
  seen->insert(op.Shape().TShape().get());
  return op.Shape();
}

void write_step(const Model& model, const std::string& tmp) {
  Handle(TDocStd_Document) doc = new_document();
  Handle(XCAFDoc_ShapeTool) tool = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
  std::set<const void*> seen;
  int written = 0;
  for (Tag tag : model.tags()) {
    const Object& object = *model.find(tag);
    TopoDS_Shape s = shape_to_write(object, true);
    if (s.IsNull()) continue;
    s = standalone(s, &seen);
    const TDF_Label label = tool->AddShape(s, /*makeAssembly=*/false);
    const std::string name = object.name.empty() ? kind_name(object.kind) : object.name;
    TDataStd_Name::Set(label, TCollection_ExtendedString(name.c_str(), /*isMultiByte=*/true));
    ++written;
  }
  if (written == 0) throw PartError{"the part holds nothing to write"};
  STEPCAFControl_Writer writer;
  writer.SetNameMode(true);
  writer.SetColorMode(false);
  writer.SetLayerMode(false);
  if (!writer.Transfer(doc, STEPControl_AsIs)) throw PartError{"the STEP writer could not translate the part"};
  if (writer.Write(tmp.c_str()) != IFSelect_RetDone) throw PartError{"the STEP writer failed"};
}

struct Extension {
  const char* text;
  PartFormat format;
  bool writable;
};
constexpr Extension kExtensions[] = {
    {".step", PartFormat::Step, true}, {".stp", PartFormat::Step, true},
    {".igs", PartFormat::Iges, false}, {".iges", PartFormat::Iges, false},
    {".brep", PartFormat::Brep, true}, {".stl", PartFormat::Stl, false},
};

// ".a, .b and .c"
std::string listed(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i)
    text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
  return text;
}

}  // namespace

PartFormat part_format(const std::string& path) {
  const std::string ext = lower_extension(path);
  for (const Extension& e : kExtensions)
    if (ext == e.text) return e.format;
  return PartFormat::Unknown;
}

std::vector<std::string> part_extensions(bool writable) {
  std::vector<std::string> out;
  for (const Extension& e : kExtensions)
    if (e.writable || !writable) out.push_back(e.text);
  return out;
}

bool read_in_millimetres(PartFormat format) {
  return format == PartFormat::Step || format == PartFormat::Iges;
}

namespace {

// Reads the file's bodies, named, in the file's order. false with the error
// line when the file cannot be read.
bool read_bodies(const std::string& path, std::vector<Object>* bodies, std::string* error) {
  try {
    KernelQuiet quiet;
    const std::string ext = lower_extension(path);
    const PartFormat format = part_format(path);
    if (format == PartFormat::Unknown)
      fail(path, (ext.empty() ? std::string("the file name has no extension")
                              : "unknown part file extension \"" + ext + "\"") +
                     " (the host reads " + listed(part_extensions()) + ")");
    const std::uintmax_t size = check_readable(path);

    Gathered found;
    try {
      if (format == PartFormat::Step) read_step(path, &found, quiet);
      else if (format == PartFormat::Iges) read_iges(path, &found, quiet);
      else if (format == PartFormat::Brep) read_brep(path, &found);
      else read_stl(path, size, &found);
    } catch (const Standard_Failure& e) {
      const char* what = e.GetMessageString();
      fail(path, std::string("the geometry kernel failed to read it") +
                     (what && *what ? std::string(" (") + one_line(what) + ")" : ""));
    } catch (const std::bad_alloc&) {
      fail(path, "the file asks for more memory than there is (damaged?)");
    }

    if (!found.free_faces.empty()) {
      TopoDS_Compound sheet;
      BRep_Builder b;
      b.MakeCompound(sheet);
      for (const TopoDS_Shape& face : found.free_faces) b.Add(sheet, face);
      Found f;
      f.kind = Kind::SheetBody;
      f.shape = sheet;
      if (!found.unnamed_free_faces && found.free_face_names.size() == 1)
        f.name = *found.free_face_names.begin();
      found.bodies.push_back(f);
    }
    if (found.bodies.empty()) fail(path, "the file holds no solid, surface or triangle to measure");

    const std::string stem = fs::path(path).stem().string();
    for (std::size_t i = 0; i < found.bodies.size(); ++i) {
      Found& f = found.bodies[i];
      Object object;
      object.kind = f.kind;
      object.name = f.name.empty() ? stem + " " + std::to_string(i + 1) : f.name;
      object.shape = f.shape;
      object.mesh = f.mesh;
      bodies->push_back(std::move(object));
    }
    return true;
  } catch (const PartError& e) {
    *error = e.text;
  } catch (const Standard_Failure& e) {
    *error = path + ": the geometry kernel failed (" + one_line(e.GetMessageString()) + ")";
  } catch (const std::exception& e) {
    *error = path + ": " + one_line(e.what());
  }
  return false;
}

}  // namespace

// The kernel reads in a child process: a file that makes it crash or run on
// costs the child, not the host, and the bodies come back packed.
bool load_part(const std::string& path, Model& model, std::string* error) {
  std::error_code ec;
  const std::uintmax_t bytes = fs::file_size(path, ec);
  const double limit = read_time_limit(ec ? 0 : bytes);
  std::string answer;
  const ChildEnd end = run_in_child(
      [&path]() {
        std::vector<Object> bodies;
        std::string failure;
        return read_bodies(path, &bodies, &failure) ? "B" + pack_bodies(bodies) : "E" + failure;
      },
      limit, &answer, "reading " + path);
  std::string failure;
  std::vector<Object> bodies;
  if (!end.answered)
    failure = path + ": cannot be read: the geometry kernel " + describe_child_end(end, "reading it", limit);
  else if (!answer.empty() && answer[0] == 'E')
    failure = answer.substr(1);
  else if (answer.empty() || !unpack_bodies(answer.substr(1), &bodies))
    failure = path + ": cannot be read: the process that read it gave back bodies the host cannot unpack";
  if (!failure.empty()) {
    if (error) *error = failure;
    return false;
  }
  for (Object& object : bodies) model.add(std::move(object));
  return true;
}

void warm_up_part_readers() {
  static bool warm = false;
  if (warm) return;
  warm = true;
  try {
    KernelQuiet quiet;
    STEPCAFControl_Reader step;
    IGESCAFControl_Reader iges;
    const Handle(TDocStd_Document) doc = new_document();
  } catch (const Standard_Failure&) {
    // Nothing is lost: each reading initialises what it needs, and says so
    // if it cannot.
  }
}

bool save_part(const Model& model, const std::string& path, const std::string& input_path,
               std::string* error) {
  try {
    KernelQuiet quiet;
    const std::string ext = lower_extension(path);
    const PartFormat format = part_format(path);
    if (format != PartFormat::Brep && format != PartFormat::Step)
      throw PartError{(ext.empty() ? std::string("the file name has no extension")
                                   : "cannot save with the extension \"" + ext + "\"") +
                      " (the host writes " + listed(part_extensions(true)) + ")"};
    std::error_code ec;
    const fs::path dest = fs::absolute(path);
    if (!input_path.empty() && same_file(path, input_path))
      throw PartError{"refusing to write over the part file that was opened"};
    const fs::path folder = dest.parent_path();
    if (!fs::is_directory(folder, ec)) throw PartError{"the folder " + folder.string() + " does not exist"};
    if (fs::is_directory(dest, ec)) throw PartError{"is a folder"};

    KernelWork work("saving the part");
    const auto write = [&](const std::string& tmp, std::string* why) {
      try {
        OCC_CATCH_SIGNALS
        if (format == PartFormat::Brep) write_brep(model, tmp);
        else write_step(model, tmp);
        return true;
      } catch (const Standard_Failure& e) {
        *why = std::string(is_fault_signal(e) ? "the geometry kernel crashed writing it ("
                                              : "the geometry kernel failed to write it (") +
               one_line(e.GetMessageString()) + ")";
      } catch (const PartError& e) {
        *why = e.text;
      }
      return false;
    };
    std::string why;
    if (!write_atomically(path, write, &why)) {
      if (error) *error = why;
      return false;
    }
    return true;
  } catch (const PartError& e) {
    if (error) *error = path + ": " + e.text;
  } catch (const std::exception& e) {
    if (error) *error = path + ": " + one_line(e.what());
  }
  return false;
}

}  // namespace ufhost
