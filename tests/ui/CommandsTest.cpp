#include "ui/Commands.h"

#include "lists/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "../lists/ModelFixture.h"
#include "scan/FileSystemFaults.h"

namespace quillet {
namespace {

using Paths = std::vector<std::string>;

// Records what the commands hand to the shell and to the window. Its reversible delete removes
// each path from the disk (a link itself, never what it points to) as a shell would, except
// those in Kept: refused, failed, or declined in the shell's own confirmation.
struct Recorder : shell::Services, CommandWindow, MessageBoxes {
  Paths Opened, Instances, Deleted, Warnings, Calls;
  std::vector<Paths> Deletions;                                // one per call
  std::vector<std::pair<std::string, std::string>> Questions;  // text, caption
  Paths Refuse;  // what DeleteReversibly reports as left in place
  std::set<std::string> Kept;
  bool Yes = true;                                 // the answer to a question
  std::function<void()> OnQuestion;                // runs while the question is open
  shell::Handover Answer = shell::Handover::Done;  // what opening and the file manager answer
  shell::Handover OpenPath(const std::string& path) override {
    return Opened.push_back(path), Answer;
  }
  shell::Handover StartFileManager() override { return Calls.push_back("file manager"), Answer; }
  bool StartInstance(const std::vector<std::string>& options, const std::string& folder) override {
    InstanceOptions.push_back(options);
    return Instances.push_back(folder), true;
  }
  std::vector<Paths> InstanceOptions;
  Paths DeleteReversibly(const Paths& paths) override {
    Deleted.insert(Deleted.end(), paths.begin(), paths.end());
    Deletions.push_back(paths);
    for (const auto& path : paths) {
      std::error_code ignored;
      if (!Kept.contains(path)) std::filesystem::remove_all(path, ignored);
    }
    return Refuse;
  }
  bool ShowMessage(const Message& message) override {
    if (message.Kind == MessageKind::Warning) {
      EXPECT_EQ(message.Caption, layout::kMainWindow.Caption);
      return Warnings.emplace_back(message.Text), false;
    }
    Questions.emplace_back(message.Text, message.Caption);
    if (OnQuestion) OnQuestion();
    return Yes;
  }
  void FocusResultList() override { Calls.push_back("focus"); }
  void CloseMainWindow() override { Calls.push_back("close"); }
  void ShowAboutBox() override { Calls.push_back("about"); }
  void ShowTreemap(bool shown) override { Calls.push_back(shown ? "treemap" : "file list"); }
  void RepaintTreemap() override { ++Repaints; }
  int Repaints = 0;
};

using test::Column;
using test::kRoot;
using test::kRootLocation;
using test::Texts;

class CommandsTest : public test::ModelFixture {
 protected:
  Recorder m_recorder;
  MainCommands m_commands{m_model, m_recorder, m_recorder, m_recorder};
};

TEST_F(CommandsTest, OpenCommandsHandOverTheFirstSelectedRowOnly) {
  for (const char* name : {"a", "b", "c"})
    m_model.AddResultList(m_tree.Folder(name));
  m_tree.File("b/x.txt", 3);
  m_tree.File("c/y.txt", 4);
  using layout::Command;
  for (Command command :
       {Command::FileOpenSelectForder, Command::FileOpenSelectQuillet, Command::FileOpenSelectFile})
    m_commands.Run(command);
  EXPECT_TRUE(m_recorder.Opened.empty() && m_recorder.Instances.empty());  // nothing selected

  m_model.SetSelected(ListKind::Result, 2, true);
  m_model.SetSelected(ListKind::Result, 1, true);
  m_commands.Run(Command::FileOpenSelectForder);
  m_commands.Run(Command::FileOpenSelectQuillet);
  EXPECT_EQ(m_recorder.Opened, Paths{m_tree.Path("b")});
  EXPECT_EQ(m_recorder.Instances, Paths{m_tree.Path("b")});

  m_commands.Run(Command::ViewFileViewFlag);
  ASSERT_EQ(m_model.FileRowCount(), 2u);
  m_model.SetSelected(ListKind::File, 1, true);
  m_commands.Run(Command::FileOpenSelectFile);
  EXPECT_EQ(m_recorder.Opened.back(), std::string(m_model.FileRowAt(1).Path));

  for (Command command : {Command::FileExeExplorer, Command::EditZeroForderSel, Command::HelpAbout,
                          Command::FileClose})
    m_commands.Run(command);
  EXPECT_EQ(m_recorder.Calls, (Paths{"file manager", "focus", "about", "close"}));
}

// Ctrl+A selects every row of the list it was pressed in, and only that key does: the result
// list's totals follow, the other list keeps its selection.
TEST_F(CommandsTest, CtrlASelectsEveryRowOfItsListOnly) {
  for (const char* name : {"a", "b", "c"})
    m_tree.File(std::string(name) + "/x.bin", 10);
  for (const char* name : {"a", "b", "c"})
    m_model.AddResultList(m_tree.Path(name));
  m_model.SetSelected(ListKind::Result, 0, true);
  m_commands.Run(layout::Command::ViewFileViewFlag);
  ASSERT_EQ(m_model.FileRowCount(), 1u);
  m_model.SetSelected(ListKind::Result, 0, false);
  for (const ListKey& other :
       {ListKey{'A'}, ListKey{'A', true, true}, ListKey{'A', true, false, true}, ListKey{'B', true},
        ListKey{0, true}}) {
    EXPECT_FALSE(m_commands.ListKeyDown(ListKind::Result, other));
    EXPECT_FALSE(m_commands.ListKeyDown(ListKind::File, other));
  }
  EXPECT_FALSE(m_model.FirstSelected(ListKind::Result) || m_model.FirstSelected(ListKind::File));

  const ListKey ctrlA{'A', true};
  EXPECT_TRUE(m_commands.ListKeyDown(ListKind::Result, ctrlA));
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_TRUE(m_model.IsSelected(ListKind::Result, i));
  EXPECT_EQ(m_frontend.Recorded().Panels[0], "3 lists");
  EXPECT_FALSE(m_model.FirstSelected(ListKind::File));
  EXPECT_TRUE(m_commands.ListKeyDown(ListKind::File, ctrlA));
  EXPECT_TRUE(m_model.IsSelected(ListKind::File, 0));
}

TEST_F(CommandsTest, OnlyDroppedFoldersBecomeRowsInDropOrder) {
  const std::string second = m_tree.Folder("second");
  const std::string first = m_tree.Folder("first");
  const std::string file = m_tree.File("file.txt", 1);
  Paths dropped = {second, file, "", m_tree.Path("missing"), first};
  std::error_code error;
  std::filesystem::create_directory_symlink(first, m_tree.Path("link"), error);
  if (!error) dropped.push_back(m_tree.Path("link"));  // a link is not the folder it names
  m_commands.DropFiles(dropped);
  ASSERT_EQ(m_model.ResultRowCount(), 2u);
  EXPECT_EQ(m_model.ResultRowAt(0).Location, second);
  EXPECT_EQ(m_model.ResultRowAt(1).Location, first);
}

// --- Deletion ------------------------------------------------------------------------------

TEST_F(CommandsTest, DeleteAsksThenHandsTheFoldersOverInReverseAndRemovesTheirRows) {
  AddFolders({"A", "B", "C", "D"});
  m_commands.tmiEditForderDelClick();  // nothing selected: asks, then nothing
  for (std::size_t i = 0; i < 3; ++i)
    m_model.SetSelected(ListKind::Result, i, true);
  m_recorder.Yes = false;
  m_commands.tmiEditForderDelClick();
  EXPECT_TRUE(m_recorder.Deletions.empty());
  EXPECT_EQ(Names(), (Texts{"A", "B", "C", "D"}));
  m_recorder.Yes = true;
  m_commands.tmiEditForderDelClick();
  ASSERT_EQ(m_recorder.Questions.size(), 3u);
  EXPECT_EQ(m_recorder.Questions[2],
            std::make_pair(std::string("選択されたフォルダ群を削除しますか?"),
                           std::string("選択フォルダの削除")));
  ASSERT_EQ(m_recorder.Deletions.size(), 1u);
  EXPECT_EQ(m_recorder.Deletions[0], (Texts{m_tree.Path("C"), m_tree.Path("B"), m_tree.Path("A")}));
  EXPECT_EQ(Names(), Texts{"D"});
  EXPECT_EQ(m_record.Panels[0], "0 lists");
}

// The shell may refuse, fail, or be told No in its own confirmation: only rows whose folders are
// gone go. A link counts as itself: kept, it keeps its row even when what it named has gone.
TEST_F(CommandsTest, DeleteRemovesOnlyTheRowsWhoseFoldersAreGone) {
  AddFolders({"gone", "kept", "target"});
  std::vector<std::string> kept = {m_tree.Path("kept")};
  for (const char* link : {"link-kept", "link-gone", "link-dangling"}) {
    std::error_code error;
    const char* target = std::string_view(link) == "link-dangling" ? "target" : "kept";
    std::filesystem::create_directory_symlink(m_tree.Path(target), m_tree.Path(link), error);
    if (error) continue;  // no links without privileges on Windows
    m_model.AddResultList(m_tree.Path(link));
    if (std::string_view(link) != "link-gone") kept.push_back(m_tree.Path(link));
  }
  m_recorder.Kept.insert(kept.begin(), kept.end());
  m_model.SetResultSort(0, true);
  SelectAllResults();
  const std::size_t handed = m_model.ResultRowCount();
  m_commands.tmiEditForderDelClick();
  ASSERT_EQ(m_recorder.Deletions.size(), 1u);
  EXPECT_EQ(m_recorder.Deletions[0].size(), handed);
  // What stays is still selected, and sorted again (names descending).
  std::sort(kept.begin(), kept.end(), std::greater<>());
  EXPECT_EQ(Column(m_model, ListKind::Result, 1), kept);
  for (std::size_t i = 0; i < m_model.ResultRowCount(); ++i)
    EXPECT_TRUE(m_model.IsSelected(ListKind::Result, i)) << i;
  EXPECT_EQ(m_record.Panels[0], std::to_string(kept.size()) + " lists");
}

TEST_F(CommandsTest, DeleteNeverHandsOverARoot) {
  m_model.AddResultList(kRoot);
  AddFolders({"gone"});
  SelectAllResults();
  m_commands.tmiEditForderDelClick();
  ASSERT_EQ(m_recorder.Deletions.size(), 1u);
  EXPECT_EQ(m_recorder.Deletions[0], Texts{m_tree.Path("gone")});
  EXPECT_EQ(Column(m_model, ListKind::Result, 1), Texts{kRootLocation});
  EXPECT_TRUE(m_model.IsSelected(ListKind::Result, 0));  // its row stays, still selected
  m_commands.tmiEditForderDelClick();  // only the root left: nothing is handed over
  EXPECT_EQ(m_recorder.Deletions.size(), 1u);
}

TEST_F(CommandsTest, DeleteRemovesOnlyTheRowsItHandedOver) {
  AddFolders({"A", "B", "C"});
  m_model.SetSelected(ListKind::Result, 0, true);
  m_model.SetSelected(ListKind::Result, 1, true);
  // While the question is open: a header click and a new selected row.
  m_recorder.OnQuestion = [this] {
    m_model.lvwResultColumnClick(0);
    m_model.SetSelected(ListKind::Result, IndexOf("C"), true);
  };
  m_commands.tmiEditForderDelClick();
  // The selection read after the question counts; every handed row goes, no other.
  ASSERT_EQ(m_recorder.Deletions.size(), 1u);
  EXPECT_EQ(m_recorder.Deletions[0], (Texts{m_tree.Path("A"), m_tree.Path("B"), m_tree.Path("C")}));
  EXPECT_EQ(m_model.ResultRowCount(), 0u);
}

TEST_F(CommandsTest, WhatTheTrashLeftIsToldInOneMessage) {
  for (const char* name : {"a", "b"})
    m_model.AddResultList(m_tree.Folder(name));
  m_model.SelectAll(ListKind::Result, true);
  m_commands.Run(layout::Command::EditForderDel);
  EXPECT_EQ(m_recorder.Deleted, (Paths{m_tree.Path("b"), m_tree.Path("a")}));
  EXPECT_TRUE(m_recorder.Warnings.empty());

  m_recorder.Refuse = {"/x: no trash", "/y: busy"};
  m_model.AddResultList(m_tree.Folder("c"));
  m_model.SelectAll(ListKind::Result, true);
  m_commands.Run(layout::Command::EditForderDel);
  EXPECT_EQ(m_recorder.Warnings, Paths{std::string(kTextNotTrashed) + "\n/x: no trash\n/y: busy"});
}

// Only the program can say that no file manager opened a folder; a shell that failed otherwise
// has told the user itself, or tells nothing.
TEST_F(CommandsTest, AFolderNoFileManagerOpenedIsToldWithItsPath) {
  m_model.AddResultList(m_tree.Folder("a"));
  m_model.SetSelected(ListKind::Result, 0, true);
  using layout::Command;
  m_recorder.Answer = shell::Handover::Failed;
  m_commands.Run(Command::FileOpenSelectForder);
  m_commands.Run(Command::FileExeExplorer);
  EXPECT_TRUE(m_recorder.Warnings.empty());

  m_recorder.Answer = shell::Handover::NoFileManager;
  m_commands.Run(Command::FileOpenSelectForder);
  m_commands.Run(Command::FileExeExplorer);
  EXPECT_EQ(m_recorder.Warnings, (Paths{std::string(kTextNoFileManager) + "\n" + m_tree.Path("a"),
                                        std::string(kTextNoFileManager)}));
}

// A second instance walks as this one does: the options in force, read back by the program's
// own parser, then the folder.
TEST_F(CommandsTest, ASecondInstanceGetsTheOptionsInForce) {
  m_model.AddResultList(m_tree.Folder("-dash"));
  m_model.SetSelected(ListKind::Result, 0, true);
  m_commands.tmiFileOpenSelectQuilletClick();
  m_model.SetWalkOptions({true, {"*.o", "a b"}});
  m_commands.tmiFileOpenSelectQuilletClick();
  ASSERT_EQ(m_recorder.InstanceOptions.size(), 2u);
  EXPECT_EQ(m_recorder.InstanceOptions[0], Paths{});
  for (const Paths& options : m_recorder.InstanceOptions) {
    Paths arguments = options;
    arguments.push_back(m_tree.Path("-dash"));
    const ProgramArguments parsed = ParseProgramArguments(arguments);
    EXPECT_EQ(parsed.Folder, m_tree.Path("-dash"));
    if (&options == &m_recorder.InstanceOptions[1]) {
      EXPECT_TRUE(parsed.Walk.OneFileSystem);
      EXPECT_EQ(parsed.Walk.Excludes, (Paths{"*.o", "a b"}));
    }
  }
}

// A JSON string of text, for a hand-written scan.
std::string Json(const std::string& text) {
  std::string json = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') json += '\\';
    json += c;
  }
  return json + "\"";
}

// A saved scan's top folders become measured rows with its numbers and its entries; a run
// measures again where the folder is here, and leaves a row whose folder is not; a scan that
// cannot be read is told with the byte where reading stopped.
TEST_F(CommandsTest, ASavedScanBecomesRowsThatARunMeasuresOnlyWhereTheyAreHere) {
  m_tree.File("here/real.bin", 7);
  const std::string scan = m_tree.Path("scan.json");
  {
    std::FILE* file = std::fopen(scan.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const std::string text =
        "[1,2,{},[{\"name\":" + Json(m_tree.Root()) +
        "},"
        "[{\"name\":\"here\"},{\"name\":\"old.bin\",\"asize\":500,\"dsize\":4096}],"
        "[{\"name\":\"gone\"},{\"name\":\"a\",\"asize\":1000},[{\"name\":\"sub\","
        "\"read_error\":true}],{\"name\":\"p\",\"excluded\":\"pattern\",\"asize\":9}],"
        "{\"name\":\"loose\",\"asize\":3}]]";
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
  m_commands.ImportScan(scan);
  EXPECT_TRUE(m_recorder.Warnings.empty());
  EXPECT_EQ(Names(), (Texts{"here", "gone"}));
  EXPECT_EQ(Column(m_model, ListKind::Result, 2), (Texts{"500", "1,000"}));
  EXPECT_EQ(Column(m_model, ListKind::Result, 3), (Texts{"1", "1"}));
  EXPECT_EQ(Column(m_model, ListKind::Result, 4), (Texts{"0", "1"}));
  EXPECT_EQ(m_model.ResultRowAt(1).UnreadableFolders, 1);

  m_model.tmiFileRunClick();
  EXPECT_EQ(Column(m_model, ListKind::Result, 2), (Texts{"7", "1,000"}));
  m_model.SelectAll(ListKind::Result, true);
  m_model.tmiViewFileViewFlagClick();
  const std::string sep(1, kPathSeparator);
  EXPECT_EQ(Column(m_model, ListKind::File, 1),
            (Texts{m_tree.Path("here/real.bin"), m_tree.Root() + sep + "gone" + sep + "a",
                   m_tree.Root() + sep + "gone" + sep + "sub"}));

  {
    std::FILE* file = std::fopen(scan.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("[1,2,{},[{\"name\":\"x\"},", file);
    std::fclose(file);
  }
  m_commands.ImportScan(scan);
  EXPECT_EQ(m_recorder.Warnings,
            (Paths{std::string(kTextImportFailed) + "\n" + scan +
                   "\n22 バイト目: the export ends before its tree does (cut short?)"}));
  EXPECT_EQ(m_model.ResultRowCount(), 2u);
}

// A row whose folders could not all be read shows its own image and says how many in its tooltip;
// its numbers stay as measured.
TEST_F(CommandsTest, RowsWithUnreadableFoldersShowItAndSayHowMany) {
  m_model.AddResultList(m_tree.Folder("clean"));
  m_model.AddResultList(m_tree.Folder("locked"));
  m_tree.Folder("locked/a");
  m_tree.Folder("locked/b");
  m_tree.File("locked/c.bin", 7);
  struct Locked : FileSystemFaults {
    bool SearchFails(std::string_view folder) const override {
      return folder.find("locked") != std::string_view::npos && folder.size() > 12 &&
             (folder.ends_with("a/") || folder.ends_with("b/") || folder.ends_with("a\\") ||
              folder.ends_with("b\\"));
    }
  } faults;
  {
    ScopedFileSystemFaults scoped(faults);
    m_commands.Run(layout::Command::FileRun);
  }
  EXPECT_EQ(m_model.ImageIndex(ListKind::Result, 0), kImageMeasured);
  EXPECT_EQ(RowToolTip(m_model, ListKind::Result, 0), "");
  EXPECT_EQ(m_model.ImageIndex(ListKind::Result, 1), kImageUnreadable);
  EXPECT_EQ(RowToolTip(m_model, ListKind::Result, 1), "読み取れなかったフォルダ: 2");
  EXPECT_EQ(m_model.CellText(ListKind::Result, 1, 2), "7");
  EXPECT_EQ(RowToolTip(m_model, ListKind::File, 0), "");
}

// The one-file-system item starts as the command line left the option, shows its state and
// flips only that option for the next run, the excludes kept.
TEST_F(CommandsTest, OneFileSystemItemFlipsTheWalkOptionAndShowsIt) {
  using layout::Command;
  EXPECT_EQ(m_commands.Checked(Command::ViewOneFileSystem), false);
  EXPECT_EQ(m_commands.Checked(Command::FileRun), std::nullopt);
  m_model.SetWalkOptions(WalkOptions{.OneFileSystem = true, .Excludes = {"*.tmp", "a b"}});
  EXPECT_EQ(m_commands.Checked(Command::ViewOneFileSystem), true);
  m_commands.Run(Command::ViewOneFileSystem);
  EXPECT_FALSE(m_model.CurrentWalkOptions().OneFileSystem);
  EXPECT_EQ(m_commands.Checked(Command::ViewOneFileSystem), false);
  m_commands.Run(Command::ViewOneFileSystem);
  EXPECT_TRUE(m_model.CurrentWalkOptions().OneFileSystem);
  EXPECT_EQ(m_model.CurrentWalkOptions().Excludes, (Paths{"*.tmp", "a b"}));
}

TEST(ShellPathList, EachPathEndsWithNulAndTheListWithOneMore) {
  EXPECT_EQ(shell::MakeShellPathList({"C", "B", "A"}), std::string("C\0B\0A\0\0", 7));
  EXPECT_EQ(shell::MakeShellPathList({}), std::string(1, '\0'));
}

}  // namespace
}  // namespace quillet

namespace quillet {
namespace {

// The treemap pane on the file view: a check item that swaps the panes, a picture that holds
// while a listing fills and is taken again after it, and a click, a double-click and Enter that
// select and open a file as the file list does.
TEST_F(CommandsTest, TreemapDrawsTheFileViewAndPointsAtItsFiles) {
  using layout::Command;
  TreemapPane& pane = m_commands.Treemap();
  EXPECT_EQ(m_commands.Checked(Command::ViewTreemap), false);
  m_commands.Run(Command::ViewTreemap);
  EXPECT_EQ(m_commands.Checked(Command::ViewTreemap), true);
  EXPECT_EQ(m_recorder.Calls, Paths{"treemap"});
  const auto blank = [](std::span<const std::uint32_t> pixels) {
    return std::ranges::all_of(pixels, [](std::uint32_t p) { return p == 0xFFFFFFFFu; });
  };
  EXPECT_TRUE(blank(pane.Picture(40, 20)));  // an empty list: an empty pane, no error
  EXPECT_EQ(pane.HoverText(5, 5), "");

  m_tree.File("a/big.jpg", 3000);
  m_tree.File("a/small.txt", 1000);
  m_model.AddResultList(m_tree.Path("a"));
  m_model.SetSelected(ListKind::Result, 0, true);
  m_commands.Run(Command::ViewFileViewFlag);
  ASSERT_EQ(m_model.FileRowCount(), 2u);
  pane.FileListChanged();
  EXPECT_GE(m_recorder.Repaints, 1);
  const std::size_t big = std::string(m_model.FileRowAt(0).Caption) == "big.jpg" ? 0 : 1;
  const std::span<const std::uint32_t> pixels = pane.Picture(40, 20);
  EXPECT_FALSE(blank(pixels));
  int bigPixels = 0, bigX = -1, bigY = -1;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 40; ++x)
      if (pane.RowAt(x, y) == big) ++bigPixels, bigX = x, bigY = y;
  EXPECT_NEAR(bigPixels, 600, 40);  // three quarters of the pane, within rounding

  const std::string path(m_model.FileRowAt(big).Path);
  EXPECT_EQ(pane.HoverText(bigX, bigY), path + "\n3,000 byte");
  m_model.SetSelected(ListKind::File, 1 - big, true);
  m_commands.TreemapClick(bigX, bigY);
  EXPECT_EQ(m_model.FirstSelected(ListKind::File), big);
  EXPECT_FALSE(m_model.IsSelected(ListKind::File, 1 - big));
  ASSERT_TRUE(pane.Outline());
  EXPECT_TRUE(pane.Outline()->Contains(bigX, bigY));
  m_commands.TreemapEnter();
  m_commands.TreemapDoubleClick(bigX, bigY);
  EXPECT_EQ(m_recorder.Opened, (Paths{path, path}));
  m_commands.TreemapDoubleClick(-1, -1);  // nothing there: nothing opened
  EXPECT_EQ(m_recorder.Opened.size(), 2u);

  // While a listing fills, the picture holds; after it, the tree is taken again.
  pane.BeginFilling();
  m_model.tmiEditAllDelListClick();
  pane.FileListChanged();
  EXPECT_FALSE(blank(pane.Picture(40, 20)));
  pane.EndFilling();
  EXPECT_TRUE(blank(pane.Picture(40, 20)));
  EXPECT_FALSE(pane.RowAt(bigX, bigY));

  m_commands.Run(Command::ViewTreemap);
  EXPECT_EQ(m_recorder.Calls, (Paths{"treemap", "file list"}));
}

}  // namespace
}  // namespace quillet
