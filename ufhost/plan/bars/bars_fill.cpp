#include "ufhost/plan/bars/bars_fill.h"

#include <algorithm>
#include <limits>
#include <map>
#include <numeric>
#include <unordered_map>

namespace ufhost::plan {
namespace {

__extension__ typedef __int128 Wide;

// A node's ways of filling the bar are kept in memory before they are
// sorted; past this many the node is not searched in full.
constexpr std::size_t kMostCompletions = 4000;
// Residual problems shown to have no plan within a budget, remembered so
// that a second way to reach one costs nothing.
constexpr std::size_t kMostRemembered = 200'000;

struct Completion {
  std::size_t stock = 0;
  Wide excess = 0;
  std::vector<std::pair<std::size_t, std::int64_t>> items;
};

struct VectorHash {
  std::size_t operator()(const std::vector<std::int64_t>& v) const {
    std::uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (const std::int64_t x : v) h = (h ^ static_cast<std::uint64_t>(x)) * 0x100000001b3ULL;
    return static_cast<std::size_t>(h);
  }
};

// The waste of a bar is its cost less what its load would cost at the
// cheapest rate c*/C*, times C*: c_k C* - c* load, a whole number. A plan's
// waste is then its cost times C* less c* times the load of the demand, so
// a plan costs at most T exactly when its bars' waste sums to at most
// T C* - c* sum(d w).
class Filler {
 public:
  Filler(const CutProblem& problem, const std::vector<std::int64_t>& demand,
         const std::vector<std::int64_t>& left, std::int64_t work)
      : problem_(problem), demand_(demand), left_(left), limit_(work) {}

  FillResult run(std::int64_t target) {
    FillResult out;
    bool any = false;
    for (std::size_t k = 0; k < problem_.stocks.size(); ++k) {
      const CutStock& s = problem_.stocks[k];
      if (s.capacity <= 0 || left_[k] == 0) continue;
      if (!any || Wide(s.cost) * rate_capacity_ < Wide(rate_cost_) * s.capacity) {
        rate_cost_ = s.cost;
        rate_capacity_ = s.capacity;
        any = true;
      }
    }
    Wide load = 0;
    for (std::size_t i = 0; i < demand_.size(); ++i) load += Wide(demand_[i]) * problem_.items[i].weight;
    if (load == 0) {
      out.status = FillStatus::kFound;
      return out;
    }
    const Wide budget = Wide(target) * rate_capacity_ - Wide(rate_cost_) * load;
    if (!any || budget < 0) {
      out.status = FillStatus::kNone;
      return out;
    }
    const bool found = search(budget);
    out.work = work_;
    if (found) {
      out.status = FillStatus::kFound;
      for (auto it = path_.rbegin(); it != path_.rend(); ++it)
        out.cuts.push_back({it->stock, 1, std::move(it->items)});
    } else {
      out.status = gave_up_ || !exhaustive_ ? FillStatus::kGaveUp : FillStatus::kNone;
    }
    return out;
  }

 private:
  bool spend() {
    if (++work_ > limit_) gave_up_ = true;
    return !gave_up_;
  }

  std::vector<std::int64_t> state() const {
    std::vector<std::int64_t> key = demand_;
    key.insert(key.end(), left_.begin(), left_.end());
    return key;
  }

  // True when a plan was found (then `path_` holds its bars, last first).
  bool search(Wide budget) {
    if (!spend()) return false;
    std::size_t first = 0;
    while (first < demand_.size() && demand_[first] == 0) ++first;
    if (first == demand_.size()) return true;
    const std::vector<std::int64_t> key = state();
    const auto seen = failed_.find(key);
    if (seen != failed_.end() && seen->second >= budget) return false;

    // The piece with the fewest ways to fill its bar opens it: a piece with
    // none ends the branch at once, and few ways branch least.
    // A piece's ways are counted only while they are fewer than the fewest
    // found so far. Past kMostCompletions a piece's ways are cut short, and
    // only when no piece has fewer is the node searched from such a list.
    std::vector<Completion> options, these;
    bool have = false, complete = true;
    for (std::size_t i = first; i < demand_.size(); ++i) {
      if (demand_[i] == 0) continue;
      these.clear();
      bool within = true;
      const std::size_t cap = have ? options.size() : kMostCompletions;
      for (std::size_t k = 0; k < problem_.stocks.size() && within && !gave_up_; ++k)
        within = fill(i, k, budget, cap, &these);
      if (gave_up_) return false;
      if (within) {
        options.swap(these);
        have = true;
        complete = true;
      } else if (!have && i == first) {
        options.swap(these);
        complete = false;
      }
      if (have && options.empty()) break;
    }
    std::stable_sort(options.begin(), options.end(),
                     [](const Completion& a, const Completion& b) { return a.excess < b.excess; });
    for (Completion& option : options) {
      for (const auto& [item, copies] : option.items) demand_[item] -= copies;
      if (left_[option.stock] > 0) --left_[option.stock];
      const bool found = search(budget - option.excess);
      for (const auto& [item, copies] : option.items) demand_[item] += copies;
      if (left_[option.stock] >= 0) ++left_[option.stock];
      if (found) {
        path_.push_back(std::move(option));
        return true;
      }
      if (gave_up_) return false;
    }
    if (!complete) {
      exhaustive_ = false;
    } else if (failed_.size() < kMostRemembered) {
      Wide& worst = failed_[key];
      worst = std::max(worst, budget);
    }
    return false;
  }

  // Every way to fill a bar of size k that holds a piece of item `first` and
  // no more waste than `budget`, to which no piece left can be added (a bar
  // with room for one more piece is never better than the bar with it).
  // Returns false, with `cap` of them, when there are `cap` or more.
  bool fill(std::size_t first, std::size_t k, Wide budget, std::size_t cap, std::vector<Completion>* out) {
    const CutStock& s = problem_.stocks[k];
    const std::int64_t w = problem_.items[first].weight;
    if (s.capacity <= 0 || left_[k] == 0 || s.capacity < w) return true;
    const Wide fixed = Wide(s.cost) * rate_capacity_;
    std::int64_t least = 0;  // the load a bar needs to waste no more than the budget
    if (rate_cost_ == 0) {
      if (fixed > budget) return true;
    } else {
      const Wide need = fixed - budget;
      if (need > Wide(s.capacity) * rate_cost_) return true;
      least = need <= 0 ? 0 : static_cast<std::int64_t>((need + rate_cost_ - 1) / rate_cost_);
    }
    active_.clear();
    for (std::size_t i = 0; i < demand_.size(); ++i)
      if (demand_[i] > 0) active_.push_back(i);
    suffix_.assign(active_.size() + 1, 0);
    --demand_[first];
    for (std::size_t a = active_.size(); a-- > 0;)
      suffix_[a] = suffix_[a + 1] + demand_[active_[a]] * problem_.items[active_[a]].weight;
    taken_.assign(1, {first, 1});
    stock_ = k;
    least_ = least;
    fixed_ = fixed;
    out_ = out;
    cap_ = cap;
    overflow_ = false;
    extend(0, s.capacity - w, w);
    ++demand_[first];
    return !overflow_;
  }

  void extend(std::size_t a, std::int64_t room, std::int64_t load) {
    if (gave_up_ || overflow_ || !spend()) return;
    if (load + std::min(room, suffix_[a]) < least_) return;
    if (a == active_.size()) {
      // Maximal: the shortest piece still wanted after this bar does not fit.
      // (`demand_` already lacks the piece that opened the bar.)
      for (std::size_t b = active_.size(); b-- > 0;) {
        const std::size_t i = active_[b];
        std::int64_t used = 0;
        for (std::size_t t = 1; t < taken_.size(); ++t)
          if (taken_[t].first == i) used = taken_[t].second;
        if (demand_[i] > used) {
          if (problem_.items[i].weight <= room) return;
          break;
        }
      }
      if (out_->size() >= cap_) {
        overflow_ = true;
        return;
      }
      Completion c;
      c.stock = stock_;
      c.excess = fixed_ - Wide(rate_cost_) * load;
      c.items.assign(taken_.begin() + 1, taken_.end());
      const std::size_t opening = taken_.front().first;
      const auto at = std::lower_bound(c.items.begin(), c.items.end(), std::make_pair(opening, std::int64_t{0}));
      if (at != c.items.end() && at->first == opening)
        ++at->second;
      else
        c.items.insert(at, {opening, 1});
      out_->push_back(std::move(c));
      return;
    }
    const std::size_t i = active_[a];
    const std::int64_t w = problem_.items[i].weight;
    const std::int64_t most = std::min(demand_[i], room / w);
    for (std::int64_t c = most; c >= 0; --c) {
      if (c > 0) taken_.emplace_back(i, c);
      extend(a + 1, room - c * w, load + c * w);
      if (c > 0) taken_.pop_back();
      if (gave_up_ || overflow_) return;
    }
  }

  const CutProblem& problem_;
  std::vector<std::int64_t> demand_, left_;
  std::int64_t limit_ = 0, work_ = 0;
  bool gave_up_ = false;
  bool exhaustive_ = true;
  std::int64_t rate_cost_ = 0, rate_capacity_ = 1;
  std::vector<Completion> path_;
  std::unordered_map<std::vector<std::int64_t>, Wide, VectorHash> failed_;
  // The bar being filled.
  std::vector<std::size_t> active_;
  std::vector<std::int64_t> suffix_;
  std::vector<std::pair<std::size_t, std::int64_t>> taken_;
  std::size_t stock_ = 0;
  std::int64_t least_ = 0;
  Wide fixed_ = 0;
  std::vector<Completion>* out_ = nullptr;
  std::size_t cap_ = 0;
  bool overflow_ = false;
};

// The fullest load of at most `room` units from the chunks (weight in
// units, copies of an item), each used at most once, larger chunks tried
// first, stopping as soon as the room is filled exactly: a subset sum on a
// bit table, each sum remembering the chunk that first reached it. Adds the
// copies taken to `take` and returns the load; `spent` counts table words.
struct Chunk {
  std::int64_t units = 0;
  std::size_t item = 0;
  std::int64_t copies = 0;
};

std::int64_t fullest(const std::vector<Chunk>& chunks, std::int64_t room, std::vector<std::int64_t>* take,
                     std::int64_t* spent) {
  const std::size_t words = static_cast<std::size_t>(room / 64 + 1);
  std::vector<std::uint64_t> reach(words, 0);
  std::vector<std::int32_t> from(static_cast<std::size_t>(room) + 1, -1);
  reach[0] = 1;
  const std::uint64_t last_mask = room % 64 == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (room % 64 + 1)) - 1;
  for (std::size_t p = 0; p < chunks.size(); ++p) {
    const std::int64_t u = chunks[p].units;
    if (u > room) continue;
    *spent += static_cast<std::int64_t>(words);
    const std::size_t q = static_cast<std::size_t>(u / 64);
    const unsigned r = static_cast<unsigned>(u % 64);
    // From the top down, so that every word shifted in is still the old one.
    for (std::size_t t = words; t-- > q;) {
      std::uint64_t shifted = reach[t - q] << r;
      if (r != 0 && t > q) shifted |= reach[t - q - 1] >> (64 - r);
      if (t == words - 1) shifted &= last_mask;
      std::uint64_t fresh = shifted & ~reach[t];
      reach[t] |= fresh;
      while (fresh != 0) {
        const int b = __builtin_ctzll(fresh);
        from[t * 64 + static_cast<std::size_t>(b)] = static_cast<std::int32_t>(p);
        fresh &= fresh - 1;
      }
    }
    if (reach[words - 1] >> (room % 64) & 1) break;  // filled exactly
  }
  std::int64_t load = room;
  while (!(reach[static_cast<std::size_t>(load / 64)] >> (load % 64) & 1)) --load;
  for (std::int64_t s = load; s > 0;) {
    const Chunk& c = chunks[static_cast<std::size_t>(from[static_cast<std::size_t>(s)])];
    (*take)[c.item] += c.copies;
    s -= c.units;
  }
  return load;
}

}  // namespace

std::vector<Cut> fill_each_bar(const CutProblem& problem, std::int64_t work) {
  std::vector<Cut> out;
  const std::size_t m = problem.items.size();
  std::vector<std::int64_t> demand(m), left;
  std::int64_t unit = 0;
  for (std::size_t i = 0; i < m; ++i) {
    demand[i] = problem.items[i].demand;
    if (demand[i] > 0) unit = std::gcd(unit, problem.items[i].weight);
  }
  for (const CutStock& s : problem.stocks) left.push_back(s.capacity > 0 ? s.limit : 0);
  if (unit == 0) return out;
  std::int64_t spent = 0;
  std::size_t first = 0;
  while (true) {
    while (first < m && demand[first] == 0) ++first;
    if (first == m) break;
    const std::int64_t w = problem.items[first].weight;
    // Every piece left is as short as the first or shorter (items come
    // longest first); one copy of the first is in the bar already.
    std::vector<Chunk> chunks;
    for (std::size_t i = first; i < m; ++i)
      for (std::int64_t rest = demand[i] - (i == first ? 1 : 0), size = 1; rest > 0; size *= 2) {
        const std::int64_t c = std::min(size, rest);
        chunks.push_back({c * problem.items[i].weight / unit, i, c});
        rest -= c;
      }
    std::size_t best = problem.stocks.size();
    std::int64_t best_load = 0;
    std::vector<std::int64_t> best_take;
    for (std::size_t k = 0; k < problem.stocks.size(); ++k) {
      const CutStock& s = problem.stocks[k];
      if (left[k] == 0 || s.capacity < w) continue;
      const std::int64_t room = (s.capacity - w) / unit;
      if (spent + static_cast<std::int64_t>(chunks.size()) * (room / 64 + 1) > work) return out;
      std::vector<std::int64_t> take(m, 0);
      take[first] = 1;
      const std::int64_t load = w + fullest(chunks, room, &take, &spent) * unit;
      // The least cost per length placed; on a tie, the fuller bar.
      if (best < problem.stocks.size()) {
        const Wide lhs = Wide(s.cost) * best_load, rhs = Wide(problem.stocks[best].cost) * load;
        if (lhs > rhs || (lhs == rhs && load <= best_load)) continue;
      }
      best = k;
      best_load = load;
      best_take = std::move(take);
    }
    if (best == problem.stocks.size()) break;  // no size left holds the longest piece
    // With fewer pieces left no bar gets fuller, so the bar is cut as often
    // as its pieces and its size allow: a million copies cost one subset sum.
    Cut cut;
    cut.stock = best;
    cut.count = left[best] >= 0 ? left[best] : std::numeric_limits<std::int64_t>::max();
    for (std::size_t i = 0; i < m; ++i)
      if (best_take[i] > 0) {
        cut.items.emplace_back(i, best_take[i]);
        cut.count = std::min(cut.count, demand[i] / best_take[i]);
      }
    for (const auto& [item, copies] : cut.items) demand[item] -= copies * cut.count;
    if (left[best] > 0) left[best] -= cut.count;
    out.push_back(std::move(cut));
  }
  return out;
}

FillResult fill_bars(const CutProblem& problem, const std::vector<std::int64_t>& demand,
                     const std::vector<std::int64_t>& left, std::int64_t target, std::int64_t work) {
  Filler filler(problem, demand, left, work);
  return filler.run(target);
}

}  // namespace ufhost::plan
