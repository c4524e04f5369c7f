// The report: the model driven as the windows drive it, and a file list that need not be held in
// memory. Every format prints the rows before the file list, and the rows are known only once
// every walk has ended; so one walk per row keeps its entries in an unlinked temporary file as
// they come and prints them from there, which costs memory independent of the number of entries.
#include "report/Report.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <utility>

#include "lists/Lists.h"

namespace quillet::report {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

// The entries of a listing run in a temporary file: one record per entry (path length, kind,
// size, size on disk, path), each row's records in one stretch. Printed are the stretches of the
// rows kept.
class SpilledListing final : public FileListing {
 public:
  // A listing in a new temporary file in $TMPDIR or /tmp, or null with errno set.
  static std::unique_ptr<SpilledListing> Create() {
    const char* variable = std::getenv("TMPDIR");
    const std::string folder = variable && *variable ? variable : "/tmp";
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
      // Without O_TMPFILE: a named file, unlinked at once.
      std::string name = folder + "/quillet-report-XXXXXX";
      fd = ::mkostemp(name.data(), O_CLOEXEC);
      if (fd >= 0) ::unlink(name.c_str());
    }
    if (fd < 0) return nullptr;
    return std::unique_ptr<SpilledListing>(new SpilledListing(fd));
  }

  // Appends entry below row; false (and Error set) when the file could not be written.
  bool Add(RowId row, const TreeEntry& entry) {
    if (m_stretches.empty() || m_stretches.back().Row != row) {
      m_stretches.push_back({row, m_written + m_pending.size(), 0});
    }
    const auto length = static_cast<std::uint32_t>(entry.Path.size());
    const std::uint8_t folder = entry.IsFolder ? 1 : 0;
    const std::int64_t size = entry.Size;
    const std::int64_t diskSize = entry.DiskSize;
    char header[kHeader];
    std::memcpy(header, &length, 4);
    std::memcpy(header + 4, &folder, 1);
    std::memcpy(header + 5, &size, 8);
    std::memcpy(header + 13, &diskSize, 8);
    m_pending.append(header, kHeader);
    m_pending.append(entry.Path);
    m_stretches.back().End = m_written + m_pending.size();
    return m_pending.size() < kChunk || Drain();
  }

  // Keeps for printing the stretches of these rows, in this order (each row once), and writes
  // out what is still pending; false (and Error set) when that fails.
  bool Keep(const std::vector<RowId>& rows) {
    std::unordered_map<RowId, std::size_t> stretchOf;
    for (std::size_t i = 0; i < m_stretches.size(); ++i)
      stretchOf.emplace(m_stretches[i].Row, i);
    m_order.clear();
    for (const RowId row : rows) {
      if (const auto found = stretchOf.find(row); found != stretchOf.end())
        m_order.push_back(found->second);
    }
    return Drain();
  }

  // The reason (errno) the file could not be written or read back, or 0.
  int Error() const { return m_error; }

  void ForEach(const std::function<void(const FileRow&)>& visit) const override {
    std::vector<char> buffer(kChunk);
    FileRow row;  // one row for all, its path's room reused
    for (const std::size_t index : m_order) {
      const Stretch& stretch = m_stretches[index];
      std::uint64_t offset = stretch.Begin;
      std::size_t begin = 0;  // buffer[begin, end) is read and not yet visited
      std::size_t end = 0;
      for (;;) {
        while (end - begin >= kHeader) {
          std::uint32_t length = 0;
          std::uint8_t folder = 0;
          std::int64_t size = 0;
          std::int64_t diskSize = 0;
          std::memcpy(&length, buffer.data() + begin, 4);
          if (end - begin - kHeader < length) break;
          std::memcpy(&folder, buffer.data() + begin + 4, 1);
          std::memcpy(&size, buffer.data() + begin + 5, 8);
          std::memcpy(&diskSize, buffer.data() + begin + 13, 8);
          SetFileRow(row, {buffer.data() + begin + kHeader, length}, folder != 0, size, diskSize);
          visit(row);
          begin += kHeader + length;
        }
        if (offset == stretch.End) break;
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
        if (end == buffer.size()) buffer.resize(buffer.size() * 2);  // a record longer than it
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer.size() - end, stretch.End - offset));
        const ssize_t got =
            ::pread(m_fd.Get(), buffer.data() + end, want, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
          if (m_error == 0) m_error = got < 0 ? errno : EIO;
          return;
        }
        end += static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
      }
    }
  }

 private:
  static constexpr std::size_t kHeader = 21;
  static constexpr std::size_t kChunk = std::size_t{1} << 20;

  struct Stretch {
    RowId Row;
    std::uint64_t Begin;
    std::uint64_t End;
  };

  explicit SpilledListing(int fd) : m_fd(fd) { m_pending.reserve(kChunk + 4096); }

  bool Drain() {
    std::size_t done = 0;
    while (done < m_pending.size() && m_error == 0) {
      const ssize_t written = ::write(m_fd.Get(), m_pending.data() + done, m_pending.size() - done);
      if (written < 0) {
        if (errno != EINTR) m_error = errno;
        continue;
      }
      done += static_cast<std::size_t>(written);
    }
    m_written += done;
    m_pending.clear();
    return m_error == 0;
  }

  Fd m_fd;
  std::string m_pending;        // records not yet written
  std::uint64_t m_written = 0;  // bytes in the file
  std::vector<Stretch> m_stretches;
  std::vector<std::size_t> m_order;
  mutable int m_error = 0;  // also set by a failed read back
};

}  // namespace

Outcome MakeReport(const Request& request, Frontend& frontend, std::ostream& out, Walks walks) {
  ListsModel model(frontend);
  model.SetWalkOptions(request.Walk);
  if (request.Folder) model.FormCreate(*request.Folder);
  for (const auto& path : request.Added)
    model.AddResultList(path);
  if (request.Imported) model.ImportRows(request.Imported);

  const bool sorted = request.SortColumn || request.Descending;
  // The rows of an imported scan are measured already: their entries come from the scan.
  const bool oneWalk = request.Files && walks == Walks::Fewest && !request.Imported;
  std::unique_ptr<SpilledListing> spilled;
  if (oneWalk && !sorted) spilled = SpilledListing::Create();
  Selection selection;
  if (spilled) {
    model.MeasureAndList(
        [&spilled](RowId row, const TreeEntry& entry) { return spilled->Add(row, entry); });
    if (spilled->Error() != 0) {
      return {kWriteFailed, std::string("cannot write the temporary listing: ") +
                                std::strerror(spilled->Error())};
    }
  } else if (oneWalk) {
    model.MeasureAndKeepList();
  } else if (!request.Imported) {
    model.tmiFileRunClick();
  }
  selection.Complete = model.RunReachedEnd();

  if (request.Zero) {
    model.tmiEditZeroForderSelClick();
  } else {
    model.SelectAll(ListKind::Result, true);
  }
  const ModelFileListing listed(model);
  if (spilled) {
    // The entries of the rows whose numbers are printed: an interrupted row has none.
    std::vector<RowId> kept;
    for (std::size_t i = 0; i < model.ResultRowCount(); ++i) {
      const ResultRow& row = model.ResultRowAt(i);
      if (row.Selected && row.Measured) kept.push_back(row.Id);
    }
    if (!spilled->Keep(kept)) {
      return {kWriteFailed, std::string("cannot write the temporary listing: ") +
                                std::strerror(spilled->Error())};
    }
    selection.Files = spilled.get();
  } else if (oneWalk) {
    model.KeepFileRowsOfMeasuredSelection();
    selection.Files = &listed;
  } else if (request.Files) {
    if (selection.Complete) {
      model.tmiViewFileViewFlagClick();
      selection.Complete = model.FileViewReachedEnd();
    }
    selection.Files = &listed;
  }
  if (sorted) {
    const int column = request.SortColumn.value_or(0);
    model.SetResultSort(column, request.Descending);
    model.SortResultList();
    // The file list by its column of the same caption, when it has one.
    const auto caption = static_cast<std::size_t>(column) < kResultColumns.size()
                             ? kResultColumns[static_cast<std::size_t>(column)].Caption
                             : std::string_view();
    if (const std::optional<int> fileColumn = FindColumn(kFileColumns, caption)) {
      model.SetFileSort(*fileColumn, request.Descending);
      model.SortFileList();
    }
  }
  for (std::size_t i = 0; i < model.ResultRowCount(); ++i) {
    if (model.IsSelected(ListKind::Result, i)) selection.Rows.push_back(i);
  }
  selection.Totals = model.SelectedTotals();

  WriteReport(out, model, selection, request.OutputFormat);
  if (spilled && spilled->Error() != 0) {
    return {kWriteFailed, std::string("cannot read the temporary listing back: ") +
                              std::strerror(spilled->Error())};
  }
  return {selection.Complete ? 0 : 130, {}};
}

}  // namespace quillet::report
