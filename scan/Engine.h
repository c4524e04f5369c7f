// The measuring engine: a folder's statistics in one pass, and a streaming listing of a tree.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace quillet {

struct FolderStatistics {
  // Sums stop at INT64_MAX rather than wrap.
  std::int64_t TotalSize = 0;    // bytes of every non-folder entry below the folder
  std::int64_t FileCount = 0;    // non-folder entries at every depth
  std::int64_t FolderCount = 0;  // folders at every depth, the measured one not included
  // Folders (the measured one included) that could not be searched.
  std::int64_t UnreadableFolders = 0;
};

// The statistics of folder, walked once with its subtrees spread over a small thread pool
// (threads == 0: one per core, and more, up to 32, while the walk waits on the disk rather than on
// the cores; otherwise exactly threads, at most 256; fewer when the system cannot start more). On a
// tree that does not change meanwhile, the three numbers equal those of CollectEntries +
// SumFileSizes; they never depend on thread scheduling. The measured folder is searched even when
// folder names a link to one; below it, links and pseudo file systems are counted but never walked
// into. A folder on a pseudo file system, measured itself, is a folder with nothing in it (all four
// numbers 0). A folder that is missing or cannot be searched counts in UnreadableFolders and adds
// nothing else.
FolderStatistics MeasureFolder(std::string_view folder, unsigned threads = 0);

// MeasureFolder that the caller can cancel: keepGoing is called on the calling thread at least
// every 50 ms while the walk runs (the walkers run on threads of their own meanwhile), and may do
// anything, a nested measuring included. Once it returns false, every walker stops at its next
// entry, all threads are joined, and the result is nullopt. An exception from keepGoing stops and
// joins the walk as well before it goes on to the caller.
std::optional<FolderStatistics> MeasureFolder(std::string_view folder, unsigned threads,
                                              const std::function<bool()>& keepGoing);

// One entry of a streamed listing. Path is valid only during the visit call.
struct TreeEntry {
  std::string_view Path;  // the searched folder with its separator, then the name(s)
  bool IsFolder = false;
  std::int64_t Size = -1;  // full 64-bit size of a non-folder; -1 for a folder
};

// Visits every entry below folder in the order of a recursive CollectEntries (depth-first
// pre-order), kind and size taken from the directory search. Returns false when visit asked to
// stop by returning false, true otherwise (also when the folder could not be searched).
bool WalkTree(std::string_view folder, const std::function<bool(const TreeEntry&)>& visit);

}  // namespace quillet
