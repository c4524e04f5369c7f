#include "scan/Gloval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "TempTree.h"
#include "scan/Engine.h"
#include "scan/FileSystemFaults.h"
#include "scan/Text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quillet {
namespace {

using testing::TempTree;

struct Totals {
  std::int64_t Size = 0;
  std::int64_t Files = 0;
  std::int64_t Folders = 0;
  bool operator==(const Totals&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Totals& t) {
  return out << t.Size << " bytes, " << t.Files << " files, " << t.Folders << " folders";
}

// What the lists compute from an entry list: the folder count is what is not a file.
Totals FromEntries(const std::string& folder) {
  EntryList entries;
  CollectEntries(folder, entries, true, true, true);
  Totals t;
  SumFileSizes(entries, t.Size, t.Files);
  for (const auto& entry : entries)
    t.Folders += IsFolder(entry) ? 1 : 0;
  return t;
}

Totals FromEngine(const std::string& folder, unsigned threads = 0) {
  const FolderStatistics s = MeasureFolder(folder, threads);
  return Totals{s.TotalSize, s.FileCount, s.FolderCount};
}

EntryList Sorted(EntryList list) {
  std::sort(list.begin(), list.end());
  return list;
}

TEST(GlovalTest, EmptyFolder) {
  TempTree tree;
  EntryList entries;
  EXPECT_EQ(CollectEntries(tree.Root(), entries, true, true, true), 0);
  EXPECT_EQ(FromEntries(tree.Root()), Totals{});
  EXPECT_EQ(FromEngine(tree.Root()), Totals{});
}

TEST(GlovalTest, ListsDepthFirstPreOrderWithOrWithoutSeparator) {
  TempTree tree;
  const std::string a = tree.File("a.txt", 10);
  const std::string sub = tree.Folder("sub");
  const std::string b = tree.File("sub/b.txt", 5);
  for (const std::string& folder : {tree.Root(), tree.Root() + kPathSeparator}) {
    EntryList entries;
    EXPECT_EQ(CollectEntries(folder, entries, true, true, true), 3);
    EXPECT_EQ(Sorted(entries), Sorted({a, sub, b}));
    const auto at = [&](const std::string& s) {
      return std::find(entries.begin(), entries.end(), s);
    };
    EXPECT_LT(at(sub), at(b));
    EXPECT_EQ(FromEntries(folder), (Totals{15, 2, 1}));
  }
}

TEST(GlovalTest, FlagsChooseWhatIsListed) {
  TempTree tree;
  const std::string top = tree.File("top.bin", 1);
  const std::string x = tree.Folder("x");
  const std::string y = tree.Folder("x/y");
  const std::string deep = tree.File("x/y/deep.bin", 2);
  const std::string z = tree.Folder("z");
  struct Case {
    bool Recurse, Folders, Files;
    EntryList Expected;
  };
  const std::vector<Case> cases = {
      {false, true, false, {x, z}},     {false, false, true, {top}},
      {false, true, true, {top, x, z}}, {true, false, true, {top, deep}},
      {true, true, false, {x, y, z}},   {true, false, false, {}},
  };
  for (const auto& c : cases) {
    EntryList entries{"before"};
    const std::int64_t count = CollectEntries(tree.Root(), entries, c.Recurse, c.Folders, c.Files);
    EXPECT_EQ(count, static_cast<std::int64_t>(c.Expected.size()) + 1);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front(), "before");
    entries.erase(entries.begin());
    EXPECT_EQ(Sorted(entries), Sorted(c.Expected)) << c.Recurse << c.Folders << c.Files;
  }
}

TEST(GlovalTest, SizesAreSixtyFourBitAndNeverTakenForAFolder) {
  TempTree tree;
  const std::vector<std::int64_t> sizes = {
      0, 1, (1LL << 31) - 1, 1LL << 31, (1LL << 32) - 1, 1LL << 32, 5LL << 30};
  std::int64_t total = 0;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const std::string path = tree.SparseFile("f" + std::to_string(i), sizes[i]);
    EXPECT_EQ(FileSizeOf(path), sizes[i]);
    EXPECT_FALSE(IsFolder(path));
    total += sizes[i];
  }
  const std::string folder = tree.Folder("folder");
  EXPECT_EQ(FileSizeOf(folder), -1);
  EXPECT_TRUE(IsFolder(folder));
  EXPECT_EQ(FileSizeOf(tree.Path("missing")), -1);
  EXPECT_FALSE(IsFolder(tree.Path("missing")));
  const Totals expected{total, static_cast<std::int64_t>(sizes.size()), 1};
  EXPECT_EQ(FromEntries(tree.Root()), expected);
  EXPECT_EQ(FromEngine(tree.Root()), expected);
}

TEST(GlovalTest, OddNamesAreListedAndSized) {
  TempTree tree;
  std::vector<std::string> names = {"with space",     "a&b",           "日本語のフォルダ",
                                    "ファイル名.txt", " lead",         "semi;colon",
                                    "percent%20",     "multi.dot.name"};
#ifndef _WIN32
  names.push_back("new\nline");
  names.push_back("bad\xff\xfeutf8");
  names.push_back("back\\slash");
#endif
  EntryList expected;
  std::int64_t size = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string folder = tree.Folder(names[i]);
    const std::string file = tree.File(names[i] + "/" + names[i], static_cast<std::int64_t>(i) + 1);
    EXPECT_EQ(FileSizeOf(file), static_cast<std::int64_t>(i) + 1) << names[i];
    EXPECT_EQ(ExtractLastName(file), names[i]);
    expected.push_back(folder);
    expected.push_back(file);
    size += static_cast<std::int64_t>(i) + 1;
  }
  EntryList entries;
  CollectEntries(tree.Root(), entries, true, true, true);
  EXPECT_EQ(Sorted(entries), Sorted(expected));
  const auto n = static_cast<std::int64_t>(names.size());
  EXPECT_EQ(FromEntries(tree.Root()), (Totals{size, n, n}));
  EXPECT_EQ(FromEngine(tree.Root()), (Totals{size, n, n}));
}

// A chain of folders whose full path is longer than the platform's ordinary limit.
TEST(GlovalTest, TreesDeeperThanThePathLimit) {
  TempTree tree;
#ifdef _WIN32
  const std::size_t limit = 260;
#else
  const std::size_t limit = 4096;
#endif
  const std::string name(100, 'd');
  std::string path = tree.Root();
  EntryList expected;
  int level = 0;
  while (path.size() <= limit + 200) {
    path += kPathSeparator + name;
    ASSERT_TRUE(testing::MakeFolderAt(path));
    expected.push_back(path);
    if (++level % 5 == 0) {
      ASSERT_TRUE(testing::MakeFileAt(path + kPathSeparator + "f", level));
      expected.push_back(path + kPathSeparator + "f");
    }
  }
  const std::string deepest = path + kPathSeparator + "last.bin";
  ASSERT_TRUE(testing::MakeFileAt(deepest, 7));
  expected.push_back(deepest);
  EXPECT_GT(deepest.size(), limit);
  EXPECT_EQ(FileSizeOf(deepest), 7);
  EXPECT_TRUE(IsFolder(path));
  EntryList entries;
  CollectEntries(tree.Root(), entries, true, true, true);
  EXPECT_EQ(entries, expected);
  const Totals fromEntries = FromEntries(tree.Root());
  EXPECT_EQ(fromEntries.Folders, level);
  EXPECT_EQ(FromEngine(tree.Root()), fromEntries);
#ifndef _WIN32
  // Runs of separators mean one; here one straddles the point where a long path is split.
  const std::size_t split = 4094;
  const std::size_t at = deepest.rfind('/', split);
  std::string doubled = deepest;
  doubled.insert(at, split + 1 - at, '/');
  ASSERT_EQ(doubled.substr(split, 2), "//");
  EXPECT_EQ(FileSizeOf(doubled), 7);
  const std::string folder = doubled.substr(0, doubled.rfind('/'));
  EXPECT_TRUE(IsFolder(folder));
  EntryList below;
  CollectEntries(folder, below, true, true, true);
  EXPECT_EQ(below.size(), 1u);
  EXPECT_EQ(MeasureFolder(folder).TotalSize, 7);
#endif
}

#ifdef _WIN32

// A folder named in the long-path or the device namespace, or with forward slashes, is the same
// folder.
TEST(GlovalTest, PathPrefixesNameTheSameFolder) {
  TempTree tree;
  tree.File("a.bin", 5);
  tree.Folder("sub");
  tree.File("sub/b.bin", 7);
  std::string slashes = tree.Root();
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  for (const std::string& root : {"\\\\?\\" + tree.Root(), "\\\\.\\" + tree.Root(), slashes}) {
    EXPECT_TRUE(IsFolder(root)) << root;
    EXPECT_EQ(FileSizeOf(root + "\\sub\\b.bin"), 7) << root;
    EntryList entries;
    EXPECT_EQ(CollectEntries(root, entries, true, true, true), 3) << root;
    const FolderStatistics s = MeasureFolder(root);
    EXPECT_EQ((Totals{s.TotalSize, s.FileCount, s.FolderCount}), (Totals{12, 2, 1})) << root;
    EXPECT_EQ(s.UnreadableFolders, 0) << root;
  }
}

TEST(GlovalTest, HiddenAndSystemFilesCountLikeAnyOther) {
  TempTree tree;
  const std::string hidden = tree.File("hidden.txt", 3);
  const std::string system = tree.File("system.txt", 4);
  const std::string both = tree.Folder("both");
  tree.File("both/inner.txt", 5);
  const std::string readOnly = tree.File("readonly.txt", 6);
  const auto set = [](const std::string& path, DWORD attributes) {
    std::wstring wide(path.size() + 1, L'\0');
    wide.resize(static_cast<std::size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                              static_cast<int>(wide.size()))));
    ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), attributes));
  };
  set(hidden, FILE_ATTRIBUTE_HIDDEN);
  set(system, FILE_ATTRIBUTE_SYSTEM);
  set(both, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY);
  set(readOnly, FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(FileSizeOf(hidden), 3);
  EXPECT_EQ(FileSizeOf(system), 4);
  EXPECT_EQ(FileSizeOf(readOnly), 6);
  EXPECT_TRUE(IsFolder(both));
  EXPECT_EQ(FromEntries(tree.Root()), (Totals{18, 4, 1}));
  EXPECT_EQ(FromEngine(tree.Root()), (Totals{18, 4, 1}));
}

// A link to a folder is a folder entry that is never walked into, so a loop of them ends.
TEST(GlovalTest, FolderLinksAreFoldersNotWalkedInto) {
  TempTree tree;
  tree.Folder("real");
  tree.File("real/data.bin", 1000);
  const auto wide = [](const std::string& path) {
    std::wstring w(path.size() + 1, L'\0');
    w.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, path.data(),
                                                            static_cast<int>(path.size()), w.data(),
                                                            static_cast<int>(w.size()))));
    return w;
  };
  const std::string up = tree.Path("real/up");
  const std::string toReal = tree.Path("to-real");
  const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2;  // unprivileged creation, where allowed
  if (!::CreateSymbolicLinkW(wide(up).c_str(), wide(tree.Root()).c_str(), flags) ||
      !::CreateSymbolicLinkW(wide(toReal).c_str(), wide(tree.Path("real")).c_str(), flags)) {
    GTEST_SKIP() << "folder links cannot be made here";
  }
  const DWORD attributes = ::GetFileAttributesW(wide(up).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    GTEST_SKIP() << "this system does not show folder links as reparse points";
  }
  EXPECT_TRUE(IsFolder(up));
  EXPECT_EQ(FileSizeOf(up), -1);
  EXPECT_EQ(FromEntries(tree.Root()), (Totals{1000, 1, 3}));
  EXPECT_EQ(FromEngine(tree.Root()), (Totals{1000, 1, 3}));
}

#else

TEST(GlovalTest, HiddenEntriesAreListed) {
  TempTree tree;
  tree.Folder(".hidden");
  tree.File(".hidden/.profile", 4);
  tree.File(".x", 1);
  EXPECT_EQ(FromEntries(tree.Root()), (Totals{5, 2, 1}));
}

// A link is a non-folder entry of its own size, never walked into, so loops end.
TEST(GlovalTest, LinksAreCountedOnceAndNeverFollowed) {
  TempTree tree;
  tree.Folder("real");
  tree.File("real/data.bin", 1000);
  struct Link {
    const char* Name;
    std::string Target;
  };
  const std::vector<Link> links = {
      {"real/up", ".."},  // to an ancestor: a loop
      {"self", "self"},   // to itself
      {"ping", "pong"},   // two links to each other
      {"pong", "ping"},
      {"dangling", "nowhere/at/all"},
      {"to-real", tree.Path("real")},
      {"to-file", "real/data.bin"},
  };
  std::int64_t linkBytes = 0;
  for (const auto& link : links) {
    ASSERT_EQ(::symlink(link.Target.c_str(), tree.Path(link.Name).c_str()), 0);
    const std::string path = tree.Path(link.Name);
    EXPECT_FALSE(IsFolder(path)) << link.Name;
    EXPECT_EQ(FileSizeOf(path), static_cast<std::int64_t>(link.Target.size())) << link.Name;
    linkBytes += static_cast<std::int64_t>(link.Target.size());
  }
  const Totals expected{1000 + linkBytes, 1 + static_cast<std::int64_t>(links.size()), 1};
  EXPECT_EQ(FromEntries(tree.Root()), expected);
  EXPECT_EQ(FromEngine(tree.Root()), expected);
  // A link named as the folder to measure is followed, as a search of "link/" would be.
  EXPECT_EQ(FromEngine(tree.Path("to-real")), (Totals{1000 + 2, 2, 0}));
  EXPECT_EQ(FromEntries(tree.Path("to-real")), (Totals{1000 + 2, 2, 0}));
}

#endif

// ---- Faults a real tree cannot give to root, through the seam.

class Faults : public FileSystemFaults {
 public:
  std::vector<std::string> Unsearchable;
  std::vector<std::string> Gone;
  bool SearchFails(std::string_view folder) const override {
    return std::find(Unsearchable.begin(), Unsearchable.end(), folder) != Unsearchable.end();
  }
  bool Vanished(std::string_view path) const override {
    return std::find(Gone.begin(), Gone.end(), path) != Gone.end();
  }
};

TEST(GlovalTest, UnsearchableFolderIsAFolderWithNothingBelow) {
  TempTree tree;
  tree.File("keep.bin", 3);
  const std::string locked = tree.Folder("locked");
  tree.File("locked/secret.bin", 100);
  tree.Folder("locked/inner");
  Faults faults;
  faults.Unsearchable = {locked + kPathSeparator};
  ScopedFileSystemFaults scoped(faults);
  EntryList entries;
  CollectEntries(tree.Root(), entries, true, true, true);
  EXPECT_EQ(Sorted(entries), Sorted({tree.Path("keep.bin"), locked}));
  const Totals expected{3, 1, 1};
  EXPECT_EQ(FromEntries(tree.Root()), expected);
  for (unsigned threads : {1u, 2u}) {
    const FolderStatistics s = MeasureFolder(tree.Root(), threads);
    EXPECT_EQ((Totals{s.TotalSize, s.FileCount, s.FolderCount}), expected);
    EXPECT_EQ(s.UnreadableFolders, 1);
  }
  faults.Unsearchable = {tree.Root() + kPathSeparator};
  entries.clear();
  EXPECT_EQ(CollectEntries(tree.Root(), entries, true, true, true), 0);
  const FolderStatistics root = MeasureFolder(tree.Root());
  EXPECT_EQ((Totals{root.TotalSize, root.FileCount, root.FolderCount}), Totals{});
  EXPECT_EQ(root.UnreadableFolders, 1);
}

TEST(GlovalTest, VanishedEntryIsNeitherFileNorFolder) {
  TempTree tree;
  tree.File("stays.bin", 8);
  const std::string goneFile = tree.File("gone.bin", 50);
  const std::string goneFolder = tree.Folder("gone-folder");
  tree.File("gone-folder/inside.bin", 70);
  Faults faults;
  faults.Gone = {goneFile, goneFolder};
  ScopedFileSystemFaults scoped(faults);
  EXPECT_FALSE(IsFolder(goneFolder));
  EXPECT_EQ(FileSizeOf(goneFile), -1);
  EntryList entries;
  CollectEntries(tree.Root(), entries, true, true, true);
  std::int64_t size = 0, files = 0;
  SumFileSizes(entries, size, files);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(files, 1);
  EXPECT_EQ(FromEntries(tree.Root()), (Totals{8, 1, 0}));
  EXPECT_EQ(FromEngine(tree.Root()), (Totals{8, 1, 0}));
  std::vector<std::string> walked;
  WalkTree(tree.Root(), [&](const TreeEntry& e) {
    walked.emplace_back(e.Path);
    return true;
  });
  EXPECT_EQ(walked, EntryList{tree.Path("stays.bin")});
}

}  // namespace
}  // namespace quillet
