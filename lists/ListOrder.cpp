// The two lists' orders: header clicks, the column comparators and the sorts by key.
#include "lists/Lists.h"

#include <numeric>

#include "lists/FileStore.h"
#include "lists/Sorting.h"
#include "scan/Text.h"

namespace quillet {

namespace {

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

}  // namespace quillet
