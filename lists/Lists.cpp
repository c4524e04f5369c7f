// The row model and its commands. Everything here runs on the one user-interface thread; the
// only ways out are the Frontend's three interfaces and the observer.
#include "lists/Lists.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <filesystem>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "lists/Sorting.h"
#include "scan/FileSystemFaults.h"
#include "scan/Gloval.h"
#include "scan/Text.h"
#include "scan/Utf16.h"

namespace quillet {

namespace {

// Closes the command's progress dialog on every way out, exceptions included.
class ProgressScope {
 public:
  explicit ProgressScope(std::unique_ptr<ProgressSink> sink) : m_sink(std::move(sink)) {
    m_sink->Show();
  }
  ~ProgressScope() { Close(); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

  ProgressSink* operator->() { return m_sink.get(); }
  ProgressSink& operator*() { return *m_sink; }
  void Close() {
    if (!m_sink) return;
    auto sink = std::move(m_sink);
    sink->Close();
  }

 private:
  std::unique_ptr<ProgressSink> m_sink;
};

int CompareNumbers(std::int64_t a, std::int64_t b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

// A number cell that may show a word instead ("未解析", "フォルダ"). A formatted count always
// parses back and a word never does, so numbers compare raw and only a word needs text. Every
// count text starts with a digit or '-', below the first byte of either word, so the words go
// after every number: an ordering, whatever mix of rows a list holds.
int CompareCountCells(bool hasA, std::int64_t a, bool hasB, std::int64_t b, std::string_view word) {
  if (hasA && hasB) return CompareNumbers(a, b);
  return CompareText(hasA ? std::string_view(CountText(a)) : word,
                     hasB ? std::string_view(CountText(b)) : word);
}

// The file list's comparison under a column and direction, for a view's sort and the model's.
int CompareFileRows(const FileRow& a, const FileRow& b, int column, bool descending) {
  int result = 0;
  switch (column) {
    case 0:
      result = CompareText(a.Caption, b.Caption);
      break;
    case 1:
      result = CompareText(a.Path, b.Path);
      break;
    case 2:
      result = CompareCountCells(!a.IsFolder, a.Size, !b.IsFolder, b.Size, kTextFolder);
      break;
    default:
      // A column without cells shows empty text in every row: all rows are equal.
      break;
  }
  return descending ? -result : result;
}

}  // namespace

// The file list: one arena of path text in fixed chunks (never moved, so views stay valid and
// growth copies nothing) and one compact record per row. Rows are staged while a file view
// adds them and published to the views in batches.
struct ListsModel::FileStore {
  static constexpr std::size_t kChunkSize = std::size_t{1} << 20;
  static constexpr std::uint8_t kFolder = 1;
  static constexpr std::uint8_t kSelected = 2;

  struct Record {
    std::int64_t Size;
    std::uint64_t PathRef;  // chunk index << 32 | offset in the chunk
    std::uint32_t PathLength;
    std::uint8_t Flags;
    std::uint16_t NameLength;  // of the name at the end of the path; kLongName if longer
  };
  static constexpr std::uint16_t kLongName = 0xFFFF;

  // The records in blocks of a power of two: growing copies nothing, and finding a record is a
  // shift and a mask (sorts look rows up in any order).
  class RecordBlocks {
   public:
    static constexpr std::size_t kShift = 14;
    static constexpr std::size_t kBlock = std::size_t{1} << kShift;

    std::size_t size() const { return m_size; }
    Record& operator[](std::size_t index) {
      return m_blocks[index >> kShift][index & (kBlock - 1)];
    }
    const Record& operator[](std::size_t index) const {
      return m_blocks[index >> kShift][index & (kBlock - 1)];
    }
    void push_back(const Record& record) {
      if ((m_size & (kBlock - 1)) == 0) m_blocks.push_back(std::make_unique<Record[]>(kBlock));
      (*this)[m_size++] = record;
    }
    void clear() {
      std::vector<std::unique_ptr<Record[]>>().swap(m_blocks);
      m_size = 0;
    }
    // Keeps the first size records (size no more than now).
    void Truncate(std::size_t size) { m_size = size; }

   private:
    std::vector<std::unique_ptr<Record[]>> m_blocks;
    std::size_t m_size = 0;
  };

  std::vector<std::unique_ptr<char[]>> Chunks;
  std::size_t ChunkUsed = 0;
  std::size_t ChunkCapacity = 0;
  RecordBlocks Records;
  std::size_t Published = 0;
  // The records of each row a one-walk run listed into this store, in the order of the run.
  struct RowRecords {
    RowId Row;
    std::size_t First;
    std::size_t End;
  };
  std::vector<RowRecords> RowsListed;

  std::string_view PathOf(const Record& record) const {
    const char* chunk = Chunks[record.PathRef >> 32].get();
    return {chunk + (record.PathRef & 0xFFFFFFFFu), record.PathLength};
  }

  // The row's name, found without reading its text (a sort asks for every row's).
  std::string_view NameOf(const Record& record) const {
    const std::string_view path = PathOf(record);
    if (record.NameLength == kLongName) return FileRowOf(path, false, 0).Caption;
    return path.substr(path.size() - record.NameLength);
  }

  FileRow RowOf(const Record& record) const {
    FileRow row = FileRowOf(PathOf(record), (record.Flags & kFolder) != 0, record.Size);
    row.Selected = (record.Flags & kSelected) != 0;
    return row;
  }

  void Append(std::string_view path, bool isFolder, std::int64_t size) {
    if (Chunks.empty() || ChunkCapacity - ChunkUsed < path.size()) {
      ChunkCapacity = std::max(kChunkSize, path.size());
      Chunks.push_back(std::make_unique_for_overwrite<char[]>(ChunkCapacity));
      ChunkUsed = 0;
    }
    if (!path.empty()) std::memcpy(Chunks.back().get() + ChunkUsed, path.data(), path.size());
    const std::uint64_t ref = (static_cast<std::uint64_t>(Chunks.size() - 1) << 32) | ChunkUsed;
    ChunkUsed += path.size();
    const std::size_t name = FileRowOf(path, isFolder, size).Caption.size();
    Records.push_back(Record{isFolder ? -1 : size, ref, static_cast<std::uint32_t>(path.size()),
                             static_cast<std::uint8_t>(isFolder ? kFolder : 0),
                             static_cast<std::uint16_t>(std::min<std::size_t>(name, kLongName))});
  }

  void Clear() {
    RowsListed.clear();
    Records.clear();
    std::vector<std::unique_ptr<char[]>>().swap(Chunks);
    ChunkUsed = ChunkCapacity = 0;
    Published = 0;
  }
};

FolderStatistics AnalyseRow(std::string_view location) {
  return MeasureFolder(location);
}

std::optional<FolderStatistics> AnalyseRow(Walkers& walkers, const ResultRow& row,
                                           const std::function<bool()>& keepGoing) {
  return walkers.Measure(row.Location, LinkOf(row), &keepGoing);
}

RootLink LinkOf(const ResultRow& row) {
  return row.Listed ? RootLink::Refuse : RootLink::Follow;
}

bool IsRootLocation(std::string_view location, char separator) {
  const auto isSeparator = [separator](char c) {
    return c == separator || (separator == '\\' && c == '/');
  };
  std::string_view rest = location;
  std::size_t keptComponents = 0;  // components that belong to the root itself (a share)
  bool absolute = false;
  if (separator == '\\') {
    // The long-path and device prefixes name the same places as the paths after them (the
    // platform layer turns "\\.\" into "\\?\"). After either, "UNC" is the place above every
    // share and "UNC\server\share" a share, in any case, as the object names are.
    for (std::string_view prefix : {"\\\\?\\", "\\\\.\\"}) {
      if (!rest.starts_with(prefix)) continue;
      rest.remove_prefix(prefix.size());
      if (rest.size() >= 3 && CompareText(rest.substr(0, 3), "UNC") == 0 &&
          (rest.size() == 3 || isSeparator(rest[3]))) {
        rest.remove_prefix(3);
        keptComponents = 2;
        absolute = true;
      }
      break;
    }
    if (!absolute && rest.size() >= 2 && isSeparator(rest[0]) && isSeparator(rest[1])) {
      keptComponents = 2;  // \\server\share
      absolute = true;
    } else if (!absolute && rest.size() >= 2 && rest[1] == ':') {
      // "E:" alone is the current folder of drive E, which the row shows as the drive's root.
      rest.remove_prefix(2);
      if (rest.empty()) return true;
      absolute = isSeparator(rest[0]);
    }
  }
  if (!rest.empty() && isSeparator(rest[0])) absolute = true;
  // Walk the components: the location is a root when nothing is left below the root after
  // "." and ".." are applied. A relative path that climbs out of its start is refused as well,
  // since it does not name a folder below anything the row shows.
  std::int64_t depth = 0;
  std::size_t component = 0;
  while (!rest.empty()) {
    std::size_t end = 0;
    while (end < rest.size() && !isSeparator(rest[end]))
      ++end;
    const std::string_view name = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (name.empty() || name == ".") continue;
    if (component < keptComponents) {
      ++component;
      continue;
    }
    if (name == "..") {
      if (depth == 0 && !absolute) return true;
      depth = std::max<std::int64_t>(0, depth - 1);
    } else {
      ++depth;
    }
  }
  return depth == 0;
}

namespace {

// The native form of a path: bytes on POSIX, UTF-16 on Windows, where generalised UTF-8 keeps
// names with lone surrogates exact.
std::filesystem::path NativePath(std::string_view path) {
  if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>) {
    return ToUtf16<wchar_t>(path);
  } else {
    return std::string(path);
  }
}

}  // namespace

bool EntryExists(std::string_view path) {
  std::error_code error;
  return std::filesystem::symlink_status(NativePath(path), error).type() !=
         std::filesystem::file_type::not_found;
}

ListsModel::ListsModel(Frontend& frontend)
    : m_frontend(frontend), m_files(std::make_unique<FileStore>()) {}

ListsModel::~ListsModel() = default;

// --- Reading ----------------------------------------------------------------------------------

std::optional<std::size_t> ListsModel::FindResultRow(RowId id, std::size_t hint) const {
  // Loops look their rows up after every update; unless a command moved rows meanwhile the
  // row is still where it was, which keeps a run over many rows linear.
  if (hint < m_results.size() && m_results[hint].Id == id) return hint;
  for (std::size_t i = 0; i < m_results.size(); ++i) {
    if (m_results[i].Id == id) return i;
  }
  return std::nullopt;
}

std::size_t ListsModel::FileRowCount() const {
  return m_files->Published;
}

FileRow ListsModel::FileRowAt(std::size_t index) const {
  return m_files->RowOf(m_files->Records[index]);
}

std::size_t ListsModel::RowCount(ListKind list) const {
  return list == ListKind::Result ? ResultRowCount() : FileRowCount();
}

std::string ListsModel::CellText(ListKind list, std::size_t index, int column) const {
  if (list == ListKind::Result) {
    const ResultRow& row = m_results[index];
    switch (column) {
      case 0:
        return row.Caption;
      case 1:
        return row.Location;
      case 2:
        return row.Measured ? CountText(row.TotalSize) : std::string(kTextUnmeasured);
      case 3:
        return row.Measured ? CountText(row.FileCount) : std::string(kTextUnmeasured);
      case 4:
        return row.Measured ? CountText(row.FolderCount) : std::string(kTextUnmeasured);
      default:
        return {};
    }
  }
  const FileRow row = FileRowAt(index);
  switch (column) {
    case 0:
      return std::string(row.Caption);
    case 1:
      return std::string(row.Path);
    case 2:
      return row.IsFolder ? std::string(kTextFolder) : CountText(row.Size);
    default:
      return {};
  }
}

int ListsModel::ImageIndex(ListKind list, std::size_t index) const {
  return list == ListKind::Result ? m_results[index].ImageIndex() : FileRowAt(index).ImageIndex();
}

// --- Selection --------------------------------------------------------------------------------

bool ListsModel::IsSelected(ListKind list, std::size_t index) const {
  if (list == ListKind::Result) return m_results[index].Selected;
  return (m_files->Records[index].Flags & FileStore::kSelected) != 0;
}

void ListsModel::SetSelected(ListKind list, std::size_t index, bool selected) {
  SetSelectedRange(list, index, index, selected);
}

void ListsModel::SetSelectedRange(ListKind list, std::size_t first, std::size_t last,
                                  bool selected) {
  const std::size_t count = RowCount(list);
  if (count == 0 || first > last || first >= count) return;
  last = std::min(last, count - 1);
  bool changed = false;
  for (std::size_t i = first; i <= last; ++i) {
    if (list == ListKind::Result) {
      changed |= m_results[i].Selected != selected;
      m_results[i].Selected = selected;
    } else {
      auto& flags = m_files->Records[i].Flags;
      const auto updated = static_cast<std::uint8_t>(selected ? flags | FileStore::kSelected
                                                              : flags & ~FileStore::kSelected);
      changed |= updated != flags;
      flags = updated;
    }
  }
  if (!changed) return;
  if (m_observer) m_observer->SelectionChanged(list);
  if (list == ListKind::Result) lvwResultChange();
}

void ListsModel::SelectAll(ListKind list, bool selected) {
  const std::size_t count = RowCount(list);
  if (count > 0) SetSelectedRange(list, 0, count - 1, selected);
}

std::optional<std::size_t> ListsModel::FirstSelected(ListKind list) const {
  const std::size_t count = RowCount(list);
  for (std::size_t i = 0; i < count; ++i) {
    if (IsSelected(list, i)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> ListsModel::NextSelected(ListKind list, std::size_t after) const {
  const std::size_t count = RowCount(list);
  for (std::size_t i = after + 1; i < count; ++i) {
    if (IsSelected(list, i)) return i;
  }
  return std::nullopt;
}

// --- Rows in and out --------------------------------------------------------------------------

RowId ListsModel::AddResultList(std::string_view path) {
  ResultRow row;
  row.Id = m_nextId++;
  row.Location = WithoutTrailingSeparator(path);
  row.Caption = ExtractLastName(row.Location);
  // The root "/" has no last name; its row shows the root itself rather than nothing.
  if (row.Caption.empty()) row.Caption = row.Location;
  const std::size_t index = m_results.size();
  if (m_observer) m_observer->BeginAppend(ListKind::Result, index, 1);
  m_results.push_back(std::move(row));
  if (m_observer) m_observer->EndAppend(ListKind::Result);
  return m_results.back().Id;
}

void ListsModel::FormCreate(std::optional<std::string_view> firstArgument) {
  // The arguments end at the first empty one; searched, "" would list the drive's root.
  if (!firstArgument || firstArgument->empty()) return;
  EntryList folders;
  CollectEntries(*firstArgument, folders, /*recurse=*/false, /*includeFolders=*/true,
                 /*includeFiles=*/false);
  for (const auto& folder : folders) {
    AddResultList(folder);
    m_results.back().Listed = true;
  }
}

void ListsModel::RemoveResultRows(const std::vector<RowId>& ids) {
  const std::unordered_set<RowId> doomed(ids.begin(), ids.end());
  bool removedSelected = false;
  // From the last row to the first, one notification per run of neighbouring rows.
  std::size_t end = m_results.size();
  while (end > 0) {
    if (!doomed.contains(m_results[end - 1].Id)) {
      --end;
      continue;
    }
    std::size_t first = end - 1;
    while (first > 0 && doomed.contains(m_results[first - 1].Id))
      --first;
    for (std::size_t i = first; i < end; ++i)
      removedSelected |= m_results[i].Selected;
    if (m_observer) m_observer->BeginRemove(ListKind::Result, first, end - first);
    m_results.erase(m_results.begin() + static_cast<std::ptrdiff_t>(first),
                    m_results.begin() + static_cast<std::ptrdiff_t>(end));
    if (m_observer) m_observer->EndRemove(ListKind::Result);
    end = first;
  }
  // The platform list reports the loss of a selected row as a change; the totals follow it.
  if (removedSelected) lvwResultChange();
}

void ListsModel::tmiEditDelListClick() {
  std::vector<RowId> selected;
  for (const auto& row : m_results) {
    if (row.Selected) selected.push_back(row.Id);
  }
  RemoveResultRows(selected);
  SortResultList();
}

void ListsModel::ClearFileList() {
  ++m_fileGeneration;
  if (m_observer) m_observer->BeginReset(ListKind::File);
  m_files->Clear();
  if (m_observer) m_observer->EndReset(ListKind::File);
}

void ListsModel::tmiEditAllDelListClick() {
  const bool hadSelection = FirstSelected(ListKind::Result).has_value();
  if (m_observer) m_observer->BeginReset(ListKind::Result);
  m_results.clear();
  if (m_observer) m_observer->EndReset(ListKind::Result);
  ClearFileList();
  if (hadSelection) lvwResultChange();
  SortResultList();
  SortFileList();
}

// --- Analysis run -----------------------------------------------------------------------------

void ListsModel::MeasureRows(const RowMeasure& measure) {
  m_frontend.Status().SetPanelText(StatusPanel::Run, kTextRunStarted);
  m_runReachedEnd = false;
  ProgressScope progress(m_frontend.CreateProgress());
  // The totals of selected rows follow the run at the pace of the pump, not once per row: each
  // sum reads every row.
  ++m_runsMeasuring;
  struct RunEnd {
    ListsModel& Model;
    ~RunEnd() { --Model.m_runsMeasuring; }
  } runEnd{*this};
  // The rows present now, in their order now, by id: commands run during the updates may sort,
  // remove or add rows, and none of that may make the run skip a row or write into another.
  std::vector<RowId> rows;
  rows.reserve(m_results.size());
  for (const auto& row : m_results)
    rows.push_back(row.Id);
  bool visitedAll = true;
  for (std::size_t index = 0; index < rows.size(); ++index) {
    auto where = FindResultRow(rows[index], index);
    if (!where) continue;  // removed meanwhile
    const std::string subText = " " + std::to_string(index + 1) + "/" +
                                std::to_string(rows.size()) + " 解析中... [" +
                                m_results[*where].Caption + "]";
    if (m_totalsStale && Clock::now() - m_totalsShown >= kFileViewPumpInterval) lvwResultChange();
    if (!progress->UpdateProgress(kProgressMainText, subText, true, true)) {
      visitedAll = false;
      break;
    }
    where = FindResultRow(rows[index], *where);
    if (!where) continue;
    const ResultRow row = m_results[*where];
    const std::optional<FolderStatistics> statistics =
        measure(rows[index], row.Location, LinkOf(row), *progress, subText);
    if (!statistics) {
      visitedAll = false;
      break;
    }
    where = FindResultRow(rows[index], *where);  // the updates may have moved or removed it
    if (!where) continue;
    SetStatistics(*where, *statistics);
  }
  if (m_totalsStale) lvwResultChange();
  progress.Close();
  m_runReachedEnd = visitedAll;
  if (visitedAll) m_frontend.Status().SetPanelText(StatusPanel::Run, kTextRunEnded);
}

void ListsModel::tmiFileRunClick() {
  // A long row keeps the window alive: the same update while it is measured, and an answer to
  // stop abandons the row at once; it keeps what it showed before. One set of walkers serves
  // every row of the run.
  Walkers walkers;
  MeasureRows([&walkers](RowId, const std::string& location, RootLink link, ProgressSink& progress,
                         const std::string& subText) {
    const std::function<bool()> keepGoing = [&] {
      return progress.UpdateProgress(kProgressMainText, subText, true, true);
    };
    return walkers.Measure(location, link, &keepGoing);
  });
}

void ListsModel::MeasureAndKeepList() {
  ClearFileList();
  const std::uint64_t generation = m_fileGeneration;
  MeasureAndList([this, generation](RowId row, const TreeEntry& entry) {
    // A file view or a clearing during an update replaces this listing.
    if (m_fileGeneration != generation) return true;
    FileStore& store = *m_files;
    if (store.RowsListed.empty() || store.RowsListed.back().Row != row)
      store.RowsListed.push_back({row, store.Records.size(), store.Records.size()});
    store.Append(entry.Path, entry.IsFolder, entry.Size);
    store.RowsListed.back().End = store.Records.size();
    return true;
  });
  if (m_fileGeneration == generation) PublishFileRows();
}

void ListsModel::KeepFileRowsOfMeasuredSelection() {
  FileStore& store = *m_files;
  if (m_observer) m_observer->BeginReset(ListKind::File);
  std::size_t kept = 0;
  for (const FileStore::RowRecords& listed : store.RowsListed) {
    const auto where = FindResultRow(listed.Row);
    if (!where || !m_results[*where].Selected || !m_results[*where].Measured) continue;
    for (std::size_t i = listed.First; i < listed.End; ++i)
      store.Records[kept++] = store.Records[i];
  }
  store.RowsListed.clear();
  store.Records.Truncate(kept);
  store.Published = kept;
  if (m_observer) m_observer->EndReset(ListKind::File);
}

void ListsModel::MeasureAndList(const RowEntryVisitor& visit) {
  Walkers walkers(1);
  MeasureRows([&](RowId row, const std::string& location, RootLink link, ProgressSink& progress,
                  const std::string&) -> std::optional<FolderStatistics> {
    Clock::time_point lastPump = Clock::now();
    return walkers.List(location, link, [&](const TreeEntry& entry) {
      if (!visit(row, entry)) return false;
      const bool pump = Clock::now() - lastPump >= kFileViewPumpInterval;
      const bool goOn = progress.UpdateProgress(kProgressMainText, entry.Path, pump, pump);
      // Counted from the pump's end: a slow pump must not make every update pump.
      if (pump) lastPump = Clock::now();
      return goOn;
    });
  });
}

void ListsModel::SetStatistics(std::size_t index, const FolderStatistics& statistics) {
  ResultRow& row = m_results[index];
  row.Measured = true;
  row.TotalSize = statistics.TotalSize;
  row.FileCount = statistics.FileCount;
  row.FolderCount = statistics.FolderCount;
  row.UnreadableFolders = statistics.UnreadableFolders;
  if (m_observer) m_observer->RowChanged(ListKind::Result, index);
  // A changed row is a change of the list; only a selected one moves the totals.
  if (!row.Selected) return;
  if (m_runsMeasuring > 0) {
    m_totalsStale = true;
  } else {
    lvwResultChange();
  }
}

// --- Sorting ----------------------------------------------------------------------------------

void ListsModel::lvwResultColumnClick(int column) {
  m_resultSortColumn = column;
  m_resultSortDescending = !m_resultSortDescending;
  SortResultList();
}

void ListsModel::lvwFileColumnClick(int column) {
  m_fileSortColumn = column;
  m_fileSortDescending = !m_fileSortDescending;
  SortFileList();
}

int ListsModel::lvwResultCompare(const ResultRow& a, const ResultRow& b) const {
  int result = 0;
  switch (m_resultSortColumn) {
    case 0:
      result = CompareText(a.Caption, b.Caption);
      break;
    case 1:
      // Always text: relative locations such as "10", "5a" and "9", compared as numbers where
      // both parse and as text elsewhere, would go round in a circle.
      result = CompareText(a.Location, b.Location);
      break;
    case 2:
      result = CompareCountCells(a.Measured, a.TotalSize, b.Measured, b.TotalSize, kTextUnmeasured);
      break;
    case 3:
      result = CompareCountCells(a.Measured, a.FileCount, b.Measured, b.FileCount, kTextUnmeasured);
      break;
    case 4:
      result =
          CompareCountCells(a.Measured, a.FolderCount, b.Measured, b.FolderCount, kTextUnmeasured);
      break;
    default:
      // A column without cells shows empty text in every row: all rows are equal.
      break;
  }
  return m_resultSortDescending ? -result : result;
}

int ListsModel::lvwFileCompare(std::size_t a, std::size_t b) const {
  return CompareFileRows(FileRowAt(a), FileRowAt(b), m_fileSortColumn, m_fileSortDescending);
}

void ListsModel::SetResultSort(int column, bool descending) {
  m_resultSortColumn = column;
  m_resultSortDescending = descending;
}

void ListsModel::SetFileSort(int column, bool descending) {
  m_fileSortColumn = column;
  m_fileSortDescending = descending;
}

void ListsModel::SortResultList() {
  if (m_observer) m_observer->BeginReset(ListKind::Result);
  // The order lvwResultCompare defines, from one key per row.
  const bool descending = m_resultSortDescending;
  const std::size_t count = m_results.size();
  const auto counts = [&](std::int64_t ResultRow::*number) {
    std::vector<sorting::Count> keys(count);
    for (std::size_t i = 0; i < count; ++i)
      keys[i] = {m_results[i].Measured, m_results[i].*number};
    return sorting::OrderByCount(keys, descending);
  };
  std::vector<std::size_t> order;
  switch (m_resultSortColumn) {
    case 0:
    case 1:
      order = sorting::OrderByText(
          count,
          [&](std::size_t i) -> std::string_view {
            return m_resultSortColumn == 0 ? m_results[i].Caption : m_results[i].Location;
          },
          descending);
      break;
    case 2:
      order = counts(&ResultRow::TotalSize);
      break;
    case 3:
      order = counts(&ResultRow::FileCount);
      break;
    case 4:
      order = counts(&ResultRow::FolderCount);
      break;
    default:
      break;  // every row equal: the order stays
  }
  sorting::Reorder(m_results, order);
  if (m_observer) m_observer->EndReset(ListKind::Result);
}

void ListsModel::SortFileList() {
  PublishFileRows();
  if (m_observer) m_observer->BeginReset(ListKind::File);
  // The order lvwFileCompare defines, from one key per row.
  FileStore& store = *m_files;
  const bool descending = m_fileSortDescending;
  const std::size_t count = store.Records.size();
  std::vector<std::size_t> order;
  switch (m_fileSortColumn) {
    case 0:
    case 1: {
      // The rows' paths lie anywhere in memory (a sort moves the rows, not their text): each
      // is asked for a little before it is needed, so that the waits overlap.
      constexpr std::size_t kAhead = 32;
      const bool byName = m_fileSortColumn == 0;
      order = sorting::OrderByText(
          count,
          [&](std::size_t i) {
            if (i + kAhead < count) {
              const FileStore::Record& ahead = store.Records[i + kAhead];
              __builtin_prefetch((byName ? store.NameOf(ahead) : store.PathOf(ahead)).data());
            }
            const FileStore::Record& record = store.Records[i];
            return byName ? store.NameOf(record) : store.PathOf(record);
          },
          descending);
      break;
    }
    case 2: {
      std::vector<sorting::Count> keys(count);
      for (std::size_t i = 0; i < count; ++i) {
        const FileStore::Record& record = store.Records[i];
        keys[i] = {(record.Flags & FileStore::kFolder) == 0, record.Size};
      }
      order = sorting::OrderByCount(keys, descending);
      break;
    }
    default:
      break;  // every row equal: the order stays
  }
  if (!order.empty()) {
    // One pass in order out, one pass in order back: each record is fetched from one place.
    std::vector<FileStore::Record> before(count);
    for (std::size_t i = 0; i < count; ++i)
      before[i] = store.Records[i];
    for (std::size_t i = 0; i < count; ++i)
      store.Records[i] = before[order[i]];
  }
  if (m_observer) m_observer->EndReset(ListKind::File);
}

// --- Totals -----------------------------------------------------------------------------------

ListsModel::SelectionTotals ListsModel::SelectedTotals() const {
  SelectionTotals totals;
  for (const auto& row : m_results) {
    if (!row.Selected) continue;
    totals.Rows = SaturatingAdd(totals.Rows, 1);
    if (!row.Measured) continue;  // "未解析" parses as a failure that adds 0
    totals.Bytes = SaturatingAdd(totals.Bytes, row.TotalSize);
    totals.Files = SaturatingAdd(totals.Files, row.FileCount);
    totals.Folders = SaturatingAdd(totals.Folders, row.FolderCount);
    totals.Unreadable = SaturatingAdd(totals.Unreadable, row.UnreadableFolders);
  }
  return totals;
}

std::array<std::string, 4> ListsModel::TotalsTexts(const SelectionTotals& totals) {
  return {CountText(totals.Rows) + " lists", CountText(totals.Bytes) + " byte",
          CountText(totals.Files) + " files", CountText(totals.Folders) + " forders"};
}

void ListsModel::lvwResultChange() {
  m_totalsStale = false;
  m_totalsShown = Clock::now();
  const std::array<std::string, 4> texts = TotalsTexts(SelectedTotals());
  StatusBar& status = m_frontend.Status();
  for (std::size_t i = 0; i < texts.size(); ++i)
    status.SetPanelText(static_cast<StatusPanel>(i), texts[i]);
}

// --- File view --------------------------------------------------------------------------------

void ListsModel::PublishFileRows() {
  FileStore& store = *m_files;
  const std::size_t staged = store.Records.size() - store.Published;
  if (staged == 0) return;
  if (m_observer) m_observer->BeginAppend(ListKind::File, store.Published, staged);
  store.Published = store.Records.size();
  if (m_observer) m_observer->EndAppend(ListKind::File);
}

void ListsModel::tmiViewFileViewFlagClick() {
  ClearFileList();
  const std::uint64_t generation = m_fileGeneration;
  ProgressScope progress(m_frontend.CreateProgress());
  // The rows selected now, by id: the walk survives rows being removed or reordered meanwhile.
  std::vector<std::pair<RowId, std::size_t>> selected;
  for (std::size_t i = 0; i < m_results.size(); ++i) {
    if (m_results[i].Selected) selected.emplace_back(m_results[i].Id, i);
  }
  m_fileViewReachedEnd = false;
  bool reachedEnd = true;
  Walkers walkers(1);
  bool firstUpdate = true;
  Clock::time_point lastPump{};
  for (const auto& [id, index] : selected) {
    const auto where = FindResultRow(id, index);
    if (!where) continue;
    const std::string location = m_results[*where].Location;
    const RootLink link = LinkOf(m_results[*where]);
    const auto add = [&](const TreeEntry& entry) {
      m_files->Append(entry.Path, entry.IsFolder, entry.Size);
      const bool pump = firstUpdate || Clock::now() - lastPump >= kFileViewPumpInterval;
      firstUpdate = false;
      // Whatever runs during the pump sees every row added so far.
      if (pump) PublishFileRows();
      const bool goOn = progress->UpdateProgress(kProgressMainText, entry.Path, pump, pump);
      // Counted from the pump's end: a slow pump must not make every update pump.
      if (pump) lastPump = Clock::now();
      return goOn && m_fileGeneration == generation;
    };
    const bool finished = walkers.List(location, link, add).has_value();
    if (!finished) {
      reachedEnd = false;
      break;
    }
  }
  m_fileViewReachedEnd = reachedEnd;
  if (m_fileGeneration == generation) PublishFileRows();
}

// --- Zero-size selection and deletion ---------------------------------------------------------

void ListsModel::tmiEditZeroForderSelClick() {
  bool changed = false;
  for (auto& row : m_results) {
    // A folder that could not be read measures 0 without being empty; it is never offered for
    // deletion as an empty one.
    const bool selected = row.Measured && row.TotalSize == 0 && row.UnreadableFolders == 0;
    changed |= row.Selected != selected;
    row.Selected = selected;
  }
  if (!changed) return;
  if (m_observer) m_observer->SelectionChanged(ListKind::Result);
  lvwResultChange();
}

void ListsModel::tmiEditForderDelClick() {
  Shell& shell = m_frontend.ShellServices();
  if (!shell.AskYesNo(kDeleteQuestion, kDeleteCaption)) return;
  // Read the selection after the question: the list may have changed while it was open.
  std::vector<std::string> paths;
  std::vector<RowId> handed;
  for (const auto& row : m_results) {
    if (!row.Selected || IsRootLocation(row.Location)) continue;
    paths.push_back(row.Location);
    handed.push_back(row.Id);
  }
  if (paths.empty()) return;
  std::reverse(paths.begin(), paths.end());
  DeleteToRecycleBin(paths);
  // The shell's outcome is not reported, so the disk is asked: a row goes only when nothing is
  // left where its folder was.
  std::vector<RowId> gone;
  for (std::size_t i = 0; i < handed.size(); ++i) {
    if (!EntryExists(paths[paths.size() - 1 - i])) gone.push_back(handed[i]);
  }
  RemoveResultRows(gone);
  SortResultList();
}

void ListsModel::tmiEditForderZeroDelClick() {
  tmiEditZeroForderSelClick();
  tmiEditForderDelClick();
}

void ListsModel::DeleteToRecycleBin(const std::vector<std::string>& paths) {
  m_frontend.ShellServices().DeleteReversibly(paths);
}

}  // namespace quillet
