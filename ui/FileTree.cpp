#include "ui/FileTree.h"

#include <algorithm>
#include <numeric>
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
  return FileTreeOf(
      model.FileRowCount(), [&model](std::size_t index) { return model.FileRowAt(index); }, keys);
}

}  // namespace quillet
