// The row model of the result list and the file list, and every command that acts on them.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lists/Columns.h"
#include "lists/Frontend.h"
#include "lists/Rows.h"
#include "scan/Engine.h"
#include "scan/Text.h"

namespace quillet {

class FileStore;

// Texts the commands show.
inline constexpr std::string_view kProgressMainText = "内部で処理をしています。キャンセルで中止";
inline constexpr std::string_view kTextRunStarted = "解析開始";
inline constexpr std::string_view kTextRunEnded = "解析終了";

// How often a file view lets its progress dialog repaint and pump messages: often enough to
// feel live, rarely enough that a million rows are not slowed down by it.
inline constexpr std::chrono::milliseconds kFileViewPumpInterval{30};

// The statistics written into a result row by an analysis run: one pass over its tree.
FolderStatistics AnalyseRow(std::string_view location);

// How a row's own folder is opened: a row that a listing found is measured only while it is still
// a folder (a link put in its place counts as gone); a folder the user named follows its link.
RootLink LinkOf(const ResultRow& row);

// Receives the entries of a listing run: the row they lie below and the entry, whose texts are
// valid during the call only. False stops the run, as Cancel does.
using RowEntryVisitor = std::function<bool(RowId row, const TreeEntry& entry)>;

// True when location names a root: "/", a drive ("E:", "E:\"), a share ("\\server\share") or a
// path that climbs back to one ("/..", "C:\.."). Such a folder is never handed to the delete.
bool IsRootLocation(std::string_view location, char separator = kPathSeparator);

// True unless the file system says nothing is at path any more. A link counts as itself and is
// never followed; a path that cannot be queried (access denied on the way) counts as there.
bool EntryExists(std::string_view path);

// The model. It is the single store of both lists (rows, order, selection) and of their sort
// state; views adapt to it through ListObserver. It talks to the outside only through the
// Frontend given at construction, which must outlive it.
//
// Re-entrancy: the two loops (tmiFileRunClick, tmiViewFileViewFlagClick) call UpdateProgress,
// which may run any command of this model before it returns, the loops themselves included.
// - An analysis run measures the rows present when it starts, in their order then, each found
//   again by its RowId after its update (wherever a sort moved it); a row removed meanwhile is
//   skipped, a row added meanwhile waits for the next run. A run that reaches the end of its rows
//   writes "解析終了". The sub text counts those rows (" 3/12").
// - A file view lists the rows selected when it starts, in list order; a row removed meanwhile
//   is skipped when its turn comes. It is superseded when the file list is cleared or another
//   file view starts: it then stops at its next update, as on Cancel, adding nothing more.
// - A delete drops rows by RowId, so it removes exactly the rows whose folders it handed to the
//   shell, whatever happened to the list while the question or the shell was open.
class ListsModel {
 public:
  explicit ListsModel(Frontend& frontend);
  ~ListsModel();
  ListsModel(const ListsModel&) = delete;
  ListsModel& operator=(const ListsModel&) = delete;

  // The view to notify, or none. Not owned.
  void SetObserver(ListObserver* observer) { m_observer = observer; }

  // What the analysis runs and file views started from now on leave out (-x, --exclude).
  void SetWalkOptions(WalkOptions options) { m_walkOptions = std::move(options); }
  const WalkOptions& CurrentWalkOptions() const { return m_walkOptions; }

  // --- Reading the rows ---------------------------------------------------------------------
  std::size_t ResultRowCount() const { return m_results.size(); }
  const ResultRow& ResultRowAt(std::size_t index) const { return m_results[index]; }
  // The row's index now; hint, where the row is likely to be, is tried first.
  std::optional<std::size_t> FindResultRow(RowId id, std::size_t hint = 0) const;
  std::size_t FileRowCount() const;
  // The row with its path, built now from the entry's parents; without it (Path empty) when
  // withPath is false.
  FileRow FileRowAt(std::size_t index, bool withPath = true) const;
  std::string FilePathAt(std::size_t index) const;
  // The index of the folder row that holds the row, in list order; none at the top of a
  // listing.
  std::optional<std::size_t> FileParentAt(std::size_t index) const;
  std::size_t RowCount(ListKind list) const;
  // The text of column k of a row (kResultColumns[k], kFileColumns[k]), formatted now; empty
  // past the last column.
  std::string CellText(ListKind list, std::size_t index, int column) const;
  int ImageIndex(ListKind list, std::size_t index) const;

  // --- Selection and the walks, in list order -------------------------------------------------
  bool IsSelected(ListKind list, std::size_t index) const;
  // Raises the result list's change (lvwResultChange) when the result selection changed.
  void SetSelected(ListKind list, std::size_t index, bool selected);
  // Sets rows first .. last (inclusive) at once; one change for the whole range.
  void SetSelectedRange(ListKind list, std::size_t first, std::size_t last, bool selected);
  void SelectAll(ListKind list, bool selected);
  std::optional<std::size_t> FirstSelected(ListKind list) const;
  std::optional<std::size_t> NextSelected(ListKind list, std::size_t after) const;

  // --- Rows in and out ------------------------------------------------------------------------
  // Appends an unmeasured, unselected row for folder (one trailing separator dropped).
  // Returns its id. Never sorts, never checks for duplicates.
  RowId AddResultList(std::string_view path);
  // The start-up population: one row per folder directly inside firstArgument, in directory
  // order. No argument, an empty one, or one that is not a searchable folder adds nothing.
  void FormCreate(std::optional<std::string_view> firstArgument);
  // One measured row per folder at the top of an imported scan, in its order, its numbers the
  // scan's; its file view lists the scan's entries. An analysis run measures such a row on this
  // disk where its folder is here, and leaves it as it is where it is not.
  void ImportRows(const std::shared_ptr<const ImportedTree>& scan);
  // Removes the selected result rows, then re-sorts the rest. The file list stays.
  void tmiEditDelListClick();
  // Removes every row of both lists, then re-sorts (a no-op on empty lists, kept for order).
  void tmiEditAllDelListClick();

  // --- Analysis run ---------------------------------------------------------------------------
  // Writes statistics measured for the row at index into it, as an analysis run does: the row
  // becomes measured, its view is told, and the totals follow when it is selected.
  void SetStatistics(std::size_t index, const FolderStatistics& statistics);
  // Measures every result row with one progress dialog. "解析開始" in panel 4 first; "解析終了"
  // only when every row was visited. An update answering stop ends the run before its row.
  // The sub text is " 3/12 解析中... [Photos]": row number, row count, caption.
  void tmiFileRunClick();
  // The analysis run and the file view in one walk per row, for a front end that hands the
  // listing on instead of keeping it: every result row is measured as tmiFileRunClick measures
  // it (same panels, same update before each row), its numbers summed from the walk that hands
  // each entry below it to visit, in the file view's order, with the file view's update after
  // each entry. On a tree that does not change the numbers equal AnalyseRow's. The file list is
  // not touched. A row whose walk was stopped keeps its previous cells; RunReachedEnd then says
  // false.
  void MeasureAndList(const RowEntryVisitor& visit);
  // MeasureAndList with the listing kept in the file list, in the file view's order, for a front
  // end that holds it rather than handing it on; the file list holds nothing else.
  void MeasureAndKeepList();
  // Keeps in the file list, of the listing MeasureAndKeepList made, only the entries of the rows
  // that are selected and measured now, in their order: a row whose walk was stopped shows no
  // numbers, so none of its entries are kept either.
  void KeepFileRowsOfMeasuredSelection();

  // --- Sorting --------------------------------------------------------------------------------
  // Header click: column := clicked, direction flips (so the first click sorts descending).
  void lvwResultColumnClick(int column);
  void lvwFileColumnClick(int column);
  // Negative when a goes first, positive when b does, 0 when equal, under the list's state.
  // Numbers compare as numbers; an unmeasured or folder cell compares by its text.
  int lvwResultCompare(const ResultRow& a, const ResultRow& b) const;
  int lvwFileCompare(std::size_t a, std::size_t b) const;
  int ResultSortColumn() const { return m_resultSortColumn; }
  bool ResultSortDescending() const { return m_resultSortDescending; }
  int FileSortColumn() const { return m_fileSortColumn; }
  bool FileSortDescending() const { return m_fileSortDescending; }
  // Sets a list's state without sorting (for a front end that orders by argument).
  void SetResultSort(int column, bool descending);
  void SetFileSort(int column, bool descending);
  // Sorts a whole list into the order its comparator defines under the current state, rows
  // the comparator finds equal kept in their order. Keys are made once per row, so a million
  // rows take a fraction of a second.
  void SortResultList();
  void SortFileList();

  // True when the last analysis run visited every row (no Cancel, no stop), and when the last
  // file view listed every selected row to its end; true before any.
  bool RunReachedEnd() const { return m_runReachedEnd; }
  bool FileViewReachedEnd() const { return m_fileViewReachedEnd; }

  // --- Totals ---------------------------------------------------------------------------------
  // The sums over the selected result rows; unmeasured rows count as rows only. Each sum stops
  // at INT64_MAX rather than wrap, so no total ever shows a negative number.
  struct SelectionTotals {
    std::int64_t Rows = 0;
    std::int64_t Bytes = 0;
    std::int64_t Files = 0;
    std::int64_t Folders = 0;
    std::int64_t Unreadable = 0;  // folders that could not be searched (no panel shows it)
    std::int64_t DiskBytes = 0;   // what the rows occupy on disk
    std::int64_t Excluded = 0;    // entries the exclude patterns left out (no panel shows it)
  };
  SelectionTotals SelectedTotals() const;
  // The texts of the rows, bytes, files and folders panels for totals.
  static std::array<std::string, 4> TotalsTexts(const SelectionTotals& totals);
  // Writes the rows, bytes, files and folders panels: " lists", " byte", " files", " forders";
  // the bytes panel says what the rows occupy on disk after their bytes: "3,500 byte (8,192 on
  // disk)".
  void lvwResultChange();

  // --- File view ------------------------------------------------------------------------------
  // Refills the file list with every entry below the selected result rows, depth-first
  // pre-order, with one update per row. The row stays when its update answers stop.
  // Updates repaint and pump at most every kFileViewPumpInterval (and always at the first
  // update); the others only read the Cancel answer, so a Cancel processed by a pumping update
  // stops the listing at the very next update.
  void tmiViewFileViewFlagClick();

  // --- Zero-size selection and deletion ---------------------------------------------------------
  // Selects exactly the measured rows of size 0 whose every folder could be read.
  void tmiEditZeroForderSelClick();
  // The folders a delete hands to the shell: those of the selected rows in reverse list order,
  // roots left out (a root is never handed over; its row stays, still selected). Rows[i] is the
  // row of Paths[i].
  struct Deletion {
    std::vector<std::string> Paths;
    std::vector<RowId> Rows;
  };
  Deletion SelectedForDeletion() const;
  // Removes the rows of ids found (by id, wherever they are now), then re-sorts the rest.
  void DropResultRows(const std::vector<RowId>& ids);

 private:
  // An unmeasured, unselected row for folder with a new id, not yet in the list.
  ResultRow NewResultRow(std::string_view path);
  // Measures one row: its statistics, or nothing when an update answered stop.
  using RowMeasure = std::function<std::optional<FolderStatistics>(
      RowId row, const std::string& location, RootLink link, ProgressSink& progress,
      const std::string& subText)>;
  using Clock = std::chrono::steady_clock;

  // The loop of both runs: panel 4, one progress dialog, the rows of the start by id, the
  // update before each row, the statistics written into the row wherever it is by then.
  void MeasureRows(const RowMeasure& measure);

  RowId AppendResultRow(std::string_view path);
  void RemoveResultRows(const std::vector<RowId>& ids);
  void ClearFileList();
  void AppendFileRow(const TreeEntry& entry);
  void PublishFileRows();
  void NotifyResultSelection();

  Frontend& m_frontend;
  ListObserver* m_observer = nullptr;
  std::deque<ResultRow> m_results;
  RowId m_nextId = 1;
  std::unique_ptr<FileStore> m_files;
  std::size_t m_filesPublished = 0;  // the file rows the views were told of; later ones wait
  // Bumped whenever the file list is emptied, so a file view sees that it was superseded.
  std::uint64_t m_fileGeneration = 0;
  int m_resultSortColumn = 0;
  bool m_resultSortDescending = false;
  int m_fileSortColumn = 0;
  bool m_fileSortDescending = false;
  WalkOptions m_walkOptions;
  bool m_runReachedEnd = true;
  bool m_fileViewReachedEnd = true;
  // Analysis runs under way (one may start from inside another's update), and whether the
  // status bar's totals wait for the next pump meanwhile.
  int m_runsMeasuring = 0;
  bool m_totalsStale = false;
  Clock::time_point m_totalsShown{};
};

}  // namespace quillet
