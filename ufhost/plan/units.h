#pragma once
// Decimal text to whole micrometres and millionths of money, and back,
// without going through floating point: "0.1" is 100 µm exactly.

#include <optional>
#include <string>
#include <string_view>

#include "ufhost/plan/plan.h"

namespace ufhost::plan {

// How a length finer than a micrometre becomes one: refused, or rounded the
// safe way (up for a piece, which must fit; down for stock, which must hold).
enum class Rounding { kExact, kUp, kDown };

// A decimal number of millimetres ("1250", "12.5", "0.001") as micrometres.
// Returns nothing for anything else: signs, exponents, more than kMaxLength,
// or with kExact more than three decimals that are not zeros.
std::optional<Length> parse_millimetres(std::string_view text, Rounding rounding = Rounding::kExact);

// A decimal price ("12", "45.90") as millionths; nothing for anything else.
std::optional<Money> parse_money(std::string_view text);

// Micrometres as millimetres with no trailing zeros: 1250000 → "1250",
// 12500 → "12.5".
std::string format_millimetres(Length length);

// Millionths as a price with two decimals at least: 45900000 → "45.90".
std::string format_money(Money money);

}  // namespace ufhost::plan
