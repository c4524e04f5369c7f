// The ncdu export writer: one line per entry, folders as arrays that open with their own entry.
#include "report/NcduOutput.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <streambuf>
#include <thread>
#include <vector>

#include "scan/Text.h"

namespace quillet::report {
namespace {

constexpr std::size_t kPiece = std::size_t{1} << 16;

void AppendNumber(std::string& into, std::uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  into.append(digits, end);
}

}  // namespace

void AppendNcduName(std::string& into, std::string_view name) {
  static constexpr char kHex[] = "0123456789abcdef";
  into += '"';
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      into += '\\';
      into += c;
    } else if (byte < 0x20) {
      into += "\\u00";
      into += kHex[byte >> 4];
      into += kHex[byte & 15];
    } else {
      into += c;
    }
  }
  into += '"';
}

NcduWriter::NcduWriter(std::ostream& out, std::string_view version, std::int64_t timestamp)
    : m_out(out) {
  m_text.reserve(kPiece + 4096);
  m_text += R"([1,2,{"progname":"quillet-report","progver":)";
  AppendNcduName(m_text, version);
  m_text += R"(,"timestamp":)";
  AppendNumber(m_text, static_cast<std::uint64_t>(timestamp < 0 ? 0 : timestamp));
  m_text += '}';
}

NcduWriter::NcduWriter(std::ostream& out, Fragment) : m_out(out) {
  m_text.reserve(kPiece + 4096);
}

NcduWriter::~NcduWriter() {
  Flush(true);
}

void NcduWriter::Entry(const NcduEntry& entry) {
  m_text += R"({"name":)";
  AppendNcduName(m_text, entry.Name);
  if (entry.Size > 0) {
    m_text += R"(,"asize":)";
    AppendNumber(m_text, static_cast<std::uint64_t>(entry.Size));
  }
  if (entry.Disk > 0) {
    m_text += R"(,"dsize":)";
    AppendNumber(m_text, static_cast<std::uint64_t>(entry.Disk));
  }
  if (entry.HasDevice) {
    m_text += R"(,"dev":)";
    AppendNumber(m_text, entry.Device);
  }
  if (entry.Links > 1) {
    m_text += R"(,"ino":)";
    AppendNumber(m_text, entry.Inode);
    m_text += R"(,"hlnkc":true,"nlink":)";
    AppendNumber(m_text, entry.Links);
  }
  if (entry.ReadError) m_text += R"(,"read_error":true)";
  if (entry.NotRegular) m_text += R"(,"notreg":true)";
  if (!entry.Excluded.empty()) {
    m_text += R"(,"excluded":)";
    AppendNcduName(m_text, entry.Excluded);
  }
  m_text += '}';
}

void NcduWriter::Open(const NcduEntry& folder) {
  m_text += ",\n[";
  Entry(folder);
  Flush(false);
}

void NcduWriter::Item(const NcduEntry& entry) {
  m_text += ",\n";
  Entry(entry);
  Flush(false);
}

void NcduWriter::Close() {
  m_text += ']';
}

void NcduWriter::Splice(std::string_view text) {
  if (text.size() >= kPiece) {
    Flush(true);
    m_out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return;
  }
  m_text += text;
  Flush(false);
}

void NcduWriter::Finish() {
  m_text += "]\n";
  Flush(true);
}

void NcduWriter::Flush(bool always) {
  if (m_text.empty() || (!always && m_text.size() < kPiece)) return;
  m_out.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
  m_text.clear();
}

namespace {

// The export's entry of a walk's entry.
NcduEntry EntryOf(const TreeEntry& entry, std::string_view name) {
  NcduEntry out;
  out.Name = name;
  out.Disk = std::max<std::int64_t>(entry.DiskSize, 0);
  out.Size = std::max<std::int64_t>(entry.IsFolder ? entry.OwnSize : entry.Size, 0);
  if (!entry.IsFolder && entry.Links > 1) {
    out.Links = entry.Links;
    out.Inode = entry.Inode;
    out.HasDevice = true;
    out.Device = entry.Device;
  }
  out.NotRegular = entry.NotRegular;
  switch (entry.Skipped) {
    case TreeEntry::Skip::None:
      break;
    case TreeEntry::Skip::Unreadable:
      out.ReadError = true;
      break;
    case TreeEntry::Skip::PseudoFileSystem:
      out.Excluded = "kernfs";
      break;
    case TreeEntry::Skip::OtherFileSystem:
      out.Excluded = "otherfs";
      break;
    case TreeEntry::Skip::Excluded:
      out.Excluded = "pattern";
      break;
  }
  return out;
}

// Writes the entries a listing of one folder visits, each folder opened before its entries and
// closed after them; the folder's own entry, and its close, are the caller's.
class EntryWriter {
 public:
  EntryWriter(NcduWriter& writer, std::string_view folder)
      : m_writer(writer), m_open{WithTrailingSeparator(folder).size() - 1} {}

  void Visit(const TreeEntry& entry) {
    const std::size_t parent = entry.Path.rfind(kPathSeparator);
    while (m_open.size() > 1 && m_open.back() != parent) {
      m_writer.Close();
      m_open.pop_back();
    }
    const NcduEntry out = EntryOf(entry, entry.Path.substr(parent + 1));
    // A folder not entered is still a folder (ncdu writes it so); one a pattern left out, only
    // its name.
    if (entry.IsFolder && entry.Skipped != TreeEntry::Skip::Excluded) {
      m_writer.Open(out);
      m_open.push_back(entry.Path.size());
    } else {
      m_writer.Item(out);
    }
  }
  // Closes every folder opened below the listed one.
  void End() {
    for (; m_open.size() > 1; m_open.pop_back())
      m_writer.Close();
  }

 private:
  NcduWriter& m_writer;
  // The path lengths of the folders open in the export, the listed one's first; an entry closes
  // every folder after its parent's.
  std::vector<std::size_t> m_open;
};

// The cores this process may run on.
unsigned CoresToRunOn() {
  cpu_set_t cores;
  if (::sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 0)
    return static_cast<unsigned>(CPU_COUNT(&cores));
  return std::max(1u, std::thread::hardware_concurrency());
}

// The most jobs handed over and not yet written: more folders wait for their turn in the walks
// already going on.
constexpr std::size_t kMostJobs = 1024;

// A folder deeper than this (in bytes of path) is not handed to another thread: the thread would
// look its path up from the top.
constexpr std::size_t kLongestHandedOver = 1024;

// The export of a walk on several threads. Each job is one folder's listing, written as pieces
// of text in order, a subfolder handed to another thread standing as a piece (a job) of its own.
// The calling thread writes the pieces depth first, as soon as each is there.
class ParallelExport {
 public:
  ParallelExport(const WalkOptions& options, const ExportThreads& settings)
      : m_options(options),
        m_budget(settings.MemoryBudget),
        m_count(settings.Threads > 0 ? settings.Threads : CoresToRunOn()) {
    m_options.ListExcluded = true;
    m_threads.reserve(m_count);
    for (std::size_t i = 0; i < m_count; ++i)
      m_threads.emplace_back([this] { Work(); });
    // Every thread waiting first: the first subfolder met is handed over whatever the timing.
    std::unique_lock lock(m_mutex);
    m_ready.wait(lock, [&] { return m_idle == m_count; });
  }
  ~ParallelExport() {
    Quit();
    for (const int fd : m_spills)
      ::close(fd);
  }
  ParallelExport(const ParallelExport&) = delete;
  ParallelExport& operator=(const ParallelExport&) = delete;

  // Walks folder and splices its entries into writer; false when keepGoing stopped it.
  bool Run(NcduWriter& writer, const std::string& folder, const std::function<bool()>& keepGoing) {
    auto root = std::make_unique<Job>();
    root->Path = folder;
    root->Root = true;
    {
      std::lock_guard lock(m_mutex);
      m_queue.push_back(root.get());
      m_queued.store(1, std::memory_order_relaxed);
    }
    m_work.notify_one();
    std::vector<std::unique_ptr<Job>> stack;
    stack.push_back(std::move(root));
    try {
      Write(writer, stack, keepGoing);
    } catch (...) {
      Quit();  // before the jobs go
      throw;
    }
    if (m_failure) std::rethrow_exception(m_failure);
    return !m_stop.load(std::memory_order_relaxed);
  }

 private:
  struct Job;
  // Text, in memory or in a temporary file, or a subfolder's job.
  struct Piece {
    std::string Text;
    bool Held = false;  // counted in m_held
    int Fd = -1;
    std::uint64_t At = 0;
    std::uint64_t Size = 0;
    std::unique_ptr<Job> Child;
  };
  struct Job {
    std::string Path;
    bool Root = false;
    std::deque<Piece> Pieces;  // the pieces not yet written; guarded by m_mutex
    bool Done = false;
  };

  // Stops every thread at its next entry and waits for them to end.
  void Quit() {
    m_stop.store(true, std::memory_order_relaxed);
    {
      std::lock_guard lock(m_mutex);
      m_quit = true;
    }
    m_work.notify_all();
    for (auto& thread : m_threads)
      if (thread.joinable()) thread.join();
  }

  // Writes the pieces of the job on top of stack, depth first, each as soon as it is there.
  void Write(NcduWriter& writer, std::vector<std::unique_ptr<Job>>& stack,
             const std::function<bool()>& keepGoing) {
    std::string spilled;
    std::unique_lock lock(m_mutex);
    while (!stack.empty()) {
      Job& job = *stack.back();
      if (job.Pieces.empty()) {
        if (job.Done) {
          stack.pop_back();
          m_alive.fetch_sub(1, std::memory_order_relaxed);
          continue;
        }
        m_awaited = &job;
        const bool late =
            m_written.wait_for(lock, std::chrono::milliseconds(50)) == std::cv_status::timeout;
        m_awaited = nullptr;
        if (late) {
          lock.unlock();
          if (!keepGoing()) m_stop.store(true, std::memory_order_relaxed);
          lock.lock();
        }
        continue;
      }
      Piece piece = std::move(job.Pieces.front());
      job.Pieces.pop_front();
      if (piece.Held) m_held -= piece.Text.size();
      lock.unlock();
      if (piece.Child) {
        stack.push_back(std::move(piece.Child));
      } else if (piece.Fd >= 0) {
        spilled.resize(std::min<std::uint64_t>(piece.Size, kPiece));
        for (std::uint64_t done = 0; done < piece.Size;) {
          const std::size_t want =
              static_cast<std::size_t>(std::min<std::uint64_t>(piece.Size - done, spilled.size()));
          const ssize_t got =
              ::pread(piece.Fd, spilled.data(), want, static_cast<off_t>(piece.At + done));
          if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            throw std::runtime_error("the export's temporary file could not be read back");
          }
          writer.Splice(std::string_view(spilled.data(), static_cast<std::size_t>(got)));
          done += static_cast<std::uint64_t>(got);
        }
      } else {
        writer.Splice(piece.Text);
      }
      if (!keepGoing()) m_stop.store(true, std::memory_order_relaxed);
      lock.lock();
    }
  }

  // The text a job's writer hands on, a piece at a time.
  class PieceSink : public std::streambuf {
   public:
    PieceSink(ParallelExport& owner, Job& job, int& spill)
        : m_owner(owner), m_job(job), m_spill(spill) {}

   protected:
    int_type overflow(int_type c) override {
      if (c == traits_type::eof()) return traits_type::not_eof(c);
      const char one = traits_type::to_char_type(c);
      m_owner.Add(m_job, std::string_view(&one, 1), m_spill);
      return c;
    }
    std::streamsize xsputn(const char* data, std::streamsize size) override {
      m_owner.Add(m_job, std::string_view(data, static_cast<std::size_t>(size)), m_spill);
      return size;
    }

   private:
    ParallelExport& m_owner;
    Job& m_job;
    int& m_spill;
  };

  // A job's next piece of text: in memory while the budget allows, else in the thread's file.
  void Add(Job& job, std::string_view text, int& spill) {
    Piece piece;
    std::unique_lock lock(m_mutex);
    piece.Held = m_held + text.size() <= m_budget;
    if (piece.Held) m_held += text.size();
    lock.unlock();
    if (!piece.Held && spill < 0) spill = OpenSpill();
    if (!piece.Held && spill >= 0 && Append(spill, text, piece)) {
      piece.Fd = spill;
    } else {
      piece.Text.assign(text);
    }
    lock.lock();
    job.Pieces.push_back(std::move(piece));
    const bool awaited = m_awaited == &job;
    lock.unlock();
    if (awaited) m_written.notify_one();
  }

  // An unnamed temporary file; -1 when none can be made (the text then waits in memory).
  int OpenSpill() {
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/quillet-export-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return -1;
    ::unlink(name.c_str());
    std::lock_guard lock(m_mutex);
    m_spills.push_back(fd);
    return fd;
  }

  // Writes text at the end of the file (what a failed write left there is passed over).
  static bool Append(int fd, std::string_view text, Piece& piece) {
    const off_t at = ::lseek(fd, 0, SEEK_END);
    if (at < 0) return false;
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) return false;
      done += static_cast<std::size_t>(wrote);
    }
    piece.At = static_cast<std::uint64_t>(at);
    piece.Size = text.size();
    return true;
  }

  // Whether fewer folders wait to be walked than there are other threads (one done with its own
  // then finds the next at once), and few enough jobs wait to be written that their bookkeeping
  // stays small.
  bool Hungry() const {
    return m_queued.load(std::memory_order_relaxed) + 1 < m_count &&
           m_alive.load(std::memory_order_relaxed) < kMostJobs;
  }

  void Work() {
    Walkers walkers(1, m_options);
    int spill = -1;
    std::unique_lock lock(m_mutex);
    for (;;) {
      if (++m_idle == m_count) m_ready.notify_one();
      m_work.wait(lock, [&] { return m_quit || !m_queue.empty(); });
      --m_idle;
      if (m_quit) return;
      Job& job = *m_queue.front();
      m_queue.pop_front();
      m_queued.store(m_queue.size(), std::memory_order_relaxed);
      lock.unlock();
      std::exception_ptr failure;
      try {
        if (!m_stop.load(std::memory_order_relaxed)) Walk(job, walkers, spill);
      } catch (...) {
        failure = std::current_exception();
        m_stop.store(true, std::memory_order_relaxed);
      }
      lock.lock();
      if (failure && !m_failure) m_failure = failure;
      job.Done = true;
      if (m_awaited == &job) {
        lock.unlock();
        m_written.notify_one();
        lock.lock();
      }
    }
  }

  void Walk(Job& job, Walkers& walkers, int& spill) {
    PieceSink pieces(*this, job, spill);
    std::ostream out(&pieces);
    NcduWriter writer(out, NcduWriter::Fragment{});
    EntryWriter entries(writer, job.Path);
    const TreeVisitor visit = [&](const TreeEntry& entry) {
      entries.Visit(entry);
      return !m_stop.load(std::memory_order_relaxed);
    };
    const TreeVisitor walkInto = [&](const TreeEntry& folder) {
      if (!Hungry() || folder.Path.size() > kLongestHandedOver) return true;
      writer.Flush();
      m_alive.fetch_add(1, std::memory_order_relaxed);
      auto child = std::make_unique<Job>();
      child->Path = folder.Path;
      Job* handed = child.get();
      {
        std::lock_guard lock(m_mutex);
        Piece piece;
        piece.Child = std::move(child);
        job.Pieces.push_back(std::move(piece));
        m_queue.push_back(handed);
        m_queued.store(m_queue.size(), std::memory_order_relaxed);
      }
      m_work.notify_one();
      return false;
    };
    walkers.List(job.Path, job.Root ? RootLink::Follow : RootLink::Refuse, visit, &walkInto);
    entries.End();
    writer.Flush();
  }

  WalkOptions m_options;
  std::size_t m_budget;
  const std::size_t m_count;  // threads
  std::vector<std::thread> m_threads;
  std::mutex m_mutex;
  std::condition_variable m_ready;    // every thread waiting for work
  std::condition_variable m_written;  // a piece added to, or the end of, the awaited job
  const Job* m_awaited = nullptr;     // the job the calling thread waits for
  std::condition_variable m_work;     // a job queued, or the end
  std::deque<Job*> m_queue;
  std::size_t m_idle = 0;
  std::atomic<std::size_t> m_queued{0};
  std::atomic<std::size_t> m_alive{1};  // jobs not yet written to their end
  std::atomic<bool> m_stop{false};
  std::size_t m_held = 0;  // bytes of text waiting in memory
  std::vector<int> m_spills;
  std::exception_ptr m_failure;  // the first a thread met; guarded by m_mutex
  bool m_quit = false;
};

}  // namespace

bool WriteWalkExport(NcduWriter& writer, const std::string& folder, const WalkOptions& options,
                     const std::function<bool()>& keepGoing, const ExportThreads& threads) {
  // The root is named by its absolute path, as the other tools name it, so the file means the
  // same wherever it is read.
  std::error_code error;
  std::string root = std::filesystem::absolute(folder, error).lexically_normal().string();
  if (error) root = folder;
  while (root.size() > 1 && root.back() == kPathSeparator)
    root.pop_back();
  NcduEntry top;
  top.Name = root;
  writer.Open(top);
  ParallelExport walk(options, threads);
  const bool finished = walk.Run(writer, folder, keepGoing);
  writer.Close();
  return finished;
}

void WriteImportedTree(const ImportedTree& tree, NcduWriter& writer) {
  const auto fields = [&tree](ImportedTree::Index node) {
    const ImportedTree::Entry entry = tree.At(node);
    NcduEntry out;
    out.Name = entry.Name;
    out.Size = entry.Size;
    out.Disk = entry.Disk;
    out.ReadError = entry.ReadError;
    out.NotRegular = entry.NotRegular;
    if (entry.HardLinked) {
      // The link count itself is not kept; two says what the reader needs to know.
      out.HasDevice = true;
      out.Device = entry.Device;
      out.Inode = entry.Inode;
      out.Links = 2;
    }
    switch (entry.Excluded) {
      case Exclusion::None:
        break;
      case Exclusion::Pattern:
        out.Excluded = "pattern";
        break;
      case Exclusion::OtherFileSystem:
        out.Excluded = "otherfs";
        break;
      case Exclusion::PseudoFileSystem:
        out.Excluded = "kernfs";
        break;
      case Exclusion::Other:
        out.Excluded = "other";
        break;
    }
    return std::pair(out, entry.IsFolder);
  };
  std::vector<ImportedTree::Index> open;
  for (ImportedTree::Index node = 0; node < tree.Size(); ++node) {
    while (!open.empty() && node >= tree.End(open.back())) {
      writer.Close();
      open.pop_back();
    }
    const auto [entry, folder] = fields(node);
    if (folder) {
      writer.Open(entry);
      open.push_back(node);
    } else {
      writer.Item(entry);
    }
  }
  for (; !open.empty(); open.pop_back())
    writer.Close();
}

}  // namespace quillet::report
