// The measuring engine: one pass per tree, kinds and sizes from the directory search itself.
#include "scan/Engine.h"

#include <algorithm>
#include <atomic>
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

  // Fewer threads started than planned; called before the first of them can be the last idle one.
  void SetWorkers(unsigned workers) {
    std::lock_guard lock(m_mutex);
    m_workers = workers;
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
  std::atomic<unsigned> m_idle{0};
  std::atomic<std::size_t> m_queued{0};
};

struct Level {
  platform::Folder Folder = platform::NewFolder();
  std::vector<platform::FolderEntry> Entries;
  std::size_t Next = 0;
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

  Walker(const Visitor* visit, SharedWork* work) : m_visit(visit), m_work(work) {}

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
    level.Next = 0;
    level.Parked = false;
    level.Lost = false;
    level.Unreadable.reset();
    if (!platform::ReadEntries(*level.Folder, level.Entries)) CountUnreadable(level.Unreadable);
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
      Level& level = *m_levels[m_depth - 1];
      if (level.Next == level.Entries.size()) {
        Leave();
        continue;
      }
      const platform::FolderEntry& entry = level.Entries[level.Next++];
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
        platform::Park(*level.Folder);
        level.Parked = true;
      }
    }
    while (m_depth > 0)
      Leave();
    return !m_stopped;
  }

  const Visitor* m_visit;
  SharedWork* m_work;
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

}  // namespace

FolderStatistics MeasureFolder(std::string_view folder, unsigned threads) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  // Directory walking gains nothing from a pool far larger than the machine.
  threads = std::min(threads, kMostThreads);
  SharedWork work(threads);
  std::vector<FolderStatistics> totals(threads);
  std::vector<std::exception_ptr> failures(threads);
  auto worker = [&](unsigned index) {
    try {
      Walker walker(nullptr, &work);
      if (index == 0) walker.WalkRoot(folder);
      Task task;
      while (work.Take(task))
        walker.WalkTask(task);
      totals[index] = walker.Totals();
    } catch (...) {
      failures[index] = std::current_exception();
      work.Abandon();
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(threads - 1);
  for (unsigned i = 1; i < threads; ++i) {
    try {
      pool.emplace_back(worker, i);
    } catch (const std::system_error&) {
      break;  // out of threads: walk with those that started
    }
  }
  work.SetWorkers(static_cast<unsigned>(pool.size()) + 1);
  worker(0);
  for (auto& thread : pool)
    thread.join();
  FolderStatistics result;
  for (unsigned i = 0; i < threads; ++i) {
    if (failures[i]) std::rethrow_exception(failures[i]);
    Add(result, totals[i]);
  }
  return result;
}

bool WalkTree(std::string_view folder, const std::function<bool(const TreeEntry&)>& visit) {
  Walker walker(&visit, nullptr);
  return walker.WalkRoot(folder);
}

}  // namespace quillet
