#include "ui/win32/TreemapView.h"

#include <windowsx.h>
#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "scan/Utf16.h"
#include "ui/win32/Application.h"
#include "ui/win32/Widgets.h"

namespace quillet {

namespace {

constexpr wchar_t kTreemapClass[] = L"QuilletTreemap";
// The tooltip's one tool: the whole pane, placed by the pane itself (tracking). The mouse passes
// through the tip to the pane, so a pointer moved onto it still moves over the treemap.
constexpr UINT_PTR kTipTool = 1;

TTTOOLINFOW ToolOf(HWND pane, const wchar_t* text = nullptr) {
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_TRACK | TTF_ABSOLUTE | TTF_TRANSPARENT;
  tool.hwnd = pane;
  tool.uId = kTipTool;
  tool.lpszText = const_cast<wchar_t*>(text != nullptr ? text : L"");
  return tool;
}

// Fills the band of thickness pixels just inside rect.
void FillFrame(HDC dc, RECT rect, int thickness, HBRUSH brush) {
  const RECT bands[] = {
      {rect.left, rect.top, rect.right, std::min(rect.bottom, rect.top + thickness)},
      {rect.left, std::max(rect.top, rect.bottom - thickness), rect.right, rect.bottom},
      {rect.left, rect.top, std::min(rect.right, rect.left + thickness), rect.bottom},
      {std::max(rect.left, rect.right - thickness), rect.top, rect.right, rect.bottom},
  };
  for (const RECT& band : bands)
    ::FillRect(dc, &band, brush);
}

}  // namespace

TreemapView::TreemapView(HWND parent, MainCommands& commands, KeyFilter keys)
    : m_commands(commands), m_keys(std::move(keys)) {
  RegisterWindowClass(kTreemapClass, WindowProc, IDC_ARROW, 0, CS_DBLCLKS);
  // The same edge as the file list it stands in for.
  m_hwnd = ::CreateWindowExW(WS_EX_CLIENTEDGE, kTreemapClass, L"pbxTreemap",
                             WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent, nullptr,
                             ProgramInstance(), this);
  if (m_hwnd == nullptr) throw std::runtime_error("the treemap pane could not be created");
  m_tip =
      ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr, ProgramInstance(), nullptr);
  if (m_tip == nullptr) return;  // no tooltip: the pane works without one
  TTTOOLINFOW tool = ToolOf(m_hwnd);
  ::SendMessageW(m_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  // A width makes the path and the size two lines; a long path wraps.
  ::SendMessageW(m_tip, TTM_SETMAXTIPWIDTH, 0, Scale(600, WindowDpi(m_hwnd)));
}

TreemapView::~TreemapView() {
  if (m_hwnd != nullptr) {
    ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
    ::DestroyWindow(m_hwnd);  // the tooltip, owned by the pane, goes with it
  }
}

void TreemapView::Repaint() const {
  ::InvalidateRect(m_hwnd, nullptr, FALSE);
}

void TreemapView::Show(bool shown) {
  if (!shown) HideTip();
  ::ShowWindow(m_hwnd, shown ? SW_SHOW : SW_HIDE);
}

LRESULT CALLBACK TreemapView::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* view = WindowObject<TreemapView>(hwnd, message, lParam);
  if (view == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCCREATE) view->m_hwnd = hwnd;
  if (message == WM_NCDESTROY) {
    view->m_hwnd = nullptr;
    view->m_tip = nullptr;
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return view->Handle(message, wParam, lParam);
}

LRESULT TreemapView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_keys && m_keys(message, wParam, lParam)) return 0;
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the picture covers every pixel: nothing to erase, no flicker
    case WM_PAINT:
    case WM_PRINTCLIENT:
      PaintMessage(m_hwnd, message, wParam, [&](HDC dc) { Paint(dc); });
      return 0;
    case WM_SIZE:
      HideTip();  // what it names may have moved
      Repaint();
      return 0;
    case WM_MOUSEMOVE:
      Hover(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_MOUSELEAVE:
      m_tracking = false;
      HideTip();
      return 0;
    case WM_LBUTTONDOWN:
      ::SetFocus(m_hwnd);
      Application.RunGuarded(
          [&] { m_commands.TreemapClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); });
      return 0;
    case WM_LBUTTONDBLCLK:
      Application.RunGuarded(
          [&] { m_commands.TreemapDoubleClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); });
      return 0;
    case WM_KEYDOWN:
      if (wParam != VK_RETURN) break;
      Application.RunGuarded([&] { m_commands.TreemapEnter(); });
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(m_hwnd, message, wParam, lParam);
}

void TreemapView::Paint(HDC dc) {
  RECT client = {};
  ::GetClientRect(m_hwnd, &client);
  TreemapPane& pane = m_commands.Treemap();
  std::span<const std::uint32_t> pixels;
  Application.RunGuarded([&] { pixels = pane.Picture(client.right, client.bottom); });
  if (pixels.empty()) return;
  // 0xFFRRGGBB in memory is what a 32-bit top-down DIB holds: B, G, R and an unused byte.
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = pane.Width();
  info.bmiHeader.biHeight = -pane.Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  ::SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(pane.Width()), static_cast<DWORD>(pane.Height()),
                      0, 0, 0, static_cast<UINT>(pane.Height()), pixels.data(), &info,
                      DIB_RGB_COLORS);
  const auto outline = pane.Outline();
  if (!outline) return;
  // White outside, black inside: the frame shows on every colour.
  const int thickness = std::max(1, Scale(1, WindowDpi(m_hwnd)));
  RECT rect = {outline->X, outline->Y, outline->X + outline->Width, outline->Y + outline->Height};
  FillFrame(dc, rect, thickness, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::InflateRect(&rect, -thickness, -thickness);
  if (rect.right > rect.left && rect.bottom > rect.top)
    FillFrame(dc, rect, thickness, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

void TreemapView::Hover(int x, int y) {
  if (m_tip == nullptr) return;
  if (!m_tracking) {
    TRACKMOUSEEVENT leave = {sizeof leave, TME_LEAVE, m_hwnd, 0};
    m_tracking = ::TrackMouseEvent(&leave) != FALSE;
  }
  std::wstring text;
  Application.RunGuarded(
      [&] { text = ToUtf16<wchar_t>(ToDisplayText(m_commands.Treemap().HoverText(x, y))); });
  if (text.empty()) return HideTip();
  TTTOOLINFOW tool = ToolOf(m_hwnd, text.c_str());
  if (text != m_tipText) {
    m_tipText = text;
    ::SendMessageW(m_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  // Below the pointer, turned to its other side where the screen ends.
  POINT at = {x, y};
  ::ClientToScreen(m_hwnd, &at);
  const auto bubble = static_cast<DWORD>(
      ::SendMessageW(m_tip, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&tool)));
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &monitor);
  const int below = Scale(20, WindowDpi(m_hwnd));
  int left = at.x;
  int top = at.y + below;
  if (left + LOWORD(bubble) > monitor.rcWork.right) left = at.x - LOWORD(bubble);
  if (top + HIWORD(bubble) > monitor.rcWork.bottom) top = at.y - HIWORD(bubble) - below / 2;
  ::SendMessageW(m_tip, TTM_TRACKPOSITION, 0, MAKELPARAM(left, top));
  ::SendMessageW(m_tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void TreemapView::HideTip() {
  if (m_tip == nullptr || m_tipText.empty()) return;
  m_tipText.clear();
  TTTOOLINFOW tool = ToolOf(m_hwnd);
  ::SendMessageW(m_tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace quillet
