// The measuring engine: a folder's statistics in one pass, and a streaming listing of a tree.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

struct FolderStatistics {
  // Sums stop at INT64_MAX rather than wrap.
  std::int64_t TotalSize = 0;    // bytes of every non-folder entry below the folder
  std::int64_t FileCount = 0;    // non-folder entries at every depth
  std::int64_t FolderCount = 0;  // folders at every depth, the measured one not included
  // Folders (the measured one included) that could not be searched.
  std::int64_t UnreadableFolders = 0;
  // What the folder occupies on disk, as the platform's own tool counts it: on Linux the blocks
  // of every entry below it, folders included, and its own (du -s -B1), a file with several names
  // once per Walkers object, where it is met first; on Windows the files' allocation sizes.
  std::int64_t DiskSize = 0;
  // Entries below the folder whose names an exclude pattern matched (what lies below an excluded
  // folder is not walked, so not counted here either).
  std::int64_t ExcludedEntries = 0;
};

// What a walk leaves out, the same for every measuring and listing of a run.
struct WalkOptions {
  // A folder below the one measured where another file system begins counts as a folder and is
  // not walked into, as a pseudo file system is (du -x).
  bool OneFileSystem = false;
  // Shell globs (GlobMatch) matched against each entry's name below the folder measured: an entry
  // one matches is neither counted nor listed, and a folder not walked.
  std::vector<std::string> Excludes;
  // Whether a listing visits what the patterns leave out too (marked Excluded, nothing below an
  // excluded folder), for an export of the walk; the numbers leave it out all the same.
  bool ListExcluded = false;
};

// One entry of a streamed listing. Path is valid only during the visit call.
struct TreeEntry {
  std::string_view Path;  // the searched folder with its separator, then the name(s)
  bool IsFolder = false;
  std::int64_t Size = -1;  // full 64-bit size of a non-folder; -1 for a folder
  // What the entry itself occupies on disk, each name of a file in full; -1 where the platform
  // counts nothing (a folder on Windows).
  std::int64_t DiskSize = -1;

  // What an export of the walk says of the entry besides (ncdu's format), where the platform
  // tells: a folder's own size; a file's identity and number of names; a link or special file.
  std::int64_t OwnSize = -1;
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::uint64_t Links = 1;
  bool NotRegular = false;
  // Why a folder was not walked into, if it was not.
  enum class Skip : std::uint8_t {
    None,
    Unreadable,        // it could not be searched
    PseudoFileSystem,  // a pseudo file system begins there
    OtherFileSystem,   // another file system begins there, and the walk keeps to one
    Excluded,          // a pattern matched its name (files too, with WalkOptions::ListExcluded)
  };
  Skip Skipped = Skip::None;
  bool MountBegins = false;  // a folder where another file system begins
};

using TreeVisitor = std::function<bool(const TreeEntry&)>;

// What the folder to measure is, when its path names a symbolic link.
enum class RootLink {
  Follow,  // a folder the user named: the link is followed to its folder
  // A folder some listing found: a link there now (or anything but a folder) is not what was
  // found; it counts as gone, as a missing folder does.
  Refuse,
};

// Walker threads and buffers kept for a run of measurings and listings, so that a row costs its
// own system calls and little more. A file with several names counts in DiskSize once per object:
// in the first measuring or listing that meets it, whatever the threads did. Threads start when a
// measuring first needs them and end with the object. One caller at a time; a measuring started
// from inside keepGoing or a visit uses threads of its own.
class Walkers {
 public:
  // threads == 0: one walker per core, and more, up to 32, while a walk waits on the disk rather
  // than on the cores; otherwise exactly threads, at most 256; fewer when the system cannot start
  // more.
  explicit Walkers(unsigned threads = 0, WalkOptions options = {});
  ~Walkers();
  Walkers(const Walkers&) = delete;
  Walkers& operator=(const Walkers&) = delete;

  // The statistics of folder, its subtrees spread over the walkers. On a tree that does not
  // change meanwhile, the numbers equal those of CollectEntries + SumFileSizes; they never depend
  // on thread scheduling. Below folder, links and pseudo file systems are counted but never walked
  // into. A folder on a pseudo file system, measured itself, is a folder with nothing in it (all
  // four numbers 0). A folder that is missing or cannot be searched counts in UnreadableFolders
  // and adds nothing else.
  // The calling thread walks the first half millisecond itself, so a small folder costs no other
  // thread anything; what is left then goes to the walker threads. With keepGoing, it is called
  // on the calling thread at least every 50 ms from then on, while the walkers walk, and may do
  // anything, a nested measuring included. Once it returns false, every walker stops at its next
  // entry, and the result is nullopt. An exception from keepGoing stops the walk as well before it
  // goes on to the caller.
  std::optional<FolderStatistics> Measure(std::string_view folder, RootLink link,
                                          const std::function<bool()>* keepGoing = nullptr);

  // Visits every entry below folder on the calling thread, in the order of a recursive
  // CollectEntries (depth-first pre-order), kind and size taken from the directory search, and
  // returns the statistics of what it visited, counted as Measure counts them; nullopt when visit
  // asked to stop by returning false. With walkInto, a folder is walked into only when walkInto,
  // asked just after the folder's visit, says so: otherwise it is left as if empty.
  std::optional<FolderStatistics> List(std::string_view folder, RootLink link,
                                       const TreeVisitor& visit,
                                       const TreeVisitor* walkInto = nullptr);

 private:
  class Pool;
  class Walker;
  class LinkSet;
  struct Task;
  unsigned m_threads;
  WalkOptions m_options;
  std::unique_ptr<LinkSet> m_links;
  std::unique_ptr<Pool> m_pool;
  std::unique_ptr<Walker> m_lister;
  bool m_busy = false;
};

// Walkers::Measure with walkers of its own, the folder's link followed.
FolderStatistics MeasureFolder(std::string_view folder, unsigned threads = 0);
std::optional<FolderStatistics> MeasureFolder(std::string_view folder, unsigned threads,
                                              const std::function<bool()>& keepGoing);

// Walkers::List with a walker of its own, the folder's link followed. Returns false when visit
// asked to stop, true otherwise (also when the folder could not be searched).
bool WalkTree(std::string_view folder, const TreeVisitor& visit);

// How many walker threads this process has started so far.
std::uint64_t WalkerThreadsStarted();

}  // namespace quillet
