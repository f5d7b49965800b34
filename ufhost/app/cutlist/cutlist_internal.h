// Inside `ufhost cutlist`, in the order a cut list goes:
//   cutlist.cpp        its options and the subcommand
//   cutlist_parts.cpp  the pieces of every file sorted into parts, each part
//                      measured by the plug-in in a run of its own
//   cutlist_rows.cpp   parts grouped into rows, allowances, stock, the
//                      shopping list; the table, CSV, JSON and the optimiser's CSV
//   cutlist_page.cpp   the printable page with each row's picture
//   stock.cpp          the stock catalogue and fitting
// Only these files and their tests include this header.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ufhost/app/batch/batch.h"
#include "ufhost/app/measure/measure_internal.h"
#include "ufhost/app/cutlist/stock.h"
#include "ufhost/enclosing/cylinder.h"
#include "ufhost/geom/mass.h"
#include "ufhost/model/model.h"

namespace ufhost::app {

// [SECTION] Options

enum class Orientation { Modelled, Turned, Best };
const char* orientation_name(Orientation orientation);

struct CutlistOptions {
  Orientation orientation = Orientation::Best;
  double group_tolerance = -1;  // < 0: from the parts' exactness
  double allowance[3] = {0, 0, 0};  // added on each side of L, W, T
  std::string stock;                // "", "default" or a file
  std::vector<StockFamily> prefer;  // --prefer: only these families; empty: all
  double round_up = 0;
  std::string csv, json, optimizer, html;
  MeasureOptions run;  // -j, --timeout, --plugin, --kernel-timeout, --progress, --out-dir, the files
};

bool parse_cutlist_options(const std::vector<std::string>& args, CutlistOptions* options,
                           bool* help, std::string* error);
std::string cutlist_usage();

// [SECTION] Parts

// One blank as the plug-in measured it.
struct Blank {
  bool measured = false;
  double lengths[3] = {0, 0, 0};  // along X, Y, Z as the command gave them
  double sorted[3] = {0, 0, 0};   // L >= W >= T
  double exactness = 0;
  double noise[3] = {0, 0, 0};    // per sorted size: within this of a stock size counts as it
  double degrees[4] = {0, 0, 0, 0};  // turned: about Z, Y, X and Z again
  double volume() const { return sorted[0] * sorted[1] * sorted[2]; }
};

// A part: every piece that is an instance of one product, or a body equal
// to another up to placement; measured once.
struct Part {
  std::string label;     // the first piece's name, for messages and files
  std::string file;      // the first piece's file
  std::string material;
  Object body;           // in its own frame
  BodyFacts facts;
  std::map<std::pair<std::string, std::string>, int> names;  // (name, file): pieces
  int quantity = 0;
  std::string units;
  std::string brep;      // the part alone, as its run opens it
  std::string error;     // why it has no blank, "" once measured
  Blank modelled, turned;
  Orientation chosen = Orientation::Modelled;
  const Blank& blank() const { return chosen == Orientation::Turned ? turned : modelled; }
  // Where the part has them: the least bar, by volume, that holds it, and
  // the hexagon about the same axis (for round and hexagonal bar).
  bool has_cylinder = false, has_hexagon = false;
  Cylinder cylinder;
  Hexagon hexagon;
  std::string picture;   // SVG, when the page asks for one
};

// A file that gave no part: why.
struct FileError {
  std::string file, error;
};

// Reads every file's pieces and sorts them into parts. Files that cannot be
// read, or hold no solid, go to `errors`.
void gather_parts(const CutlistOptions& options, std::vector<Part>* parts,
                  std::vector<FileError>* errors);

// The answers a part's run is given for `orientation`; the search saves its
// log at `log`.
std::vector<std::string> cutlist_answers(Orientation orientation, const std::string& log);

// Writes each part alone to its file in `dir` and measures it in a run of
// its own, options.run.jobs at a time; fills the blanks or the error.
void measure_parts(const CutlistOptions& options, const std::string& dir, std::vector<Part>* parts);

// Reads what a part's run left (its transcript, search log and report) into
// its blanks, and chooses its orientation. "" or why it has no blank.
std::string read_part_run(const Job& job, int wait_status, const CutlistOptions& options, Part* part);

// Chooses the orientation: as asked, or for `best` the smaller blank by
// volume, as modelled unless turned is smaller by more than its noise.
void choose_orientation(Orientation asked, Part* part);

// [SECTION] Rows

// What stock a row is cut from: rectangular (flat, square, plate, sheet; and
// a row no stock holds), round or hexagonal bar.
enum class BarKind { Rect, Round, Hex };

struct CutRow {
  std::vector<const Part*> parts;
  int quantity = 0;
  std::string material;
  BarKind kind = BarKind::Rect;
  // Round and hexagonal rows: the largest of their parts' cylinders and
  // hexagons (the first part's axis), and how exact they are.
  bool has_cylinder = false, has_hexagon = false;
  double diameter = 0, cylinder_length = 0, across_flats = 0, hexagon_length = 0;
  double shape_exactness = 0;
  double blank[3] = {0, 0, 0};  // L, W, T: the largest of its parts'
  double exactness = 0;
  double noise[3] = {0, 0, 0};
  double with_allowance[3] = {0, 0, 0};
  bool has_rounded = false;
  double rounded[3] = {0, 0, 0};
  bool has_stock = false;
  StockCut stock;
  std::string orientation;  // "modelled", "turned" or "mixed"
};

struct ShoppingLine {
  const StockItem* item = nullptr;
  std::string material;
  int pieces = 0;
  double length = 0;  // bars: mm
  double area = 0;    // sheets and plates: mm^2
  double mass = 0;    // kg, when the catalogue gives a density
};

// The tolerance two blanks are grouped within.
double group_tolerance(const CutlistOptions& options, double exactness_a, double exactness_b);

// Groups the measured parts into rows (blanks within the grouping tolerance,
// the same material), adds the allowance and rounding, and fits stock. The
// rows point into `parts` and `catalogue`, which must outlive them.
std::vector<CutRow> make_rows(const std::vector<Part>& parts, const CutlistOptions& options,
                           const std::vector<StockItem>& catalogue);
std::vector<ShoppingLine> shopping_list(const std::vector<CutRow>& rows);

std::string cutlist_table(const std::vector<CutRow>& rows, const std::vector<ShoppingLine>& shopping,
                          const std::vector<std::string>& errors, const CutlistOptions& options);
std::string cutlist_csv(const std::vector<CutRow>& rows, const CutlistOptions& options);
std::string optimizer_csv(const std::vector<CutRow>& rows);
nlohmann::json cutlist_json(const std::vector<CutRow>& rows, const std::vector<ShoppingLine>& shopping,
                            const std::vector<std::string>& errors, const CutlistOptions& options);

// "spacer ×3, spacer (from the supplier) ×1", each name with its file in
// parentheses when `with_files`.
std::string names_text(const CutRow& row, bool with_files = false);
// "⌀40.000000 × 150.000000" for a round row, "hex 17.000000 × 8.000000"
// for a hexagonal one, "-" for others.
std::string bar_text(const CutRow& row);
// "200 × 100 × 10"
std::string sizes_text(const double sizes[3]);

// [SECTION] Page

// Works out each measured part's enclosing cylinder and hexagon and, with
// `pictures`, draws it in its blank's orientation with the blank about it:
// kernel work, in a process of its own for each part, where a fault or a
// run-on costs that part's cylinder or picture and a warning.
void shape_parts(std::vector<Part>* parts, bool pictures);

// The directions of the edges of the part's blank, in its own frame.
std::vector<gp_Dir> blank_edges(const Part& part);

std::string cutlist_page(const std::vector<CutRow>& rows, const std::vector<ShoppingLine>& shopping,
                         const std::vector<std::string>& errors, const CutlistOptions& options);

}  // namespace ufhost::app
