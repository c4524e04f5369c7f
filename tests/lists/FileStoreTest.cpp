#include "lists/FileStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "scan/Text.h"

namespace quillet {
namespace {

struct Entry {
  std::string Path;
  bool Folder;
  std::int64_t Size;
  std::int64_t Disk;
};

std::string Join(std::initializer_list<std::string> names) {
  std::string path;
  for (const std::string& name : names)
    path += (&name == names.begin() ? "" : std::string(1, kPathSeparator)) + name;
  return path;
}

// The store gives back every entry as appended, and each entry's parent is the folder its path
// names (or none at the top of its listing).
void ExpectHolds(const FileStore& store, const std::vector<Entry>& entries,
                 const std::vector<std::size_t>& from) {
  ASSERT_EQ(store.Count(), from.size());
  for (std::size_t i = 0; i < from.size(); ++i) {
    const Entry& entry = entries[from[i]];
    const FileRow row = store.RowAt(i, true);
    EXPECT_EQ(row.Path, entry.Path);
    EXPECT_EQ(row.IsFolder, entry.Folder);
    EXPECT_EQ(row.Size, entry.Folder ? -1 : entry.Size) << entry.Path;
    EXPECT_EQ(row.DiskSize, entry.Disk) << entry.Path;
    const std::optional<std::size_t> parent = store.ParentAt(i);
    if (parent) {
      EXPECT_TRUE(store.IsFolder(*parent));
      EXPECT_EQ(store.PathAt(*parent) + kPathSeparator + std::string(row.Caption), entry.Path);
    }
    const FileStore::PathTable paths = store.Paths();
    EXPECT_EQ(std::string(paths.Shared()) + std::string(paths.Text(i)), entry.Path);
  }
}

TEST(FileStore, GivesBackPathsAndExactSizesThroughSortsAndKeeps) {
  const std::string top = Join({"", "top"});
  const std::string other = Join({"", "other"});
  const std::string longName(70000, 'n');  // longer than a name's length field (imports)
  const std::vector<Entry> entries = {
      {Join({top, "a"}), true, 0, 4096},
      {Join({top, "a", "odd-disk"}), false, 5, 513},
      {Join({top, "a", "huge"}), false, std::numeric_limits<std::int64_t>::max(),
       (std::int64_t{1} << 41) + 512},  // past 2 TiB of blocks
      {Join({top, "a", longName}), false, 1, std::numeric_limits<std::int64_t>::max()},
      {Join({top, "a", "b"}), true, 0, -1},
      {Join({top, "a", "b", ""}), false, 2, 0},  // a path that ends in its separator
      {Join({top, "a", "c"}), false, 4, 1024},   // back up to a folder after its subfolder
      {Join({top, "a b"}), false, -1, -7},       // a size that could not be read
      {Join({other, "x"}), true, 0, 0},          // the next row's listing
      {Join({other, "x", "y"}), false, 6, 1536},
      {Join({"", "third", "f"}), true, 0, 0},  // kept, below what is dropped
      {Join({"", "third", "f", "g"}), false, 0xFFFFFFFF, 700},
      {"no-separator", false, 7, 512},
  };
  FileStore store;
  for (RowId row = 1; row <= 3; ++row) {
    store.BeginRow(row);
    const std::size_t first = row == 1 ? 0 : (row == 2 ? 8 : 10);
    const std::size_t end = row == 1 ? 8 : (row == 2 ? 10 : entries.size());
    for (std::size_t i = first; i < end; ++i) {
      const Entry& e = entries[i];
      ASSERT_TRUE(store.Append(e.Path, e.Folder, e.Size, e.Disk));
    }
  }
  std::vector<std::size_t> order(entries.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  ExpectHolds(store, entries, order);
  EXPECT_FALSE(store.ParentAt(0).has_value());
  EXPECT_EQ(store.ParentAt(6), std::optional<std::size_t>(0));
  EXPECT_FALSE(store.ParentAt(7).has_value());

  // Rows 1 and 3 kept: the third row's entries move down, parents and sizes with them.
  store.KeepRows({1, 3});
  std::vector<std::size_t> kept = {0, 1, 2, 3, 4, 5, 6, 7, 10, 11, 12};
  ExpectHolds(store, entries, kept);

  // Any order: the records move, their parents, names and overflowing sizes with them.
  const std::vector<std::size_t> shuffle = {8, 4, 10, 0, 7, 2, 5, 1, 9, 3, 6};
  store.Reorder(shuffle);
  std::vector<std::size_t> moved;
  for (const std::size_t at : shuffle)
    moved.push_back(kept[at]);
  ExpectHolds(store, entries, moved);

  store.Clear();
  EXPECT_EQ(store.Count(), 0u);
  EXPECT_LT(store.MemoryBytes(), 1024u);
}

TEST(FileStore, HoldsAnEntryInFewerThanFortyBytesNameIncluded) {
  // 100 folders of 1,000 files, every name 12 bytes: the file view's shape.
  FileStore store;
  const std::string top = Join({"", "home", "user", "measured"});
  std::string name = "000000000000";
  const auto next = [&name] {
    for (std::size_t k = name.size(); k-- > 0;) {
      if (name[k]++ != '9') return name;
      name[k] = '0';
    }
    return name;
  };
  store.BeginListing();
  for (int folder = 0; folder < 100; ++folder) {
    const std::string path = top + kPathSeparator + next();
    ASSERT_TRUE(store.Append(path, true, 0, 4096));
    for (int file = 0; file < 999; ++file)
      ASSERT_TRUE(store.Append(path + kPathSeparator + next(), false, file, 4096));
  }
  ASSERT_EQ(store.Count(), 100000u);
  EXPECT_LT(static_cast<double>(store.MemoryBytes()) / static_cast<double>(store.Count()), 40.0);
  // A sort keeps nothing of its own.
  std::vector<std::size_t> reversed(store.Count());
  std::iota(reversed.rbegin(), reversed.rend(), std::size_t{0});
  const std::size_t before = store.MemoryBytes();
  store.Reorder(reversed);
  EXPECT_EQ(store.MemoryBytes(), before);
  EXPECT_EQ(store.PathAt(0), Join({top, "000000099001", "000000100000"}));
  const FileStore::PathTable paths = store.Paths();
  EXPECT_EQ(paths.Shared(), top + kPathSeparator);
  EXPECT_EQ(paths.Text(0), Join({"000000099001", "000000100000"}));
}

}  // namespace
}  // namespace quillet
