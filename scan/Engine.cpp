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
#include <vector>

#include "scan/FileSystemFaults.h"
#include "scan/Saturate.h"
#include "scan/Text.h"
#include "scan/platform/Platform.h"

namespace quillet {

namespace {

using platform::EntryKind;
using platform::OpenResult;

// Folders kept open along one walker's path; deeper ones let go of their handle meanwhile, so a
// tree of any depth needs a bounded number of handles.
constexpr std::size_t kOpenLevels = 24;

constexpr unsigned kMostThreads = 256;

// How long a caller who may cancel waits between two questions whether to go on.
constexpr std::chrono::milliseconds kAskEvery{25};

// Entries walked between two looks at the clock when the asking thread walks itself.
constexpr unsigned kEntriesPerLook = 64;

// Set once a folder has counted as unreadable, by whichever thread finds out first.
using UnreadableMark = std::shared_ptr<std::atomic<bool>>;

// A subfolder handed to another thread: its parent stays open through Parent.
struct Task {
  std::shared_ptr<platform::FolderState> Parent;
  UnreadableMark ParentUnreadable;
  std::string Path;  // the subfolder's path, without a trailing separator
  std::size_t NameOffset = 0;
};

// The subfolders waiting for a thread. Work is handed out only while someone is idle, so the
// queue (and the parent handles it keeps open) stays small.
class SharedWork {
 public:
  explicit SharedWork(unsigned workers) : m_workers(workers) {}

  bool Hungry() const {
    return m_idle.load(std::memory_order_relaxed) > 0 &&
           m_queued.load(std::memory_order_relaxed) == 0;
  }

  void Push(std::vector<Task>& tasks) {
    {
      std::lock_guard lock(m_mutex);
      for (auto& task : tasks)
        m_tasks.push_back(std::move(task));
      m_queued.store(m_tasks.size(), std::memory_order_relaxed);
    }
    tasks.clear();
    m_ready.notify_all();
  }

  // The next subfolder to walk; false once every thread is idle and nothing is queued.
  bool Take(Task& task) {
    std::unique_lock lock(m_mutex);
    m_idle.store(++m_idleCount, std::memory_order_relaxed);
    while (m_tasks.empty()) {
      if (m_done || m_idleCount == m_workers) {
        m_done = true;
        m_ready.notify_all();
        return false;
      }
      m_ready.wait(lock);
    }
    m_idle.store(--m_idleCount, std::memory_order_relaxed);
    task = std::move(m_tasks.front());
    m_tasks.pop_front();
    m_queued.store(m_tasks.size(), std::memory_order_relaxed);
    return true;
  }

  // Fewer threads started than planned; those already waiting may be all there is.
  void SetWorkers(unsigned workers) {
    {
      std::lock_guard lock(m_mutex);
      m_workers = workers;
      if (m_idleCount == m_workers) m_done = true;
    }
    m_ready.notify_all();
  }

  // One more walker is about to start; false when the walk is over already.
  bool AddWorker() {
    std::lock_guard lock(m_mutex);
    if (m_done) return false;
    ++m_workers;
    return true;
  }

  // The walker just added could not start after all.
  void DropWorker() {
    {
      std::lock_guard lock(m_mutex);
      if (--m_workers == m_idleCount) m_done = true;
    }
    m_ready.notify_all();
  }

  // Every walker stops at its next entry and nothing more is handed out.
  void Stop() {
    m_stop.store(true, std::memory_order_relaxed);
    Abandon();
  }
  const std::atomic<bool>& Stopping() const { return m_stop; }

  void WorkerFinished() {
    {
      std::lock_guard lock(m_mutex);
      ++m_finished;
    }
    m_allFinished.notify_all();
  }

  // True once count workers finished; false when wait ran out first.
  bool WaitForWorkers(std::size_t count, std::chrono::milliseconds wait) {
    std::unique_lock lock(m_mutex);
    return m_allFinished.wait_for(lock, wait, [&] { return m_finished == count; });
  }

  // A thread failed: the others finish what they hold and then stop.
  void Abandon() {
    {
      std::lock_guard lock(m_mutex);
      m_done = true;
      m_tasks.clear();
      m_queued.store(0, std::memory_order_relaxed);
    }
    m_ready.notify_all();
  }

 private:
  unsigned m_workers;
  std::mutex m_mutex;
  std::condition_variable m_ready;
  std::deque<Task> m_tasks;
  unsigned m_idleCount = 0;
  bool m_done = false;
  std::size_t m_finished = 0;
  std::condition_variable m_allFinished;
  std::atomic<unsigned> m_idle{0};
  std::atomic<std::size_t> m_queued{0};
  std::atomic<bool> m_stop{false};
};

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

// Depth-first walk of one subtree without recursion; its levels are reused from folder to folder.
// With a visitor it reports every entry in order; with shared work it hands subfolders to idle
// threads instead.
class Walker {
 public:
  using Visitor = std::function<bool(const TreeEntry&)>;

  Walker(const Visitor* visit, SharedWork* work)
      : m_visit(visit), m_work(work), m_stop(work ? &work->Stopping() : nullptr) {}

  // Has the walk ask keepGoing about every kAskEvery, for a thread that walks instead of asking.
  void AskWhileWalking(const std::function<bool()>* keepGoing) {
    m_keepGoing = keepGoing;
    m_lastAsked = std::chrono::steady_clock::now();
  }

  FolderStatistics& Totals() { return m_totals; }

  // Walks the folder at path; false when the visitor asked to stop.
  bool WalkRoot(std::string_view path) {
    m_path = WithTrailingSeparator(path);
    Level& root = LevelAt(0);
    const FileSystemFaults* faults = ActiveFileSystemFaults();
    const OpenResult result = faults && faults->SearchFails(m_path)
                                  ? OpenResult::Unreadable
                                  : platform::OpenRoot(m_path, *root.Folder);
    if (result == OpenResult::NotEntered) return true;
    if (result != OpenResult::Opened) {
      ++m_totals.UnreadableFolders;
      return true;
    }
    StartReading(root);
    m_depth = 1;
    return Run();
  }

  // Walks a subfolder handed over by another thread, counting it as that thread would have.
  void WalkTask(Task& task) {
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
    const platform::ReadState state = platform::ReadEntries(*level.Folder, level.Entries);
    level.Next = 0;
    level.More = state == platform::ReadState::More;
    if (state == platform::ReadState::Failed) CountUnreadable(level.Unreadable);
  }

  void Size(Level& level, platform::FolderEntry& entry) {
    if (entry.Kind == EntryKind::Unsized && !platform::SizeEntry(*level.Folder, entry)) {
      CountUnreadable(level.Unreadable);
    }
  }

  // A folder about to let go of its handle is read and sized to its end first: only its
  // subfolders need the handle again.
  void Finish(Level& level) {
    if (level.More) {
      level.More = false;
      if (platform::ReadRest(*level.Folder, level.Entries) == platform::ReadState::Failed) {
        CountUnreadable(level.Unreadable);
      }
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

  // Counts the subfolder whose path m_path holds (no separator yet) and, when it is read, makes it
  // level depth. False when there is nothing to walk below it (or the visitor asked to stop).
  bool Enter(platform::FolderState& parent, bool parentLost, UnreadableMark& parentUnreadable,
             std::string_view name, std::size_t depth) {
    const FileSystemFaults* faults = ActiveFileSystemFaults();
    if (faults && faults->Vanished(m_path)) return false;
    Level& child = LevelAt(depth);
    OpenResult result = OpenResult::Unreadable;
    const bool searchFails = parentLost || (faults && faults->SearchFails(m_path + kPathSeparator));
    if (!searchFails) result = platform::OpenChild(parent, name, m_path, *child.Folder);
    if (result == OpenResult::Vanished) return false;
    if (result == OpenResult::ParentUnsearchable) {
      CountUnreadable(parentUnreadable);
      return false;
    }
    ++m_totals.FolderCount;
    if (!Visit(true, -1)) {
      platform::Close(*child.Folder);
      return false;
    }
    if (result == OpenResult::Unreadable) ++m_totals.UnreadableFolders;
    if (result != OpenResult::Opened) return false;
    m_path += kPathSeparator;
    StartReading(child);
    m_depth = depth + 1;
    return true;
  }

  bool Visit(bool isFolder, std::int64_t size) {
    if (!m_visit) return true;
    TreeEntry entry;
    entry.Path = m_path;
    entry.IsFolder = isFolder;
    entry.Size = size;
    if ((*m_visit)(entry)) return true;
    m_stopped = true;
    return false;
  }

  // Hands the subfolders after the current entry to idle threads.
  void ShareRest(Level& level) {
    for (std::size_t i = level.Next; i < level.Entries.size(); ++i) {
      platform::FolderEntry& entry = level.Entries[i];
      if (entry.Kind != EntryKind::Folder || !entry.MayEnter) continue;
      if (!m_sharedParent) m_sharedParent = platform::Share(*level.Folder);
      if (!m_sharedParent) return;
      Task task;
      task.Parent = m_sharedParent;
      if (!level.Unreadable) level.Unreadable = std::make_shared<std::atomic<bool>>(false);
      task.ParentUnreadable = level.Unreadable;
      task.Path.assign(m_path, 0, level.PathLength).append(entry.Name);
      task.NameOffset = level.PathLength;
      m_tasks.push_back(std::move(task));
      entry.Kind = EntryKind::Vanished;  // counted by whoever takes the task
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
        if (platform::Unpark(*parent.Folder, *done.Folder) || ReachAgain(m_depth - 2)) {
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
    return platform::Reopen(*level.Folder, *ancestor.Folder, relative);
  }

  bool Run() {
    const FileSystemFaults* faults = ActiveFileSystemFaults();
    while (m_depth > 0 && !m_stopped) {
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
      Size(level, entry);
      if (entry.Kind == EntryKind::Vanished) continue;
      const bool isFile = entry.Kind == EntryKind::File;
      // A file's path is needed only to show it or to ask the fault hooks about it.
      if (!isFile || m_visit || faults) {
        m_path.resize(level.PathLength);
        m_path.append(entry.Name);
      }
      if (isFile) {
        if (faults && faults->Vanished(m_path)) continue;
        m_totals.TotalSize = SaturatingAdd(m_totals.TotalSize, entry.Size);
        ++m_totals.FileCount;
        if (!Visit(false, entry.Size)) break;
        continue;
      }
      if (!entry.MayEnter) {
        if (faults && faults->Vanished(m_path)) continue;
        ++m_totals.FolderCount;
        if (!Visit(true, -1)) break;
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

  const Visitor* m_visit;
  SharedWork* m_work;
  const std::atomic<bool>* m_stop;
  const std::function<bool()>* m_keepGoing = nullptr;
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

void Add(FolderStatistics& into, const FolderStatistics& part) {
  into.TotalSize = SaturatingAdd(into.TotalSize, part.TotalSize);
  into.FileCount = SaturatingAdd(into.FileCount, part.FileCount);
  into.FolderCount = SaturatingAdd(into.FolderCount, part.FolderCount);
  into.UnreadableFolders = SaturatingAdd(into.UnreadableFolders, part.UnreadableFolders);
}

// Left to choose, the engine starts one walker per core and, while the walk waits on the disk
// rather than on the processors, doubles them up to this many: a cold walk is bound by how many
// reads are in flight, a warm one by the cores.
constexpr unsigned kMostWhileWaiting = 32;

// How often a coordinating caller looks whether the walk waits on the disk.
constexpr std::chrono::milliseconds kLookEvery{10};

// Blocks read between two looks that show the walk waits on the disk.
constexpr std::int64_t kWaitingBlocks = 16;

// With neither keepGoing nor a pool that may grow, the calling thread walks beside the pool.
// Otherwise every walker has a thread of its own while the caller coordinates: it asks keepGoing
// and adds walkers while the disk is the bound. Should no thread start at all, the caller walks
// alone and asks as it goes.
std::optional<FolderStatistics> Measure(std::string_view folder, unsigned threads,
                                        const std::function<bool()>* keepGoing) {
  // Growing needs to know what the process reads from the disk.
  const std::int64_t blocksBefore = threads == 0 ? platform::BlocksRead() : -1;
  const bool adaptive = blocksBefore >= 0;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  // Directory walking gains nothing from a pool far larger than the machine.
  threads = std::min(threads, kMostThreads);
  const unsigned most = adaptive ? std::max(threads, kMostWhileWaiting) : threads;
  SharedWork work(threads);
  std::vector<FolderStatistics> totals(most);
  std::vector<std::exception_ptr> failures(most);
  auto worker = [&](unsigned index, const std::function<bool()>* ask) {
    try {
      Walker walker(nullptr, &work);
      walker.AskWhileWalking(ask);
      if (index == 0) walker.WalkRoot(folder);
      Task task;
      while (work.Take(task))
        walker.WalkTask(task);
      totals[index] = walker.Totals();
    } catch (...) {
      failures[index] = std::current_exception();
      work.Abandon();
    }
    work.WorkerFinished();
  };
  const bool coordinate = keepGoing || adaptive;
  const unsigned first = coordinate ? 0 : 1;
  std::vector<std::thread> pool;
  pool.reserve(most);
  for (unsigned i = first; i < threads; ++i) {
    try {
      pool.emplace_back(worker, i, nullptr);
    } catch (const std::system_error&) {
      break;  // out of threads: walk with those that started
    }
  }
  const bool callerWalks = pool.empty() || !coordinate;
  work.SetWorkers(static_cast<unsigned>(pool.size()) + (callerWalks ? 1 : 0));
  // Adds count walkers, unless the walk is over or no more threads start.
  bool mayGrow = adaptive;
  const auto grow = [&](std::size_t count) {
    for (std::size_t i = 0; i < count && pool.size() < most; ++i) {
      if (!work.AddWorker()) return;
      try {
        pool.emplace_back(worker, static_cast<unsigned>(pool.size()), nullptr);
      } catch (const std::system_error&) {
        work.DropWorker();
        mayGrow = false;
        return;
      }
    }
  };
  const auto joinAll = [&] {
    for (auto& thread : pool)
      thread.join();
  };
  if (callerWalks) {
    worker(0, keepGoing);
  } else {
    try {
      auto lastAsked = std::chrono::steady_clock::now();
      std::int64_t blocks = blocksBefore;
      while (!work.WaitForWorkers(pool.size(), adaptive ? kLookEvery : kAskEvery)) {
        if (mayGrow && pool.size() < most) {
          const std::int64_t read = platform::BlocksRead();
          if (read - blocks >= kWaitingBlocks) grow(pool.size());
          blocks = read;
        }
        if (!keepGoing || std::chrono::steady_clock::now() - lastAsked < kAskEvery) continue;
        if (!(*keepGoing)()) {
          work.Stop();
          break;
        }
        lastAsked = std::chrono::steady_clock::now();
      }
    } catch (...) {
      work.Stop();
      joinAll();
      throw;
    }
  }
  joinAll();
  for (const auto& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
  if (work.Stopping().load()) return std::nullopt;
  FolderStatistics result;
  for (const auto& part : totals)
    Add(result, part);
  return result;
}

}  // namespace

FolderStatistics MeasureFolder(std::string_view folder, unsigned threads) {
  return *Measure(folder, threads, nullptr);
}

std::optional<FolderStatistics> MeasureFolder(std::string_view folder, unsigned threads,
                                              const std::function<bool()>& keepGoing) {
  return Measure(folder, threads, &keepGoing);
}

bool WalkTree(std::string_view folder, const std::function<bool(const TreeEntry&)>& visit) {
  Walker walker(&visit, nullptr);
  return walker.WalkRoot(folder);
}

}  // namespace quillet
