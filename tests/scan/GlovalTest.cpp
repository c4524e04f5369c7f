#include "scan/Gloval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "TempTree.h"
#include "scan/Engine.h"
#include "scan/FileSystemFaults.h"
#include "scan/Text.h"
#include "scan/Utf16.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

EntryList Collect(const std::string& folder) {
  EntryList entries;
  CollectEntries(folder, entries, true, true, true);
  return entries;
}

EntryList Sorted(EntryList list) {
  std::sort(list.begin(), list.end());
  return list;
}

// What the lists compute from an entry list: the folder count is what is not a file.
Totals FromEntries(const std::string& folder) {
  const EntryList entries = Collect(folder);
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

void ExpectTotals(const std::string& folder, const Totals& expected) {
  EXPECT_EQ(FromEntries(folder), expected) << folder;
  EXPECT_EQ(FromEngine(folder), expected) << folder;
}

TEST(GlovalTest, ListsDepthFirstPreOrderWithOrWithoutSeparator) {
  TempTree tree;
  EXPECT_EQ(Collect(tree.Root()), EntryList{});
  ExpectTotals(tree.Root(), Totals{});
  const std::string a = tree.File("a.txt", 10);
  const std::string sub = tree.Folder("sub");
  const std::string b = tree.File("sub/b.txt", 5);
  for (const std::string& folder : {tree.Root(), tree.Root() + kPathSeparator}) {
    const EntryList entries = Collect(folder);
    EXPECT_EQ(Sorted(entries), Sorted({a, sub, b}));
    EXPECT_LT(std::find(entries.begin(), entries.end(), sub),
              std::find(entries.begin(), entries.end(), b));
    ExpectTotals(folder, Totals{15, 2, 1});
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
    // What is in the list already stays first and counts in the result.
    EntryList entries{"before"};
    const std::int64_t count = CollectEntries(tree.Root(), entries, c.Recurse, c.Folders, c.Files);
    EXPECT_EQ(count, static_cast<std::int64_t>(c.Expected.size()) + 1);
    ASSERT_EQ(entries.at(0), "before");
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
    const std::string path = tree.File("f" + std::to_string(i), sizes[i]);
    EXPECT_EQ(FileSizeOf(path), sizes[i]);
    EXPECT_FALSE(IsFolder(path));
    total += sizes[i];
  }
  const std::string folder = tree.Folder("folder");
  EXPECT_EQ(FileSizeOf(folder), -1);
  EXPECT_TRUE(IsFolder(folder));
  EXPECT_EQ(FileSizeOf(tree.Path("missing")), -1);
  EXPECT_FALSE(IsFolder(tree.Path("missing")));
  ExpectTotals(tree.Root(), Totals{total, static_cast<std::int64_t>(sizes.size()), 1});
}

// Names starting with dots are ordinary (hidden) entries; only "." and ".." are left out.
TEST(GlovalTest, OddNamesAreListedAndSized) {
  std::vector<std::string> names = {
      "with space", "a&b",    "日本語のフォルダ", "ファイル名.txt", " lead",
      ".dot",       "..dots", "semi;colon",       "percent%20",     "multi.dot.name"};
#ifndef _WIN32
  names.insert(names.end(), {"new\nline", "bad\xff\xfeutf8", "back\\slash"});
#endif
  TempTree tree;
  EntryList expected;
  std::int64_t size = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    expected.push_back(tree.Folder(names[i]));
    expected.push_back(tree.File(names[i] + "/" + names[i], static_cast<std::int64_t>(i) + 1));
    size += static_cast<std::int64_t>(i) + 1;
  }
  EXPECT_EQ(Sorted(Collect(tree.Root())), Sorted(expected));
  const auto n = static_cast<std::int64_t>(names.size());
  ExpectTotals(tree.Root(), Totals{size, n, n});
}

// A chain of folders whose full path is longer than the platform's ordinary limit.
TEST(GlovalTest, TreesDeeperThanThePathLimit) {
  TempTree tree;
#ifdef _WIN32
  const std::size_t limit = 260;
#else
  const std::size_t limit = 4096;
#endif
  std::string path = tree.Root();
  EntryList expected;
  int level = 0;
  while (path.size() <= limit + 200) {
    path += kPathSeparator + std::string(100, 'd');
    ASSERT_TRUE(testing::MakeFolderAt(path));
    expected.push_back(path);
    if (++level % 5 == 0) {
      expected.push_back(path + kPathSeparator + "f");
      ASSERT_TRUE(testing::MakeFileAt(expected.back(), level));
    }
  }
  const std::string deepest = path + kPathSeparator + "last.bin";
  ASSERT_TRUE(testing::MakeFileAt(deepest, 7));
  expected.push_back(deepest);
  EXPECT_EQ(FileSizeOf(deepest), 7);
  EXPECT_TRUE(IsFolder(path));
  EXPECT_EQ(Collect(tree.Root()), expected);
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
  EXPECT_EQ(Collect(folder).size(), 1u);
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
    ExpectTotals(root, Totals{12, 2, 1});
    EXPECT_EQ(MeasureFolder(root).UnreadableFolders, 0) << root;
  }
}

TEST(GlovalTest, HiddenAndSystemFilesCountLikeAnyOther) {
  TempTree tree;
  const std::pair<std::string, DWORD> made[] = {
      {tree.File("hidden.txt", 3), FILE_ATTRIBUTE_HIDDEN},
      {tree.File("system.txt", 4), FILE_ATTRIBUTE_SYSTEM},
      {tree.File("readonly.txt", 6), FILE_ATTRIBUTE_READONLY},
      {tree.Folder("both"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
  };
  tree.File("both/inner.txt", 5);
  for (const auto& [path, attributes] : made)
    ASSERT_TRUE(::SetFileAttributesW(testing::Wide(path).c_str(), attributes)) << path;
  ExpectTotals(tree.Root(), Totals{18, 4, 1});
}

// A name that is no valid UTF-16 (a lone surrogate) is kept exactly, so it is found again, sized
// and walked into like any other.
TEST(GlovalTest, NamesWithLoneSurrogatesKeepTheirSubtrees) {
  TempTree tree;
  const std::wstring odd = {L'x', wchar_t(0xD800), L'y'};
  const std::wstring folder = L"\\\\?\\" + testing::Wide(tree.Root()) + L"\\" + odd;
  if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
    GTEST_SKIP()
        << "this file system takes no name with a lone surrogate (wine maps names to UTF-8)";
  }
  const HANDLE file = ::CreateFileW((folder + L"\\" + odd).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file, "12345", 5, &written, nullptr));
  ::CloseHandle(file);
  const std::string name = ToUtf8(std::wstring_view(odd));
  EntryList entries;
  CollectEntries(tree.Root(), entries, true, true, true);
  EXPECT_EQ(entries,
            (EntryList{tree.Root() + "\\" + name, tree.Root() + "\\" + name + "\\" + name}));
  EXPECT_EQ(FileSizeOf(entries.back()), 5);
  ExpectTotals(tree.Root(), Totals{5, 1, 1});
  ::DeleteFileW((folder + L"\\" + odd).c_str());
  ::RemoveDirectoryW(folder.c_str());
}

// A link to a folder is a folder entry that is never walked into, so a loop of them ends.
TEST(GlovalTest, FolderLinksAreFoldersNotWalkedInto) {
  TempTree tree;
  tree.Folder("real");
  tree.File("real/data.bin", 1000);
  const std::wstring up = testing::Wide(tree.Path("real/up"));
  const DWORD flags = SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2;  // unprivileged creation, where allowed
  if (!::CreateSymbolicLinkW(up.c_str(), testing::Wide(tree.Root()).c_str(), flags) ||
      !::CreateSymbolicLinkW(testing::Wide(tree.Path("to-real")).c_str(),
                             testing::Wide(tree.Path("real")).c_str(), flags)) {
    GTEST_SKIP() << "folder links cannot be made here";
  }
  const DWORD attributes = ::GetFileAttributesW(up.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    GTEST_SKIP() << "this system does not show folder links as reparse points";
  }
  EXPECT_TRUE(IsFolder(tree.Path("real/up")));
  EXPECT_EQ(FileSizeOf(tree.Path("real/up")), -1);
  ExpectTotals(tree.Root(), Totals{1000, 1, 3});
}

#else

// A link is a non-folder entry of its own size, never walked into, so loops end.
TEST(GlovalTest, LinksAreCountedOnceAndNeverFollowed) {
  TempTree tree;
  tree.Folder("real");
  tree.File("real/data.bin", 1000);
  const std::pair<const char*, std::string> links[] = {
      {"real/up", ".."},  // to an ancestor: a loop
      {"self", "self"},   // to itself
      {"ping", "pong"},   // two links to each other
      {"pong", "ping"},
      {"dangling", "nowhere/at/all"},
      {"to-real", tree.Path("real")},
      {"to-file", "real/data.bin"},
  };
  std::int64_t linkBytes = 0;
  for (const auto& [name, target] : links) {
    ASSERT_EQ(::symlink(target.c_str(), tree.Path(name).c_str()), 0);
    linkBytes += static_cast<std::int64_t>(target.size());
  }
  ExpectTotals(tree.Root(), Totals{1000 + linkBytes, 1 + std::ssize(links), 1});
  // A link named as the folder to measure is followed, as a search of "link/" would be.
  ExpectTotals(tree.Path("to-real"), Totals{1000 + 2, 2, 0});
}

#endif

// ---- Whether anything is left at a path

// Gone only where the file system says nothing is there: the name, or a folder on its way, is
// missing, or what should be a folder on the way is a file.
TEST(GlovalTest, GoneOnlyWhereNothingIsLeft) {
  TempTree tree;
  const std::string file = tree.File("file.bin", 1);
  const struct {
    std::string Path;
    bool Gone;
  } cases[] = {
      {file, false},
      {tree.Folder("folder"), false},
      {tree.Root() + kPathSeparator, false},
      {tree.Path("missing"), true},
      {tree.Path("missing/below"), true},
      {file + kPathSeparator + "below", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsGone(c.Path), c.Gone) << c.Path;
}

#ifndef _WIN32

// Whether check holds for a user without privileges: it runs in a child process that gives up
// root first when it has it. Nothing when that cannot be arranged here.
std::optional<bool> HoldsUnprivileged(const std::function<bool()>& check) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(2);
    }
    ::_exit(check() ? 1 : 0);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) > 1) {
    return std::nullopt;
  }
  return WEXITSTATUS(status) == 1;
}

// A path that cannot be queried (no search permission on its way) is not gone, even where
// nothing is there.
TEST(GlovalTest, PathThatCannotBeQueriedIsNotGone) {
  TempTree tree;
  const std::string locked = tree.Folder("locked");
  const std::string inside = tree.File("locked/inside.bin");
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  const std::optional<bool> held = HoldsUnprivileged([&] {
    return IsGone(tree.Path("missing")) && !IsGone(inside) && !IsGone(locked + "/missing");
  });
  ::chmod(locked.c_str(), 0755);
  if (!held) GTEST_SKIP() << "cannot drop privileges";
  EXPECT_TRUE(*held);
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
  ScopedFileSystemFaults scoped(faults);
  struct Case {
    std::string Unsearchable;
    EntryList Entries;
    Totals Expected;
  };
  const Case cases[] = {
      {locked, {tree.Path("keep.bin"), locked}, Totals{3, 1, 1}},
      {tree.Root(), {}, Totals{}},
  };
  for (const auto& c : cases) {
    faults.Unsearchable = {c.Unsearchable + kPathSeparator};
    EXPECT_EQ(Sorted(Collect(tree.Root())), Sorted(c.Entries));
    EXPECT_EQ(FromEntries(tree.Root()), c.Expected);
    for (unsigned threads : {1u, 2u}) {
      const FolderStatistics s = MeasureFolder(tree.Root(), threads);
      EXPECT_EQ((Totals{s.TotalSize, s.FileCount, s.FolderCount}), c.Expected) << c.Unsearchable;
      EXPECT_EQ(s.UnreadableFolders, 1) << c.Unsearchable;
    }
  }
}

TEST(GlovalTest, VanishedEntryIsNeitherFileNorFolder) {
  TempTree tree;
  tree.File("stays.bin", 8);
  Faults faults;
  faults.Gone = {tree.File("gone.bin", 50), tree.Folder("gone-folder")};
  tree.File("gone-folder/inside.bin", 70);
  ScopedFileSystemFaults scoped(faults);
  ExpectTotals(tree.Root(), Totals{8, 1, 0});
  EntryList walked;
  WalkTree(tree.Root(), [&](const TreeEntry& e) {
    walked.emplace_back(e.Path);
    return true;
  });
  EXPECT_EQ(walked, EntryList{tree.Path("stays.bin")});
  // Asked alone, whether anything is left there, it is gone as well.
  EXPECT_TRUE(IsGone(faults.Gone[0]));
  EXPECT_TRUE(IsGone(faults.Gone[1]));
  EXPECT_FALSE(IsGone(tree.Path("stays.bin")));
}

}  // namespace
}  // namespace quillet
