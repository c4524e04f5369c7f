// The Windows program's shell services: drops built as the shell builds them and posted to the
// real main window, what the open commands hand over, the second instance's command line, and,
// once each for real, a second instance started and a folder sent to the recycle bin.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../scan/TempTree.h"
#include "Canvas.h"
#include "Seams.h"
#include "lists/CommandLine.h"
#include "scan/Utf16.h"
#include "ui/shell/Win32Shell.h"
#include "ui/win32/Application.h"
#include "ui/win32/Main.h"

namespace quillet {
namespace {

using Paths = std::vector<std::string>;
using layout::Command;
using testing::Wide;

// The drop handle as the shell makes it: a DROPFILES header, then the wide paths, each ended by
// a NUL, and one more NUL.
HDROP MakeDrop(const std::vector<std::wstring>& paths) {
  std::size_t units = 1;
  for (const std::wstring& path : paths)
    units += path.size() + 1;
  const HGLOBAL memory =
      ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t));
  auto* header = static_cast<DROPFILES*>(::GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  auto* text = reinterpret_cast<wchar_t*>(header + 1);
  for (const std::wstring& path : paths) {
    text = std::copy(path.begin(), path.end(), text);
    *text++ = L'\0';
  }
  ::GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

std::wstring DirectoryOfThisProgram() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class ShellTest : public testing::MainWindowTest {
 protected:
  void Drop(const std::vector<std::string>& paths) {
    std::vector<std::wstring> wide;
    for (const std::string& path : paths)
      wide.push_back(Wide(path));
    ASSERT_TRUE(::PostMessageW(m_window->Handle(), WM_DROPFILES,
                               reinterpret_cast<WPARAM>(MakeDrop(wide)), 0));
    Application.ProcessMessages();
  }
  void DoubleClick(HWND view) {
    NMITEMACTIVATE header = {};
    header.hdr.hwndFrom = view;
    header.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(view));
    header.hdr.code = NM_DBLCLK;
    header.iItem = -1;
    ::SendMessageW(m_window->Handle(), WM_NOTIFY, header.hdr.idFrom,
                   reinterpret_cast<LPARAM>(&header));
  }
  Paths Locations() {
    Paths locations;
    for (std::size_t i = 0; i < m_window->Model().ResultRowCount(); ++i)
      locations.push_back(m_window->Model().ResultRowAt(i).Location);
    return locations;
  }
};

// Folders become rows in drop order, whole and in any script; files, missing paths and empty
// ones are ignored; a drive root becomes "C:".
TEST_F(ShellTest, DroppedFoldersBecomeRowsInDropOrder) {
  Open(false);
  const std::string japanese = m_tree.Folder("写真 フォルダ");
  const std::string file = m_tree.File("メモ.txt", 3);
  std::string deep = "d";
  while (m_tree.Path(deep).size() <= 300)
    deep += "/" + std::string(40, 'x');
  const std::string longFolder = m_tree.Folder(deep);
  ASSERT_GT(longFolder.size(), 300u);
  const std::string plain = m_tree.Folder("plain");

  Drop({japanese, file, longFolder, m_tree.Path("missing"), plain});
  EXPECT_EQ(Locations(), (Paths{japanese, longFolder, plain}));
  const HWND result = m_window->lvwResult();
  EXPECT_EQ(Cell(result, 0, 0), L"写真 フォルダ");
  EXPECT_EQ(Cell(result, 1, 0), std::wstring(40, L'x'));
  EXPECT_EQ(Cell(result, 1, 1), Wide(longFolder));
  // Dropping never measures.
  EXPECT_EQ(Cell(result, 2, 2), L"未解析");

  Drop({"C:\\"});
  ASSERT_EQ(m_window->Model().ResultRowCount(), 4u);
  EXPECT_EQ(m_window->Model().ResultRowAt(3).Location, "C:");
  EXPECT_EQ(Cell(result, 3, 0), L"C:");
  EXPECT_EQ(Cell(result, 3, 1), L"C:");
}

// Each open command and double-click hands over cell 0 of the first selected row of its list,
// and nothing when its list has no selection.
TEST_F(ShellTest, OpenCommandsHandOverTheFirstSelectedRowOnly) {
  m_tree.Folder("a");
  m_tree.File("b/x.txt", 1);
  m_tree.File("c/y.txt", 1);
  m_tree.File("c/z.txt", 1);
  Open(true);
  const HWND result = m_window->lvwResult();
  const HWND files = m_window->lvwFile();
  MainCommands& commands = m_window->Commands();

  for (const Command command :
       {Command::FileOpenSelectForder, Command::FileOpenSelectQuillet, Command::FileOpenSelectFile})
    commands.Run(command);
  DoubleClick(result);
  DoubleClick(files);
  EXPECT_TRUE(m_shell->Opened.empty());
  EXPECT_TRUE(m_shell->Instances.empty());

  Select(result, 1);
  Select(result, 2);
  commands.Run(Command::FileOpenSelectForder);
  DoubleClick(result);
  commands.Run(Command::FileOpenSelectQuillet);
  EXPECT_EQ(m_shell->Opened, (Paths{m_tree.Path("b"), m_tree.Path("b")}));
  EXPECT_EQ(m_shell->Instances, Paths{m_tree.Path("b")});

  commands.Run(Command::ViewFileViewFlag);
  ASSERT_EQ(m_window->Model().RowCount(ListKind::File), 3u);
  DoubleClick(files);  // no file row selected yet
  EXPECT_EQ(m_shell->Opened.size(), 2u);
  Select(files, 1);
  Select(files, 2);
  const std::string second(m_window->Model().FileRowAt(1).Path);
  commands.Run(Command::FileOpenSelectFile);
  DoubleClick(files);
  EXPECT_EQ(m_shell->Opened, (Paths{m_tree.Path("b"), m_tree.Path("b"), second, second}));
}

// The second instance's command line, split as the new instance splits it, gives back exactly
// the program and the folder, whatever blanks, scripts or trailing separators either holds. A
// bare drive goes as its root: "E:" alone would name the current folder of drive E.
TEST(InstanceCommandLine, SplitsIntoExactlyTheProgramAndTheFolder) {
  const std::wstring programs[] = {L"C:\\q\\quillet.exe",
                                   L"C:\\Program Files\\Quillet\\quillet.exe",
                                   L"D:\\道具 箱\\quillet.exe"};
  const struct {
    std::string Folder, Argument;
  } folders[] = {{"E:\\", "E:\\"},
                 {"E:", "E:\\"},
                 {"D:\\My Folder", "D:\\My Folder"},
                 {"C:\\写真 2024\\旅行 ", "C:\\写真 2024\\旅行 "},
                 {"\\\\server\\share\\a b", "\\\\server\\share\\a b"}};
  for (const std::wstring& program : programs) {
    for (const auto& folder : folders) {
      const std::string line =
          ToUtf8(std::wstring_view(shell::InstanceCommandLine(program, folder.Folder)));
      EXPECT_EQ(SplitCommandLine(line),
                (Paths{ToUtf8(std::wstring_view(program)), folder.Argument}))
          << line;
      EXPECT_EQ(FirstArgument(line), folder.Argument) << line;
    }
  }
}

// The options before the folder come back as the options in force, blanks and all; a pattern
// with a double quote, which the splitter cannot carry (and no Windows name holds), is left out.
TEST(InstanceCommandLine, CarriesTheOptionsBeforeTheFolder) {
  const std::vector<std::string> options = {"-x", "--exclude=a b", "--exclude=say\"hi\"",
                                            "--exclude=*.tmp", "--"};
  const std::string line = ToUtf8(
      std::wstring_view(shell::InstanceCommandLine(L"C:\\q\\quillet.exe", "D:\\-x", options)));
  std::vector<std::string> arguments = SplitCommandLine(line);
  ASSERT_FALSE(arguments.empty());
  arguments.erase(arguments.begin());
  const ProgramArguments parsed = ParseProgramArguments(arguments);
  EXPECT_TRUE(parsed.Walk.OneFileSystem) << line;
  EXPECT_EQ(parsed.Walk.Excludes, (Paths{"a b", "*.tmp"})) << line;
  EXPECT_EQ(parsed.Folder, "D:\\-x") << line;
}

// For real: a program copied under a path with a blank and Japanese characters, started on a
// folder with the same, reads that folder as its first argument.
TEST(StartProgramOn, TheNewProcessReadsTheFolderAsItsFirstArgument) {
  testing::TempTree tree;
  const std::wstring probe = DirectoryOfThisProgram() + L"quillet_instance_probe.exe";
  ASSERT_TRUE(Exists(probe));
  tree.Folder("道具 箱");
  const std::wstring copy = Wide(tree.Path("道具 箱/quillet copy.exe"));
  ASSERT_TRUE(::CopyFileW(probe.c_str(), copy.c_str(), TRUE));
  const std::string folder = tree.Folder("測る フォルダ");
  const std::wstring output = Wide(tree.Path("argument.txt"));
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QUILLET_PROBE_OUTPUT", output.c_str()));

  ASSERT_TRUE(shell::StartProgramOn(copy, folder));
  // Bounded: a probe that never writes fails the test instead of hanging it.
  for (int i = 0; i < 300 && !Exists(output); ++i)
    ::Sleep(100);
  const HANDLE file = ::CreateFileW(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "the started program reported nothing";
  std::string argument(4096, '\0');
  DWORD read = 0;
  ::ReadFile(file, argument.data(), static_cast<DWORD>(argument.size()), &read, nullptr);
  ::CloseHandle(file);
  argument.resize(read);
  EXPECT_EQ(argument, folder);
}

// For real: a folder sent to the recycle bin after the shell's own confirmation. Wine keeps its
// recycle bin in the freedesktop trash under XDG_DATA_HOME, which the test run points at a
// scratch folder; without it nothing is deleted.
TEST(DeleteReversibly, SendsTheFolderToTheRecycleBinAfterTheShellsQuestion) {
  wchar_t dataHome[32768] = {};
  if (::GetEnvironmentVariableW(L"XDG_DATA_HOME", dataHome, 32768) == 0)
    GTEST_SKIP() << "XDG_DATA_HOME names no scratch trash";
  using DosName = wchar_t*(CDECL*)(const char*);
  const auto dosName = reinterpret_cast<DosName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (dosName == nullptr) GTEST_SKIP() << "not under wine";
  wchar_t* trash = dosName((ToUtf8(std::wstring_view(dataHome)) + "/Trash").c_str());
  ASSERT_NE(trash, nullptr);
  const std::wstring trashRoot = trash;
  ::HeapFree(::GetProcessHeap(), 0, trash);
  const std::string name = "消す フォルダ";
  const std::wstring trashed = trashRoot + L"\\files\\" + Wide(name);
  const std::wstring content = trashed + L"\\中身.txt";
  const std::wstring record = trashRoot + L"\\info\\" + Wide(name) + L".trashinfo";
  // The scratch trash keeps nothing of a run, so the folder keeps its name in the next one.
  const auto empty = [&] {
    ::DeleteFileW(content.c_str());
    ::RemoveDirectoryW(trashed.c_str());
    ::DeleteFileW(record.c_str());
  };
  empty();

  testing::TempTree tree;
  const std::string folder = tree.Folder(name);
  tree.File(name + "/中身.txt", 7);
  int answered = 0;
  {
    // The shell's own question, answered Yes as soon as its loop runs.
    testing::PostOnCreate yes(testing::IsDialogBox(), WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED));
    EXPECT_TRUE(shell::MakeSystemServices(nullptr)->DeleteReversibly({folder}).empty());
    answered = yes.Created;
  }
  EXPECT_EQ(answered, 1);
  EXPECT_FALSE(Exists(Wide(folder)));
  EXPECT_TRUE(Exists(content));
  EXPECT_TRUE(Exists(record));
  empty();
}

}  // namespace
}  // namespace quillet
