#include "ui/FileTree.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace quillet {
namespace {

// Paths compared byte by byte with the separator before every other byte, so that everything
// below a folder comes right after it ("a/b", "a/b/c", "a/b.txt").
bool PathBefore(std::string_view a, std::string_view b, char separator) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (a[i] == b[i]) continue;
    if (a[i] == separator) return true;
    if (b[i] == separator) return false;
    return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
  }
  return a.size() < b.size();
}

bool IsBelow(std::string_view path, std::string_view folder, char separator) {
  return path.size() > folder.size() && path[folder.size()] == separator &&
         path.starts_with(folder);
}

// What the tree needs of a row, read once: its name stays in the model's store.
struct Item {
  std::string_view Name;
  std::int64_t Size = 0;
  std::size_t Parent = kNoParent;
  bool Folder = false;
  static constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);
};

// The rows each folder row holds, by name (siblings' paths differ in the name alone, so that
// is PathBefore's order): List[Begin[i] .. Begin[i + 1]) for row i.
struct Children {
  std::vector<std::size_t> Begin;
  std::vector<std::size_t> List;
};

Children ChildrenOf(const std::vector<Item>& rows) {
  const std::size_t count = rows.size();
  Children children;
  children.Begin.assign(count + 1, 0);
  for (const Item& row : rows) {
    if (row.Parent != Item::kNoParent) ++children.Begin[row.Parent + 1];
  }
  std::partial_sum(children.Begin.begin(), children.Begin.end(), children.Begin.begin());
  children.List.resize(children.Begin[count]);
  std::vector<std::size_t> filled(children.Begin.begin(), children.Begin.end() - 1);
  for (std::size_t i = 0; i < count; ++i) {
    if (rows[i].Parent != Item::kNoParent) children.List[filled[rows[i].Parent]++] = i;
  }
  const auto byName = [&rows](std::size_t a, std::size_t b) { return rows[a].Name < rows[b].Name; };
  for (std::size_t i = 0; i < count; ++i) {
    std::stable_sort(children.List.begin() + static_cast<std::ptrdiff_t>(children.Begin[i]),
                     children.List.begin() + static_cast<std::ptrdiff_t>(children.Begin[i + 1]),
                     byName);
  }
  return children;
}

// The rows at the top of a listing, in PathBefore's order of their paths.
std::vector<std::size_t> TopsInOrder(const ListsModel& model, const std::vector<Item>& rows) {
  std::vector<std::pair<std::string, std::size_t>> tops;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].Parent == Item::kNoParent) tops.emplace_back(model.FilePathAt(i), i);
  }
  std::stable_sort(tops.begin(), tops.end(), [](const auto& a, const auto& b) {
    return PathBefore(a.first, b.first, kPathSeparator);
  });
  std::vector<std::size_t> order;
  order.reserve(tops.size());
  for (const auto& top : tops)
    order.push_back(top.second);
  return order;
}

}  // namespace

FileTree FileTreeOf(std::size_t count, const std::function<FileRow(std::size_t)>& rowAt,
                    treemap::TypeKeys& keys, char separator) {
  FileTree tree;
  tree.Rows.resize(count);
  std::iota(tree.Rows.begin(), tree.Rows.end(), std::size_t{0});
  const auto before = [&](std::size_t a, std::size_t b) {
    return PathBefore(rowAt(a).Path, rowAt(b).Path, separator);
  };
  // A listing in its own order is already in pre-order; only a sorted list needs the sort.
  if (!std::is_sorted(tree.Rows.begin(), tree.Rows.end(), before)) {
    std::stable_sort(tree.Rows.begin(), tree.Rows.end(), before);
  }
  tree.Entries.reserve(count);
  std::vector<std::pair<std::string, std::int32_t>> open;  // folders holding the entry
  for (const std::size_t index : tree.Rows) {
    FileRow row = rowAt(index);
    while (!open.empty() && !IsBelow(row.Path, open.back().first, separator))
      open.pop_back();
    treemap::Entry entry;
    entry.Parent = open.empty() ? -1 : open.back().second;
    entry.Folder = row.IsFolder;
    if (!row.IsFolder) {
      entry.Size = static_cast<std::uint64_t>(std::max<std::int64_t>(row.Size, 0));
      entry.Type = keys.KeyOf(row.Caption);
    }
    if (row.IsFolder) {
      open.emplace_back(std::move(row.Path), static_cast<std::int32_t>(tree.Entries.size()));
    }
    tree.Entries.push_back(entry);
  }
  return tree;
}

FileTree FileTreeOf(const ListsModel& model, treemap::TypeKeys& keys) {
  const std::size_t count = model.FileRowCount();
  std::vector<Item> rows(count);
  for (std::size_t i = 0; i < count; ++i) {
    const FileRow row = model.FileRowAt(i, false);
    rows[i] = {row.Caption, row.Size, model.FileParentAt(i).value_or(Item::kNoParent),
               row.IsFolder};
  }
  const Children children = ChildrenOf(rows);
  FileTree tree;
  tree.Entries.reserve(count);
  tree.Rows.reserve(count);
  std::vector<std::int32_t> entryOf(count, -1);
  const std::vector<std::size_t> tops = TopsInOrder(model, rows);
  std::vector<std::size_t> pending(tops.rbegin(), tops.rend());  // pre-order: the next on top
  while (!pending.empty()) {
    const std::size_t index = pending.back();
    pending.pop_back();
    const Item& row = rows[index];
    treemap::Entry entry;
    entry.Parent = row.Parent != Item::kNoParent ? entryOf[row.Parent] : -1;
    entry.Folder = row.Folder;
    if (!row.Folder) {
      entry.Size = static_cast<std::uint64_t>(std::max<std::int64_t>(row.Size, 0));
      entry.Type = keys.KeyOf(row.Name);
    }
    entryOf[index] = static_cast<std::int32_t>(tree.Entries.size());
    tree.Entries.push_back(entry);
    tree.Rows.push_back(index);
    for (std::size_t k = children.Begin[index + 1]; k-- > children.Begin[index];)
      pending.push_back(children.List[k]);
  }
  return tree;
}

}  // namespace quillet
