// STEP and IGES, read through the kernel's exchange document: assemblies
// walked down to their parts, each named after its product.
#include <IFSelect_ReturnStatus.hxx>
#include <IGESCAFControl_Reader.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <TCollection_AsciiString.hxx>
#include <TDF_Label.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDF_Tool.hxx>
#include <TDataStd_Name.hxx>
#include <TDataStd_TreeNode.hxx>
#include <XCAFDoc.hxx>
#include <XCAFDoc_MaterialTool.hxx>
#include <TopLoc_Location.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "ufhost/parts/part_io_internal.h"

namespace ufhost::part_files {

namespace {

// The label's name in UTF-8, "" when it has none.
std::string label_name(const TDF_Label& label) {
  Handle(TDataStd_Name) name;
  if (label.IsNull() || !label.FindAttribute(TDataStd_Name::GetID(), name)) return "";
  return trim(TCollection_AsciiString(name->Get()).ToCString());
}

// The name of the material the file gives the product, "" when none.
std::string material_of(const TDF_Label& label) {
  Handle(TDataStd_TreeNode) node;
  if (!label.FindAttribute(XCAFDoc::MaterialRefGUID(), node) || !node->HasFather()) return "";
  Handle(TCollection_HAsciiString) name, description, density_name, density_type;
  double density = 0;
  if (!XCAFDoc_DocumentTool::MaterialTool(label)->GetMaterial(
          node->Father()->Label(), name, description, density, density_name, density_type) ||
      name.IsNull())
    return "";
  return trim(name->ToCString());
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
  TCollection_AsciiString entry;
  TDF_Tool::Entry(label, entry);
  gather_item(shape, name, out, Origin{entry.ToCString(), loc, material_of(label)});
}

}  // namespace

Handle(TDocStd_Document) new_document() {
  return new TDocStd_Document("BinXCAF");
}

namespace {

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

}  // namespace

namespace {

// The readers run only in the child a part file is read in (load_part,
// load_pieces), which ends as soon as it has handed the bodies back: a
// reader and its document are left to that end, since taking them apart
// piece by piece costs a sixth of reading a small part.
template <class T>
T& left_to_the_end(T* object) {
  return *object;
}

}  // namespace

void read_step(const std::string& path, Gathered* out, const KernelQuiet& quiet) {
  STEPCAFControl_Reader& reader = left_to_the_end(new STEPCAFControl_Reader);
  reader.SetNameMode(true);
  reader.SetColorMode(false);
  reader.SetLayerMode(false);
  reader.SetPropsMode(false);
  reader.SetGDTMode(false);
  reader.SetMatMode(true);
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

namespace {

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

}  // namespace

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

}  // namespace ufhost::part_files
