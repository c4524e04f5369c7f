#include "ui/Commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../lists/TestFrontend.h"
#include "../scan/TempTree.h"
#include "scan/FileSystemFaults.h"

namespace quillet {
namespace {

using Paths = std::vector<std::string>;

// Records what the commands hand to the shell and to the window.
struct Recorder : shell::Services, CommandWindow {
  Paths Opened, Instances, Deleted, Warnings, Calls;
  Paths Refuse;                                    // what DeleteReversibly reports as left in place
  shell::Handover Answer = shell::Handover::Done;  // what opening and the file manager answer
  shell::Handover OpenPath(const std::string& path) override {
    return Opened.push_back(path), Answer;
  }
  shell::Handover StartFileManager() override { return Calls.push_back("file manager"), Answer; }
  bool StartInstance(const std::string& folder) override {
    return Instances.push_back(folder), true;
  }
  Paths DeleteReversibly(const Paths& paths) override {
    Deleted.insert(Deleted.end(), paths.begin(), paths.end());
    return Refuse;
  }
  bool AskYesNo(std::string_view, std::string_view) override { return true; }
  void ShowWarning(std::string_view text) override { Warnings.emplace_back(text); }
  void FocusResultList() override { Calls.push_back("focus"); }
  void CloseMainWindow() override { Calls.push_back("close"); }
  void ShowAboutBox() override { Calls.push_back("about"); }
};

// The model's shell is the command layer, as in both programs.
class Frontend : public test::TestFrontend {
 public:
  MainCommands* Commands = nullptr;
  Shell& ShellServices() override { return *Commands; }
};

class CommandsTest : public ::testing::Test {
 protected:
  testing::TempTree m_tree;
  Frontend m_frontend;
  ListsModel m_model{m_frontend};
  Recorder m_recorder;
  MainCommands m_commands{m_model, m_recorder, m_recorder};
  CommandsTest() { m_frontend.Commands = &m_commands; }
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

TEST(ShellPathList, EachPathEndsWithNulAndTheListWithOneMore) {
  EXPECT_EQ(shell::MakeShellPathList({"C", "B", "A"}), std::string("C\0B\0A\0\0", 7));
  EXPECT_EQ(shell::MakeShellPathList({}), std::string(1, '\0'));
}

}  // namespace
}  // namespace quillet
