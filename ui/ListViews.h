// What the two programs' list views share beyond the layout tables: the columns' widths in this
// desktop's font, and the selection handed between the row model and a view that keeps its own.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "lists/Lists.h"
#include "ui/Layouts.h"

namespace quillet {

// The text a count column must show whole: twelve digits with their commas.
inline constexpr std::string_view kWidestCount = "999,999,999,999";
// What a cell adds around its text, and the narrowest the column that takes the remaining
// width gets, in design pixels (96 dpi).
inline constexpr int kCellMargins = 14;
inline constexpr int kRemainingMinimum = 40;

// The widths of a list's columns at start, in pixels of dpi: each as designed, a count column
// wider where kWidestCount and the cell margins do not fit (the designed widths assume a narrower
// face than most desktops have); the column that takes the remaining width at its minimum.
// widestCount: kWidestCount's width in the list's font, in pixels of dpi.
std::vector<int> ColumnWidths(std::span<const layout::Column> columns, int widestCount,
                              int dpi = 96);

// How much wider than designed, in pixels of dpi, the count columns of widths are. The window
// grows by as much, so the location column keeps the room the design gives it.
int Widening(std::span<const layout::Column> columns, std::span<const int> widths, int dpi = 96);

// The main window's client width in design pixels: the design's, wider by widening, but no wider
// than room (the screen's), and never narrower than the design.
int MainClientWidth(int widening, int room);

// Hands the selection between the model and a view that keeps a selection of its own, as both
// programs' list views do, without echo: what the model shows in a view is not taken back from
// the view's notifications, and what the user selected in a view is not written into it again.
class SelectionHandover {
 public:
  // A run of adjacent selected rows, first and last included.
  struct Run {
    std::size_t First = 0;
    std::size_t Last = 0;
    bool operator==(const Run&) const = default;
  };
  // Replaces a view's selection by runs (in list order; none: nothing selected).
  using ViewWriter = std::function<void(ListKind list, std::span<const Run> runs)>;

  explicit SelectionHandover(ViewWriter writeView);

  // Between Hold and Release the view's notifications are the program's own doing (rows being
  // reset, appended or removed), not the user's. They nest.
  void Hold(ListKind list) { ++m_held[Slot(list)]; }
  void Release(ListKind list) { --m_held[Slot(list)]; }

  // The model's selection of list changed: shows it in the view, unless it came from the view.
  void ShowSelection(const ListsModel& model, ListKind list);
  // The user changed rows first .. last of the view of list: written into model, unless the
  // change is the program's own.
  void TakeSelection(ListsModel& model, ListKind list, std::size_t first, std::size_t last,
                     bool selected);

 private:
  static std::size_t Slot(ListKind list) { return list == ListKind::Result ? 0 : 1; }

  ViewWriter m_writeView;
  std::array<int, 2> m_held{};
};

}  // namespace quillet
