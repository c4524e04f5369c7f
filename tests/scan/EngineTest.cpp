#include "scan/Engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <limits>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "TempTree.h"
#include "scan/FileSystemFaults.h"
#include "scan/Gloval.h"
#include "scan/Text.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
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

// Size, files, folders, unreadable folders.
using Numbers = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>;

Numbers NumbersOf(const FolderStatistics& s) {
  return {s.TotalSize, s.FileCount, s.FolderCount, s.UnreadableFolders};
}

// The engine against the entry-list routines: the same numbers for every number of threads, and
// the streamed listing is the entry list itself, in the same order, with the same kinds and sizes.
void ExpectEngineAgrees(const std::string& folder) {
  EntryList entries;
  CollectEntries(folder, entries, true, true, true);
  std::int64_t size = 0, files = 0;
  SumFileSizes(entries, size, files);
  std::vector<Listed> listed;
  for (const auto& entry : entries)
    listed.push_back({entry, IsFolder(entry), IsFolder(entry) ? -1 : FileSizeOf(entry)});
  // More threads than could ever start, too: the pool is bounded and the numbers stay.
  for (unsigned threads : {0u, 1u, 2u, 4u, 7u, std::numeric_limits<unsigned>::max()}) {
    EXPECT_EQ(NumbersOf(MeasureFolder(folder, threads)),
              (Numbers{size, files, std::ssize(entries) - files, 0}))
        << threads;
  }
  std::vector<Listed> walked;
  EXPECT_TRUE(WalkTree(folder, [&](const TreeEntry& e) {
    walked.push_back({std::string(e.Path), e.IsFolder, e.Size});
    return true;
  }));
  EXPECT_EQ(walked, listed);
}

// A random tree: folders up to six deep, empty folders, files of random sizes, and on Linux
// links of every kind. Returns its statistics as made.
FolderStatistics MakeRandomTree(TempTree& tree, unsigned seed, int entries) {
  std::mt19937 random(seed);
  std::vector<std::string> folders = {""};
  FolderStatistics made;
  for (int i = 0; i < entries; ++i) {
    const std::string parent = folders[random() % folders.size()];
    const std::string name = (parent.empty() ? "" : parent + "/") + "e" + std::to_string(i);
    const unsigned kind = random() % 10;
    if (kind < 3 && std::count(parent.begin(), parent.end(), '/') < 6) {
      tree.Folder(name);
      folders.push_back(name);
      ++made.FolderCount;
      continue;
    }
    ++made.FileCount;
#ifndef _WIN32
    if (kind == 9) {
      const std::string target =
          tree.Path(random() % 2 ? folders[random() % folders.size()] : "missing");
      EXPECT_EQ(::symlink(target.c_str(), tree.Path(name).c_str()), 0);
      made.TotalSize += std::ssize(target);
      continue;
    }
#endif
    const auto size = static_cast<std::int64_t>(random() % 100000);
    tree.File(name, size);
    made.TotalSize += size;
  }
  return made;
}

TEST(EngineTest, AgreesWithEntryListsOnRandomTrees) {
  for (unsigned seed : {1u, 2u, 3u}) {
    TempTree tree;
    const FolderStatistics made = MakeRandomTree(tree, seed, 3000);
    ExpectEngineAgrees(tree.Root());
    EXPECT_EQ(NumbersOf(MeasureFolder(tree.Root())), NumbersOf(made));
  }
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
    EXPECT_EQ(NumbersOf(MeasureFolder(path)), (Numbers{0, 0, 0, 1})) << path;
    int visits = 0;
    EXPECT_TRUE(WalkTree(path, [&](const TreeEntry&) { return ++visits > 0; }));
    EXPECT_EQ(visits, 0);
  }
}

// A folder of thousands of entries is read in parts; one deep enough to be parked between its
// subfolders is read to its end first. Either way every entry counts once, in the listing's order.
TEST(EngineTest, HugeFolderIsReadInParts) {
  TempTree tree;
  std::string big = tree.Root();
  for (int level = 0; level < 26; ++level) {
    big += kPathSeparator + std::string("d");
    ASSERT_TRUE(testing::MakeFolderAt(big));
  }
  for (int i = 0; i < 3000; ++i)
    ASSERT_TRUE(testing::MakeFileAt(big + kPathSeparator + "f" + std::to_string(i), i));
  for (int i = 0; i < 40; ++i) {
    const std::string side = big + kPathSeparator + "s" + std::to_string(i);
    ASSERT_TRUE(testing::MakeFolderAt(side) && testing::MakeFileAt(side + kPathSeparator + "f", 1));
  }
  ExpectEngineAgrees(tree.Root());
  ExpectEngineAgrees(big);
#ifndef _WIN32
  // A file is queried when the walk reaches it, not when its folder is read: what was removed
  // meanwhile is not visited.
  std::vector<std::string> visitedFiles;
  EXPECT_TRUE(WalkTree(big, [&](const TreeEntry& e) {
    if (visitedFiles.empty() && !e.IsFolder) {
      for (int i = 0; i < 3000; ++i)
        ::unlink((big + "/f" + std::to_string(i)).c_str());
    }
    if (!e.IsFolder) visitedFiles.emplace_back(e.Path);
    return true;
  }));
  const auto removed =
      std::count_if(visitedFiles.begin(), visitedFiles.end(),
                    [&](const std::string& path) { return path.find("/s") == std::string::npos; });
  EXPECT_EQ(removed, 1);
  EXPECT_EQ(std::ssize(visitedFiles), 1 + 40);
#endif
}

// Holds every walker thread at the entries below root until the gate opens; after that each entry
// takes two milliseconds, so that a walk that does not stop is still asking when the test looks.
// The thread that made the gate is the one that measures: it walks the start of a measuring
// itself, slowly here, so that it hands the walk over at once.
class Gate : public FileSystemFaults {
 public:
  explicit Gate(const std::string& root) : m_root(root + kPathSeparator) {}
  bool Vanished(std::string_view path) const override {
    if (path.substr(0, m_root.size()) != m_root) return false;
    if (std::this_thread::get_id() == m_caller) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      return false;
    }
    std::unique_lock lock(m_mutex);
    ++m_asked;
    if (m_open) {
      lock.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } else {
      // Bounded, so that a walk nobody asks about cannot hang the test.
      m_opened.wait_for(lock, std::chrono::seconds(10), [&] { return m_open; });
    }
    return false;
  }
  void Open() {
    {
      std::lock_guard lock(m_mutex);
      m_open = true;
      m_askedWhenOpened = m_asked;
    }
    m_opened.notify_all();
  }
  int AskedSinceOpened() const {
    std::lock_guard lock(m_mutex);
    return m_asked - m_askedWhenOpened;
  }

 private:
  std::string m_root;
  std::thread::id m_caller = std::this_thread::get_id();
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_opened;
  mutable int m_asked = 0;
  bool m_open = false;
  int m_askedWhenOpened = 0;
};

// The threads of the process, where the system tells; -1 elsewhere.
int ThreadCount() {
#ifdef _WIN32
  return -1;
#else
  const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
  return static_cast<int>(std::distance(begin(tasks), end(tasks)));
#endif
}

// The thread count once it has come down to expected, or after ten seconds: a joined thread can
// stay listed for a moment after its join returns, while the system reaps it; one left behind
// stays listed.
int ThreadCountSettledAt(int expected) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int count = ThreadCount();
  while (count != expected && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    count = ThreadCount();
  }
  return count;
}

// The walk is held until the caller has been asked three times, so it is asked while the walk
// runs; a measuring started from inside the question is one more, independent walk.
TEST(EngineTest, CancellableMeasuringAsksTheCallerWhileItWalks) {
  TempTree tree, other;
  MakeRandomTree(tree, 4, 300);
  MakeRandomTree(other, 5, 100);
  const Numbers expected = NumbersOf(MeasureFolder(tree.Root()));
  const Numbers otherExpected = NumbersOf(MeasureFolder(other.Root()));
  Gate gate(tree.Root());
  ScopedFileSystemFaults scoped(gate);
  for (unsigned threads : {1u, 2u}) {
    int asked = 0, nestedAsked = 0;
    std::optional<FolderStatistics> nested;
    const auto keepGoing = [&] {
      if (++asked == 3) {
        nested = MeasureFolder(other.Root(), 2, [&] { return ++nestedAsked > 0; });
        gate.Open();
      }
      return true;
    };
    const std::optional<FolderStatistics> result = MeasureFolder(tree.Root(), threads, keepGoing);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(NumbersOf(*result), expected) << threads;
    EXPECT_GE(asked, 3) << threads;
    ASSERT_TRUE(nested.has_value());
    EXPECT_EQ(NumbersOf(*nested), otherExpected);
  }
}

// When the caller says stop (or throws), the walkers stop at their next entry, not at the end of
// the tree, and no thread is left behind.
TEST(EngineTest, CancellableMeasuringStopsAtOnce) {
  TempTree tree;
  MakeRandomTree(tree, 6, 300);
  for (bool throws : {false, true}) {
    for (unsigned threads : {1u, 2u}) {
      Gate gate(tree.Root());
      ScopedFileSystemFaults scoped(gate);
      const int threadsBefore = ThreadCount();
      int asked = 0;
      const auto keepGoing = [&] {
        if (++asked < 2) return true;
        gate.Open();
        if (throws) throw std::runtime_error("stop");
        return false;
      };
      if (throws) {
        EXPECT_THROW(MeasureFolder(tree.Root(), threads, keepGoing), std::runtime_error);
      } else {
        EXPECT_FALSE(MeasureFolder(tree.Root(), threads, keepGoing).has_value());
      }
      EXPECT_EQ(asked, 2);
      EXPECT_LT(gate.AskedSinceOpened(), 40) << threads << throws;
      EXPECT_EQ(ThreadCountSettledAt(threadsBefore), threadsBefore);
    }
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
    ASSERT_TRUE(level % 7 != 0 || testing::MakeFileAt(path + "/f", level));
    ASSERT_TRUE(level % 11 != 0 || testing::MakeFolderAt(path + "/side"));
  }
  ASSERT_GT(path.size(), 4096u);
  FileLimit limit(200);
  ExpectEngineAgrees(tree.Root());
  EXPECT_EQ(MeasureFolder(tree.Root()).FolderCount, 1500 + (1499 / 11 + 1));
}

// Moves folders, once, when the walk is about to enter the folder at path (as it asks whether that
// vanished); moves them back when destroyed.
class MoveWhenEntering : public FileSystemFaults {
 public:
  MoveWhenEntering(std::string path, std::vector<std::pair<std::string, std::string>> moves)
      : m_path(std::move(path)), m_moves(std::move(moves)) {}
  ~MoveWhenEntering() override {
    if (!m_moved) return;
    for (auto move = m_moves.rbegin(); move != m_moves.rend(); ++move)
      EXPECT_EQ(std::rename(move->second.c_str(), move->first.c_str()), 0) << move->second;
  }
  bool Vanished(std::string_view path) const override {
    if (path == m_path && !m_moved.exchange(true)) {
      for (const auto& [from, to] : m_moves)
        EXPECT_EQ(std::rename(from.c_str(), to.c_str()), 0) << from;
    }
    return false;
  }

 private:
  std::string m_path;
  std::vector<std::pair<std::string, std::string>> m_moves;
  mutable std::atomic<bool> m_moved{false};
};

// The names of a folder in the order its search gives them.
std::vector<std::string> NamesInSearchOrder(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  return names;
}

// A chain of 40 folders, ten more folders beside each link holding a file of one byte; folders
// deep in the chain are moved away while the walk is below them. A folder walked meanwhile is
// walked to its end through its handle, and the folders above it are reached again by their path
// when ".." no longer leads to them; only what is left of a folder that cannot be reached again by
// either way is lost (counted as unreadable, its file not counted).
TEST(EngineTest, FolderMovedDuringTheWalkLosesNothingElse) {
  const auto chain = [](int level) {
    std::string path;
    for (int i = 1; i <= level; ++i)
      path += (i > 1 ? "/c" : "c") + std::to_string(i);
    return path;
  };
  struct Case {
    std::vector<std::pair<std::string, std::string>> Moves;  // relative to the tree
    int LostAfterChainIn;  // whose folders after the chain link are lost; 0: none
  };
  const Case cases[] = {
      {{{chain(27), "moved"}}, 0},
      {{{chain(25), "moved"}}, 0},
      {{{chain(26), "moved"}, {"moved/c27", "moved-too"}}, 26},
  };
  TempTree tree;
  for (int level = 1; level <= 40; ++level) {
    ASSERT_TRUE(testing::MakeFolderAt(tree.Path(chain(level))));
    for (int i = 0; i < 10; ++i) {
      const std::string side = tree.Path(chain(level) + "/s" + std::to_string(i));
      ASSERT_TRUE(testing::MakeFolderAt(side) && testing::MakeFileAt(side + "/f", 1));
    }
  }
  enum class Run { OneThread, TwoThreads, Walk };
  for (const Case& c : cases) {
    for (Run run : {Run::OneThread, Run::TwoThreads, Run::Walk}) {
      // Which folders follow the chain link is up to the thread that walks it.
      if (c.LostAfterChainIn != 0 && run == Run::TwoThreads) continue;
      std::int64_t lost = 0;
      if (c.LostAfterChainIn != 0) {
        const std::vector<std::string> names =
            NamesInSearchOrder(tree.Path(chain(c.LostAfterChainIn)));
        const auto link =
            std::find(names.begin(), names.end(), "c" + std::to_string(c.LostAfterChainIn + 1));
        lost = names.end() - link - 1;
      }
      std::vector<std::pair<std::string, std::string>> moves;
      for (const auto& [from, to] : c.Moves)
        moves.emplace_back(tree.Path(from), tree.Path(to));
      MoveWhenEntering faults(tree.Path(chain(30)), moves);
      ScopedFileSystemFaults scoped(faults);
      const std::string label = c.Moves.front().first + " " + std::to_string(static_cast<int>(run));
      if (run == Run::Walk) {
        std::int64_t files = 0, folders = 0;
        EXPECT_TRUE(WalkTree(tree.Root(), [&](const TreeEntry& e) {
          ++(e.IsFolder ? folders : files);
          return true;
        }));
        EXPECT_EQ(files, 400 - lost) << label;
        EXPECT_EQ(folders, 440) << label;
      } else {
        EXPECT_EQ(NumbersOf(MeasureFolder(tree.Root(), run == Run::OneThread ? 1 : 2)),
                  (Numbers{400 - lost, 400 - lost, 440, lost}))
            << label;
      }
    }
  }
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
    EXPECT_EQ(NumbersOf(s), (Numbers{3 + 11, 2, 3, 2})) << threads;
  }
}

// Reads from the disk itself, past the page cache, when a walker thread is at its first entry below
// root, and holds the walk there until the process has gained threads or ten seconds pass. The
// measuring thread (the one that made this), which walks the start itself, only goes slowly.
class DiskBoundWalk : public FileSystemFaults {
 public:
  DiskBoundWalk(const std::string& root, std::string file, int threadsWanted)
      : m_root(root + kPathSeparator), m_file(std::move(file)), m_wanted(threadsWanted) {}
  bool Vanished(std::string_view path) const override {
    if (path.substr(0, m_root.size()) != m_root) return false;
    if (std::this_thread::get_id() == m_caller) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      return false;
    }
    if (m_held.exchange(true)) return false;
    const int fd = ::open(m_file.c_str(), O_RDONLY | O_DIRECT);
    void* block = nullptr;
    if (fd < 0 || ::posix_memalign(&block, 4096, 64 * 1024) != 0) return false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ThreadCount() < m_wanted && std::chrono::steady_clock::now() < until) {
      m_directReads += ::pread(fd, block, 64 * 1024, 0) > 0 ? 1 : 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_most = ThreadCount();
    std::free(block);
    ::close(fd);
    return false;
  }
  int DirectReads() const { return m_directReads; }
  int MostThreads() const { return m_most; }

 private:
  std::string m_root, m_file;
  std::thread::id m_caller = std::this_thread::get_id();
  int m_wanted;
  mutable std::atomic<bool> m_held{false};
  mutable int m_directReads = 0;
  mutable int m_most = 0;
};

// Left to choose its threads, the engine adds walkers while the walk waits on the disk (a cold
// tree is bound by the reads in flight, not by the cores); the numbers stay those of the tree.
TEST(EngineTest, WalkWaitingOnTheDiskGainsWalkers) {
  TempTree tree;
  MakeRandomTree(tree, 8, 300);
  const Numbers expected = NumbersOf(MeasureFolder(tree.Root(), 1));
  const std::string file = tree.File("direct.bin");
  {
    const int fd = ::open(file.c_str(), O_WRONLY);
    const std::string data(64 * 1024, 'x');
    ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    ::fsync(fd);
    ::close(fd);
  }
  const int before = ThreadCount();
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  DiskBoundWalk faults(tree.Root(), file, before + 2 * cores);
  {
    ScopedFileSystemFaults scoped(faults);
    const FolderStatistics s = MeasureFolder(tree.Root());
    if (faults.DirectReads() == 0) GTEST_SKIP() << "no reads past the page cache here";
    EXPECT_EQ(NumbersOf(s), (Numbers{std::get<0>(expected) + 64 * 1024, std::get<1>(expected) + 1,
                                     std::get<2>(expected), 0}));
  }
  EXPECT_GE(faults.MostThreads(), before + 2 * cores);
  EXPECT_EQ(ThreadCountSettledAt(before), before);
}

// A folder on a pseudo file system, measured or listed itself, is a folder with nothing in it:
// nothing counted, nothing listed or visited, and not unreadable.
void ExpectPseudoFolderIsEmpty(const std::string& folder) {
  for (unsigned threads : {1u, 2u})
    EXPECT_EQ(NumbersOf(MeasureFolder(folder, threads)), (Numbers{0, 0, 0, 0})) << folder;
  int visits = 0;
  EXPECT_TRUE(WalkTree(folder, [&](const TreeEntry&) { return ++visits > 0; })) << folder;
  EXPECT_EQ(visits, 0) << folder;
  for (bool recurse : {true, false}) {
    EntryList entries;
    EXPECT_EQ(CollectEntries(folder, entries, recurse, true, true), 0) << folder << recurse;
  }
}

TEST(EngineTest, PseudoFileSystemMeasuredItselfIsAnEmptyFolder) {
  for (const char* folder : {"/proc", "/proc/", "/proc/self", "/sys", "/sys/kernel"})
    ExpectPseudoFolderIsEmpty(folder);
  // Listed from its parent it is still there, as the folders of "/" at start-up.
  EntryList top;
  CollectEntries("/", top, false, true, false);
  for (const char* folder : {"/proc", "/sys"})
    EXPECT_NE(std::find(top.begin(), top.end(), folder), top.end()) << folder;
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

// Sizes whose sum leaves the 64-bit range (only tmpfs takes files that large): the total stops at
// the largest size, however the threads split the tree, and the counts stay exact.
TEST(EngineTest, TotalSizeStopsAtTheLargestValue) {
  TempTree tree;
  const std::string at = tree.Folder("huge");
  ScopedMount mount("tmpfs", at);
  if (!mount.Mounted()) GTEST_SKIP() << "mounting is not permitted here";
  constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
  for (const char* folder : {"/a", "/b", "/b/c"})
    ASSERT_TRUE(testing::MakeFolderAt(at + folder));
  const std::pair<const char*, std::int64_t> files[] = {{"/a/most", kMost},
                                                        {"/a/quarter", 1LL << 62},
                                                        {"/b/quarter", 1LL << 62},
                                                        {"/b/c/quarter", 1LL << 62}};
  for (const auto& [name, size] : files)
    ASSERT_TRUE(testing::MakeFileAt(at + name, size)) << name;
  ExpectEngineAgrees(at);
  EXPECT_EQ(NumbersOf(MeasureFolder(at)), (Numbers{kMost, 4, 3, 0}));
}

// Pseudo file systems count as a folder with nothing in it, also when measured themselves; a real
// one mounted inside is walked.
TEST(EngineTest, PseudoFileSystemsInsideATreeAreNotWalked) {
  TempTree tree;
  tree.File("a.bin", 11);
  std::vector<std::unique_ptr<ScopedMount>> mounts;
  std::vector<std::string> pseudoFolders;
  for (const char* type : {"proc", "sysfs", "devtmpfs", "cgroup2", "tmpfs"}) {
    const std::string at = tree.Folder(std::string("m-") + type);
    mounts.push_back(std::make_unique<ScopedMount>(type, at));
    if (!mounts.back()->Mounted()) continue;
    if (std::string(type) == "tmpfs") {
      testing::MakeFileAt(at + "/real.bin", 1000);
    } else {
      pseudoFolders.push_back(at);
    }
  }
  if (!mounts.back()->Mounted() || pseudoFolders.empty())
    GTEST_SKIP() << "mounting is not permitted here";
  ExpectEngineAgrees(tree.Root());
  EXPECT_EQ(NumbersOf(MeasureFolder(tree.Root())), (Numbers{1011, 2, 5, 0}));
  for (const auto& folder : pseudoFolders)
    ExpectPseudoFolderIsEmpty(folder);
}

// Writes size bytes of data into a new file (TempTree's files hold none on disk).
void WriteData(const std::string& path, std::size_t size) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << std::string(size, 'q');
}

// What rows occupy on disk, measured one after another by one Walkers object, as a run measures
// its rows: du -s -B1 over the rows in the same order is the oracle. Sparse and empty files, a
// folder of many entries (its own blocks grow), hard links inside a row and across rows.
std::vector<std::int64_t> DiskSizes(Walkers& walkers, const std::vector<std::string>& rows,
                                    bool listing) {
  std::vector<std::int64_t> sizes;
  for (const std::string& row : rows) {
    const auto statistics =
        listing ? walkers.List(row, RootLink::Follow, [](const TreeEntry&) { return true; })
                : walkers.Measure(row, RootLink::Follow);
    sizes.push_back(statistics ? statistics->DiskSize : -1);
  }
  return sizes;
}

TEST(EngineTest, DiskSizeOfRowsEqualsDuInTheRunsOrder) {
  TempTree tree;
  tree.File("a/sparse.img", std::int64_t{1} << 30);  // a gigabyte without a block of data
  WriteData(tree.Path("a/data.bin"), 10000);
  tree.File("a/empty");
  for (int i = 0; i < 1500; ++i)
    WriteData(tree.Path("a/many/file-" + std::to_string(i)), static_cast<std::size_t>(i % 7));
  WriteData(tree.Path("a/linked-inside"), 5000);
  ASSERT_EQ(::link(tree.Path("a/linked-inside").c_str(), tree.Path("a/many/again").c_str()), 0);
  WriteData(tree.Path("a/shared"), 20000);
  tree.Folder("b/deeper");
  ASSERT_EQ(::link(tree.Path("a/shared").c_str(), tree.Path("b/deeper/shared").c_str()), 0);
  WriteData(tree.Path("c/only-c"), 3000);
  ASSERT_EQ(::link(tree.Path("a/shared").c_str(), tree.Path("c/shared-too").c_str()), 0);

  const std::vector<std::string> forward = {tree.Path("a"), tree.Path("b"), tree.Path("c")};
  const std::vector<std::string> backward = {tree.Path("c"), tree.Path("b"), tree.Path("a")};
  for (const auto& rows : {forward, backward}) {
    const std::vector<std::int64_t> du = testing::DiskUsage(rows);
    ASSERT_EQ(du.size(), rows.size());
    for (const unsigned threads : {1u, 2u, 8u}) {
      Walkers walkers(threads);
      EXPECT_EQ(DiskSizes(walkers, rows, false), du) << threads;
    }
    Walkers lister(1);
    EXPECT_EQ(DiskSizes(lister, rows, true), du);
  }
  // Every name counts in the apparent size all the same.
  EXPECT_EQ(MeasureFolder(tree.Path("c")).TotalSize, 23000);
  // A walk of its own counts the shared file again.
  EXPECT_EQ(MeasureFolder(tree.Path("b")).DiskSize, testing::DiskUsage({tree.Path("b")}).at(0));
}

// The file view's entries carry their own size on disk, every name of a file in full: find's %b
// (512-byte blocks) is the oracle.
TEST(EngineTest, ListedEntriesCarryTheirOwnDiskSize) {
  TempTree tree;
  WriteData(tree.Path("f"), 9000);
  tree.File("sparse", 1 << 20);
  tree.Folder("sub");
  ASSERT_EQ(::link(tree.Path("f").c_str(), tree.Path("sub/g").c_str()), 0);
  std::map<std::string, std::int64_t> listed;
  WalkTree(tree.Root(), [&](const TreeEntry& entry) {
    listed[std::string(entry.Path)] = entry.DiskSize;
    return true;
  });
  std::map<std::string, std::int64_t> found;
  FILE* find = ::popen(("find '" + tree.Root() + "' -mindepth 1 -printf '%b %p\\n'").c_str(), "r");
  ASSERT_NE(find, nullptr);
  char line[8192];
  while (std::fgets(line, sizeof line, find)) {
    std::string text(line);
    text.pop_back();
    const auto blank = text.find(' ');
    found[text.substr(blank + 1)] = std::stoll(text.substr(0, blank)) * 512;
  }
  ::pclose(find);
  EXPECT_EQ(listed, found);
}

// With OneFileSystem a file system mounted below the row counts as a folder and is not walked
// into, as du -x leaves it; without, it is walked, as du walks it.
TEST(EngineTest, OneFileSystemLeavesOtherMountsAsFolders) {
  TempTree tree;
  WriteData(tree.Path("row/here.bin"), 7000);
  const std::string at = tree.Folder("row/mounted");
  ScopedMount mount("tmpfs", at);
  if (!mount.Mounted()) GTEST_SKIP() << "mounting is not permitted here";
  WriteData(at + "/there.bin", 50000);
  WriteData(at + "/deep/more.bin", 3000);
  const std::string row = tree.Path("row");
  for (const unsigned threads : {1u, 4u}) {
    const FolderStatistics all = *Walkers(threads).Measure(row, RootLink::Follow);
    EXPECT_EQ(all.DiskSize, testing::DiskUsage({row}).at(0));
    EXPECT_EQ(NumbersOf(all), (Numbers{60000, 3, 2, 0}));
    const FolderStatistics one =
        *Walkers(threads, {.OneFileSystem = true, .Excludes = {}}).Measure(row, RootLink::Follow);
    EXPECT_EQ(one.DiskSize, testing::DiskUsage({row}, "-x").at(0));
    EXPECT_EQ(NumbersOf(one), (Numbers{7000, 1, 1, 0}));
  }
  std::vector<std::string> listed;
  Walkers(1, {.OneFileSystem = true, .Excludes = {}})
      .List(row, RootLink::Follow, [&](const TreeEntry& entry) {
        listed.emplace_back(entry.Path.substr(row.size()));
        return true;
      });
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"/here.bin", "/mounted"}));
}

// An exclude pattern is matched against each entry's name below the row: the entry is neither
// counted nor listed, a folder not walked. du --exclude and find -prune are the oracles.
TEST(EngineTest, ExcludedNamesAreNeitherCountedNorWalked) {
  TempTree tree;
  WriteData(tree.Path("row/keep.txt"), 1000);
  WriteData(tree.Path("row/a.log"), 2000);
  WriteData(tree.Path("row/sub/b.log"), 3000);
  WriteData(tree.Path("row/sub/keep2.txt"), 400);
  WriteData(tree.Path("row/cache/inside.txt"), 5000);
  WriteData(tree.Path("row/cache/deeper/x"), 6000);
  WriteData(tree.Path("row/sub/cache"), 70);  // a file of the excluded name
  const std::string row = tree.Path("row");
  const WalkOptions options{.OneFileSystem = false, .Excludes = {"*.log", "cache"}};
  // The apparent size and the counts as find gives them with those names pruned.
  FILE* find = ::popen(("find '" + row +
                        "' -mindepth 1 \\( -name '*.log' -o -name cache \\) -prune -o "
                        "\\( -type d -printf 'd\\n' \\) -o -printf 'f %s\\n'")
                           .c_str(),
                       "r");
  ASSERT_NE(find, nullptr);
  Numbers expected{0, 0, 0, 0};
  char line[256];
  while (std::fgets(line, sizeof line, find)) {
    if (line[0] == 'd') {
      ++std::get<2>(expected);
    } else {
      std::get<0>(expected) += std::stoll(line + 2);
      ++std::get<1>(expected);
    }
  }
  ::pclose(find);
  ASSERT_EQ(expected, (Numbers{1400, 2, 1, 0}));
  for (const unsigned threads : {1u, 4u}) {
    const FolderStatistics measured = *Walkers(threads, options).Measure(row, RootLink::Follow);
    EXPECT_EQ(NumbersOf(measured), expected) << threads;
    EXPECT_EQ(measured.DiskSize,
              testing::DiskUsage({row}, "--exclude='*.log' --exclude=cache").at(0));
    EXPECT_EQ(measured.ExcludedEntries, 4);  // a.log, cache, sub/b.log, sub/cache
  }
  std::vector<std::string> listed;
  const auto walked = Walkers(1, options).List(row, RootLink::Follow, [&](const TreeEntry& entry) {
    listed.emplace_back(entry.Path.substr(row.size()));
    return true;
  });
  ASSERT_TRUE(walked);
  EXPECT_EQ(walked->ExcludedEntries, 4);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"/keep.txt", "/sub", "/sub/keep2.txt"}));
}

// A pseudo file system mounted during the walk, where the walk has not been yet, is not walked
// into either: whether a file system begins is asked wherever the device changes, not only at the
// mounts there were when the walk began.
TEST(EngineTest, PseudoFileSystemMountedDuringTheWalkIsNotWalked) {
  TempTree tree;
  tree.File("zz/f", 3);
  tree.Folder("zz/p");
  class MountWhenEntering : public FileSystemFaults {
   public:
    explicit MountWhenEntering(std::string at) : m_at(std::move(at)) {}
    bool Vanished(std::string_view path) const override {
      if (path == m_at && !m_mount) m_mount = std::make_unique<ScopedMount>("proc", m_at);
      return false;
    }
    bool Mounted() const { return m_mount && m_mount->Mounted(); }
    void Unmount() { m_mount.reset(); }

   private:
    std::string m_at;
    mutable std::unique_ptr<ScopedMount> m_mount;
  } faults(tree.Path("zz/p"));
  ScopedFileSystemFaults scoped(faults);
  for (unsigned threads : {1u, 2u}) {
    EXPECT_EQ(NumbersOf(MeasureFolder(tree.Root(), threads)), (Numbers{3, 1, 2, 0})) << threads;
    if (!faults.Mounted()) GTEST_SKIP() << "mounting is not permitted here";
    faults.Unmount();
  }
  int visits = 0;
  EXPECT_TRUE(WalkTree(tree.Root(), [&](const TreeEntry&) { return ++visits > 0; }));
  EXPECT_EQ(visits, 3);
}

#endif

// The size on disk is what the platform's own count says, the directory query's allocation on
// Windows, blocks on Linux: a file of data occupies whole clusters, a file without data none.
TEST(EngineTest, DiskSizeIsThePlatformsAllocation) {
  TempTree tree;
  std::ofstream(tree.Path("data.bin"), std::ios::binary) << std::string(10000, 'd');
  tree.File("hollow.bin", 1 << 20);
  tree.File("sub/empty");
  const FolderStatistics measured = MeasureFolder(tree.Root());
  const std::vector<std::int64_t> oracle = testing::DiskUsage({tree.Root()});
  ASSERT_EQ(oracle.size(), 1u);
  EXPECT_EQ(measured.DiskSize, oracle[0]);
  EXPECT_EQ(measured.TotalSize, 10000 + (1 << 20));
  EXPECT_LT(measured.DiskSize, measured.TotalSize);
  WalkTree(tree.Root(), [&](const TreeEntry& entry) {
    if (!entry.IsFolder) {
      EXPECT_EQ(entry.DiskSize, testing::DiskUsage({std::string(entry.Path)}).at(0)) << entry.Path;
    }
    return true;
  });
}

}  // namespace
}  // namespace quillet
