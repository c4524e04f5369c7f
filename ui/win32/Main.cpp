#include "ui/win32/Main.h"

#include <windowsx.h>
#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "scan/Utf16.h"
#include "ui/win32/AboutBox.h"
#include "ui/win32/Application.h"
#include "ui/win32/LetMeSeeDlg.h"
#include "ui/win32/Resource.h"

namespace quillet {

namespace {

constexpr wchar_t kMainClass[] = L"QuilletMain";
constexpr wchar_t kSplitterClass[] = L"QuilletSplitter";
// Between a right-aligned status panel's text and its divider, at 96 DPI: what the status bar
// leaves before a left-aligned text.
constexpr int kPanelTextMargin = 3;

std::wstring Wide(std::string_view text) {
  return ToUtf16<wchar_t>(text);
}

}  // namespace

TFMain::TFMain(std::optional<std::string> firstArgument, std::unique_ptr<shell::Services> services)
    : m_selection([this](ListKind list, std::span<const SelectionHandover::Run> runs) {
        ShowSelection(list, runs);
      }) {
  m_model = std::make_unique<ListsModel>(static_cast<Frontend&>(*this));
  RegisterWindowClass(kMainClass, WindowProc, IDC_ARROW, IDI_QUILLET);
  RegisterWindowClass(kSplitterClass, SplitterProc, IDC_SIZENS);

  const layout::Window& table = layout::kMainWindow;
  m_hwnd = ::CreateWindowExW(0, kMainClass, Wide(table.Caption).c_str(), WS_OVERLAPPEDWINDOW,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                             nullptr, ProgramInstance(), this);
  if (m_hwnd == nullptr) throw std::runtime_error("the main window could not be created");
  // The shell's services belong to this window: their messages and dialogs are owned by it.
  m_services = services ? std::move(services) : shell::MakeSystemServices(m_hwnd);
  m_boxes = WindowMessageBoxes(m_hwnd);
  m_commands = std::make_unique<MainCommands>(*m_model, *m_services,
                                              static_cast<CommandWindow&>(*this), m_boxes);
  m_dpi = WindowDpi(m_hwnd);
  Create();
  // The designed client size, at this window's DPI, where the platform placed it, widened as the
  // count columns need.
  const SIZE frame = WindowSizeForClient(
      MainClientWidth(::MulDiv(m_widening, 96, static_cast<int>(m_dpi)), INT_MAX),
      table.ClientHeight, WS_OVERLAPPEDWINDOW, 0, m_dpi);
  ::SetWindowPos(m_hwnd, nullptr, 0, 0, frame.cx, frame.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
  m_model->SetObserver(this);
  FormCreate(firstArgument);
  ::SetFocus(m_lvw[0]);
}

TFMain::~TFMain() {
  if (m_model) m_model->SetObserver(nullptr);
  if (m_hwnd != nullptr) {
    ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    ::DestroyWindow(m_hwnd);
  }
  m_commands.reset();
  m_model.reset();
}

int TFMain::Scaled(int pixels) const {
  return Scale(pixels, m_dpi);
}

void TFMain::Guarded(const std::function<void()>& handler) {
  Application.RunGuarded(handler);
}

// --- Building the window ------------------------------------------------------------------------

void TFMain::Create() {
  m_images = CreateMainImageList(m_dpi);
  BuildFonts();
  BuildToolStrip();
  m_lvw[0] = BuildList(ListKind::Result, layout::kResultColumns);
  m_splitter = ::CreateWindowExW(0, kSplitterClass, L"Splitter1", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                 m_hwnd, nullptr, ProgramInstance(), this);
  // Before the file list, which the window procedure waits for: by then every pane is there.
  m_treemap = std::make_unique<TreemapView>(m_hwnd, *m_commands,
                                            [this](UINT message, WPARAM wParam, LPARAM lParam) {
                                              return TreemapKey(message, wParam, lParam);
                                            });
  m_lvw[1] = BuildList(ListKind::File, layout::kFileColumns);
  BuildStatusBar();
  m_fileListHeight = layout::kFileListHeight;
}

void TFMain::BuildFonts() {
  m_font = CreateTableFont(layout::kMainWindow.TextFont, m_dpi);
  m_statusFont = CreateJapaneseSystemFont(SystemFont::Status, m_dpi);
}

void TFMain::BuildToolStrip() {
  const HINSTANCE instance = ProgramInstance();
  m_cbrMain =
      ::CreateWindowExW(WS_EX_TOOLWINDOW, REBARCLASSNAMEW, nullptr,
                        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                            RBS_BANDBORDERS | RBS_DBLCLKTOGGLE | CCS_NODIVIDER | CCS_TOP,
                        0, 0, 0, 0, m_hwnd, nullptr, instance, nullptr);
  REBARINFO info = {};
  info.cbSize = sizeof info;
  ::SendMessageW(m_cbrMain, RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&info));

  // tbrMain: image-only buttons; a bound one acts on the press (see ToolBarProc).
  m_tbrMain = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, L"tbrMain", kBandToolBarStyle, 0, 0, 0, 0,
                                m_cbrMain, nullptr, instance, nullptr);
  ::SendMessageW(m_tbrMain, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageW(m_tbrMain, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_images.Get()));
  const int icon = ListImageSize(m_dpi);
  ::SendMessageW(m_tbrMain, TB_SETBITMAPSIZE, 0, MAKELPARAM(icon, icon));
  std::vector<TBBUTTON> buttons;
  for (const layout::ToolButton& button : layout::kMainToolBar) {
    TBBUTTON made = {};
    if (button.IsSeparator()) {
      made.iBitmap = Scaled(button.SeparatorWidth);
      made.fsStyle = BTNS_SEP;
    } else {
      const layout::ResolvedButton resolved = layout::Resolve(button);
      made.iBitmap = resolved.Image;
      made.idCommand = static_cast<int>(CommandId(resolved.Action));
      made.fsState = TBSTATE_ENABLED;
      made.fsStyle = BTNS_BUTTON;
      made.dwData = resolved.ActsOnPress ? 1 : 0;
      made.iString = -1;
    }
    buttons.push_back(made);
  }
  ::SendMessageW(m_tbrMain, TB_ADDBUTTONSW, buttons.size(),
                 reinterpret_cast<LPARAM>(buttons.data()));
  ::SendMessageW(m_tbrMain, TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(Scaled(layout::kToolButtonWidth), Scaled(layout::kToolButtonHeight)));
  ::SendMessageW(m_tbrMain, TB_SETMAXTEXTROWS, 0, 0);

  m_menuBand = std::make_unique<MenuBand>(
      m_hwnd, m_cbrMain, m_font.Get(), m_images.Get(), m_dpi,
      [this](layout::Command command) { Guarded([&] { m_commands->Run(command); }); });
  m_menuBand->SetChecker([this](layout::Command command) { return m_commands->Checked(command); });
  m_toolBarProc = SubclassControl(m_tbrMain, ToolBarProc, *this);

  // Two bands on one line: the command buttons, then the menu to their right.
  const struct {
    HWND Child;
    int MinWidth, MinHeight, Width;
  } bands[] = {
      {m_tbrMain, layout::kToolBarMinWidth, 26, layout::kToolBarWidth},
      {m_menuBand->Handle(), layout::kMenuBarMinWidth, 22, layout::kMenuBarWidth},
  };
  for (const auto& band : bands) {
    REBARBANDINFOW made = {};
    made.cbSize = sizeof made;
    made.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_STYLE;
    made.fStyle = RBBS_CHILDEDGE | RBBS_GRIPPERALWAYS;
    made.hwndChild = band.Child;
    made.cxMinChild = static_cast<UINT>(Scaled(band.MinWidth));
    made.cyMinChild = static_cast<UINT>(Scaled(band.MinHeight));
    made.cx = static_cast<UINT>(Scaled(band.Width));
    ::SendMessageW(m_cbrMain, RB_INSERTBANDW, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(&made));
  }
}

HWND TFMain::BuildList(ListKind list, std::span<const layout::Column> columns) {
  const HWND view = ::CreateWindowExW(
      WS_EX_CLIENTEDGE, WC_LISTVIEWW, list == ListKind::Result ? L"lvwResult" : L"lvwFile",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHAREIMAGELISTS, 0, 0,
      0, 0, m_hwnd, nullptr, ProgramInstance(), nullptr);
  ::SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), FALSE);
  ::SendMessageW(view, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_INFOTIP);
  ::SendMessageW(view, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(m_images.Get()));
  const std::vector<int> widths = ColumnWidths(
      columns, TextWidth(view, m_font.Get(), Wide(kWidestCount)), static_cast<int>(m_dpi));
  if (list == ListKind::Result) m_widening = Widening(columns, widths, static_cast<int>(m_dpi));
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const std::wstring caption = Wide(columns[i].Caption);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = columns[i].Alignment == layout::Align::Right ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = widths[i];
    column.pszText = const_cast<wchar_t*>(caption.c_str());
    column.iSubItem = static_cast<int>(i);
    ::SendMessageW(view, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  m_listProc = SubclassControl(view, ListProc, *this);
  return view;
}

void TFMain::BuildStatusBar() {
  m_stbMain =
      ::CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0,
                        0, 0, m_hwnd, nullptr, ProgramInstance(), nullptr);
  ::SendMessageW(m_stbMain, WM_SETFONT, reinterpret_cast<WPARAM>(m_statusFont.Get()), FALSE);
  for (std::size_t i = 0; i < m_panelWidths.size(); ++i)
    m_panelWidths[i] = Scaled(layout::kStatusPanels[i].Width);
  SetPanelEdges();
  ::SendMessageW(m_stbMain, SB_SETMINHEIGHT, static_cast<WPARAM>(Scaled(layout::kStatusBarHeight)),
                 0);
}

void TFMain::SetPanelEdges() {
  std::vector<int> edges;
  int right = 0;
  for (const int width : m_panelWidths) {
    right += width;
    edges.push_back(right);
  }
  edges.back() = -1;  // the last panel takes the rest of the bar
  ::SendMessageW(m_stbMain, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

// --- Layout -------------------------------------------------------------------------------------

void TFMain::Layout() {
  RECT client = {};
  ::GetClientRect(m_hwnd, &client);
  ::SendMessageW(m_cbrMain, WM_SIZE, 0, 0);
  ::SendMessageW(m_stbMain, WM_SIZE, 0, 0);
  RECT bar = {};
  ::GetWindowRect(m_cbrMain, &bar);
  RECT status = {};
  ::GetWindowRect(m_stbMain, &status);
  const int top = bar.bottom - bar.top;
  const int bottom = client.bottom - (status.bottom - status.top);
  const int width = client.right;
  const int splitter = Scaled(layout::kSplitterWidth);
  const int minimum = Scaled(layout::kSplitterMinimum);
  const int room = std::max(0, bottom - top - splitter);
  // The file list keeps its height while the result list has at least its minimum.
  int fileHeight = std::clamp(Scaled(m_fileListHeight), std::min(minimum, room),
                              std::max(std::min(minimum, room), room - minimum));
  const int resultHeight = room - fileHeight;
  // No bits are copied from the old places: a list view that grows at the end of its rows
  // scrolls itself while it is moved, and copied bits then show rows beside other rows' cells.
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS;
  // The treemap takes the file list's place whether shown or not, so either shows at once where
  // the other was.
  HDWP moves = ::BeginDeferWindowPos(4);
  moves = ::DeferWindowPos(moves, m_lvw[0], nullptr, 0, top, width, resultHeight, flags);
  moves =
      ::DeferWindowPos(moves, m_splitter, nullptr, 0, top + resultHeight, width, splitter, flags);
  for (const HWND lower : {m_lvw[1], m_treemap->Handle()}) {
    moves = ::DeferWindowPos(moves, lower, nullptr, 0, top + resultHeight + splitter, width,
                             fileHeight, flags);
  }
  ::EndDeferWindowPos(moves);
  SizeColumns(ListKind::Result);
  SizeColumns(ListKind::File);
  // Each control repaints only what it takes for exposed; after a move every pixel of the lists
  // (headers and scroll bars too) and of the status bar is drawn again.
  for (const HWND control : {m_lvw[0], m_splitter, LowerPane(), m_stbMain}) {
    ::RedrawWindow(control, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }
}

void TFMain::SizeColumns(ListKind list) {
  const std::span<const layout::Column> columns =
      list == ListKind::Result ? layout::kResultColumns : layout::kFileColumns;
  const HWND view = View(list);
  RECT client = {};
  ::GetClientRect(view, &client);
  int others = 0;
  int remaining = -1;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].Width == layout::kRemainingWidth) {
      remaining = static_cast<int>(i);
    } else {
      others += static_cast<int>(::SendMessageW(view, LVM_GETCOLUMNWIDTH, i, 0));
    }
  }
  if (remaining < 0) return;
  const int width = std::max(Scaled(kRemainingMinimum), static_cast<int>(client.right) - others);
  ::SendMessageW(view, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(remaining), width);
}

void TFMain::MoveSplitter(int fileListHeight) {
  RECT result = {};
  RECT file = {};
  ::GetWindowRect(m_lvw[0], &result);
  ::GetWindowRect(m_lvw[1], &file);
  const int room = (result.bottom - result.top) + (file.bottom - file.top);
  const int minimum = Scaled(layout::kSplitterMinimum);
  const int height = std::clamp(fileListHeight, std::min(minimum, room),
                                std::max(std::min(minimum, room), room - minimum));
  m_fileListHeight = ::MulDiv(height, 96, static_cast<int>(m_dpi));
  Layout();
}

// --- Window procedures --------------------------------------------------------------------------

LRESULT CALLBACK TFMain::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = WindowObject<TFMain>(hwnd, message, lParam);
  if (window != nullptr && message == WM_NCCREATE) window->m_hwnd = hwnd;
  if (window == nullptr || window->m_lvw[1] == nullptr) {
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return window->Handle(message, wParam, lParam);
}

LRESULT TFMain::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (const auto taken = m_menuBand->OnOwnerMessage(message, wParam, lParam)) return *taken;
  switch (message) {
    case WM_SIZE:
      // A minimised window keeps its layout: laid out at no size, the lists would scroll back to
      // their first rows.
      if (wParam != SIZE_MINIMIZED) Layout();
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_DRAWITEM: {
      const auto& draw = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (draw.hwndItem != m_stbMain) break;
      DrawPanel(draw);
      return TRUE;
    }
    case WM_COMMAND:
      if (reinterpret_cast<HWND>(lParam) == m_tbrMain) Guarded([&] { OnCommand(LOWORD(wParam)); });
      return 0;
    case WM_DROPFILES:
      Guarded([&] { DropFiles(reinterpret_cast<HDROP>(wParam)); });
      return 0;
    case WM_DPICHANGED: {
      m_dpi = HIWORD(wParam);
      const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
      BuildFonts();
      for (HWND control : {m_lvw[0], m_lvw[1]})
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.Get()), TRUE);
      m_menuBand->SetDpi(m_dpi, m_font.Get());
      ::SendMessageW(m_stbMain, WM_SETFONT, reinterpret_cast<WPARAM>(m_statusFont.Get()), TRUE);
      ::SetWindowPos(m_hwnd, nullptr, suggested.left, suggested.top,
                     suggested.right - suggested.left, suggested.bottom - suggested.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_SETFOCUS:
      ::SetFocus(m_lvw[0]);
      return 0;
    case WM_CLOSE:
      // Closing the window during a command's loop cancels that loop, so the program ends
      // promptly instead of working on behind a window that is gone.
      m_progress.CancelAll();
      ::DragAcceptFiles(m_hwnd, FALSE);
      ::DestroyWindow(m_hwnd);
      return 0;
    case WM_DESTROY:
      m_hwnd = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT TFMain::OnNotify(const NMHDR& header) {
  if (header.hwndFrom != m_lvw[0] && header.hwndFrom != m_lvw[1]) return 0;
  const ListKind list = ListOf(header.hwndFrom);
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(const_cast<NMHDR&>(header)).item;
      const auto index = static_cast<std::size_t>(item.iItem);
      if (index >= m_model->RowCount(list)) return 0;
      Guarded([&] {
        if ((item.mask & LVIF_TEXT) != 0 && item.cchTextMax > 0) {
          const std::wstring text =
              Wide(ToDisplayText(m_model->CellText(list, index, item.iSubItem)));
          const std::size_t length =
              std::min(text.size(), static_cast<std::size_t>(item.cchTextMax) - 1);
          std::copy_n(text.c_str(), length, item.pszText);
          item.pszText[length] = L'\0';
        }
        if ((item.mask & LVIF_IMAGE) != 0) item.iImage = m_model->ImageIndex(list, index);
      });
      return 0;
    }
    case LVN_GETINFOTIPW: {
      auto& tip = reinterpret_cast<NMLVGETINFOTIPW&>(const_cast<NMHDR&>(header));
      const std::wstring text =
          Wide(RowToolTip(*m_model, list, static_cast<std::size_t>(tip.iItem)));
      if (text.empty() || tip.cchTextMax <= 0) return 0;
      const std::size_t length =
          std::min(text.size(), static_cast<std::size_t>(tip.cchTextMax) - 1);
      std::copy_n(text.c_str(), length, tip.pszText);
      tip.pszText[length] = L'\0';
      return 0;
    }
    case LVN_ITEMCHANGED: {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if ((change.uChanged & LVIF_STATE) == 0 ||
          ((change.uOldState ^ change.uNewState) & LVIS_SELECTED) == 0) {
        return 0;
      }
      const bool selected = (change.uNewState & LVIS_SELECTED) != 0;
      const int count = static_cast<int>(m_model->RowCount(list));
      Guarded([&] {
        if (change.iItem < 0) {
          if (count > 0) TakeSelection(list, 0, count - 1, selected);
        } else {
          TakeSelection(list, change.iItem, change.iItem, selected);
        }
      });
      return 0;
    }
    case LVN_ODSTATECHANGED: {
      const auto& change = reinterpret_cast<const NMLVODSTATECHANGE&>(header);
      if (((change.uOldState ^ change.uNewState) & LVIS_SELECTED) == 0) return 0;
      Guarded([&] {
        TakeSelection(list, change.iFrom, change.iTo, (change.uNewState & LVIS_SELECTED) != 0);
      });
      return 0;
    }
    case LVN_COLUMNCLICK: {
      const int column = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
      Guarded([&] { m_commands->ListColumnClick(list, column); });
      return 0;
    }
    case NM_DBLCLK:
      Guarded([&] { m_commands->ListDoubleClick(list); });
      return 0;
    default:
      return 0;
  }
}

void TFMain::OnCommand(UINT id) {
  // A tool button's click (its release). Bound buttons acted on their press already.
  TBBUTTONINFOW info = {};
  info.cbSize = sizeof info;
  info.dwMask = TBIF_LPARAM;
  if (::SendMessageW(m_tbrMain, TB_GETBUTTONINFOW, id, reinterpret_cast<LPARAM>(&info)) < 0 ||
      info.lParam != 0) {
    return;
  }
  if (const auto command = CommandOfId(id)) m_commands->Run(*command);
}

LRESULT CALLBACK TFMain::ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = WindowObject<TFMain>(hwnd, message, lParam);
  // The lists hold the focus while the menu is marked: its keys come here first.
  if (window->m_menuBand->OnMarkedMenu(message, wParam)) return 0;
  switch (message) {
    case WM_SIZE: {
      // Also when the vertical scroll bar comes or goes, which changes the client width only:
      // the location column takes the new room, so no column is cut.
      const LRESULT result = ::CallWindowProcW(window->m_listProc, hwnd, message, wParam, lParam);
      window->SizeColumns(window->ListOf(hwnd));
      return result;
    }
    case WM_KEYDOWN:
      // Tab moves between the result list and the lower pane, the only controls that take the
      // focus.
      if (wParam == VK_TAB) {
        ::SetFocus(hwnd == window->m_lvw[0] ? window->LowerPane() : window->m_lvw[0]);
        return 0;
      }
      if (wParam >= 'A' && wParam <= 'Z') {
        const ListKey key{static_cast<char>(wParam), ::GetKeyState(VK_CONTROL) < 0,
                          ::GetKeyState(VK_SHIFT) < 0, ::GetKeyState(VK_MENU) < 0};
        bool taken = false;
        window->Guarded(
            [&] { taken = window->m_commands->ListKeyDown(window->ListOf(hwnd), key); });
        if (taken) return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == L'\t') return 0;
      break;
    case WM_SYSCHAR:
      // Alt with a letter reaches the focused list; the menu belongs to the main window.
      return ::SendMessageW(window->m_hwnd, message, wParam, lParam);
    case WM_NOTIFY: {
      // A column's new width moves the columns right of it: the list shifts their old pixels
      // along, and right-aligned cells then show cut digits and pieces of their neighbours.
      // Every cell is drawn again instead.
      const LRESULT result = ::CallWindowProcW(window->m_listProc, hwnd, message, wParam, lParam);
      const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
      if (header.hwndFrom == ListView_GetHeader(hwnd) &&
          (header.code == HDN_ITEMCHANGEDW || header.code == HDN_ITEMCHANGEDA) &&
          (reinterpret_cast<const NMHEADERW&>(header).pitem == nullptr ||
           (reinterpret_cast<const NMHEADERW&>(header).pitem->mask & HDI_WIDTH) != 0)) {
        ::InvalidateRect(hwnd, nullptr, TRUE);
      }
      return result;
    }
    default:
      break;
  }
  return ::CallWindowProcW(window->m_listProc, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK TFMain::ToolBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = WindowObject<TFMain>(hwnd, message, lParam);
  MenuBand& menu = *window->m_menuBand;
  if (message == WM_LBUTTONDOWN && menu.IsMarked()) menu.MarkMenu(std::nullopt);
  const LRESULT result = ::CallWindowProcW(window->m_toolBarProc, hwnd, message, wParam, lParam);
  if (message != WM_LBUTTONDOWN && message != WM_LBUTTONDBLCLK) return result;
  const std::optional<TBBUTTON> button = ButtonAt(hwnd, lParam);
  const auto command = button ? CommandOfId(static_cast<UINT>(button->idCommand)) : std::nullopt;
  if (command && button->dwData != 0) {
    // A button bound to a menu item acts on the press, and again on a double-click's second.
    window->Guarded([&] { window->m_commands->Run(*command); });
  }
  return result;
}

LRESULT CALLBACK TFMain::SplitterProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = WindowObject<TFMain>(hwnd, message, lParam);
  if (window == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  switch (message) {
    case WM_LBUTTONDOWN: {
      POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ::ClientToScreen(hwnd, &at);
      RECT file = {};
      ::GetWindowRect(window->m_lvw[1], &file);
      window->m_drag = std::pair{at.y, static_cast<int>(file.bottom - file.top)};
      ::SetCapture(hwnd);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (window->m_drag && ::GetCapture() == hwnd) {
        POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ::ClientToScreen(hwnd, &at);
        window->MoveSplitter(window->m_drag->second - (at.y - window->m_drag->first));
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      window->m_drag.reset();
      if (message == WM_LBUTTONUP) ::ReleaseCapture();
      return 0;
    default:
      return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

ListKind TFMain::ListOf(HWND view) const {
  return view == m_lvw[0] ? ListKind::Result : ListKind::File;
}

HWND TFMain::LowerPane() const {
  return m_commands->TreemapShown() ? m_treemap->Handle() : m_lvw[1];
}

bool TFMain::TreemapKey(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_menuBand->OnMarkedMenu(message, wParam)) return true;
  switch (message) {
    case WM_KEYDOWN:
      if (wParam != VK_TAB) return false;
      ::SetFocus(m_lvw[0]);
      return true;
    case WM_CHAR:
      return wParam == L'\t';
    case WM_SYSCHAR:
      // Alt with a letter drops its menu, as from the lists.
      ::SendMessageW(m_hwnd, message, wParam, lParam);
      return true;
    default:
      return false;
  }
}

// --- Handlers -----------------------------------------------------------------------------------

void TFMain::ImportScan(const std::string& path) {
  m_commands->ImportScan(path);
}

void TFMain::FormCreate(const std::optional<std::string>& firstArgument) {
  m_model->FormCreate(firstArgument);
  ::DragAcceptFiles(m_hwnd, TRUE);
}

void TFMain::tmiHelpAboutClick() {
  TFAboutBox box;
  box.ShowModal(m_hwnd);
}

void TFMain::DropFiles(HDROP drop) {
  // The drop handle is released on every way out.
  struct Finish {
    HDROP Drop;
    ~Finish() { ::DragFinish(Drop); }
  } finish{drop};
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  std::vector<std::string> paths;
  for (UINT i = 0; i < count; ++i) {
    // Asked for its length first, so a path of any length arrives whole.
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    const UINT copied = ::DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(copied);
    paths.push_back(ToUtf8(std::wstring_view(path)));
  }
  m_commands->DropFiles(paths);
}

void TFMain::FocusResultList() {
  ::SetFocus(m_lvw[0]);
}

void TFMain::CloseMainWindow() {
  ::PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
}

void TFMain::ShowTreemap(bool shown) {
  const HWND from = shown ? m_lvw[1] : m_treemap->Handle();
  const HWND to = shown ? m_treemap->Handle() : m_lvw[1];
  const bool focused = ::GetFocus() == from;
  // The file list is only hidden: shown again, it has its rows, selection and scroll as before.
  const auto showList = [&](bool on) { ::ShowWindow(m_lvw[1], on ? SW_SHOW : SW_HIDE); };
  // Shown, focused, then the other hidden: the focus never falls to a hidden pane.
  shown ? m_treemap->Show(true) : showList(true);
  if (focused) ::SetFocus(to);
  shown ? showList(false) : m_treemap->Show(false);
}

void TFMain::RepaintTreemap() {
  if (m_treemap) m_treemap->Repaint();
}

// --- Front end of the row model -----------------------------------------------------------------

std::unique_ptr<ProgressSink> TFMain::CreateProgress() {
  // Owned by the command alone: a command started inside another one's loop gets its own.
  return std::make_unique<TFLetMeSeeDlg>(m_hwnd, &m_progress);
}

std::string TFMain::PanelText(quillet::StatusPanel panel) const {
  return m_panelTexts.at(static_cast<std::size_t>(panel));
}

void TFMain::SetPanelText(quillet::StatusPanel panel, std::string_view text) {
  const auto index = static_cast<std::size_t>(panel);
  m_panelTexts.at(index) = std::string(text);
  // The status bar draws left-aligned texts itself; the right-aligned ones are drawn by DrawPanel.
  const bool right = layout::kStatusPanels[index].Alignment == layout::Align::Right;
  const std::wstring wide = Wide(text);
  // A panel never cuts its text: it is as wide as designed, or wider where this system's
  // status-bar font needs it for a large number.
  const int needed = TextWidth(m_stbMain, nullptr, wide) + Scaled(10);
  if (index + 1 < m_panelWidths.size() && needed > m_panelWidths[index]) {
    m_panelWidths[index] = needed;
    SetPanelEdges();
  }
  if (right) {
    m_drawnPanelTexts[index] = wide;
    ::SendMessageW(m_stbMain, SB_SETTEXTW, index | SBT_OWNERDRAW,
                   reinterpret_cast<LPARAM>(m_drawnPanelTexts[index].c_str()));
  } else {
    ::SendMessageW(m_stbMain, SB_SETTEXTW, index, reinterpret_cast<LPARAM>(wide.c_str()));
  }
}

void TFMain::DrawPanel(const DRAWITEMSTRUCT& draw) {
  const auto* text = reinterpret_cast<const wchar_t*>(draw.itemData);
  if (text == nullptr) return;
  const SelectedFont font(draw.hDC, m_statusFont.Get());
  const int oldMode = ::SetBkMode(draw.hDC, TRANSPARENT);
  const COLORREF oldColor = ::SetTextColor(draw.hDC, ::GetSysColor(COLOR_BTNTEXT));
  // The item is the whole panel, its edge (the divider) included.
  const int inset = ::GetSystemMetrics(SM_CXEDGE) + Scaled(kPanelTextMargin);
  RECT area = draw.rcItem;
  area.left += inset;
  area.right -= inset;
  ::DrawTextW(draw.hDC, text, -1, &area, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  ::SetTextColor(draw.hDC, oldColor);
  ::SetBkMode(draw.hDC, oldMode);
}

void TFMain::ShowCount(ListKind list) {
  m_selection.Hold(list);
  ::SendMessageW(View(list), LVM_SETITEMCOUNT, m_model->RowCount(list),
                 LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
  ::InvalidateRect(View(list), nullptr, FALSE);
  m_selection.Release(list);
}

void TFMain::EndReset(ListKind list) {
  ShowCount(list);
  m_selection.ShowSelection(*m_model, list);
  m_commands->ListChanged(list, true);
}

void TFMain::EndAppend(ListKind list) {
  ShowCount(list);
  m_commands->ListChanged(list, true);
}

void TFMain::EndRemove(ListKind list) {
  ShowCount(list);
  m_selection.ShowSelection(*m_model, list);
  m_commands->ListChanged(list, true);
}

void TFMain::SelectionChanged(ListKind list) {
  m_selection.ShowSelection(*m_model, list);
  // The frame follows the file list's selection.
  m_commands->ListChanged(list, false);
}

void TFMain::RowChanged(ListKind list, std::size_t index) {
  ::SendMessageW(View(list), LVM_REDRAWITEMS, index, index);
}

void TFMain::ShowSelection(ListKind list, std::span<const SelectionHandover::Run> runs) {
  const HWND view = View(list);
  LVITEMW state = {};
  state.stateMask = LVIS_SELECTED;
  ::SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  state.state = LVIS_SELECTED;
  // Every row (Ctrl+A over a long file list): one message instead of one per row.
  const std::size_t count = m_model->RowCount(list);
  if (runs.size() == 1 && runs[0].First == 0 && runs[0].Last + 1 == count) {
    ::SendMessageW(view, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(&state));
    return;
  }
  for (const SelectionHandover::Run& run : runs) {
    for (std::size_t row = run.First; row <= run.Last; ++row)
      ::SendMessageW(view, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
  }
}

void TFMain::TakeSelection(ListKind list, int first, int last, bool selected) {
  if (first < 0 || last < first) return;
  m_selection.TakeSelection(*m_model, list, static_cast<std::size_t>(first),
                            static_cast<std::size_t>(last), selected);
}

}  // namespace quillet
