// The orders the lists' comparators define, computed from keys made once per row instead of
// one comparison of two rows' cells at a time, so that a list of a million rows sorts in a
// fraction of a second. Each gives the rows' positions in their new order, equal rows kept in
// their previous order (as a stable sort with the comparator leaves them). Internal to lists/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace quillet::sorting {

// The order of count rows' texts under CompareText; descending reverses it (equal texts still
// in their order). textOf is called once per row, first to last; the texts it gives must stay
// valid meanwhile.
std::vector<std::size_t> OrderByText(std::size_t count,
                                     const std::function<std::string_view(std::size_t)>& textOf,
                                     bool descending);

// A number cell that may hold a word instead: rows with a number in numbers order by it, the
// others (which all show the same word, placed after every number) stay equal among
// themselves. Descending reverses the order of everything but equal rows.
struct Count {
  bool HasNumber = false;
  std::int64_t Number = 0;
};
std::vector<std::size_t> OrderByCount(const std::vector<Count>& counts, bool descending);

// Puts rows into order (order[i] is the old position of the row that goes to position i),
// moving each row once, with no second copy of the rows.
template <typename Rows>
void Reorder(Rows& rows, const std::vector<std::size_t>& order) {
  std::vector<bool> placed(order.size(), false);
  for (std::size_t start = 0; start < order.size(); ++start) {
    if (placed[start] || order[start] == start) continue;
    // Follow the cycle through start: each place takes the row from where its row was.
    auto held = std::move(rows[start]);
    std::size_t at = start;
    while (order[at] != start) {
      rows[at] = std::move(rows[order[at]]);
      placed[at] = true;
      at = order[at];
    }
    rows[at] = std::move(held);
    placed[at] = true;
  }
}

}  // namespace quillet::sorting
