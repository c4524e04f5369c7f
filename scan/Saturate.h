// Sums of sizes and counts that stop at the end of the 64-bit range instead of wrapping.
#pragma once

#include <cstdint>
#include <limits>

namespace quillet {

// a + b, or the largest (smallest) 64-bit value when the true sum lies above (below) the range.
// Sizes and counts are never negative, so for them the sum stops at INT64_MAX.
constexpr std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kLeast = std::numeric_limits<std::int64_t>::min();
  if (b > 0 && a > kMost - b) return kMost;
  if (b < 0 && a < kLeast - b) return kLeast;
  return a + b;
}

}  // namespace quillet
