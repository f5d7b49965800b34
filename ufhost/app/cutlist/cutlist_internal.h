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
#include "ufhost/app/batch/commands.h"
#include "ufhost/app/batch/jsonl.h"
#include "ufhost/app/batch/run_folder.h"
#include "ufhost/app/plan/plan_command.h"
#include "ufhost/app/plan/plan_report.h"
#include "ufhost/app/stock/stock.h"
#include "ufhost/geom/cylinder.h"
#include "ufhost/geom/mass.h"
#include "ufhost/parts/pieces.h"
#include "ufhost/model/model.h"

namespace ufhost::app {

// [SECTION] Options

enum class Orientation { Modelled, Turned, Best };
const char* orientation_name(Orientation orientation);

// A file of the order, once however often it was given, with how many of it
// the order builds (FILE:N on the command line, --order).
struct OrderedFile {
  std::string given;  // as the user wrote it
  std::string path;   // absolute, the name lines of --jsonl know it by
  int ordered = 1;
};

struct CutlistOptions {
  Orientation orientation = Orientation::Best;
  double group_tolerance = -1;  // < 0: from the parts' exactness
  double allowance[3] = {0, 0, 0};  // added on each side of L, W, T
  std::string stock;                // "", "default" or a file
  std::vector<StockFamily> prefer;  // --prefer: only these families; empty: all
  double round_up = 0;
  std::string csv, json, optimizer, html;
  std::vector<OrderedFile> files;  // the command line's, --files-from's and --order's
  std::string order;               // --order FILE
  bool merge = false;              // the operands are --jsonl files of measured parts
  bool plan = false;           // --plan: stock that comes in standard sizes is planned in them
  PlanSettings plan_settings;  // --kerf, --trim, --turn, --stages, --time-limit
  BatchOptions run;  // -j, --timeout, --plugin, --kernel-timeout, --progress, --out-dir, the files
};

bool parse_cutlist_options(const std::vector<std::string>& args, CutlistOptions* options,
                           bool* help, std::string* error);

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

// How many pieces of a name one copy of its file holds, and how many copies
// the order builds.
struct PieceCount {
  int per_file = 0;
  int ordered = 1;
  int total() const { return per_file * ordered; }
};

// A part: every piece that is an instance of one product, or a body equal
// to another up to placement, in one file or across files; measured once.
struct Part {
  std::string label;     // the first piece's name, for messages and files
  std::string file;      // the first piece's file, as given
  std::string path;      // the same, absolute
  std::string product;   // the first piece's product in that file, "" for none
  std::string material;
  Object body;           // in its own frame; empty when only a --jsonl line tells of it
  BodyFacts facts;
  std::map<std::pair<std::string, std::string>, PieceCount> names;  // (name, file): pieces
  int quantity = 0;      // in the whole order
  std::string units;
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

// [SECTION] The order

// The files of the order from the operands (FILE or FILE:N) and --order's
// CSV (file,quantity; paths relative to the CSV's folder): each file once,
// its quantities added. false with a one-line message.
bool order_files(CutlistOptions* options, std::string* error);

// [SECTION] Lines of --jsonl

// A file as a line of --jsonl tells of it: its pieces, without bodies.
struct FileLine {
  OrderedFile file;
  std::string units;
  std::string error;  // why it gave no pieces
  int sheets = 0;
  std::vector<Piece> pieces;
};
// What --jsonl files say: files read and parts measured, in their order.
struct CutlistLines {
  std::vector<FileLine> files;
  std::vector<nlohmann::json> parts;  // lines of kind "part"
  std::size_t torn_at = std::string::npos;
};
// Reads the lines of one --jsonl file into `lines` (adding to what is there).
bool read_cutlist_lines(const std::string& path, CutlistLines* lines, std::string* error);
nlohmann::json file_line(const FileLine& file);
// A part's line: its identity, both blanks, the orientation asked for and
// chosen, its cylinder, hexagon and picture, or its error.
nlohmann::json part_line(const Part& part, Orientation asked);
// Takes the measurement the last good line of `lines` gives for `part` (the
// same product of the same file, or a body equal up to placement) when it
// was measured for the same --orientation.
bool measured_before(const CutlistLines& lines, Orientation asked, Part* part);

// [SECTION] Parts

// Where gathered parts come from and go: lines read before (--resume,
// --merge), and where new ones are written (--jsonl).
struct PartSink {
  JsonlWriter* writer = nullptr;  // null: no --jsonl
  bool failed = false;            // a line could not be written; said once
  void write(const nlohmann::json& line);
};

// Reads every file's pieces (or takes them from `known`'s line for the
// file) and sorts them into parts, counting each file's pieces as often as
// it is ordered. Files that cannot be read, or hold no solid, go to
// `errors`; every file read is written to `sink`.
void gather_parts(const std::vector<OrderedFile>& files, const CutlistLines& known, PartSink* sink,
                  std::vector<Part>* parts, std::vector<FileError>* errors);

// Reads again the files that hold a part that has no measurement and no
// body (the line of its file was read instead), for its body.
void fetch_bodies(std::vector<Part>* parts);

// The commands a part's run does for `orientation`: the extents for the
// blank as modelled, the search for the turned one.
std::vector<Command> cutlist_commands(Orientation orientation);

// Measures each part not measured yet alone in a run of its own, forked
// from this process with the part's body in memory, options.run.jobs at a
// time, keeping the runs' files in `dir`; fills the blanks or the error,
// works out its cylinder and hexagon (and with `pictures` its picture) and
// writes its line to `sink` the moment it is done.
void measure_parts(const CutlistOptions& options, const std::string& dir, bool pictures, PartSink* sink,
                   std::vector<Part>* parts);

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
  // What to buy: the plan's whole sizes ("2 × 6000"), or cut to size; and
  // what it costs, where the catalogue gives prices.
  int plan = -1;      // index of its plan, or -1: bought cut to size
  std::string buy = "cut to size";
  bool priced = false;
  plan::Money cost = 0;
};

// The tolerance two blanks are grouped within.
double group_tolerance(const CutlistOptions& options, double exactness_a, double exactness_b);

// Groups the measured parts into rows (blanks within the grouping tolerance,
// the same material), adds the allowance and rounding, and fits stock. The
// rows point into `parts` and `catalogue`, which must outlive them.
std::vector<CutRow> make_rows(const std::vector<Part>& parts, const CutlistOptions& options,
                           const std::vector<StockItem>& catalogue);
std::vector<ShoppingLine> shopping_list(const std::vector<CutRow>& rows);

// [SECTION] Plans

// With --plan, a plan for each shopping line whose stock comes in standard
// sizes: its rows' cuts in those sizes, each row's pieces labelled with the
// row's number. Fills each line's buy and cost (cut-to-size lines too).
std::vector<PlanJob> plan_shopping(const std::vector<CutRow>& rows, std::vector<ShoppingLine>* shopping,
                                   const CutlistOptions& options);

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

// Works out a measured part's enclosing cylinder and hexagon and, with
// `picture`, draws it in its blank's orientation with the blank about it:
// kernel work, in a process of its own, where a fault or a run-on costs the
// part's cylinder or picture and a warning.
void shape_part(Part* part, bool picture);

// A part's cylinder, hexagon and picture as JSON (as the shaping child hands
// them back and --jsonl keeps them), and back: false with why when a figure
// is missing or out of place (a direction of no length).
nlohmann::json shapes_json(const Part& part);
bool take_shapes(const nlohmann::json& shapes, Part* part, std::string* error);

// The directions of the edges of the part's blank, in its own frame.
std::vector<gp_Dir> blank_edges(const Part& part);

std::string cutlist_page(const std::vector<CutRow>& rows, const std::vector<ShoppingLine>& shopping,
                         const std::vector<PlanJob>& plans, const std::vector<std::string>& errors,
                         const CutlistOptions& options);

}  // namespace ufhost::app
