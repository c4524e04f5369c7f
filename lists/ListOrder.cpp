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

// A number cell that may show its column's word instead ("未解析", "フォルダ"). Numbers compare
// raw; a word goes after every number (every count text starts with a digit or '-', below the
// first byte of either word), and equals itself: an ordering, whatever mix of rows a list holds.
int CompareCountCells(CountCell a, CountCell b) {
  if (a.HasNumber && b.HasNumber) return CompareNumbers(a.Number, b.Number);
  return CompareNumbers(a.HasNumber ? 0 : 1, b.HasNumber ? 0 : 1);
}

template <typename Row, std::size_t N>
int CompareRows(const std::array<ListColumn<Row>, N>& columns, const Row& a, const Row& b,
                int column, bool descending) {
  // A column without cells shows empty text in every row: all rows are equal.
  if (column < 0 || static_cast<std::size_t>(column) >= N) return 0;
  const ListColumn<Row>& shown = columns[static_cast<std::size_t>(column)];
  const int result = shown.Text ? CompareText(shown.Text(a), shown.Text(b))
                                : CompareCountCells(shown.Count(a), shown.Count(b));
  return descending ? -result : result;
}

// The order of count rows under a list's column, from one key per row; rowAt(i) gives row i.
// Empty for a column without cells: every row equal, the order stays.
template <typename Row, std::size_t N, typename RowAt>
std::vector<std::size_t> OrderOf(const std::array<ListColumn<Row>, N>& columns, int column,
                                 std::size_t count, const RowAt& rowAt, bool descending) {
  if (column < 0 || static_cast<std::size_t>(column) >= N) return {};
  const ListColumn<Row>& shown = columns[static_cast<std::size_t>(column)];
  if (shown.Text) {
    return sorting::OrderByText(
        count, [&](std::size_t i) { return shown.Text(rowAt(i)); }, descending);
  }
  std::vector<sorting::Count> keys(count);
  for (std::size_t i = 0; i < count; ++i) {
    const CountCell cell = shown.Count(rowAt(i));
    keys[i] = {cell.HasNumber, cell.Number};
  }
  return sorting::OrderByCount(keys, descending);
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
  return CompareRows(kResultColumns, a, b, m_resultSortColumn, m_resultSortDescending);
}

int ListsModel::lvwFileCompare(std::size_t a, std::size_t b) const {
  return CompareRows(kFileColumns, FileRowAt(a), FileRowAt(b), m_fileSortColumn,
                     m_fileSortDescending);
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
  const std::vector<std::size_t> order = OrderOf(
      kResultColumns, m_resultSortColumn, m_results.size(),
      [this](std::size_t i) -> const ResultRow& { return m_results[i]; }, m_resultSortDescending);
  sorting::Reorder(m_results, order);
  if (m_observer) m_observer->EndReset(ListKind::Result);
}

void ListsModel::SortFileList() {
  PublishFileRows();
  if (m_observer) m_observer->BeginReset(ListKind::File);
  FileStore& store = *m_files;
  const std::size_t count = store.Count();
  std::vector<std::size_t> order;
  if (m_fileSortColumn == kFileLocationColumn) {
    // Every path built once, side by side, rather than once per comparison.
    const FileStore::PathTable paths = store.Paths();
    order = sorting::OrderByText(
        count, [&paths](std::size_t i) { return paths.Text(i); }, m_fileSortDescending);
  } else {
    // The names lie in the store's own chunks, and no other column needs a path.
    order = OrderOf(
        kFileColumns, m_fileSortColumn, count,
        [&store](std::size_t i) { return store.RowAt(i, false); }, m_fileSortDescending);
  }
  if (!order.empty()) store.Reorder(order);
  if (m_observer) m_observer->EndReset(ListKind::File);
}

}  // namespace quillet
