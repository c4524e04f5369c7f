// Sorting by keys. Texts are compared 16 folded bytes at a time: every row gets the bytes at a
// depth as two numbers, rows are sorted by those (a radix sort on the bytes where they differ),
// and only rows still equal look further; rows whose texts are equal throughout are put back in
// their previous order at the end. A row's text is read once per 16 bytes its group has in
// common, never per comparison.
#include "lists/Sorting.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>

#include "scan/Text.h"

namespace quillet::sorting {

namespace {

constexpr std::size_t kWords = 2;
constexpr std::size_t kKeyBytes = kWords * 8;

struct Item {
  std::uint64_t Key[kWords];  // the folded bytes at the group's depth, first byte highest
  const char* Text;           // the row's text, so that a deeper key needs no look-up
  std::uint32_t Row;          // position before the sort
  std::uint32_t Length;       // of the text
};

// ASCII a-z to A-Z in all eight bytes at once, as CompareText folds them byte by byte.
std::uint64_t FoldAscii(std::uint64_t bytes) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  const std::uint64_t low = bytes & ~kHigh;
  const std::uint64_t fromA = low + (0x80 - 'a') * kOnes;      // high bit set where >= 'a'
  const std::uint64_t pastZ = low + (0x80 - 'z' - 1) * kOnes;  // high bit set where > 'z'
  const std::uint64_t lower = fromA & ~pastZ & ~bytes & kHigh;
  return bytes - (lower >> 2);  // 0x80 >> 2 is the distance between the cases
}

// The folded bytes depth .. depth + 15 of the item's text as numbers that order as the bytes
// do; missing bytes are 0. Whether the text ends inside them is told by its length.
void KeyAt(Item& item, std::size_t depth) {
  unsigned char piece[kKeyBytes];
  if (depth + kKeyBytes <= item.Length) {
    std::memcpy(piece, item.Text + depth, kKeyBytes);
  } else {
    std::memset(piece, 0, kKeyBytes);
    if (depth < item.Length) std::memcpy(piece, item.Text + depth, item.Length - depth);
  }
  for (std::size_t word = 0; word < kWords; ++word) {
    std::uint64_t bytes;
    std::memcpy(&bytes, piece + word * 8, 8);
    if constexpr (std::endian::native == std::endian::little) bytes = __builtin_bswap64(bytes);
    item.Key[word] = FoldAscii(bytes);
  }
}

// Where the item's text ends, as the last bytes of its sort key at depth: its length when it
// ends inside the key's bytes (so that a text that ends there goes before longer ones with the
// same bytes, which count as 0), all bits set when it goes on past them.
std::uint32_t TailAt(const Item& item, std::size_t depth) {
  return item.Length <= depth + kKeyBytes ? item.Length : 0xFFFFFFFFu;
}

constexpr std::size_t kSortBytes = kKeyBytes + 4;  // the key, then the tail

unsigned ByteOf(const Item& item, std::size_t byte, std::size_t depth) {
  if (byte < kKeyBytes)
    return static_cast<unsigned>(item.Key[byte / 8] >> (56 - 8 * (byte % 8))) & 0xFFu;
  return (TailAt(item, depth) >> (8 * (kSortBytes - 1 - byte))) & 0xFFu;
}

struct Range {
  Item* First;
  Item* End;
};

// Orders items by their sort key at depth (descending: the largest first): a radix sort in
// place on the bytes where the keys differ, most significant first, small buckets finished by
// insertion. Then hands each run of two or more items with equal sort keys to run, in no
// particular order; items in a run may have changed places among themselves.
template <typename Run>
void SortByKey(Item* first, Item* end, std::size_t depth, bool descending, const Run& run) {
  const auto before = [depth, descending](const Item& a, const Item& b) {
    const Item& x = descending ? b : a;
    const Item& y = descending ? a : b;
    for (std::size_t word = 0; word < kWords; ++word) {
      if (x.Key[word] != y.Key[word]) return x.Key[word] < y.Key[word];
    }
    return TailAt(x, depth) < TailAt(y, depth);
  };
  const auto equal = [depth](const Item& a, const Item& b) {
    return std::equal(std::begin(a.Key), std::end(a.Key), std::begin(b.Key)) &&
           TailAt(a, depth) == TailAt(b, depth);
  };
  std::vector<Range> pending{{first, end}};
  while (!pending.empty()) {
    const Range range = pending.back();
    pending.pop_back();
    if (range.End - range.First < 32) {
      for (Item* item = range.First + 1; item < range.End; ++item) {
        if (!before(*item, item[-1])) continue;
        const Item moving = *item;
        Item* at = item;
        for (; at > range.First && before(moving, at[-1]); --at)
          *at = at[-1];
        *at = moving;
      }
      for (Item* start = range.First; start != range.End;) {
        Item* stop = start + 1;
        while (stop != range.End && equal(*stop, *start))
          ++stop;
        if (stop - start > 1) run(start, stop);
        start = stop;
      }
      continue;
    }
    // The first byte where any key differs from the first one; bytes before it are alike.
    const std::uint32_t firstTail = TailAt(*range.First, depth);
    std::uint64_t differ[kWords] = {};
    std::uint32_t tailDiffers = 0;
    for (const Item* item = range.First; item != range.End; ++item) {
      for (std::size_t word = 0; word < kWords; ++word)
        differ[word] |= item->Key[word] ^ range.First->Key[word];
      tailDiffers |= TailAt(*item, depth) ^ firstTail;
    }
    std::size_t byte = 0;
    while (byte < kKeyBytes && differ[byte / 8] == 0)
      byte += 8;
    if (byte < kKeyBytes) {
      byte += static_cast<std::size_t>(std::countl_zero(differ[byte / 8])) / 8;
    } else if (tailDiffers != 0) {
      byte = kKeyBytes + static_cast<std::size_t>(std::countl_zero(tailDiffers)) / 8;
    } else {
      run(range.First, range.End);  // all alike
      continue;
    }
    // Count the buckets, then swap each item into its bucket (American flag sort).
    std::size_t counts[256] = {};
    for (const Item* item = range.First; item != range.End; ++item)
      ++counts[ByteOf(*item, byte, depth)];
    Item* starts[256];
    Item* ends[256];
    Item* at = range.First;
    for (unsigned i = 0; i < 256; ++i) {
      const unsigned bucket = descending ? 255 - i : i;
      starts[bucket] = at;
      at += counts[bucket];
      ends[bucket] = at;
    }
    Item* next[256];
    std::copy(std::begin(starts), std::end(starts), std::begin(next));
    for (unsigned bucket = 0; bucket < 256; ++bucket) {
      while (next[bucket] != ends[bucket]) {
        Item moving = *next[bucket];
        for (unsigned home = ByteOf(moving, byte, depth); home != bucket;
             home = ByteOf(moving, byte, depth)) {
          std::swap(moving, *next[home]++);
        }
        *next[bucket]++ = moving;
      }
    }
    for (unsigned bucket = 0; bucket < 256; ++bucket) {
      if (counts[bucket] > 1) pending.push_back({starts[bucket], ends[bucket]});
    }
  }
}

struct Group {
  Item* First;
  Item* End;
  std::size_t Depth;
};

}  // namespace

std::vector<std::size_t> OrderByText(std::size_t count,
                                     const std::function<std::string_view(std::size_t)>& textOf,
                                     bool descending) {
  std::vector<std::size_t> order(count);
  if (count > std::numeric_limits<std::uint32_t>::max()) {
    // More rows than an item can number: one comparison at a time.
    std::vector<std::string_view> texts(count);
    for (std::size_t i = 0; i < count; ++i) {
      texts[i] = textOf(i);
      order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      const int result = CompareText(texts[a], texts[b]);
      return descending ? result > 0 : result < 0;
    });
    return order;
  }
  // Left uninitialised: every item is written before it is read.
  const std::unique_ptr<Item[]> items(new Item[count]);
  for (std::size_t row = 0; row < count; ++row) {
    const std::string_view text = textOf(row);
    Item& item = items[row];
    item.Text = text.data();
    item.Row = static_cast<std::uint32_t>(row);
    // A text of 4 GiB or more would need more bits; none is that long.
    item.Length = static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), 0xFFFFFFFEu));
    KeyAt(item, 0);
  }
  std::vector<Group> pending;
  if (count > 1) pending.push_back({items.get(), items.get() + count, 0});
  while (!pending.empty()) {
    const Group group = pending.back();
    pending.pop_back();
    if (group.Depth > 0) {
      // Rows whose texts begin alike mostly lie near each other in memory; still, ask a little
      // ahead so that the waits for those that do not overlap.
      constexpr std::ptrdiff_t kAhead = 32;
      for (Item* item = group.First; item != group.End; ++item) {
        if (group.End - item > kAhead) __builtin_prefetch(item[kAhead].Text + group.Depth);
        KeyAt(*item, group.Depth);
      }
    }
    SortByKey(group.First, group.End, group.Depth, descending, [&](Item* first, Item* end) {
      if (TailAt(*first, group.Depth) == 0xFFFFFFFFu) {
        pending.push_back({first, end, group.Depth + kKeyBytes});  // alike so far: read on
      } else {
        // Equal texts: ordered by row, they keep their previous order.
        std::sort(first, end, [](const Item& a, const Item& b) { return a.Row < b.Row; });
      }
    });
  }
  for (std::size_t i = 0; i < count; ++i)
    order[i] = items[i].Row;
  return order;
}

std::vector<std::size_t> OrderByCount(const std::vector<Count>& counts, bool descending) {
  struct Keyed {
    std::int64_t Number;
    std::size_t Row;
  };
  std::vector<Keyed> numbers;
  std::vector<std::size_t> words;
  numbers.reserve(counts.size());
  for (std::size_t row = 0; row < counts.size(); ++row) {
    if (counts[row].HasNumber) {
      numbers.push_back({counts[row].Number, row});
    } else {
      words.push_back(row);
    }
  }
  std::sort(numbers.begin(), numbers.end(), [descending](const Keyed& a, const Keyed& b) {
    if (a.Number != b.Number) return descending ? a.Number > b.Number : a.Number < b.Number;
    return a.Row < b.Row;
  });
  // Every number goes before the word, whose rows are all equal.
  std::vector<std::size_t> order;
  order.reserve(counts.size());
  if (descending) order.insert(order.end(), words.begin(), words.end());
  for (const Keyed& keyed : numbers)
    order.push_back(keyed.Row);
  if (!descending) order.insert(order.end(), words.begin(), words.end());
  return order;
}

}  // namespace quillet::sorting
