#include "ui/ListViews.h"

#include <algorithm>

namespace quillet {

std::vector<int> ColumnWidths(std::span<const layout::Column> columns, int widestCount, int dpi) {
  std::vector<int> widths;
  for (const layout::Column& column : columns) {
    if (column.Width == layout::kRemainingWidth) {
      widths.push_back(layout::ScaleFromDesign(kRemainingMinimum, dpi));
      continue;
    }
    const int designed = layout::ScaleFromDesign(column.Width, dpi);
    const bool count = column.Alignment == layout::Align::Right;
    widths.push_back(
        count ? std::max(designed, widestCount + layout::ScaleFromDesign(kCellMargins, dpi))
              : designed);
  }
  return widths;
}

int Widening(std::span<const layout::Column> columns, std::span<const int> widths, int dpi) {
  int widening = 0;
  for (std::size_t i = 0; i < columns.size() && i < widths.size(); ++i) {
    if (columns[i].Width == layout::kRemainingWidth) continue;
    widening += std::max(0, widths[i] - layout::ScaleFromDesign(columns[i].Width, dpi));
  }
  return widening;
}

int MainClientWidth(int widening, int room) {
  const int designed = layout::kMainWindow.ClientWidth;
  return std::max(designed, std::min(designed + widening, room));
}

SelectionHandover::SelectionHandover(ViewWriter writeView) : m_writeView(std::move(writeView)) {}

void SelectionHandover::ShowSelection(const ListsModel& model, ListKind list) {
  if (m_held[Slot(list)] != 0) return;  // the view itself made this change
  std::vector<Run> runs;
  for (auto row = model.FirstSelected(list); row; row = model.NextSelected(list, *row)) {
    if (!runs.empty() && runs.back().Last + 1 == *row) {
      runs.back().Last = *row;
    } else {
      runs.push_back({*row, *row});
    }
  }
  Hold(list);
  m_writeView(list, runs);
  Release(list);
}

void SelectionHandover::TakeSelection(ListsModel& model, ListKind list, std::size_t first,
                                      std::size_t last, bool selected) {
  if (m_held[Slot(list)] != 0 || last < first) return;
  Hold(list);
  model.SetSelectedRange(list, first, last, selected);
  Release(list);
}

}  // namespace quillet
