// Standard stock: a catalogue of the sheets, plates and bars a workshop
// orders, and which item holds a blank with the least material.
//
// The catalogue is CSV (docs/cutlist.md): a header naming the columns, then
// one line an item or a series of items; lines starting with '#' are notes.
//
//   family       sheet, plate, flat, square, round or hex
//   designation  how the item is called; empty: made from the family and
//                sizes ("plate 10", "flat 20 × 60")
//   size_1       the thickness (sheet, plate, flat), the side (square), the
//                diameter (round), the width across flats (hex); several
//                sizes separated by blanks make one item each
//   size_2       the width of a flat bar (several: one item for each
//                thickness and each larger width)
//   lengths      what can be bought, blank-separated: "cut" for cut to length
//                (bars) or to size (sheets, plates) by the merchant; bars'
//                standard lengths ("6000"); sheets' and plates' formats
//                ("1000x2000"). A standard size may carry its price per piece
//                after an @ ("6000@45.90")
//   price        what cut to size costs: per metre of bar ("7.20/m") or per
//                square metre of sheet or plate ("95/m2"); a standard size
//                without a price of its own costs this times its size
//   minus        how much smaller than its size the cross-section may be
//                delivered (a bright bar to h9, say); default 0
//   material     the material the items are of; empty: any
//   density      kg/m^3, for the mass in the shopping list; empty: none
//   source       the standard or list the sizes come from
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ufhost/plan/plan.h"

namespace ufhost::app {

enum class StockFamily { Flat, Square, Round, Hex, Plate, Sheet };

// "flat", "square", ...; and back, false for a word that is none.
const char* family_name(StockFamily family);
bool family_of(const std::string& word, StockFamily* family);
// Bars are cut to a length; sheets and plates to a length and a width.
bool is_bar(StockFamily family);

// A length or format stock is bought in whole, and its price.
struct StandardSize {
  double length = 0;  // mm; a format's longer side
  double width = 0;   // sheets and plates: the shorter side; bars: 0
  plan::Length length_um = 0, width_um = 0;  // the same, read exactly
  bool priced = false;
  plan::Money price = 0;  // per piece
};

struct StockItem {
  StockFamily family = StockFamily::Plate;
  std::string designation;
  double size_1 = 0;  // see the columns above
  double size_2 = 0;  // flat bars: the width
  bool any_length = true;  // cut to length (bars) or to size (sheets, plates)
  std::vector<StandardSize> standard;  // whole lengths or formats, as listed
  bool cut_priced = false;
  plan::Money cut_price = 0;  // per metre of bar, or per square metre of sheet or plate
  double minus = 0;
  std::string material;
  double density = 0;  // 0: not given
  std::string source;
  int line = 0;        // in the catalogue, for messages
};

// What a piece of stock `length` long (and `width` wide, for sheets and
// plates) costs: its standard size's own price, else the price of cutting
// it to size. false when the catalogue gives none.
bool price_of(const StockItem& item, double length, double width, plan::Money* price);

// The item's standard lengths or formats as stock to plan in, as many as
// wanted, each priced as price_of says (unpriced where the catalogue gives
// no price).
std::vector<plan::Stock> standard_stock(const StockItem& item);

// Reads a catalogue's text. false with a message naming the line of the
// first thing wrong; `name` is how messages call the catalogue.
bool parse_catalogue(const std::string& text, const std::string& name,
                     std::vector<StockItem>* items, std::string* error);
// Reads the file, or the shipped default catalogue for "default".
bool load_catalogue(const std::string& file, std::vector<StockItem>* items, std::string* error);

// What a blank needs of stock: its sizes L >= W >= T with the allowance,
// how much each may exceed a stock size and still count as it (the
// measuring's noise), the step cuts are rounded up to, and, for turned
// parts, its enclosing cylinder and hexagon (0 when it has none).
struct StockNeed {
  double sizes[3] = {0, 0, 0};
  double noise[3] = {0, 0, 0};
  double cut_step = 1;
  std::string material;
  double diameter = 0, cylinder_length = 0, cylinder_noise = 0;
  double across_flats = 0, hexagon_length = 0, hexagon_noise = 0;
};

// How a blank is cut from one stock item.
struct StockCut {
  const StockItem* item = nullptr;
  double cut[2] = {0, 0};  // bars: the length; sheets and plates: length and width
  double volume = 0;       // of stock used for one piece (cross-section or thickness times the cut)
  std::string text;        // "plate 10: 204 × 104", "flat 20 × 60: 154 long"
};

// The cut of `item` that holds `need`, or false when it cannot.
bool fit(const StockItem& item, const StockNeed& need, StockCut* cut);

// Of the items (of the families in `only`, unless it is empty), the one that
// holds `need` with the least material per piece; on a tie, a bar before a
// plate and the earlier line. Items of the part's own material come first:
// items of any material only when none of those fits. false when none fits.
bool choose_stock(const std::vector<StockItem>& items, const StockNeed& need,
                  const std::vector<StockFamily>& only, StockCut* cut);

}  // namespace ufhost::app
