// The file view's tree for the treemap: parents found from the paths of a sorted file list,
// against a hand-computed pre-order.
#include "ui/FileTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../lists/ModelFixture.h"

namespace quillet {
namespace {

struct Listed {
  std::string Path;
  bool Folder = false;
  std::int64_t Size = -1;
};

FileTree TreeOf(const std::vector<Listed>& listed, treemap::TypeKeys& keys, char separator) {
  return FileTreeOf(
      listed.size(),
      [&](std::size_t index) {
        const Listed& row = listed[index];
        return FileRowOf(row.Path, row.Folder, row.Size);
      },
      keys, separator);
}

TEST(FileTree, ParentsComeFromThePathsInAnyOrder) {
  // Sorted by size, not listed: "a.d" falls between "a" and "a/x.jpg" byte by byte ('.' < '/').
  const std::vector<Listed> listed{
      {"/r/b.txt", false, 5}, {"/r/a", true},         {"/r/a/x.jpg", false, 7},
      {"/r/a.d", true},       {"/r/a.d/y", false, 2}, {"/r/a/z/w.JPG", false, 3},
      {"/r/a/z", true},
  };
  for (const char separator : {'/', '\\'}) {
    std::vector<Listed> rows = listed;
    for (Listed& row : rows)
      std::replace(row.Path.begin(), row.Path.end(), '/', separator);
    treemap::TypeKeys keys;
    const FileTree tree = TreeOf(rows, keys, separator);
    // Pre-order: /r/a, /r/a/x.jpg, /r/a/z, /r/a/z/w.JPG, /r/a.d, /r/a.d/y, /r/b.txt.
    EXPECT_EQ(tree.Rows, (std::vector<std::size_t>{1, 2, 6, 5, 3, 4, 0}));
    std::vector<int> parents;
    for (const treemap::Entry& entry : tree.Entries)
      parents.push_back(entry.Parent);
    EXPECT_EQ(parents, (std::vector<int>{-1, 0, 0, 2, -1, 4, -1}));
    EXPECT_EQ(tree.Entries[1].Type, tree.Entries[3].Type);  // jpg and JPG
    EXPECT_NE(tree.Entries[1].Type, tree.Entries[6].Type);
    EXPECT_EQ(tree.Entries[3].Size, 3u);
    EXPECT_TRUE(tree.Entries[2].Folder);
    const treemap::Layout layout(tree.Entries, 40, 30);
    EXPECT_EQ(layout.Check(), treemap::TreeCheck{});
    EXPECT_FALSE(layout.Tiles().empty());
  }
}

// The model's tree comes from the parents it keeps; the tree found from the paths is the oracle.
class FileTreeOfModel : public test::ModelFixture {};

TEST_F(FileTreeOfModel, IsTheTreeOfThePathsWhateverTheSort) {
  for (const char* path : {"r/b.txt", "r/a/x.jpg", "r/a.d/y", "r/a/z/w.JPG", "r/a/z/v", "s/q"})
    m_tree.File(path, static_cast<std::int64_t>(std::string(path).size()));
  m_tree.Folder("r/a/empty");
  AddFolders({"r", "s"});
  SelectAllResults();
  m_model.tmiViewFileViewFlagClick();
  for (const int column : {0, 2, 1}) {
    m_model.SetFileSort(column, true);
    m_model.SortFileList();
    treemap::TypeKeys keys;
    const FileTree tree = FileTreeOf(m_model, keys);
    treemap::TypeKeys pathKeys;
    const FileTree byPaths = FileTreeOf(
        m_model.FileRowCount(), [this](std::size_t i) { return m_model.FileRowAt(i); }, pathKeys);
    ASSERT_EQ(tree.Rows, byPaths.Rows) << column;
    ASSERT_EQ(tree.Entries.size(), 10u);
    for (std::size_t i = 0; i < tree.Entries.size(); ++i) {
      EXPECT_EQ(tree.Entries[i].Parent, byPaths.Entries[i].Parent) << i;
      EXPECT_EQ(tree.Entries[i].Size, byPaths.Entries[i].Size) << i;
      EXPECT_EQ(tree.Entries[i].Type, byPaths.Entries[i].Type) << i;
    }
  }
}

TEST(FileTree, AnEmptyListIsAnEmptyTree) {
  treemap::TypeKeys keys;
  const FileTree tree = TreeOf({}, keys, '/');
  EXPECT_TRUE(tree.Entries.empty());
  const treemap::Layout layout(tree.Entries, 40, 30);
  EXPECT_EQ(layout.Check(), treemap::TreeCheck{});
  EXPECT_TRUE(layout.Tiles().empty());
}

}  // namespace
}  // namespace quillet
