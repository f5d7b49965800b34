// STL files, binary and text, read here rather than by the kernel.
#include <array>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include <gp_Pnt.hxx>

#include "ufhost/parts/part_io_internal.h"

namespace ufhost::part_files {

namespace {

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
        name = trim(name);
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

}  // namespace

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
  start = trim(start);
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

}  // namespace ufhost::part_files
