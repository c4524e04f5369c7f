// The row model: its rows, selection, totals and the commands on them. Everything here runs on
// the one user-interface thread; the only ways out are the Frontend's interfaces (progress, status
// bar) and the observer.
#include "lists/Lists.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "lists/FileStore.h"
#include "scan/Gloval.h"
#include "scan/Text.h"

namespace quillet {

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
  return m_filesPublished;
}

FileRow ListsModel::FileRowAt(std::size_t index, bool withPath) const {
  return m_files->RowAt(index, withPath);
}

std::string ListsModel::FilePathAt(std::size_t index) const {
  return m_files->PathAt(index);
}

std::optional<std::size_t> ListsModel::FileParentAt(std::size_t index) const {
  return m_files->ParentAt(index);
}

std::size_t ListsModel::RowCount(ListKind list) const {
  return list == ListKind::Result ? ResultRowCount() : FileRowCount();
}

std::string ListsModel::CellText(ListKind list, std::size_t index, int column) const {
  const auto k = static_cast<std::size_t>(column);
  if (list == ListKind::Result) {
    return k < kResultColumns.size() ? kResultColumns[k].CellText(m_results[index]) : std::string();
  }
  if (k >= kFileColumns.size()) return std::string();
  return kFileColumns[k].CellText(m_files->RowAt(index, column == kFileLocationColumn));
}

int ListsModel::ImageIndex(ListKind list, std::size_t index) const {
  if (list == ListKind::Result) return m_results[index].ImageIndex();
  return m_files->IsFolder(index) ? kImageFolder : kImageFile;
}

// --- Selection --------------------------------------------------------------------------------

bool ListsModel::IsSelected(ListKind list, std::size_t index) const {
  if (list == ListKind::Result) return m_results[index].Selected;
  return m_files->IsSelected(index);
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
      changed |= m_files->SetSelected(i, selected);
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

ResultRow ListsModel::NewResultRow(std::string_view path) {
  ResultRow row;
  row.Id = m_nextId++;
  row.Location = WithoutTrailingSeparator(path);
  row.Caption = ExtractLastName(row.Location);
  // The root "/" has no last name; its row shows the root itself rather than nothing.
  if (row.Caption.empty()) row.Caption = row.Location;
  return row;
}

RowId ListsModel::AddResultList(std::string_view path) {
  ResultRow row = NewResultRow(path);
  const std::size_t index = m_results.size();
  if (m_observer) m_observer->BeginAppend(ListKind::Result, index, 1);
  m_results.push_back(std::move(row));
  if (m_observer) m_observer->EndAppend(ListKind::Result);
  return m_results.back().Id;
}

void ListsModel::ImportRows(const std::shared_ptr<const ImportedTree>& scan) {
  // A file with several names counts on disk once, in the first row that holds it.
  ImportedTree::SeenLinks seen;
  for (const ImportedTree::Index node : scan->TopFolders()) {
    const RowId id = AddResultList(scan->PathOf(node, kPathSeparator));
    const std::optional<std::size_t> index = FindResultRow(id, m_results.size() - 1);
    ResultRow& row = m_results[*index];
    row.Export = scan;
    row.ExportNode = node;
    FolderStatistics statistics = scan->Statistics(node);
    statistics.DiskSize = scan->DiskSize(node, seen);
    SetStatistics(*index, statistics);
  }
}

void ListsModel::FormCreate(std::optional<std::string_view> firstArgument) {
  // The arguments end at the first empty one; searched, "" would list the drive's root.
  if (!firstArgument || firstArgument->empty()) return;
  EntryList folders;
  CollectSubfolders(*firstArgument, folders);
  if (folders.empty()) return;
  // One notification for all the rows: a view told of each row alone does its work per row.
  const std::size_t first = m_results.size();
  if (m_observer) m_observer->BeginAppend(ListKind::Result, first, folders.size());
  for (const auto& folder : folders) {
    m_results.push_back(NewResultRow(folder));
    m_results.back().Listed = true;
  }
  if (m_observer) m_observer->EndAppend(ListKind::Result);
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
  m_filesPublished = 0;
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

void ListsModel::SetStatistics(std::size_t index, const FolderStatistics& statistics) {
  ResultRow& row = m_results[index];
  row.Measured = true;
  row.TotalSize = statistics.TotalSize;
  row.FileCount = statistics.FileCount;
  row.FolderCount = statistics.FolderCount;
  row.UnreadableFolders = statistics.UnreadableFolders;
  row.DiskSize = statistics.DiskSize;
  row.ExcludedEntries = statistics.ExcludedEntries;
  if (m_observer) m_observer->RowChanged(ListKind::Result, index);
  // A changed row is a change of the list; only a selected one moves the totals.
  if (!row.Selected) return;
  if (m_runsMeasuring > 0) {
    m_totalsStale = true;
  } else {
    lvwResultChange();
  }
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
    totals.DiskBytes = SaturatingAdd(totals.DiskBytes, row.DiskSize);
    totals.Excluded = SaturatingAdd(totals.Excluded, row.ExcludedEntries);
  }
  return totals;
}

std::array<std::string, 4> ListsModel::TotalsTexts(const SelectionTotals& totals) {
  return {CountText(totals.Rows) + " lists",
          CountText(totals.Bytes) + " byte (" + CountText(totals.DiskBytes) + " on disk)",
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

ListsModel::Deletion ListsModel::SelectedForDeletion() const {
  Deletion deletion;
  for (auto row = m_results.rbegin(); row != m_results.rend(); ++row) {
    if (!row->Selected || IsRootLocation(row->Location)) continue;
    deletion.Paths.push_back(row->Location);
    deletion.Rows.push_back(row->Id);
  }
  return deletion;
}

void ListsModel::DropResultRows(const std::vector<RowId>& ids) {
  RemoveResultRows(ids);
  SortResultList();
}

}  // namespace quillet
