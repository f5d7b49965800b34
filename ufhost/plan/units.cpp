#include "ufhost/plan/units.h"

#include <cstdint>

namespace ufhost::plan {
namespace {

// A non-negative decimal as a whole number of 10^-decimals units no larger
// than `limit`; finer digits refused, or rounded as `rounding` says.
std::optional<std::int64_t> parse_fixed(std::string_view text, int decimals, std::int64_t limit,
                                        Rounding rounding = Rounding::kExact) {
  std::int64_t whole = 0;
  std::size_t i = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    whole = whole * 10 + (text[i] - '0');
    if (whole > limit) return std::nullopt;
    digits = true;
  }
  std::int64_t fraction = 0;
  int taken = 0;
  bool finer = false;  // a non-zero digit past the unit
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      digits = true;
      if (taken < decimals) {
        fraction = fraction * 10 + (text[i] - '0');
        ++taken;
      } else if (text[i] != '0') {
        finer = true;
      }
    }
  }
  if (!digits || i != text.size()) return std::nullopt;
  // Finer than the unit: refusing beats rounding silently, unless the caller
  // said which way is safe.
  if (finer && rounding == Rounding::kExact) return std::nullopt;
  for (; taken < decimals; ++taken) fraction *= 10;
  if (finer && rounding == Rounding::kUp) ++fraction;
  std::int64_t scale = 1;
  for (int k = 0; k < decimals; ++k) scale *= 10;
  if (whole > (limit - fraction) / scale) return std::nullopt;
  return whole * scale + fraction;
}

std::string format_fixed(std::int64_t value, int decimals, int keep) {
  std::string sign = value < 0 ? "-" : "";
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::uint64_t scale = 1;
  for (int k = 0; k < decimals; ++k) scale *= 10;
  std::string fraction = std::to_string(magnitude % scale);
  fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
  while (static_cast<int>(fraction.size()) > keep && fraction.back() == '0') fraction.pop_back();
  std::string text = sign + std::to_string(magnitude / scale);
  return fraction.empty() ? text : text + "." + fraction;
}

}  // namespace

std::optional<Length> parse_millimetres(std::string_view text, Rounding rounding) {
  return parse_fixed(text, 3, kMaxLength, rounding);
}

std::optional<Money> parse_money(std::string_view text) {
  // A thousand million currency units a piece is far past any price.
  return parse_fixed(text, 6, std::int64_t{1'000'000'000} * kPerCurrencyUnit);
}

std::string format_millimetres(Length length) { return format_fixed(length, 3, 0); }

std::string format_money(Money money) { return format_fixed(money, 6, 2); }

}  // namespace ufhost::plan
