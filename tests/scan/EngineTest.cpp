#include "scan/Engine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "TempTree.h"
#include "scan/Gloval.h"
#include "scan/Text.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quillet {
namespace {

using testing::TempTree;

struct Listed {
  std::string Path;
  bool Folder = false;
  std::int64_t Size = -1;
  bool operator==(const Listed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Listed& l) {
  return out << l.Path << (l.Folder ? " (folder)" : " ") << l.Size;
}

// The listing as the entry-list routines give it, one attribute query per entry.
std::vector<Listed> ListByEntries(const std::string& folder) {
  EntryList entries;
  CollectEntries(folder, entries, true, true, true);
  std::vector<Listed> listed;
  for (const auto& entry : entries) {
    const bool isFolder = IsFolder(entry);
    listed.push_back({entry, isFolder, isFolder ? -1 : FileSizeOf(entry)});
  }
  return listed;
}

std::vector<Listed> ListByWalk(const std::string& folder) {
  std::vector<Listed> listed;
  const bool finished = WalkTree(folder, [&](const TreeEntry& e) {
    listed.push_back({std::string(e.Path), e.IsFolder, e.Size});
    return true;
  });
  EXPECT_TRUE(finished);
  return listed;
}

void ExpectEngineAgrees(const std::string& folder) {
  const std::vector<Listed> listed = ListByEntries(folder);
  EntryList entries;
  for (const auto& l : listed)
    entries.push_back(l.Path);
  std::int64_t size = 0, files = 0;
  SumFileSizes(entries, size, files);
  const auto folders = static_cast<std::int64_t>(entries.size()) - files;
  for (unsigned threads : {0u, 1u, 2u, 4u, 7u}) {
    const FolderStatistics s = MeasureFolder(folder, threads);
    EXPECT_EQ(s.TotalSize, size) << threads;
    EXPECT_EQ(s.FileCount, files) << threads;
    EXPECT_EQ(s.FolderCount, folders) << threads;
    EXPECT_EQ(s.UnreadableFolders, 0) << threads;
  }
  // The streamed listing is the entry list itself, in the same order, with the same kinds.
  EXPECT_EQ(ListByWalk(folder), listed);
}

// A random tree: folders up to six deep, empty folders, files of random sizes, and on Linux
// links of every kind.
std::int64_t MakeRandomTree(TempTree& tree, unsigned seed, int entries) {
  std::mt19937 random(seed);
  std::vector<std::string> folders = {""};
  for (int i = 0; i < entries; ++i) {
    const std::string parent = folders[random() % folders.size()];
    const std::string name = (parent.empty() ? "" : parent + "/") + "e" + std::to_string(i);
    const unsigned kind = random() % 10;
    const auto depth = std::count(parent.begin(), parent.end(), '/');
    if (kind < 3 && depth < 6) {
      tree.Folder(name);
      folders.push_back(name);
    } else if (kind == 9) {
#ifndef _WIN32
      const std::string target = random() % 2 ? folders[random() % folders.size()] : "missing";
      EXPECT_EQ(::symlink(tree.Path(target).c_str(), tree.Path(name).c_str()), 0);
#else
      tree.File(name, 0);
#endif
    } else {
      tree.File(name, static_cast<std::int64_t>(random() % 100000));
    }
  }
  return static_cast<std::int64_t>(folders.size()) - 1;
}

TEST(EngineTest, AgreesWithEntryListsOnRandomTrees) {
  for (unsigned seed : {1u, 2u, 3u}) {
    TempTree tree;
    const std::int64_t folders = MakeRandomTree(tree, seed, 3000);
    ExpectEngineAgrees(tree.Root());
    EXPECT_EQ(MeasureFolder(tree.Root()).FolderCount, folders);
  }
}

TEST(EngineTest, ManySmallFoldersSharedBetweenThreads) {
  TempTree tree;
  for (int i = 0; i < 40; ++i) {
    const std::string top = "t" + std::to_string(i);
    tree.Folder(top);
    for (int j = 0; j < 20; ++j) {
      tree.Folder(top + "/s" + std::to_string(j));
      tree.File(top + "/s" + std::to_string(j) + "/f", i * 100 + j);
    }
  }
  ExpectEngineAgrees(tree.Root());
  // More threads than could ever be started: the pool is bounded and the numbers stay.
  const FolderStatistics s = MeasureFolder(tree.Root(), std::numeric_limits<unsigned>::max());
  EXPECT_EQ(s.TotalSize, 40 * 20 * (39 * 100 + 19) / 2);
  EXPECT_EQ(s.FileCount, 40 * 20);
  EXPECT_EQ(s.FolderCount, 40 * 21);
  EXPECT_EQ(s.UnreadableFolders, 0);
}

TEST(EngineTest, WalkStopsWhenTheVisitorSaysSo) {
  TempTree tree;
  MakeRandomTree(tree, 9, 200);
  for (int stopAfter : {1, 2, 50}) {
    int visits = 0;
    const bool finished =
        WalkTree(tree.Root(), [&](const TreeEntry&) { return ++visits < stopAfter; });
    EXPECT_FALSE(finished);
    EXPECT_EQ(visits, stopAfter);
  }
}

TEST(EngineTest, MissingFolderOrFileIsOneUnreadableFolder) {
  TempTree tree;
  const std::string file = tree.File("plain.txt", 5);
  for (const std::string& path : {tree.Path("missing"), file}) {
    const FolderStatistics s = MeasureFolder(path);
    EXPECT_EQ(s.TotalSize, 0);
    EXPECT_EQ(s.FileCount, 0);
    EXPECT_EQ(s.FolderCount, 0);
    EXPECT_EQ(s.UnreadableFolders, 1);
    int visits = 0;
    EXPECT_TRUE(WalkTree(path, [&](const TreeEntry&) { return ++visits > 0; }));
    EXPECT_EQ(visits, 0);
  }
}

#ifndef _WIN32

// Keeps the process's open-file limit low while alive.
class FileLimit {
 public:
  explicit FileLimit(rlim_t limit) {
    ::getrlimit(RLIMIT_NOFILE, &m_saved);
    rlimit lowered = m_saved;
    lowered.rlim_cur = limit;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~FileLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }

 private:
  rlimit m_saved{};
};

// Deeper than PATH_MAX and than the descriptors a process may hold, with siblings at every level
// so that each folder is reached again after its subfolder.
TEST(EngineTest, VeryDeepTreeWithFewDescriptors) {
  TempTree tree;
  std::string path = tree.Root();
  for (int level = 0; level < 1500; ++level) {
    path += "/dd";
    ASSERT_TRUE(testing::MakeFolderAt(path));
    if (level % 7 == 0) {
      ASSERT_TRUE(testing::MakeFileAt(path + "/f", level));
    }
    if (level % 11 == 0) {
      ASSERT_TRUE(testing::MakeFolderAt(path + "/side"));
    }
  }
  ASSERT_GT(path.size(), 4096u);
  FileLimit limit(200);
  ExpectEngineAgrees(tree.Root());
  EXPECT_EQ(MeasureFolder(tree.Root()).FolderCount, 1500 + (1499 / 11 + 1));
}

// The engine's numbers as a user without privileges sees them: from a child process that gives
// up root first when it has it. False when that cannot be arranged here.
bool MeasureUnprivileged(const std::string& folder, unsigned threads, FolderStatistics& into) {
  int channel[2];
  if (::pipe(channel) != 0) return false;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(1);
    }
    const FolderStatistics s = MeasureFolder(folder, threads);
    const bool sent = ::write(channel[1], &s, sizeof s) == static_cast<ssize_t>(sizeof s);
    ::_exit(sent ? 0 : 1);
  }
  ::close(channel[1]);
  const bool received =
      child > 0 && ::read(channel[0], &into, sizeof into) == static_cast<ssize_t>(sizeof into);
  ::close(channel[0]);
  int status = 0;
  if (child > 0) ::waitpid(child, &status, 0);
  return received && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Folders whose names can be read but whose entries cannot be queried (no search permission):
// what cannot be queried is not counted, and the folder counts as unreadable once, whether or
// not it holds files and whichever thread meets its subfolders.
TEST(EngineTest, FolderThatCannotBeSearchedCountsAsUnreadableOnce) {
  TempTree tree;
  tree.File("keep.bin", 3);
  const std::string namesOnly = tree.Folder("names-only");
  tree.File("names-only/a.bin", 5);
  tree.Folder("names-only/sub");
  tree.File("names-only/sub/b.bin", 7);
  const std::string foldersOnly = tree.Folder("folders-only");
  for (int i = 0; i < 60; ++i)
    tree.Folder("folders-only/s" + std::to_string(i));
  tree.Folder("open");
  tree.File("open/c.bin", 11);
  struct Restore {
    std::vector<std::string> Folders;
    ~Restore() {
      for (const auto& folder : Folders)
        ::chmod(folder.c_str(), 0755);
    }
  } restore{{namesOnly, foldersOnly}};
  for (const auto& folder : restore.Folders)
    ASSERT_EQ(::chmod(folder.c_str(), 0444), 0);
  for (unsigned threads : {1u, 2u, 7u}) {
    FolderStatistics s;
    if (!MeasureUnprivileged(tree.Root(), threads, s)) GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(s.TotalSize, 3 + 11) << threads;
    EXPECT_EQ(s.FileCount, 2) << threads;
    EXPECT_EQ(s.FolderCount, 3) << threads;
    EXPECT_EQ(s.UnreadableFolders, 2) << threads;
  }
}

// Mounts a file system for the life of the object; Mounted() is false where that is not allowed.
class ScopedMount {
 public:
  ScopedMount(const char* type, const std::string& at) : m_at(at) {
    m_mounted = ::mount(type, at.c_str(), type, MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) == 0;
  }
  ~ScopedMount() {
    if (m_mounted) ::umount2(m_at.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return m_mounted; }

 private:
  std::string m_at;
  bool m_mounted = false;
};

// Pseudo file systems count as a folder with nothing in it; a real one mounted inside is walked.
TEST(EngineTest, PseudoFileSystemsInsideATreeAreNotWalked) {
  TempTree tree;
  tree.File("a.bin", 11);
  std::vector<std::unique_ptr<ScopedMount>> mounts;
  int pseudo = 0;
  for (const char* type : {"proc", "sysfs", "devtmpfs", "cgroup2", "tmpfs"}) {
    const std::string at = tree.Folder(std::string("m-") + type);
    mounts.push_back(std::make_unique<ScopedMount>(type, at));
    if (!mounts.back()->Mounted()) continue;
    if (std::string(type) == "tmpfs") {
      testing::MakeFileAt(at + "/real.bin", 1000);
    } else {
      ++pseudo;
    }
  }
  if (!mounts.back()->Mounted() || pseudo == 0) GTEST_SKIP() << "mounting is not permitted here";
  const std::int64_t folders = 5;
  const std::vector<Listed> listed = ListByEntries(tree.Root());
  EXPECT_EQ(static_cast<std::int64_t>(listed.size()), 2 + folders);
  ExpectEngineAgrees(tree.Root());
  const FolderStatistics s = MeasureFolder(tree.Root());
  EXPECT_EQ(s.TotalSize, 1011);
  EXPECT_EQ(s.FileCount, 2);
  EXPECT_EQ(s.FolderCount, folders);
}

#endif

}  // namespace
}  // namespace quillet
