// BREP files, checked before the kernel's parser sees them.
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <TopoDS_Iterator.hxx>

#include <cctype>
#include <cstdlib>
#include <fstream>

#include "ufhost/parts/part_io_internal.h"

namespace ufhost::part_files {

namespace {

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

}  // namespace

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

}  // namespace ufhost::part_files
