#include "lists/Lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <chrono>
#include <filesystem>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <stdexcept>

#include "../scan/TempTree.h"
#include "ModelFixture.h"
#include "scan/FileSystemFaults.h"
#include "scan/Text.h"

namespace quillet {
namespace {

using test::TestFrontend;
using test::TestProgress;
using test::Texts;
using testing::TempTree;

using test::Column;
using test::kRoot;
using test::kRootLocation;

class ListsTest : public test::ModelFixture {
 protected:
  Texts Sizes() const { return Column(m_model, ListKind::Result, 2); }
  std::vector<int> Images(ListKind list) const {
    std::vector<int> images;
    for (std::size_t i = 0; i < m_model.RowCount(list); ++i)
      images.push_back(m_model.ImageIndex(list, i));
    return images;
  }
  Texts Panels() {
    return {m_record.Panels[0], m_record.Panels[1], m_record.Panels[2], m_record.Panels[3]};
  }
};

// --- Rows in and out ------------------------------------------------------------------------

TEST_F(ListsTest, AddResultListMakesUnmeasuredRowsAndKeepsDuplicatesAndRoots) {
  const std::string folder = m_tree.Folder("Photos");
  m_model.AddResultList(folder + kPathSeparator);
  m_model.AddResultList(folder);
  m_model.AddResultList(kRoot);
  EXPECT_EQ(Names(), (Texts{"Photos", "Photos", kRootLocation}));
  EXPECT_EQ(Column(m_model, ListKind::Result, 1), (Texts{folder, folder, kRootLocation}));
  for (int column = 2; column <= 4; ++column)
    EXPECT_EQ(Column(m_model, ListKind::Result, column), Texts(3, "未解析"));
  EXPECT_EQ(Images(ListKind::Result), (std::vector<int>{8, 8, 8}));
  EXPECT_FALSE(m_model.FirstSelected(ListKind::Result).has_value());
  EXPECT_NE(m_model.ResultRowAt(0).Id, m_model.ResultRowAt(1).Id);
}

TEST_F(ListsTest, FormCreateAddsTheSubfoldersOfAFolderArgumentOnly) {
  m_tree.Folder("base/one");
  m_tree.Folder("base/two/deeper");
  const std::string file = m_tree.File("base/file.txt", 3);
  // An empty argument ends the arguments: it is no argument, not the root of the drive.
  m_model.FormCreate(std::nullopt);
  for (const std::string& argument : {std::string(), file, m_tree.Path("missing")})
    m_model.FormCreate(argument);
  EXPECT_EQ(m_model.ResultRowCount(), 0u);
  m_model.FormCreate(m_tree.Path("base"));
  Texts names = Names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Texts{"one", "two"}));
  EXPECT_EQ(m_model.CellText(ListKind::Result, 0, 1),
            m_tree.Path("base") + kPathSeparator + Names()[0]);
}

TEST_F(ListsTest, RemovalsReSortByNameAndNewRowsGoLast) {
  m_tree.File("Zeta/x", 1);
  AddFolders({"Zeta", "alpha", "Mid", "beta"});
  m_model.tmiEditDelListClick();  // nothing selected: nothing goes, but the rest is sorted
  EXPECT_EQ(Names(), (Texts{"alpha", "beta", "Mid", "Zeta"}));
  m_model.SetSelected(ListKind::Result, IndexOf("Mid"), true);
  m_model.tmiEditDelListClick();
  EXPECT_EQ(Names(), (Texts{"alpha", "beta", "Zeta"}));
  AddFolders({"aaa"});
  EXPECT_EQ(Names().back(), "aaa");

  SelectAllResults();
  m_model.tmiViewFileViewFlagClick();
  ASSERT_EQ(m_model.FileRowCount(), 1u);
  m_model.tmiEditAllDelListClick();
  EXPECT_EQ(m_model.ResultRowCount(), 0u);
  EXPECT_EQ(m_model.FileRowCount(), 0u);
  EXPECT_EQ(m_record.Panels[0], "0 lists");
}

// --- Analysis run ---------------------------------------------------------------------------

TEST_F(ListsTest, RunMeasuresEveryRowAndReportsItsProgress) {
  m_model.tmiFileRunClick();  // an empty list: the dialog opens and closes, the run ends
  EXPECT_EQ(m_record.ProgressCreated, 1);
  EXPECT_EQ(m_record.ProgressOpen, 0);
  EXPECT_EQ(m_record.Panels[4], "解析終了");

  m_tree.File("Photos/a.jpg", 1000);
  m_tree.File("Photos/trip/b.jpg", 2500);
  m_tree.Folder("Photos/trip/empty");
  m_tree.Folder("Empty");
  for (const char* name : {"Photos", "Empty", "Missing"})
    m_model.AddResultList(m_tree.Path(name));
  m_record.PanelWrites.clear();
  m_model.tmiFileRunClick();
  EXPECT_EQ(Sizes(), (Texts{"3,500", "0", "0"}));
  EXPECT_EQ(Column(m_model, ListKind::Result, 3), (Texts{"2", "0", "0"}));
  EXPECT_EQ(Column(m_model, ListKind::Result, 4), (Texts{"2", "0", "0"}));
  // A missing folder is one that could not be read: its 0 is no measurement of an empty one.
  EXPECT_EQ(Images(ListKind::Result), (std::vector<int>{2, 2, kImageUnreadable}));
  EXPECT_EQ(m_record.SubTexts, (Texts{" 1/3 解析中... [Photos]", " 2/3 解析中... [Empty]",
                                      " 3/3 解析中... [Missing]"}));
  EXPECT_EQ(m_record.PanelWrites.front(), std::make_pair(4, std::string("解析開始")));
  EXPECT_EQ(m_record.PanelWrites.back(), std::make_pair(4, std::string("解析終了")));
  EXPECT_EQ(m_record.ProgressCreated, 2);
  EXPECT_EQ(m_record.ProgressOpen, 0);
}

// With every row selected, a run over many rows does not sum the selection once per row (each sum
// reads every row): the totals follow at most once per pump interval, exact when the run ends.
TEST_F(ListsTest, TotalsFollowARunAtThePaceOfThePump) {
  for (int i = 0; i < 400; ++i)
    m_tree.File("many/r" + std::to_string(i) + "/f", 1);
  m_model.FormCreate(m_tree.Path("many"));
  SelectAllResults();
  m_record.PanelWrites.clear();
  const auto start = std::chrono::steady_clock::now();
  m_model.tmiFileRunClick();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const auto writes = std::count_if(m_record.PanelWrites.begin(), m_record.PanelWrites.end(),
                                    [](const auto& write) { return write.first == 1; });
  EXPECT_LE(writes, elapsed / kFileViewPumpInterval + 2);
  EXPECT_EQ(m_record.Panels[1], ListsModel::TotalsTexts(m_model.SelectedTotals())[1]);
  EXPECT_EQ(m_model.SelectedTotals().Bytes, 400);
}

// A Cancel click processed during the first update: that update still answers go on, the
// second answers stop. Updates 1 and 2 are the run's, 3 and 4 the file view's.
TEST_F(ListsTest, CancelProcessedDuringTheFirstUpdateStopsEitherLoopAtTheSecond) {
  for (int i = 0; i < 5; ++i)
    m_tree.File("a/f" + std::to_string(i), 1);
  AddFolders({"a", "b", "c"});
  m_model.SetSelected(ListKind::Result, 0, true);
  m_frontend.OnPump = [](TestProgress& progress, int update) {
    if (update == 1 || update == 3) progress.Cancel();
  };
  m_model.tmiFileRunClick();
  EXPECT_EQ(Sizes(), (Texts{"5", "未解析", "未解析"}));
  EXPECT_EQ(m_record.Updates, 2);
  EXPECT_EQ(m_record.Panels[4], "解析開始");
  m_model.tmiViewFileViewFlagClick();
  EXPECT_EQ(m_model.FileRowCount(), 2u);
  EXPECT_EQ(m_record.Updates, 4);
  EXPECT_EQ(m_record.ProgressOpen, 0);
}

// A long row keeps the window alive: while it is measured the same update comes again, and one
// that answers stop abandons the row at once, leaving it as it was.
TEST_F(ListsTest, AStopInsideALongRowAbandonsIt) {
  std::string chain = "slow";
  for (int i = 0; i < 20; ++i)
    chain += "/d";
  m_tree.Folder(chain);
  AddFolders({"slow", "next"});
  // Each folder's search takes a while, and a chain cannot be walked in parallel: the walk
  // outlasts the engine's asking interval several times.
  struct Slow : FileSystemFaults {
    bool SearchFails(std::string_view) const override {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      return false;
    }
  } slow;
  ScopedFileSystemFaults scoped(slow);
  m_frontend.OnPump = [](TestProgress& progress, int update) {
    if (update == 2) progress.Cancel();  // the first update inside the row
  };
  m_model.tmiFileRunClick();
  EXPECT_EQ(m_record.Updates, 3);
  EXPECT_EQ(m_record.SubTexts,
            (Texts{" 1/2 解析中... [slow]", " 1/2 解析中... [slow]", " 1/2 解析中... [slow]"}));
  EXPECT_EQ(Sizes(), (Texts{"未解析", "未解析"}));
  EXPECT_EQ(m_record.Panels[4], "解析開始");
  EXPECT_EQ(m_record.ProgressOpen, 0);
}

// One walk per row gives the run's numbers and the file view's entries, whatever the tree holds:
// empty folders first, last and deep, folders that cannot be searched (the row's own included),
// a link, a missing folder and a file as rows.
TEST_F(ListsTest, MeasureAndListAgreesWithTheRunAndTheFileView) {
  struct LockedFolders : FileSystemFaults {
    bool SearchFails(std::string_view folder) const override {
      return folder.ends_with(std::string(1, kPathSeparator) + "locked" + kPathSeparator);
    }
  } faults;
  m_tree.Folder("full/a-empty");
  m_tree.File("full/b/x", 10);
  m_tree.Folder("full/b/c/d-empty");
  m_tree.File("full/b/locked/hidden", 5);
  m_tree.File("full/e", 3);
  m_tree.Folder("full/z/locked");
  m_tree.File("locked/y", 1);
  m_tree.Folder("empty");
  m_tree.File("file", 4);
  for (const char* name : {"full", "locked", "empty", "missing", "file", "full"})
    m_model.AddResultList(m_tree.Path(name));
  std::error_code error;
  std::filesystem::create_directory_symlink(m_tree.Path("full"), m_tree.Path("full/link"), error);
  ScopedFileSystemFaults scoped(faults);

  m_model.tmiFileRunClick();
  SelectAllResults();
  m_model.tmiViewFileViewFlagClick();
  const auto numbers = [](const ListsModel& model) {
    std::vector<std::vector<std::int64_t>> all;
    for (std::size_t i = 0; i < model.ResultRowCount(); ++i) {
      const ResultRow& row = model.ResultRowAt(i);
      all.push_back({row.TotalSize, row.FileCount, row.FolderCount, row.UnreadableFolders});
    }
    return all;
  };
  const auto measured = numbers(m_model);
  // A link counts as a file of its own size (the length of the path it holds).
  const std::int64_t link = error ? 0 : 1;
  const auto linkSize = link * static_cast<std::int64_t>(m_tree.Path("full").size());
  ASSERT_EQ(measured[0], (std::vector<std::int64_t>{13 + linkSize, 2 + link, 7, 2}));
  ASSERT_EQ(measured[1][3], 1);
  Texts listed;
  for (std::size_t i = 0; i < m_model.FileRowCount(); ++i) {
    listed.push_back(m_model.CellText(ListKind::File, i, 1) + " " +
                     m_model.CellText(ListKind::File, i, 2));
  }

  ListsModel again(m_frontend);
  for (const char* name : {"full", "locked", "empty", "missing", "file", "full"})
    again.AddResultList(m_tree.Path(name));
  Texts walked;
  std::vector<RowId> rows;
  again.MeasureAndList([&](RowId row, const TreeEntry& entry) {
    walked.push_back(std::string(entry.Path) + " " +
                     (entry.IsFolder ? std::string("フォルダ") : CountText(entry.Size)));
    if (rows.empty() || rows.back() != row) rows.push_back(row);
    return true;
  });
  EXPECT_TRUE(again.RunReachedEnd());
  EXPECT_EQ(m_record.Panels[4], "解析終了");
  EXPECT_EQ(walked, listed);
  EXPECT_EQ(rows, (std::vector<RowId>{again.ResultRowAt(0).Id, again.ResultRowAt(5).Id}));
  EXPECT_EQ(numbers(again), measured);
  EXPECT_EQ(Column(again, ListKind::Result, 2), Sizes());
}

// Stopped inside a row's walk, by Cancel or by the visitor: the row keeps its cells, the rows
// after it are not walked, and the run does not end.
TEST_F(ListsTest, MeasureAndListStoppedInsideARowLeavesItUnmeasured) {
  for (int i = 0; i < 5; ++i)
    m_tree.File("a/f" + std::to_string(i), 1);
  m_tree.File("b/g", 2);
  AddFolders({"b", "a", "b"});
  // Update 1 is row b's, 2 its entry's, 3 row a's; Cancel there stops at its first entry.
  m_frontend.OnPump = [](TestProgress& progress, int update) {
    if (update == 3) progress.Cancel();
  };
  std::size_t entries = 0;
  m_model.MeasureAndList([&](RowId, const TreeEntry&) { return ++entries > 0; });
  EXPECT_EQ(Sizes(), (Texts{"2", "未解析", "未解析"}));
  EXPECT_EQ(entries, 2u);
  EXPECT_FALSE(m_model.RunReachedEnd());
  EXPECT_EQ(m_record.Panels[4], "解析開始");
  EXPECT_EQ(m_record.ProgressOpen, 0);

  m_frontend.OnPump = nullptr;
  entries = 0;
  m_model.MeasureAndList([&](RowId, const TreeEntry&) { return ++entries < 3; });
  EXPECT_EQ(Sizes(), (Texts{"2", "未解析", "未解析"}));
  EXPECT_EQ(entries, 3u);
  EXPECT_FALSE(m_model.RunReachedEnd());
}

// Every row of a run is measured by the same walker threads: a run over many rows starts no more
// threads than a run over one, and rows small enough to be walked by the caller start none.
TEST_F(ListsTest, ARunStartsItsWalkersOnceWhateverItsRows) {
  for (int i = 0; i < 1000; ++i)
    m_tree.Folder("empty/e" + std::to_string(i));
  // Slow enough to be handed over to the walker threads: ten entries of a millisecond each.
  struct SlowEntries : FileSystemFaults {
    bool Vanished(std::string_view path) const override {
      if (path.find("slow") != std::string_view::npos)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return false;
    }
  } slow;
  for (int row = 0; row < 12; ++row) {
    for (int i = 0; i < 10; ++i)
      m_tree.File("slow/s" + std::to_string(row) + "/f" + std::to_string(i), 1);
  }
  const auto threadsFor = [&](const std::string& folder, std::size_t rows) {
    ListsModel model(m_frontend);
    model.FormCreate(m_tree.Path(folder));
    EXPECT_EQ(model.ResultRowCount(), rows) << folder;
    const std::uint64_t before = WalkerThreadsStarted();
    model.tmiFileRunClick();
    EXPECT_TRUE(model.RunReachedEnd());
    return WalkerThreadsStarted() - before;
  };
  EXPECT_EQ(threadsFor("empty", 1000), 0u);
  ScopedFileSystemFaults scoped(slow);
  m_tree.Folder("one-slow");
  std::filesystem::rename(m_tree.Path("slow/s0"), m_tree.Path("one-slow/s0"));
  const std::uint64_t forOne = threadsFor("one-slow", 1);
  EXPECT_GT(forOne, 0u);
  EXPECT_EQ(threadsFor("slow", 11), forOne);
}

#ifndef _WIN32

// A row found by listing its parent and replaced by a link before the run reaches it is not
// followed there: it counts as gone (nothing in it, unreadable), in the run, the file view and the
// one-walk listing alike. A folder the user names through a link is measured through it.
TEST_F(ListsTest, ARowThatBecameALinkCountsAsGone) {
  m_tree.File("top/a/f", 5);
  m_tree.File("top/b/g", 7);
  m_tree.File("elsewhere/h", 100);
  ListsModel again(m_frontend);
  for (ListsModel* model : {&m_model, &again})
    model->FormCreate(m_tree.Path("top"));
  ASSERT_EQ(m_model.ResultRowCount(), 2u);
  std::filesystem::rename(m_tree.Path("top/b"), m_tree.Path("b.real"));
  std::filesystem::create_directory_symlink(m_tree.Path("elsewhere"), m_tree.Path("top/b"));
  for (ListsModel* model : {&m_model, &again})
    model->AddResultList(m_tree.Path("top/b"));
  const auto numbers = [](const ListsModel& model, std::string_view caption, bool listed) {
    for (std::size_t i = 0; i < model.ResultRowCount(); ++i) {
      const ResultRow& row = model.ResultRowAt(i);
      if (row.Caption == caption && row.Listed == listed) {
        return std::vector<std::int64_t>{row.TotalSize, row.FileCount, row.FolderCount,
                                         row.UnreadableFolders};
      }
    }
    return std::vector<std::int64_t>{};
  };
  using Numbers = std::vector<std::int64_t>;
  m_model.tmiFileRunClick();
  EXPECT_EQ(numbers(m_model, "a", true), (Numbers{5, 1, 0, 0}));
  EXPECT_EQ(numbers(m_model, "b", true), (Numbers{0, 0, 0, 1}));
  EXPECT_EQ(numbers(m_model, "b", false), (Numbers{100, 1, 0, 0}));
  SelectAllResults();
  m_model.tmiViewFileViewFlagClick();
  Texts listed = Column(m_model, ListKind::File, 0);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (Texts{"f", "h"}));

  Texts walked;
  again.MeasureAndList([&](RowId, const TreeEntry& entry) {
    walked.emplace_back(entry.Path.substr(entry.Path.rfind(kPathSeparator) + 1));
    return true;
  });
  std::sort(walked.begin(), walked.end());
  EXPECT_EQ(walked, listed);
  for (bool listedRow : {true, false})
    EXPECT_EQ(numbers(again, "b", listedRow), numbers(m_model, "b", listedRow)) << listedRow;
}

// The one-walk listing counts a row as its walk found it, as the run does: a folder deeper than
// the longest path the system opens at once is read, and an empty folder moved away right after
// the listing visited it was read before it went.
TEST_F(ListsTest, OneWalkListingCountsFoldersAsItsWalkFoundThem) {
  std::string deep = m_tree.Folder("deep");
  for (int level = 0; level < 2100; ++level) {
    deep += "/d";
    ASSERT_TRUE(testing::MakeFolderAt(deep));
  }
  m_tree.Folder("moving/soon-gone");
  m_tree.File("moving/f", 2);
  AddFolders({"deep", "moving"});
  m_model.tmiFileRunClick();
  const auto unreadable = [](const ListsModel& model) {
    return std::vector<std::int64_t>{model.ResultRowAt(0).UnreadableFolders,
                                     model.ResultRowAt(1).UnreadableFolders,
                                     model.ResultRowAt(0).FolderCount};
  };
  EXPECT_EQ(unreadable(m_model), (std::vector<std::int64_t>{0, 0, 2100}));

  ListsModel again(m_frontend);
  again.AddResultList(m_tree.Path("deep"));
  again.AddResultList(m_tree.Path("moving"));
  again.MeasureAndList([&](RowId, const TreeEntry& entry) {
    if (entry.IsFolder && entry.Path.ends_with("soon-gone")) {
      std::filesystem::rename(std::string(entry.Path), m_tree.Path("gone"));
    }
    return true;
  });
  EXPECT_EQ(unreadable(again), unreadable(m_model));
}

#endif

// Names of every kind a file list holds: the longest a name may be, Japanese, bytes that are no
// UTF-8 (where the system allows them), and ones that sort between a folder and what is in it.
std::vector<std::string> HostileNames() {
  std::vector<std::string> names = {std::string(255, 'L'), "写真 日本語のファイル.txt", "a b",
                                    "a.b", "a"};
  if (kPathSeparator == '/') names.push_back("bad-\xff\xfe-\x80");
  return names;
}

// Folders nested deeper than a path the system opens at once; under wine the host's own path
// length limit stops a chain long before.
constexpr int kChainLevels = kPathSeparator == '/' ? 2100 : 100;

// The file list keeps the tree rather than the paths: every path it builds back is the one the
// walk gave, in the listing's order and after a sort by each column, with each row's parent the
// folder row its path names.
TEST_F(ListsTest, FileListGivesBackTheWalksPathsWhateverTheNamesAndTheOrder) {
  for (const std::string& name : HostileNames()) {
    m_tree.File("odd/" + name, 3);
    m_tree.File("odd/" + name.substr(0, 250) + "-dir/" + name, 4);
  }
  std::string deep = m_tree.Folder("odd/deep");
  for (int level = 0; level < kChainLevels; ++level) {
    deep += kPathSeparator + std::string("d");
    ASSERT_TRUE(testing::MakeFolderAt(deep));
  }
  ASSERT_TRUE(testing::MakeFileAt(deep + kPathSeparator + "bottom", 5));
  // A second row inside the first's listing: its entries are listed again, as its own.
  const std::vector<std::string> rows = {m_tree.Path("odd"), m_tree.Path("odd/a.b-dir")};
  ListsModel walk(m_frontend);
  for (const std::string& row : rows) {
    walk.AddResultList(row);
    m_model.AddResultList(row);
  }
  Texts walked;
  walk.MeasureAndList([&](RowId, const TreeEntry& entry) {
    walked.push_back(std::string(entry.Path) +
                     (entry.IsFolder ? "/" : " " + CountText(entry.Size)));
    return true;
  });
  m_model.MeasureAndKeepList();
  ASSERT_GT(walked.size(), static_cast<std::size_t>(kChainLevels));
  // Each row's path built once; its parent's path, read from those, and its caption make it.
  const auto listed = [this, &rows] {
    std::vector<FileRow> files;
    Texts texts;
    for (std::size_t i = 0; i < m_model.FileRowCount(); ++i) {
      files.push_back(m_model.FileRowAt(i));
      texts.push_back(files[i].Path + (files[i].IsFolder ? "/" : " " + CountText(files[i].Size)));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::string name(files[i].Caption);
      const std::optional<std::size_t> parent = m_model.FileParentAt(i);
      if (parent) {
        EXPECT_TRUE(files[*parent].IsFolder);
        EXPECT_EQ(files[*parent].Path + kPathSeparator + name, files[i].Path);
      } else {
        EXPECT_TRUE(files[i].Path == rows[0] + kPathSeparator + name ||
                    files[i].Path == rows[1] + kPathSeparator + name)
            << files[i].Path;
      }
    }
    const std::size_t last = files.size() - 1;
    EXPECT_EQ(m_model.FilePathAt(last), files[last].Path);
    EXPECT_EQ(m_model.CellText(ListKind::File, last, 1), files[last].Path);
    return texts;
  };
  EXPECT_EQ(listed(), walked);
  std::sort(walked.begin(), walked.end());
  for (int column = 0; column < 4; ++column) {
    const bool descending = column % 2 == 1;
    m_model.SetFileSort(column, descending);
    m_model.SortFileList();
    Texts sorted = listed();
    std::sort(sorted.begin(), sorted.end());
    ASSERT_EQ(sorted, walked) << column << (descending ? " descending" : "");
  }
}

// A pump that takes longer than the interval between pumps (a slow display) does not make every
// following update pump: the interval counts from the pump's end, in both listing loops.
TEST_F(ListsTest, ASlowPumpDoesNotMakeEveryUpdatePump) {
  for (int i = 0; i < 100; ++i)
    m_tree.File("a/f" + std::to_string(i), 1);
  AddFolders({"a"});
  SelectAllResults();
  m_frontend.OnPump = [](TestProgress&, int) {
    std::this_thread::sleep_for(kFileViewPumpInterval + std::chrono::milliseconds(10));
  };
  const auto pumps = [&] {
    return std::count_if(m_record.RepaintPump.begin(), m_record.RepaintPump.end(),
                         [](const auto& update) { return update.second; });
  };
  m_model.tmiViewFileViewFlagClick();
  EXPECT_EQ(m_model.FileRowCount(), 100u);
  EXPECT_LE(pumps(), 5);
  m_record.RepaintPump.clear();
  m_model.MeasureAndList([](RowId, const TreeEntry&) { return true; });
  EXPECT_TRUE(m_model.RunReachedEnd());
  EXPECT_LE(pumps(), 5);  // the row's own update pumps as well
}

// --- Sorting --------------------------------------------------------------------------------

TEST_F(ListsTest, HeaderClicksFlipTheDirectionAndRemovalsReSortWithoutFlipping) {
  m_tree.File("small/f", 200);
  m_tree.File("large/f", 1000);
  m_tree.File("mid/f", 500);
  for (const char* name : {"small", "large", "mid"})
    m_model.AddResultList(m_tree.Path(name));
  AddFolders({"unmeasured"});
  m_model.tmiFileRunClick();
  m_model.AddResultList(m_tree.Path("unmeasured"));  // a second, never measured row

  m_model.lvwResultColumnClick(2);  // first click: largest first, unmeasured before numbers
  EXPECT_EQ(Sizes(), (Texts{"未解析", "1,000", "500", "200", "0"}));
  m_model.lvwResultColumnClick(2);
  EXPECT_EQ(Sizes(), (Texts{"0", "200", "500", "1,000", "未解析"}));
  m_model.lvwResultColumnClick(0);  // the direction flipped again: names descending
  EXPECT_EQ(Names(), (Texts{"unmeasured", "unmeasured", "small", "mid", "large"}));
  m_model.lvwResultColumnClick(2);  // ascending
  m_tree.File("small/g", 1000);
  m_model.tmiFileRunClick();  // sizes change, the rows stay
  EXPECT_EQ(Sizes(), (Texts{"0", "1,200", "500", "1,000", "0"}));
  m_model.SetSelected(ListKind::Result, IndexOf("mid"), true);
  m_model.tmiEditDelListClick();
  EXPECT_EQ(Names(), (Texts{"unmeasured", "unmeasured", "large", "small"}));
}

TEST_F(ListsTest, EachResultColumnSortsByItsOwnCell) {
  // Size, files, folders: a 300, 3, 1; b 20, 1, 2; c 0, 2, 0.
  for (const char* file : {"a/x", "a/d/y", "a/z"})
    m_tree.File(file, 100);
  m_tree.File("b/d/e/x", 20);
  for (const char* file : {"c/x", "c/y"})
    m_tree.File(file, 0);
  for (const char* name : {"c", "a", "b"})
    m_model.AddResultList(m_tree.Path(name));
  m_model.tmiFileRunClick();
  // Unmeasured rows whose relative locations look like numbers: locations are text all the same.
  m_model.AddResultList("1,000");
  m_model.AddResultList("200");
  const Texts byLocation = kPathSeparator == '/' ? Texts{"a", "b", "c", "1,000", "200"}
                                                 : Texts{"1,000", "200", "a", "b", "c"};
  const struct {
    int Column;
    Texts First;  // ascending; unmeasured rows follow in any order
  } cases[] = {
      {0, {"1,000", "200", "a", "b", "c"}},
      {1, byLocation},
      {2, {"c", "b", "a"}},
      {3, {"b", "c", "a"}},
      {4, {"c", "a", "b"}},
  };
  for (const auto& c : cases) {
    m_model.SetResultSort(c.Column, false);
    m_model.SortResultList();
    Texts names = Names();
    names.resize(c.First.size());
    EXPECT_EQ(names, c.First) << c.Column;
    EXPECT_EQ(m_model.lvwResultCompare(m_model.ResultRowAt(0), m_model.ResultRowAt(0)), 0);
  }
}

TEST_F(ListsTest, FileListSortsSizesAsNumbersAndFoldersLast) {
  m_tree.File("top/Zed", 1000);
  m_tree.File("top/sub/alpha", 200);
  m_model.AddResultList(m_tree.Path("top"));
  SelectAllResults();
  m_model.tmiViewFileViewFlagClick();
  m_model.lvwFileColumnClick(2);
  EXPECT_EQ(Column(m_model, ListKind::File, 2), (Texts{"フォルダ", "1,000", "200"}));
  m_model.lvwFileColumnClick(2);
  EXPECT_EQ(Column(m_model, ListKind::File, 2), (Texts{"200", "1,000", "フォルダ"}));
  m_model.lvwFileColumnClick(0);
  EXPECT_EQ(Column(m_model, ListKind::File, 0), (Texts{"Zed", "sub", "alpha"}));
  m_model.lvwFileColumnClick(1);  // paths: top/sub, top/sub/alpha, top/Zed
  EXPECT_EQ(Column(m_model, ListKind::File, 0), (Texts{"sub", "alpha", "Zed"}));
  EXPECT_LT(m_model.lvwFileCompare(0, 1), 0);
  EXPECT_GT(m_model.lvwFileCompare(2, 1), 0);
}

// Checks that compare (negative, zero, positive) orders count items strictly and weakly, as a
// sort needs: irreflexive, antisymmetric, and transitive in both "before" and "equal".
template <typename Compare>
void ExpectStrictWeakOrder(std::size_t count, Compare compare, std::mt19937& random,
                           const std::string& context) {
  const auto sign = [](int value) { return (value > 0) - (value < 0); };
  for (std::size_t i = 0; i < count; ++i)
    ASSERT_EQ(compare(i, i), 0) << context << " row " << i;
  std::uniform_int_distribution<std::size_t> pick(0, count - 1);
  for (int trial = 0; trial < 20000; ++trial) {
    const std::size_t a = pick(random), b = pick(random), c = pick(random);
    const int ab = sign(compare(a, b)), bc = sign(compare(b, c)), ac = sign(compare(a, c));
    ASSERT_EQ(ab, -sign(compare(b, a))) << context << " rows " << a << ", " << b;
    // a <= b <= c gives a <= c, and a == c only when both steps were equal.
    if (ab <= 0 && bc <= 0) {
      ASSERT_EQ(ac, ab == 0 && bc == 0 ? 0 : -1)
          << context << " rows " << a << ", " << b << ", " << c;
    }
  }
}

// Rows made to find faults in orderings: names and locations mixing digits, commas, letters of
// both cases and the bytes around them, sharing long beginnings or one being the start of
// another; numbers from the whole range; unmeasured rows; folders among the files. Result rows
// are made from names alone (their locations need not exist); files and folders on disk.
void AddTroublesomeRows(ListsModel& model, TempTree& tree, std::mt19937& random, int rows) {
  const std::string letters = "0159,-aAbZz`{@[";
  const std::string prefixes[] = {"", "", "shared-beginning-", "shared-beginning-x"};
  const auto randomName = [&] {
    std::string name = prefixes[random() % std::size(prefixes)];
    for (std::size_t i = 1 + random() % 4; i > 0; --i)
      name += letters[random() % letters.size()];
    return name;
  };
  const std::string bytes[] = {"\xc3\xa9", std::string(1, '\0'), "\x7f"};
  constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
  const std::int64_t numbers[] = {0, 1, 9, 10, 999, 1000, 1234, -1, kMost, kMost - 1, -kMost - 1};
  const auto randomNumber = [&] { return numbers[random() % std::size(numbers)]; };
  for (int i = 0; i < rows; ++i) {
    std::string location =
        random() % 2 ? randomName() : randomName() + kPathSeparator + randomName();
    if (random() % 8 == 0) location += bytes[random() % std::size(bytes)];
    model.AddResultList(location);
    if (random() % 4 != 0) {
      model.SetStatistics(model.ResultRowCount() - 1,
                          {randomNumber(), randomNumber(), randomNumber(), 0});
    }
  }
  for (int i = 0; i < rows; ++i) {
    const std::string path = randomName() + "/" + randomName();
    if (random() % 3 == 0) {
      tree.Folder("files/" + path);
    } else {
      tree.File("files/" + path, static_cast<std::int64_t>(random() % 3) * 1000);
    }
  }
  const RowId files = model.AddResultList(tree.Path("files"));
  model.SelectAll(ListKind::Result, false);
  model.SetSelected(ListKind::Result, *model.FindResultRow(files), true);
  model.tmiViewFileViewFlagClick();
}

TEST_F(ListsTest, EveryColumnOfBothListsIsAStrictWeakOrdering) {
  std::mt19937 random(20240611);
  AddTroublesomeRows(m_model, m_tree, random, 80);
  ASSERT_GT(m_model.FileRowCount(), 80u);

  for (const bool descending : {false, true}) {
    for (int column = 0; column <= 5; ++column) {
      const std::string context = "column " + std::to_string(column) + (descending ? " desc" : "");
      m_model.SetResultSort(column, descending);
      ExpectStrictWeakOrder(
          m_model.ResultRowCount(),
          [&](std::size_t a, std::size_t b) {
            return m_model.lvwResultCompare(m_model.ResultRowAt(a), m_model.ResultRowAt(b));
          },
          random, "result " + context);
      if (column > 3) continue;
      m_model.SetFileSort(column, descending);
      ExpectStrictWeakOrder(
          m_model.FileRowCount(),
          [&](std::size_t a, std::size_t b) { return m_model.lvwFileCompare(a, b); }, random,
          "file " + context);
    }
  }
}

// The sorts order by one key per row; the comparators stay the definition. Each sort must give
// what a stable sort with the comparator gives from the order before it, so sorts one after
// another (every column, both directions) also check that equal rows keep their order.
TEST_F(ListsTest, SortsGiveTheComparatorsOrderKeepingEqualRowsInPlace) {
  std::mt19937 random(7);
  // Texts equal but for trailing NULs, which only their lengths tell apart.
  for (const std::string_view location : {std::string_view("ab"), std::string_view("ab\0", 3),
                                          std::string_view("ab\0\0\0\0\0\0\0\0\0X", 12),
                                          std::string_view("ab\0\0\0\0\0\0\0\0\0", 11)}) {
    m_model.AddResultList(location);
  }
  AddTroublesomeRows(m_model, m_tree, random, 300);
  const auto fileRows = [this] {
    Texts rows;
    for (std::size_t i = 0; i < m_model.FileRowCount(); ++i) {
      const FileRow row = m_model.FileRowAt(i);
      rows.push_back(std::string(row.Path) + (row.IsFolder ? "/" : " " + CountText(row.Size)));
    }
    return rows;
  };
  for (int round = 0; round < 2; ++round) {
    for (const bool descending : {true, false}) {
      for (int column : {2, 0, 3, 1, 4, 5}) {
        const std::string context = std::to_string(column) + (descending ? " desc" : "");
        m_model.SetResultSort(column, descending);
        std::vector<ResultRow> expected(m_model.ResultRowCount());
        for (std::size_t i = 0; i < expected.size(); ++i)
          expected[i] = m_model.ResultRowAt(i);
        std::stable_sort(expected.begin(), expected.end(),
                         [this](const ResultRow& a, const ResultRow& b) {
                           return m_model.lvwResultCompare(a, b) < 0;
                         });
        m_model.SortResultList();
        for (std::size_t i = 0; i < expected.size(); ++i)
          ASSERT_EQ(m_model.ResultRowAt(i).Id, expected[i].Id) << context << " row " << i;

        if (column > 3) continue;
        m_model.SetFileSort(column, descending);
        std::vector<std::size_t> positions(m_model.FileRowCount());
        std::iota(positions.begin(), positions.end(), std::size_t{0});
        std::stable_sort(positions.begin(), positions.end(), [this](std::size_t a, std::size_t b) {
          return m_model.lvwFileCompare(a, b) < 0;
        });
        const Texts before = fileRows();
        Texts expectedFiles;
        for (const std::size_t i : positions)
          expectedFiles.push_back(before[i]);
        m_model.SortFileList();
        ASSERT_EQ(fileRows(), expectedFiles) << context;
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
  EXPECT_EQ(Panels(), (Texts{"0 lists", "0 byte (0 on disk)", "0 files", "0 forders"}));
  // The size on disk of the measured rows, as du counts it.
  const std::vector<std::int64_t> du = testing::DiskUsage({m_tree.Path("a"), m_tree.Path("b")});
  ASSERT_EQ(du.size(), 2u);
  SelectAllResults();  // a selection change updates the panels by itself
  EXPECT_EQ(Panels(), (Texts{"3 lists", "3,500 byte (" + CountText(du[0] + du[1]) + " on disk)",
                             "3 files", "1 forders"}));
  m_model.SetSelected(ListKind::Result, 1, false);
  EXPECT_EQ(Panels(), (Texts{"2 lists", "1,000 byte (" + CountText(du[0]) + " on disk)", "1 files",
                             "0 forders"}));
}

// Sums near the end of the 64-bit range stop there: a wrapped sum would show a negative size.
TEST_F(ListsTest, TotalsStopAtTheLargestNumberInsteadOfWrapping) {
  constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
  AddFolders({"a", "b", "c"});
  m_model.SetStatistics(0, {kMost - 1, kMost - 2, kMost - 3, kMost - 4, kMost - 5});
  m_model.SetStatistics(1, {kMost, kMost, kMost, kMost, kMost});
  m_model.SetStatistics(2, {5, 5, 5, 5, 5});
  SelectAllResults();
  const ListsModel::SelectionTotals totals = m_model.SelectedTotals();
  EXPECT_EQ((std::vector<std::int64_t>{totals.Rows, totals.Bytes, totals.Files, totals.Folders,
                                       totals.Unreadable, totals.DiskBytes}),
            (std::vector<std::int64_t>{3, kMost, kMost, kMost, kMost, kMost}));
  EXPECT_EQ(Panels(),
            (Texts{"3 lists", "9,223,372,036,854,775,807 byte (9,223,372,036,854,775,807 on disk)",
                   "9,223,372,036,854,775,807 files", "9,223,372,036,854,775,807 forders"}));
  // Just below the end the sum is exact.
  m_model.SetSelected(ListKind::Result, 1, false);
  m_model.SetStatistics(0, {kMost - 6, 0, 0, kMost - 7});
  EXPECT_EQ(m_model.SelectedTotals().Bytes, kMost - 1);
  EXPECT_EQ(m_model.SelectedTotals().Unreadable, kMost - 2);
}

// --- File view ------------------------------------------------------------------------------

TEST_F(ListsTest, FileViewListsTheSelectedRowsInOrderWithKindAndSize) {
  m_tree.File("one/d/e/f", 1234);
  m_tree.File("two/g", 2);
  m_tree.File("other/z", 5);
  // Overlapping rows list their shared entries again; the unselected row is not listed.
  for (const char* name : {"one", "two", "other", "one"})
    m_model.AddResultList(m_tree.Path(name));
  SelectAllResults();
  m_model.SetSelected(ListKind::Result, 2, false);
  const std::size_t panelWrites = m_record.PanelWrites.size();
  m_model.tmiViewFileViewFlagClick();
  Texts paths;
  for (const char* path :
       {"one/d", "one/d/e", "one/d/e/f", "two/g", "one/d", "one/d/e", "one/d/e/f"})
    paths.push_back(m_tree.Path(path));
  EXPECT_EQ(Column(m_model, ListKind::File, 1), paths);
  EXPECT_EQ(Column(m_model, ListKind::File, 0), (Texts{"d", "e", "f", "g", "d", "e", "f"}));
  EXPECT_EQ(Column(m_model, ListKind::File, 2),
            (Texts{"フォルダ", "フォルダ", "1,234", "2", "フォルダ", "フォルダ", "1,234"}));
  EXPECT_EQ(Images(ListKind::File), (std::vector<int>{8, 8, 3, 3, 8, 8, 3}));
  EXPECT_EQ(m_record.ProgressOpen, 0);
  EXPECT_EQ(m_record.PanelWrites.size(), panelWrites);  // no status bar text

  m_model.SelectAll(ListKind::Result, false);
  m_model.tmiViewFileViewFlagClick();
  EXPECT_EQ(m_model.FileRowCount(), 0u);
}

// Most updates of a long listing do not pump; a Cancel still acts one update after the pump
// that processed it.
TEST_F(ListsTest, FileViewCancelProcessedByALaterPumpStopsAtTheNextUpdate) {
  for (int i = 0; i < 3000; ++i)
    m_tree.File("top/f" + std::to_string(i), 1);
  m_model.AddResultList(m_tree.Path("top"));
  SelectAllResults();
  // Entries of a millisecond each, so that the walk pumps again after the first update.
  struct SlowEntries : FileSystemFaults {
    bool Vanished(std::string_view) const override {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return false;
    }
  } slow;
  ScopedFileSystemFaults scoped(slow);
  int cancelledAt = 0;
  m_frontend.OnPump = [&](TestProgress& progress, int update) {
    if (update > 1 && cancelledAt == 0) {
      progress.Cancel();
      cancelledAt = update;
    }
  };
  m_model.tmiViewFileViewFlagClick();
  ASSERT_GT(cancelledAt, 0);
  EXPECT_EQ(m_record.Updates, cancelledAt + 1);
  EXPECT_EQ(m_model.FileRowCount(), static_cast<std::size_t>(cancelledAt + 1));
  EXPECT_EQ(m_record.SubTexts.back(),
            m_model.CellText(ListKind::File, m_model.FileRowCount() - 1, 1));
}

// --- Zero-size selection and deletion -------------------------------------------------------

// A folder that cannot be read measures 0 but may hold anything: it is not "empty".
TEST_F(ListsTest, ZeroSelectionPicksMeasuredReadableEmptyFoldersOnly) {
  struct LockedFolders : FileSystemFaults {
    bool SearchFails(std::string_view folder) const override {
      return folder.ends_with(std::string(1, kPathSeparator) + "locked" + kPathSeparator);
    }
  } faults;
  m_tree.Folder("hollow/a/b");
  m_tree.File("zeros/empty.txt", 0);
  m_tree.File("full/x", 1);
  m_tree.File("locked/secret.txt", 10);
  m_tree.File("parent/locked/secret.txt", 10);
  for (const char* name : {"hollow", "zeros", "full", "locked", "parent"})
    m_model.AddResultList(m_tree.Path(name));
  m_model.tmiEditZeroForderSelClick();  // never measured: nothing to select
  EXPECT_FALSE(m_model.FirstSelected(ListKind::Result).has_value());
  {
    ScopedFileSystemFaults scoped(faults);
    m_model.tmiFileRunClick();
  }
  EXPECT_EQ(Sizes(), (Texts{"0", "0", "1", "0", "0"}));
  m_model.AddResultList(m_tree.Path("hollow"));  // unmeasured
  m_model.SetSelected(ListKind::Result, 2, true);
  m_model.SetSelected(ListKind::Result, 5, true);
  m_model.tmiEditZeroForderSelClick();
  std::vector<bool> selected;
  for (std::size_t i = 0; i < m_model.ResultRowCount(); ++i)
    selected.push_back(m_model.IsSelected(ListKind::Result, i));
  EXPECT_EQ(selected, (std::vector<bool>{true, true, false, false, false, false}));
  EXPECT_EQ(m_record.Panels[0], "2 lists");
}

TEST(IsRootLocation, RecognisesRootsOfBothPlatforms) {
  const struct {
    char Separator;
    bool Root;
    std::vector<const char*> Locations;
  } cases[] = {
      {'/', true, {"/", "//", "/..", "/a/..", "/./", "", "..", "a/../.."}},
      {'/', false, {"/a", "/a/b/..", "a", "./a"}},
      {'\\',
       true,
       {"E:", "E:\\", "c:/", "C:\\..", "\\", "\\\\server\\share", "\\\\server\\share\\",
        "\\\\?\\C:\\", "\\\\?\\UNC\\srv\\share", "\\\\.\\UNC\\srv\\share", "\\\\?\\unc\\srv\\share",
        "\\\\?\\UNC"}},
      {'\\',
       false,
       {"C:\\Data", "\\\\server\\share\\dir", "E:sub", "C:\\Data\\..\\Other", "\\\\?\\UNCle"}},
  };
  for (const auto& c : cases) {
    for (const char* location : c.Locations)
      EXPECT_EQ(IsRootLocation(location, c.Separator), c.Root) << location;
  }
}

// --- Re-entrant commands from inside the loops ----------------------------------------------

// Lists cleared while a loop pumps: the run skips the rows gone, the file view stops at once.
TEST_F(ListsTest, LoopsSurviveTheirListsBeingClearedMeanwhile) {
  AddFolders({"a", "b", "c"});
  m_frontend.OnPump = [this](TestProgress&, int update) {
    if (update == 2 || update == 3) m_model.tmiEditAllDelListClick();
  };
  m_model.tmiFileRunClick();
  EXPECT_EQ(m_model.ResultRowCount(), 0u);
  EXPECT_EQ(m_record.Updates, 2);
  for (int i = 0; i < 10; ++i)
    m_tree.File("top/f" + std::to_string(i), 1);
  m_model.AddResultList(m_tree.Path("top"));
  SelectAllResults();
  m_model.tmiViewFileViewFlagClick();
  EXPECT_EQ(m_model.FileRowCount(), 0u);
  EXPECT_EQ(m_record.Updates, 3);
  EXPECT_EQ(m_record.ProgressOpen, 0);
}

TEST_F(ListsTest, RunWritesIntoTheRightRowWhenRowsMoveOrGo) {
  for (const auto& [name, size] : {std::pair{"a", 1}, {"b", 22}, {"c", 333}, {"d", 4444}}) {
    m_tree.File(std::string(name) + "/f", size);
    m_model.AddResultList(m_tree.Path(name));
  }
  m_frontend.OnPump = [this](TestProgress&, int update) {
    if (update == 1) m_model.lvwResultColumnClick(0);  // d, c, b, a
    if (update == 2) {
      m_model.SetSelected(ListKind::Result, IndexOf("c"), true);
      m_model.tmiEditDelListClick();  // re-sorts: d, b, a
    }
    if (update == 3) m_model.AddResultList(m_tree.Path("a"));  // waits for the next run
  };
  m_model.tmiFileRunClick();
  EXPECT_EQ(Names(), (Texts{"d", "b", "a", "a"}));
  EXPECT_EQ(Sizes(), (Texts{"4,444", "22", "1", "未解析"}));
  EXPECT_EQ(m_record.Panels[4], "解析終了");
}

// A nested run finishes both runs; a nested file view supersedes the outer one.
TEST_F(ListsTest, LoopsStartedInsideThemselvesEndCleanly) {
  for (int i = 0; i < 10; ++i)
    m_tree.File("a/f" + std::to_string(i), 1);
  m_tree.File("b/f", 6);
  m_model.AddResultList(m_tree.Path("a"));
  m_model.AddResultList(m_tree.Path("b"));
  bool nested = false;
  m_frontend.OnPump = [&](TestProgress&, int) {
    if (!std::exchange(nested, true)) m_model.tmiFileRunClick();
  };
  m_model.tmiFileRunClick();
  EXPECT_EQ(Sizes(), (Texts{"10", "6"}));
  EXPECT_EQ(m_record.ProgressCreated, 2);

  m_model.SetSelected(ListKind::Result, 0, true);
  nested = false;
  m_frontend.OnPump = [&](TestProgress&, int) {
    if (!std::exchange(nested, true)) m_model.tmiViewFileViewFlagClick();
  };
  m_model.tmiViewFileViewFlagClick();
  Texts paths = Column(m_model, ListKind::File, 1);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths.size(), 10u);
  EXPECT_EQ(std::adjacent_find(paths.begin(), paths.end()), paths.end());
  EXPECT_EQ(m_record.ProgressOpen, 0);
}

TEST_F(ListsTest, LoopsCloseTheirDialogWhenACommandRunFromTheirUpdateFails) {
  m_tree.File("a/sub/f", 1);
  m_tree.File("a/sub/g", 1);
  m_model.AddResultList(m_tree.Path("a"));
  m_model.AddResultList(m_tree.Path("a"));
  SelectAllResults();
  m_frontend.OnPump = [](TestProgress&, int) { throw std::runtime_error("out of memory"); };
  EXPECT_THROW(m_model.tmiFileRunClick(), std::runtime_error);
  EXPECT_EQ(m_record.ProgressOpen, 0);
  EXPECT_EQ(m_record.Panels[4], "解析開始");
  EXPECT_EQ(m_model.CellText(ListKind::Result, 0, 2), "未解析");

  EXPECT_THROW(m_model.tmiViewFileViewFlagClick(), std::runtime_error);
  EXPECT_EQ(m_record.ProgressOpen, 0);
  EXPECT_EQ(m_model.FileRowCount(), 1u);  // the row whose update failed stays
  m_frontend.OnPump = nullptr;
  m_model.tmiViewFileViewFlagClick();  // and the next listing starts afresh
  EXPECT_EQ(m_model.FileRowCount(), 6u);
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
  ASSERT_EQ(m_model.FileRowCount(), 2u);
  for (std::size_t i = 0; i < 2; ++i)
    EXPECT_TRUE(m_model.CellText(ListKind::File, i, 1).starts_with(m_tree.Path("a")));
}

// --- Change notifications -------------------------------------------------------------------

// A view that keeps its own row counts from the notifications alone, as a Qt item model does.
class MirrorObserver : public ListObserver {
 public:
  explicit MirrorObserver(const ListsModel& model) : m_model(model) {}
  void BeginReset(ListKind) override {}
  void EndReset(ListKind list) override { Count(list) = m_model.RowCount(list); }
  void BeginAppend(ListKind list, std::size_t first, std::size_t count) override {
    EXPECT_EQ(first, Count(list));
    ++Appends;
    Begin(list, count);
  }
  void EndAppend(ListKind list) override { End(list, Count(list) + m_pending); }
  void BeginRemove(ListKind list, std::size_t first, std::size_t count) override {
    EXPECT_LE(first + count, Count(list));
    Begin(list, count);
  }
  void EndRemove(ListKind list) override { End(list, Count(list) - m_pending); }
  void RowChanged(ListKind list, std::size_t index) override {
    EXPECT_LT(index, Count(list));
    ++Changes;
  }
  void SelectionChanged(ListKind) override { ++SelectionChanges; }

  std::size_t& Count(ListKind list) { return list == ListKind::Result ? m_results : m_files; }
  int Changes = 0;
  int SelectionChanges = 0;
  int Appends = 0;

 private:
  void Begin(ListKind list, std::size_t count) {
    EXPECT_EQ(m_model.RowCount(list), Count(list));  // not changed yet
    m_pending = count;
  }
  void End(ListKind list, std::size_t count) {
    Count(list) = count;
    EXPECT_EQ(m_model.RowCount(list), count);
  }

  const ListsModel& m_model;
  std::size_t m_results = 0;
  std::size_t m_files = 0;
  std::size_t m_pending = 0;
};

TEST_F(ListsTest, NotificationsKeepAViewInStep) {
  MirrorObserver mirror(m_model);
  m_model.SetObserver(&mirror);
  for (int i = 0; i < 2000; ++i)
    m_tree.File("top/f" + std::to_string(i), 1);
  for (const char* name : {"top", "a", "b", "c"})
    m_model.AddResultList(m_tree.Folder(name));
  m_model.SetSelected(ListKind::Result, 0, true);
  // Views look at the rows while the listing pumps: every row added so far must be announced.
  m_frontend.OnPump = [&](TestProgress&, int) {
    EXPECT_EQ(mirror.Count(ListKind::File), m_model.FileRowCount());
  };
  m_model.tmiViewFileViewFlagClick();
  EXPECT_EQ(mirror.Count(ListKind::File), 2000u);
  // Updates repaint and pump together, and rarely.
  const auto& calls = m_record.RepaintPump;
  ASSERT_EQ(calls.size(), 2000u);
  const auto pumps = std::count(calls.begin(), calls.end(), std::make_pair(true, true));
  EXPECT_EQ(pumps + std::count(calls.begin(), calls.end(), std::make_pair(false, false)), 2000);
  EXPECT_LT(pumps, 200);
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

// The start-up population takes each name's kind from the directory search that found it and
// tells the view of its rows at once: a folder of many subfolders costs no attribute query per
// row, nor a view's work per row.
TEST_F(ListsTest, FormCreateDoesNoWorkPerRowThatTheSearchDidAlready) {
  Texts expected;
  for (int i = 0; i < 300; ++i)
    expected.push_back(ExtractLastName(m_tree.Folder("top/d" + std::to_string(1000 + i))));
  m_tree.File("top/file.txt", 1);
#ifndef _WIN32
  std::filesystem::create_directory_symlink(m_tree.Path("top/d1000"), m_tree.Path("top/link"));
#endif
  struct CountedQueries : FileSystemFaults {
    mutable std::atomic<int> Queries{0};
    bool Vanished(std::string_view) const override { return ++Queries, false; }
  } counted;
  MirrorObserver mirror(m_model);
  m_model.SetObserver(&mirror);
  {
    ScopedFileSystemFaults scoped(counted);
    m_model.FormCreate(m_tree.Path("top"));
  }
  Texts names = Names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, expected);
  EXPECT_EQ(mirror.Count(ListKind::Result), 300u);
  EXPECT_EQ(mirror.Appends, 1);
  EXPECT_EQ(counted.Queries.load(), 0);
  m_model.SetObserver(nullptr);
}
}  // namespace
}  // namespace quillet
