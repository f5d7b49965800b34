// Part files in and out.
//
// Loading gathers every body first and adds them to the model only when the
// whole file has been read, so a file that fails halfway leaves the part as
// it was. Saving writes a temporary file beside the destination and renames
// it, so a reader never sees a half-written part. The readers of each format
// and the writers are in part_*.cpp (part_io_internal.h).
#include "ufhost/parts/part_io.h"

#include <BRep_Builder.hxx>
#include <IGESCAFControl_Reader.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <Standard_ErrorHandler.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS_Compound.hxx>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <new>
#include <nlohmann/json.hpp>

#include "ufhost/model/body_pack.h"
#include "ufhost/kernel/containment.h"
#include "ufhost/base/files.h"
#include "ufhost/parts/part_io_internal.h"

namespace fs = std::filesystem;

namespace ufhost {

using namespace part_files;

namespace {

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

void part_files::read_found(const std::string& path, Gathered* found) {
  KernelQuiet quiet;
  const std::string ext = lower_extension(path);
  const PartFormat format = part_format(path);
  if (format == PartFormat::Unknown)
    fail(path, (ext.empty() ? std::string("the file name has no extension")
                            : "unknown part file extension \"" + ext + "\"") +
                   " (the host reads " + listed(part_extensions()) + ")");
  const std::uintmax_t size = check_readable(path);
  try {
    if (format == PartFormat::Step) read_step(path, found, quiet);
    else if (format == PartFormat::Iges) read_iges(path, found, quiet);
    else if (format == PartFormat::Brep) read_brep(path, found);
    else read_stl(path, size, found);
  } catch (const Standard_Failure& e) {
    const char* what = e.GetMessageString();
    fail(path, std::string("the geometry kernel failed to read it") +
                   (what && *what ? std::string(" (") + one_line(what) + ")" : ""));
  } catch (const std::bad_alloc&) {
    fail(path, "the file asks for more memory than there is (damaged?)");
  }
  if (!found->free_faces.empty()) {
    TopoDS_Compound sheet;
    BRep_Builder b;
    b.MakeCompound(sheet);
    for (const TopoDS_Shape& face : found->free_faces) b.Add(sheet, face);
    Found f;
    f.kind = Kind::SheetBody;
    f.shape = sheet;
    if (!found->unnamed_free_faces && found->free_face_names.size() == 1)
      f.name = *found->free_face_names.begin();
    found->bodies.push_back(f);
  }
  if (found->bodies.empty()) fail(path, "the file holds no solid, surface or triangle to measure");
  // Bodies without a name of their own are called after the file and their
  // place in it, as --list numbers them.
  const std::string stem = fs::path(path).stem().string();
  for (std::size_t i = 0; i < found->bodies.size(); ++i)
    if (found->bodies[i].name.empty()) found->bodies[i].name = stem + " " + std::to_string(i + 1);
}

namespace part_files {

Object object_of(const Found& f, const TopoDS_Shape& shape) {
  Object object;
  object.kind = f.kind;
  object.name = f.name;
  object.shape = shape;
  object.mesh = f.mesh;
  return object;
}

bool read_in_child(const std::string& path, double more, const std::function<std::string()>& read,
                   std::string* packed, std::string* error) {
  std::error_code ec;
  const std::uintmax_t bytes = fs::file_size(path, ec);
  const double reading = read_time_limit(ec ? 0 : bytes);
  const double limit = reading > 0 ? reading + more : 0;
  std::string answer;
  const ChildEnd end = run_in_child(
      [&]() {
        try {
          return read();
        } catch (const PartError& e) {
          return "E" + e.text;
        } catch (const Standard_Failure& e) {
          return "E" + path + ": the geometry kernel failed (" + one_line(e.GetMessageString()) + ")";
        } catch (const std::exception& e) {
          return "E" + path + ": " + one_line(e.what());
        }
      },
      limit, &answer, "reading " + path);
  std::string failure;
  if (!end.answered)
    failure = path + ": cannot be read: the geometry kernel " + describe_child_end(end, "reading it", limit);
  else if (!answer.empty() && answer[0] == 'E')
    failure = answer.substr(1);
  else if (answer.empty())
    failure = path + ": cannot be read: the process that read it gave back nothing";
  if (!failure.empty()) {
    if (error) *error = failure;
    return false;
  }
  *packed = answer.substr(1);
  return true;
}

}  // namespace part_files

// The kernel reads in a child process: a file that makes it crash or run on
// costs the child, not the host, and the bodies come back packed.
bool load_part(const std::string& path, Model& model, std::string* error) {
  std::string packed;
  const bool read = read_in_child(
      path, 0,
      [&path]() {
        Gathered found;
        read_found(path, &found);
        std::vector<Object> bodies;
        for (const Found& f : found.bodies) bodies.push_back(object_of(f, f.shape));
        return "B" + pack_bodies(bodies);
      },
      &packed, error);
  if (!read) return false;
  std::vector<Object> bodies;
  if (!unpack_bodies(packed, &bodies)) {
    if (error) *error = path + part_files::kUnpackable;
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
