#include "ufhost/app/plan/plan_input.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <sstream>

#include "ufhost/base/files.h"
#include "ufhost/base/text.h"
#include "ufhost/plan/units.h"

namespace ufhost::app {

namespace {

using Columns = std::map<std::string, std::size_t>;

// The header's columns by name in lower case; "" or what is wrong.
std::string read_columns(const std::vector<std::string>& fields, const std::vector<std::string>& known,
                         Columns* columns) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string name = lower(fields[i]);
    if (std::find(known.begin(), known.end(), name) == known.end())
      return "unknown column \"" + fields[i] + "\" (the columns are " + joined(known, ", ") + ")";
    (*columns)[name] = i;
  }
  if (!columns->count("length") || !columns->count("qty")) return "the header names no Length or no Qty";
  return "";
}

std::string field(const std::vector<std::string>& fields, const Columns& columns, const char* name) {
  const auto at = columns.find(name);
  return at == columns.end() || at->second >= fields.size() ? std::string() : fields[at->second];
}

bool whole_number(const std::string& text, std::int64_t* value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return !text.empty() && ec == std::errc() && ptr == end;
}

// A quantity, 0 to a million. "" or what is wrong.
std::string read_quantity(const std::string& text, std::int64_t* quantity) {
  if (!whole_number(text, quantity) || *quantity < 0 || *quantity > plan::kMaxQuantity)
    return "Qty \"" + text + "\": give a whole number from 0 to 1000000";
  return "";
}

// A length of a piece: millimetres, more than 0 and at most 100 m, rounded
// up to whole micrometres, so that a planned piece is never smaller.
std::string read_length(const std::string& column, const std::string& text, plan::Length* length) {
  const auto value = plan::parse_millimetres(text, plan::Rounding::kUp);
  if (!value || *value <= 0) return column + " \"" + text + "\": give millimetres, more than 0, at most 100000";
  *length = *value;
  return "";
}

// Calls `line` with the fields of each line after the header, until it says
// what is wrong. false with the message.
template <class Line>
bool each_line(const std::string& text, const std::string& name, const std::vector<std::string>& known,
               Line line, std::string* error) {
  std::istringstream in(text);
  std::string raw;
  int number = 0;
  Columns columns;
  while (std::getline(in, raw)) {
    ++number;
    if (number == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);  // a spreadsheet's mark
    if (trim(raw).empty() || trim(raw)[0] == '#') continue;
    std::vector<std::string> fields;
    std::string why;
    if (!csv_fields(raw, &fields)) why = "a quote is not closed";
    else if (columns.empty()) why = read_columns(fields, known, &columns);
    else why = line(fields, columns);
    if (!why.empty()) {
      *error = name + ":" + std::to_string(number) + ": " + why;
      return false;
    }
  }
  if (columns.empty()) {
    *error = name + ": no header line (Length,Width,Qty,Label,Enabled)";
    return false;
  }
  return true;
}

// "SIZE[:COUNT][@PRICE]" split into its parts; false when malformed.
bool split_spec(const std::string& text, std::string* size, std::string* count, std::string* price) {
  const auto at = text.find('@');
  const std::string head = text.substr(0, at);
  *price = at == std::string::npos ? "" : text.substr(at + 1);
  if (at != std::string::npos && price->empty()) return false;
  const auto colon = head.find(':');
  *size = head.substr(0, colon);
  *count = colon == std::string::npos ? "" : head.substr(colon + 1);
  return !size->empty() && (colon == std::string::npos || !count->empty());
}

bool read_spec_tail(const std::string& option, const std::string& text, const std::string& count,
                    const std::string& price, plan::Stock* stock, std::string* error) {
  if (!count.empty() && (!whole_number(count, &stock->count) || stock->count < 0)) {
    *error = option + " " + text + ": the count after : is a whole number, 0 or more";
    return false;
  }
  if (!price.empty()) {
    const auto money = plan::parse_money(price);
    if (!money) {
      *error = option + " " + text + ": the price after @ is an amount such as 45.90";
      return false;
    }
    stock->price = *money;
  }
  return true;
}

}  // namespace

bool parse_pieces(const std::string& text, const std::string& name, bool all_bars, bool may_turn,
                  PlanPieces* pieces, std::string* error) {
  *pieces = PlanPieces{};
  const std::vector<std::string> known = {"length", "width", "qty", "label", "enabled"};
  return each_line(
      text, name, known,
      [&](const std::vector<std::string>& f, const Columns& columns) -> std::string {
        const std::string enabled = lower(field(f, columns, "enabled"));
        if (enabled == "false" || enabled == "no" || enabled == "0") return "";
        if (!enabled.empty() && enabled != "true" && enabled != "yes" && enabled != "1")
          return "Enabled \"" + field(f, columns, "enabled") + "\": give true or false";
        plan::Piece piece;
        piece.label = field(f, columns, "label");
        piece.may_turn = may_turn;
        if (std::string why = read_length("Length", field(f, columns, "length"), &piece.length); !why.empty())
          return why;
        if (std::string why = read_quantity(field(f, columns, "qty"), &piece.quantity); !why.empty()) return why;
        const std::string width = field(f, columns, "width");
        const bool bar = all_bars || width.empty() || plan::parse_millimetres(width, plan::Rounding::kUp) == 0;
        if (!bar) {
          if (std::string why = read_length("Width", width, &piece.width); !why.empty()) return why;
        }
        if (piece.label.empty())
          piece.label = "line " + std::to_string((bar ? pieces->bars.size() : pieces->sheets.size()) + 1);
        (bar ? pieces->bars : pieces->sheets).push_back(piece);
        return "";
      },
      error);
}

bool read_pieces(const std::string& path, bool all_bars, bool may_turn, PlanPieces* pieces,
                 std::string* error) {
  std::string text;
  if (!read_file(path, &text)) {
    *error = path + ": cannot be read";
    return false;
  }
  return parse_pieces(text, path, all_bars, may_turn, pieces, error);
}

bool parse_bar_stock(const std::string& text, plan::Stock* stock, std::string* error) {
  std::string size, count, price;
  *stock = plan::Stock{};
  const auto length = split_spec(text, &size, &count, &price)
                          ? plan::parse_millimetres(size, plan::Rounding::kDown)
                          : std::nullopt;
  if (!length || *length <= 0) {
    *error = "--bar " + text + ": give LENGTH[:COUNT][@PRICE], the length in millimetres";
    return false;
  }
  stock->length = *length;
  stock->name = size;
  return read_spec_tail("--bar", text, count, price, stock, error);
}

bool parse_sheet_stock(const std::string& text, plan::Stock* stock, std::string* error) {
  std::string size, count, price;
  *stock = plan::Stock{};
  const bool split = split_spec(text, &size, &count, &price);
  const auto x = lower(size).find('x');
  const auto a = split && x != std::string::npos
                     ? plan::parse_millimetres(size.substr(0, x), plan::Rounding::kDown)
                     : std::nullopt;
  const auto b = a ? plan::parse_millimetres(size.substr(x + 1), plan::Rounding::kDown) : std::nullopt;
  if (!a || !b || *a <= 0 || *b <= 0) {
    *error = "--sheet " + text + ": give LENGTHxWIDTH[:COUNT][@PRICE] in millimetres";
    return false;
  }
  stock->length = std::max(*a, *b);
  stock->width = std::min(*a, *b);
  stock->name = plan::format_millimetres(stock->length) + " × " + plan::format_millimetres(stock->width);
  return read_spec_tail("--sheet", text, count, price, stock, error);
}

bool read_offcuts(const std::string& path, std::vector<plan::Stock>* bars,
                  std::vector<plan::Stock>* sheets, std::string* error) {
  std::string text;
  if (!read_file(path, &text)) {
    *error = path + ": cannot be read";
    return false;
  }
  const std::vector<std::string> known = {"length", "width", "qty", "label"};
  return each_line(
      text, path, known,
      [&](const std::vector<std::string>& f, const Columns& columns) -> std::string {
        plan::Stock offcut;
        offcut.offcut = true;
        // Stock must hold what is planned in it: its sizes round down.
        const auto length = plan::parse_millimetres(field(f, columns, "length"), plan::Rounding::kDown);
        if (!length || *length <= 0) return "Length \"" + field(f, columns, "length") + "\": give millimetres";
        offcut.length = *length;
        if (std::string why = read_quantity(field(f, columns, "qty"), &offcut.count); !why.empty()) return why;
        const std::string width = field(f, columns, "width");
        if (!width.empty()) {
          const auto w = plan::parse_millimetres(width, plan::Rounding::kDown);
          if (!w || *w <= 0) return "Width \"" + width + "\": give millimetres, or leave it empty for a bar";
          offcut.width = std::min(*w, offcut.length);
          offcut.length = std::max(*w, offcut.length);
        }
        offcut.name = field(f, columns, "label");
        if (offcut.name.empty())
          offcut.name = "offcut " + plan::format_millimetres(offcut.length) +
                        (offcut.width > 0 ? " × " + plan::format_millimetres(offcut.width) : "");
        (offcut.width > 0 ? sheets : bars)->push_back(offcut);
        return "";
      },
      error);
}

}  // namespace ufhost::app
