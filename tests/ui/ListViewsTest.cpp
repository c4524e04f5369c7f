// The list views' shared rules: column widths in the desktop's font, and the selection handed
// between the model and a view without echo.
#include "ui/ListViews.h"

#include <gtest/gtest.h>

#include <vector>

#include "../lists/TestFrontend.h"

namespace quillet {
namespace {

TEST(ColumnWidths, CountColumnsWidenForTwelveDigitsAndTheWindowByAsMuch) {
  using layout::Align;
  const std::vector<layout::Column> columns = {{"name", 100, Align::Left},
                                               {"location", layout::kRemainingWidth, Align::Left},
                                               {"bytes", 60, Align::Right},
                                               {"files", 120, Align::Right}};
  // A narrow face: everything as designed, the remaining column at its minimum.
  EXPECT_EQ(ColumnWidths(columns, 40), (std::vector<int>{100, 40, 60, 120}));
  // A wide face widens only the count column it does not fit, text plus margins.
  const std::vector<int> wide = ColumnWidths(columns, 80);
  EXPECT_EQ(wide, (std::vector<int>{100, 40, 94, 120}));
  EXPECT_EQ(Widening(columns, wide), 34);
  // At 144 dpi the design and the margins scale, the measured text does not.
  const std::vector<int> scaled = ColumnWidths(columns, 120, 144);
  EXPECT_EQ(scaled, (std::vector<int>{150, 60, 141, 180}));
  EXPECT_EQ(Widening(columns, scaled, 144), 51);

  const int designed = layout::kMainWindow.ClientWidth;
  EXPECT_EQ(MainClientWidth(0, designed + 500), designed);
  EXPECT_EQ(MainClientWidth(50, designed + 500), designed + 50);
  EXPECT_EQ(MainClientWidth(50, designed + 10), designed + 10);  // within the screen
  EXPECT_EQ(MainClientWidth(50, designed - 100), designed);      // never below the design
}

// A view that keeps its own selection and notifies as a list view does: also of the changes the
// program writes into it.
class SelectionHandoverTest : public ::testing::Test, public ListObserver {
 protected:
  test::TestFrontend m_frontend;
  ListsModel m_model{m_frontend};
  std::vector<std::vector<SelectionHandover::Run>> m_writes;
  SelectionHandover m_handover{[this](ListKind list, std::span<const SelectionHandover::Run> runs) {
    m_writes.emplace_back(runs.begin(), runs.end());
    // The view reports the write as a change: clearing every row, then the runs.
    m_handover.TakeSelection(m_model, list, 0, m_model.RowCount(list) - 1, false);
    for (const auto& run : runs)
      m_handover.TakeSelection(m_model, list, run.First, run.Last, true);
  }};

  SelectionHandoverTest() {
    for (int i = 0; i < 6; ++i)
      m_model.AddResultList("/r" + std::to_string(i));
    m_model.SetObserver(this);
  }
  ~SelectionHandoverTest() override { m_model.SetObserver(nullptr); }
  std::vector<bool> Selected() const {
    std::vector<bool> flags;
    for (std::size_t i = 0; i < m_model.ResultRowCount(); ++i)
      flags.push_back(m_model.IsSelected(ListKind::Result, i));
    return flags;
  }

  void BeginReset(ListKind) override {}
  void EndReset(ListKind) override {}
  void BeginAppend(ListKind, std::size_t, std::size_t) override {}
  void EndAppend(ListKind) override {}
  void BeginRemove(ListKind, std::size_t, std::size_t) override {}
  void EndRemove(ListKind) override {}
  void RowChanged(ListKind, std::size_t) override {}
  void SelectionChanged(ListKind list) override { m_handover.ShowSelection(m_model, list); }
};

TEST_F(SelectionHandoverTest, EachWayIsCopiedOnceWithoutEcho) {
  // The model's change reaches the view as runs of rows; the view's report of it changes nothing.
  m_model.SetSelected(ListKind::Result, 4, true);
  m_model.SetSelectedRange(ListKind::Result, 1, 2, true);
  using Run = SelectionHandover::Run;
  ASSERT_EQ(m_writes.size(), 2u);
  EXPECT_EQ(m_writes[1], (std::vector<Run>{{1, 2}, {4, 4}}));
  EXPECT_EQ(Selected(), (std::vector<bool>{false, true, true, false, true, false}));
  EXPECT_EQ(m_frontend.Recorded().PanelWrites.size(), 2u * 4);  // the totals of two changes

  // The user's change reaches the model and is not written back into the view.
  m_handover.TakeSelection(m_model, ListKind::Result, 0, 3, true);
  EXPECT_EQ(Selected(), (std::vector<bool>{true, true, true, true, true, false}));
  EXPECT_EQ(m_writes.size(), 2u);

  // While the program changes the rows, the view's notifications are not the user's; the other
  // list is not held.
  m_handover.Hold(ListKind::Result);
  m_handover.TakeSelection(m_model, ListKind::Result, 5, 5, true);
  m_model.SelectAll(ListKind::Result, false);
  m_handover.Release(ListKind::Result);
  EXPECT_EQ(m_writes.size(), 2u);
  m_handover.ShowSelection(m_model, ListKind::Result);
  EXPECT_EQ(m_writes.back(), std::vector<Run>{});
  m_handover.Hold(ListKind::File);
  m_handover.TakeSelection(m_model, ListKind::Result, 5, 5, true);
  EXPECT_EQ(Selected().back(), true);
}

}  // namespace
}  // namespace quillet
