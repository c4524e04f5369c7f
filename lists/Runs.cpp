// The model's long loops: the analysis run, the one-walk listing and the file view. Each shows
// one progress dialog and calls its update while it walks, which may run any other command.
#include "lists/Lists.h"

#include <chrono>
#include <unordered_set>

#include "lists/FileStore.h"

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

}  // namespace

FolderStatistics AnalyseRow(std::string_view location) {
  return MeasureFolder(location);
}

RootLink LinkOf(const ResultRow& row) {
  return row.Listed ? RootLink::Refuse : RootLink::Follow;
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
    const std::string location = m_results[*where].Location;
    // A row of an imported scan whose folder is not here keeps the scan's numbers.
    if (m_results[*where].Export && !EntryExists(location)) continue;
    const std::optional<FolderStatistics> statistics =
        measure(rows[index], location, LinkOf(m_results[*where]), *progress, subText);
    if (!statistics) {
      visitedAll = false;
      break;
    }
    where = FindResultRow(rows[index], *where);  // the updates may have moved or removed it
    if (!where) continue;
    m_results[*where].Export.reset();
    m_results[*where].ExportNode = ImportedTree::kNone;
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
  Walkers walkers(0, m_walkOptions);
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
  std::optional<RowId> listingRow;
  MeasureAndList([this, generation, &listingRow](RowId row, const TreeEntry& entry) {
    // A file view or a clearing during an update replaces this listing.
    if (m_fileGeneration != generation) return true;
    FileStore& store = *m_files;
    if (row != listingRow) {
      store.BeginRow(row);
      listingRow = row;
    }
    // A full store ends the listing, as a stop does: the row shows no numbers then.
    return store.Append(entry.Path, entry.IsFolder, entry.Size, entry.DiskSize);
  });
  if (m_fileGeneration == generation) PublishFileRows();
}

void ListsModel::KeepFileRowsOfMeasuredSelection() {
  // The rows to keep, found once: looking each listed row up in turn would read every row per row.
  std::unordered_set<RowId> keep;
  for (const ResultRow& row : m_results) {
    if (row.Selected && row.Measured) keep.insert(row.Id);
  }
  if (m_observer) m_observer->BeginReset(ListKind::File);
  m_files->KeepRows(keep);
  m_filesPublished = m_files->Count();
  if (m_observer) m_observer->EndReset(ListKind::File);
}

void ListsModel::MeasureAndList(const RowEntryVisitor& visit) {
  Walkers walkers(1, m_walkOptions);
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

// --- File view --------------------------------------------------------------------------------

void ListsModel::PublishFileRows() {
  const std::size_t staged = m_files->Count() - m_filesPublished;
  if (staged == 0) return;
  if (m_observer) m_observer->BeginAppend(ListKind::File, m_filesPublished, staged);
  m_filesPublished = m_files->Count();
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
  Walkers walkers(1, m_walkOptions);
  bool firstUpdate = true;
  Clock::time_point lastPump{};
  for (const auto& [id, index] : selected) {
    const auto where = FindResultRow(id, index);
    if (!where) continue;
    const std::string location = m_results[*where].Location;
    const RootLink link = LinkOf(m_results[*where]);
    // Held here: an update may remove the row, and with it its hold on the scan.
    const std::shared_ptr<const ImportedTree> scan = m_results[*where].Export;
    const ImportedTree::Index node = m_results[*where].ExportNode;
    m_files->BeginListing();
    const auto add = [&](const TreeEntry& entry) {
      // A full store ends the file view, as Cancel does.
      if (!m_files->Append(entry.Path, entry.IsFolder, entry.Size, entry.DiskSize)) return false;
      const bool pump = firstUpdate || Clock::now() - lastPump >= kFileViewPumpInterval;
      firstUpdate = false;
      // Whatever runs during the pump sees every row added so far.
      if (pump) PublishFileRows();
      const bool goOn = progress->UpdateProgress(kProgressMainText, entry.Path, pump, pump);
      // Counted from the pump's end: a slow pump must not make every update pump.
      if (pump) lastPump = Clock::now();
      return goOn && m_fileGeneration == generation;
    };
    const bool finished = scan ? scan->List(node, kPathSeparator, add)
                               : walkers.List(location, link, add).has_value();
    if (!finished) {
      reachedEnd = false;
      break;
    }
  }
  m_fileViewReachedEnd = reachedEnd;
  if (m_fileGeneration == generation) PublishFileRows();
}

}  // namespace quillet
