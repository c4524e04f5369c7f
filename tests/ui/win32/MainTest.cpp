// The Windows program's main window, created for real in this process and driven with window
// messages as the system would send them (under wine's null graphics driver: no display needed).
#include "ui/win32/Main.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cwctype>
#include <iterator>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "../../scan/TempTree.h"
#include "Canvas.h"
#include "Seams.h"
#include "scan/Utf16.h"
#include "ui/win32/Application.h"

namespace quillet {
namespace {

using Paths = std::vector<std::string>;
using layout::Command;

using testing::PostOnCreate;

class MainTest : public testing::MainWindowTest {
 protected:
  void Notify(HWND view, UINT code, int column = 0) {
    NMLISTVIEW header = {};
    header.hdr.hwndFrom = view;
    header.hdr.idFrom = static_cast<UINT_PTR>(::GetDlgCtrlID(view));
    header.hdr.code = code;
    header.iItem = -1;
    header.iSubItem = column;
    ::SendMessageW(m_window->Handle(), WM_NOTIFY, header.hdr.idFrom,
                   reinterpret_cast<LPARAM>(&header));
  }
  // Clicks a menu item the way a user does: drops its entry's menu and chooses it there.
  void ChooseMenu(Command command) {
    for (std::size_t entry = 0; entry < layout::kMainMenu.size(); ++entry) {
      for (const layout::MenuItem& item : layout::kMainMenu[entry].Items) {
        if (item.Action != command) continue;
        m_window->SetMenuTracker([&](HMENU menu, std::size_t dropped) -> UINT {
          EXPECT_EQ(dropped, entry);
          EXPECT_EQ(::GetMenuState(menu, CommandId(command), MF_BYCOMMAND) & MF_GRAYED, 0u);
          return CommandId(command);
        });
        m_window->DropMenu(entry);
        return;
      }
    }
    FAIL() << "no menu item runs the command";
  }
  RECT ButtonRect(HWND bar, Command command) {
    RECT rect = {};
    ::SendMessageW(bar, TB_GETRECT, CommandId(command), reinterpret_cast<LPARAM>(&rect));
    return rect;
  }
  void Mouse(HWND bar, UINT message, const RECT& at) {
    ::SendMessageW(bar, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                   MAKELPARAM((at.left + at.right) / 2, (at.top + at.bottom) / 2));
  }
  // A panel's text as the status bar holds it; a right-aligned panel is drawn by the window,
  // from the text the status bar hands back instead of copying it.
  std::wstring Panel(int index) {
    const HWND bar = m_window->stbMain();
    const auto length =
        static_cast<DWORD>(::SendMessageW(bar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(index), 0));
    if ((HIWORD(length) & SBT_OWNERDRAW) != 0) {
      const LRESULT drawn = ::SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(index), 0);
      return drawn == 0 ? L"" : reinterpret_cast<const wchar_t*>(drawn);
    }
    wchar_t text[256] = {};
    ::SendMessageW(bar, SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
  }
  int Height(HWND window) {
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    return rect.bottom - rect.top;
  }
};

TEST_F(MainTest, EveryMenuItemReachesItsHandler) {
  m_tree.File("full/a.bin", 1000);
  m_tree.Folder("empty");
  Open();
  const HWND result = m_window->lvwResult();
  ASSERT_EQ(Count(result), 2);
  ListsModel& model = m_window->Model();

  ChooseMenu(Command::FileRun);
  EXPECT_EQ(m_window->PanelText(StatusPanel::Run), "解析終了");
  ChooseMenu(Command::FileExeExplorer);
  EXPECT_EQ(m_shell->FileManagers, 1);
  ChooseMenu(Command::EditZeroForderSel);
  EXPECT_EQ(::GetFocus(), result);
  ASSERT_TRUE(model.FirstSelected(ListKind::Result));
  EXPECT_EQ(model.ResultRowAt(*model.FirstSelected(ListKind::Result)).Caption, "empty");
  ChooseMenu(Command::FileOpenSelectForder);
  ChooseMenu(Command::FileOpenSelectQuillet);
  EXPECT_EQ(m_shell->Opened, Paths{m_tree.Path("empty")});
  EXPECT_EQ(m_shell->Instances, Paths{m_tree.Path("empty")});

  model.SelectAll(ListKind::Result, true);
  ChooseMenu(Command::ViewFileViewFlag);
  ASSERT_EQ(Count(m_window->lvwFile()), 1);
  Select(m_window->lvwFile(), 0);
  ChooseMenu(Command::FileOpenSelectFile);
  EXPECT_EQ(m_shell->Opened.back(), m_tree.Path("full/a.bin"));

  std::vector<std::string> questions;
  m_window->Commands().SetMessageHook([&](const Message& message) {
    questions.emplace_back(message.Text);
    return false;
  });
  ChooseMenu(Command::EditForderDel);
  ChooseMenu(Command::EditForderZeroDel);
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_TRUE(m_shell->Deleted.empty());

  {
    PostOnCreate closeAbout(ToUtf16<wchar_t>(layout::kAboutBox.Caption), WM_CLOSE, 0);
    ChooseMenu(Command::HelpAbout);  // returns once the box closed
    EXPECT_EQ(closeAbout.Created, 1);
  }
  Select(result, 0);
  ChooseMenu(Command::EditDelList);
  EXPECT_EQ(Count(result), 1);
  ChooseMenu(Command::EditAllDelList);
  EXPECT_EQ(Count(result), 0);
  EXPECT_EQ(Count(m_window->lvwFile()), 0);

  ChooseMenu(Command::FileClose);
  Application.ProcessMessages();
  EXPECT_FALSE(::IsWindow(m_window->Handle()));
}

// Bound buttons act when pressed (and again on a double-click's second press); tbnMain08 on
// release, like an ordinary button.
// The one-file-system item's mark is the walk option's as the menu drops down, whoever set it.
TEST_F(MainTest, TheOneFileSystemItemShowsItsMarkWhenItsMenuDrops) {
  Open();
  ListsModel& model = m_window->Model();
  const UINT id = CommandId(Command::ViewOneFileSystem);
  std::vector<UINT> marks;
  m_window->SetMenuTracker([&](HMENU menu, std::size_t) -> UINT {
    marks.push_back(::GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED);
    return marks.size() == 2 ? id : 0;
  });
  m_window->DropMenu(2);
  WalkOptions oneFileSystem;
  oneFileSystem.OneFileSystem = true;
  model.SetWalkOptions(oneFileSystem);
  m_window->DropMenu(2);  // chooses the item: off again
  m_window->DropMenu(2);
  EXPECT_EQ(marks, (std::vector<UINT>{0, MF_CHECKED, 0}));
  EXPECT_FALSE(model.CurrentWalkOptions().OneFileSystem);
}

TEST_F(MainTest, ToolButtonsActOnPressOrRelease) {
  m_tree.Folder("one");
  Open();
  const HWND bar = m_window->tbrMain();
  Select(m_window->lvwResult(), 0);
  const RECT open = ButtonRect(bar, Command::FileOpenSelectQuillet);
  Mouse(bar, WM_LBUTTONDOWN, open);
  EXPECT_EQ(m_shell->Instances.size(), 1u);
  Mouse(bar, WM_LBUTTONUP, open);
  Application.ProcessMessages();
  EXPECT_EQ(m_shell->Instances.size(), 1u);
  Mouse(bar, WM_LBUTTONDBLCLK, open);
  Mouse(bar, WM_LBUTTONUP, open);
  EXPECT_EQ(m_shell->Instances.size(), 2u);

  m_tree.File("one/x.txt", 5);
  const RECT view = ButtonRect(bar, Command::ViewFileViewFlag);
  Mouse(bar, WM_LBUTTONDOWN, view);
  EXPECT_EQ(Count(m_window->lvwFile()), 0);
  Mouse(bar, WM_LBUTTONUP, view);
  Application.ProcessMessages();
  EXPECT_EQ(Count(m_window->lvwFile()), 1);
}

// Esc in the progress dialog is Cancel: the update that processes it still answers go on, so the
// first row is measured and the run stops before the second.
TEST_F(MainTest, EscInTheProgressDialogCancelsTheRunAtTheNextUpdate) {
  for (const char* name : {"a", "b", "c"})
    m_tree.File(std::string(name) + "/f.bin", 10);
  Open();
  {
    PostOnCreate esc(ToUtf16<wchar_t>(layout::kProgressDialog.Caption), WM_KEYDOWN, VK_ESCAPE);
    m_window->Commands().Run(Command::FileRun);
    EXPECT_EQ(esc.Created, 1);
  }
  EXPECT_EQ(m_window->PanelText(StatusPanel::Run), "解析開始");
  EXPECT_EQ(Cell(m_window->lvwResult(), 0, 2), L"10");
  EXPECT_EQ(Cell(m_window->lvwResult(), 1, 2), L"未解析");
  // The next run is not cancelled by the last one's key.
  m_window->Commands().Run(Command::FileRun);
  EXPECT_EQ(Cell(m_window->lvwResult(), 2, 2), L"10");
  EXPECT_EQ(m_window->PanelText(StatusPanel::Run), "解析終了");
  {
    PostOnCreate esc(ToUtf16<wchar_t>(layout::kProgressDialog.Caption), WM_KEYDOWN, VK_ESCAPE);
    m_window->Model().SelectAll(ListKind::Result, true);
    m_window->Commands().Run(Command::ViewFileViewFlag);
  }
  EXPECT_EQ(Count(m_window->lvwFile()), 2);  // "a\f.bin" added, then the stop after the next
}

// Closing the window while a run's update pumps cancels the run: that update still answers go on,
// so the first row is measured and the run stops before the second.
TEST_F(MainTest, ClosingTheWindowDuringARunCancelsIt) {
  for (const char* name : {"a", "b", "c"})
    m_tree.File(std::string(name) + "/f.bin", 10);
  Open();
  const HWND window = m_window->Handle();
  const std::wstring dialog = ToUtf16<wchar_t>(layout::kProgressDialog.Caption);
  {
    // The close waits in the queue from the dialog's creation on: the first update processes it.
    PostOnCreate close(
        [&](HWND, const CREATESTRUCTW& create) {
          if (!IS_INTRESOURCE(create.lpszName) && create.lpszName != nullptr &&
              dialog == create.lpszName) {
            ::PostMessageW(window, WM_CLOSE, 0, 0);
          }
          return false;
        },
        WM_NULL, 0);
    m_window->Commands().Run(Command::FileRun);
  }
  EXPECT_FALSE(::IsWindow(window));
  const ListsModel& model = m_window->Model();
  EXPECT_TRUE(model.ResultRowAt(0).Measured);
  EXPECT_FALSE(model.ResultRowAt(1).Measured);
  EXPECT_FALSE(model.ResultRowAt(2).Measured);
}

TEST_F(MainTest, SelectionSortAndRemovalShowInTheListsAndPanels) {
  m_tree.File("small/x", 5);
  m_tree.File("big/x", 3000);
  m_tree.File("mid/x", 1200);
  Open();
  const HWND result = m_window->lvwResult();
  m_window->Commands().Run(Command::FileRun);
  Notify(result, LVN_COLUMNCLICK, 2);  // first click: largest first
  EXPECT_EQ(Cell(result, 0, 0), L"big");
  EXPECT_EQ(Cell(result, 1, 2), L"1,200");
  EXPECT_EQ(Cell(result, 2, 0), L"small");
  Select(result, 0);
  Select(result, 2);
  EXPECT_EQ(Panel(0), L"2 lists");
  // What the directory query says the two rows occupy, as each file says it of itself.
  const std::vector<std::int64_t> disk =
      testing::DiskUsage({m_tree.Path("big"), m_tree.Path("small")});
  ASSERT_EQ(disk.size(), 2u);
  EXPECT_EQ(Panel(1), L"3,005 byte (" + testing::Wide(CountText(disk[0] + disk[1])) + L" on disk)");
  EXPECT_EQ(Panel(3), L"0 forders");
  // Removing re-sorts the rest and keeps the view's rows, cells and selection in step.
  m_window->Commands().Run(Command::EditDelList);
  ASSERT_EQ(Count(result), 1);
  EXPECT_EQ(Cell(result, 0, 0), L"mid");
  EXPECT_EQ(::SendMessageW(result, LVM_GETSELECTEDCOUNT, 0, 0), 0);
  EXPECT_EQ(Panel(0), L"0 lists");
}

TEST_F(MainTest, SplitterKeepsBothListsAtLeastThirtyPixelsAndTabMovesBetweenThem) {
  Open(false);
  const HWND splitter = m_window->Splitter1();
  const int before = Height(m_window->lvwFile());
  EXPECT_EQ(before, layout::kFileListHeight * static_cast<int>(WindowDpi(m_window->Handle())) / 96);
  for (const int drag : {-5000, 5000}) {
    ::SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
    ::SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, drag));
    ::SendMessageW(splitter, WM_LBUTTONUP, 0, MAKELPARAM(5, drag));
    EXPECT_GE(Height(m_window->lvwResult()), 30) << drag;
    EXPECT_GE(Height(m_window->lvwFile()), 30) << drag;
  }
  EXPECT_EQ(Height(m_window->lvwFile()), 30);

  ::SetFocus(m_window->lvwResult());
  ::SendMessageW(m_window->lvwResult(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(::GetFocus(), m_window->lvwFile());
  ::SendMessageW(m_window->lvwFile(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(::GetFocus(), m_window->lvwResult());

  // Alt with a menu's letter reaches the focused list; the menu drops down.
  std::vector<std::size_t> dropped;
  m_window->SetMenuTracker([&](HMENU, std::size_t entry) -> UINT {
    dropped.push_back(entry);
    return 0;
  });
  for (const wchar_t letter : {L'e', L'H', L'v', L'f'})
    ::SendMessageW(m_window->lvwResult(), WM_SYSCHAR, letter, 1u << 29);
  EXPECT_EQ(dropped, (std::vector<std::size_t>{1, 3, 2, 0}));
}

// After a splitter move or a resize, both lists (headers and scroll bars included) and the
// status bar are drawn again whole: a list that repaints only what it thinks it exposed keeps
// bits of its old place, rows beside other rows' cells and stray scroll arrows.
TEST_F(MainTest, SplitterMovesAndResizesRedrawTheListsAndTheStatusBarWhole) {
  for (int i = 0; i < 40; ++i)
    m_tree.File("f" + std::to_string(i) + "/x.bin", 117870);
  Open();
  m_window->Model().SelectAll(ListKind::Result, true);
  m_window->Commands().Run(Command::ViewFileViewFlag);
  const HWND splitter = m_window->Splitter1();
  const auto drag = [&](int by) {
    ::SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
    ::SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 1 + by));
    ::SendMessageW(splitter, WM_LBUTTONUP, 0, MAKELPARAM(5, 1 + by));
  };
  const auto grow = [&](int width, int height) {
    RECT frame = {};
    ::GetWindowRect(m_window->Handle(), &frame);
    ::SetWindowPos(m_window->Handle(), nullptr, 0, 0, frame.right - frame.left + width,
                   frame.bottom - frame.top + height, SWP_NOMOVE | SWP_NOZORDER);
  };
  const struct {
    const char* What;
    std::function<void()> Act;
  } steps[] = {{"splitter up", [&] { drag(-100); }},
               {"splitter down", [&] { drag(60); }},
               {"wider and taller", [&] { grow(50, 80); }},
               {"narrower", [&] { grow(-120, 0); }}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.What);
    Application.ProcessMessages();  // everything painted
    step.Act();
    const std::pair<const char*, HWND> controls[] = {
        {"lvwResult", m_window->lvwResult()},
        {"lvwFile", m_window->lvwFile()},
        {"stbMain", m_window->stbMain()},
        {"lvwResult's header", ListView_GetHeader(m_window->lvwResult())},
        {"lvwFile's header", ListView_GetHeader(m_window->lvwFile())}};
    for (const auto& [name, control] : controls) {
      RECT client = {};
      ::GetClientRect(control, &client);
      const HRGN invalid = ::CreateRectRgn(0, 0, 0, 0);
      const HRGN whole = ::CreateRectRgnIndirect(&client);
      ::GetUpdateRgn(control, invalid, FALSE);
      EXPECT_TRUE(::EqualRgn(invalid, whole)) << name;
      ::DeleteObject(invalid);
      ::DeleteObject(whole);
    }
  }
}

// A width given in the header, as each mouse move of a drag of its divider gives one, has the
// list draw every cell again: where the list only shifts the old pixels of the columns to the
// right, right-aligned numbers show cut digits and pieces of the paths beside them.
TEST_F(MainTest, AColumnWidthChangedInTheHeaderRedrawsEveryCell) {
  for (int i = 0; i < 30; ++i)
    m_tree.File("folder" + std::to_string(i) + "/x.bin", 26381575);
  Open();
  m_window->Commands().Run(Command::FileRun);
  const HWND result = m_window->lvwResult();
  const HWND header = ListView_GetHeader(result);
  for (const int by : {40, -25}) {
    SCOPED_TRACE(by);
    Application.ProcessMessages();
    ::UpdateWindow(result);  // everything painted, nothing left to paint
    HDITEMW item = {};
    item.mask = HDI_WIDTH;
    item.cxy = ListView_GetColumnWidth(result, 0) + by;
    ASSERT_TRUE(::SendMessageW(header, HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(ListView_GetColumnWidth(result, 0), item.cxy);
    RECT client = {};
    ::GetClientRect(result, &client);
    const HRGN invalid = ::CreateRectRgn(0, 0, 0, 0);
    const HRGN whole = ::CreateRectRgnIndirect(&client);
    ::GetUpdateRgn(result, invalid, FALSE);
    EXPECT_TRUE(::EqualRgn(invalid, whole));
    ::DeleteObject(invalid);
    ::DeleteObject(whole);
  }
}

// Minimised, then restored, the result list is still scrolled where it was.
TEST_F(MainTest, MinimiseAndRestoreKeepTheListScrolled) {
  for (int i = 0; i < 200; ++i)
    m_tree.Folder("d" + std::to_string(1000 + i));
  Open();
  const HWND result = m_window->lvwResult();
  ::SendMessageW(result, LVM_ENSUREVISIBLE, 150, FALSE);
  const auto top = [&] { return ::SendMessageW(result, LVM_GETTOPINDEX, 0, 0); };
  const LRESULT scrolled = top();
  ASSERT_GT(scrolled, 100);
  ::ShowWindow(m_window->Handle(), SW_MINIMIZE);
  Application.ProcessMessages();
  ASSERT_TRUE(::IsIconic(m_window->Handle()));
  ::ShowWindow(m_window->Handle(), SW_RESTORE);
  Application.ProcessMessages();
  EXPECT_EQ(top(), scrolled);
}

// The right-aligned status texts end by their panels' dividers, and keep off them by the margin
// the left-aligned text keeps from its panel's left edge (3 pixels at 96 DPI).
TEST_F(MainTest, RightAlignedStatusTextsKeepAMarginFromTheDividers) {
  m_tree.File("big/x.bin", 5000001);
  for (int i = 0; i < 5; ++i)
    m_tree.Folder("e" + std::to_string(i));
  Open();
  m_window->Commands().Run(Command::FileRun);
  Application.ProcessMessages();
  const HWND bar = m_window->stbMain();
  RECT client = {};
  ::GetClientRect(bar, &client);
  // The text is what the panels show beyond their empty selves (dividers included).
  testing::Canvas empty(client.right, client.bottom, RGB(255, 0, 255));
  empty.PrintClient(bar);
  m_window->Model().SelectAll(ListKind::Result, true);
  Application.ProcessMessages();
  testing::Canvas filled(client.right, client.bottom, RGB(255, 0, 255));
  filled.PrintClient(bar);
  const int margin = 3 * static_cast<int>(WindowDpi(m_window->Handle())) / 96;
  for (int panel = 0; panel < 4; ++panel) {
    SCOPED_TRACE(panel);
    RECT part = {};
    ASSERT_TRUE(::SendMessageW(bar, SB_GETRECT, panel, reinterpret_cast<LPARAM>(&part)));
    int last = -1;
    for (int x = part.left; x < part.right; ++x) {
      for (int y = part.top; y < part.bottom; ++y) {
        if (filled.Pixel(x, y) != empty.Pixel(x, y)) last = x;
      }
    }
    ASSERT_GE(last, 0) << "no text";
    // Inside the panel's edge (its divider, two pixels), then the margin.
    EXPECT_LT(last, part.right - 2 - margin);
    EXPECT_GE(last, part.right - 2 - margin - 4);
  }
}

// The location column takes exactly the room the others leave, also when rows arriving or
// going make a vertical scroll bar come or go: no column is cut and no horizontal bar appears.
TEST_F(MainTest, ColumnsFitTheListWhenTheVerticalScrollBarComesOrGoes) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 10; ++j)
      m_tree.File("f" + std::to_string(i) + "/" + std::to_string(j) + ".bin", 117870);
  }
  Open();
  const auto fits = [&](HWND view) {
    RECT client = {};
    ::GetClientRect(view, &client);
    const HWND header = ListView_GetHeader(view);
    int sum = 0;
    for (int i = 0; i < Header_GetItemCount(header); ++i)
      sum += ListView_GetColumnWidth(view, i);
    const bool vertical = (::GetWindowLongW(view, GWL_STYLE) & WS_VSCROLL) != 0;
    const bool horizontal = (::GetWindowLongW(view, GWL_STYLE) & WS_HSCROLL) != 0;
    return std::tuple{sum == client.right, vertical, horizontal};
  };
  using Fit = std::tuple<bool, bool, bool>;
  EXPECT_EQ(fits(m_window->lvwResult()), (Fit{true, false, false}));
  // A drop adds rows past the visible area.
  Paths more;
  for (int i = 3; i < 40; ++i)
    more.push_back(m_tree.Folder("g" + std::to_string(i)));
  m_window->Commands().DropFiles(more);
  EXPECT_EQ(fits(m_window->lvwResult()), (Fit{true, true, false}));
  // The file view fills the lower list past one screen.
  m_window->Model().SelectAll(ListKind::Result, true);
  m_window->Commands().Run(Command::ViewFileViewFlag);
  EXPECT_EQ(Count(m_window->lvwFile()), 30);
  EXPECT_EQ(fits(m_window->lvwFile()), (Fit{true, true, false}));
  // And the bar goes again when the rows go.
  m_window->Commands().Run(Command::EditAllDelList);
  EXPECT_EQ(fits(m_window->lvwResult()), (Fit{true, false, false}));
  EXPECT_EQ(fits(m_window->lvwFile()), (Fit{true, false, false}));
}

// The Japanese the program draws itself (the menu items, the status text, the menu entries'
// captions) asks for the Japanese character set: where the system's faces have no kanji and
// none is substituted, that request is what finds a face that has them. The menus are drawn by
// the program for it, and still take their marked letters from the keyboard.
TEST_F(MainTest, MenusAndStatusTextAskForJapaneseAndMenusKeepTheirLetters) {
  Open(false);
  const auto charset = [](HWND control) {
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    LOGFONTW logical = {};
    return font != nullptr && ::GetObjectW(font, sizeof logical, &logical) == sizeof logical
               ? static_cast<int>(logical.lfCharSet)
               : -1;
  };
  EXPECT_EQ(charset(m_window->stbMain()), SHIFTJIS_CHARSET);
  EXPECT_EQ(charset(m_window->tbrMenu()), SHIFTJIS_CHARSET);

  const HWND window = m_window->Handle();
  for (std::size_t entry = 0; entry < layout::kMainMenu.size(); ++entry) {
    const HMENU menu = m_window->MenuOf(entry);
    const auto& items = layout::kMainMenu[entry].Items;
    ASSERT_EQ(::GetMenuItemCount(menu), static_cast<int>(items.size()));
    for (std::size_t position = 0; position < items.size(); ++position) {
      const layout::MenuItem& item = items[position];
      SCOPED_TRACE(std::string(item.Name));
      MENUITEMINFOW info = {};
      info.cbSize = sizeof info;
      info.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_ID;
      ASSERT_TRUE(::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info));
      if (item.IsSeparator()) {
        EXPECT_NE(info.fType & MFT_SEPARATOR, 0u);
        continue;
      }
      ASSERT_NE(info.fType & MFT_OWNERDRAW, 0u);
      // Measured as wide as its caption and picture need, and drawn: the highlight's colour
      // under a selected item, and ink to the right of the picture column (the caption).
      MEASUREITEMSTRUCT measure = {};
      measure.CtlType = ODT_MENU;
      measure.itemID = info.wID;
      measure.itemData = info.dwItemData;
      ASSERT_TRUE(::SendMessageW(window, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)));
      EXPECT_GE(measure.itemHeight, 16u);
      EXPECT_GT(measure.itemWidth, 60u);
      for (const bool selected : {false, true}) {
        testing::Canvas canvas(static_cast<int>(measure.itemWidth),
                               static_cast<int>(measure.itemHeight), RGB(255, 0, 255));
        DRAWITEMSTRUCT draw = {};
        draw.CtlType = ODT_MENU;
        draw.itemID = info.wID;
        draw.itemData = info.dwItemData;
        draw.itemState = selected ? ODS_SELECTED : 0;
        draw.hDC = canvas.Dc();
        draw.rcItem = {0, 0, canvas.Width(), canvas.Height()};
        ASSERT_TRUE(::SendMessageW(window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw)));
        EXPECT_EQ(canvas.Pixel(canvas.Width() - 1, 0),
                  ::GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
        const std::set<int> ink = canvas.InkColumns();
        EXPECT_TRUE(!ink.empty() && *ink.rbegin() > 16 + 10 + 20) << selected;
      }
      // The marked letter chooses the item in the dropped menu; an item without one
      // ("容量0のフォルダを選択(Z)") has no letter.
      const std::size_t mark = item.Caption.find('&');
      const wchar_t letter = mark == std::string_view::npos ? L'z' : item.Caption[mark + 1];
      const LRESULT chosen =
          ::SendMessageW(window, WM_MENUCHAR, MAKEWPARAM(std::towlower(letter), MF_POPUP),
                         reinterpret_cast<LPARAM>(menu));
      if (mark == std::string_view::npos) {
        EXPECT_EQ(HIWORD(chosen), MNC_IGNORE);
      } else {
        EXPECT_EQ(chosen, MAKELRESULT(position, MNC_EXECUTE));
      }
    }
  }
}

// Alt pressed alone marks the menu, as a menu bar is marked: its first entry shows as hot and
// nothing drops. Left and Right move the mark, Down or Enter drop the marked entry's menu, a
// marked letter drops its entry; Esc, Alt again or the list losing the focus leave it. While
// it is marked the list does nothing with the keys.
TEST_F(MainTest, AltAloneMarksTheMenuAndTheKeyboardGoesOnFromThere) {
  m_tree.Folder("a");
  m_tree.Folder("b");
  Open();
  std::vector<std::size_t> dropped;
  m_window->SetMenuTracker([&](HMENU, std::size_t entry) -> UINT {
    dropped.push_back(entry);
    return 0;
  });
  const HWND list = m_window->lvwResult();
  ::SetFocus(list);
  // As the system sends a press and release of Alt alone to the focused window.
  const auto alt = [&] {
    ::SendMessageW(list, WM_SYSKEYDOWN, VK_MENU, 0x20380001);
    ::SendMessageW(list, WM_SYSKEYUP, VK_MENU, static_cast<LPARAM>(0xC0380001u));
  };
  const auto key = [&](WPARAM code) { ::SendMessageW(list, WM_KEYDOWN, code, 1); };
  const auto hot = [&] {
    return static_cast<int>(::SendMessageW(m_window->tbrMenu(), TB_GETHOTITEM, 0, 0));
  };
  using Drops = std::vector<std::size_t>;
  EXPECT_EQ(hot(), -1);

  alt();
  EXPECT_EQ(hot(), 0);
  EXPECT_EQ(dropped, Drops{});
  key(VK_END);  // not the list's while the menu is marked
  EXPECT_EQ(::SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 0);
  key(VK_DOWN);
  EXPECT_EQ(dropped, Drops{0});
  EXPECT_EQ(hot(), -1);

  alt();
  key(VK_RIGHT);
  key(VK_RIGHT);
  EXPECT_EQ(hot(), 2);
  key(VK_LEFT);
  key(VK_RETURN);
  EXPECT_EQ(dropped, (Drops{0, 1}));

  alt();
  key(VK_LEFT);  // round to the last entry
  EXPECT_EQ(hot(), 3);
  key(VK_ESCAPE);
  EXPECT_EQ(hot(), -1);
  key(VK_DOWN);  // the list's again
  alt();
  alt();
  EXPECT_EQ(hot(), -1);
  EXPECT_EQ(dropped, (Drops{0, 1}));

  alt();
  ::SendMessageW(list, WM_CHAR, L'v', 1);
  EXPECT_EQ(dropped, (Drops{0, 1, 2}));
  alt();
  ::SetFocus(m_window->lvwFile());
  EXPECT_EQ(hot(), -1);
  EXPECT_EQ(dropped, (Drops{0, 1, 2}));
}

// Ctrl+A in a list selects every row of that list, through the shared command.
TEST_F(MainTest, CtrlASelectsEveryRowOfTheFocusedList) {
  for (const char* name : {"a", "b", "c"})
    m_tree.File(std::string(name) + "/x.bin", 10);
  Open();
  m_window->Model().SetSelected(ListKind::Result, 1, true);
  m_window->Commands().Run(Command::ViewFileViewFlag);
  m_window->Model().SetSelected(ListKind::Result, 1, false);
  BYTE keys[256] = {};
  ASSERT_TRUE(::GetKeyboardState(keys));
  const auto pressCtrlA = [&](HWND view) {
    BYTE held[256];
    std::copy(std::begin(keys), std::end(keys), held);
    held[VK_CONTROL] = held[VK_LCONTROL] = 0x80;
    ::SetKeyboardState(held);
    ::SetFocus(view);
    ::SendMessageW(view, WM_KEYDOWN, 'A', 0x001E0001);
    ::SetKeyboardState(keys);
  };
  ::SendMessageW(m_window->lvwResult(), WM_KEYDOWN, 'A', 0x001E0001);  // A alone: a search
  EXPECT_EQ(::SendMessageW(m_window->lvwResult(), LVM_GETSELECTEDCOUNT, 0, 0), 0);
  pressCtrlA(m_window->lvwResult());
  EXPECT_EQ(::SendMessageW(m_window->lvwResult(), LVM_GETSELECTEDCOUNT, 0, 0), 3);
  EXPECT_EQ(Panel(0), L"3 lists");
  EXPECT_EQ(::SendMessageW(m_window->lvwFile(), LVM_GETSELECTEDCOUNT, 0, 0), 0);
  pressCtrlA(m_window->lvwFile());
  EXPECT_EQ(::SendMessageW(m_window->lvwFile(), LVM_GETSELECTEDCOUNT, 0, 0), 1);
}

// Every control finds the window it belongs to: with a second main window open, the first one's
// tool bars, lists and splitter still act on the first, and the second keeps its own.
TEST_F(MainTest, TwoMainWindowsEachKeepTheirOwnControls) {
  Open(false);
  auto secondShell = std::make_unique<testing::ShellRecorder>();
  const testing::ShellRecorder& secondRecorder = *secondShell;
  TFMain second(std::nullopt, std::move(secondShell));
  std::vector<std::pair<int, std::size_t>> dropped;
  for (const int window : {1, 2}) {
    (window == 1 ? *m_window : second)
        .SetMenuTracker([&dropped, window](HMENU, std::size_t entry) -> UINT {
          dropped.emplace_back(window, entry);
          return 0;
        });
  }

  const HWND bar = m_window->tbrMain();
  Mouse(bar, WM_LBUTTONDOWN, ButtonRect(bar, Command::FileExeExplorer));
  Mouse(bar, WM_LBUTTONUP, ButtonRect(bar, Command::FileExeExplorer));
  EXPECT_EQ(m_shell->FileManagers, 1);
  EXPECT_EQ(secondRecorder.FileManagers, 0);

  RECT entry = {};
  ::SendMessageW(m_window->tbrMenu(), TB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&entry));
  Mouse(m_window->tbrMenu(), WM_LBUTTONDOWN, entry);
  ::SendMessageW(m_window->lvwResult(), WM_SYSCHAR, L'h', 1u << 29);
  using Drops = std::vector<std::pair<int, std::size_t>>;
  EXPECT_EQ(dropped, (Drops{{1, 2}, {1, 3}}));

  const int firstHeight = Height(m_window->lvwFile());
  const int secondHeight = Height(second.lvwFile());
  const HWND splitter = m_window->Splitter1();
  ::SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
  ::SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, -49));
  ::SendMessageW(splitter, WM_LBUTTONUP, 0, MAKELPARAM(5, -49));
  EXPECT_EQ(Height(m_window->lvwFile()), firstHeight + 50);
  EXPECT_EQ(Height(second.lvwFile()), secondHeight);

  ::SetFocus(m_window->lvwResult());
  ::SendMessageW(m_window->lvwResult(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(::GetFocus(), m_window->lvwFile());
}

// The treemap stands in the file list's place: it shows the pane's picture as it is, frames the
// file a click selects in the list too, names what is under the pointer, opens as the list does
// and takes the keyboard where the list did; unchecked, the list is back at its place.
TEST_F(MainTest, TreemapShowsThePictureInTheFileListsPlaceAndPointsAtItsFiles) {
  m_tree.File("a/big.jpg", 3000);
  m_tree.File("a/small.txt", 1000);
  Open();
  ListsModel& model = m_window->Model();
  model.SetSelected(ListKind::Result, 0, true);
  m_window->Commands().Run(Command::ViewFileViewFlag);
  ASSERT_EQ(model.FileRowCount(), 2u);
  const auto bigRow = [&] {
    return std::string(model.FileRowAt(0).Caption) == "big.jpg" ? 0u : 1u;
  };
  const HWND list = m_window->lvwFile();
  const HWND treemap = m_window->pbxTreemap();
  const auto place = [](HWND window) {
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    return std::tuple{rect.left, rect.top, rect.right, rect.bottom};
  };
  EXPECT_FALSE(::IsWindowVisible(treemap));
  ChooseMenu(Command::ViewTreemap);
  EXPECT_TRUE(::IsWindowVisible(treemap));
  EXPECT_FALSE(::IsWindowVisible(list));
  EXPECT_EQ(place(treemap), place(list));
  // Drawn, then sorted under it: the picture must point at the rows where they are now.
  ::UpdateWindow(treemap);
  const std::size_t unsorted = bigRow();
  while (bigRow() == unsorted)
    m_window->Commands().ListColumnClick(ListKind::File, 0);
  const std::size_t big = bigRow();

  // The middle of each file's rectangle, where the pane drew it at the client's size.
  RECT client = {};
  ::GetClientRect(treemap, &client);
  TreemapPane& pane = m_window->Commands().Treemap();
  const std::span<const std::uint32_t> picture = pane.Picture(client.right, client.bottom);
  ASSERT_EQ(picture.size(), static_cast<std::size_t>(client.right * client.bottom));
  POINT middle[2] = {};
  int area[2] = {};
  for (std::size_t row = 0; row < 2; ++row) {
    RECT box = {INT_MAX, INT_MAX, -1, -1};
    for (int y = 0; y < client.bottom; ++y)
      for (int x = 0; x < client.right; ++x)
        if (pane.RowAt(x, y) == row)
          ++area[row], box = {std::min<LONG>(box.left, x), std::min<LONG>(box.top, y),
                              std::max<LONG>(box.right, x), std::max<LONG>(box.bottom, y)};
    ASSERT_GE(box.right, 0) << row;
    middle[row] = {(box.left + box.right) / 2, (box.top + box.bottom) / 2};
  }
  EXPECT_GT(area[big], 2 * area[1 - big]);  // three quarters of the pane
  testing::Canvas canvas(client.right, client.bottom, RGB(1, 2, 3));
  canvas.PrintClient(treemap);
  for (const POINT at : middle) {
    const std::uint32_t pixel = picture[static_cast<std::size_t>(at.y * client.right + at.x)];
    EXPECT_EQ(canvas.Pixel(at.x, at.y),
              RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF));
  }
  const POINT at = middle[big];
  const LPARAM point = MAKELPARAM(at.x, at.y);

  // The frame follows the selection; a click selects the file in the model and the list view.
  ::UpdateWindow(treemap);
  model.SetSelected(ListKind::File, 1 - big, true);
  EXPECT_TRUE(::GetUpdateRect(treemap, nullptr, FALSE));
  ::UpdateWindow(treemap);
  ::SendMessageW(treemap, WM_LBUTTONDOWN, MK_LBUTTON, point);
  ::SendMessageW(treemap, WM_LBUTTONUP, 0, point);
  EXPECT_EQ(::GetFocus(), treemap);
  EXPECT_TRUE(model.IsSelected(ListKind::File, big));
  EXPECT_FALSE(model.IsSelected(ListKind::File, 1 - big));
  EXPECT_EQ(ListView_GetItemState(list, static_cast<int>(big), LVIS_SELECTED), LVIS_SELECTED);
  EXPECT_EQ(ListView_GetItemState(list, static_cast<int>(1 - big), LVIS_SELECTED), 0u);
  EXPECT_TRUE(::GetUpdateRect(treemap, nullptr, FALSE));
  const auto outline = pane.Outline();
  ASSERT_TRUE(outline);
  const int thickness = std::max(1, Scale(1, WindowDpi(treemap)));
  canvas.PrintClient(treemap);
  EXPECT_EQ(canvas.Pixel(outline->X, outline->Y), RGB(255, 255, 255));
  EXPECT_EQ(canvas.Pixel(outline->X + thickness, outline->Y + thickness), RGB(0, 0, 0));

  // The tooltip names the file under the pointer.
  ::SendMessageW(treemap, WM_MOUSEMOVE, 0, point);
  wchar_t tip[512] = {};
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof tool;
  tool.hwnd = treemap;
  tool.uId = 1;
  tool.lpszText = tip;
  ::SendMessageW(m_window->TreemapTip(), TTM_GETTEXTW, std::size(tip),
                 reinterpret_cast<LPARAM>(&tool));
  const std::string path(model.FileRowAt(big).Path);
  EXPECT_EQ(ToUtf8(std::wstring_view(tip)), path + "\n3,000 byte");

  // Enter and a double-click open as in the list; Tab goes to the result list and back here.
  ::SendMessageW(treemap, WM_KEYDOWN, VK_RETURN, 0);
  ::SendMessageW(treemap, WM_LBUTTONDBLCLK, MK_LBUTTON,
                 MAKELPARAM(middle[1 - big].x, middle[1 - big].y));
  EXPECT_EQ(m_shell->Opened, (Paths{path, std::string(model.FileRowAt(1 - big).Path)}));
  ::SendMessageW(treemap, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(::GetFocus(), m_window->lvwResult());
  ::SendMessageW(m_window->lvwResult(), WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(::GetFocus(), treemap);

  // Moved by the splitter, then unchecked: the list shows at the treemap's place, its selection
  // kept.
  const HWND splitter = m_window->Splitter1();
  ::SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 1));
  ::SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, -39));
  ::SendMessageW(splitter, WM_LBUTTONUP, 0, MAKELPARAM(5, -39));
  const auto shownAt = place(treemap);
  EXPECT_EQ(Height(treemap), client.bottom + 40 + 2 * ::GetSystemMetrics(SM_CYEDGE));
  ChooseMenu(Command::ViewTreemap);
  EXPECT_FALSE(::IsWindowVisible(treemap));
  EXPECT_TRUE(::IsWindowVisible(list));
  EXPECT_EQ(place(list), shownAt);
  EXPECT_EQ(::GetFocus(), list);
  EXPECT_EQ(ListView_GetItemState(list, static_cast<int>(1 - big), LVIS_SELECTED), LVIS_SELECTED);
}

// The window carries the program's icon, in the title bar's size and the task bar's.
TEST_F(MainTest, TheWindowHasTheProgramsIcon) {
  Open(false);
  EXPECT_NE(::GetClassLongPtrW(m_window->Handle(), GCLP_HICON), 0u);
  EXPECT_NE(::GetClassLongPtrW(m_window->Handle(), GCLP_HICONSM), 0u);
}

}  // namespace
}  // namespace quillet
