#include "lists/Lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "TestFrontend.h"
#include "scan/FileSystemFaults.h"
#include "scan/Text.h"

namespace quillet {
namespace {

using test::TempTree;
using test::TestFrontend;
using test::TestProgress;

std::vector<std::string> Column(const ListsModel& model, ListKind list, int column) {
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < model.RowCount(list); ++i) {
    texts.push_back(model.CellText(list, i, column));
  }
  return texts;
}

std::string Sep(std::string_view relative) {
  std::string path(relative);
  std::replace(path.begin(), path.end(), '/', kPathSeparator);
  return path;
}

class ListsTest : public ::testing::Test {
 protected:
  TestFrontend m_frontend;
  ListsModel m_model{m_frontend};
  TempTree m_tree;

  void SelectAllResults() { m_model.SelectAll(ListKind::Result, true); }
  std::optional<std::size_t> IndexOf(std::string_view caption) const {
    for (std::size_t i = 0; i < m_model.ResultRowCount(); ++i) {
      if (m_model.ResultRowAt(i).Caption == caption) return i;
    }
    return std::nullopt;
  }
};

// --- Rows in and out ------------------------------------------------------------------------

TEST_F(ListsTest, AddResultListMakesAnUnmeasuredRowAndKeepsDuplicates) {
  const std::string folder = m_tree.Folder("Photos");
  m_model.AddResultList(folder + kPathSeparator);
  m_model.AddResultList(folder);
  ASSERT_EQ(m_model.ResultRowCount(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(m_model.CellText(ListKind::Result, i, 0), "Photos");
    EXPECT_EQ(m_model.CellText(ListKind::Result, i, 1), folder);
    for (int column = 2; column <= 4; ++column) {
      EXPECT_EQ(m_model.CellText(ListKind::Result, i, column), "未解析");
    }
    EXPECT_EQ(m_model.ImageIndex(ListKind::Result, i), 8);
    EXPECT_FALSE(m_model.IsSelected(ListKind::Result, i));
  }
  EXPECT_NE(m_model.ResultRowAt(0).Id, m_model.ResultRowAt(1).Id);
}

// The platform's root as added, and the location its row shows: 'C:\' becomes 'C:'.
const std::string kRoot = kPathSeparator == '/' ? "/" : "C:\\";
const std::string kRootLocation = kPathSeparator == '/' ? "/" : "C:";

TEST_F(ListsTest, RootRowsKeepTheirRoot) {
  m_model.AddResultList(kRoot);
  EXPECT_EQ(m_model.CellText(ListKind::Result, 0, 1), kRootLocation);
  EXPECT_EQ(m_model.CellText(ListKind::Result, 0, 0), kRootLocation);
}

TEST_F(ListsTest, FormCreateAddsTheSubfoldersOfTheFirstArgumentOnly) {
  m_tree.Folder("base/one");
  m_tree.Folder("base/two/deeper");
  m_tree.File("base/file.txt", 3);
  m_model.FormCreate(m_tree.Path("base"));
  auto names = Column(m_model, ListKind::Result, 0);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one", "two"}));
  const std::string location = m_model.CellText(ListKind::Result, 0, 1);
  EXPECT_EQ(location,
            m_tree.Path("base") + kPathSeparator + m_model.CellText(ListKind::Result, 0, 0));
}

TEST_F(ListsTest, FormCreateWithoutAFolderAddsNothing) {
  const std::string file = m_tree.File("file.txt", 3);
  m_model.FormCreate(std::nullopt);
  m_model.FormCreate(file);
  m_model.FormCreate(m_tree.Path("missing"));
  // An empty argument ends the arguments: it is no argument, not the root of the drive.
  m_model.FormCreate(std::string_view());
  EXPECT_EQ(m_model.ResultRowCount(), 0u);
}

TEST_F(ListsTest, DelListRemovesTheSelectionAndReSortsByName) {
  for (const char* name : {"Zeta", "alpha", "Mid", "beta"})
    m_model.AddResultList(m_tree.Folder(name));
  m_model.tmiEditDelListClick();  // nothing selected: nothing goes, but the rest is sorted
  EXPECT_EQ(Column(m_model, ListKind::Result, 0),
            (std::vector<std::string>{"alpha", "beta", "Mid", "Zeta"}));
  m_model.SetSelected(ListKind::Result, *IndexOf("Mid"), true);
  m_model.tmiEditDelListClick();
  EXPECT_EQ(Column(m_model, ListKind::Result, 0),
            (std::vector<std::string>{"alpha", "beta", "Zeta"}));
  // New rows go at the end, also after a sort.
  m_model.AddResultList(m_tree.Folder("aaa"));
  EXPECT_EQ(m_model.CellText(ListKind::Result, 3, 0), "aaa");
}

TEST_F(ListsTest, AllDelListEmptiesBothLists) {
  m_tree.File("a/x.txt", 1);
  m_model.AddResultList(m_tree.Path("a"));
  SelectAllResults();
  m_model.tmiViewFileViewFlagClick();
  ASSERT_EQ(m_model.FileRowCount(), 1u);
  m_model.tmiEditAllDelListClick();
  EXPECT_EQ(m_model.ResultRowCount(), 0u);
  EXPECT_EQ(m_model.FileRowCount(), 0u);
  EXPECT_EQ(m_frontend.Recorded().Panels[0], "0 lists");
}

// --- Analysis run ---------------------------------------------------------------------------

TEST_F(ListsTest, RunMeasuresEveryRowAndReportsItsProgress) {
  m_tree.File("Photos/a.jpg", 1000);
  m_tree.File("Photos/trip/b.jpg", 2500);
  m_tree.Folder("Photos/trip/empty");
  m_tree.Folder("Empty");
  m_model.AddResultList(m_tree.Path("Photos"));
  m_model.AddResultList(m_tree.Path("Empty"));
  m_model.AddResultList(m_tree.Path("Missing"));
  m_model.tmiFileRunClick();

  EXPECT_EQ(Column(m_model, ListKind::Result, 2), (std::vector<std::string>{"3,500", "0", "0"}));
  EXPECT_EQ(Column(m_model, ListKind::Result, 3), (std::vector<std::string>{"2", "0", "0"}));
  EXPECT_EQ(Column(m_model, ListKind::Result, 4), (std::vector<std::string>{"2", "0", "0"}));
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(m_model.ImageIndex(ListKind::Result, i), 2);
  const auto& record = m_frontend.Recorded();
  EXPECT_EQ(record.SubTexts,
            (std::vector<std::string>{" 1/3 解析中... [Photos]", " 2/3 解析中... [Empty]",
                                      " 3/3 解析中... [Missing]"}));
  EXPECT_EQ(record.PanelWrites.front(), std::make_pair(4, std::string("解析開始")));
  EXPECT_EQ(record.PanelWrites.back(), std::make_pair(4, std::string("解析終了")));
  EXPECT_EQ(record.ProgressCreated, 1);
  EXPECT_EQ(record.ProgressOpen, 0);
}

TEST_F(ListsTest, RunOverAnEmptyListStillEnds) {
  m_model.tmiFileRunClick();
  EXPECT_EQ(m_frontend.Recorded().ProgressCreated, 1);
  EXPECT_EQ(m_frontend.Recorded().ProgressOpen, 0);
  EXPECT_EQ(m_frontend.Recorded().Panels[4], "解析終了");
}

TEST_F(ListsTest, RunCancelledDuringTheFirstUpdateStopsAtTheSecond) {
  for (const char* name : {"a", "b", "c"})
    m_model.AddResultList(m_tree.Folder(name));
  m_frontend.OnPump = [](TestProgress& progress, int update) {
    if (update == 1) progress.Cancel();
  };
  m_model.tmiFileRunClick();
  EXPECT_EQ(Column(m_model, ListKind::Result, 2),
            (std::vector<std::string>{"0", "未解析", "未解析"}));
  EXPECT_EQ(m_frontend.Recorded().Updates, 2);
  EXPECT_EQ(m_frontend.Recorded().ProgressOpen, 0);
  EXPECT_EQ(m_frontend.Recorded().Panels[4], "解析開始");
}

// --- Sorting --------------------------------------------------------------------------------

TEST_F(ListsTest, HeaderClicksFlipTheDirectionEveryTime) {
  m_tree.File("small/f", 200);
  m_tree.File("large/f", 1000);
  m_tree.File("mid/f", 500);
  for (const char* name : {"small", "large", "mid"})
    m_model.AddResultList(m_tree.Path(name));
  m_model.AddResultList(m_tree.Folder("unmeasured"));
  m_model.tmiFileRunClick();
  m_model.AddResultList(m_tree.Path("unmeasured"));  // a second, never measured row

  m_model.lvwResultColumnClick(2);  // first click: largest first, unmeasured before numbers
  EXPECT_EQ(Column(m_model, ListKind::Result, 2),
            (std::vector<std::string>{"未解析", "1,000", "500", "200", "0"}));
  m_model.lvwResultColumnClick(2);
  EXPECT_EQ(Column(m_model, ListKind::Result, 2),
            (std::vector<std::string>{"0", "200", "500", "1,000", "未解析"}));
  m_model.lvwResultColumnClick(0);  // the direction flipped again: names descending
  EXPECT_EQ(Column(m_model, ListKind::Result, 0),
            (std::vector<std::string>{"unmeasured", "unmeasured", "small", "mid", "large"}));
  EXPECT_TRUE(m_model.ResultSortDescending());
}

TEST_F(ListsTest, RemovalReSortsWithTheCurrentStateAndARunDoesNot) {
  m_tree.File("a/f", 300);
  m_tree.File("b/f", 100);
  m_tree.File("c/f", 200);
  for (const char* name : {"a", "b", "c"})
    m_model.AddResultList(m_tree.Path(name));
  m_model.tmiFileRunClick();
  m_model.lvwResultColumnClick(2);
  EXPECT_EQ(Column(m_model, ListKind::Result, 0), (std::vector<std::string>{"a", "c", "b"}));
  // Sizes change, a run leaves the order; a removal re-sorts, descending still.
  m_tree.File("b/g", 1000);
  m_model.tmiFileRunClick();
  EXPECT_EQ(Column(m_model, ListKind::Result, 0), (std::vector<std::string>{"a", "c", "b"}));
  m_model.SetSelected(ListKind::Result, 1, true);
  m_model.tmiEditDelListClick();
  EXPECT_EQ(Column(m_model, ListKind::Result, 0), (std::vector<std::string>{"b", "a"}));
  EXPECT_TRUE(m_model.ResultSortDescending());
}

// The comparator on raw values must order exactly as the cell texts would: parse both after
// removing commas, numbers when both parse, otherwise CompareText of the texts.
int TextRule(const std::string& a, const std::string& b) {
  const ParsedCount valueA = ParseCount(a);
  const ParsedCount valueB = ParseCount(b);
  if (valueA.Failed || valueB.Failed) return CompareText(a, b);
  return valueA.Value < valueB.Value ? -1 : (valueA.Value > valueB.Value ? 1 : 0);
}
int Sign(int value) {
  return (value > 0) - (value < 0);
}

TEST_F(ListsTest, ResultComparatorAgreesWithTheCellTexts) {
  // Rows with chosen sizes; the rows' cells are set by measuring real folders.
  const std::int64_t sizes[] = {0, 7, 200, 1000, 1000, 123456};
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    const std::string name = "r" + std::to_string(i);
    m_tree.File(name + "/f", static_cast<std::size_t>(sizes[i]));
    m_model.AddResultList(m_tree.Path(name));
  }
  m_model.tmiFileRunClick();
  for (const char* location : {"Zeta", "alpha", "1,000", "200", "0x10", "未解析"}) {
    m_model.AddResultList(location);  // relative and odd locations, never measured
  }
  const std::size_t count = m_model.ResultRowCount();
  for (int column = 0; column <= 4; ++column) {
    for (bool descending : {false, true}) {
      m_model.SetResultSort(column, descending);
      for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t j = 0; j < count; ++j) {
          const std::string a = m_model.CellText(ListKind::Result, i, column);
          const std::string b = m_model.CellText(ListKind::Result, j, column);
          const int expected = column == 0 ? CompareText(a, b) : TextRule(a, b);
          EXPECT_EQ(Sign(m_model.lvwResultCompare(m_model.ResultRowAt(i), m_model.ResultRowAt(j))),
                    Sign(descending ? -expected : expected))
              << column << " '" << a << "' '" << b << "'";
        }
      }
    }
  }
}

TEST_F(ListsTest, FileListSortsSizesAsNumbersAndFoldersLast) {
  m_tree.File("top/big", 1000);
  m_tree.File("top/small", 200);
  m_tree.Folder("top/sub");
  m_model.AddResultList(m_tree.Path("top"));
  SelectAllResults();
  m_model.tmiViewFileViewFlagClick();
  m_model.lvwFileColumnClick(2);
  EXPECT_EQ(Column(m_model, ListKind::File, 2),
            (std::vector<std::string>{"フォルダ", "1,000", "200"}));
  m_model.lvwFileColumnClick(2);
  EXPECT_EQ(Column(m_model, ListKind::File, 2),
            (std::vector<std::string>{"200", "1,000", "フォルダ"}));
  const std::size_t count = m_model.FileRowCount();
  for (int column = 0; column <= 2; ++column) {
    m_model.SetFileSort(column, false);
    for (std::size_t i = 0; i < count; ++i) {
      for (std::size_t j = 0; j < count; ++j) {
        const std::string a = m_model.CellText(ListKind::File, i, column);
        const std::string b = m_model.CellText(ListKind::File, j, column);
        EXPECT_EQ(Sign(m_model.lvwFileCompare(i, j)),
                  Sign(column == 0 ? CompareText(a, b) : TextRule(a, b)));
      }
    }
  }
}

// --- Totals ---------------------------------------------------------------------------------

TEST_F(ListsTest, TotalsCountUnmeasuredRowsAsRowsOnly) {
  m_tree.File("a/f", 1000);
  m_tree.File("b/f", 2500);
  m_tree.File("b/sub/g", 0);
  m_model.AddResultList(m_tree.Path("a"));
  m_model.AddResultList(m_tree.Path("b"));
  m_model.tmiFileRunClick();
  m_model.AddResultList(m_tree.Path("a"));
  m_model.lvwResultChange();
  auto& panels = m_frontend.Recorded().Panels;
  EXPECT_EQ(panels[0], "0 lists");
  EXPECT_EQ(panels[1], "0 byte");
  EXPECT_EQ(panels[2], "0 files");
  EXPECT_EQ(panels[3], "0 forders");
  SelectAllResults();  // a selection change updates the panels by itself
  EXPECT_EQ(panels[0], "3 lists");
  EXPECT_EQ(panels[1], "3,500 byte");
  EXPECT_EQ(panels[2], "3 files");
  EXPECT_EQ(panels[3], "1 forders");
  m_model.SetSelected(ListKind::Result, 1, false);
  EXPECT_EQ(panels[1], "1,000 byte");
}

// --- File view ------------------------------------------------------------------------------

TEST_F(ListsTest, FileViewListsEveryEntryWithKindAndSize) {
  m_tree.File("top/a.txt", 1234);
  m_tree.Folder("top/sub");
  m_tree.File("other/z", 5);
  m_model.AddResultList(m_tree.Path("top"));
  m_model.AddResultList(m_tree.Path("other"));
  m_model.SetSelected(ListKind::Result, 0, true);
  const std::size_t panelWrites = m_frontend.Recorded().PanelWrites.size();
  m_model.tmiViewFileViewFlagClick();
  ASSERT_EQ(m_model.FileRowCount(), 2u);
  std::map<std::string, std::size_t> rows;
  for (std::size_t i = 0; i < 2; ++i)
    rows[m_model.CellText(ListKind::File, i, 0)] = i;
  const std::size_t file = rows.at("a.txt");
  const std::size_t folder = rows.at("sub");
  EXPECT_EQ(m_model.CellText(ListKind::File, file, 1), m_tree.Path(Sep("top/a.txt")));
  EXPECT_EQ(m_model.CellText(ListKind::File, file, 2), "1,234");
  EXPECT_EQ(m_model.ImageIndex(ListKind::File, file), 3);
  EXPECT_EQ(m_model.CellText(ListKind::File, folder, 1), m_tree.Path(Sep("top/sub")));
  EXPECT_EQ(m_model.CellText(ListKind::File, folder, 2), "フォルダ");
  EXPECT_EQ(m_model.ImageIndex(ListKind::File, folder), 8);
  EXPECT_EQ(m_frontend.Recorded().ProgressOpen, 0);
  EXPECT_EQ(m_frontend.Recorded().PanelWrites.size(), panelWrites);  // no status bar text

  // Nothing selected: the list ends empty.
  m_model.SelectAll(ListKind::Result, false);
  m_model.tmiViewFileViewFlagClick();
  EXPECT_EQ(m_model.FileRowCount(), 0u);
}

TEST_F(ListsTest, FileViewKeepsListingOrderAcrossRowsAndDepth) {
  m_tree.File("one/d/e/f", 1);
  m_tree.File("two/g", 2);
  m_model.AddResultList(m_tree.Path("one"));
  m_model.AddResultList(m_tree.Path("two"));
  m_model.AddResultList(m_tree.Path("one"));  // overlapping rows list shared entries again
  SelectAllResults();
  m_model.tmiViewFileViewFlagClick();
  EXPECT_EQ(Column(m_model, ListKind::File, 1),
            (std::vector<std::string>{m_tree.Path(Sep("one/d")), m_tree.Path(Sep("one/d/e")),
                                      m_tree.Path(Sep("one/d/e/f")), m_tree.Path(Sep("two/g")),
                                      m_tree.Path(Sep("one/d")), m_tree.Path(Sep("one/d/e")),
                                      m_tree.Path(Sep("one/d/e/f"))}));
}

TEST_F(ListsTest, FileViewCancelledDuringTheFirstUpdateKeepsTwoRows) {
  for (int i = 0; i < 5; ++i)
    m_tree.File("top/f" + std::to_string(i), 1);
  m_model.AddResultList(m_tree.Path("top"));
  SelectAllResults();
  m_frontend.OnPump = [](TestProgress& progress, int update) {
    if (update == 1) progress.Cancel();
  };
  m_model.tmiViewFileViewFlagClick();
  EXPECT_EQ(m_model.FileRowCount(), 2u);
  EXPECT_EQ(m_frontend.Recorded().Updates, 2);
  EXPECT_EQ(m_frontend.Recorded().ProgressOpen, 0);
}

TEST_F(ListsTest, FileViewCancelProcessedByALaterPumpStopsAtTheNextUpdate) {
  // Most updates of a long listing do not pump; Cancel still acts one update after the pump
  // that processed it.
  for (int i = 0; i < 3000; ++i)
    m_tree.File("top/f" + std::to_string(i), 1);
  m_model.AddResultList(m_tree.Path("top"));
  SelectAllResults();
  int cancelledAt = 0;
  const auto slowDown = [] {
    const auto until = std::chrono::steady_clock::now() + kFileViewPumpInterval * 2;
    while (std::chrono::steady_clock::now() < until) {
    }
  };
  // The first row's pump takes a while, so the second pumps as well.
  m_frontend.OnPump = [&](TestProgress& progress, int update) {
    if (update == 1) {
      slowDown();
      return;
    }
    if (cancelledAt == 0) {
      progress.Cancel();
      cancelledAt = update;
    }
  };
  m_model.tmiViewFileViewFlagClick();
  ASSERT_GT(cancelledAt, 0);
  EXPECT_EQ(m_frontend.Recorded().Updates, cancelledAt + 1);
  EXPECT_EQ(m_model.FileRowCount(), static_cast<std::size_t>(cancelledAt + 1));
  // The sub text of every update is the path just added.
  EXPECT_EQ(m_frontend.Recorded().SubTexts.back(),
            m_model.CellText(ListKind::File, m_model.FileRowCount() - 1, 1));
}

TEST_F(ListsTest, FileViewPumpsRarelyOnALongListing) {
  for (int i = 0; i < 2000; ++i)
    m_tree.File("top/f" + std::to_string(i), 1);
  m_model.AddResultList(m_tree.Path("top"));
  SelectAllResults();
  m_model.tmiViewFileViewFlagClick();
  const auto& calls = m_frontend.Recorded().RepaintPump;
  ASSERT_EQ(calls.size(), 2000u);
  EXPECT_EQ(calls.front(), std::make_pair(true, true));
  const auto pumps = std::count(calls.begin(), calls.end(), std::make_pair(true, true));
  const auto quiet = std::count(calls.begin(), calls.end(), std::make_pair(false, false));
  EXPECT_EQ(pumps + quiet, 2000);
  EXPECT_LT(pumps, 200);
}

// --- Zero-size selection and deletion -------------------------------------------------------

TEST_F(ListsTest, ZeroSelectionPicksMeasuredEmptyFoldersOnly) {
  m_tree.Folder(Sep("hollow/a/b"));
  m_tree.File("zeros/empty.txt", 0);
  m_tree.File("full/x", 1);
  for (const char* name : {"hollow", "zeros", "full"})
    m_model.AddResultList(m_tree.Path(name));
  m_model.tmiEditZeroForderSelClick();  // never measured: nothing to select
  EXPECT_FALSE(m_model.FirstSelected(ListKind::Result).has_value());
  m_model.tmiFileRunClick();
  m_model.AddResultList(m_tree.Path("hollow"));  // unmeasured
  m_model.SetSelected(ListKind::Result, 2, true);
  m_model.SetSelected(ListKind::Result, 3, true);
  m_model.tmiEditZeroForderSelClick();
  std::vector<bool> selected;
  for (std::size_t i = 0; i < m_model.ResultRowCount(); ++i) {
    selected.push_back(m_model.IsSelected(ListKind::Result, i));
  }
  EXPECT_EQ(selected, (std::vector<bool>{true, true, false, false}));
  EXPECT_EQ(m_frontend.Recorded().Panels[0], "2 lists");
}

// A folder that cannot be read measures 0 but may hold anything: it is not "empty".
TEST_F(ListsTest, ZeroSelectionLeavesFoldersThatCouldNotBeRead) {
  struct LockedFolders : FileSystemFaults {
    bool SearchFails(std::string_view folder) const override {
      const std::string locked = std::string(1, kPathSeparator) + "locked" + kPathSeparator;
      return folder.size() >= locked.size() &&
             folder.substr(folder.size() - locked.size()) == locked;
    }
  } faults;
  m_tree.File(Sep("locked/secret.txt"), 10);
  m_tree.File(Sep("parent/locked/secret.txt"), 10);
  m_tree.Folder("empty");
  for (const char* name : {"locked", "parent", "empty"})
    m_model.AddResultList(m_tree.Path(name));
  {
    ScopedFileSystemFaults scoped(faults);
    m_model.tmiFileRunClick();
  }
  EXPECT_EQ(m_model.CellText(ListKind::Result, 0, 2), "0");
  EXPECT_EQ(m_model.ResultRowAt(0).UnreadableFolders, 1);
  m_model.tmiEditZeroForderSelClick();
  EXPECT_EQ(m_model.FirstSelected(ListKind::Result), std::optional<std::size_t>(2));
  EXPECT_FALSE(m_model.NextSelected(ListKind::Result, 2).has_value());
}

TEST_F(ListsTest, DeleteHandsTheFoldersOverInReverseAndRemovesTheirRows) {
  for (const char* name : {"A", "B", "C", "D"})
    m_model.AddResultList(m_tree.Folder(name));
  for (std::size_t i = 0; i < 3; ++i)
    m_model.SetSelected(ListKind::Result, i, true);
  m_model.tmiEditForderDelClick();
  const auto& record = m_frontend.Recorded();
  ASSERT_EQ(record.Questions.size(), 1u);
  EXPECT_EQ(record.Questions[0], std::make_pair(std::string("選択されたフォルダ群を削除しますか?"),
                                                std::string("選択フォルダの削除")));
  ASSERT_EQ(record.Deletions.size(), 1u);
  EXPECT_EQ(record.Deletions[0],
            (std::vector<std::string>{m_tree.Path("C"), m_tree.Path("B"), m_tree.Path("A")}));
  EXPECT_EQ(MakeShellPathList(record.Deletions[0]),
            m_tree.Path("C") + '\0' + m_tree.Path("B") + '\0' + m_tree.Path("A") + '\0' + '\0');
  EXPECT_EQ(Column(m_model, ListKind::Result, 0), std::vector<std::string>{"D"});
  EXPECT_EQ(m_frontend.Recorded().Panels[0], "0 lists");
}

TEST_F(ListsTest, DeleteAnsweredNoOrWithNothingSelectedChangesNothing) {
  for (const char* name : {"b", "a"})
    m_model.AddResultList(m_tree.Folder(name));
  m_model.tmiEditForderDelClick();  // nothing selected: asks, then nothing
  m_model.SelectAll(ListKind::Result, true);
  m_frontend.Answer = false;
  m_model.tmiEditForderDelClick();
  EXPECT_EQ(m_frontend.Recorded().Questions.size(), 2u);
  EXPECT_TRUE(m_frontend.Recorded().Deletions.empty());
  EXPECT_EQ(Column(m_model, ListKind::Result, 0), (std::vector<std::string>{"b", "a"}));
}

TEST_F(ListsTest, DeleteNeverHandsOverARoot) {
  m_model.AddResultList(kRoot);
  m_model.AddResultList(m_tree.Folder("gone"));
  SelectAllResults();
  m_model.tmiEditForderDelClick();
  ASSERT_EQ(m_frontend.Recorded().Deletions.size(), 1u);
  EXPECT_EQ(m_frontend.Recorded().Deletions[0], std::vector<std::string>{m_tree.Path("gone")});
  ASSERT_EQ(m_model.ResultRowCount(), 1u);  // the root's row stays, still selected
  EXPECT_EQ(m_model.CellText(ListKind::Result, 0, 1), kRootLocation);
  EXPECT_TRUE(m_model.IsSelected(ListKind::Result, 0));
  m_model.tmiEditForderDelClick();  // only the root left: nothing is handed over
  EXPECT_EQ(m_frontend.Recorded().Deletions.size(), 1u);
}

TEST(IsRootLocation, RecognisesRootsOfBothPlatforms) {
  struct Case {
    const char* Location;
    char Separator;
    bool Root;
  };
  const Case cases[] = {
      {"/", '/', true},
      {"//", '/', true},
      {"/..", '/', true},
      {"/a/..", '/', true},
      {"/./", '/', true},
      {"", '/', true},
      {"..", '/', true},
      {"a/../..", '/', true},
      {"/a", '/', false},
      {"/a/b/..", '/', false},
      {"a", '/', false},
      {"./a", '/', false},
      {"E:", '\\', true},
      {"E:\\", '\\', true},
      {"c:/", '\\', true},
      {"C:\\..", '\\', true},
      {"\\", '\\', true},
      {"\\\\server\\share", '\\', true},
      {"\\\\server\\share\\", '\\', true},
      {"\\\\?\\C:\\", '\\', true},
      {"\\\\?\\UNC\\srv\\share", '\\', true},
      {"C:\\Data", '\\', false},
      {"\\\\server\\share\\dir", '\\', false},
      {"E:sub", '\\', false},
      {"C:\\Data\\..\\Other", '\\', false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsRootLocation(c.Location, c.Separator), c.Root) << c.Location;
  }
}

// --- Re-entrant commands from inside the loops ----------------------------------------------

TEST_F(ListsTest, RunSurvivesItsRowsBeingClearedMeanwhile) {
  for (const char* name : {"a", "b", "c"})
    m_model.AddResultList(m_tree.Folder(name));
  m_frontend.OnPump = [this](TestProgress&, int update) {
    if (update == 2) m_model.tmiEditAllDelListClick();
  };
  m_model.tmiFileRunClick();
  EXPECT_EQ(m_model.ResultRowCount(), 0u);
  EXPECT_EQ(m_frontend.Recorded().Updates, 2);
  EXPECT_EQ(m_frontend.Recorded().ProgressOpen, 0);
}

TEST_F(ListsTest, RunWritesIntoTheRightRowWhenRowsMoveOrGo) {
  m_tree.File("a/f", 1);
  m_tree.File("b/f", 22);
  m_tree.File("c/f", 333);
  m_tree.File("d/f", 4444);
  for (const char* name : {"a", "b", "c", "d"})
    m_model.AddResultList(m_tree.Path(name));
  m_frontend.OnPump = [this](TestProgress&, int update) {
    if (update == 1) m_model.lvwResultColumnClick(0);  // d, c, b, a
    if (update == 2) {
      m_model.SetSelected(ListKind::Result, *IndexOf("c"), true);
      m_model.tmiEditDelListClick();  // re-sorts: d, b, a
    }
    if (update == 3) m_model.AddResultList(m_tree.Path("a"));
  };
  m_model.tmiFileRunClick();
  const std::map<std::string, std::string> sizes = {{"a", "1"}, {"b", "22"}, {"d", "4,444"}};
  std::size_t measured = 0;
  for (std::size_t i = 0; i < m_model.ResultRowCount(); ++i) {
    const ResultRow& row = m_model.ResultRowAt(i);
    if (!row.Measured) continue;  // the row added during the run
    ++measured;
    EXPECT_EQ(m_model.CellText(ListKind::Result, i, 2), sizes.at(row.Caption)) << row.Caption;
  }
  EXPECT_EQ(measured, 3u);
  EXPECT_EQ(m_model.ResultRowCount(), 4u);
  EXPECT_EQ(m_frontend.Recorded().Panels[4], "解析終了");
}

TEST_F(ListsTest, RunStartedInsideARunFinishesBoth) {
  m_tree.File("a/f", 5);
  m_tree.File("b/f", 6);
  m_model.AddResultList(m_tree.Path("a"));
  m_model.AddResultList(m_tree.Path("b"));
  bool nested = false;
  m_frontend.OnPump = [&](TestProgress&, int) {
    if (nested) return;
    nested = true;
    m_model.tmiFileRunClick();
  };
  m_model.tmiFileRunClick();
  EXPECT_EQ(Column(m_model, ListKind::Result, 2), (std::vector<std::string>{"5", "6"}));
  EXPECT_EQ(m_frontend.Recorded().ProgressCreated, 2);
  EXPECT_EQ(m_frontend.Recorded().ProgressOpen, 0);
}

TEST_F(ListsTest, LoopsCloseTheirDialogWhenACommandRunFromTheirUpdateFails) {
  m_tree.File("a/sub/f", 1);
  m_tree.File("a/sub/g", 1);
  m_model.AddResultList(m_tree.Path("a"));
  m_model.AddResultList(m_tree.Path("a"));
  SelectAllResults();
  m_frontend.OnPump = [](TestProgress&, int) { throw std::runtime_error("out of memory"); };
  EXPECT_THROW(m_model.tmiFileRunClick(), std::runtime_error);
  EXPECT_EQ(m_frontend.Recorded().ProgressOpen, 0);
  EXPECT_EQ(m_frontend.Recorded().Panels[4], "解析開始");
  EXPECT_EQ(m_model.CellText(ListKind::Result, 0, 2), "未解析");

  EXPECT_THROW(m_model.tmiViewFileViewFlagClick(), std::runtime_error);
  EXPECT_EQ(m_frontend.Recorded().ProgressOpen, 0);
  EXPECT_EQ(m_model.FileRowCount(), 1u);  // the row whose update failed stays
  m_frontend.OnPump = nullptr;
  m_model.tmiViewFileViewFlagClick();  // and the next listing starts afresh
  EXPECT_EQ(m_model.FileRowCount(), 6u);
}

TEST_F(ListsTest, FileViewStopsWhenTheFileListIsCleared) {
  for (int i = 0; i < 10; ++i)
    m_tree.File("top/f" + std::to_string(i), 1);
  m_model.AddResultList(m_tree.Path("top"));
  SelectAllResults();
  m_frontend.OnPump = [this](TestProgress&, int update) {
    if (update == 1) m_model.tmiEditAllDelListClick();
  };
  m_model.tmiViewFileViewFlagClick();
  EXPECT_EQ(m_model.FileRowCount(), 0u);
  EXPECT_EQ(m_frontend.Recorded().Updates, 1);
  EXPECT_EQ(m_frontend.Recorded().ProgressOpen, 0);
}

TEST_F(ListsTest, FileViewStartedInsideAFileViewSupersedesIt) {
  for (int i = 0; i < 10; ++i)
    m_tree.File("top/f" + std::to_string(i), 1);
  m_model.AddResultList(m_tree.Path("top"));
  SelectAllResults();
  bool nested = false;
  m_frontend.OnPump = [&](TestProgress&, int) {
    if (nested) return;
    nested = true;
    m_model.tmiViewFileViewFlagClick();
  };
  m_model.tmiViewFileViewFlagClick();
  auto paths = Column(m_model, ListKind::File, 1);
  EXPECT_EQ(paths.size(), 10u);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(std::adjacent_find(paths.begin(), paths.end()), paths.end());
  EXPECT_EQ(m_frontend.Recorded().ProgressOpen, 0);
}

TEST_F(ListsTest, FileViewSkipsRowsRemovedMeanwhile) {
  m_tree.File("a/x", 1);
  m_tree.File("a/y", 1);
  m_tree.File("b/z", 1);
  m_model.AddResultList(m_tree.Path("a"));
  m_model.AddResultList(m_tree.Path("b"));
  SelectAllResults();
  m_frontend.OnPump = [this](TestProgress&, int update) {
    if (update == 1) m_model.tmiEditDelListClick();  // both selected rows go
  };
  m_model.tmiViewFileViewFlagClick();
  // The folder being listed is finished; the removed second row is not listed.
  EXPECT_EQ(m_model.FileRowCount(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(m_model.CellText(ListKind::File, i, 1).rfind(m_tree.Path("a"), 0), 0u);
  }
}

TEST_F(ListsTest, DeleteRemovesOnlyTheRowsItHandedOver) {
  for (const char* name : {"A", "B", "C"})
    m_model.AddResultList(m_tree.Folder(name));
  m_model.SetSelected(ListKind::Result, 0, true);
  m_model.SetSelected(ListKind::Result, 1, true);
  // While the question is open: a header click and a new selected row.
  m_frontend.OnQuestion = [this] {
    m_model.lvwResultColumnClick(0);
    m_model.SetSelected(ListKind::Result, *IndexOf("C"), true);
    m_frontend.OnQuestion = nullptr;
  };
  m_model.tmiEditForderDelClick();
  // The selection read after the question counts; every handed row goes, no other.
  ASSERT_EQ(m_frontend.Recorded().Deletions.size(), 1u);
  EXPECT_EQ(m_frontend.Recorded().Deletions[0],
            (std::vector<std::string>{m_tree.Path("A"), m_tree.Path("B"), m_tree.Path("C")}));
  EXPECT_EQ(m_model.ResultRowCount(), 0u);
}

// --- Change notifications -------------------------------------------------------------------

// A view that keeps its own row counts from the notifications alone, as a Qt item model does,
// and checks them against the model at every step.
class MirrorObserver : public ListObserver {
 public:
  explicit MirrorObserver(const ListsModel& model) : m_model(model) {}
  void BeginReset(ListKind) override {}
  void EndReset(ListKind list) override { Count(list) = m_model.RowCount(list); }
  void BeginAppend(ListKind list, std::size_t first, std::size_t count) override {
    EXPECT_EQ(first, Count(list));
    EXPECT_EQ(m_model.RowCount(list), Count(list));  // not there yet
    m_pending = count;
  }
  void EndAppend(ListKind list) override {
    Count(list) += m_pending;
    EXPECT_EQ(m_model.RowCount(list), Count(list));
    ++Appends;
  }
  void BeginRemove(ListKind list, std::size_t first, std::size_t count) override {
    EXPECT_LE(first + count, Count(list));
    EXPECT_EQ(m_model.RowCount(list), Count(list));
    m_pending = count;
  }
  void EndRemove(ListKind list) override {
    Count(list) -= m_pending;
    EXPECT_EQ(m_model.RowCount(list), Count(list));
  }
  void RowChanged(ListKind list, std::size_t index) override {
    EXPECT_LT(index, Count(list));
    ++Changes;
  }
  void SelectionChanged(ListKind) override { ++SelectionChanges; }

  std::size_t& Count(ListKind list) { return list == ListKind::Result ? m_results : m_files; }
  int Appends = 0;
  int Changes = 0;
  int SelectionChanges = 0;

 private:
  const ListsModel& m_model;
  std::size_t m_results = 0;
  std::size_t m_files = 0;
  std::size_t m_pending = 0;
};

TEST_F(ListsTest, NotificationsKeepAViewInStep) {
  MirrorObserver mirror(m_model);
  m_model.SetObserver(&mirror);
  for (int i = 0; i < 500; ++i)
    m_tree.File("top/f" + std::to_string(i), 1);
  for (const char* name : {"top", "a", "b", "c"})
    m_model.AddResultList(m_tree.Folder(name));
  m_model.SetSelected(ListKind::Result, 0, true);
  // Views look at the rows while the listing pumps: every row added so far must be announced.
  m_frontend.OnPump = [&](TestProgress&, int) {
    EXPECT_EQ(mirror.Count(ListKind::File), m_model.FileRowCount());
  };
  m_model.tmiViewFileViewFlagClick();
  EXPECT_EQ(mirror.Count(ListKind::File), 500u);
  m_model.tmiFileRunClick();
  EXPECT_EQ(mirror.Changes, 4);
  m_model.SetSelected(ListKind::Result, 1, true);
  m_model.SetSelected(ListKind::Result, 3, true);
  m_model.tmiEditDelListClick();
  EXPECT_EQ(mirror.Count(ListKind::Result), 1u);
  m_model.lvwFileColumnClick(0);
  m_model.tmiEditAllDelListClick();
  EXPECT_EQ(mirror.Count(ListKind::Result), 0u);
  EXPECT_EQ(mirror.Count(ListKind::File), 0u);
  EXPECT_EQ(mirror.SelectionChanges, 3);
  m_model.SetObserver(nullptr);
}
}  // namespace
}  // namespace quillet
