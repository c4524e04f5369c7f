// The measuring engine: one pass per tree, kinds and sizes from the directory search itself.
#include "scan/Engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "scan/Saturate.h"
#include "scan/Text.h"
#include "scan/platform/Platform.h"

namespace quillet {

namespace {

using platform::EntryKind;
using platform::OpenState;

// Folders kept open along one walker's path; deeper ones let go of their handle meanwhile, so a
// tree of any depth needs a bounded number of handles.
constexpr std::size_t kOpenLevels = 24;

constexpr unsigned kMostThreads = 256;

// Left to choose, the engine starts one walker per core and, while the walk waits on the disk
// rather than on the processors, doubles them up to this many: a cold walk is bound by how many
// reads are in flight, a warm one by the cores.
constexpr unsigned kMostWhileWaiting = 32;

// How long a caller who may cancel waits between two questions whether to go on.
constexpr std::chrono::milliseconds kAskEvery{25};

// How often a coordinating caller looks whether the walk waits on the disk.
constexpr std::chrono::milliseconds kLookEvery{10};

// Blocks read between two looks that show the walk waits on the disk.
constexpr std::int64_t kWaitingBlocks = 16;

// Entries walked between two looks at the clock when the asking thread walks itself.
constexpr unsigned kEntriesPerLook = 64;

// Entries walked between two looks at the clock while the caller walks a measuring's start.
constexpr unsigned kEntriesPerSoloLook = 8;

// How long the caller walks a measuring itself before it hands the walk to the walker threads: a
// small folder is done before any other thread is woken, which would cost more than the folder.
constexpr std::chrono::microseconds kSoloTime{500};

// Set once a folder has counted as unreadable, by whichever thread finds out first.
using UnreadableMark = std::shared_ptr<std::atomic<bool>>;

std::atomic<std::uint64_t> g_threadsStarted{0};

// Marks a Walkers object as in use until the scope ends, on every way out.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : m_busy(busy) { m_busy = true; }
  ~BusyScope() { m_busy = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& m_busy;
};

void Add(FolderStatistics& into, const FolderStatistics& part) {
  into.TotalSize = SaturatingAdd(into.TotalSize, part.TotalSize);
  into.FileCount = SaturatingAdd(into.FileCount, part.FileCount);
  into.FolderCount = SaturatingAdd(into.FolderCount, part.FolderCount);
  into.UnreadableFolders = SaturatingAdd(into.UnreadableFolders, part.UnreadableFolders);
  into.DiskSize = SaturatingAdd(into.DiskSize, part.DiskSize);
  into.ExcludedEntries = SaturatingAdd(into.ExcludedEntries, part.ExcludedEntries);
}

struct Level {
  platform::Folder Folder = platform::NewFolder();
  std::vector<platform::FolderEntry> Entries;  // the part read last
  std::size_t Next = 0;
  bool More = false;           // the search has more parts to give
  std::size_t PathLength = 0;  // of the walker's path up to this folder's trailing separator
  bool Parked = false;         // its handle let go while a subfolder is walked
  bool Lost = false;           // parked and not reachable again: its subfolders cannot be opened
  UnreadableMark Unreadable;   // made when first needed
};

}  // namespace

// The files with several names whose space a Walkers object has counted, shared by its threads.
// Which thread of a measuring counts such a file first does not change the measuring's sum, and
// measurings follow one another, so the sums never depend on the threads.
class Walkers::LinkSet {
 public:
  // True the first time a file is met.
  bool FirstTime(std::uint64_t device, std::uint64_t inode) {
    std::lock_guard lock(m_mutex);
    return m_seen.insert(Key{device, inode}).second;
  }

 private:
  struct Key {
    std::uint64_t Device;
    std::uint64_t Inode;
    bool operator==(const Key&) const = default;
  };
  struct Hash {
    std::size_t operator()(const Key& key) const {
      return std::hash<std::uint64_t>()(key.Inode * 0x9E3779B97F4A7C15ull ^ key.Device);
    }
  };
  std::mutex m_mutex;
  std::unordered_set<Key, Hash> m_seen;
};

// A subfolder handed to another thread (its parent stays open through Parent), or a walk the
// caller started and hands over (Resume).
struct Walkers::Task {
  std::shared_ptr<platform::FolderState> Parent;
  UnreadableMark ParentUnreadable;
  std::string Path;  // the subfolder's path, without a trailing separator
  std::size_t NameOffset = 0;
  Walker* Resume = nullptr;
};

// The walker threads of a run and the measuring they work on, one at a time. The caller walks the
// start of each measuring itself; a walk still going after kSoloTime is handed to one walker
// thread, and the others wait until a walker shares subfolders with them, which it does only
// while someone is idle and nothing is queued, so the queue (and the parent handles it keeps
// open) stays small. Idle walkers sleep, each on a wake-up of its own, so that handing out one
// task wakes one thread. Threads start at the first hand-over and live as long as the pool.
class Walkers::Pool {
 public:
  Pool(unsigned base, unsigned most, bool adaptive, const WalkOptions& options, LinkSet& links)
      : m_base(base), m_most(most), m_adaptive(adaptive), m_options(options), m_links(links) {
    m_threads.reserve(m_most);
    m_slots.reserve(m_most);
  }

  ~Pool();

  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  std::optional<FolderStatistics> Measure(std::string_view folder, RootLink link,
                                          const std::function<bool()>* keepGoing);

  // True when a walker may share its subfolders: the caller has handed the walk over, a walker is
  // idle and nothing is queued.
  bool Hungry() const {
    return !m_solo.load(std::memory_order_relaxed) && m_idle.load(std::memory_order_relaxed) > 0 &&
           m_queued.load(std::memory_order_relaxed) == 0;
  }

  void Push(std::vector<Task>& tasks) {
    std::lock_guard lock(m_mutex);
    for (auto& task : tasks)
      m_tasks.push_back(std::move(task));
    tasks.clear();
    m_queued.store(m_tasks.size(), std::memory_order_relaxed);
    WakeIdle(m_tasks.size());
  }

  // Every walker stops at its next entry and nothing more is handed out.
  void Stop() {
    m_stop.store(true, std::memory_order_relaxed);
    std::lock_guard lock(m_mutex);
    m_tasks.clear();
    m_queued.store(0, std::memory_order_relaxed);
    if (m_busy == 0) m_settled.notify_all();
  }
  const std::atomic<bool>& Stopping() const { return m_stop; }

 private:
  struct Slot {
    std::condition_variable Wake;
    bool Waiting = false;
  };

  // What walker index does for the life of the pool.
  void Main(unsigned index);

  // The parts of Measure after the caller's own start.
  std::optional<FolderStatistics> WalkOnAlone(Walker& caller,
                                              const std::function<bool()>* keepGoing);
  void HandOver(Walker& caller);
  void Oversee(std::unique_lock<std::mutex>& lock, const std::function<bool()>* keepGoing);
  std::optional<FolderStatistics> Result();

  // Starts one more walker thread; false when the system has no more.
  bool StartThread() {
    try {
      std::lock_guard lock(m_mutex);
      m_slots.push_back(std::make_unique<Slot>());
      const auto index = static_cast<unsigned>(m_threads.size());
      try {
        m_threads.emplace_back([this, index] { Main(index); });
      } catch (...) {
        m_slots.pop_back();
        throw;
      }
    } catch (const std::system_error&) {
      return false;
    }
    g_threadsStarted.fetch_add(1, std::memory_order_relaxed);
    return true;
  }

  // Lets walkers below active take tasks; the caller holds the lock.
  void SetActive(unsigned active) {
    m_active = std::min<unsigned>(active, static_cast<unsigned>(m_slots.size()));
    unsigned idle = 0;
    for (unsigned i = 0; i < m_active; ++i)
      idle += m_slots[i]->Waiting ? 1 : 0;
    m_idle.store(idle, std::memory_order_relaxed);
  }

  // Wakes up to count idle active walkers; the caller holds the lock.
  void WakeIdle(std::size_t count) {
    for (unsigned i = 0; i < m_active && count > 0; ++i) {
      Slot& slot = *m_slots[i];
      if (!slot.Waiting) continue;
      slot.Waiting = false;  // it counts as busy from now on, whether or not a task is left
      m_idle.fetch_sub(1, std::memory_order_relaxed);
      slot.Wake.notify_one();
      --count;
    }
  }

  bool Settled() const { return m_busy == 0 && m_tasks.empty(); }

  // Doubles the active walkers while the walk waits on the disk.
  void Grow(platform::Result<std::int64_t>& blocks) {
    const platform::Result<std::int64_t> read = platform::BlocksRead();
    const bool waiting = blocks.Ok() && read.Ok() && *read - *blocks >= kWaitingBlocks;
    blocks = read;
    if (!waiting) return;
    const unsigned wanted = std::min(m_most, 2 * m_active);
    while (m_slots.size() < wanted && StartThread()) {
    }
    std::lock_guard lock(m_mutex);
    SetActive(wanted);
    WakeIdle(m_tasks.size());
  }

  const unsigned m_base;
  const unsigned m_most;
  const bool m_adaptive;
  const WalkOptions& m_options;
  LinkSet& m_links;
  std::mutex m_mutex;
  std::condition_variable m_settled;  // the caller waits here for the measuring to end
  std::deque<Task> m_tasks;
  std::vector<std::thread> m_threads;
  std::vector<std::unique_ptr<Slot>> m_slots;  // one per thread
  unsigned m_active = 0;                       // walkers below take tasks
  unsigned m_busy = 0;                         // walkers holding a task
  bool m_quit = false;
  FolderStatistics m_totals;
  std::exception_ptr m_failure;
  std::unique_ptr<Walker> m_caller;  // the walker the caller starts each measuring with
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_solo{true};   // the caller walks alone
  std::atomic<unsigned> m_idle{0};  // active walkers waiting for a task
  std::atomic<std::size_t> m_queued{0};
};

// Depth-first walk of one subtree without recursion; its levels (and their buffers) are reused
// from folder to folder and from one measuring to the next. With a visitor it reports every entry
// in order; with a pool it hands subfolders to idle walkers instead.
class Walkers::Walker {
 public:
  Walker(const TreeVisitor* visit, Pool* work, const WalkOptions& options, LinkSet& links);

  void SetVisitor(const TreeVisitor* visit, const TreeVisitor* walkInto) {
    m_visit = visit;
    m_walkInto = walkInto;
  }

  // Has the walk ask keepGoing about every kAskEvery, for a thread that walks instead of asking.
  void AskWhileWalking(const std::function<bool()>* keepGoing) {
    m_keepGoing = keepGoing;
    m_lastAsked = std::chrono::steady_clock::now();
  }

  // Walks the folder at path as WalkRoot does, but only until the clock reaches until: then it
  // leaves off between two entries, its place kept for Resume, and HandedOver() says so.
  void WalkUntil(std::string_view path, RootLink link,
                 std::chrono::steady_clock::time_point until) {
    m_handOverAt = until;
    m_sinceHandOverLook = 0;  // a folder of a few entries is never handed over
    m_handedOver = false;
    WalkRoot(path, link);
    m_handOverAt = {};
  }
  bool HandedOver() const { return m_handedOver; }

  // Goes on with a walk that WalkUntil left off, to its end.
  void Resume() {
    m_handedOver = false;
    Run();
  }

  // What was counted since the last call.
  FolderStatistics TakeTotals() { return std::exchange(m_totals, FolderStatistics{}); }

  // Walks the folder at path; false when the visitor asked to stop (or the walk was stopped).
  bool WalkRoot(std::string_view path, RootLink link) {
    m_stopped = false;
    m_path = WithTrailingSeparator(path);
    Level& root = LevelAt(0);
    const OpenState opened =
        platform::OpenRoot(m_path, link == RootLink::Follow, *root.Folder).State;
    if (opened == OpenState::NotEntered) return true;
    // The folder to measure counts as unreadable whatever failed, missing included.
    if (opened != OpenState::Opened) {
      ++m_totals.UnreadableFolders;
      return true;
    }
    CountOwnAllocation(*root.Folder);
    StartReading(root);
    m_depth = 1;
    return Run();
  }

  // Walks a subfolder handed over by another thread, counting it as that thread would have.
  void WalkTask(Task& task) {
    m_stopped = false;
    m_path.assign(task.Path);
    const std::string_view name = std::string_view(task.Path).substr(task.NameOffset);
    if (Enter(*task.Parent, false, task.ParentUnreadable, name, 0)) Run();
    task.Parent.reset();
    task.ParentUnreadable.reset();
  }

 private:
  Level& LevelAt(std::size_t depth) {
    while (m_levels.size() <= depth)
      m_levels.push_back(std::make_unique<Level>());
    return *m_levels[depth];
  }

  void StartReading(Level& level) {
    level.PathLength = m_path.size();
    level.Parked = false;
    level.Lost = false;
    level.Unreadable.reset();
    ReadPart(level);
  }

  void ReadPart(Level& level) {
    const platform::Result<platform::ReadState> read =
        platform::ReadEntries(*level.Folder, level.Entries);
    level.Next = 0;
    level.More = read.ValueOr(platform::ReadState::Done) == platform::ReadState::More;
    // A search that fails part way leaves the folder partly read, gone or not.
    if (!read.Ok()) CountUnreadable(level.Unreadable);
  }

  // Settles an entry the search left unqueried; false when there is nothing to count of it: it is
  // gone, or its folder does not let it be queried (which makes the folder unreadable), or it was
  // done with before.
  bool Size(Level& level, platform::FolderEntry& entry) {
    if (entry.Kind == EntryKind::Unqueried) {
      const std::string_view folderPath(m_path.data(), level.PathLength);
      const platform::Outcome sized = platform::SizeEntry(*level.Folder, folderPath, entry);
      if (!sized.Ok()) {
        if (!sized.Gone()) CountUnreadable(level.Unreadable);
        entry.Kind = EntryKind::Skipped;
      }
    }
    return entry.Kind != EntryKind::Skipped;
  }

  // A folder about to let go of its handle is read and sized to its end first: only its
  // subfolders need the handle again.
  void Finish(Level& level) {
    if (level.More) {
      level.More = false;
      if (!platform::ReadRest(*level.Folder, level.Entries).Ok()) CountUnreadable(level.Unreadable);
    }
    for (std::size_t i = level.Next; i < level.Entries.size(); ++i)
      Size(level, level.Entries[i]);
  }

  // True when the walk is to stop: asked to by another thread, or by the caller's keepGoing.
  bool Stopping() {
    if (m_stop && m_stop->load(std::memory_order_relaxed)) return true;
    if (!m_keepGoing || ++m_sinceLook < kEntriesPerLook) return false;
    m_sinceLook = 0;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_lastAsked < kAskEvery) return false;
    m_lastAsked = now;
    if ((*m_keepGoing)()) return false;
    m_work->Stop();
    return true;
  }

  // Counts a folder as unreadable unless that happened already.
  void CountUnreadable(UnreadableMark& mark) {
    if (!mark) mark = std::make_shared<std::atomic<bool>>(false);
    if (!mark->exchange(true)) ++m_totals.UnreadableFolders;
  }

  // Counts the subfolder name of parent, whose path m_path holds (no separator yet), and, when it
  // is read, makes it level depth. False when there is nothing to walk below it (or the visitor
  // asked to stop).
  bool Enter(platform::FolderState& parent, bool parentLost, UnreadableMark& parentUnreadable,
             std::string_view name, std::size_t depth) {
    Level& child = LevelAt(depth);
    // Below a parent that could not be reached again, nothing can be opened.
    OpenState opened = OpenState::Failed;
    TreeEntry::Skip skipped = TreeEntry::Skip::Unreadable;
    bool mountBegins = false;
    if (!parentLost) {
      const platform::OpenResult result = platform::OpenChild(parent, m_path, name, *child.Folder);
      if (result.Error.Gone()) return false;
      opened = result.State;
      mountBegins = result.OtherFileSystem;
      skipped = opened == OpenState::Opened       ? TreeEntry::Skip::None
                : opened == OpenState::NotEntered ? TreeEntry::Skip::PseudoFileSystem
                                                  : TreeEntry::Skip::Unreadable;
      if (opened == OpenState::Opened && result.OtherFileSystem && m_options.OneFileSystem) {
        platform::Close(*child.Folder);
        opened = OpenState::NotEntered;
        skipped = TreeEntry::Skip::OtherFileSystem;
      }
    }
    if (opened == OpenState::EntryFailed) {
      CountUnreadable(parentUnreadable);
      return false;
    }
    ++m_totals.FolderCount;
    const std::int64_t own = opened == OpenState::Opened ? CountOwnAllocation(*child.Folder) : -1;
    TreeEntry folder = Entry(true, -1, own);
    if (m_visit) {
      folder.OwnSize =
          opened == OpenState::Opened ? platform::OwnSize(*child.Folder).ValueOr(-1) : -1;
      folder.Skipped = skipped;
      folder.MountBegins = mountBegins;
    }
    if (!Visit(folder)) {
      platform::Close(*child.Folder);
      return false;
    }
    if (opened == OpenState::Failed) ++m_totals.UnreadableFolders;
    if (opened != OpenState::Opened) return false;
    if (m_walkInto && !(*m_walkInto)(folder)) {
      platform::Close(*child.Folder);
      return false;
    }
    m_path += kPathSeparator;
    StartReading(child);
    m_depth = depth + 1;
    return true;
  }

  bool MatchesExclude(std::string_view name) const {
    return std::any_of(m_options.Excludes.begin(), m_options.Excludes.end(),
                       [name](const std::string& pattern) { return GlobMatch(pattern, name); });
  }

  // True when an exclude pattern matches the entry's name; counts it then.
  bool Excluded(platform::FolderEntry& entry) {
    if (!MatchesExclude(entry.Name)) return false;
    ++m_totals.ExcludedEntries;
    return true;
  }

  // Adds what an open folder itself occupies; returns it, -1 when the platform counts none.
  std::int64_t CountOwnAllocation(platform::FolderState& folder) {
    const std::int64_t own = platform::OwnAllocation(folder).ValueOr(-1);
    if (own > 0) m_totals.DiskSize = SaturatingAdd(m_totals.DiskSize, own);
    return own;
  }

  // Adds what a file occupies, unless it has several names and one was counted before.
  void CountAllocation(const platform::FolderEntry& file) {
    if (file.Allocated <= 0) return;
    if (file.Linked && !m_links.FirstTime(file.Device, file.Inode)) return;
    m_totals.DiskSize = SaturatingAdd(m_totals.DiskSize, file.Allocated);
  }

  TreeEntry Entry(bool isFolder, std::int64_t size, std::int64_t diskSize) const {
    TreeEntry entry;
    entry.Path = m_path;
    entry.IsFolder = isFolder;
    entry.Size = size;
    entry.DiskSize = diskSize;
    return entry;
  }

  bool Visit(const TreeEntry& entry) {
    if (!m_visit || (*m_visit)(entry)) return true;
    m_stopped = true;
    return false;
  }

  bool Visit(bool isFolder, std::int64_t size, std::int64_t diskSize) {
    return !m_visit || Visit(Entry(isFolder, size, diskSize));
  }

  // A file as a listing shows it, with what an export says of it besides.
  bool VisitFile(const platform::FolderEntry& file) {
    if (!m_visit) return true;
    TreeEntry entry = Entry(false, file.Size, file.Allocated);
    entry.Device = file.Device;
    entry.Inode = file.Inode;
    entry.Links = file.Links;
    entry.NotRegular = !file.Regular;
    return Visit(entry);
  }

  // What the patterns left out, for a listing that asked for it.
  bool VisitExcluded(const platform::FolderEntry& excluded, std::size_t pathLength) {
    if (!m_visit || !m_options.ListExcluded) return true;
    m_path.resize(pathLength);
    m_path.append(excluded.Name);
    TreeEntry entry = Entry(excluded.Kind == EntryKind::Folder, -1, -1);
    entry.Skipped = TreeEntry::Skip::Excluded;
    return Visit(entry);
  }

  // Hands the subfolders after the current entry to idle threads.
  void ShareRest(Level& level) {
    for (std::size_t i = level.Next; i < level.Entries.size(); ++i) {
      platform::FolderEntry& entry = level.Entries[i];
      if (entry.Kind != EntryKind::Folder || !entry.MayEnter) continue;
      // Counted as excluded when this walker reaches it.
      if (!m_options.Excludes.empty() && MatchesExclude(entry.Name)) continue;
      if (!m_sharedParent) {
        platform::Folder shared = platform::NewFolder();
        if (!platform::Share(*level.Folder, *shared).Ok()) return;
        m_sharedParent = std::move(shared);
      }
      Task task;
      task.Parent = m_sharedParent;
      if (!level.Unreadable) level.Unreadable = std::make_shared<std::atomic<bool>>(false);
      task.ParentUnreadable = level.Unreadable;
      task.Path.assign(m_path, 0, level.PathLength).append(entry.Name);
      task.NameOffset = level.PathLength;
      m_tasks.push_back(std::move(task));
      entry.Kind = EntryKind::Skipped;  // counted by whoever takes the task
    }
    m_sharedParent.reset();
    if (!m_tasks.empty()) m_work->Push(m_tasks);
  }

  // Closes the top level; its parent, if parked, is reached again first: through ".." of the top
  // one, or, when that was moved meanwhile (or is lost itself), by its path from the nearest
  // ancestor still open. Only a parent reached by neither way is lost, not its own ancestors.
  void Leave() {
    Level& done = *m_levels[m_depth - 1];
    if (m_depth > 1) {
      Level& parent = *m_levels[m_depth - 2];
      if (parent.Parked && !parent.Lost) {
        if (platform::Unpark(*parent.Folder, *done.Folder).Ok() || ReachAgain(m_depth - 2)) {
          parent.Parked = false;
        } else {
          parent.Lost = true;
        }
      }
    }
    platform::Close(*done.Folder);
    --m_depth;
  }

  bool ReachAgain(std::size_t depth) {
    std::size_t open = depth;
    while (open > 0 && m_levels[open - 1]->Parked)
      --open;
    if (open == 0) return false;
    const Level& ancestor = *m_levels[open - 1];
    const Level& level = *m_levels[depth];
    // m_path still starts with the level's path, as everything walked below it does.
    const std::string_view relative = std::string_view(m_path).substr(
        ancestor.PathLength, level.PathLength - 1 - ancestor.PathLength);
    return platform::Reopen(*level.Folder, *ancestor.Folder, relative).Ok();
  }

  bool Run() {
    while (m_depth > 0 && !m_stopped) {
      if (m_handOverAt != std::chrono::steady_clock::time_point{} &&
          ++m_sinceHandOverLook >= kEntriesPerSoloLook) {
        m_sinceHandOverLook = 0;
        if (std::chrono::steady_clock::now() >= m_handOverAt) {
          m_handedOver = true;
          return true;  // every level stays as it is, for Resume
        }
      }
      if (Stopping()) {
        m_stopped = true;
        break;
      }
      Level& level = *m_levels[m_depth - 1];
      if (level.Next == level.Entries.size()) {
        if (level.More) {
          ReadPart(level);
        } else {
          Leave();
        }
        continue;
      }
      platform::FolderEntry& entry = level.Entries[level.Next++];
      if (!m_options.Excludes.empty() && Excluded(entry)) {
        if (!VisitExcluded(entry, level.PathLength)) break;
        continue;
      }
      if (!Size(level, entry)) continue;
      const bool isFile = entry.Kind == EntryKind::File;
      // A file's path is needed only to show it.
      if (!isFile || m_visit) {
        m_path.resize(level.PathLength);
        m_path.append(entry.Name);
      }
      if (isFile) {
        m_totals.TotalSize = SaturatingAdd(m_totals.TotalSize, entry.Size);
        ++m_totals.FileCount;
        CountAllocation(entry);
        if (!VisitFile(entry)) break;
        continue;
      }
      if (!entry.MayEnter) {
        ++m_totals.FolderCount;
        if (!Visit(true, -1, -1)) break;
        continue;
      }
      if (m_work && m_work->Hungry()) ShareRest(level);
      const std::size_t depth = m_depth;
      if (Enter(*level.Folder, level.Lost, level.Unreadable, entry.Name, depth) &&
          depth >= kOpenLevels) {
        Finish(level);
        platform::Park(*level.Folder);
        level.Parked = true;
      }
    }
    // Stopped: nothing more is read, so no parked folder needs to be reached again.
    for (; m_depth > 0; --m_depth)
      platform::Close(*m_levels[m_depth - 1]->Folder);
    return !m_stopped;
  }

  const TreeVisitor* m_visit;
  const TreeVisitor* m_walkInto = nullptr;
  Pool* m_work;
  const WalkOptions& m_options;
  LinkSet& m_links;
  const std::atomic<bool>* m_stop;
  const std::function<bool()>* m_keepGoing = nullptr;
  std::chrono::steady_clock::time_point m_handOverAt{};  // none: walk to the end
  unsigned m_sinceHandOverLook = 0;
  bool m_handedOver = false;
  std::chrono::steady_clock::time_point m_lastAsked;
  unsigned m_sinceLook = 0;
  FolderStatistics m_totals;
  std::vector<std::unique_ptr<Level>> m_levels;
  std::size_t m_depth = 0;
  std::string m_path;
  bool m_stopped = false;
  std::shared_ptr<platform::FolderState> m_sharedParent;
  std::vector<Task> m_tasks;
};

Walkers::Walker::Walker(const TreeVisitor* visit, Pool* work, const WalkOptions& options,
                        LinkSet& links)
    : m_visit(visit),
      m_work(work),
      m_options(options),
      m_links(links),
      m_stop(work ? &work->Stopping() : nullptr) {}

Walkers::Pool::~Pool() {
  {
    std::lock_guard lock(m_mutex);
    m_quit = true;
    for (auto& slot : m_slots)
      slot->Wake.notify_one();
  }
  for (auto& thread : m_threads)
    thread.join();
}

void Walkers::Pool::Main(unsigned index) {
  Walker walker(nullptr, this, m_options, m_links);
  std::unique_lock lock(m_mutex);
  Slot& slot = *m_slots[index];
  for (;;) {
    while (!m_quit && (index >= m_active || m_tasks.empty())) {
      if (!slot.Waiting && index < m_active) m_idle.fetch_add(1, std::memory_order_relaxed);
      slot.Waiting = true;
      slot.Wake.wait(lock);
      // Woken by WakeIdle (no longer waiting) or by no one: look again either way.
      if (slot.Waiting && index < m_active) m_idle.fetch_sub(1, std::memory_order_relaxed);
      slot.Waiting = false;
    }
    if (m_quit) return;
    Task task = std::move(m_tasks.front());
    m_tasks.pop_front();
    m_queued.store(m_tasks.size(), std::memory_order_relaxed);
    ++m_busy;
    lock.unlock();
    Walker& walking = task.Resume ? *task.Resume : walker;
    try {
      if (task.Resume) {
        task.Resume->Resume();
      } else {
        walker.WalkTask(task);
      }
    } catch (...) {
      {
        std::lock_guard failed(m_mutex);
        if (!m_failure) m_failure = std::current_exception();
      }
      Stop();
    }
    task = Task();  // lets go of the parent's handle
    const FolderStatistics part = walking.TakeTotals();
    lock.lock();
    Add(m_totals, part);
    if (--m_busy == 0 && m_tasks.empty()) m_settled.notify_all();
  }
}

// The caller walks the start itself; a walk still going after kSoloTime goes on in the walker
// threads, or on the caller alone when none starts.
std::optional<FolderStatistics> Walkers::Pool::Measure(std::string_view folder, RootLink link,
                                                       const std::function<bool()>* keepGoing) {
  m_stop.store(false, std::memory_order_relaxed);
  m_solo.store(true, std::memory_order_relaxed);
  if (!m_caller) m_caller = std::make_unique<Walker>(nullptr, this, m_options, m_links);
  Walker& caller = *m_caller;
  caller.WalkUntil(folder, link, std::chrono::steady_clock::now() + kSoloTime);
  if (!caller.HandedOver()) return caller.TakeTotals();
  while (m_slots.size() < m_base && StartThread()) {
  }
  if (m_slots.empty()) return WalkOnAlone(caller, keepGoing);
  std::unique_lock lock(m_mutex);
  HandOver(caller);
  if (!keepGoing && !m_adaptive) {
    m_settled.wait(lock, [this] { return Settled(); });
  } else {
    Oversee(lock, keepGoing);
  }
  return Result();
}

// No thread starts: the caller walks on alone, asking keepGoing as it goes.
std::optional<FolderStatistics> Walkers::Pool::WalkOnAlone(Walker& caller,
                                                           const std::function<bool()>* keepGoing) {
  caller.AskWhileWalking(keepGoing);
  struct StopAsking {
    Walker& Caller;
    ~StopAsking() { Caller.AskWhileWalking(nullptr); }
  } stopAsking{caller};
  caller.Resume();
  const FolderStatistics totals = caller.TakeTotals();
  if (m_stop.load()) return std::nullopt;
  return totals;
}

// Queues the caller's walk, where it left off, for the first walker; the caller holds the lock.
void Walkers::Pool::HandOver(Walker& caller) {
  m_totals = FolderStatistics{};
  m_failure = nullptr;
  SetActive(m_base);
  m_solo.store(false, std::memory_order_relaxed);
  Task resume;
  resume.Resume = &caller;
  m_tasks.push_back(std::move(resume));
  m_queued.store(1, std::memory_order_relaxed);
  WakeIdle(1);
}

// Waits, the lock held, until the walkers are done: asks keepGoing every kAskEvery and adds
// walkers while the walk waits on the disk. An exception from either stops the walkers, and goes
// on to the caller once they have settled.
void Walkers::Pool::Oversee(std::unique_lock<std::mutex>& lock,
                            const std::function<bool()>* keepGoing) {
  auto lastAsked = std::chrono::steady_clock::now();
  // Read once the caller hands over: a row small enough to walk alone never asks.
  platform::Result<std::int64_t> blocks = m_adaptive ? platform::BlocksRead() : std::int64_t{0};
  const auto interval = m_adaptive ? kLookEvery : kAskEvery;
  while (!m_settled.wait_for(lock, interval, [this] { return Settled(); })) {
    lock.unlock();
    try {
      if (m_adaptive && m_active < m_most) Grow(blocks);
      const auto now = std::chrono::steady_clock::now();
      if (keepGoing && now - lastAsked >= kAskEvery) {
        if (!(*keepGoing)()) Stop();
        lastAsked = std::chrono::steady_clock::now();
      }
    } catch (...) {
      Stop();
      lock.lock();
      m_settled.wait(lock, [this] { return Settled(); });
      throw;
    }
    lock.lock();
  }
}

// What the walkers counted, once they have settled: a walker's failure is rethrown here.
std::optional<FolderStatistics> Walkers::Pool::Result() {
  if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
  if (m_stop.load()) return std::nullopt;
  return m_totals;
}

Walkers::Walkers(unsigned threads, WalkOptions options)
    : m_threads(threads), m_options(std::move(options)), m_links(std::make_unique<LinkSet>()) {}

Walkers::~Walkers() = default;

std::optional<FolderStatistics> Walkers::Measure(std::string_view folder, RootLink link,
                                                 const std::function<bool()>* keepGoing) {
  if (m_busy) return Walkers(m_threads, m_options).Measure(folder, link, keepGoing);
  if (!m_pool) {
    const bool adaptive = m_threads == 0 && platform::BlocksRead().Ok();
    unsigned base = m_threads;
    // Directory walking gains nothing from a pool far larger than the machine.
    if (base == 0) base = std::max(1u, std::thread::hardware_concurrency());
    base = std::min(base, kMostThreads);
    m_pool = std::make_unique<Pool>(base, adaptive ? std::max(base, kMostWhileWaiting) : base,
                                    adaptive, m_options, *m_links);
  }
  const BusyScope busy(m_busy);
  return m_pool->Measure(folder, link, keepGoing);
}

std::optional<FolderStatistics> Walkers::List(std::string_view folder, RootLink link,
                                              const TreeVisitor& visit,
                                              const TreeVisitor* walkInto) {
  if (m_busy) return Walkers(m_threads, m_options).List(folder, link, visit, walkInto);
  if (!m_lister) m_lister = std::make_unique<Walker>(nullptr, nullptr, m_options, *m_links);
  const BusyScope busy(m_busy);
  m_lister->SetVisitor(&visit, walkInto);
  const bool walkedAll = m_lister->WalkRoot(folder, link);
  const FolderStatistics totals = m_lister->TakeTotals();
  if (!walkedAll) return std::nullopt;
  return totals;
}

FolderStatistics MeasureFolder(std::string_view folder, unsigned threads) {
  return *Walkers(threads).Measure(folder, RootLink::Follow);
}

std::optional<FolderStatistics> MeasureFolder(std::string_view folder, unsigned threads,
                                              const std::function<bool()>& keepGoing) {
  return Walkers(threads).Measure(folder, RootLink::Follow, &keepGoing);
}

bool WalkTree(std::string_view folder, const TreeVisitor& visit) {
  return Walkers(1).List(folder, RootLink::Follow, visit).has_value();
}

std::uint64_t WalkerThreadsStarted() {
  return g_threadsStarted.load(std::memory_order_relaxed);
}

}  // namespace quillet
