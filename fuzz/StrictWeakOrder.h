// The check shared by the comparator targets: is a comparison a strict weak ordering?
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::fuzz {

inline int Sign(int value) {
  return (value > 0) - (value < 0);
}

inline std::string Shown(std::string_view text) {
  std::string shown = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      shown += hex;
    } else {
      shown += c;
    }
  }
  return shown + "\"";
}

// Aborts with the offending rows when compare is not a strict weak ordering on rows 0 .. n-1.
inline void CheckStrictWeakOrder(const char* list, int column, bool descending, std::size_t n,
                                 const std::function<int(std::size_t, std::size_t)>& compare,
                                 const std::function<std::string(std::size_t)>& describe) {
  std::vector<int> order(n * n);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j)
      order[i * n + j] = Sign(compare(i, j));
  }
  const auto fail = [&](const char* what, std::initializer_list<std::size_t> rows) {
    std::fprintf(stderr, "%s list, column %d %s: not %s:\n", list, column,
                 descending ? "descending" : "ascending", what);
    for (const std::size_t row : rows)
      std::fprintf(stderr, "  row %zu: %s\n", row, describe(row).c_str());
    for (const std::size_t a : rows) {
      for (const std::size_t b : rows)
        std::fprintf(stderr, "  compare(%zu, %zu) = %d\n", a, b, order[a * n + b]);
    }
    std::abort();
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (order[i * n + i] != 0) fail("irreflexive", {i});
    for (std::size_t j = 0; j < n; ++j) {
      if (order[i * n + j] != -order[j * n + i]) fail("antisymmetric", {i, j});
      for (std::size_t k = 0; k < n; ++k) {
        const int ij = order[i * n + j], jk = order[j * n + k];
        // a <= b and b <= c give a <= c, strictly when either step is strict.
        if (ij <= 0 && jk <= 0 && order[i * n + k] != std::min(ij, jk))
          fail("transitive", {i, j, k});
      }
    }
  }
}

}  // namespace quillet::fuzz
