#include "ufhost/plan/bars/knapsack.h"

#include <algorithm>
#include <numeric>

namespace ufhost::plan {
namespace {

__extension__ typedef __int128 Wide;

// Below this many table cells the dynamic programme is cheaper than any search.
constexpr std::int64_t kSmallTable = 4'000'000;

struct Item {
  std::int64_t weight = 0;
  std::int64_t value = 0;
  std::int64_t bound = 0;  // already cut to what the capacity holds
  std::size_t origin = 0;
};

// Depth-first branch and bound over items sorted by value per weight, most
// copies first (Horowitz and Sahni's order), pruned by the linear relaxation
// rounded down: values are whole, so a packing worth more than the floor of
// the relaxation does not exist.
class Search {
 public:
  Search(const std::vector<Item>& items, std::int64_t budget) : items_(items), budget_(budget) {
    prefix_weight_.assign(items.size() + 1, 0);
    prefix_value_.assign(items.size() + 1, 0);
    for (std::size_t i = 0; i < items.size(); ++i) {
      prefix_weight_[i + 1] = prefix_weight_[i] + items[i].bound * items[i].weight;
      prefix_value_[i + 1] = prefix_value_[i] + items[i].bound * items[i].value;
    }
    take_.assign(items.size(), 0);
  }

  // What items j.. can add in `room` at most.
  std::int64_t relaxation(std::size_t j, std::int64_t room) const {
    const auto begin = prefix_weight_.begin() + static_cast<std::ptrdiff_t>(j);
    const auto it = std::upper_bound(begin, prefix_weight_.end(), prefix_weight_[j] + room);
    const std::size_t k = static_cast<std::size_t>(it - prefix_weight_.begin()) - 1;
    std::int64_t value = prefix_value_[k] - prefix_value_[j];
    if (k < items_.size()) {
      const std::int64_t left = room - (prefix_weight_[k] - prefix_weight_[j]);
      std::int64_t product = 0;
      // 128-bit division is slow and seldom needed.
      if (!__builtin_mul_overflow(left, items_[k].value, &product))
        value += product / items_[k].weight;
      else
        value += static_cast<std::int64_t>(Wide(left) * items_[k].value / items_[k].weight);
    }
    return value;
  }

  // Takes whole copies in ratio order while they fit: the search's first incumbent.
  void greedy(std::int64_t capacity) {
    std::int64_t room = capacity;
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const std::int64_t c = std::min(items_[i].bound, room / items_[i].weight);
      best_take_.push_back(c);
      room -= c * items_[i].weight;
      best_ += c * items_[i].value;
    }
  }

  // Returns false when the budget ran out before the search was complete.
  bool run(std::int64_t capacity, std::int64_t ceiling) {
    ceiling_ = ceiling;
    dfs(0, capacity, 0);
    return !exhausted_;
  }

  std::int64_t best() const { return best_; }
  const std::vector<std::int64_t>& best_take() const { return best_take_; }

 private:
  void dfs(std::size_t j, std::int64_t room, std::int64_t value) {
    if (value > best_) {
      best_ = value;
      best_take_ = take_;
    }
    if (j == items_.size() || room == 0 || best_ == ceiling_) return;
    if (++nodes_ > budget_) {
      exhausted_ = true;
      return;
    }
    const Item& item = items_[j];
    const std::int64_t most = std::min(item.bound, room / item.weight);
    for (std::int64_t c = most; c >= 0; --c) {
      const std::int64_t left = room - c * item.weight;
      // Fewer copies of the best-ratio item never raise the relaxation.
      if (value + c * item.value + relaxation(j + 1, left) <= best_) break;
      take_[j] = c;
      dfs(j + 1, left, value + c * item.value);
      if (exhausted_ || best_ == ceiling_) break;
    }
    take_[j] = 0;
  }

  const std::vector<Item>& items_;
  std::int64_t budget_;
  std::vector<std::int64_t> prefix_weight_, prefix_value_;
  std::vector<std::int64_t> take_, best_take_;
  std::int64_t best_ = 0;
  std::int64_t ceiling_ = 0;
  std::int64_t nodes_ = 0;
  bool exhausted_ = false;
};

std::int64_t table_cells(const std::vector<Item>& items, std::int64_t capacity) {
  std::int64_t pieces = 0;
  for (const Item& item : items)
    for (std::int64_t left = item.bound, chunk = 1; left > 0; chunk *= 2) {
      left -= std::min(chunk, left);
      ++pieces;
    }
  return pieces * (capacity + 1);
}

// The 0/1 programme over copies split in powers of two, with one bit per
// cell to read the packing back.
std::vector<std::int64_t> by_table(const std::vector<Item>& items, std::int64_t capacity,
                                   std::int64_t* value, int others,
                                   std::vector<std::vector<std::int64_t>>* other_takes) {
  struct Chunk {
    std::int64_t weight, value, copies;
    std::size_t item;
  };
  std::vector<Chunk> chunks;
  for (std::size_t i = 0; i < items.size(); ++i)
    for (std::int64_t left = items[i].bound, chunk = 1; left > 0; chunk *= 2) {
      const std::int64_t m = std::min(chunk, left);
      chunks.push_back({m * items[i].weight, m * items[i].value, m, i});
      left -= m;
    }
  const std::size_t width = static_cast<std::size_t>(capacity) + 1;
  std::vector<std::int64_t> best(width, 0);
  std::vector<std::uint64_t> kept((chunks.size() * width + 63) / 64, 0);
  for (std::size_t p = 0; p < chunks.size(); ++p) {
    const std::size_t w = static_cast<std::size_t>(chunks[p].weight);
    for (std::size_t c = width - 1; c + 1 > w; --c) {
      const std::int64_t candidate = best[c - w] + chunks[p].value;
      if (candidate > best[c]) {
        best[c] = candidate;
        const std::size_t bit = p * width + c;
        kept[bit / 64] |= std::uint64_t{1} << (bit % 64);
      }
    }
  }
  *value = best[width - 1];
  const auto read_back = [&](std::size_t c) {
    std::vector<std::int64_t> take(items.size(), 0);
    for (std::size_t p = chunks.size(); p-- > 0;) {
      const std::size_t bit = p * width + c;
      if (kept[bit / 64] >> (bit % 64) & 1) {
        take[chunks[p].item] += chunks[p].copies;
        c -= static_cast<std::size_t>(chunks[p].weight);
      }
    }
    return take;
  };
  // The best packing holding item i is i with the best of the room it
  // leaves, when that does not take more copies of i than there are.
  std::vector<std::pair<std::int64_t, std::size_t>> holding;
  for (std::size_t i = 0; others > 0 && i < items.size(); ++i)
    holding.emplace_back(items[i].value + best[width - 1 - static_cast<std::size_t>(items[i].weight)], i);
  std::stable_sort(holding.begin(), holding.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [worth, i] : holding) {
    if (static_cast<int>(other_takes->size()) >= others) break;
    std::vector<std::int64_t> take = read_back(width - 1 - static_cast<std::size_t>(items[i].weight));
    if (++take[i] > items[i].bound) continue;
    if (std::find(other_takes->begin(), other_takes->end(), take) == other_takes->end())
      other_takes->push_back(std::move(take));
  }
  return read_back(width - 1);
}

// Without the table, other packings come cheap from the best ratios: each
// of the first items by value per weight, with the room it leaves filled
// greedily in that order. Items come sorted by ratio.
std::vector<std::vector<std::int64_t>> around_each(const std::vector<Item>& items, std::int64_t capacity,
                                                   const std::vector<std::int64_t>& best, int others) {
  std::vector<std::vector<std::int64_t>> out;
  for (std::size_t first = 0; first < items.size() && static_cast<int>(out.size()) < others; ++first) {
    std::vector<std::int64_t> take(items.size(), 0);
    take[first] = 1;
    std::int64_t room = capacity - items[first].weight;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const std::int64_t c = std::min(items[i].bound - take[i], room / items[i].weight);
      take[i] += c;
      room -= c * items[i].weight;
    }
    if (take != best && std::find(out.begin(), out.end(), take) == out.end()) out.push_back(std::move(take));
  }
  return out;
}

}  // namespace

KnapsackSolution solve_knapsack(const std::vector<KnapsackItem>& input, std::int64_t capacity,
                                std::int64_t work, int others) {
  KnapsackSolution out;
  out.take.assign(input.size(), 0);
  std::vector<Item> items;
  std::int64_t divisor = 0;
  for (std::size_t i = 0; i < input.size(); ++i) {
    const KnapsackItem& k = input[i];
    if (k.value <= 0 || k.bound <= 0 || k.weight <= 0 || k.weight > capacity) continue;
    items.push_back({k.weight, k.value, std::min(k.bound, capacity / k.weight), i});
    divisor = std::gcd(divisor, k.weight);
  }
  if (items.empty()) return out;
  // Every packing's weight is a multiple of the divisor, so the capacity
  // shrinks with the weights at no loss.
  capacity /= divisor;
  for (Item& item : items) item.weight /= divisor;
  std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
    return Wide(a.value) * b.weight > Wide(b.value) * a.weight;
  });

  // When the table fits in the work, the search may spend only a fraction
  // of what the table would cost: a node costs some tens of cells.
  const std::int64_t cells = table_cells(items, capacity);
  const std::int64_t nodes = cells <= work ? cells / 40 : work / 25;
  Search search(items, std::max<std::int64_t>(nodes, 1000));
  search.greedy(capacity);
  const std::int64_t ceiling = search.relaxation(0, capacity);
  std::vector<std::int64_t> take = search.best_take();
  out.value = search.best();
  out.upper = ceiling;
  std::vector<std::vector<std::int64_t>> other_takes;
  bool by_ratio = true;  // the other packings still to be found from the ratios
  if (out.value < ceiling) {
    bool solved = false;
    if (cells > std::min(work, kSmallTable)) {
      solved = search.run(capacity, ceiling);
      take = search.best_take();
      out.value = search.best();
    }
    if (!solved && cells <= work) {
      take = by_table(items, capacity, &out.value, others, &other_takes);
      solved = true;
      by_ratio = false;
    }
    if (solved) out.upper = out.value;
  }
  if (by_ratio && others > 0) other_takes = around_each(items, capacity, take, others);
  for (const auto& other : other_takes) {
    out.others.emplace_back(input.size(), 0);
    for (std::size_t i = 0; i < items.size(); ++i) out.others.back()[items[i].origin] = other[i];
  }
  for (std::size_t i = 0; i < items.size(); ++i) out.take[items[i].origin] = take[i];
  return out;
}

}  // namespace ufhost::plan
