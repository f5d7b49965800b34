// What a cutting plan is asked for, as the command line and files give it:
// the pieces CSV that cut optimisers import, stock as --bar and --sheet
// write it, and the offcuts at hand.
#pragma once

#include <string>
#include <vector>

#include "ufhost/plan/plan.h"

namespace ufhost::app {

// Pieces of bar and of sheet, apart: each kind is planned on its own stock.
struct PlanPieces {
  std::vector<plan::Piece> bars, sheets;
};

// Reads `Length,Width,Qty,Label,Enabled` lines (the header line names the
// columns, in any order; Width, Label and Enabled may be left out). A piece
// with no width, or every piece with `all_bars`, is a piece of bar; a line
// whose Enabled is false is left out; sheet pieces may turn when
// `may_turn`. Lengths in millimetres, rounded up to whole micrometres.
// false with the file and line of the first thing wrong.
bool read_pieces(const std::string& path, bool all_bars, bool may_turn, PlanPieces* pieces,
                 std::string* error);
// The same from text; `name` is how messages call it.
bool parse_pieces(const std::string& text, const std::string& name, bool all_bars, bool may_turn,
                  PlanPieces* pieces, std::string* error);

// "6000", "6000:4", "6000@45.90", "6000:4@45.90": a bar length, how many
// there are (else as many as wanted) and the price of one.
bool parse_bar_stock(const std::string& text, plan::Stock* stock, std::string* error);
// "2500x1250[:COUNT][@PRICE]": a sheet format.
bool parse_sheet_stock(const std::string& text, plan::Stock* stock, std::string* error);

// Offcuts at hand: `Length,Width,Qty[,Label]` lines, a bar's with no width;
// each is stock that costs nothing and is used first where it helps.
bool read_offcuts(const std::string& path, std::vector<plan::Stock>* bars,
                  std::vector<plan::Stock>* sheets, std::string* error);

}  // namespace ufhost::app
